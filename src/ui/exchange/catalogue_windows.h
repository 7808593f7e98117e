// The client's catalogue from the budget window: IMPORTA_CATALOGO brings the
// rows of the client's workbook into the open work (preview, then apply);
// EXPORTA_CATALOGO writes the work's prices into a copy of that workbook.
#pragma once

#include "exchange/client_catalogue.h"
#include "ui/exchange/sheet_import_dialog.h"

namespace velmora::ui {

class CatalogueImportWindow : public SheetImportDialog {
  Q_OBJECT
 public:
  CatalogueImportWindow(Context& ctx, works::OpenWork work, QWidget* parent = nullptr);
  void preview() override;
  bool apply() override;
  const exchange::CataloguePlan& plan() const { return plan_; }

 private:
  void guessColumns() override;
  exchange::CatalogueColumns columns() const;

  works::OpenWork work_;
  size_t headerRow_ = 0;
  exchange::CataloguePlan plan_;
  bool planned_ = false;
};

// Writes the work's prices into a copy of the client's workbook `client`
// at `output`; the Spanish line that tells what happened.
QString exportCatalogue(Context& ctx, const works::OpenWork& work, const QString& client, const QString& output,
                        bool* ok);

}  // namespace velmora::ui
