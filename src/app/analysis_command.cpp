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
  // The analysis as printed: lines that add up to the unit price.
  catalog::PrintedAnalysis analysis;
  if (Status s = catalog::printedAnalysis(engine, engine.catalogueLines(account), account, std::nullopt, &analysis);
      !s) {
    err << "velmora: " << s.text() << "\n";
    return 1;
  }
  const catalog::CostSplit split = analysis.partsAsMoney();
  const double directCost = money::fromCents(analysis.directCost());
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
      for (const catalog::PrintedLine& p : analysis.lines) {
        const catalog::EditedLine& l = p.line;
        lineList.push_back({{"type", std::string(1, l.type)},
                            {"category", l.category},
                            {"cta", l.account},
                            {"description", l.description},
                            {"unit", l.unit},
                            {"quantity", figure(l.quantity, "cantidad")},
                            {"price", money::fromCents(p.price)},
                            {"amount", money::fromCents(p.amount)}});
      }
      const nlohmann::json doc = {{"cta", account},
                                  {"description", info->description},
                                  {"unit", info->unit},
                                  {"zone", zone},
                                  {"PU_MOBRA", split.labour},
                                  {"PU_MATERIAL", split.materials},
                                  {"PU_EQUIPO", split.equipment},
                                  {"PU_PORCEN", split.percentages},
                                  {"unit_price", directCost},
                                  {"direct_cost", directCost},
                                  {"lines", lineList}};
      // Texts that are not valid UTF-8 are shown with U+FFFD, never passed through.
      out << doc.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) << "\n";
    } catch (const std::domain_error& e) {
      err << "velmora: " << e.what() << "\n";
      return 1;
    }
    return 0;
  }

  const auto money2 = [](int64_t cents) { return picture::formatNumber(money::fromCents(cents), "n14.2"); };
  out << "CONCEPTO " << account << "  " << info->description << "   UNIDAD: " << info->unit << "   ZONA " << zone
      << "\n\n";
  out << "T CAT     CTA  " << padRight("DESCRIPCION", 35) << " UNID       CANTIDAD         PRECIO        IMPORTE\n";
  for (const catalog::PrintedLine& p : analysis.lines) {
    const catalog::EditedLine& l = p.line;
    out << l.type << "  " << l.category << "  " << padLeft(std::to_string(l.account), 7) << "  "
        << padRight(l.description, 35) << " " << padRight(l.unit, 4) << " "
        << padLeft(picture::formatNumber(l.quantity, "n14.4"), 14) << " " << padLeft(money2(p.price), 14) << " "
        << padLeft(money2(p.amount), 14) << "\n";
  }
  out << padLeft("COSTO DIRECTO: " + money2(analysis.directCost()), 96) << "\n\n";
  out << "MANO DE OBRA:    " << padLeft(money2(analysis.parts[0]), 14) << "\n"
      << "MATERIALES:      " << padLeft(money2(analysis.parts[1]), 14) << "\n"
      << "EQUIPO:          " << padLeft(money2(analysis.parts[2]), 14) << "\n"
      << "PORCENTAJES:     " << padLeft(money2(analysis.parts[3]), 14) << "\n"
      << "PRECIO UNITARIO: " << padLeft(money2(analysis.directCost()), 14) << "\n";
  return 0;
}

}  // namespace velmora::app
