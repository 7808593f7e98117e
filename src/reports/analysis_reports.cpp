#include "reports/analysis_reports.h"

#include <algorithm>
#include <climits>
#include <filesystem>
#include <memory>
#include <optional>
#include <vector>

#include "catalog/analysis.h"
#include "catalog/prices.h"
#include "catalog/pricing.h"
#include "estimate/zones.h"
#include "framework/money.h"
#include "framework/picture.h"
#include "framework/text.h"
#include "reports/budget_report.h"
#include "reports/page_writer.h"
#include "reports/report_header.h"
#include "tables/catalogue.h"
#include "works/budget.h"
#include "works/explosion.h"
#include "works/work.h"

namespace velmora::reports {

namespace {

constexpr double kLine = 10;

std::string number(double v, const char* pic) { return picture::formatNumber(v, pic); }

}  // namespace

const char* kindTitle(int kind) {
  switch (kind) {
    case 1: return "BASICOS Y CUADRILLAS";
    case 2: return "COSTOS HORARIOS";
    case 3: return "INSUMOS";
    case 4: return "MANO DE OBRA";
    case 5: return "% SOBRE MATERIALES";
    case 6: return "% SOBRE MANO DE OBRA";
    default: return "";
  }
}

// What an analysis report prices with: the work (its header, zone and
// prices) or the base catalogue at the current zone.
struct PricingSetup {
  works::WorkHeader obra;
  int zone = 1;
  estimate::ZoneFactors factors;
  catalog::MachineRates rates;
  std::unique_ptr<catalog::PriceSource> prices;
};

Status preparePricing(const tables::Installation& inst, ErrorReporter& errors, const AnalysisReportScope& scope,
                      PricingSetup* setup) {
  auto control = inst.table("CONTROL", errors);
  if (Status s = control->open(); !s) return s;
  if (Status s = catalog::firstZoneRates(*control, &setup->rates); !s) return s;
  if (scope.work) {
    setup->obra = scope.work->header;
    works::fillDefaultCaptions(setup->obra);
    setup->zone = scope.work->zone.zone;
    setup->factors = scope.work->zone;
  } else {
    setup->zone = std::clamp(scope.zone, 1, 5);
    if (Status s = estimate::loadZoneFactors(*control, setup->zone, &setup->factors); !s) return s;
  }
  if (scope.work) {
    setup->prices = std::make_unique<catalog::WorkPrices>(inst, errors, setup->zone, setup->obra.hiddenLabour,
                                                          setup->obra.hiddenMaterials, 0);
  } else {
    setup->prices = std::make_unique<catalog::BasePrices>(inst, errors, setup->zone);
  }
  return Status::ok();
}

namespace {

// Where an analysis prints its figures: the page's right edge and the
// amount's column, wider across a landscape page.
struct AnalysisLayout {
  double right, amountX, amountW;
};

// A concept a report analyses, with the four parts stored for a work's row.
struct PrintedConcept {
  catalog::Concept head;
  catalog::CostSplit storedParts;
};

// The concepts a report analyses: the work's rows (no titles or subtotals)
// or base concepts, in range.
Status conceptsToPrint(const tables::Installation& inst, ErrorReporter& errors, const AnalysisReportScope& scope,
                       const ReportOptions& options, std::vector<PrintedConcept>* concepts) {
  auto heads = inst.table(scope.work ? "COBR" : "COBA", errors);
  if (Status s = heads->open(); !s) return s;
  if (Status s = heads->readAll(heads->keyIndex("CTA_KEY"),
                                [&](const tables::Record& r) {
                                  if (!scope.work) {
                                    catalog::Concept c = catalog::conceptOf(r);
                                    if (options.inRange(c.account)) concepts->push_back({std::move(c), {}});
                                    return true;
                                  }
                                  works::BudgetRow row = works::budgetRow(r);
                                  if (options.inRange(row.account) && row.kind == works::row_kind::kConcept) {
                                    catalog::Concept head{
                                        row.account,         std::move(row.text), std::move(row.longText),
                                        std::move(row.gene), std::move(row.key),  std::move(row.unit)};
                                    concepts->push_back({std::move(head), row.perUnit});
                                  }
                                  return true;
                                });
      !s) {
    return s;
  }

  return Status::ok();
}

// A concept's head: key, account, unit, description, its four parts and,
// for a work's row, the piecework price.
void drawConceptHead(PageWriter& out, const catalog::Concept& c, const catalog::CostSplit& parts,
                     const PricingSetup& setup, const AnalysisReportScope& scope, const ReportOptions& options,
                     const AnalysisLayout& at) {
  const double right = at.right;
  const int32_t account = c.account;
  const bool full = options.fullDescription == 'S';
  out.band(kLine + 4);
  out.rule(30, right);
  out.band(kLine);
  out.text(30, 100, text::clip(c.gene) + " " + c.key, Align::kLeft, 7, true);
  out.text(136, 200, "CUENTA: " + std::to_string(account), Align::kLeft, 7, true);
  out.text(right - 120, 120, "UNIDAD: " + c.unit, Align::kRight, 7, true);
  for (const std::string& l : descriptionLines(c.text, c.longText, full)) {
    out.band(kLine);
    out.text(74, 300, l);
  }
  const std::pair<const char*, double> partLines[] = {{"MANO DE OBRA:", parts.labour},
                                                      {"MATERIALES:", parts.materials},
                                                      {"COSTOS HORARIOS:", parts.equipment},
                                                      {"PORCENTAJES:", parts.percentages}};
  out.band(kLine);
  for (int p = 0; p < 4; ++p) {
    out.text(74 + 124.0 * p, 76, partLines[p].first);
    out.text(74 + 124.0 * p + 76, 44, number(partLines[p].second, "n10.2"), Align::kRight);
  }
  if (scope.work) {
    const double destajo = piecework(parts.labour, setup.factors.fsrMayor, setup.factors.storedWorkingDays);
    out.band(kLine);
    out.text(74, 70, "DESTAJO:");
    out.text(134, 50, destajo != 0 ? number(destajo, "n10.2") : "", Align::kRight);
  }
}

// The lines, by kind, each kind with its title and its subtotal (the sum of
// its printed amounts); across a landscape page each line's split too.
void drawAnalysisLines(PageWriter& out, const catalog::PrintedAnalysis& analysis, const AnalysisReportScope& scope,
                       const AnalysisLayout& at) {
  const double amountX = at.amountX, amountW = at.amountW;
  int group = -1;
  int64_t groupTotal = 0;
  const auto closeGroup = [&] {
    if (group < 0) return;
    out.band(kLine);
    out.text(amountX, amountW, number(money::fromCents(groupTotal), "n14.2"), Align::kRight, 7, true);
  };
  for (const catalog::PrintedLine& p : analysis.lines) {
    const catalog::EditedLine& l = p.line;
    const int kind = std::clamp(l.category, 1, 6);
    if (kind != group) {
      closeGroup();
      group = kind;
      groupTotal = 0;
      out.band(kLine + 2);
      out.text(74, 200, kindTitle(kind), Align::kLeft, 7, true);
    }
    const bool percent = kind == 5 || kind == 6;
    const double sum1 = money::fromCents(p.price), sum2 = money::fromCents(p.amount);
    groupTotal += p.amount;
    out.band(kLine);
    out.text(30, 40, percent && l.account == 0 ? std::string() : std::to_string(l.account), Align::kRight);
    out.text(74, 200, l.description);
    out.text(276, 30, l.unit);
    if (scope.horizontal) {
      out.text(308, 60, number(l.quantity, "n14.4"), Align::kRight);
      // MATERIAL, M/OBRA, C/HORAR, PORCEN
      const int64_t cells[] = {p.split[1], p.split[0], p.split[2], p.split[3]};
      for (int k = 0; k < 4; ++k)
        out.text(370 + 65.0 * k, 63, number(money::fromCents(cells[k]), "n10.2B"), Align::kRight);
      out.text(630, 63, number(sum1, "n14.2"), Align::kRight);
      out.text(695, 67, number(sum2, "n14.2"), Align::kRight);
    } else {
      out.text(308, 70, number(l.quantity, "n14.4"), Align::kRight);
      out.text(380, 90, number(sum1, "n14.2"), Align::kRight);
      out.text(472, 110, number(sum2, "n14.2"), Align::kRight);
    }
  }
  closeGroup();
}

// The concept's direct cost and, for a work's row with the summary asked,
// the build-up over it to "IMPORTE:".
void drawConceptClose(PageWriter& out, const catalog::PrintedAnalysis& analysis, const PricingSetup& setup,
                      const AnalysisReportScope& scope, const ReportOptions& options, const AnalysisLayout& at) {
  const double right = at.right, amountX = at.amountX, amountW = at.amountW;
  const double direct = money::fromCents(analysis.directCost());
  out.band(4);
  out.rule(30, right);
  out.band(kLine + 2);
  out.text(74, 200, "COSTO DIRECTO:", Align::kLeft, 7, true);
  if (scope.horizontal) {
    // The column totals: the sums of the printed cells above them.
    int64_t columns[4] = {};
    for (const catalog::PrintedLine& p : analysis.lines)
      for (int k = 0; k < 4; ++k) columns[k] += p.split[k];
    const int64_t cells[] = {columns[1], columns[0], columns[2], columns[3]};
    for (int k = 0; k < 4; ++k)
      out.text(370 + 65.0 * k, 63, number(money::fromCents(cells[k]), "n10.2B"), Align::kRight, 7, true);
  }
  out.text(amountX, amountW, number(direct, "n14.2"), Align::kRight, 7, true);
  if (scope.work && options.closingSummary == 'S') {
    // Lines 1 to 8 of the summary on the concept's direct cost; "IMPORTE:" closes.
    std::vector<SummaryLine> summary = closingSummary(setup.obra, direct, setup.factors);
    const double run = summary.back().amount;
    summary.pop_back();
    for (const SummaryLine& line : summary) {
      if (line.ruleBefore) {
        out.band(4);
        out.rule(amountX, amountX + amountW);
      }
      out.band(kLine);
      out.text(74, 300, line.text);
      out.text(amountX, amountW, number(line.amount, "n14.2"), Align::kRight);
    }
    out.band(kLine + 2);
    out.text(74, 200, "IMPORTE:", Align::kLeft, 7, true);
    out.text(amountX, amountW, number(run, "n14.2"), Align::kRight, 7, true);
  }
}

}  // namespace

Status layOutConceptAnalyses(const tables::Installation& inst, ErrorReporter& errors, const AnalysisReportScope& scope,
                             const ReportOptions& options, Spool& spool,
                             const std::function<bool(size_t, size_t)>& progress) {
  PricingSetup setup;
  if (Status s = preparePricing(inst, errors, scope, &setup); !s) return s;
  const works::WorkHeader& obra = setup.obra;
  catalog::PricingEngine engine(inst, errors, *setup.prices, setup.factors, setup.rates);
  if (Status s = engine.openStatus(); !s) return s;
  std::vector<PrintedConcept> concepts;
  if (Status s = conceptsToPrint(inst, errors, scope, options, &concepts); !s) return s;

  const double right = scope.horizontal ? 762 : 582;
  Heading heading{scope.company,
                  {scope.work ? "ANALISIS DE PRECIOS UNITARIOS: " + obra.name : "ANALISIS DE PRECIOS UNITARIOS",
                   scope.work ? obra.address : std::string(), options.title},
                  scope.today,
                  30,
                  right,
                  {}};
  heading.columns = {{30, 40, "CUENTA", Align::kRight}, {74, 200, "D E S C R I P C I O N"}, {276, 30, "UNIDAD"}};
  if (scope.horizontal) {
    heading.columns.push_back({308, 60, "CANTIDAD", Align::kRight});
    const char* cols[] = {"MATERIAL", "M/OBRA", "C/HORAR", "PORCEN", "UNITARIO", "IMPORTE"};
    for (int c = 0; c < 6; ++c) heading.columns.push_back({370 + 65.0 * c, 63, cols[c], Align::kRight});
  } else {
    heading.columns.push_back({308, 70, "CANTIDAD", Align::kRight});
    heading.columns.push_back({380, 90, "PRECIO", Align::kRight});
    heading.columns.push_back({472, 110, "IMPORTE", Align::kRight});
  }
  PageWriter out(
      spool, [&heading](Page& p) { return drawHeading(p, heading); }, 30, scope.horizontal ? 580 : 760,
      scope.horizontal ? 792 : 612, scope.horizontal ? 612 : 792);
  const AnalysisLayout at{right, scope.horizontal ? 695.0 : 472.0, scope.horizontal ? 67.0 : 110.0};
  for (size_t i = 0; i < concepts.size(); ++i) {
    if (progress && !progress(i, concepts.size())) return Status::error(Status::Code::kCancelled, "cancelado");
    const catalog::Concept& c = concepts[i].head;
    const int32_t account = c.account;
    // The concept's four parts: stored for a work row (the budget's unit
    // price), priced for a base concept; the lines add up to them.
    catalog::PrintedAnalysis analysis;
    if (Status s = catalog::printedAnalysis(
            engine, scope.work ? engine.workRowLines(account) : engine.catalogueLines(account), account,
            scope.work ? std::optional<catalog::CostSplit>(concepts[i].storedParts) : std::nullopt, &analysis);
        !s) {
      return s;
    }
    drawConceptHead(out, c, analysis.partsAsMoney(), setup, scope, options, at);
    drawAnalysisLines(out, analysis, scope, at);
    drawConceptClose(out, analysis, setup, scope, options, at);
  }
  if (progress && !progress(concepts.size(), concepts.size()))
    return Status::error(Status::Code::kCancelled, "cancelado");
  if (Status s = engine.openStatus(); !s) return s;  // figures after a failed read only look right
  return out.finish();
}

namespace {

// The machines a report prints: the work's (those its explosion stored in
// HORA), or the base catalogue's in range.
Status machinesToPrint(const tables::Installation& inst, ErrorReporter& errors, const AnalysisReportScope& scope,
                       const ReportOptions& options, std::vector<catalog::Machine>* machines) {
  auto maba = inst.table("MABA", errors);
  if (Status s = maba->open(); !s) return s;
  // The base catalogue's machines at the current zone, or the work's
  // machines (those its explosion stored) at the work's prices.
  std::vector<int32_t> accounts;
  if (scope.work) {
    if (Status s = works::storedMachineAccounts(inst, errors, &accounts); !s) return s;
  }
  if (Status s = maba->readAll(maba->keyIndex("CTA_KEY"),
                               [&](const tables::Record& r) {
                                 catalog::Machine m = catalog::machineOf(r);
                                 const bool wanted = scope.work ? std::find(accounts.begin(), accounts.end(),
                                                                            m.account) != accounts.end()
                                                                : options.inRange(m.account);
                                 if (wanted) machines->push_back(std::move(m));
                                 return true;
                               });
      !s) {
    return s;
  }
  return Status::ok();
}

// IMP_CEQ: one line per machine with the terms of its hourly cost.
Status layOutMachineList(const std::vector<catalog::Machine>& machines, catalog::PricingEngine& engine,
                         const AnalysisReportScope& scope, const works::WorkHeader& obra, Spool& spool,
                         const std::function<bool(size_t, size_t)>& progress) {
  Heading list{scope.company,
               {"MAQUINARIA Y EQUIPO DE LA OBRA: " + obra.name, obra.address},
               scope.today,
               30,
               582,
               {{30, 40, "FOLIO", Align::kRight},
                {74, 200, "D E S C R I P C I O N"},
                {276, 24, "UNIDAD"},
                {302, 68, "C/FIJOS", Align::kRight},
                {372, 68, "CONSUMOS", Align::kRight},
                {442, 68, "OPERACION", Align::kRight},
                {512, 70, "UNITARIO", Align::kRight}}};
  PageWriter rows(spool, [&list](Page& p) { return drawHeading(p, list); });
  for (size_t i = 0; i < machines.size(); ++i) {
    if (progress && !progress(i, machines.size())) return Status::error(Status::Code::kCancelled, "cancelado");
    const int32_t account = machines[i].account;
    const catalog::HourlyCost c = engine.hourlyCost(account);
    rows.band(kLine);
    rows.text(30, 40, std::to_string(account), Align::kRight);
    rows.text(74, 200, machines[i].text);
    rows.text(276, 24, "HR");
    rows.text(302, 68, number(c.fixed, "n14.2"), Align::kRight);
    rows.text(372, 68, number(c.consumptions, "n14.2"), Align::kRight);
    rows.text(442, 68, number(c.operation, "n14.2"), Align::kRight);
    rows.text(512, 70, number(c.total, "n14.2"), Align::kRight);
  }
  if (progress && !progress(machines.size(), machines.size()))
    return Status::error(Status::Code::kCancelled, "cancelado");
  if (Status s = engine.openStatus(); !s) return s;  // figures after a failed read only look right
  return rows.finish();
}

// One machine's sheet: its hourly cost term by term and, for a work's
// machine, the closing summary over it.
void drawMachineSheet(PageWriter& out, const catalog::Machine& m, catalog::PricingEngine& engine,
                      const PricingSetup& setup, const AnalysisReportScope& scope, const ReportOptions& options) {
  const works::WorkHeader& obra = setup.obra;
  const auto inputText = [&engine](int64_t account) {
    const auto p = account > 0 ? engine.linePrice(static_cast<int32_t>(account), false) : std::nullopt;
    return p ? p->text : std::string();
  };
  const catalog::MachineInputs in = engine.machineInputs(m);
  const catalog::HourlyCostTerms t = catalog::hourlyCostDerivation(m, in, setup.rates);
  const catalog::HourlyCost rounded = catalog::roundedHourlyCost(t.cost);
  out.band(kLine + 2);
  out.text(30, 90, "COSTO HORARIO:", Align::kLeft, 8, true);
  out.text(120, 360, m.text, Align::kLeft, 8, true);
  out.text(480, 102, "UNIDAD:  HR", Align::kRight, 8, true);
  out.band(kLine);
  out.text(120, 360, m.text2);
  out.band(kLine + 4);
  const std::pair<const char*, double> totals[] = {{"CONSUMOS:", rounded.consumptions},
                                                   {"OPERACION:", rounded.operation},
                                                   {"COSTOS FIJOS:", rounded.fixed},
                                                   {"COSTO DIRECTO:", rounded.total}};
  for (int k = 0; k < 4; ++k) {
    out.text(30 + 138.0 * k, 70, totals[k].first, Align::kLeft, 7, true);
    out.text(30 + 138.0 * k + 70, 60, number(totals[k].second, "n10.2"), Align::kRight, 7, true);
  }
  out.band(6);
  out.rule();
  const auto line = [&](const std::string& label, const std::string& value, const std::string& note = {}) {
    out.band(kLine);
    out.text(40, 240, label);
    out.text(280, 90, value, Align::kRight);
    if (!note.empty()) out.text(380, 202, note);
  };
  const auto title = [&](const char* caption) {
    out.band(kLine + 4);
    out.text(40, 200, caption, Align::kLeft, 7, true);
  };
  const auto money = [](double v) { return number(v, "n14.2"); };
  const auto whole = [](int64_t n) { return std::to_string(n); };
  line("(1) VALOR DEL EQUIPO:", money(in.acquisition));
  line("(2) VIDA UTIL DEL EQUIPO EN HRS.:", whole(m.lifeHours));
  line("(3) No DE LLANTAS:", whole(m.tyreCount));
  line("(4) VALOR DE LLANTAS:", money(t.tyreSet));
  line("(5) VIDA UTIL DE LLANTAS HRS.:", whole(m.tyreLifeHours));
  line("(6) VALOR DE REFERENCIA (1+4):", money(t.netValue));
  line("(7) % DE RESCATE:", number(m.salvagePercent, "n6.2"));
  line("(8) VALOR DE RESCATE(6)x(7)", money(t.salvage));
  line("(9) HRS DE USO ANUAL:", whole(m.yearHours));
  line("(10) PRECIO COMBUSTIBLE:", money(in.fuelPrice), inputText(m.fuelInput));
  line("(11) CONSUMO COMBUSTIBLE x HR.:", number(m.fuelPerHour, "n10.2"));
  line("(12) CAPACIDAD CARTER:", number(m.sumpCapacity, "n10.2"));
  line("(13) HRS CAMBIO LUBRICANTE:", whole(m.oilChangeHours));
  line("(14) CONSUMO LUBRICANTE x HR:", number(m.lubricantPerHour, "n10.2"));
  line("(15) PRECIO LUBRICANTE:", money(in.lubricantPrice), inputText(m.lubricantInput));
  line("(16) % INTERES ANUAL:", number(setup.rates.interest, "n6.2"));
  line("(17) % POLIZA  SEGURO ANUAL:", number(m.insurancePercent, "n6.2"));
  line("(18) FACTOR DE MANTENIMIENTO:", number(m.maintenanceFactor, "n6.2"));
  line("(19) DIAS LABORABLES AL A\xc3\xb1O:", number(setup.rates.workingDays, "n3"));
  title("CARGOS FIJOS");
  line("(20) DEPRECIACION ((6)-(8))/(5)", money(t.depreciation));
  line("(21) INTERESES ((6)+(8))x(16)/2x(9)", money(t.investment));
  line("(22) SEGURO ((6)+(8))x(17)/2x(9)", money(t.insurance));
  line("(23) MANTENIMIENTO (18)x(20)", money(t.maintenance));
  line("TOTAL:", number(rounded.fixed, "n14.2"));
  title("CONSUMOS");
  line("(24) COMBUSTIBLE (10)x(11)", money(t.fuel));
  line("(25) LUBRICANTE (((12)/(13)+(14))x(15)", money(t.lubricant));
  line("(26) LLANTAS (4)/(5)", money(t.tyres));
  line("TOTAL:", number(rounded.consumptions, "n14.2"));
  title("OPERADORES");
  line("(27) CUADRILLA:", money(in.crewPerDay));
  line("SUELDO (27)/((9)/(19))", number(rounded.operation, "n14.2"));
  out.band(4);
  out.rule();
  line("COSTO DIRECTO:", number(rounded.total, "n14.2"));
  if (scope.work && options.closingSummary == 'S') {
    // IMP_COS: the build-up over the machine's hourly cost.
    for (const SummaryLine& l : closingSummary(obra, rounded.total, setup.factors)) {
      if (l.ruleBefore) {
        out.band(4);
        out.rule(280, 370);
      }
      line(l.text, number(l.amount, "n14.2"));
    }
  }
}

}  // namespace

Status layOutMachineSheets(const tables::Installation& inst, ErrorReporter& errors, const AnalysisReportScope& scope,
                           const ReportOptions& options, Spool& spool,
                           const std::function<bool(size_t, size_t)>& progress) {
  std::vector<catalog::Machine> machines;
  if (Status s = machinesToPrint(inst, errors, scope, options, &machines); !s) return s;
  PricingSetup setup;
  if (Status s = preparePricing(inst, errors, scope, &setup); !s) return s;
  catalog::PricingEngine engine(inst, errors, *setup.prices, setup.factors, setup.rates);
  if (Status s = engine.openStatus(); !s) return s;
  if (scope.concentrated) return layOutMachineList(machines, engine, scope, setup.obra, spool, progress);
  Heading heading{scope.company, {"COSTO HORARIO DE MAQUINARIA Y EQUIPO", scope.work ? setup.obra.name : std::string()},
                  scope.today,   30,
                  582,           {}};
  PageWriter out(spool, [&heading](Page& p) { return drawHeading(p, heading); });
  for (size_t i = 0; i < machines.size(); ++i) {
    if (progress && !progress(i, machines.size())) return Status::error(Status::Code::kCancelled, "cancelado");
    if (i > 0) out.breakPage();  // a sheet a machine
    drawMachineSheet(out, machines[i], engine, setup, scope, options);
  }
  if (progress && !progress(machines.size(), machines.size()))
    return Status::error(Status::Code::kCancelled, "cancelado");
  if (Status s = engine.openStatus(); !s) return s;  // figures after a failed read only look right
  return out.finish();
}

}  // namespace velmora::reports
