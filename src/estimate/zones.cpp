#include "estimate/zones.h"

#include "framework/money.h"

namespace velmora::estimate {

double workingDays(const tables::Record& control) {
  double days = 365;
  for (int i = 1; i <= 15; ++i) days -= control.real("SUDI", i);
  return days;
}

ZoneFactors zoneFactors(const tables::Record& c) {
  ZoneFactors f;
  f.zone = static_cast<int>(c.integer("CTA"));
  f.salMin = c.real("SUEL");
  const double paidDays = 365 + c.real("VACA") + c.real("GRAT");
  double quotas = 0;
  for (const char* q : {"PIMS", "EIMS", "PDPR", "PDEM", "GMPA", "GMEM", "RIPA", "RIEM", "INPA", "INEM",
                        "GUPA", "GUEM", "CEPA", "CEEM"}) {
    quotas += c.real(q) / 100;
  }
  f.cuotasImss = quotas;
  f.cuotasImssExc = quotas + c.real("EXPA") / 100 + c.real("EXEM") / 100;
  const double charged = paidDays + (c.real("IINF") + c.real("ISAR")) * paidDays / 100 +
                         paidDays * c.real("IISN") / 100;
  const double dhab = c.real("DHAB");
  f.complete = dhab > 0;
  if (f.complete) {
    f.fsrMenor = (charged + paidDays * f.cuotasImss) / dhab;
    f.fsrMayor = (charged + paidDays * f.cuotasImssExc) / dhab;
  }
  if (c.real("MINI") > 0) f.fsrMenor = c.real("MINI");
  if (c.real("MAXI") > 0) f.fsrMayor = c.real("MAXI");
  return f;
}

ZoneFactors loadZoneFactors(tables::Table& control, int zone) {
  control.rec().clear();
  control.rec().setInteger("CTA", zone);
  if (!control.fetch(control.keyIndex("KEYCTA"))) {
    ZoneFactors missing;
    missing.zone = zone;
    return missing;
  }
  return zoneFactors(control.rec());
}

double realWage(double price, int kind, const ZoneFactors& f) {
  if (kind != kLabourKind) return price;
  // Compared in whole cents: 3 x 207.44 is 622.32, not 622.3199999... .
  return money::cents(price) > 3 * money::cents(f.salMin) ? price * f.fsrMayor : price * f.fsrMenor;
}

std::optional<std::array<std::string, 3>> zoneNumberWarning(int zone) {
  if (zone <= 5) return std::nullopt;
  return std::array<std::string, 3>{"UNICAMENTE SE PUEDEN DAR DE ALTA", "5 ZONAS DE SALARIO , SELECCIONE",
                                    "DEL 1 AL 5, ..."};
}

std::array<std::string, 5> readZoneNames(tables::Table& control) {
  std::array<std::string, 5> names;
  control.setOrder(control.keyIndex("KEYCTA"));
  std::string last;
  for (auto& name : names) {
    if (control.next()) last = control.rec().text("ZONA");
    name = last;
  }
  return names;
}

}  // namespace velmora::estimate
