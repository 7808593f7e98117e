#include "ui/exchange/price_import_window.h"

#include <QComboBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QStyle>
#include <QTableWidget>
#include <QToolButton>
#include <QVBoxLayout>

#include "framework/dates.h"
#include "framework/picture.h"
#include "framework/text.h"
#include "ui/exchange/sheet_columns.h"

namespace velmora::ui {

namespace {
constexpr const char* kProcedure = "IMPORTA_PRECIOS";

QString money(double v) { return QString::fromStdString(text::clip(picture::formatNumber(v, "n14.2"))); }
}  // namespace

PriceImportWindow::PriceImportWindow(Context& ctx, QWidget* parent) : QDialog(parent), ctx_(ctx) {
  setObjectName(kProcedure);
  setWindowTitle("Importando una Lista de Precios");
  file_ = new QLineEdit;
  file_->setObjectName("file");
  auto* lookup = new QToolButton;
  lookup->setObjectName("fileLookup");
  lookup->setIcon(style()->standardIcon(QStyle::SP_DirOpenIcon));
  lookup->setToolTip("Seleccione la lista del proveedor");
  sheetName_ = new QComboBox;
  sheetName_->setObjectName("sheet");
  list_ = new QSpinBox;
  list_->setObjectName("list");
  list_->setRange(1, 5);
  list_->setValue(std::clamp(ctx.session.currentZone(), 1, 5));
  date_ = new QLineEdit(QString::fromStdString(picture::formatDate(dates::today())));
  date_->setObjectName("date");
  date_->setToolTip("Fecha de los precios que no traen la suya (dd/mm/aaaa)");
  const auto combo = [](const char* name) {
    auto* box = new QComboBox;
    box->setObjectName(name);
    return box;
  };
  account_ = combo("account");
  genericKey_ = combo("genericKey");
  key_ = combo("key");
  price_ = combo("price");
  priceDate_ = combo("priceDate");

  auto* form = new QFormLayout;
  auto* fileRow = new QHBoxLayout;
  fileRow->addWidget(file_, 1);
  fileRow->addWidget(lookup);
  form->addRow("ARCHIVO:", fileRow);
  form->addRow("HOJA:", sheetName_);
  form->addRow("LISTA DE PRECIOS:", list_);
  form->addRow("FECHA:", date_);
  auto* mapping = new QHBoxLayout;
  for (auto [caption, box] : {std::pair{"CUENTA", account_},
                              {"GENERICO", genericKey_},
                              {"CLAVE", key_},
                              {"PRECIO", price_},
                              {"FECHA", priceDate_}}) {
    auto* column = new QVBoxLayout;
    column->addWidget(new QLabel(caption));
    column->addWidget(box);
    mapping->addLayout(column);
  }
  form->addRow("COLUMNAS:", mapping);

  changes_ = new QTableWidget(0, 6);
  changes_->setObjectName("changes");
  changes_->setHorizontalHeaderLabels({"FILA", "CTA", "DESCRIPCION", "ANTERIOR", "NUEVO", "%"});
  changes_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  changes_->setSelectionBehavior(QAbstractItemView::SelectRows);
  changes_->verticalHeader()->hide();
  changes_->horizontalHeader()->setSectionResizeMode(2, QHeaderView::Stretch);
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

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addWidget(changes_, 1);
  layout->addWidget(status_);
  layout->addLayout(buttons);
  resize(820, 560);

  connect(lookup, &QToolButton::clicked, this, &PriceImportWindow::chooseFile);
  connect(file_, &QLineEdit::editingFinished, this, [this] { setFile(file_->text().trimmed()); });
  connect(sheetName_, &QComboBox::activated, this, [this] { readSheet(); });
  for (QComboBox* box : {account_, genericKey_, key_, price_, priceDate_})
    connect(box, &QComboBox::activated, this, &PriceImportWindow::preview);
  connect(list_, &QSpinBox::valueChanged, this, &PriceImportWindow::preview);
  connect(date_, &QLineEdit::editingFinished, this, &PriceImportWindow::preview);
  connect(apply_, &QPushButton::clicked, this, &PriceImportWindow::apply);
  connect(close, &QPushButton::clicked, this, &QDialog::reject);
  ctx_.errors.setProcedureName(kProcedure);
  connect(this, &QObject::destroyed, [&errors = ctx_.errors] { errors.removeProcedureName(kProcedure); });
}

void PriceImportWindow::chooseFile() {
  const QString chosen = QFileDialog::getOpenFileName(this, "Seleccione la lista del proveedor", file_->text(),
                                                      "Listas de precios (*.xlsx *.csv *.txt)");
  if (!chosen.isEmpty()) setFile(chosen);
}

void PriceImportWindow::setFile(const QString& path) {
  file_->setText(path);
  sheetName_->clear();
  sheetName_->addItems(sheetNamesOf(path));
  sheetName_->setEnabled(sheetName_->count() > 1);
  readSheet();
}

void PriceImportWindow::readSheet() {
  planned_ = false;
  apply_->setEnabled(false);
  changes_->setRowCount(0);
  if (Status s = readSheetFile(file_->text().trimmed(), sheetName_->currentText(), &sheet_); !s) {
    sheet_ = {};
    status_->setText(QString::fromStdString(s.text()));
    return;
  }
  const exchange::PriceColumns guess = exchange::guessPriceColumns(sheet_);
  headerRows_ = guess.headerRows;
  fillColumnChoices(account_, sheet_, guess.account);
  fillColumnChoices(genericKey_, sheet_, guess.genericKey);
  fillColumnChoices(key_, sheet_, guess.key);
  fillColumnChoices(price_, sheet_, guess.price);
  fillColumnChoices(priceDate_, sheet_, guess.date);
  preview();
}

exchange::PriceColumns PriceImportWindow::columns() const {
  exchange::PriceColumns c;
  c.account = chosenColumn(account_);
  c.genericKey = chosenColumn(genericKey_);
  c.key = chosenColumn(key_);
  c.price = chosenColumn(price_);
  c.date = chosenColumn(priceDate_);
  c.headerRows = headerRows_;
  return c;
}

void PriceImportWindow::preview() {
  planned_ = false;
  apply_->setEnabled(false);
  changes_->setRowCount(0);
  if (sheet_.rows.empty()) return;
  const auto date = picture::parseDate(date_->text().trimmed().toStdString());
  if (!date) {
    status_->setText("Fecha no válida; escríbala dd/mm/aaaa.");
    return;
  }
  if (Status s = exchange::planPriceImport(ctx_.session.installation, ctx_.errors, sheet_, columns(), list_->value(),
                                           *date, &plan_);
      !s) {
    status_->setText(QString::fromStdString(s.text()));
    return;
  }
  changes_->setRowCount(static_cast<int>(plan_.changes.size()));
  int r = 0;
  for (const auto& c : plan_.changes) {
    const double percent = c.oldPrice != 0 ? (c.newPrice - c.oldPrice) * 100 / c.oldPrice : 0;
    const QString cells[6] = {QString::number(c.row),
                              QString::number(c.account),
                              QString::fromStdString(text::clip(c.description)),
                              money(c.oldPrice),
                              money(c.newPrice),
                              c.oldPrice != 0 ? QString::fromStdString(text::formatFixed(percent, 2)) : "nuevo"};
    for (int k = 0; k < 6; ++k) {
      auto* item = new QTableWidgetItem(cells[k]);
      if (k != 2) item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
      changes_->setItem(r, k, item);
    }
    ++r;
  }
  QStringList lines;
  lines << QString("%1 precios cambian en la lista %2; %3 filas sin insumo; %4 rechazadas.")
               .arg(plan_.changes.size())
               .arg(list_->value())
               .arg(plan_.unmatched.size())
               .arg(plan_.refused.size());
  for (size_t i = 0; i < std::min<size_t>(plan_.refused.size(), 5); ++i)
    lines << "Rechazada: " + QString::fromStdString(plan_.refused[i]);
  for (size_t i = 0; i < std::min<size_t>(plan_.unmatched.size(), 5); ++i)
    lines << "Sin insumo: " + QString::fromStdString(plan_.unmatched[i]);
  status_->setText(lines.join("\n"));
  planned_ = true;
  apply_->setEnabled(plan_.refused.empty() && !plan_.changes.empty());
}

bool PriceImportWindow::apply() {
  if (!planned_) return false;
  if (Status s =
          exchange::applyPriceImport(ctx_.session.installation, ctx_.errors, plan_, list_->value(), ctx_.login().user);
      !s) {
    status_->setText("No se importaron los precios (los insumos quedan como estaban): " +
                     QString::fromStdString(s.text()));
    return false;
  }
  status_->setText(QString("%1 precios nuevos en la lista %2.").arg(plan_.changes.size()).arg(list_->value()));
  planned_ = false;
  apply_->setEnabled(false);
  changes_->setRowCount(0);
  return true;
}

}  // namespace velmora::ui
