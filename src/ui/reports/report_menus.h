// REP_PRE, "Imprimiendo del Sub-Sistema de Presupuestos": the reports of the
// open work. The budget ("&Presupuesto" / "&Presentación", "&Detalle") and
// the concepts concentrated print now; the other entries come with their
// reports and stay disabled.
#pragma once

#include <QDialog>

#include "reports/budget_report.h"
#include "ui/context.h"
#include "works/work.h"

class QMenuBar;

namespace velmora::ui {

class WorkReportsMenu : public QDialog {
  Q_OBJECT
 public:
  WorkReportsMenu(Context& ctx, const works::WorkHeader& obra, QWidget* parent = nullptr);
  QMenuBar* menus() const { return menus_; }
  // Runs IMP_PRE, IMP_PDE or IMP_CDE, with REDIR4 first.
  void runWorkReport(reports::BudgetReportKind kind);
  // IMP_CON, or IMP_COH when horizontal, with REDIR4 first.
  void runAnalysis(bool horizontal);
  void runMachines(bool concentrated);
  void runExplosion();  // IMP_MAT, with REDIR4 first

 private:
  Context& ctx_;
  works::WorkHeader obra_;
  QMenuBar* menus_;
};

// IMP_BAS, "Imprimiendo de la Base de Datos": the reports of the base
// catalogue, every entry.
class BaseMenu;

// MENU_BASE with its "REPORTES" opening the catalogue's report menu.
BaseMenu* makeBaseMenu(Context& ctx);

class CatalogueReportsMenu : public QDialog {
  Q_OBJECT
 public:
  explicit CatalogueReportsMenu(Context& ctx, QWidget* parent = nullptr);
  QMenuBar* menus() const { return menus_; }
  void runInputCatalogue();               // IMP_IBD, with REDIR first
  void runSalaryStudy();                  // EST_SAL, after the warning of a fixed study
  void runBaseAnalysis(bool horizontal);  // IMP_CBD or IMP_HBD, with REDIR2 first
  void runMachineSheets();                // IMP_EBD, with REDIR3 first

 private:
  Context& ctx_;
  QMenuBar* menus_;
};

}  // namespace velmora::ui
