#include "ui/catalog/analysis_editor.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>

#include "framework/picture.h"

namespace velmora::ui {

AnalysisEditor::AnalysisEditor(Prompter& prompter, QWidget* parent) : QWidget(parent), prompter_(prompter) {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  model_ = new AnalysisLinesModel(lines_, this);
  view_ = new QTableView;
  view_->setObjectName("lines");
  view_->setModel(model_);
  view_->setSelectionBehavior(QAbstractItemView::SelectRows);
  view_->setSelectionMode(QAbstractItemView::SingleSelection);
  view_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  view_->verticalHeader()->hide();
  view_->verticalHeader()->setDefaultSectionSize(view_->fontMetrics().height() + 6);
  const int widths[7] = {28, 70, 0, 50, 90, 90, 90};
  for (int c = 0; c < 7; ++c) {
    if (widths[c]) view_->setColumnWidth(c, widths[c]);
  }
  view_->horizontalHeader()->setSectionResizeMode(2, QHeaderView::Stretch);
  view_->setMinimumHeight(200);
  layout->addWidget(view_);

  buttons_ = new QHBoxLayout;
  const std::pair<const char*, const char*> captions[] = {
      {"&Alta", "lineAdd"}, {"&Cambio", "lineChange"}, {"&Baja", "lineRemove"}};
  for (const auto& [caption, name] : captions) {
    auto* b = new QPushButton(caption);
    b->setObjectName(name);
    buttons_->addWidget(b);
    lineButtons_.push_back(b);
  }
  buttons_->addStretch();
  directCost_ = new QLabel;
  directCost_->setObjectName("directCost");
  buttons_->addWidget(new QLabel("COSTO DIRECTO:"));
  buttons_->addWidget(directCost_);
  layout->addLayout(buttons_);

  connect(lineButtons_[0], &QPushButton::clicked, this, [this] {
    if (lines_.size() >= catalog::kMaxLines) {
      prompter_.warn({"UN CONCEPTO ADMITE A LO MAS", "100 LINEAS DE ANALISIS", "CON Ok CONTINUA..."});
      return;
    }
    if (!editLine) return;
    if (auto line = editLine(nullptr)) addLine(*line);
  });
  connect(lineButtons_[1], &QPushButton::clicked, this, [this] {
    const int row = view_->currentIndex().row();
    if (row < 0 || !editLine) return;
    if (auto line = editLine(&lines_[row])) changeLine(row, *line);
  });
  connect(lineButtons_[2], &QPushButton::clicked, this, [this] { removeLine(view_->currentIndex().row()); });
  show(false);
}

void AnalysisEditor::setEditable(bool editable) {
  for (QPushButton* b : lineButtons_) b->setEnabled(editable);
}

void AnalysisEditor::setLines(std::vector<catalog::EditedLine> lines) {
  lines_ = std::move(lines);
  changed_ = false;
  show(false);
}

void AnalysisEditor::replaceLines(std::vector<catalog::EditedLine> lines) {
  lines_ = std::move(lines);
  show(true);
}

void AnalysisEditor::show(bool change) {
  model_->beginChange();
  totals_ = catalog::recomputeTotals(lines_);
  model_->endChange();
  directCost_->setText(QString::fromStdString(picture::formatNumber(totals_.directCost, "n14.2")));
  if (change) {
    changed_ = true;
    emit linesChanged();
  }
}

bool AnalysisEditor::addLine(const catalog::EditedLine& line) {
  if (lines_.size() >= catalog::kMaxLines) {
    prompter_.warn({"UN CONCEPTO ADMITE A LO MAS", "100 LINEAS DE ANALISIS", "CON Ok CONTINUA..."});
    return false;
  }
  if (refuses && refuses(line)) return false;
  lines_.push_back(line);
  show(true);
  return true;
}

bool AnalysisEditor::changeLine(int row, const catalog::EditedLine& line) {
  if (row < 0 || row >= static_cast<int>(lines_.size())) return false;
  if (refuses && refuses(line)) return false;
  lines_[row] = line;
  show(true);
  return true;
}

void AnalysisEditor::removeLine(int row) {
  if (row < 0 || row >= static_cast<int>(lines_.size())) return;
  lines_.erase(lines_.begin() + row);
  show(true);
}

}  // namespace velmora::ui
