#include "works/explosion.h"

#include <algorithm>
#include <climits>
#include <unordered_map>

#include "catalog/pricing.h"
#include "framework/text.h"

namespace velmora::works {

namespace {

constexpr int kDeepestLevel = 10;

// An input's kind, price and description as the explosion needs them,
// looked up once per account (the lookup may create the work's copy).
struct WalkInput {
  bool exists = false;
  int kind = 0;
  double price = 0;  // labour: the real wage
  std::string text, unit;
};

// The running sums of one concept row, per unit of the concept.
struct RowSums {
  double materials = 0, labour = 0;
};

// A line of the walk, with what it leads to resolved on its first visit.
struct Step {
  catalog::Line line;
  std::vector<Step>* basic = nullptr;  // a basic's own steps
  const WalkInput* input = nullptr;
  int slot = -1;  // where its total adds up
};

// The explosion of the work's rows through their nested basics, with every
// basic's lines, input and total slot looked up once for the whole work.
class Walk {
 public:
  explicit Walk(catalog::PricingEngine& engine) : engine_(engine) {}

  void row(const std::vector<catalog::Line>& lines, double quantity) {
    std::vector<Step> steps = stepsOf(lines);
    RowSums sums;  // from 0 for each row
    explode(steps, 1, quantity, 1, sums);
  }

  const WalkInput& input(int32_t account) {
    auto [it, fresh] = inputs_.try_emplace(account);
    if (fresh) {
      // A copy made here follows CALCULA's rule (hidden percentages
      // included), so the order of an explosion and a recalculation never
      // changes what the work costs.
      if (auto p = engine_.linePrice(account))
        it->second = {true, p->kind, p->price, std::move(p->text), std::move(p->unit)};
    }
    return it->second;
  }

  // (account, kind) -> quantity (money for kinds 5 and 6), in account order.
  std::vector<std::pair<std::pair<int32_t, int>, double>> inputTotals() const {
    std::vector<std::pair<std::pair<int32_t, int>, double>> out;
    for (size_t i = 0; i < inputKeys_.size(); ++i) out.push_back({inputKeys_[i], inputTotals_[i]});
    std::sort(out.begin(), out.end());
    return out;
  }
  std::vector<std::pair<int32_t, double>> machineHours() const {
    std::vector<std::pair<int32_t, double>> out;
    for (size_t i = 0; i < machineKeys_.size(); ++i) out.push_back({machineKeys_[i], machineHours_[i]});
    std::sort(out.begin(), out.end());
    return out;
  }

 private:
  static std::vector<Step> stepsOf(const std::vector<catalog::Line>& lines) {
    std::vector<Step> steps;
    steps.reserve(lines.size());
    for (const catalog::Line& l : lines) steps.push_back({l});
    return steps;
  }
  std::vector<Step>& basicSteps(int32_t account) {
    auto [it, fresh] = basics_.try_emplace(account);
    if (fresh) it->second = stepsOf(engine_.catalogueLines(account));
    return it->second;
  }
  int inputSlot(int32_t account, int kind) {
    auto [it, fresh] = inputSlots_.try_emplace(static_cast<int64_t>(account) * 8 + kind, int(inputKeys_.size()));
    if (fresh) {
      inputKeys_.push_back({account, kind});
      inputTotals_.push_back(0);
    }
    return it->second;
  }
  int machineSlot(int32_t account) {
    auto [it, fresh] = machineSlots_.try_emplace(account, int(machineKeys_.size()));
    if (fresh) {
      machineKeys_.push_back(account);
      machineHours_.push_back(0);
    }
    return it->second;
  }

  // Walks `steps`, which make `unit` of one unit of the concept (1 at the
  // concept, the product of the basics' quantities below), for a concept
  // quantity of `quantity`.
  void explode(std::vector<Step>& steps, double unit, double quantity, int level, RowSums& sums) {
    for (Step& s : steps) {
      const catalog::Line& l = s.line;
      const double perUnit = l.quantity * unit;  // of this line, per unit of the concept
      switch (l.category) {
        case catalog::category::kBasic:
          if (level < kDeepestLevel) {
            if (!s.basic) s.basic = &basicSteps(l.component);
            explode(*s.basic, perUnit, quantity, level + 1, sums);
          }
          break;
        case catalog::category::kMachine:
          if (s.slot < 0) s.slot = machineSlot(l.component);
          machineHours_[s.slot] += perUnit * quantity;
          break;
        case catalog::category::kPercentOfMaterials:
          if (s.slot < 0) s.slot = inputSlot(l.component, 5);
          inputTotals_[s.slot] += sums.materials * l.quantity / 100 * quantity;
          break;
        case catalog::category::kPercentOfLabour:
          if (s.slot < 0) s.slot = inputSlot(l.component, 6);
          inputTotals_[s.slot] += sums.labour * l.quantity / 100 * quantity;
          break;
        default: {
          if (l.quantity == 0) break;
          if (!s.input) s.input = &input(l.component);
          const WalkInput& in = *s.input;
          if (!in.exists || in.kind < 3 || in.kind > 6) break;
          if (s.slot < 0) s.slot = inputSlot(l.component, in.kind);
          double& total = inputTotals_[s.slot];
          switch (in.kind) {
            case 3:
              total += perUnit * quantity;
              sums.materials += perUnit * in.price;
              break;
            case 4:
              total += perUnit * quantity;
              sums.labour += perUnit * in.price;  // the real wage
              break;
            case 5: total += sums.materials * l.quantity / 100 * quantity; break;
            default: total += sums.labour * l.quantity / 100 * quantity; break;
          }
        }
      }
    }
  }

  catalog::PricingEngine& engine_;
  std::unordered_map<int32_t, WalkInput> inputs_;
  std::unordered_map<int32_t, std::vector<Step>> basics_;
  std::unordered_map<int64_t, int> inputSlots_;
  std::vector<std::pair<int32_t, int>> inputKeys_;
  std::vector<double> inputTotals_;
  std::unordered_map<int32_t, int> machineSlots_;
  std::vector<int32_t> machineKeys_;
  std::vector<double> machineHours_;
};

}  // namespace

WorkExplosion::WorkExplosion(const tables::Installation& inst, ErrorReporter& errors, const WorkHeader& header,
                             const estimate::ZoneFactors& zone)
    : inst_(inst), errors_(errors), pricing_(inst, errors, header, zone, 0) {}

WorkExplosion::~WorkExplosion() = default;

Status WorkExplosion::run(int64_t first, int64_t last, const std::function<bool(size_t, size_t)>& progress) {
  if (Status s = pricing_.openStatus(); !s) return s;
  catalog::PricingEngine& engine = pricing_.engine();
  engine.preloadCatalogue();
  engine.preloadWorkLines();
  pricing_.prices().preloadAll();  // the work's inputs at once, the base ones at the first missing copy
  wholeWork_ = first == 0 && last == 0;

  auto cobr = inst_.table("COBR", errors_);
  if (Status s = cobr->open(); !s) return s;
  if (Status s = readBudgetFigures(*cobr, &rows_); !s) return s;
  if (Status s = checkFiniteFigures(rows_); !s) return s;
  const auto inRange = [first, last](int64_t a) { return (first == 0 || a >= first) && (last == 0 || a <= last); };
  Walk walk(engine);
  for (size_t i = 0; i < rows_.size(); ++i) {
    if (progress && !progress(i, rows_.size())) return Status::error(Status::Code::kCancelled, "cancelado");
    const BudgetRow& r = rows_[i];
    if (r.kind != row_kind::kConcept || !inRange(r.account)) continue;
    walk.row(catalog::PricingEngine::contiguous(engine.workRowLines(r.account), r.account), r.quantity);
  }
  inputs_.clear();
  for (const auto& [key, quantity] : walk.inputTotals()) {
    const auto [account, kind] = key;
    ExplodedInput in;
    in.account = account;
    in.kind = kind;
    in.quantity = quantity;
    if (account != 0) {
      const WalkInput& found = walk.input(account);  // creates a missing copy
      in.exists = found.exists;
      in.price = found.price;
      in.text = found.text;
      in.unit = found.unit;
      in.label = pricing_.prices().workInputLabel(account);
    }
    inputs_.push_back(std::move(in));
  }
  machines_.clear();
  for (const auto& [account, hours] : walk.machineHours()) {
    const auto m = engine.machine(account);
    machines_.push_back({account, m ? m->text : std::string(), hours, engine.hourlyCost(account).total});
  }
  return engine.openStatus();  // figures after a failed read only look right
}

Status storedMachineAccounts(const tables::Installation& inst, ErrorReporter& errors, std::vector<int32_t>* accounts) {
  auto hora = inst.table("HORA", errors);
  bool held = false;
  if (Status asked = inst.holdsTable(hora->def(), &held); !asked) return asked;
  if (!held) {
    return Status::error(Status::Code::kNotFound,
                         "genere primero la explosión de insumos de la obra; de ella salen sus máquinas.");
  }
  if (Status s = hora->open(); !s) return s;
  return hora->readAll(hora->keyIndex("CTA_KEY"), [&](const tables::Record& r) {
    accounts->push_back(static_cast<int32_t>(r.integer("CTA")));
    return true;
  });
}

Status WorkExplosion::store() {
  if (!inst_.workWritable()) return Status::ok();
  auto hora = inst_.table("HORA", errors_);
  if (Status s = hora->open(); !s) return s;
  if (Status s = pricing_.prices().workInputs().shareConnectionOf(*hora); !s) return s;
  if (Status s = hora->begin(); !s) return s;
  const auto fail = [&hora](Status s) {
    hora->rollback();
    return s;
  };
  if (Status s = pricing_.prices().saveCopies(); !s) return fail(s);
  if (wholeWork_) {
    for (const ExplodedMachine& m : machines_) {
      hora->rec().clear();
      hora->rec().setInteger("CTA", m.account);
      const tables::Found stored = hora->fetch(hora->keyIndex("CTA_KEY"));
      if (stored.failed()) return fail(stored.status());
      const bool exists = stored.found();
      tables::Record& r = hora->rec();
      if (!exists) {
        r.clear();
        r.setInteger("CTA", m.account);
      }
      r.setText("DESC", m.text);
      r.setReal("CANT", m.hours);
      r.setReal("PREC", m.cost);
      r.setText("DPRO", text::truncateChars(std::to_string(m.account) + " " + m.text, 30));
      if (Status s = exists ? hora->update() : hora->insert(); !s) return fail(s);
    }
  }
  return hora->commit();
}

}  // namespace velmora::works
