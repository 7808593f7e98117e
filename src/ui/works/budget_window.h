// PRESUP, the budget of the open work; SISTEMAS, the menu that opens it; the
// progress of CALCULA and the RENUM window.
//
// A budget window is bound to its work: it opens the work's tables when it
// opens and everything it starts (forms, the work inputs, CALCULA) works on
// them. Only one budget window is open at a time: choosing a work closes the
// window of the previous one first, so no window keeps writing into the files
// of a work that is no longer chosen.
#pragma once

#include <QAbstractTableModel>
#include <QPointer>
#include <QWidget>
#include <memory>

#include "tables/record.h"
#include "tables/table.h"
#include "ui/context.h"
#include "works/budget.h"
#include "works/work.h"

class QLabel;
class QTableView;

namespace velmora::ui {

// The rows as the budget window shows them, with their colours, read in
// pages as the view needs them, so that a long budget opens at once.
class BudgetModel : public QAbstractTableModel {
  Q_OBJECT
 public:
  using QAbstractTableModel::QAbstractTableModel;
  static constexpr size_t kPage = 200;
  // Reads the budget anew through `cobr` (open): its first page and the
  // direct cost of all of it.
  void load(tables::Table* cobr);
  const std::vector<works::BudgetRow>& rows() const { return rows_; }
  double directCost() const { return directCost_; }
  bool canFetchMore(const QModelIndex& parent) const override;
  void fetchMore(const QModelIndex& parent) override;

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

 private:
  tables::Table* cobr_ = nullptr;
  std::vector<works::BudgetRow> rows_;
  std::vector<works::ShownRow> shown_;
  works::RunningDisplay running_;
  double directCost_ = 0;
  bool atEnd_ = true;
};

class BudgetWindow : public QWidget {
  Q_OBJECT
 public:
  // Opens on the current work of the session (chosen before).
  BudgetWindow(Context& ctx, const works::WorkHeader& obra, QWidget* parent = nullptr);
  ~BudgetWindow() override;

  BudgetModel& model() { return model_; }
  QTableView& view() { return *view_; }
  void reload();
  // How many times the rows were read again since the window opened.
  int reloads() const { return reloads_; }

  // The buttons.
  void insertRow();
  void changeRow();
  void deleteRow();
  void recalculate();            // CALCULA
  void openInputs();             // INSUMOS
  void renumberRows();           // RENUMERA
  void showSummary();            // INDIRECTOS
  void openReports();            // REPORTES (REP_PRE)
  void importClientCatalogue();  // IMPORTA: the client's workbook into the budget
  void exportClientCatalogue();  // EXPORTA: the prices into a copy of it
  // The export with its files chosen: the line that tells what happened.
  QString exportClientCatalogueTo(const QString& client, const QString& output, bool* ok);
  void closeBudget();  // C&ierra

 private:
  bool runCalcula();
  // "Actualiza a Ultimos Valores" of the work inputs list, off the window's thread.
  bool runLatestValues();
  // After a change: the rows' figures from their stored parts, then the
  // list read again; a failure is said, never left as stale figures.
  void refreshFigures();
  // The work's category totals written into its header, for its reports
  // and for the works list.
  void storeTotals();
  const works::WorkHeader& header();
  works::OpenWork thisWork();
  // A form owns its record: each form (and each delete) works through a
  // handle of its own on the rows, never the list's, which other stations'
  // commits read again at any moment while the form is open.
  std::unique_ptr<tables::Table> rowHandle();
  // A handle of its own holding the list's row `row`; nothing (the failure
  // shown) when it cannot be read.
  std::unique_ptr<tables::Table> fetchRow(int row);

  Context& ctx_;
  works::WorkHeader obra_;
  std::unique_ptr<tables::Table> cobr_;  // the list's reads only
  BudgetModel model_;
  QTableView* view_;
  QLabel* directCost_;
  bool closing_ = false;
  int reloads_ = 0;
};

// SISTEMAS: "Sistema de Presupuestos" asks for a work and opens its budget.
class SystemsMenu : public QWidget {
  Q_OBJECT
 public:
  explicit SystemsMenu(Context& ctx, QWidget* parent = nullptr);
};

// Asks for a work (CAP_PRES), chooses it and opens its budget window in the
// frame, closing the budget window of the work chosen before. Returns the
// window, or nullptr when no work was chosen or it could not be opened.
BudgetWindow* openBudget(Context& ctx, QWidget* parent);

}  // namespace velmora::ui
