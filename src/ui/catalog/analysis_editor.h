// AnalysisEditor: the lines of a unit-price analysis as a form edits them,
// shared by the base concept form (UpdateCOBA) and the work concept form
// (UpdatePresu): the list, the buttons "&Alta", "&Cambio", "&Baja", the total
// "COSTO DIRECTO:", the limit of 100 lines, re-sorting by category and the
// totals after every change.
#pragma once

#include <QWidget>
#include <functional>
#include <optional>
#include <vector>

#include "catalog/analysis.h"
#include "ui/catalog/analysis_lines_model.h"
#include "ui/warning_window.h"

class QHBoxLayout;
class QLabel;
class QPushButton;
class QTableView;

namespace velmora::ui {

class AnalysisEditor : public QWidget {
  Q_OBJECT
 public:
  explicit AnalysisEditor(Prompter& prompter, QWidget* parent = nullptr);

  const std::vector<catalog::EditedLine>& lines() const { return lines_; }
  // Lines loaded (nothing changed yet).
  void setLines(std::vector<catalog::EditedLine> lines);
  // Lines replaced by the user (an import, an adjustment): a change.
  void replaceLines(std::vector<catalog::EditedLine> lines);
  bool changed() const { return changed_; }
  void markSaved() { changed_ = false; }
  catalog::FormTotals totals() const { return totals_; }
  void setEditable(bool editable);

  // The line buttons; each returns whether a line changed.
  bool addLine(const catalog::EditedLine& line);
  bool changeLine(int row, const catalog::EditedLine& line);
  void removeLine(int row);

  QTableView* view() const { return view_; }
  AnalysisLinesModel* model() const { return model_; }
  // The row of the buttons, for a form's own ("A&justa").
  QHBoxLayout* buttonRow() const { return buttons_; }

  // CAP_DET on a line (nullptr: a new one); nothing when cancelled.
  std::function<std::optional<catalog::EditedLine>(const catalog::EditedLine*)> editLine;
  // A form's own refusal of a line (it shows its warning and returns true).
  std::function<bool(const catalog::EditedLine&)> refuses;

 signals:
  void linesChanged();

 private:
  void show(bool change);
  Prompter& prompter_;
  std::vector<catalog::EditedLine> lines_;
  catalog::FormTotals totals_;
  bool changed_ = false;
  AnalysisLinesModel* model_;
  QTableView* view_;
  QHBoxLayout* buttons_;
  std::vector<QPushButton*> lineButtons_;
  QLabel* directCost_;
};

}  // namespace velmora::ui
