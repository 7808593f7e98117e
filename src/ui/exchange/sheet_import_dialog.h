// What the two spreadsheet imports share: the file and its sheet, one combo
// box per column to map (guessed from the titles), a preview table, a
// status line, and "Aplica" to write what the preview shows.
#pragma once

#include <vector>

#include <QDialog>
#include <QStringList>

#include "exchange/sheet_data.h"
#include "ui/context.h"

class QComboBox;
class QFormLayout;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;

namespace velmora::ui {

class SheetImportDialog : public QDialog {
  Q_OBJECT
 public:
  // Reads the file, guesses its columns and shows the preview.
  void setFile(const QString& path);

 protected:
  struct ColumnChoice {
    const char* caption;  // "PRECIO"
    const char* name;     // the combo box's object name
  };
  struct Layout {
    const char* procedure;  // the message context
    QString title, fileCaption, fileHint, fileFilter;
    std::vector<ColumnChoice> columns;
    const char* tableName;
    QStringList tableHeaders;
    int stretchColumn;
  };
  SheetImportDialog(Context& ctx, const Layout& layout, QWidget* parent);
  ~SheetImportDialog() override;

  // After a sheet is read: the combo boxes set to the columns guessed.
  virtual void guessColumns() = 0;
  // The plan from the sheet and the columns chosen, shown in the table.
  virtual void preview() = 0;
  virtual bool apply() = 0;

  QFormLayout* form() const { return form_; }
  QComboBox* column(const char* name) const;

  Context& ctx_;
  exchange::SheetData sheet_;
  QTableWidget* table_;
  QLabel* status_;
  QPushButton* apply_;

 private:
  void readSheet();

  const char* procedure_;
  QFormLayout* form_;
  QLineEdit* file_;
  QString readPath_;  // the file last read
  QComboBox* sheetName_;
  std::vector<QComboBox*> columns_;
};

}  // namespace velmora::ui
