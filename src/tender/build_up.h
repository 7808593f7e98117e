// The build-up of a work's sale prices ("integración del precio"): how its
// direct cost becomes the price it is bid at, and the check of its values.
//
// Percentages are held in percent, as the estimator types them; the rules
// turn them into fractions where they compute. Plain values, no storage.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "framework/status.h"

namespace velmora::tender {

// "costo directo": the work header's percentages on the direct cost, as the
// closing summary applies them. "obra pública": indirect costs, financing,
// profit and additional charges composed as a public-works unit price is.
enum class Mode { kDirectCost, kPublicWorks };
const char* modeName(Mode mode);  // "costo_directo" | "obra_publica"
std::optional<Mode> modeFromName(std::string_view name);

// The eight headings an indirect-cost item is filed under.
enum class IndirectGroup {
  kFeesAndSalaries,    // honorarios, sueldos y prestaciones
  kDepreciation,       // depreciación, mantenimiento y rentas
  kServices,           // servicios
  kFreight,            // fletes y acarreos
  kOfficeExpenses,     // gastos de oficina
  kTraining,           // capacitación y promoción
  kInsuranceAndBonds,  // seguros y fianzas
  kPreliminaryWorks,   // trabajos previos y auxiliares
};
inline constexpr int kIndirectGroupCount = 8;
// Its stable name, for files and JSON ("honorarios", "depreciacion", ...).
const char* groupName(IndirectGroup group);
std::optional<IndirectGroup> groupFromName(std::string_view name);
// Its heading as the sheet prints it ("HONORARIOS, SUELDOS Y PRESTACIONES").
const char* groupHeading(IndirectGroup group);

// An item of the indirect-cost analysis: what the central office and the
// site spend on it over the whole work. A staff item may carry its monthly
// salary and the months it is paid (0 when it carries none), which a staff
// programme spreads over the work's months.
struct IndirectItem {
  std::string description;  // the item, as the sheet lists it (JSON "concepto")
  IndirectGroup group = IndirectGroup::kFeesAndSalaries;
  double centralOffice = 0;
  double site = 0;
  double monthlySalary = 0;
  double months = 0;
};

// Financing terms. The annual rate is an indicator (its name and its value)
// plus points; the advance is a percent of the contract, amortised in
// proportion to each estimate; estimates are monthly and paid `paymentDays`
// after the end of their month (6 days to present, 15 to review, 20 to pay).
inline constexpr int kDefaultPaymentDays = 6 + 15 + 20;
struct Financing {
  std::string indicator;
  double indicatorRate = 0;  // percent a year
  double points = 0;         // percent a year, added to the indicator
  double advance = 0;        // percent of the contract
  int paymentDays = kDefaultPaymentDays;
};

// The net profit wanted and the taxes on it (income tax and the employees'
// share of profits), in percent.
struct Profit {
  double net = 0;
  double incomeTax = 30;
  double profitSharing = 10;
};

// A charge withheld from every payment (an inspection charge, a training
// charge), in percent.
struct AdditionalCharge {
  std::string name;
  double percent = 0;
};

struct BuildUp {
  Mode mode = Mode::kDirectCost;
  std::vector<IndirectItem> indirects;
  Financing financing;
  Profit profit;
  std::vector<AdditionalCharge> charges;
};

// The sum of the additional charges, in percent.
double chargesPercent(const std::vector<AdditionalCharge>& charges);

// Refuses a build-up that cannot price a work: an amount or percentage that
// is negative or not finite, payment days below 0, an advance above 100 %,
// an advance and withholdings taking more than a whole estimate, taxes on
// profit or additional charges adding to 100 % or more. The text names the
// field as the JSON spells it ("financiamiento.anticipo",
// "indirectos[3].obra") and says what is wrong with it.
Status validateBuildUp(const BuildUp& buildUp);

}  // namespace velmora::tender
