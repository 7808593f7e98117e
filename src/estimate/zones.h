// Salary zones and the real-wage factor.
//
// A labour price enters every cost multiplied by the real-wage factor of the
// current salary zone: FSR_MENOR for wages up to three minimum salaries,
// FSR_MAYOR above. The factors come from the zone's statutory charges and its
// ratio of paid days to working days. Plain functions over CONTROL records;
// no state of their own.
#pragma once

#include <array>
#include <optional>
#include <string>

#include "framework/status.h"
#include "tables/record.h"
#include "tables/table.h"

namespace velmora::estimate {

// The figures of the current salary zone that pricing reads.
struct ZoneFactors {
  int zone = 0;              // CTL:CTA the factors belong to
  double salMin = 0;         // SAL_MIN
  double fsrMenor = 1;       // FSR_MENOR
  double fsrMayor = 1;       // FSR_MAYOR
  double cuotasImss = 0;     // CUOTAS_IMSS
  double cuotasImssExc = 0;  // CUOTAS_IMSS_EXC
  // What the reports state of the zone as stored: its working days (DHAB)
  // and its SAR and INFONAVIT rates, in percent.
  double storedWorkingDays = 0;
  double sarRate = 0;
  double infonavitRate = 0;
  // False when the zone record is missing or has no working days: the factors
  // then stay at 1 and the user is told the zone is incomplete.
  bool complete = false;
};

inline constexpr int kLabourKind = 4;

// Working days: 365 minus every non-working day count, in index order.
double workingDays(const tables::Record& control);

// The factors of one zone record (CTL:DHAB as stored).
ZoneFactors zoneFactors(const tables::Record& control);

// A labour input's daily wage taken through the real-wage factor, term by
// term, as the salary study prints it: paid days Tp = 365 + VACA + GRAT; the
// IMSS quotas (with the excess ones above three minimum salaries), SAR and
// INFONAVIT, and payroll tax on the wage of the paid days; their sum over
// the working days is the real wage. A fixed factor of the zone replaces the
// computed one, and the real wage is then the wage times that factor.
struct WageStudy {
  double base = 0;           // SUELDO BASE
  double annual = 0;         // SUELDO ANUAL: base x 365
  double bonus = 0;          // GRATIF. ANUAL: base x GRAT
  double vacationBonus = 0;  // PRIMA VACAC.: base x VACA
  double imss = 0;           // I.M.S.S.
  double sarInfonavit = 0;   // SAR/INF
  double payrollTax = 0;     // ISN
  double sum = 0;            // SUMA
  double realWage = 0;       // SUELDO REAL
  double factor = 0;         // FACTOR
};
WageStudy wageStudy(double base, const tables::Record& control);

// Reads zone `zone` through `control` (open) and computes its factors; a
// zone that is not stored has factors of 0. A failed read is returned (and
// `factors` then holds only the zone's number): it is never taken for a
// missing zone, whose zero factors would price labour at nothing.
Status loadZoneFactors(tables::Table& control, int zone, ZoneFactors* factors);

// Real wage of a price of the given input kind: labour prices are multiplied
// by FSR_MAYOR above 3 x SAL_MIN and by FSR_MENOR otherwise; other kinds pass.
double realWage(double price, int kind, const ZoneFactors& factors);

// The three-line warning of a zone number above 5, or nothing.
std::optional<std::array<std::string, 3>> zoneNumberWarning(int zone);

// The five zone names in key order of CONTROL; with fewer records the names
// after the last repeat the last name read.
// A failed read is returned; `names` then holds what was read before it.
Status readZoneNames(tables::Table& control, std::array<std::string, 5>* names);

// What a new zone record is made from: its name, minimum salary and payroll
// tax; the statutory figures (IMSS quotas of a construction company,
// INFONAVIT 5 %, SAR 2 %, bonus and vacation days, Sundays and holidays)
// are the usual ones and stay editable in the zone form.
struct ZoneDefaults {
  const char* name;
  double minimumSalary;
  double payrollTax;
};
// Zones 1 to 5 of a new installation: the minimum salaries of 2026 of the
// northern border free zone and of the rest of the country.
extern const std::array<ZoneDefaults, 5> kNewInstallationZones;

// Adds each of the zones 1 to 5 that is missing; existing zones stay as
// they are. One transaction.
Status addMissingZones(tables::Table& control, const std::array<ZoneDefaults, 5>& zones);

}  // namespace velmora::estimate
