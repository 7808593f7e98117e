// The unit-price engine: the price of a concept as four sums per unit
// (labour, materials, equipment, percentages), and the hourly cost of a
// machine.
//
// One engine serves the base catalogue and a work: the price source decides
// where input prices come from (BasePrices or WorkPrices); concept lines come
// from the catalogue (INCO) or from a work's rows (INOB). Within one engine a
// basic, a machine or an input is read and priced once: the engine is meant
// for one run (a catalogue pricing, a recalculation, a form's totals) and is
// made anew when the data may have changed.
//
// Rules, in short: lines of category 1 are basics priced recursively (levels
// 2 to 10, each level rounding its sums to cents after every line, deeper
// basics skipped), 2 machines by hourly cost, 3 and 4 inputs by their own
// kind (3 material, 4 labour at real wage, 5 and 6 percentages of the
// material or labour sum so far), 5 and 6 percentages of those sums. The top
// level rounds its four sums to cents at the end.
//
// Thread rules: an engine and its tables belong to one thread.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "catalog/items.h"
#include "catalog/prices.h"
#include "estimate/zones.h"
#include "framework/error_reporter.h"
#include "tables/installation.h"
#include "tables/table.h"

namespace velmora::catalog {

// Line categories, the same codes as input kinds 3 to 6.
namespace category {
constexpr int kBasic = 1, kMachine = 2, kMaterial = 3, kLabour = 4, kPercentOfMaterials = 5, kPercentOfLabour = 6;
}

// The deepest level of basics that pricing follows: a concept's own lines
// are level 1, a basic's lines one more; basics below this are skipped.
inline constexpr int kDeepestLevel = 10;

struct CostSplit {
  double labour = 0;       // PU_MOBRA
  double materials = 0;    // PU_MATERIAL
  double equipment = 0;    // PU_EQUIPO
  double percentages = 0;  // PU_PORCEN
  double unitPrice() const { return labour + materials + equipment + percentages; }
  CostSplit scaled(double factor) const {
    return {labour * factor, materials * factor, equipment * factor, percentages * factor};
  }
  void add(const CostSplit& o) {
    labour += o.labour;
    materials += o.materials;
    equipment += o.equipment;
    percentages += o.percentages;
  }
  CostSplit rounded() const;
};

// Interest rate and working days used by the hourly cost.
struct MachineRates {
  double interest = 0;     // CTL:PORC
  double workingDays = 0;  // CTL:DHAB
};
// The rates of a zone record (CONTROL).
MachineRates machineRates(const tables::Record& control);
// The rates of the first stored zone, which pricing uses (zeros when there
// is no zone); a failed read is returned, never taken for zeros.
Status firstZoneRates(tables::Table& control, MachineRates* rates);

// The input prices a machine's hourly cost needs.
struct MachineInputs {
  double acquisition = 0;     // Va: price of MAB:EQUI
  double tyrePrice = 0;       // price of one tyre (MAB:NEUM), 0 when none
  double crewPerDay = 0;      // C: cost of the operating crew
  double fuelPrice = 0;       // Pc
  double lubricantPrice = 0;  // Pl, 0 when none
};

struct HourlyCost {
  double consumptions = 0;  // COSTO_CONSUMOS
  double operation = 0;     // COSTO_OPERACION
  double fixed = 0;         // COSTO_FIJOS
  double total = 0;         // COSTO_HORARIO
};

// Every term of an hourly cost, as the machine sheets print its derivation.
struct HourlyCostTerms {
  double tyreSet = 0;       // Vll, the value of the set of tyres
  double netValue = 0;      // Vm = Va - Vll
  double salvage = 0;       // Vr = Vm x % salvage
  double depreciation = 0;  // D
  double investment = 0;    // I
  double insurance = 0;     // S
  double maintenance = 0;   // M
  double fuel = 0;          // F
  double lubricant = 0;     // L
  double tyres = 0;         // T
  double hoursPerDay = 0;   // h
  HourlyCost cost;          // the four results, unrounded
};
HourlyCostTerms hourlyCostDerivation(const Machine& machine, const MachineInputs& in, const MachineRates& rates);

// The four terms of the hourly cost of `machine`, unrounded,
// as the machine form shows them while the user types. Divisions by a zero
// life, zero hours or zero working days give 0 for their term.
HourlyCost hourlyCostTerms(const Machine& machine, const MachineInputs& in, const MachineRates& rates);
// Each term rounded to cents; the total is the rounded unrounded sum.
HourlyCost roundedHourlyCost(const HourlyCost& terms);

struct ConceptInfo {
  std::string description;
  std::string unit;
};

// Adds one line of an input (categories 3 and 4) to `sums`, by the input's
// own kind: 3 materials and 4 labour (quantity x price), 5 and 6 a
// percentage of the materials or labour so far. Nothing for a missing input.
void addInputLine(const std::optional<InputPrice>& input, double quantity, CostSplit& sums);
// What that line adds, given the sums so far.
CostSplit inputLineAmount(const std::optional<InputPrice>& input, double quantity, const CostSplit& sums);

// What one line of a top-level analysis added to the four sums (before the
// final rounding), and the unit price it was priced at: a basic at the level
// where it counts, a machine at its hourly cost, an input at its price (real
// wage for labour), a percentage on the sum so far.
struct LineContribution {
  CostSplit added;
  double price = 0;
};

class PricingEngine {
 public:
  PricingEngine(const tables::Installation& inst, ErrorReporter& errors, PriceSource& prices,
                const estimate::ZoneFactors& zone, MachineRates rates);

  // A concept of the catalogue (COBA with its INCO lines).
  CostSplit priceConcept(int32_t account);
  // A budget row of the open work (its INOB lines; basics from the catalogue).
  CostSplit priceWorkRow(int32_t row);
  // Every stored line of budget row `row` (INOB), in line order.
  std::vector<Line> workRowLines(int32_t row);
  // Reads every line of the open work's budget at once: for a recalculation.
  void preloadWorkLines();
  // Lines given by the caller, priced as a top-level concept; with `each`,
  // what every line added (one entry a line, in order).
  CostSplit priceLines(const std::vector<Line>& lines, std::vector<LineContribution>* each = nullptr);

  // Reads every catalogue line and machine at once: for runs that price
  // many concepts (the whole catalogue, a recalculation).
  void preloadCatalogue();

  HourlyCost hourlyCost(int32_t machine);
  // The input prices the hourly cost of machine `m` needs, at this engine's
  // prices (the machine form passes the values on its screen).
  MachineInputs machineInputs(const Machine& m);
  double crewCost(int32_t crew);
  // The price of an input for a line: the price source's, at real wage for
  // labour; nothing when the input does not exist.
  std::optional<InputPrice> linePrice(int32_t account, bool hiddenPercentages = true);

  // Nothing when absent, or when the read failed (openStatus() says so).
  std::optional<ConceptInfo> conceptInfo(int32_t account);
  std::optional<Machine> machine(int32_t account);
  // Every line of a catalogue concept, in line order.
  const std::vector<Line>& catalogueLines(int32_t account);
  // The lines read by exact number from .00 until the first missing one.
  static std::vector<Line> contiguous(const std::vector<Line>& lines, int32_t account);

  const estimate::ZoneFactors& zone() const { return zone_; }
  // Whether every table the engine reads could be opened and every read
  // since (its own and its price source's) was answered: the first failure.
  // Figures priced after a failure would be wrong, so callers check before
  // they trust them, and again before they store them.
  Status openStatus() const { return !openStatus_ ? openStatus_ : prices_.openStatus(); }

 private:
  struct Depth {
    int height = 1;    // levels used from this basic down, itself included
    bool cut = false;  // a basic deeper than level 10 was skipped below it
  };
  struct BasicResult {
    CostSplit sums;
    Depth depth;
  };
  BasicResult priceBasic(int32_t account, int level);
  // Adds `line` to `sums` and returns what it added; `price`, when given,
  // receives the unit price the line was priced at.
  CostSplit applyLine(const Line& line, CostSplit& sums, int level, Depth& depth, double* price = nullptr);
  std::vector<Line> readLines(tables::Table& table, int32_t account);
  // Every line of `table`, grouped by the account that owns it.
  static Status readAllLines(tables::Table& table, std::unordered_map<int32_t, std::vector<Line>>& byOwner);

  const tables::Installation inst_;
  ErrorReporter& errors_;
  PriceSource& prices_;
  estimate::ZoneFactors zone_;
  MachineRates rates_;
  Status openStatus_;
  std::unique_ptr<tables::Table> concepts_;   // COBT
  std::unique_ptr<tables::Table> lines_;      // INCT
  std::unique_ptr<tables::Table> machines_;   // MABA
  std::unique_ptr<tables::Table> workLines_;  // INOB, opened on first use
  std::unordered_map<int32_t, std::vector<Line>> workLineCache_;
  bool allWorkLinesLoaded_ = false;

  std::unordered_map<int32_t, std::vector<Line>> lineCache_;
  bool allLinesLoaded_ = false;
  std::unordered_map<int32_t, Machine> machineValues_;
  bool allMachinesLoaded_ = false;
  std::unordered_map<int32_t, BasicResult> uncutBasics_;          // results that met no cut
  std::map<std::pair<int32_t, int>, BasicResult> basicsAtLevel_;  // results cut at level 10
  std::unordered_map<int32_t, HourlyCost> machineCache_;
  std::unordered_map<int32_t, double> crewCache_;
};

}  // namespace velmora::catalog
