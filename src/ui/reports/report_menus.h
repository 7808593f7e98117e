// REP_PRE, "Imprimiendo del Sub-Sistema de Presupuestos": the reports of the
// open work. The budget ("&Presupuesto" / "&Presentación", "&Detalle") prints
// now; the other entries come with their reports and stay disabled.
#pragma once

#include <QDialog>

#include "tables/record.h"
#include "ui/context.h"

class QMenuBar;

namespace velmora::ui {

class WorkReportsMenu : public QDialog {
  Q_OBJECT
 public:
  WorkReportsMenu(Context& ctx, const tables::Record& obra, QWidget* parent = nullptr);
  QMenuBar* menus() const { return menus_; }
  // Runs IMP_PRE (presentation) or IMP_PDE, with REDIR4 first.
  void runBudgetReport(bool presentation);

 private:
  Context& ctx_;
  tables::Record obra_;
  QMenuBar* menus_;
};

}  // namespace velmora::ui
