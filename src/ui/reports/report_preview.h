// "Vista Previa": the pages of a report run, with navigation, the zoom list,
// the page grid, marks, removing pages, printing all or some of them,
// printing or saving the current page, and saving pages as text or PDF.
// Every page is drawn by the one painter of the reports.
#pragma once

#include <QDialog>
#include <QWidget>
#include <functional>
#include <vector>

#include "reports/page.h"
#include "ui/reports/report_dialogs.h"

class QComboBox;
class QLabel;
class QPrinter;
class QScrollArea;
class QToolButton;

namespace velmora::ui {

// Prints the pages of `order` (print order, repeated pages included) on
// `printer`, one sheet each; false when the printer refused.
bool printPages(reports::Spool& spool, const std::vector<size_t>& order, QPrinter& printer);

// The zoom entries of "Zoom Control", in list order.
inline constexpr int kNoZoom = 0, kPageWidth = 1;
extern const char* const kZoomEntries[7];

class PageView : public QWidget {
  Q_OBJECT
 public:
  explicit PageView(QWidget* parent = nullptr) : QWidget(parent) {}
  // The pages shown (one, or a grid), each with its 0-based index.
  void show(std::vector<std::pair<size_t, reports::Page>> pages, int across, int down, double scale);
  std::function<void(size_t index)> clicked;

 protected:
  void paintEvent(QPaintEvent*) override;
  void mousePressEvent(QMouseEvent* event) override;

 private:
  QRectF cell(int slot) const;
  std::vector<std::pair<size_t, reports::Page>> pages_;
  int across_ = 1, down_ = 1;
  double scale_ = 0;  // 0: fit the grid to the widget
};

class PreviewWindow : public QDialog {
  Q_OBJECT
 public:
  enum Result { kPrinted = 1, kLeft = 2 };
  // `printTo` prints the listed pages (print order) to the named printer;
  // by default through QPrinter. Tests hand in their own.
  using PrintFunction = std::function<bool(const std::vector<size_t>& order, const QString& printer)>;
  PreviewWindow(reports::Spool& spool, Destination destination, QWidget* parent = nullptr);

  // State and actions, as the buttons and keys reach them.
  size_t current() const { return current_; }  // 1-based
  size_t count() const { return spool_.count(); }
  void goTo(size_t page);
  void first() { goTo(1); }
  void previous();
  void next();
  void last() { goTo(count()); }
  void setGrid(int across, int down);
  void setZoom(int entry);
  int zoom() const { return zoom_; }
  void toggleMark();
  bool marked(size_t page) const { return page >= 1 && page <= marks_.size() && marks_[page - 1]; }
  size_t markedCount() const;
  void removeCurrentPage();
  // The print button, with the choice of "Opciones de Impresión".
  bool print(const OutputChoice& choice);
  bool printCurrentPage();
  bool saveText(const OutputChoice& choice);
  bool savePdf(const OutputChoice& choice);
  // The report's table as an xlsx workbook (reports that have one).
  bool saveXlsx(const QString& file);
  // "Guarda la pantalla en archivo": the current page as text (.txt) or a picture (.png).
  bool saveCurrentPage(const QString& file);

  QString statusText(int zone) const;  // zones 2 (zoom), 4 (mark), 5 (position)
  QToolButton* button(const char* name) const;
  PrintFunction printTo;

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  void refresh();
  size_t shownCount() const;
  std::vector<size_t> selection(const OutputChoice& choice) const;

  reports::Spool& spool_;
  Destination destination_;
  std::vector<bool> marks_;
  size_t current_ = 1;
  int across_ = 1, down_ = 1;
  int zoom_ = kNoZoom;
  OutputChoice lastChoice_;
  PageView* view_;
  QScrollArea* scroll_;
  QComboBox* zoomList_;
  QLabel* zones_[5];
};

}  // namespace velmora::ui
