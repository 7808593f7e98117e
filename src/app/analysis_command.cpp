#include "app/analysis_command.h"

#include <cstdio>
#include <filesystem>
#include <ostream>

#include "catalog/analysis.h"
#include "framework/picture.h"
#include "framework/text.h"

namespace velmora::app {

namespace {

std::string jsonText(const std::string& s) {
  std::string out = "\"";
  for (char c : s) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      default:
        if (static_cast<unsigned char>(c) < 0x20) {
          char buf[8];
          std::snprintf(buf, sizeof buf, "\\u%04x", c);
          out += buf;
        } else {
          out += c;
        }
    }
  }
  return out + "\"";
}

std::string number(double v, int decimals) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.*f", decimals, v);
  return buf;
}

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

int runAnalysis(const tables::Installation& inst, ErrorReporter& errors, const std::string& accountText,
                bool json, int zone, std::ostream& out, std::ostream& err) {
  char* end = nullptr;
  const long account = std::strtol(accountText.c_str(), &end, 10);
  if (accountText.empty() || *end != '\0' || account <= 0) {
    err << "velmora: la cuenta del concepto debe ser un número: " << accountText << "\n";
    return 2;
  }
  if (!std::filesystem::exists(inst.dataDir / "DATA3")) {
    err << "velmora: " << inst.dataDir.string() << " no es una instalación (falta DATA3)\n";
    return 1;
  }
  if (zone < 1 || zone > 5) {
    err << "velmora: la zona debe estar entre 1 y 5\n";
    return 2;
  }
  auto control = inst.table("CONTROL", errors);
  if (!control->open()) {
    err << "velmora: no se pudo abrir la tabla de zonas\n";
    return 1;
  }
  const estimate::ZoneFactors factors = estimate::loadZoneFactors(*control, zone);
  const catalog::MachineRates rates = catalog::firstZoneRates(*control);
  catalog::BasePrices prices(inst, errors, zone);
  catalog::PricingEngine engine(inst, errors, prices, factors, rates);
  const auto info = engine.conceptInfo(static_cast<int32_t>(account));
  if (!info) {
    err << "velmora: no existe el concepto " << account << "\n";
    return 1;
  }
  auto lines = catalog::loadConceptLines(engine, static_cast<int32_t>(account));
  const catalog::FormTotals totals = catalog::recomputeTotals(lines);
  const catalog::CostSplit split = engine.priceConcept(static_cast<int32_t>(account));

  if (json) {
    out << "{\"cta\":" << account << ",\"description\":" << jsonText(info->description)
        << ",\"unit\":" << jsonText(info->unit) << ",\"zone\":" << zone
        << ",\"PU_MOBRA\":" << number(split.labour, 2) << ",\"PU_MATERIAL\":" << number(split.materials, 2)
        << ",\"PU_EQUIPO\":" << number(split.equipment, 2) << ",\"PU_PORCEN\":" << number(split.percentages, 2)
        << ",\"unit_price\":" << number(split.unitPrice(), 2) << ",\"direct_cost\":" << number(totals.directCost, 2)
        << ",\"lines\":[";
    for (size_t i = 0; i < lines.size(); ++i) {
      const auto& l = lines[i];
      out << (i ? "," : "") << "{\"type\":\"" << l.type << "\",\"category\":" << l.category
          << ",\"cta\":" << l.account << ",\"description\":" << jsonText(l.description)
          << ",\"unit\":" << jsonText(l.unit) << ",\"quantity\":" << number(l.quantity, 4)
          << ",\"price\":" << number(l.price, 2) << ",\"amount\":" << number(l.amount, 2) << "}";
    }
    out << "]}\n";
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
