#include "app/report_command.h"

#include <QGuiApplication>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <ostream>

#include "estimate/zones.h"
#include "framework/dates.h"
#include "reports/analysis_reports.h"
#include "reports/budget_report.h"
#include "reports/catalogue_reports.h"
#include "reports/explosion_report.h"
#include "reports/page.h"
#include "reports/painter.h"
#include "reports/sheet.h"
#include "reports/xlsx_writer.h"
#include "reports/zone_report.h"
#include "shell/installation_conf.h"
#include "tables/catalogue.h"
#include "works/budget.h"
#include "works/work.h"

namespace velmora::app {

namespace {

// "dd/mm/yyyy" as a day number; 0 for an empty text, -1 for a text that is
// not a date.
int32_t parseDate(const std::string& text) {
  if (text.empty()) return 0;
  int day = 0, month = 0, year = 0;
  char tail = 0;
  if (std::sscanf(text.c_str(), "%d/%d/%d%c", &day, &month, &year, &tail) != 3) return -1;
  if (month < 1 || month > 12 || day < 1 || year < 1900 || year > 2999) return -1;
  const int32_t n = dates::dayNumber(year, month, day);
  const auto back = dates::civilDate(n);
  return back.day == day && back.month == month ? n : -1;
}

// The company's name for the report headings; blank where the installation
// has no settings record yet (a report only reads, and creates nothing).
std::string companyName(const tables::Installation& inst, ErrorReporter& errors) {
  auto vga = inst.table("VGA", errors);
  if (!std::filesystem::exists(vga->path()) || !vga->open()) return {};
  vga->rec().setInteger("CTA", 1);
  // A failed read was shown; the heading then goes without the name.
  return vga->fetch(vga->keyIndex("CTA_KEY")).found() ? vga->rec().text("CIA") : std::string();
}

}  // namespace

void listReports(std::ostream& out) {
  static const std::pair<const char*, const char*> kReports[] = {
      {"presupuesto", "presupuesto de la obra (--obra)"},
      {"detalle", "presupuesto detallado de la obra (--obra)"},
      {"concentrado", "conceptos concentrados de la obra (--obra)"},
      {"conceptos", "análisis de los conceptos de la obra (--obra)"},
      {"horizontal", "análisis horizontal de los conceptos de la obra (--obra)"},
      {"explosion", "explosión de insumos de la obra (--obra)"},
      {"maquinas", "costo horario de la maquinaria de la obra (--obra)"},
      {"maquinas-concentrado", "maquinaria y equipo de la obra (--obra)"},
      {"conceptos-base", "análisis de los conceptos de la base de datos"},
      {"horizontal-base", "análisis horizontal de los conceptos de la base de datos"},
      {"maquinas-base", "costo horario de la maquinaria de la base de datos"},
      {"insumos", "catálogo de insumos"},
      {"salarios", "estudio de salarios de la zona"},
      {"claves", "claves genéricas"},
      {"zonas", "zonas de salario"},
  };
  for (const auto& [name, what] : kReports) out << name << std::string(22 - std::strlen(name), ' ') << what << "\n";
}

namespace {

bool isAnalysisReport(const std::string& name) {
  return name == "conceptos" || name == "horizontal" || name == "conceptos-base" || name == "horizontal-base" ||
         name == "maquinas-base" || name == "maquinas" || name == "maquinas-concentrado";
}
bool isWorkReport(const std::string& name) {
  return name == "presupuesto" || name == "detalle" || name == "concentrado" || name == "conceptos" ||
         name == "horizontal" || name == "explosion" || name == "maquinas" || name == "maquinas-concentrado";
}
bool isCatalogueReport(const std::string& name) { return name == "insumos" || name == "claves" || name == "salarios"; }

// What the command line asks, checked before anything is read: 0, or the
// exit status of a wrong usage with its line said.
int checkRequest(const std::string& name, const ReportFlags& flags, const ReportTarget& target, std::ostream& err) {
  if (name != "zonas" && !isWorkReport(name) && !isCatalogueReport(name) && !isAnalysisReport(name)) {
    err << "velmora: no existe el reporte " << name << " (velmora report --list los nombra)\n";
    return 2;
  }
  if (isWorkReport(name) && flags.work.empty()) {
    err << "velmora: el reporte " << name << " es de una obra: falta --obra CUENTA\n";
    return 2;
  }
  const int outputs = !target.pdf.empty() + !target.txt.empty() + !target.png.empty() + !target.xlsx.empty();
  const bool hasSheet =
      name == "presupuesto" || name == "detalle" || name == "concentrado" || name == "explosion" || name == "insumos";
  if (!target.xlsx.empty() && !hasSheet) {
    err << "velmora: el reporte " << name
        << " no se exporta a hoja de cálculo (sí: presupuesto, detalle, concentrado, explosion, insumos)\n";
    return 2;
  }
  if (outputs != 1) {
    err << "velmora: indique una salida: --pdf ARCHIVO, --txt ARCHIVO, --png DIRECTORIO o --xlsx ARCHIVO\n";
    return 2;
  }
  if (isCatalogueReport(name) && (parseDate(flags.firstDate) < 0 || parseDate(flags.lastDate) < 0)) {
    err << "velmora: fecha no válida; escríbala dd/mm/aaaa\n";
    return 2;
  }
  return 0;
}

// A report of a work: the budgets, the analyses of its rows, its machines,
// the explosion.
Status layOutWorkReport(const std::string& name, const works::OpenWork& work, ErrorReporter& errors,
                        const ReportFlags& flags, reports::Spool& spool) {
  const tables::Installation& inst = work.inst;
  // The work's totals as the budget window writes them before its reports,
  // where the installation can be written: the report computes what it
  // prints and needs no write.
  if (tables::inspectFile(inst.fileOf(tables::tableDef("OBRA")), tables::kLockWait) == tables::FileHealth::kSound)
    (void)works::writeCategoryTotals(inst, errors, flags.work, 0);
  reports::ReportOptions options;
  options.firstAccount = flags.first;
  options.lastAccount = flags.last;
  options.fullDescription = flags.fullDescription[0];
  options.closingSummary = flags.closingSummary[0];
  if (!flags.title.empty()) options.title = flags.title;
  reports::BudgetReportContext context;
  context.today = dates::today();
  context.company = companyName(inst, errors);
  if (name == "explosion")
    return reports::layOutExplosion(work, errors, options, context.company, context.today, spool);
  if (isAnalysisReport(name)) {
    reports::AnalysisReportScope scope{&work, name == "horizontal", 1, context.company, context.today};
    scope.concentrated = name == "maquinas-concentrado";
    return name.starts_with("maquinas") ? reports::layOutMachineSheets(inst, errors, scope, options, spool)
                                        : reports::layOutConceptAnalyses(inst, errors, scope, options, spool);
  }
  if (Status s = shell::readAmountWording(inst, &context.wording); !s) return s;
  return reports::layOutBudgetReport(name == "presupuesto" ? reports::BudgetReportKind::kPresentation
                                     : name == "detalle"   ? reports::BudgetReportKind::kDetail
                                                           : reports::BudgetReportKind::kConcentrated,
                                     work, errors, options, context, spool);
}

// A report of the base: a concept's or a machine's analysis, the inputs, the
// generic keys, the salary study, the zones.
Status layOutBaseReport(const std::string& name, const tables::Installation& inst, ErrorReporter& errors,
                        const ReportFlags& flags, reports::Spool& spool, std::ostream& err) {
  if (isAnalysisReport(name)) {
    reports::ReportOptions options;
    options.firstAccount = flags.first;
    options.lastAccount = flags.last != 0 ? flags.last : flags.first;  // REDIR2: one concept
    options.fullDescription = flags.fullDescription[0];
    reports::AnalysisReportScope scope{nullptr, name == "horizontal-base", flags.zone, companyName(inst, errors),
                                       dates::today()};
    return name == "maquinas-base" ? reports::layOutMachineSheets(inst, errors, scope, options, spool)
                                   : reports::layOutConceptAnalyses(inst, errors, scope, options, spool);
  }
  if (!isCatalogueReport(name)) return reports::layOutZoneReport(inst, errors, spool);
  reports::CatalogueReportContext context;
  context.today = dates::today();
  context.zone = flags.zone;
  context.company = companyName(inst, errors);
  auto control = inst.table("CONTROL", errors);
  // Without the zones a heading would be missing its zone: no report.
  std::array<std::string, 5> zoneNames;
  if (Status s = control->open(); !s) return s;
  if (Status s = estimate::readZoneNames(*control, &zoneNames); !s) return s;
  context.zoneName = zoneNames[std::clamp(flags.zone, 1, 5) - 1];
  reports::ReportOptions options;
  options.firstAccount = flags.first;
  options.lastAccount = flags.last;
  options.genericKey = flags.genericKey;
  options.firstDate = parseDate(flags.firstDate);
  options.lastDate = parseDate(flags.lastDate);
  options.order = flags.order.empty() ? 'C' : flags.order[0];
  if (name == "salarios" && reports::salaryStudyIsFixed(inst, errors, flags.zone)) {
    err << "velmora: " << reports::kFixedStudyWarning[0] << " " << reports::kFixedStudyWarning[1] << "\n";
  }
  return name == "insumos"    ? reports::layOutInputCatalogue(inst, errors, options, context, spool)
         : name == "salarios" ? reports::layOutSalaryStudy(inst, errors, context, spool)
                              : reports::layOutGenericKeys(inst, errors, context, spool);
}

// The laid-out report to its file: a workbook, text, PDF or pictures.
Status writeReport(int argc, char** argv, reports::Spool& spool, const reports::Sheet& sheet,
                   const ReportTarget& target) {
  const std::vector<size_t> pages = reports::selectPages(spool.count(), {}, reports::PageSet::kAll);
  if (!target.xlsx.empty()) return reports::writeXlsx(sheet, target.xlsx);
  if (!target.txt.empty()) return reports::writeText(spool, pages, target.txt);
  // Fonts and pictures need a GUI application, a screen they do not.
  if (!std::getenv("QT_QPA_PLATFORM") && !std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY"))
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
  // Qt's own notes (no runtime directory, no screen) are not the user's
  // business on a headless run; its errors still are.
  qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& message) {
    if (type == QtCriticalMsg || type == QtFatalMsg) std::fprintf(stderr, "velmora: %s\n", qPrintable(message));
  });
  QGuiApplication app(argc, argv);
  return !target.pdf.empty() ? reports::writePdf(spool, pages, target.pdf)
                             : reports::writePng(spool, pages, target.png);
}

}  // namespace

int runReport(int argc, char** argv, const tables::Installation& base, ErrorReporter& errors, const std::string& name,
              const ReportFlags& flags, const ReportTarget& target, std::ostream& out, std::ostream& err) {
  if (int wrong = checkRequest(name, flags, target, err)) return wrong;
  tables::Installation inst = base;
  // The explosion writes (the work inputs it meets, the machine hours): it
  // may create the work's tables it needs.
  if (name == "explosion") inst.createMissing = true;
  reports::Spool spool;
  reports::Sheet sheet;
  if (!target.xlsx.empty()) spool.setSheet(&sheet);
  Status laid;
  if (isWorkReport(name)) {
    if (!works::isValidWorkCode(flags.work)) {
      err << "velmora: " << works::invalidWorkCodeText(flags.work) << "\n";
      return 2;
    }
    std::optional<works::OpenWork> work;
    if (Status s = works::openWork(inst, errors, flags.work, &work); !s) {
      err << "velmora: " << s.text() << "\n";
      return 1;
    }
    laid = layOutWorkReport(name, *work, errors, flags, spool);
  } else {
    laid = layOutBaseReport(name, inst, errors, flags, spool, err);
  }
  if (!laid) {
    err << "velmora: no se pudo formar el reporte: " << laid.text() << "\n";
    return 1;
  }
  if (Status s = spool.numberPages(true); !s) {
    err << "velmora: " << s.text() << "\n";
    return 1;
  }
  if (Status s = writeReport(argc, argv, spool, sheet, target); !s) {
    err << "velmora: " << s.text() << "\n";
    return 1;
  }
  out << "Reporte " << name << ": " << spool.count() << (spool.count() == 1 ? " hoja\n" : " hojas\n");
  return 0;
}

}  // namespace velmora::app
