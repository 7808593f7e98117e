// IMPORTA_PRECIOS, "Importando una Lista de Precios": a supplier's list (an
// xlsx workbook or a CSV) into one price list of the base inputs. The user
// chooses the file and the sheet, maps the columns (guessed from the
// titles), sees every change in the preview and applies it, all or nothing.
#pragma once

#include <QDialog>

#include "exchange/price_import.h"
#include "ui/context.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QTableWidget;

namespace velmora::ui {

class PriceImportWindow : public QDialog {
  Q_OBJECT
 public:
  explicit PriceImportWindow(Context& ctx, QWidget* parent = nullptr);
  // Reads the file, guesses its columns and shows the preview.
  void setFile(const QString& path);
  void preview();
  bool apply();
  const exchange::PricePlan& plan() const { return plan_; }

 private:
  void chooseFile();
  void readSheet();
  exchange::PriceColumns columns() const;

  Context& ctx_;
  QLineEdit* file_;
  QComboBox* sheetName_;
  QSpinBox* list_;
  QLineEdit* date_;
  QComboBox *account_, *genericKey_, *key_, *price_, *priceDate_;
  QTableWidget* changes_;
  QLabel* status_;
  QPushButton* apply_;
  exchange::SheetData sheet_;
  size_t headerRows_ = 1;
  exchange::PricePlan plan_;
  bool planned_ = false;
};

}  // namespace velmora::ui
