#include "reports/explosion_report.h"

#include <algorithm>
#include <climits>
#include <optional>
#include <unordered_map>
#include <vector>

#include "catalog/pricing.h"
#include "estimate/zones.h"
#include "framework/picture.h"
#include "framework/text.h"
#include "reports/analysis_reports.h"
#include "reports/budget_report.h"
#include "reports/page_writer.h"
#include "reports/report_header.h"
#include "reports/sheet.h"
#include "tables/catalogue.h"
#include "works/budget.h"
#include "works/work.h"

namespace velmora::reports {

namespace {

constexpr double kLine = 10;
constexpr int kDeepestLevel = 10;

std::string number(double v, const char* pic) { return picture::formatNumber(v, pic); }
std::string withoutCommas(std::string s) {
  std::replace(s.begin(), s.end(), ',', ' ');
  return s;
}

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

Status layOutExplosion(const tables::Installation& inst, ErrorReporter& errors, const std::string& workCode,
                       const ReportOptions& options, const std::string& company, int32_t today, Spool& spool,
                       const std::function<bool(size_t, size_t)>& progress) {
  auto obraTable = inst.table("OBRA", errors);
  auto control = inst.table("CONTROL", errors);
  for (tables::Table* t : {obraTable.get(), control.get()}) {
    if (Status s = t->open(); !s) return s;
  }
  obraTable->rec().setText("CTA", workCode);
  if (Status s = obraTable->fetch(obraTable->keyIndex("CTA_KEY")); !s) return s;
  tables::Record obra = obraTable->rec();
  works::fillDefaultCaptions(obra);
  const int zone = std::clamp(static_cast<int>(obra.integer("LIST")), 1, 5);
  control->rec().setInteger("CTA", zone);
  const bool zoneFound = control->fetch(control->keyIndex("KEYCTA")).isOk();
  const tables::Record zoneRecord = control->rec();
  works::WorkPricing pricing(inst, errors, obra, estimate::loadZoneFactors(*control, zone), 0);
  if (Status s = pricing.openStatus(); !s) return s;
  catalog::PricingEngine& engine = pricing.engine();
  engine.preloadCatalogue();
  engine.preloadWorkLines();
  pricing.prices().preloadAll();  // the work's inputs at once, the base ones at the first missing copy

  auto cobr = inst.table("COBR", errors);
  if (Status s = cobr->open(); !s) return s;
  std::vector<works::BudgetRow> rows;
  if (Status s = works::readBudget(*cobr, &rows); !s) return s;
  if (Status s = works::checkFiniteFigures(rows); !s) return s;
  Walk walk(engine);
  for (size_t i = 0; i < rows.size(); ++i) {
    if (progress && !progress(i, rows.size())) return Status::error(Status::Code::kCancelled, "cancelado");
    const works::BudgetRow& r = rows[i];
    if (r.kind != works::row_kind::kConcept || !options.inRange(r.account)) continue;
    walk.row(catalog::PricingEngine::contiguous(engine.workRowLines(r.account), r.account), r.quantity);
  }

  // The listing. The direct cost is the budget's own, summed as the budget
  // prints it (not the totals stored in the work's header, which a
  // read-only installation never got stored).
  const double direct = works::displayBudget(rows).directCost;
  const auto share = [direct](double amount) { return direct != 0 ? amount * 100 / direct : 0.0; };
  Heading heading{company,
                  {"EXPLOSION DE INSUMOS: " + obra.text("OBRA"), obra.text("DIRE"), options.title},
                  today,
                  30,
                  582,
                  {{30, 36, "No CTA", Align::kRight},
                   {68, 48, "COTIZACION"},
                   {118, 60, "GEN-CLAVE"},
                   {180, 160, "D E S C R I P C I O N"},
                   {342, 30, "UNIDAD"},
                   {374, 56, "CANTIDAD", Align::kRight},
                   {432, 50, "PRECIO", Align::kRight},
                   {484, 62, "IMPORTE", Align::kRight},
                   {548, 34, "% TOT", Align::kRight}}};
  PageWriter out(spool, [&heading](Page& p) { return drawHeading(p, heading); });
  Sheet* sheet = spool.sheet();
  if (sheet != nullptr) {
    sheet->name = "Explosion de insumos";
    sheet->heading = {company, "EXPLOSION DE INSUMOS: " + obra.text("OBRA"), obra.text("DIRE"), options.title};
    sheet->columns = {{"No CTA", 8, 0},    {"COTIZACION", 11}, {"GEN-CLAVE", 14},  {"DESCRIPCION", 50}, {"UNIDAD", 8},
                      {"CANTIDAD", 14, 2}, {"PRECIO", 14, 2},  {"IMPORTE", 16, 2}, {"% TOT", 8, 2}};
  }
  double listed = 0;  // the sum of the amounts listed, the spreadsheet's total
  // One line of the listing, on the page and in the spreadsheet.
  const auto listLine = [&](int32_t account, const std::optional<catalog::WorkInputLabel>& label,
                            const std::string& description, const std::string& unit, double quantity, double price,
                            double amount) {
    out.band(kLine);
    out.text(30, 36, account != 0 ? std::to_string(account) : std::string(), Align::kRight);
    if (label) {
      out.text(68, 48, picture::formatDate(label->date), Align::kLeft, 6.5);
      out.text(118, 60, text::clip(label->gene) + "-" + label->llav);
    }
    out.text(180, 160, withoutCommas(description));
    out.text(342, 30, unit);
    out.text(374, 56, number(quantity, "n12.2"), Align::kRight);
    out.text(432, 50, number(price, "n12.2"), Align::kRight);
    out.text(484, 62, number(amount, "n14.2"), Align::kRight);
    out.text(548, 34, number(share(amount), "n6.2B"), Align::kRight);
    listed += amount;
    if (sheet != nullptr) {
      sheet->add({account != 0 ? SheetCell(static_cast<double>(account)) : SheetCell(),
                  label ? picture::formatDate(label->date) : std::string(),
                  label ? text::clip(label->gene) + "-" + text::clip(label->llav) : std::string(),
                  text::clip(description), unit, quantity, price, amount, share(amount)});
    }
  };
  for (const auto& [key, quantity] : walk.inputTotals()) {
    const auto [account, kind] = key;
    static const WalkInput kNone;
    const WalkInput& found = account != 0 ? walk.input(account) : kNone;  // creates a missing copy
    const WalkInput* input = found.exists ? &found : nullptr;
    const bool percent = kind == 5 || kind == 6;
    double price = percent || !input ? 0 : input->price;
    if (price == 0) price = 1.00;  // a price of 0 counts as 1.00: the amount is the quantity
    listLine(account, account != 0 ? pricing.prices().workInputLabel(account) : std::nullopt,
             input ? input->text : std::string(kindTitle(kind)), input ? input->unit : std::string("%"), quantity,
             price, quantity * price);
  }
  struct MachineLine {
    int32_t account;
    std::string text;
    double hours, cost;
  };
  std::vector<MachineLine> machines;
  for (const auto& [account, hours] : walk.machineHours()) {
    const auto m = engine.machine(account);
    const double cost = engine.hourlyCost(account).total;
    machines.push_back({account, m ? m->text("TEXT") : std::string(), hours, cost});
    listLine(account, std::nullopt, machines.back().text, "HR.", hours, cost, hours * (cost != 0 ? cost : 1.00));
  }
  if (sheet != nullptr) {
    // The listed amounts as a formula, and the total the report prints (the
    // work's direct cost) beside it: the two differ wherever the listing
    // counts an amount at 1.00 or a percentage line the budget spreads.
    sheet->addTotal({{}, {}, {}, std::string("SUMA DE IMPORTES"), {}, {}, {}, listed}, {7}, true);
    sheet->add({{}, {}, {}, std::string("TOTAL"), {}, {}, {}, direct});
    if (options.closingSummary == 'S') {
      for (const SummaryLine& line : closingSummary(obra, direct, zoneFound ? &zoneRecord : nullptr)) {
        sheet->add({{}, {}, {}, text::clip(line.text), {}, {}, {}, line.amount});
      }
    }
  }
  out.band(4);
  out.rule();
  out.band(kLine + 2);
  out.text(180, 160, "TOTAL", Align::kLeft, 7, true);
  out.text(484, 62, number(direct, "n14.2"), Align::kRight, 7, true);
  if (options.closingSummary == 'S') {
    for (const SummaryLine& line : closingSummary(obra, direct, zoneFound ? &zoneRecord : nullptr)) {
      if (line.ruleBefore) {
        out.band(4);
        out.rule(484, 546);
      }
      out.band(kLine);
      out.text(180, 300, line.text);
      out.text(484, 62, number(line.amount, "n14.2"), Align::kRight);
    }
  }
  if (progress && !progress(rows.size(), rows.size())) return Status::error(Status::Code::kCancelled, "cancelado");
  if (Status s = out.finish(); !s) return s;

  // The writes, all or nothing, once the report is laid out: the work inputs
  // the explosion created and, for the whole work, the machine hours. A
  // work folder that cannot be written still gets its report.
  if (!tables::canWriteIn(inst.workDir)) return Status::ok();
  const bool wholeWork = options.firstAccount == 0 && options.lastAccount == 0;
  auto hora = inst.table("HORA", errors);
  if (Status s = hora->open(); !s) return s;
  if (Status s = pricing.prices().workInputs().shareConnectionOf(*hora); !s) return s;
  if (Status s = hora->begin(); !s) return s;
  const auto fail = [&hora](Status s) {
    hora->rollback();
    return s;
  };
  if (Status s = pricing.prices().saveCopies(); !s) return fail(s);
  if (wholeWork) {
    for (const MachineLine& m : machines) {
      hora->rec().clear();
      hora->rec().setInteger("CTA", m.account);
      const bool exists = hora->fetch(hora->keyIndex("CTA_KEY")).isOk();
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

}  // namespace velmora::reports
