#include "reports/catalogue_reports.h"

#include <algorithm>
#include <vector>

#include "catalog/items.h"
#include "estimate/zones.h"
#include "framework/picture.h"
#include "framework/text.h"
#include "reports/page_writer.h"
#include "reports/report_header.h"
#include "reports/sheet.h"

namespace velmora::reports {

namespace {

constexpr double kLine = 10;

std::string withoutCommas(std::string s) {
  std::replace(s.begin(), s.end(), ',', ' ');
  return s;
}

// Every record of `table` in the order of `key`, as `as` maps it.
template <typename T>
Status readAll(tables::Table& table, const char* key, T (*as)(const tables::Record&), std::vector<T>* out) {
  return table.readAll(table.keyIndex(key), [&](const tables::Record& r) {
    out->push_back(as(r));
    return true;
  });
}

}  // namespace

Status layOutInputCatalogue(const tables::Installation& inst, ErrorReporter& errors, const ReportOptions& options,
                            const CatalogueReportContext& context, Spool& spool,
                            const std::function<bool(size_t, size_t)>& progress) {
  auto inba = inst.table("INBA", errors);
  if (Status s = inba->open(); !s) return s;
  const char* key = options.order == 'A' ? "DES_KEY" : options.order == 'G' ? "CLA_KEY" : "CTA_KEY";
  std::vector<catalog::Input> inputs;
  if (Status s = readAll(*inba, key, catalog::inputOf, &inputs); !s) return s;
  const int zone = std::clamp(context.zone, 1, 5);

  Heading heading{context.company,
                  {"CATALOGO DE INSUMOS" + options.rangeText, "ZONA: " + context.zoneName},
                  context.today,
                  30,
                  582,
                  {{30, 40, "CUENTA", Align::kRight},
                   {76, 60, "CLAVE"},
                   {138, 170, "DESCRIPCION"},
                   {310, 150, "DESCRIPCION(2)"},
                   {462, 50, "FECHA"},
                   {514, 68, "ULTIMO $", Align::kRight}}};
  PageWriter out(spool, [&heading](Page& p) { return drawHeading(p, heading); });
  const std::string wantedKey = text::clip(options.genericKey);
  Sheet* sheet = spool.sheet();
  if (sheet != nullptr) {
    sheet->name = "Insumos";
    sheet->heading = {context.company, "CATALOGO DE INSUMOS" + options.rangeText, "ZONA: " + context.zoneName};
    sheet->columns = {{"CUENTA", 9, 0},       {"CLAVE", 14}, {"DESCRIPCION", 45},
                      {"DESCRIPCION(2)", 40}, {"FECHA", 11}, {"ULTIMO $", 14, 2}};
  }
  for (size_t i = 0; i < inputs.size(); ++i) {
    if (progress && !progress(i, inputs.size())) return Status::error(Status::Code::kCancelled, "cancelado");
    const catalog::Input& r = inputs[i];
    const int32_t date = r.dates[zone - 1];
    const double price = r.prices[zone - 1];
    if (!options.inRange(r.account)) continue;
    if (options.firstDate != 0 && date < options.firstDate) continue;
    if (options.lastDate != 0 && date > options.lastDate) continue;
    if (!wantedKey.empty() && text::clip(r.gene) != wantedKey) continue;
    out.band(kLine);
    out.text(30, 40, std::to_string(r.account), Align::kRight);
    out.text(76, 60, text::clip(r.gene) + " " + r.key);
    out.text(138, 170, withoutCommas(r.text));
    out.text(310, 150, withoutCommas(r.text2));
    out.text(462, 50, picture::formatDate(date));
    out.text(514, 68, picture::formatNumber(price, "n14.2B"), Align::kRight);
    if (sheet != nullptr) {
      sheet->add({static_cast<double>(r.account), text::clip(r.gene) + " " + text::clip(r.key), text::clip(r.text),
                  text::clip(r.text2), picture::formatDate(date), price});
    }
  }
  if (progress && !progress(inputs.size(), inputs.size())) return Status::error(Status::Code::kCancelled, "cancelado");
  return out.finish();
}

bool salaryStudyIsFixed(const tables::Installation& inst, ErrorReporter& errors, int zone) {
  auto control = inst.table("CONTROL", errors);
  if (!control->open()) return false;
  control->rec().setInteger("CTA", zone);
  // A failed read is raised here and again by the study, which stops on it.
  if (!control->fetch(control->keyIndex("KEYCTA")).found()) return false;
  return control->rec().real("MINI") > 0 || control->rec().real("MAXI") > 0;
}

Status layOutSalaryStudy(const tables::Installation& inst, ErrorReporter& errors, const CatalogueReportContext& context,
                         Spool& spool, const std::function<bool(size_t, size_t)>& progress) {
  auto control = inst.table("CONTROL", errors);
  auto inba = inst.table("INBA", errors);
  if (Status s = control->open(); !s) return s;
  if (Status s = inba->open(); !s) return s;
  const int zone = std::clamp(context.zone, 1, 5);
  control->rec().setInteger("CTA", zone);
  if (Status s = control->fetch(control->keyIndex("KEYCTA")); !s) return s;
  const tables::Record zoneRecord = control->rec();
  std::vector<catalog::Input> inputs;
  if (Status s = readAll(*inba, "CTA_KEY", catalog::inputOf, &inputs); !s) return s;

  const char* heads[] = {"SUELDO BASE", "SUELDO ANUAL", "GRATIF. ANUAL", "PRIMA VACAC.", "I.M.S.S.",
                         "SAR/INF",     "ISN",          "SUMA",          "SUELDO REAL",  "FACTOR"};
  Heading heading{context.company, {"ESTUDIO DE SALARIOS", "ZONA: " + context.zoneName}, context.today, 30, 762, {}};
  heading.columns.push_back({30, 36, "No CTA", Align::kRight});
  // Ten figure columns of 57 points: room for the widest title in bold.
  constexpr double kFirst = 192, kStep = 57;
  heading.columns.push_back({70, 120, "D E S C R I P C I O N"});
  for (int c = 0; c < 10; ++c) heading.columns.push_back({kFirst + kStep * c, kStep - 2, heads[c], Align::kRight});
  PageWriter out(
      spool, [&heading](Page& p) { return drawHeading(p, heading); }, 30, 580, 792, 612);
  for (size_t i = 0; i < inputs.size(); ++i) {
    if (progress && !progress(i, inputs.size())) return Status::error(Status::Code::kCancelled, "cancelado");
    const catalog::Input& r = inputs[i];
    if (r.kind != estimate::kLabourKind) continue;
    const estimate::WageStudy w = estimate::wageStudy(r.prices[zone - 1], zoneRecord);
    const double values[] = {w.base,         w.annual,     w.bonus, w.vacationBonus, w.imss,
                             w.sarInfonavit, w.payrollTax, w.sum,   w.realWage};
    out.band(kLine);
    out.text(30, 36, std::to_string(r.account), Align::kRight);
    out.text(70, 136, withoutCommas(r.text), Align::kLeft, 6.5);  // into the first column's blank left
    for (int c = 0; c < 9; ++c) {
      out.text(kFirst + kStep * c, kStep - 2, picture::formatNumber(values[c], "n10.2"), Align::kRight, 6.5);
    }
    out.text(kFirst + kStep * 9, kStep - 2, picture::formatNumber(w.factor, "n10.4"), Align::kRight, 6.5);
  }
  if (progress && !progress(inputs.size(), inputs.size())) return Status::error(Status::Code::kCancelled, "cancelado");
  return out.finish();
}

Status layOutGenericKeys(const tables::Installation& inst, ErrorReporter& errors, const CatalogueReportContext& context,
                         Spool& spool, const std::function<bool(size_t, size_t)>& progress) {
  auto clag = inst.table("CLAG", errors);
  if (Status s = clag->open(); !s) return s;
  std::vector<catalog::GenericKey> keys;
  if (Status s = readAll(*clag, "CTA_KEY", catalog::genericKeyOf, &keys); !s) return s;
  Heading heading{context.company,
                  {"Reporte de Claves Genéricas"},
                  context.today,
                  30,
                  582,
                  {{60, 40, "CTA"}, {110, 240, "DESCRIPCION"}, {360, 40, "TIPO"}}};
  PageWriter out(spool, [&heading](Page& p) { return drawHeading(p, heading); });
  for (size_t i = 0; i < keys.size(); ++i) {
    if (progress && !progress(i, keys.size())) return Status::error(Status::Code::kCancelled, "cancelado");
    out.band(kLine);
    out.text(60, 40, keys[i].code);
    out.text(110, 240, keys[i].text);
    out.text(360, 40, keys[i].type);
  }
  if (progress && !progress(keys.size(), keys.size())) return Status::error(Status::Code::kCancelled, "cancelado");
  return out.finish();
}

}  // namespace velmora::reports
