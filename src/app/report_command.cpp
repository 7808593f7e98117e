#include "app/report_command.h"

#include <QGuiApplication>
#include <cstdio>
#include <cstdlib>
#include <ostream>

#include "reports/page.h"
#include "reports/painter.h"
#include "reports/zone_report.h"

namespace velmora::app {

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
  if (Status s = reports::layOutZoneReport(inst, errors, spool); !s) {
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
