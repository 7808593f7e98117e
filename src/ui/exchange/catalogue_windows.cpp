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

CatalogueImportWindow::CatalogueImportWindow(Context& ctx, works::OpenWork work, QWidget* parent)
    : SheetImportDialog(
          ctx,
          {"IMPORTA_CATALOGO",
           "Importando el Catálogo del Cliente",
           "LIBRO:",
           "Seleccione el libro del cliente",
           "Libros (*.xlsx)",
           {{"CLAVE", "key"}, {"DESCRIPCION", "description"}, {"UNIDAD", "unit"}, {"CANTIDAD", "quantity"}},
           "rows",
           {"FILA", "T", "CLAVE", "DESCRIPCION", "UNIDAD", "CANTIDAD"},
           3},
          parent),
      work_(std::move(work)) {
  form()->insertRow(0, "OBRA:", new QLabel(QString::fromStdString(text::clip(work_.header.name))));
  resize(860, 560);
  connect(apply_, &QPushButton::clicked, this, [this] {
    if (apply()) accept();
  });
}

void CatalogueImportWindow::guessColumns() {
  const exchange::CatalogueColumns guess = exchange::guessCatalogueColumns(sheet_);
  headerRow_ = guess.headerRow;
  fillColumnChoices(column("key"), sheet_, guess.key);
  fillColumnChoices(column("description"), sheet_, guess.description);
  fillColumnChoices(column("unit"), sheet_, guess.unit);
  fillColumnChoices(column("quantity"), sheet_, guess.quantity);
}

exchange::CatalogueColumns CatalogueImportWindow::columns() const {
  exchange::CatalogueColumns c;
  c.key = chosenColumn(column("key"));
  c.description = chosenColumn(column("description"));
  c.unit = chosenColumn(column("unit"));
  c.quantity = chosenColumn(column("quantity"));
  c.headerRow = headerRow_;
  return c;
}

void CatalogueImportWindow::preview() {
  planned_ = false;
  apply_->setEnabled(false);
  table_->setRowCount(0);
  if (sheet_.rows.empty()) return;
  if (Status s = exchange::planCatalogueImport(work_.inst, ctx_.errors, sheet_, columns(), &plan_); !s) {
    status_->setText(QString::fromStdString(s.text()));
    return;
  }
  table_->setRowCount(static_cast<int>(plan_.rows.size()));
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
      table_->setItem(r, k, item);
    }
    ++r;
  }
  size_t titles = 0;
  for (const auto& row : plan_.rows) titles += row.kind == 'T';
  const auto counted = [](size_t n, const char* one, const char* many) {
    return QString::number(n) + " " + (n == 1 ? one : many);
  };
  QString said = counted(plan_.rows.size(), "partida", "partidas") + ": " + counted(titles, "título", "títulos") +
                 ", " + counted(plan_.rows.size() - titles - plan_.unmatched.size(), "concepto", "conceptos") +
                 QString(" con el análisis de la base y %1 sin análisis (en rojo).").arg(plan_.unmatched.size());
  if (!plan_.closing.empty())
    said += " " + counted(plan_.closing.size(), "fila de cierre", "filas de cierre") +
            " (subtotal, I.V.A., total) no se importan.";
  for (const auto& note : plan_.notes) said += "\n" + QString::fromStdString(note);
  status_->setText(said);
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
  QString done = QString(plan.rows == 1 ? "%1 partida con precio en %2." : "%1 partidas con precio en %2.")
                     .arg(plan.rows)
                     .arg(output);
  if (!formulas.empty())
    done += QString(formulas.size() == 1 ? " %1 celda con fórmula se dejó como estaba."
                                         : " %1 celdas con fórmula se dejaron como estaban.")
                .arg(formulas.size());
  if (!plan.unpriced.empty())
    done += QString(" Sin precio (0.00): %1.").arg(QString::fromStdString(plan.unpriced.front())) +
            (plan.unpriced.size() > 1 ? QString(" y %1 más").arg(plan.unpriced.size() - 1) : QString());
  return done;
}

}  // namespace velmora::ui
