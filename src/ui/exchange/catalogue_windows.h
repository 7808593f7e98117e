// The client's catalogue from the budget window: IMPORTA_CATALOGO brings the
// rows of the client's workbook into the open work (preview, then apply);
// EXPORTA_CATALOGO writes the work's prices into a copy of that workbook.
#pragma once

#include <QDialog>

#include "exchange/client_catalogue.h"
#include "ui/context.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;

namespace velmora::ui {

class CatalogueImportWindow : public QDialog {
  Q_OBJECT
 public:
  CatalogueImportWindow(Context& ctx, works::OpenWork work, QWidget* parent = nullptr);
  void setFile(const QString& path);
  void preview();
  bool apply();
  const exchange::CataloguePlan& plan() const { return plan_; }

 private:
  void readSheet();
  exchange::CatalogueColumns columns() const;

  Context& ctx_;
  works::OpenWork work_;
  QLineEdit* file_;
  QComboBox* sheetName_;
  QComboBox *key_, *description_, *unit_, *quantity_;
  QTableWidget* rows_;
  QLabel* status_;
  QPushButton* apply_;
  exchange::SheetData sheet_;
  size_t headerRow_ = 0;
  exchange::CataloguePlan plan_;
  bool planned_ = false;
};

// Writes the work's prices into a copy of the client's workbook `client`
// at `output`; the Spanish line that tells what happened.
QString exportCatalogue(Context& ctx, const works::OpenWork& work, const QString& client, const QString& output,
                        bool* ok);

}  // namespace velmora::ui
