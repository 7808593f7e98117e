#include "app/budget_commands.h"

#include <cmath>
#include <nlohmann/json.hpp>
#include <ostream>
#include <stdexcept>

#include "framework/money.h"
#include "framework/picture.h"
#include "framework/text.h"
#include "works/budget.h"
#include "works/work.h"

namespace velmora::app {

namespace {

namespace fs = std::filesystem;

double finite(double v) {
  if (!std::isfinite(v)) throw std::domain_error("cifra no finita en el presupuesto");
  return v;
}

// A money figure as it is printed: to the cent.
double toCent(double v) { return money::round2(finite(v)); }

std::string pad(const std::string& s, size_t width, bool left) {
  const size_t n = text::charCount(s);
  if (n >= width) return s;
  return left ? std::string(width - n, ' ') + s : s + std::string(width - n, ' ');
}

std::string money(double v) { return picture::formatNumber(v, "n14.2"); }

}  // namespace

int runWorks(const tables::Installation& inst, ErrorReporter& errors, bool json, std::ostream& out, std::ostream& err) {
  auto obra = inst.table("OBRA", errors);
  if (!obra->open()) {
    err << "velmora: no se pudo abrir el registro de obras\n";
    return 1;
  }
  std::vector<works::WorkHeader> works;
  const Status s = works::readWorkHeaders(*obra, &works);
  nlohmann::json list = nlohmann::json::array();
  std::string table;
  for (const works::WorkHeader& w : works) {
    const double direct = w.totals.unitPrice();  // the category totals
    list.push_back({{"cta", w.code},
                    {"name", w.name},
                    {"zone", w.zone},
                    {"TOBR", toCent(w.totals.labour)},
                    {"TMAT", toCent(w.totals.materials)},
                    {"TCOS", toCent(w.totals.equipment)},
                    {"TPOR", toCent(w.totals.percentages)},
                    {"direct_cost", toCent(direct)}});
    table += pad(w.code, 9, false) + pad(text::truncateChars(w.name, 40), 41, false) + "ZONA " +
             std::to_string(w.zone) + pad(money(direct), 16, true) + "\n";
  }
  if (!s) {
    err << "velmora: no se pudo leer el registro de obras\n";
    return 1;
  }
  if (json) out << list.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) << "\n";
  else out << "CTA      OBRA                                     ZONA    COSTO DIRECTO\n" << table;
  return 0;
}

int runBudget(const tables::Installation& base, ErrorReporter& errors, const std::string& code, bool recalculate,
              bool json, std::ostream& out, std::ostream& err) try {
  std::optional<works::OpenWork> work;
  if (Status s = works::openWork(base, errors, code, &work); !s) {
    err << "velmora: " << s.text() << (recalculate ? "; la obra quedó como estaba" : "") << "\n";
    return 1;
  }
  const works::WorkHeader& header = work->header;
  const tables::Installation& inst = work->inst;
  const int zone = header.zone;
  const estimate::ZoneFactors& factors = work->zone;
  if (recalculate) {
    const uint64_t shown = errors.messagesShown();
    if (Status s = works::calcula(inst, errors, header, factors, 0); !s) {
      // A conflict was said by its message, in a line of its own.
      if (!s.is(Status::Code::kConflict) || errors.messagesShown() == shown)
        err << "velmora: no se pudo recalcular la obra " << code << ": " << s.text() << "\n";
      return 1;
    }
  }
  auto cobr = inst.table("COBR", errors);
  std::vector<works::BudgetRow> rows;
  if (!cobr->open() || !works::readBudget(*cobr, &rows)) {
    err << "velmora: no se pudo leer el presupuesto de la obra " << code << "\n";
    return 1;
  }
  if (Status s = works::checkFiniteFigures(rows); !s) {
    err << "velmora: obra " << code << ": " << s.text() << "\n";
    return 1;
  }
  const works::BudgetDisplay shown = works::displayBudget(rows);
  const works::Summary sum = works::summarize(header, shown.directCost);

  if (json) {
    nlohmann::json list = nlohmann::json::array();
    for (const works::BudgetRow& r : rows) {
      list.push_back({{"cta", r.account},
                      {"kind", std::string(1, r.kind)},
                      {"description", r.text},
                      {"unit", r.unit},
                      {"quantity", finite(r.quantity)},
                      {"PU_MOBRA", toCent(r.perUnit.labour)},
                      {"PU_MATERIAL", toCent(r.perUnit.materials)},
                      {"PU_EQUIPO", toCent(r.perUnit.equipment)},
                      {"PU_PORCEN", toCent(r.perUnit.percentages)},
                      {"unit_price", toCent(r.unitPrice)},
                      {"amount", toCent(r.amount)}});
    }
    const nlohmann::json doc = {{"obra", header.code},
                                {"name", header.name},
                                {"zone", zone},
                                {"rows", list},
                                {"direct_cost", toCent(shown.directCost)},
                                {"summary",
                                 {{"IMP_ADMON_OBRA", toCent(sum.siteOverhead)},
                                  {"IMP_ADMON_CENTRAL", toCent(sum.centralOverhead)},
                                  {"IMP_UTILIDAD", toCent(sum.profit)},
                                  {"IMP_CARGOS", toCent(sum.otherCharges)},
                                  {"SUBTOTAL", toCent(sum.subtotal)},
                                  {"IMP_IVA", toCent(sum.vat)},
                                  {"COSTO_TOTAL", toCent(sum.total)}}}};
    out << doc.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) << "\n";
    return 0;
  }
  out << "OBRA " << header.code << "  " << header.name << "   ZONA " << zone << "\n\n";
  out << "     CTA T " << pad("DESCRIPCION", 36, false) << "UNID      CANTIDAD        UNITARIO         IMPORTE\n";
  for (size_t i = 0; i < rows.size(); ++i) {
    const works::BudgetRow& r = rows[i];
    const bool isConcept = r.kind == works::row_kind::kConcept;
    out << pad(std::to_string(r.account), 8, true) << " " << r.kind << " "
        << pad(text::truncateChars(r.text, 35), 36, false) << pad(r.unit, 4, false)
        << pad(isConcept ? picture::formatNumber(r.quantity, "n12.2B") : "", 14, true)
        << pad(isConcept ? picture::formatNumber(r.unitPrice, "n14.2B") : "", 16, true)
        << pad(r.kind == works::row_kind::kTitle ? "" : picture::formatNumber(r.amount, "n14.2B"), 16, true) << "\n";
  }
  const auto line = [&out](const std::string& caption, double pct, double amount, bool withPct) {
    out << pad(caption, 40, false) << pad(withPct ? picture::formatNumber(pct, "n6.2") + " %" : "", 10, true)
        << pad(money(amount), 18, true) << "\n";
  };
  out << "\n";
  line("COSTO DIRECTO:", 0, shown.directCost, false);
  line(header.siteOverhead.caption, header.siteOverhead.percent, sum.siteOverhead, true);
  line(header.centralOverhead.caption, header.centralOverhead.percent, sum.centralOverhead, true);
  line(header.profit.caption, header.profit.percent, sum.profit, true);
  line(header.otherCharges.caption, header.otherCharges.percent, sum.otherCharges, true);
  line("SUMA:", 0, sum.subtotal, false);
  line(header.vat.caption, header.vat.percent, sum.vat, true);
  line("COSTO TOTAL:", 0, sum.total, false);
  return 0;
} catch (const std::domain_error& e) {
  err << "velmora: " << e.what() << "\n";
  return 1;
}

}  // namespace velmora::app
