#include "ui/exchange/price_import_window.h"

#include <QComboBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>

#include "framework/dates.h"
#include "framework/picture.h"
#include "framework/text.h"
#include "ui/exchange/sheet_columns.h"

namespace velmora::ui {

namespace {
QString money(double v) { return QString::fromStdString(text::clip(picture::formatNumber(v, "n14.2"))); }
}  // namespace

PriceImportWindow::PriceImportWindow(Context& ctx, QWidget* parent)
    : SheetImportDialog(ctx,
                        {"IMPORTA_PRECIOS",
                         "Importando una Lista de Precios",
                         "ARCHIVO:",
                         "Seleccione la lista del proveedor",
                         "Listas de precios (*.xlsx *.csv *.txt)",
                         {{"CUENTA", "account"},
                          {"GENERICO", "genericKey"},
                          {"CLAVE", "key"},
                          {"PRECIO", "price"},
                          {"FECHA", "priceDate"}},
                         "changes",
                         {"FILA", "CTA", "DESCRIPCION", "ANTERIOR", "NUEVO", "%"},
                         2},
                        parent) {
  list_ = new QSpinBox;
  list_->setObjectName("list");
  list_->setRange(1, 5);
  list_->setValue(std::clamp(ctx.session.currentZone(), 1, 5));
  date_ = new QLineEdit(QString::fromStdString(picture::formatDate(dates::today())));
  date_->setObjectName("date");
  date_->setToolTip("Fecha de los precios que no traen la suya (dd/mm/aaaa)");
  form()->insertRow(2, "LISTA DE PRECIOS:", list_);
  form()->insertRow(3, "FECHA:", date_);
  resize(820, 560);
  connect(list_, &QSpinBox::valueChanged, this, [this] { preview(); });
  connect(date_, &QLineEdit::editingFinished, this, [this] { preview(); });
  connect(apply_, &QPushButton::clicked, this, [this] { apply(); });
}

void PriceImportWindow::guessColumns() {
  const exchange::PriceColumns guess = exchange::guessPriceColumns(sheet_);
  headerRows_ = guess.headerRows;
  fillColumnChoices(column("account"), sheet_, guess.account);
  fillColumnChoices(column("genericKey"), sheet_, guess.genericKey);
  fillColumnChoices(column("key"), sheet_, guess.key);
  fillColumnChoices(column("price"), sheet_, guess.price);
  fillColumnChoices(column("priceDate"), sheet_, guess.date);
}

exchange::PriceColumns PriceImportWindow::columns() const {
  exchange::PriceColumns c;
  c.account = chosenColumn(column("account"));
  c.genericKey = chosenColumn(column("genericKey"));
  c.key = chosenColumn(column("key"));
  c.price = chosenColumn(column("price"));
  c.date = chosenColumn(column("priceDate"));
  c.headerRows = headerRows_;
  return c;
}

void PriceImportWindow::preview() {
  planned_ = false;
  apply_->setEnabled(false);
  table_->setRowCount(0);
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
  table_->setRowCount(static_cast<int>(plan_.changes.size()));
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
      table_->setItem(r, k, item);
    }
    ++r;
  }
  QStringList lines;
  lines << QString::fromStdString(exchange::rowsAccount(plan_)) + ".";
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
  table_->setRowCount(0);
  return true;
}

}  // namespace velmora::ui
