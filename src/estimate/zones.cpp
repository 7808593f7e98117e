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
  for (const char* q : {"PIMS", "EIMS", "PDPR", "PDEM", "GMPA", "GMEM", "RIPA", "RIEM", "INPA", "INEM", "GUPA", "GUEM",
                        "CEPA", "CEEM"}) {
    quotas += c.real(q) / 100;
  }
  f.cuotasImss = quotas;
  f.cuotasImssExc = quotas + c.real("EXPA") / 100 + c.real("EXEM") / 100;
  const double charged =
      paidDays + (c.real("IINF") + c.real("ISAR")) * paidDays / 100 + paidDays * c.real("IISN") / 100;
  const double dhab = c.real("DHAB");
  f.storedWorkingDays = dhab;
  f.sarRate = c.real("ISAR");
  f.infonavitRate = c.real("IINF");
  f.complete = dhab > 0;
  if (f.complete) {
    f.fsrMenor = (charged + paidDays * f.cuotasImss) / dhab;
    f.fsrMayor = (charged + paidDays * f.cuotasImssExc) / dhab;
  }
  if (c.real("MINI") > 0) f.fsrMenor = c.real("MINI");
  if (c.real("MAXI") > 0) f.fsrMayor = c.real("MAXI");
  return f;
}

WageStudy wageStudy(double base, const tables::Record& c) {
  const ZoneFactors f = zoneFactors(c);
  WageStudy w;
  w.base = base;
  w.annual = base * 365;
  w.bonus = base * c.real("GRAT");
  w.vacationBonus = base * c.real("VACA");
  const double paid = base * (365 + c.real("VACA") + c.real("GRAT"));
  const bool above = money::cents(base) > 3 * money::cents(f.salMin);
  w.imss = paid * (above ? f.cuotasImssExc : f.cuotasImss);
  w.sarInfonavit = paid * (c.real("IINF") + c.real("ISAR")) / 100;
  w.payrollTax = paid * c.real("IISN") / 100;
  w.sum = w.annual + w.bonus + w.vacationBonus + w.imss + w.sarInfonavit + w.payrollTax;
  // The wage pricing uses: the zone's factor for its band, fixed or computed.
  w.factor = above ? f.fsrMayor : f.fsrMenor;
  w.realWage = realWage(base, kLabourKind, f);
  return w;
}

Status loadZoneFactors(tables::Table& control, int zone, ZoneFactors* factors) {
  control.rec().clear();
  control.rec().setInteger("CTA", zone);
  const tables::Found stored = control.fetch(control.keyIndex("KEYCTA"));
  if (stored.found()) {
    *factors = zoneFactors(control.rec());
    return Status::ok();
  }
  *factors = ZoneFactors{};
  factors->zone = zone;
  return stored.failure();
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

Status readZoneNames(tables::Table& control, std::array<std::string, 5>* names) {
  *names = {};
  control.setOrder(control.keyIndex("KEYCTA"));
  std::string last;
  bool more = true;
  for (auto& name : *names) {
    if (more) {
      const tables::Found next = control.next();
      if (next.failed()) return next.status();
      more = next.found();
      if (more) last = control.rec().text("ZONA");
    }
    name = last;
  }
  return Status::ok();
}

const std::array<ZoneDefaults, 5> kNewInstallationZones = {{
    {"ZONA LIBRE FRONTERA NORTE", 440.87, 3.0},
    {"RESTO DEL PAIS", 315.04, 3.0},
    {"RESTO DEL PAIS (ZONA 3)", 315.04, 3.0},
    {"RESTO DEL PAIS (ZONA 4)", 315.04, 3.0},
    {"RESTO DEL PAIS (ZONA 5)", 315.04, 3.0},
}};

Status addMissingZones(tables::Table& control, const std::array<ZoneDefaults, 5>& zones) {
  if (Status s = control.begin(); !s) return s;
  for (int z = 1; z <= 5; ++z) {
    control.rec().clear();
    control.rec().setInteger("CTA", z);
    const tables::Found stored = control.fetch(control.keyIndex("KEYCTA"));
    if (stored.failed()) {
      control.rollback();
      return stored.status();
    }
    if (stored.found()) continue;
    auto& r = control.rec();
    r.clear();
    r.setInteger("CTA", z);
    r.setText("ZONA", zones[z - 1].name);
    r.setReal("SUEL", zones[z - 1].minimumSalary);
    r.setReal("PORC", 11.0);  // annual interest for the machinery hourly cost
    r.setReal("VACA", 3.0);   // vacation premium: 25 % of 12 days
    r.setReal("DIVA", 12.0);
    r.setReal("GRAT", 15.0);  // aguinaldo
    r.setReal("IINF", 5.0);
    r.setReal("ISAR", 2.0);
    r.setReal("IISN", zones[z - 1].payrollTax);
    // IMSS quotas in percent (construction, work-risk class V).
    r.setReal("PIMS", 20.40);
    r.setReal("EIMS", 0.0);
    r.setReal("PDPR", 0.70);
    r.setReal("PDEM", 0.25);
    r.setReal("GMPA", 1.05);
    r.setReal("GMEM", 0.375);
    r.setReal("RIPA", 7.58875);
    r.setReal("RIEM", 0.0);
    r.setReal("INPA", 1.75);
    r.setReal("INEM", 0.625);
    r.setReal("GUPA", 1.0);
    r.setReal("GUEM", 0.0);  // retirement is charged as SAR above
    r.setReal("EXPA", 1.10);
    r.setReal("EXEM", 0.40);
    r.setReal("CEPA", 3.150);
    r.setReal("CEEM", 1.125);
    const char* days[] = {"DIAS FESTIVOS", "VACACIONES", "PERMISOS", "LLUVIAS"};
    const double counts[] = {7, 12, 2, 3};
    for (int i = 0; i < 4; ++i) {
      r.setText("DIAS", days[i], i + 1);
      r.setReal("SUDI", counts[i], i + 1);
    }
    r.setReal("SUDI", 52, 14);  // Sundays
    r.setReal("DHAB", workingDays(r));
    if (Status s = control.insert(); !s) {
      control.rollback();
      return s;
    }
  }
  return control.commit();
}

}  // namespace velmora::estimate
