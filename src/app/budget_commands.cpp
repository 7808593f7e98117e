#include "app/budget_commands.h"

#include <cmath>
#include <nlohmann/json.hpp>
#include <optional>
#include <ostream>
#include <stdexcept>

#include "framework/money.h"
#include "framework/picture.h"
#include "framework/text.h"
#include "tables/catalogue.h"
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

int runNewWork(const tables::Installation& inst, ErrorReporter& errors, const NewWorkOptions& o, std::ostream& out,
               std::ostream& err) {
  tables::Record obra(tables::tableDef("OBRA"));
  // Texts as the form takes them: at most their field's length, never cut.
  const struct {
    const char *option, *field;
    const std::string& value;
  } texts[] = {{"--obra", "CTA", o.code},
               {"--nombre", "OBRA", o.name},
               {"--direccion", "DIRE", o.address},
               {"--directorio", "DICO", o.directory}};
  for (const auto& t : texts) {
    const int size = obra.def().columns[obra.def().slot(t.field)].size;
    if (text::charCount(t.value) > static_cast<size_t>(size)) {
      err << "velmora: " << t.option << " admite hasta " << size << " caracteres: " << t.value << "\n";
      return 2;
    }
    obra.setText(t.field, t.value);
  }
  const auto zone = text::parseInteger(o.zone);
  if (!zone || *zone < 1 || *zone > 5) {
    err << "velmora: la zona debe ser un número entero del 1 al 5: " << o.zone << "\n";
    return 2;
  }
  obra.setInteger("LIST", *zone);
  const struct {
    const char *option, *field;
    const std::string& value;
  } percents[] = {{"--admon-obra", "INDO", o.siteOverhead},
                  {"--admon-central", "INDC", o.centralOverhead},
                  {"--utilidad", "GANA", o.profit},
                  {"--cargos", "CARI", o.otherCharges},
                  {"--iva", "IMPV", o.vat},
                  {"--oculto-mano-obra", "POMO", o.hiddenLabour},
                  {"--oculto-materiales", "POMA", o.hiddenMaterials}};
  for (const auto& p : percents) {
    if (p.value.empty()) continue;
    const auto percent = text::parseDecimal(p.value);
    if (!percent || !std::isfinite(*percent)) {
      err << "velmora: " << p.option << " debe ser un número (un porcentaje): " << p.value << "\n";
      return 2;
    }
    obra.setReal(p.field, *percent);
  }
  if (Status s = works::registerWork(inst, errors, obra, 0); !s) {
    err << "velmora: no se registró la obra " << text::clip(o.code) << ": " << s.text() << "\n";
    return 1;
  }
  out << "Obra " << text::clip(o.code) << " registrada en la zona " << *zone << ", con su directorio y su presupuesto "
      << "vacío: " << text::clip(o.name) << "\n";
  return 0;
}

int runLatestValues(const tables::Installation& base, ErrorReporter& errors, const std::string& code, bool dryRun,
                    std::ostream& out, std::ostream& err) {
  std::optional<works::OpenWork> work;
  if (Status s = works::openWork(base, errors, code, &work); !s) {
    err << "velmora: " << s.text() << "\n";
    return 1;
  }
  works::LatestValuesReport report;
  if (Status s = works::updateToLatestValues(work->inst, errors, work->header, work->zone, 0, dryRun, &report); !s) {
    err << "velmora: no se actualizó la obra " << code << " (queda como estaba): " << s.text() << "\n";
    return 1;
  }
  const auto price = [](const std::optional<double>& p) {
    return p ? text::clip(money(*p)) : std::string("(sin copia)");
  };
  out << (dryRun ? "Prueba: la obra " : "La obra ") << code << (dryRun ? " cambiaría " : " cambió ")
      << report.changes.size() << (report.changes.size() == 1 ? " insumo" : " insumos") << " a los últimos valores"
      << (report.changes.empty() ? "\n" : ":\n");
  for (const works::InputCopyChange& c : report.changes)
    out << "  " << pad(std::to_string(c.account), 8, true) << "  " << pad(text::truncateChars(c.text, 35), 36, false)
        << pad(price(c.before), 14, true) << " -> " << price(c.after) << "\n";
  out << "Costo directo: " << text::clip(money(report.directCostBefore)) << " -> "
      << text::clip(money(report.directCostAfter)) << "\n";
  if (dryRun) out << "Nada se escribió.\n";
  return 0;
}

}  // namespace velmora::app
