#include "app/report_command.h"

#include <QGuiApplication>
#include <cstdio>
#include <cstdlib>
#include <ostream>

#include "estimate/zones.h"
#include "framework/dates.h"
#include "framework/picture.h"
#include "reports/page.h"
#include "reports/painter.h"

namespace velmora::app {

namespace {

using reports::Align;
using reports::Page;
using reports::TextItem;

TextItem text(double x, double y, double width, const std::string& s, Align align = Align::kLeft, double size = 9,
              bool bold = false) {
  TextItem t;
  t.x = x;
  t.y = y;
  t.width = width;
  t.text = s;
  t.align = align;
  t.font.size = size;
  t.font.bold = bold;
  return t;
}

// The salary zones: each with its minimum salary, working days and factors.
Status layOutZones(const tables::Installation& inst, ErrorReporter& errors, reports::Spool& spool) {
  auto vga = inst.table("VGA", errors);
  auto control = inst.table("CONTROL", errors);
  if (Status s = control->open(); !s) return s;
  std::string company;
  if (vga->open()) {
    vga->rec().setInteger("CTA", 1);
    if (vga->fetch(vga->keyIndex("CTA_KEY"))) company = vga->rec().text("CIA");
  }
  Page page;
  page.texts.push_back(text(40, 36, 532, company, Align::kCenter, 12, true));
  page.texts.push_back(text(40, 54, 532, "ESTUDIO DE ZONAS DE SALARIO", Align::kCenter, 10, true));
  page.texts.push_back(text(40, 72, 200, picture::formatDate(dates::today())));
  page.texts.push_back(text(432, 72, 140, reports::kPagePlaceholder, Align::kRight));
  const double columns[] = {40, 80, 280, 360, 430, 500, 572};
  const char* headers[] = {"ZONA", "NOMBRE DE LA ZONA", "SAL. MINIMO", "DIAS HAB.", "FSR < 3 S.M.", "FSR > 3 S.M."};
  double y = 96;
  page.lines.push_back({40, y - 2, 572, y - 2, 0.5});
  for (int c = 0; c < 6; ++c) {
    page.texts.push_back(text(columns[c] + 2, y, columns[c + 1] - columns[c] - 4, headers[c],
                              c < 2 ? Align::kLeft : Align::kRight, 8, true));
  }
  y += 14;
  page.lines.push_back({40, y - 2, 572, y - 2, 0.5});
  for (int z = 1; z <= 5; ++z) {
    control->rec().clear();
    control->rec().setInteger("CTA", z);
    if (!control->fetch(control->keyIndex("KEYCTA"))) continue;
    const tables::Record r = control->rec();
    const estimate::ZoneFactors f = estimate::zoneFactors(r);
    const std::string cells[] = {std::to_string(z), r.text("ZONA"), picture::formatNumber(r.real("SUEL"), "n10.2"),
                                 picture::formatNumber(r.real("DHAB"), "n6.2"),
                                 picture::formatNumber(f.fsrMenor, "n8.4"), picture::formatNumber(f.fsrMayor, "n8.4")};
    for (int c = 0; c < 6; ++c) {
      page.texts.push_back(text(columns[c] + 2, y, columns[c + 1] - columns[c] - 4, cells[c],
                                c < 2 ? Align::kLeft : Align::kRight));
    }
    y += 14;
  }
  page.lines.push_back({40, y, 572, y, 0.5});
  return spool.add(page);
}

}  // namespace

int runReport(int argc, char** argv, const tables::Installation& inst, ErrorReporter& errors, const std::string& name,
              const ReportTarget& target, std::ostream& out, std::ostream& err) {
  if (name != "zonas") {
    err << "velmora: no existe el reporte " << name << " (reportes: zonas)\n";
    return 2;
  }
  const int outputs = !target.pdf.empty() + !target.txt.empty() + !target.png.empty();
  if (outputs != 1) {
    err << "velmora: indique una salida: --pdf ARCHIVO, --txt ARCHIVO o --png DIRECTORIO\n";
    return 2;
  }
  reports::Spool spool;
  if (Status s = layOutZones(inst, errors, spool); !s) {
    err << "velmora: no se pudo formar el reporte: " << s.text() << "\n";
    return 1;
  }
  if (Status s = spool.numberPages(true); !s) {
    err << "velmora: " << s.text() << "\n";
    return 1;
  }
  const std::vector<size_t> pages = reports::selectPages(spool.count(), {}, reports::PageSet::kAll);
  Status s;
  if (!target.txt.empty()) {
    s = reports::writeText(spool, pages, target.txt);
  } else {
    // Fonts and pictures need a GUI application, a screen they do not.
    if (!std::getenv("QT_QPA_PLATFORM") && !std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY"))
      setenv("QT_QPA_PLATFORM", "offscreen", 1);
    // Qt's own notes (no runtime directory, no screen) are not the user's
    // business on a headless run; its errors still are.
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& message) {
      if (type == QtCriticalMsg || type == QtFatalMsg) std::fprintf(stderr, "velmora: %s\n", qPrintable(message));
    });
    QGuiApplication app(argc, argv);
    s = !target.pdf.empty() ? reports::writePdf(spool, pages, target.pdf) : reports::writePng(spool, pages, target.png);
  }
  if (!s) {
    err << "velmora: " << s.text() << "\n";
    return 1;
  }
  out << "Reporte " << name << ": " << spool.count() << (spool.count() == 1 ? " hoja\n" : " hojas\n");
  return 0;
}

}  // namespace velmora::app
