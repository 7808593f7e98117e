#include "ui/exchange/sheet_import_dialog.h"

#include <cstring>

#include <QComboBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QTableWidget>
#include <QToolButton>
#include <QVBoxLayout>

#include "ui/exchange/sheet_columns.h"

namespace velmora::ui {

SheetImportDialog::SheetImportDialog(Context& ctx, const Layout& layout, QWidget* parent)
    : QDialog(parent), ctx_(ctx), procedure_(layout.procedure) {
  setObjectName(layout.procedure);
  setWindowTitle(layout.title);
  file_ = new QLineEdit;
  file_->setObjectName("file");
  auto* lookup = new QToolButton;
  lookup->setObjectName("fileLookup");
  lookup->setIcon(style()->standardIcon(QStyle::SP_DirOpenIcon));
  lookup->setToolTip(layout.fileHint);
  sheetName_ = new QComboBox;
  sheetName_->setObjectName("sheet");

  form_ = new QFormLayout;
  auto* fileRow = new QHBoxLayout;
  fileRow->addWidget(file_, 1);
  fileRow->addWidget(lookup);
  form_->addRow(layout.fileCaption, fileRow);
  form_->addRow("HOJA:", sheetName_);
  auto* mapping = new QHBoxLayout;
  for (const ColumnChoice& c : layout.columns) {
    auto* box = new QComboBox;
    box->setObjectName(c.name);
    columns_.push_back(box);
    auto* column = new QVBoxLayout;
    column->addWidget(new QLabel(c.caption));
    column->addWidget(box);
    mapping->addLayout(column);
    connect(box, &QComboBox::activated, this, [this] { preview(); });
  }
  form_->addRow("COLUMNAS:", mapping);

  table_ = new QTableWidget(0, static_cast<int>(layout.tableHeaders.size()));
  table_->setObjectName(layout.tableName);
  table_->setHorizontalHeaderLabels(layout.tableHeaders);
  table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table_->setSelectionBehavior(QAbstractItemView::SelectRows);
  table_->verticalHeader()->hide();
  table_->horizontalHeader()->setSectionResizeMode(layout.stretchColumn, QHeaderView::Stretch);
  status_ = new QLabel;
  status_->setObjectName("status");
  status_->setWordWrap(true);
  status_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  apply_ = new QPushButton(style()->standardIcon(QStyle::SP_DialogApplyButton), "&Aplica");
  apply_->setObjectName("apply");
  apply_->setEnabled(false);
  auto* close = new QPushButton(style()->standardIcon(QStyle::SP_DialogCloseButton), "C&ierra");
  close->setObjectName("close");
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(apply_);
  buttons->addWidget(close);

  auto* whole = new QVBoxLayout(this);
  whole->addLayout(form_);
  whole->addWidget(table_, 1);
  whole->addWidget(status_);
  whole->addLayout(buttons);

  connect(lookup, &QToolButton::clicked, this, [this, hint = layout.fileHint, filter = layout.fileFilter] {
    const QString chosen = QFileDialog::getOpenFileName(this, hint, file_->text(), filter);
    if (!chosen.isEmpty()) setFile(chosen);
  });
  // Typed: read when it names another file (leaving the field is no reason
  // to read the same one again).
  connect(file_, &QLineEdit::editingFinished, this, [this] {
    if (file_->text().trimmed() != readPath_) setFile(file_->text().trimmed());
  });
  connect(sheetName_, &QComboBox::activated, this, [this] { readSheet(); });
  connect(close, &QPushButton::clicked, this, &QDialog::reject);
  ctx_.errors.setProcedureName(procedure_);
}

SheetImportDialog::~SheetImportDialog() {
  // Hiding a closing window takes the focus from its fields: their signals
  // must not reach the parts of it already gone.
  disconnect(file_, nullptr, this, nullptr);
  disconnect(sheetName_, nullptr, this, nullptr);
  for (QComboBox* box : columns_) disconnect(box, nullptr, this, nullptr);
  ctx_.errors.removeProcedureName(procedure_);
}

QComboBox* SheetImportDialog::column(const char* name) const {
  for (QComboBox* box : columns_)
    if (box->objectName() == name) return box;
  return nullptr;
}

void SheetImportDialog::setFile(const QString& path) {
  file_->setText(path);
  readPath_ = path;
  sheetName_->clear();
  sheetName_->addItems(sheetNamesOf(path));
  sheetName_->setEnabled(sheetName_->count() > 1);
  readSheet();
}

void SheetImportDialog::readSheet() {
  apply_->setEnabled(false);
  table_->setRowCount(0);
  if (Status s = readSheetFile(file_->text().trimmed(), sheetName_->currentText(), &sheet_); !s) {
    sheet_ = {};
    status_->setText(QString::fromStdString(s.text()));
    return;
  }
  guessColumns();
  preview();
}

}  // namespace velmora::ui
