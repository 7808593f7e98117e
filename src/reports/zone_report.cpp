#include "reports/zone_report.h"

#include "estimate/zones.h"
#include "framework/dates.h"
#include "framework/picture.h"
#include "reports/report_header.h"
#include "shell/records.h"

namespace velmora::reports {

Status layOutZoneReport(const tables::Installation& inst, ErrorReporter& errors, Spool& spool,
                        const std::function<bool(size_t, size_t)>& progress) {
  auto vga = inst.table("VGA", errors);
  auto control = inst.table("CONTROL", errors);
  if (Status s = control->open(); !s) return s;
  shell::InstallationSettings settings;
  std::string company;
  if (vga->open() && shell::readSettings(*vga, &settings)) company = settings.company;
  Page page;
  putText(page, 40, 36, 532, company, Align::kCenter, 12, true);
  putText(page, 40, 54, 532, "ESTUDIO DE ZONAS DE SALARIO", Align::kCenter, 10, true);
  putText(page, 40, 72, 200, picture::formatDate(dates::today()), Align::kLeft, 9);
  putText(page, 432, 72, 140, kPagePlaceholder, Align::kRight, 9);
  const double columns[] = {40, 80, 280, 360, 430, 500, 572};
  const char* headers[] = {"ZONA", "NOMBRE DE LA ZONA", "SAL. MINIMO", "DIAS HAB.", "FSR < 3 S.M.", "FSR > 3 S.M."};
  double y = 96;
  page.lines.push_back({40, y - 2, 572, y - 2, 0.5});
  for (int c = 0; c < 6; ++c) {
    putText(page, columns[c] + 2, y, columns[c + 1] - columns[c] - 4, headers[c], c < 2 ? Align::kLeft : Align::kRight,
            8, true);
  }
  y += 14;
  page.lines.push_back({40, y - 2, 572, y - 2, 0.5});
  for (int z = 1; z <= 5; ++z) {
    if (progress && !progress(static_cast<size_t>(z - 1), 5))
      return Status::error(Status::Code::kCancelled, "cancelado");
    control->rec().clear();
    control->rec().setInteger("CTA", z);
    const tables::Found stored = control->fetch(control->keyIndex("KEYCTA"));
    if (stored.failed()) return stored.status();
    if (stored.absent()) continue;
    const tables::Record r = control->rec();
    const estimate::ZoneFactors f = estimate::zoneFactors(r);
    const std::string cells[] = {std::to_string(z),
                                 r.text("ZONA"),
                                 picture::formatNumber(r.real("SUEL"), "n10.2"),
                                 picture::formatNumber(r.real("DHAB"), "n6.2"),
                                 picture::formatNumber(f.fsrMenor, "n8.4"),
                                 picture::formatNumber(f.fsrMayor, "n8.4")};
    for (int c = 0; c < 6; ++c) {
      putText(page, columns[c] + 2, y, columns[c + 1] - columns[c] - 4, cells[c], c < 2 ? Align::kLeft : Align::kRight,
              9);
    }
    y += 14;
  }
  page.lines.push_back({40, y, 572, y, 0.5});
  return spool.add(page);
}

}  // namespace velmora::reports
