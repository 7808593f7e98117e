#include "app/analysis_command.h"

#include <cmath>
#include <filesystem>
#include <ostream>
#include <stdexcept>

#include <nlohmann/json.hpp>
#include "catalog/analysis.h"

#include "framework/money.h"
#include "framework/picture.h"
#include "framework/text.h"

namespace velmora::app {

namespace {

std::string padRight(const std::string& s, size_t width) {
  std::string out = s;
  const size_t n = text::charCount(s);
  if (n < width) out.append(width - n, ' ');
  return out;
}

std::string padLeft(const std::string& s, size_t width) {
  const size_t n = text::charCount(s);
  return n < width ? std::string(width - n, ' ') + s : s;
}

}  // namespace

int runAnalysis(const tables::Installation& inst, ErrorReporter& errors, int32_t account, bool json, int zone,
                std::ostream& out, std::ostream& err) {
  std::error_code ec;
  if (!std::filesystem::is_directory(inst.dataDir, ec)) {
    err << "velmora: no existe el directorio " << inst.dataDir.string() << "\n";
    return 1;
  }
  auto control = inst.table("CONTROL", errors);
  if (!control->open()) {
    err << "velmora: no se pudo abrir la tabla de zonas\n";
    return 1;
  }
  estimate::ZoneFactors factors;
  catalog::MachineRates rates;
  Status zoneRead = estimate::loadZoneFactors(*control, zone, &factors);
  if (zoneRead) zoneRead = catalog::firstZoneRates(*control, &rates);
  if (!zoneRead) {
    err << "velmora: no se pudo leer la tabla de zonas: " << zoneRead.text() << "\n";
    return 1;
  }
  catalog::BasePrices prices(inst, errors, zone);
  catalog::PricingEngine engine(inst, errors, prices, factors, rates);
  if (Status s = engine.openStatus(); !s) {
    err << "velmora: no se pudo leer el catálogo: " << s.text() << "\n";
    return 1;
  }
  const auto info = engine.conceptInfo(static_cast<int32_t>(account));
  if (Status s = engine.openStatus(); !s) {
    err << "velmora: no se pudo leer el catálogo: " << s.text() << "\n";
    return 1;
  }
  if (!info) {
    err << "velmora: no existe el concepto " << account << "\n";
    return 1;
  }
  auto lines = catalog::loadConceptLines(engine, static_cast<int32_t>(account));
  const catalog::FormTotals totals = catalog::recomputeTotals(lines);
  const catalog::CostSplit split = engine.priceConcept(static_cast<int32_t>(account));
  // A read that failed while pricing leaves figures that only look right.
  if (Status s = engine.openStatus(); !s) {
    err << "velmora: no se pudo leer el catálogo: " << s.text() << "\n";
    return 1;
  }

  if (json) {
    // Every figure must be a number JSON can carry.
    const auto figure = [](double v, const char* what) {
      if (!std::isfinite(v)) throw std::domain_error(std::string("cifra no finita en ") + what);
      return v;
    };
    try {
      nlohmann::json lineList = nlohmann::json::array();
      for (const auto& l : lines) {
        lineList.push_back({{"type", std::string(1, l.type)},
                            {"category", l.category},
                            {"cta", l.account},
                            {"description", l.description},
                            {"unit", l.unit},
                            {"quantity", figure(l.quantity, "cantidad")},
                            {"price", figure(money::round2(l.price), "precio")},
                            {"amount", figure(money::round2(l.amount), "importe")}});
      }
      const nlohmann::json doc = {{"cta", account},
                                  {"description", info->description},
                                  {"unit", info->unit},
                                  {"zone", zone},
                                  {"PU_MOBRA", figure(money::round2(split.labour), "PU_MOBRA")},
                                  {"PU_MATERIAL", figure(money::round2(split.materials), "PU_MATERIAL")},
                                  {"PU_EQUIPO", figure(money::round2(split.equipment), "PU_EQUIPO")},
                                  {"PU_PORCEN", figure(money::round2(split.percentages), "PU_PORCEN")},
                                  {"unit_price", figure(money::round2(split.unitPrice()), "unit_price")},
                                  {"direct_cost", figure(money::round2(totals.directCost), "direct_cost")},
                                  {"lines", lineList}};
      // Texts that are not valid UTF-8 are shown with U+FFFD, never passed through.
      out << doc.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) << "\n";
    } catch (const std::domain_error& e) {
      err << "velmora: " << e.what() << "\n";
      return 1;
    }
    return 0;
  }

  out << "CONCEPTO " << account << "  " << info->description << "   UNIDAD: " << info->unit << "   ZONA " << zone
      << "\n\n";
  out << "T CAT     CTA  " << padRight("DESCRIPCION", 35) << " UNID       CANTIDAD         PRECIO        IMPORTE\n";
  for (const auto& l : lines) {
    out << l.type << "  " << l.category << "  " << padLeft(std::to_string(l.account), 7) << "  "
        << padRight(l.description, 35) << " " << padRight(l.unit, 4) << " "
        << padLeft(picture::formatNumber(l.quantity, "n14.4"), 14) << " "
        << padLeft(picture::formatNumber(l.price, "n14.2"), 14) << " "
        << padLeft(picture::formatNumber(l.amount, "n14.2"), 14) << "\n";
  }
  out << padLeft("COSTO DIRECTO: " + picture::formatNumber(totals.directCost, "n14.2"), 96) << "\n\n";
  out << "MANO DE OBRA:    " << padLeft(picture::formatNumber(split.labour, "n14.2"), 14) << "\n"
      << "MATERIALES:      " << padLeft(picture::formatNumber(split.materials, "n14.2"), 14) << "\n"
      << "EQUIPO:          " << padLeft(picture::formatNumber(split.equipment, "n14.2"), 14) << "\n"
      << "PORCENTAJES:     " << padLeft(picture::formatNumber(split.percentages, "n14.2"), 14) << "\n"
      << "PRECIO UNITARIO: " << padLeft(picture::formatNumber(split.unitPrice(), "n14.2"), 14) << "\n";
  return 0;
}

}  // namespace velmora::app
