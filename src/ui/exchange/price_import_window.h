// IMPORTA_PRECIOS, "Importando una Lista de Precios": a supplier's list (an
// xlsx workbook or a CSV) into one price list of the base inputs. The user
// chooses the file and the sheet, maps the columns (guessed from the
// titles), sees every change in the preview and applies it, all or nothing.
#pragma once

#include "exchange/price_import.h"
#include "ui/exchange/sheet_import_dialog.h"

class QLineEdit;
class QSpinBox;

namespace velmora::ui {

class PriceImportWindow : public SheetImportDialog {
  Q_OBJECT
 public:
  explicit PriceImportWindow(Context& ctx, QWidget* parent = nullptr);
  void preview() override;
  bool apply() override;
  const exchange::PricePlan& plan() const { return plan_; }

 private:
  void guessColumns() override;
  exchange::PriceColumns columns() const;

  QSpinBox* list_;
  QLineEdit* date_;
  size_t headerRows_ = 1;
  exchange::PricePlan plan_;
  bool planned_ = false;
};

}  // namespace velmora::ui
