#include "reports/explosion_report.h"

#include <algorithm>
#include <climits>
#include <optional>
#include <vector>

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
#include "works/explosion.h"
#include "works/work.h"

namespace velmora::reports {

namespace {

constexpr double kLine = 10;

std::string number(double v, const char* pic) { return picture::formatNumber(v, pic); }
std::string withoutCommas(std::string s) {
  std::replace(s.begin(), s.end(), ',', ' ');
  return s;
}

}  // namespace

Status layOutExplosion(const works::OpenWork& work, ErrorReporter& errors, const ReportOptions& options,
                       const std::string& company, int32_t today, Spool& spool,
                       const std::function<bool(size_t, size_t)>& progress) {
  works::WorkHeader obra = work.header;
  works::fillDefaultCaptions(obra);
  works::WorkExplosion explosion(work.inst, errors, obra, work.zone);
  if (Status s = explosion.run(options.firstAccount, options.lastAccount, progress); !s) return s;
  const std::vector<works::BudgetRow>& rows = explosion.rows();

  // The listing. The direct cost is the budget's own, summed as the budget
  // prints it (not the totals stored in the work's header, which a
  // read-only installation never got stored).
  const double direct = works::displayBudget(rows).directCost;
  const auto share = [direct](double amount) { return direct != 0 ? amount * 100 / direct : 0.0; };
  Heading heading{company,
                  {"EXPLOSION DE INSUMOS: " + obra.name, obra.address, options.title},
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
    sheet->heading = {company, "EXPLOSION DE INSUMOS: " + obra.name, obra.address, options.title};
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
  for (const works::ExplodedInput& in : explosion.inputs()) {
    const bool percent = in.kind == 5 || in.kind == 6;
    double price = percent || !in.exists ? 0 : in.price;
    if (price == 0) price = 1.00;  // a price of 0 counts as 1.00: the amount is the quantity
    listLine(in.account, in.label, in.exists ? in.text : std::string(kindTitle(in.kind)),
             in.exists ? in.unit : std::string("%"), in.quantity, price, in.quantity * price);
  }
  for (const works::ExplodedMachine& m : explosion.machines())
    listLine(m.account, std::nullopt, m.text, "HR.", m.hours, m.cost, m.hours * (m.cost != 0 ? m.cost : 1.00));
  if (sheet != nullptr) {
    // The listed amounts as a formula, and the total the report prints (the
    // work's direct cost) beside it: the two differ wherever the listing
    // counts an amount at 1.00 or a percentage line the budget spreads.
    sheet->addTotal({{}, {}, {}, std::string("SUMA DE IMPORTES"), {}, {}, {}, listed}, {7}, true);
    sheet->add({{}, {}, {}, std::string("TOTAL"), {}, {}, {}, direct});
    if (options.closingSummary == 'S') {
      for (const SummaryLine& line : closingSummary(obra, direct, work.zone)) {
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
    for (const SummaryLine& line : closingSummary(obra, direct, work.zone)) {
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

  // The explosion's writes, all or nothing, once the report is laid out.
  return explosion.store();
}

}  // namespace velmora::reports
