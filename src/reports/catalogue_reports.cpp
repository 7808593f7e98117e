#include "reports/catalogue_reports.h"

#include <algorithm>
#include <vector>

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

// Every record of `table` in the order of `key`.
Status readAll(tables::Table& table, const char* key, std::vector<tables::Record>* out) {
  tables::Record lo(table.def()), hi(table.def());
  const int k = table.keyIndex(key);
  for (int slot : table.def().resolvedKeys[k].componentSlots) {
    if (tables::isTextType(table.def().columns[slot].type)) {
      hi.setTextAt(slot, "\xF4\x8F\xBF\xBF");  // above any text
    } else {
      lo.setIntegerAt(slot, INT32_MIN);
      hi.setIntegerAt(slot, INT32_MAX);
    }
  }
  return table.readRange(k, lo, hi, [out](const tables::Record& r) {
    out->push_back(r);
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
  std::vector<tables::Record> inputs;
  if (Status s = readAll(*inba, key, &inputs); !s) return s;
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
    const tables::Record& r = inputs[i];
    const int32_t date = static_cast<int32_t>(r.integer("FECH", zone));
    if (!options.inRange(r.integer("CTA"))) continue;
    if (options.firstDate != 0 && date < options.firstDate) continue;
    if (options.lastDate != 0 && date > options.lastDate) continue;
    if (!wantedKey.empty() && text::clip(r.text("GENE")) != wantedKey) continue;
    out.band(kLine);
    out.text(30, 40, std::to_string(r.integer("CTA")), Align::kRight);
    out.text(76, 60, text::clip(r.text("GENE")) + " " + r.text("LLAV"));
    out.text(138, 170, withoutCommas(r.text("TEXT")));
    out.text(310, 150, withoutCommas(r.text("TEX1")));
    out.text(462, 50, picture::formatDate(date));
    out.text(514, 68, picture::formatNumber(r.real("COST", zone), "n14.2B"), Align::kRight);
    if (sheet != nullptr) {
      sheet->add({static_cast<double>(r.integer("CTA")), text::clip(r.text("GENE")) + " " + text::clip(r.text("LLAV")),
                  text::clip(r.text("TEXT")), text::clip(r.text("TEX1")), picture::formatDate(date),
                  r.real("COST", zone)});
    }
  }
  if (progress && !progress(inputs.size(), inputs.size())) return Status::error(Status::Code::kCancelled, "cancelado");
  return out.finish();
}

bool salaryStudyIsFixed(const tables::Installation& inst, ErrorReporter& errors, int zone) {
  auto control = inst.table("CONTROL", errors);
  if (!control->open()) return false;
  control->rec().setInteger("CTA", zone);
  if (!control->fetch(control->keyIndex("KEYCTA"))) return false;
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
  std::vector<tables::Record> inputs;
  if (Status s = readAll(*inba, "CTA_KEY", &inputs); !s) return s;

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
    const tables::Record& r = inputs[i];
    if (r.integer("TIPO") != 4) continue;
    const estimate::WageStudy w = estimate::wageStudy(r.real("COST", zone), zoneRecord);
    const double values[] = {w.base,         w.annual,     w.bonus, w.vacationBonus, w.imss,
                             w.sarInfonavit, w.payrollTax, w.sum,   w.realWage};
    out.band(kLine);
    out.text(30, 36, std::to_string(r.integer("CTA")), Align::kRight);
    out.text(70, 136, withoutCommas(r.text("TEXT")), Align::kLeft, 6.5);  // into the first column's blank left
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
  std::vector<tables::Record> keys;
  if (Status s = readAll(*clag, "CTA_KEY", &keys); !s) return s;
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
    out.text(60, 40, keys[i].text("CTA"));
    out.text(110, 240, keys[i].text("TEXT"));
    out.text(360, 40, keys[i].text("TIPO"));
  }
  if (progress && !progress(keys.size(), keys.size())) return Status::error(Status::Code::kCancelled, "cancelado");
  return out.finish();
}

}  // namespace velmora::reports
