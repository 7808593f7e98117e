#include "ui/exchange/catalogue_windows.h"

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

#include "exchange/xlsx_reader.h"
#include "framework/text.h"
#include "ui/exchange/sheet_columns.h"

namespace velmora::ui {

namespace {
constexpr const char* kProcedure = "IMPORTA_CATALOGO";
}

CatalogueImportWindow::CatalogueImportWindow(Context& ctx, works::OpenWork work, QWidget* parent)
    : QDialog(parent), ctx_(ctx), work_(std::move(work)) {
  setObjectName(kProcedure);
  setWindowTitle("Importando el Catálogo del Cliente");
  file_ = new QLineEdit;
  file_->setObjectName("file");
  auto* lookup = new QToolButton;
  lookup->setObjectName("fileLookup");
  lookup->setIcon(style()->standardIcon(QStyle::SP_DirOpenIcon));
  lookup->setToolTip("Seleccione el libro del cliente");
  sheetName_ = new QComboBox;
  sheetName_->setObjectName("sheet");
  const auto combo = [](const char* name) {
    auto* box = new QComboBox;
    box->setObjectName(name);
    return box;
  };
  key_ = combo("key");
  description_ = combo("description");
  unit_ = combo("unit");
  quantity_ = combo("quantity");

  auto* form = new QFormLayout;
  form->addRow("OBRA:", new QLabel(QString::fromStdString(text::clip(work_.header.text("OBRA")))));
  auto* fileRow = new QHBoxLayout;
  fileRow->addWidget(file_, 1);
  fileRow->addWidget(lookup);
  form->addRow("LIBRO:", fileRow);
  form->addRow("HOJA:", sheetName_);
  auto* mapping = new QHBoxLayout;
  for (auto [caption, box] :
       {std::pair{"CLAVE", key_}, {"DESCRIPCION", description_}, {"UNIDAD", unit_}, {"CANTIDAD", quantity_}}) {
    auto* column = new QVBoxLayout;
    column->addWidget(new QLabel(caption));
    column->addWidget(box);
    mapping->addLayout(column);
  }
  form->addRow("COLUMNAS:", mapping);

  rows_ = new QTableWidget(0, 6);
  rows_->setObjectName("rows");
  rows_->setHorizontalHeaderLabels({"FILA", "T", "CLAVE", "DESCRIPCION", "UNIDAD", "CANTIDAD"});
  rows_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  rows_->verticalHeader()->hide();
  rows_->horizontalHeader()->setSectionResizeMode(3, QHeaderView::Stretch);
  status_ = new QLabel;
  status_->setObjectName("status");
  status_->setWordWrap(true);
  apply_ = new QPushButton(style()->standardIcon(QStyle::SP_DialogApplyButton), "&Aplica");
  apply_->setObjectName("apply");
  apply_->setEnabled(false);
  auto* close = new QPushButton(style()->standardIcon(QStyle::SP_DialogCloseButton), "C&ierra");
  close->setObjectName("close");
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(apply_);
  buttons->addWidget(close);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addWidget(rows_, 1);
  layout->addWidget(status_);
  layout->addLayout(buttons);
  resize(860, 560);

  connect(lookup, &QToolButton::clicked, this, [this] {
    const QString chosen =
        QFileDialog::getOpenFileName(this, "Seleccione el libro del cliente", file_->text(), "Libros (*.xlsx)");
    if (!chosen.isEmpty()) setFile(chosen);
  });
  connect(file_, &QLineEdit::editingFinished, this, [this] { setFile(file_->text().trimmed()); });
  connect(sheetName_, &QComboBox::activated, this, [this] { readSheet(); });
  for (QComboBox* box : {key_, description_, unit_, quantity_})
    connect(box, &QComboBox::activated, this, &CatalogueImportWindow::preview);
  connect(apply_, &QPushButton::clicked, this, [this] {
    if (apply()) accept();
  });
  connect(close, &QPushButton::clicked, this, &QDialog::reject);
  ctx_.errors.setProcedureName(kProcedure);
  connect(this, &QObject::destroyed, [&errors = ctx_.errors] { errors.removeProcedureName(kProcedure); });
}

void CatalogueImportWindow::setFile(const QString& path) {
  file_->setText(path);
  sheetName_->clear();
  sheetName_->addItems(sheetNamesOf(path));
  sheetName_->setEnabled(sheetName_->count() > 1);
  readSheet();
}

void CatalogueImportWindow::readSheet() {
  planned_ = false;
  apply_->setEnabled(false);
  rows_->setRowCount(0);
  if (Status s = readSheetFile(file_->text().trimmed(), sheetName_->currentText(), &sheet_); !s) {
    sheet_ = {};
    status_->setText(QString::fromStdString(s.text()));
    return;
  }
  const exchange::CatalogueColumns guess = exchange::guessCatalogueColumns(sheet_);
  headerRow_ = guess.headerRow;
  fillColumnChoices(key_, sheet_, guess.key);
  fillColumnChoices(description_, sheet_, guess.description);
  fillColumnChoices(unit_, sheet_, guess.unit);
  fillColumnChoices(quantity_, sheet_, guess.quantity);
  preview();
}

exchange::CatalogueColumns CatalogueImportWindow::columns() const {
  exchange::CatalogueColumns c;
  c.key = chosenColumn(key_);
  c.description = chosenColumn(description_);
  c.unit = chosenColumn(unit_);
  c.quantity = chosenColumn(quantity_);
  c.headerRow = headerRow_;
  return c;
}

void CatalogueImportWindow::preview() {
  planned_ = false;
  apply_->setEnabled(false);
  rows_->setRowCount(0);
  if (sheet_.rows.empty()) return;
  if (Status s = exchange::planCatalogueImport(work_.inst, ctx_.errors, sheet_, columns(), &plan_); !s) {
    status_->setText(QString::fromStdString(s.text()));
    return;
  }
  rows_->setRowCount(static_cast<int>(plan_.rows.size()));
  int r = 0;
  for (const auto& row : plan_.rows) {
    const QString cells[6] = {QString::number(row.row),
                              QString(QChar(row.kind)),
                              QString::fromStdString(row.key),
                              QString::fromStdString(row.description),
                              QString::fromStdString(row.unit),
                              row.kind == 'C' ? QString::fromStdString(text::formatFixed(row.quantity, 4)) : QString()};
    for (int k = 0; k < 6; ++k) {
      auto* item = new QTableWidgetItem(cells[k]);
      if (k == 5) item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
      // Concepts with no analysis in the base, to be priced by hand, in red.
      if (row.kind == 'C' && row.baseConcept == 0) item->setForeground(Qt::red);
      rows_->setItem(r, k, item);
    }
    ++r;
  }
  size_t titles = 0;
  for (const auto& row : plan_.rows) titles += row.kind == 'T';
  status_->setText(
      QString("%1 partidas: %2 títulos, %3 conceptos con el análisis de la base y %4 sin análisis (en rojo).")
          .arg(plan_.rows.size())
          .arg(titles)
          .arg(plan_.rows.size() - titles - plan_.unmatched.size())
          .arg(plan_.unmatched.size()));
  planned_ = true;
  apply_->setEnabled(!plan_.rows.empty());
}

bool CatalogueImportWindow::apply() {
  if (!planned_) return false;
  if (Status s = exchange::applyCatalogueImport(work_, ctx_.errors, plan_, ctx_.login().user); !s) {
    status_->setText("No se importó el catálogo (la obra queda como estaba): " + QString::fromStdString(s.text()));
    return false;
  }
  planned_ = false;
  apply_->setEnabled(false);
  return true;
}

QString exportCatalogue(Context& ctx, const works::OpenWork& work, const QString& client, const QString& output,
                        bool* ok) {
  *ok = false;
  exchange::SheetData sheet;
  if (Status s = exchange::readSheet(client.toStdString(), {}, &sheet); !s) return QString::fromStdString(s.text());
  exchange::CatalogueExport plan;
  if (Status s = exchange::planCatalogueExport(work, ctx.errors, sheet, exchange::guessCatalogueColumns(sheet), &plan);
      !s) {
    return QString::fromStdString(s.text()) + "; no se escribió el libro.";
  }
  std::vector<std::string> formulas;
  if (Status s =
          exchange::writeCellValues(client.toStdString(), sheet.name, plan.values, output.toStdString(), &formulas);
      !s) {
    return QString::fromStdString(s.text());
  }
  *ok = true;
  QString done = QString("%1 partidas con precio en %2.").arg(plan.rows).arg(output);
  if (!formulas.empty()) done += QString(" %1 celdas con fórmula se dejaron como estaban.").arg(formulas.size());
  return done;
}

}  // namespace velmora::ui
