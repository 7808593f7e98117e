#include "catalog/pricing.h"

#include <algorithm>
#include <climits>

#include "framework/money.h"

namespace velmora::catalog {

CostSplit CostSplit::rounded() const {
  return {money::round2(labour), money::round2(materials), money::round2(equipment), money::round2(percentages)};
}

MachineRates machineRates(const tables::Record& control) { return {control.real("PORC"), control.real("DHAB")}; }

Status firstZoneRates(tables::Table& control, MachineRates* rates) {
  *rates = {};
  const tables::Found first = control.fetchFirstStored();
  if (first.found()) *rates = machineRates(control.rec());
  return first.failure();
}

HourlyCostTerms hourlyCostDerivation(const Machine& m, const MachineInputs& in, const MachineRates& rates) {
  HourlyCostTerms t;
  const double va = in.acquisition;
  t.tyreSet = (m.tyreInput > 0 ? in.tyrePrice : 0) * static_cast<double>(m.tyreCount);
  t.netValue = va - t.tyreSet;
  t.salvage = t.netValue * m.salvagePercent / 100;
  const double life = static_cast<double>(m.lifeHours);
  t.depreciation = life != 0 ? (t.netValue - t.salvage) / life : 0;
  const double yearHours = static_cast<double>(m.yearHours);
  if (yearHours != 0) {
    t.investment = (t.netValue + t.salvage) * rates.interest / 100 / (2 * yearHours);
    t.insurance = m.insurancePercent / 100 * (t.netValue + t.salvage) / (2 * yearHours);
  }
  t.maintenance = t.depreciation * m.maintenanceFactor;
  t.cost.fixed = t.depreciation + t.investment + t.insurance + t.maintenance;
  t.fuel = in.fuelPrice * m.fuelPerHour;
  const double changeHours = static_cast<double>(m.oilChangeHours);
  t.lubricant =
      (changeHours > 0 ? m.sumpCapacity / changeHours * in.lubricantPrice : 0) + in.lubricantPrice * m.lubricantPerHour;
  const double tyreLife = static_cast<double>(m.tyreLifeHours);
  t.tyres = tyreLife > 0 ? t.tyreSet / tyreLife : 0;
  t.cost.consumptions = t.fuel + t.lubricant + t.tyres;
  // Hours per working day; with no hours or no working days there is no
  // operation cost to spread.
  t.hoursPerDay = rates.workingDays != 0 ? yearHours / rates.workingDays : 0;
  t.cost.operation = t.hoursPerDay != 0 ? in.crewPerDay / t.hoursPerDay : 0;
  t.cost.total = t.cost.operation + t.cost.consumptions + t.cost.fixed;
  return t;
}

HourlyCost hourlyCostTerms(const Machine& m, const MachineInputs& in, const MachineRates& rates) {
  return hourlyCostDerivation(m, in, rates).cost;
}

HourlyCost roundedHourlyCost(const HourlyCost& t) {
  return {money::round2(t.consumptions), money::round2(t.operation), money::round2(t.fixed), money::round2(t.total)};
}

PricingEngine::PricingEngine(const tables::Installation& inst, ErrorReporter& errors, PriceSource& prices,
                             const estimate::ZoneFactors& zone, MachineRates rates)
    : inst_(inst),
      errors_(errors),
      prices_(prices),
      zone_(zone),
      rates_(rates),
      concepts_(inst.table("COBT", errors)),
      lines_(inst.table("INCT", errors)),
      machines_(inst.table("MABA", errors)) {
  for (tables::Table* t : {concepts_.get(), lines_.get(), machines_.get()}) {
    if (Status s = t->open(); !s && openStatus_) openStatus_ = s;  // the failure was shown
  }
  if (Status s = prices.openStatus(); !s && openStatus_) openStatus_ = s;
}

Status PricingEngine::readAllLines(tables::Table& table, std::unordered_map<int32_t, std::vector<Line>>& byOwner) {
  // One pass in stored order, without the key; each concept's lines are
  // then put in number order, equal numbers staying in stored order as the
  // key reads them.
  byOwner.clear();
  const Status s = table.scanColumns({"CTA", "MATE", "CATE", "TOTA"}, [&](const tables::Row& st) {
    const int64_t number = st.integer(0);
    if (number < -999999999 || number > 999999999) return true;
    // Integer part of the line number, rounding toward minus infinity.
    const int64_t owner = number >= 0 ? number / 100 : -((-number + 99) / 100);
    byOwner[static_cast<int32_t>(owner)].push_back(
        {number, static_cast<int32_t>(st.integer(1)), static_cast<int>(st.integer(2)), st.real(3)});
    return true;
  });
  for (auto& [owner, lines] : byOwner) {
    if (!std::is_sorted(lines.begin(), lines.end(), [](const Line& a, const Line& b) { return a.number < b.number; }))
      std::stable_sort(lines.begin(), lines.end(), [](const Line& a, const Line& b) { return a.number < b.number; });
  }
  return s;
}

std::vector<Line> PricingEngine::readLines(tables::Table& table, int32_t account) {
  std::vector<Line> out;
  tables::Record from(table.def()), to(table.def());
  linesOfConcept(account, from, to);
  const Status s = table.readRange(table.keyIndex("CTA_KEY"), from, to, [&](const tables::Record& r) {
    out.push_back(lineOf(r));
    return true;
  });
  if (!s && openStatus_) openStatus_ = s;  // shown by the table layer; figures after it are not to be trusted
  return out;
}

const std::vector<Line>& PricingEngine::catalogueLines(int32_t account) {
  auto it = lineCache_.find(account);
  if (it != lineCache_.end()) return it->second;
  if (allLinesLoaded_) return lineCache_[account];  // no lines
  return lineCache_[account] = readLines(*lines_, account);
}

void PricingEngine::preloadCatalogue() {
  // A pass cut short leaves some concepts with part of their lines: none is kept.
  const Status lines = readAllLines(*lines_, lineCache_);
  if (!lines && openStatus_) openStatus_ = lines;
  allLinesLoaded_ = lines.isOk();
  if (!allLinesLoaded_) lineCache_.clear();

  machineValues_.clear();
  const Status s = machines_->readAll(machines_->keyIndex("CTA_KEY"), [&](const tables::Record& r) {
    Machine m = machineOf(r);
    machineValues_[m.account] = std::move(m);
    return true;
  });
  if (!s && openStatus_) openStatus_ = s;
  allMachinesLoaded_ = s.isOk();
}

std::vector<Line> PricingEngine::contiguous(const std::vector<Line>& lines, int32_t account) {
  // Reading by exact number takes the first stored line of each number; a
  // repeated number is passed over and the walk goes on with the next.
  std::vector<Line> out;
  const int64_t first = static_cast<int64_t>(account) * 100;
  for (const Line& l : lines) {
    const int64_t expected = first + static_cast<int64_t>(out.size());
    if (l.number == expected) out.push_back(l);
    else if (l.number != expected - 1 || out.empty()) break;
  }
  return out;
}

std::optional<InputPrice> PricingEngine::linePrice(int32_t account, bool hiddenPercentages) {
  auto p = prices_.inputPrice(account, hiddenPercentages);
  if (p && p->kind == estimate::kLabourKind) p->price = estimate::realWage(p->price, p->kind, zone_);
  return p;
}

CostSplit PricingEngine::applyLine(const Line& line, CostSplit& sums, int level, Depth& depth, double* price) {
  const double q = line.quantity;
  CostSplit added;
  double at = 0;  // the unit price the line is priced at
  switch (line.category) {
    case category::kBasic:
      if (level >= kDeepestLevel) {  // deeper basics are skipped
        depth.cut = true;
        break;
      }
      {
        const BasicResult basic = priceBasic(line.component, level + 1);
        depth.cut |= basic.depth.cut;
        depth.height = std::max(depth.height, basic.depth.height + 1);
        added = basic.sums.scaled(q);
        at = basic.sums.unitPrice();
      }
      break;
    case category::kMachine:
      at = hourlyCost(line.component).total;
      added.equipment = at * q;
      break;
    case category::kMaterial:
    case category::kLabour:
      if (q != 0) {
        const std::optional<InputPrice> input = linePrice(line.component);
        added = inputLineAmount(input, q, sums);
        if (input) at = input->kind == 5 ? sums.materials : input->kind == 6 ? sums.labour : input->price;
      }
      break;
    case category::kPercentOfMaterials:
      at = sums.materials;
      added.percentages = sums.materials * q / 100;
      break;
    case category::kPercentOfLabour:
      at = sums.labour;
      added.percentages = sums.labour * q / 100;
      break;
    default: break;
  }
  sums.add(added);
  if (price != nullptr) *price = at;
  return added;
}

// A basic's figures depend on its level only through the level-10 cut. A
// result that met no cut, computed with `height` levels from the basic down,
// holds at every level from which those levels still fit above the cut; a
// result that met the cut holds only at the level it was computed at.
PricingEngine::BasicResult PricingEngine::priceBasic(int32_t account, int level) {
  if (auto it = uncutBasics_.find(account);
      it != uncutBasics_.end() && level + it->second.depth.height - 1 <= kDeepestLevel)
    return it->second;
  if (auto it = basicsAtLevel_.find({account, level}); it != basicsAtLevel_.end()) return it->second;
  BasicResult result;
  for (const Line& line : catalogueLines(account)) {
    applyLine(line, result.sums, level, result.depth);
    result.sums = result.sums.rounded();  // each level rounds after every line
  }
  if (result.depth.cut) basicsAtLevel_[{account, level}] = result;
  else uncutBasics_[account] = result;
  return result;
}

CostSplit PricingEngine::priceLines(const std::vector<Line>& lines, std::vector<LineContribution>* each) {
  CostSplit sums;
  Depth depth;
  if (each != nullptr) each->clear();
  for (const Line& line : lines) {
    LineContribution c;
    c.added = applyLine(line, sums, 1, depth, &c.price);
    if (each != nullptr) each->push_back(c);
  }
  return sums.rounded();
}

CostSplit PricingEngine::priceConcept(int32_t account) {
  return priceLines(contiguous(catalogueLines(account), account));
}

std::vector<Line> PricingEngine::workRowLines(int32_t row) {
  if (allWorkLinesLoaded_) {
    auto it = workLineCache_.find(row);
    return it != workLineCache_.end() ? it->second : std::vector<Line>{};
  }
  if (!workLines_) {
    workLines_ = inst_.table("INOB", errors_);
    if (Status s = workLines_->open(); !s) {  // shown by the table layer
      if (openStatus_) openStatus_ = s;
      workLines_.reset();
      return {};
    }
  }
  return readLines(*workLines_, row);
}

void PricingEngine::preloadWorkLines() {
  if (!workLines_) {
    workLines_ = inst_.table("INOB", errors_);
    if (Status s = workLines_->open(); !s) {
      if (openStatus_) openStatus_ = s;
      workLines_.reset();
      return;
    }
  }
  const Status s = readAllLines(*workLines_, workLineCache_);
  if (!s && openStatus_) openStatus_ = s;
  allWorkLinesLoaded_ = s.isOk();
  if (!allWorkLinesLoaded_) workLineCache_.clear();
}

CostSplit PricingEngine::priceWorkRow(int32_t row) { return priceLines(contiguous(workRowLines(row), row)); }

std::optional<ConceptInfo> PricingEngine::conceptInfo(int32_t account) {
  concepts_->rec().setInteger("CTA", account);
  const tables::Found read = concepts_->fetch(concepts_->keyIndex("CTA_KEY"));
  if (read.failed() && openStatus_) openStatus_ = read.status();
  if (!read.found()) return std::nullopt;
  Concept c = conceptOf(concepts_->rec());
  return ConceptInfo{std::move(c.text), std::move(c.unit)};
}

std::optional<Machine> PricingEngine::machine(int32_t account) {
  if (auto it = machineValues_.find(account); it != machineValues_.end()) return it->second;
  if (allMachinesLoaded_) return std::nullopt;
  machines_->rec().setInteger("CTA", account);
  const tables::Found read = machines_->fetch(machines_->keyIndex("CTA_KEY"));
  if (read.failed() && openStatus_) openStatus_ = read.status();
  if (!read.found()) return std::nullopt;
  return machineOf(machines_->rec());
}

CostSplit inputLineAmount(const std::optional<InputPrice>& input, double quantity, const CostSplit& sums) {
  CostSplit added;
  if (!input) return added;  // a missing input counts with quantity 0
  switch (input->kind) {
    case 3: added.materials = quantity * input->price; break;
    case 4: added.labour = quantity * input->price; break;
    case 5: added.percentages = sums.materials * quantity / 100; break;
    case 6: added.percentages = sums.labour * quantity / 100; break;
    default: break;
  }
  return added;
}

void addInputLine(const std::optional<InputPrice>& input, double quantity, CostSplit& sums) {
  sums.add(inputLineAmount(input, quantity, sums));
}

double PricingEngine::crewCost(int32_t crew) {
  if (auto it = crewCache_.find(crew); it != crewCache_.end()) return it->second;
  // Only input lines count, by their input's kind, at prices without the
  // work's hidden percentages.
  CostSplit sums;
  for (const Line& line : catalogueLines(crew)) {
    if (line.category != category::kMaterial && line.category != category::kLabour) continue;
    if (line.quantity != 0) addInputLine(linePrice(line.component, false), line.quantity, sums);
  }
  return crewCache_[crew] = sums.materials + sums.labour + sums.percentages;
}

MachineInputs PricingEngine::machineInputs(const Machine& m) {
  const auto price = [this](int64_t input) {
    const auto p = linePrice(static_cast<int32_t>(input), false);
    return p ? p->price : 0.0;
  };
  MachineInputs in;
  in.acquisition = price(m.acquisitionInput);
  in.tyrePrice = m.tyreInput > 0 ? price(m.tyreInput) : 0;
  in.crewPerDay = crewCost(static_cast<int32_t>(m.crewConcept));
  in.fuelPrice = price(m.fuelInput);
  in.lubricantPrice = m.lubricantInput > 0 ? price(m.lubricantInput) : 0;
  return in;
}

HourlyCost PricingEngine::hourlyCost(int32_t account) {
  if (auto it = machineCache_.find(account); it != machineCache_.end()) return it->second;
  const auto m = machine(account);
  if (!m) return machineCache_[account] = HourlyCost{};
  return machineCache_[account] = roundedHourlyCost(hourlyCostTerms(*m, machineInputs(*m), rates_));
}

}  // namespace velmora::catalog
