#include "ui/reports/report_menus.h"

#include <QLabel>
#include <QMenuBar>
#include <QVBoxLayout>

#include "framework/text.h"
#include "reports/analysis_reports.h"
#include "reports/budget_report.h"
#include "reports/catalogue_reports.h"
#include "reports/explosion_report.h"
#include "shell/installation_conf.h"

#include <algorithm>
#include "ui/catalog/base_menu.h"
#include "ui/reports/report_options.h"
#include "ui/reports/report_run.h"

namespace velmora::ui {

namespace {
// The options keep their values between reports while the program runs.
reports::ReportOptions& workReportOptions() {
  static reports::ReportOptions options;
  return options;
}
reports::ReportOptions& catalogueReportOptions() {
  static reports::ReportOptions options;
  return options;
}
// Lays out a report of the menu's work, opened as it stands when it runs.
Status layOutOfWork(Context& ctx, const std::string& code,
                    const std::function<Status(const works::OpenWork& work)>& layOut) {
  std::optional<works::OpenWork> work;
  if (Status s = works::openWork(ctx.session.installation, ctx.errors, code, &work); !s) return s;
  return layOut(*work);
}
}  // namespace

WorkReportsMenu::WorkReportsMenu(Context& ctx, const works::WorkHeader& obra, QWidget* parent)
    : QDialog(parent), ctx_(ctx), obra_(obra) {
  setObjectName("REP_PRE");
  setWindowTitle("Imprimiendo del Sub-Sistema de Presupuestos");
  auto* layout = new QVBoxLayout(this);
  menus_ = new QMenuBar;
  layout->setMenuBar(menus_);
  layout->addWidget(new QLabel(QString::fromStdString(text::clip(obra.name))));
  QMenu* file = menus_->addMenu("&Archivo");
  file->addAction("&Salir", this, &QDialog::accept);
  QMenu* budget = menus_->addMenu("&Presupuesto");
  budget->addAction("&Presentación", this, [this] { runWorkReport(reports::BudgetReportKind::kPresentation); })
      ->setObjectName("IMP_PRE");
  budget->addAction("&Detalle", this, [this] { runWorkReport(reports::BudgetReportKind::kDetail); })
      ->setObjectName("IMP_PDE");
  // The reports of the next round, shown where they will be.
  QMenu* concepts = menus_->addMenu("&Conceptos");
  concepts->addAction("&Horizontal", this, [this] { runAnalysis(true); })->setObjectName("IMP_COH");
  concepts->addAction("&Presentación", this, [this] { runAnalysis(false); })->setObjectName("IMP_CON");
  concepts->addAction("&Concentrado", this, [this] { runWorkReport(reports::BudgetReportKind::kConcentrated); })
      ->setObjectName("IMP_CDE");
  menus_->addAction("E&xplosión de Insumos", this, [this] { runExplosion(); })->setObjectName("IMP_MAT");
  QMenu* machines = menus_->addMenu("&Maquinaria y Equipo");
  machines->addAction("&Presentación", this, [this] { runMachines(false); })->setObjectName("IMP_COS");
  machines->addAction("&Concentrado", this, [this] { runMachines(true); })->setObjectName("IMP_CEQ");
  resize(520, 120);
}

void WorkReportsMenu::runExplosion() {
  reports::ReportOptions& options = workReportOptions();
  askReportOptions(ctx_, OptionsDialog::Kind::kWork, options, this);
  runReport(this, [&](reports::Spool& spool, const std::function<bool(size_t, size_t)>& progress) {
    return layOutOfWork(ctx_, text::clip(obra_.code), [&](const works::OpenWork& work) {
      return reports::layOutExplosion(work, ctx_.errors, options, ctx_.session.companyName, ctx_.session.today, spool,
                                      progress);
    });
  });
}

void WorkReportsMenu::runAnalysis(bool horizontal) {
  reports::ReportOptions& options = workReportOptions();
  askReportOptions(ctx_, OptionsDialog::Kind::kWork, options, this);
  runReport(this, [&](reports::Spool& spool, const std::function<bool(size_t, size_t)>& progress) {
    return layOutOfWork(ctx_, text::clip(obra_.code), [&](const works::OpenWork& work) {
      const reports::AnalysisReportScope scope{&work, horizontal, ctx_.session.currentZone(), ctx_.session.companyName,
                                               ctx_.session.today};
      return reports::layOutConceptAnalyses(work.inst, ctx_.errors, scope, options, spool, progress);
    });
  });
}

void WorkReportsMenu::runMachines(bool concentrated) {
  reports::ReportOptions& options = workReportOptions();
  askReportOptions(ctx_, OptionsDialog::Kind::kMachines, options, this);
  runReport(this, [&](reports::Spool& spool, const std::function<bool(size_t, size_t)>& progress) {
    return layOutOfWork(ctx_, text::clip(obra_.code), [&](const works::OpenWork& work) {
      reports::AnalysisReportScope scope{&work, false, ctx_.session.currentZone(), ctx_.session.companyName,
                                         ctx_.session.today};
      scope.concentrated = concentrated;
      return reports::layOutMachineSheets(work.inst, ctx_.errors, scope, options, spool, progress);
    });
  });
}

void WorkReportsMenu::runWorkReport(reports::BudgetReportKind kind) {
  reports::ReportOptions& options = workReportOptions();
  askReportOptions(ctx_, OptionsDialog::Kind::kWork, options, this);
  reports::BudgetReportContext context{ctx_.session.companyName, ctx_.session.today};
  runReport(this, [&](reports::Spool& spool, const std::function<bool(size_t, size_t)>& progress) {
    return layOutOfWork(ctx_, text::clip(obra_.code), [&](const works::OpenWork& work) {
      // The wording as the installation's settings say at this run.
      if (Status s = shell::readAmountWording(work.inst, &context.wording); !s) return s;
      return reports::layOutBudgetReport(kind, work, ctx_.errors, options, context, spool, progress);
    });
  });
}

CatalogueReportsMenu::CatalogueReportsMenu(Context& ctx, QWidget* parent) : QDialog(parent), ctx_(ctx) {
  setObjectName("IMP_BAS");
  setWindowTitle("Imprimiendo de la Base de Datos");
  auto* layout = new QVBoxLayout(this);
  menus_ = new QMenuBar;
  layout->setMenuBar(menus_);
  layout->addWidget(new QLabel("Reportes de la Base de Datos"));
  QMenu* file = menus_->addMenu("&Archivo");
  file->addAction("&Salir", this, &QDialog::accept);
  menus_->addAction("Estudio de Salarios", this, [this] { runSalaryStudy(); })->setObjectName("EST_SAL");
  menus_->addAction("&Insumos", this, [this] { runInputCatalogue(); })->setObjectName("IMP_IBD");
  QMenu* concepts = menus_->addMenu("&Conceptos");
  concepts->addAction("&Horizontal", this, [this] { runBaseAnalysis(true); })->setObjectName("IMP_HBD");
  concepts->addAction("&Presentación", this, [this] { runBaseAnalysis(false); })->setObjectName("IMP_CBD");
  QMenu* machines = menus_->addMenu("&Maquinaria y Equipo");
  machines->addAction("&Presentación", this, [this] { runMachineSheets(); })->setObjectName("IMP_EBD");
  resize(520, 120);
}

void CatalogueReportsMenu::runBaseAnalysis(bool horizontal) {
  reports::ReportOptions& options = catalogueReportOptions();
  if (options.firstAccount == 0) options.firstAccount = options.lastAccount = 10;  // the reports' own default
  askReportOptions(ctx_, OptionsDialog::Kind::kConcepts, options, this);
  const reports::AnalysisReportScope scope{nullptr, horizontal, ctx_.session.currentZone(), ctx_.session.companyName,
                                           ctx_.session.today};
  const tables::Installation inst = ctx_.session.installation;
  runReport(this, [&](reports::Spool& spool, const std::function<bool(size_t, size_t)>& progress) {
    return reports::layOutConceptAnalyses(inst, ctx_.errors, scope, options, spool, progress);
  });
}

void CatalogueReportsMenu::runMachineSheets() {
  reports::ReportOptions& options = catalogueReportOptions();
  askReportOptions(ctx_, OptionsDialog::Kind::kMachines, options, this);
  const reports::AnalysisReportScope scope{nullptr, false, ctx_.session.currentZone(), ctx_.session.companyName,
                                           ctx_.session.today};
  const tables::Installation inst = ctx_.session.installation;
  runReport(this, [&](reports::Spool& spool, const std::function<bool(size_t, size_t)>& progress) {
    return reports::layOutMachineSheets(inst, ctx_.errors, scope, options, spool, progress);
  });
}

void CatalogueReportsMenu::runSalaryStudy() {
  const int zone = ctx_.session.currentZone();
  const tables::Installation inst = ctx_.session.installation;
  if (reports::salaryStudyIsFixed(inst, ctx_.errors, zone)) {
    ctx_.prompter.warn(
        {reports::kFixedStudyWarning[0], reports::kFixedStudyWarning[1], reports::kFixedStudyWarning[2]});
  }
  reports::CatalogueReportContext context{ctx_.session.companyName, ctx_.session.today, zone,
                                          ctx_.session.zoneNames[std::clamp(zone, 1, 5) - 1]};
  runReport(this, [&](reports::Spool& spool, const std::function<bool(size_t, size_t)>& progress) {
    return reports::layOutSalaryStudy(inst, ctx_.errors, context, spool, progress);
  });
}

void CatalogueReportsMenu::runInputCatalogue() {
  reports::ReportOptions& options = catalogueReportOptions();
  askReportOptions(ctx_, OptionsDialog::Kind::kInputs, options, this);
  const int zone = ctx_.session.currentZone();
  reports::CatalogueReportContext context{ctx_.session.companyName, ctx_.session.today, zone,
                                          ctx_.session.zoneNames[std::clamp(zone, 1, 5) - 1]};
  const tables::Installation inst = ctx_.session.installation;
  runReport(this, [&](reports::Spool& spool, const std::function<bool(size_t, size_t)>& progress) {
    return reports::layOutInputCatalogue(inst, ctx_.errors, options, context, spool, progress);
  });
}

BaseMenu* makeBaseMenu(Context& ctx) {
  return new BaseMenu(ctx, [&ctx](QWidget* parent) {
    CatalogueReportsMenu reports(ctx, parent);
    reports.exec();
  });
}

}  // namespace velmora::ui
