// The small windows around a report run: where it goes ("Destino del
// Reporte"), what to print ("Opciones de Impresión"), what to save
// ("Grabando en Archivo"), which page to show and how many at once, the
// progress window "Avance ...", and the options dialogs REDIR to REDIR4.
#pragma once

#include <QDialog>
#include <QString>
#include <functional>
#include <optional>
#include <string>

#include "reports/options.h"
#include "reports/page.h"

class QButtonGroup;
class QCheckBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QRadioButton;

namespace velmora::ui {

// "Destino del Reporte": view or print, copies, collate, reverse, printer.
struct Destination {
  bool view = true;
  int copies = 1;
  bool collate = false;
  bool reverse = false;
  QString printer;
};
class DestinationDialog : public QDialog {
  Q_OBJECT
 public:
  explicit DestinationDialog(QWidget* parent = nullptr);
  Destination destination() const;

 private:
  QRadioButton* view_;
  QLineEdit* copies_;
  QCheckBox* collate_;
  QCheckBox* reverse_;
  QLabel* printer_;
};

// What an output takes: the page set, the range, and for printing the
// copies, collate and order.
struct OutputChoice {
  reports::PageSet set = reports::PageSet::kAll;
  size_t from = 1, to = 1;
  int copies = 1;
  bool collate = false;
  bool reverse = false;
  QString printer;
  QString file;
};

// "Opciones de Impresión" (printing) and "Grabando en Archivo" (saving):
// the page set with "Desde:"/"Hasta:" enabled only for a range, the marked
// and unmarked sets only while a page is marked.
class OutputDialog : public QDialog {
  Q_OBJECT
 public:
  enum class Kind { kPrint, kSave };
  OutputDialog(Kind kind, size_t pageCount, size_t markedCount, OutputChoice initial, QWidget* parent = nullptr);
  OutputChoice choice() const;
  QRadioButton* setButton(reports::PageSet set) const;
  QLineEdit* fromEntry() const { return from_; }
  QLineEdit* toEntry() const { return to_; }
  QLineEdit* fileEntry() const { return file_; }

 private:
  void enableRange();
  Kind kind_;
  size_t count_;
  QButtonGroup* sets_;
  QLineEdit* from_;
  QLineEdit* to_;
  QLineEdit* copies_ = nullptr;
  QCheckBox* collate_ = nullptr;
  QCheckBox* reverse_ = nullptr;
  QLabel* printer_ = nullptr;
  QLineEdit* file_ = nullptr;
};

// "Avance ...": the percentage of a long run and "Cancela".
class ProgressWindow : public QDialog {
  Q_OBJECT
 public:
  explicit ProgressWindow(QWidget* parent = nullptr);
  // Shows done / total; false once the user pressed "Cancela".
  bool advance(size_t done, size_t total);
  bool cancelled() const { return cancelled_; }

 private:
  QProgressBar* bar_;
  bool cancelled_ = false;
};

using reports::ReportOptions;

// The range text of REDIR: " DESDE EL <first>" and " AL <last>", each only
// when its date is set; with neither the previous text stays.
std::string rangeText(int32_t firstDate, int32_t lastDate, const std::string& previous);

// REDIR, REDIR2, REDIR3, REDIR4 ("Opciones del Reporte"), OK only. The
// lookups are handed in: each returns the picked account, or nothing.
class OptionsDialog : public QDialog {
  Q_OBJECT
 public:
  enum class Kind { kInputs, kConcepts, kMachines, kWork };  // REDIR, REDIR2, REDIR3, REDIR4
  using Lookup = std::function<std::optional<int32_t>()>;
  // `exists` says whether a typed account is in the listed table.
  OptionsDialog(Kind kind, ReportOptions& options, std::function<bool(int32_t)> exists, Lookup lookup,
                QWidget* parent = nullptr);
  void accept() override;
  QLineEdit* entry(const char* name) const;
  // REDIR's generic key: the code accepted (typed or picked), or nothing.
  std::function<std::optional<std::string>(const std::string& typed)> checkKey;

 private:
  bool checkAccount(QLineEdit* entry);
  Kind kind_;
  ReportOptions& options_;
  std::function<bool(int32_t)> exists_;
  Lookup lookup_;
};

}  // namespace velmora::ui
