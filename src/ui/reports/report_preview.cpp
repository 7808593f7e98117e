#include "ui/reports/report_preview.h"

#include "reports/xlsx_writer.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QPrinter>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QStatusBar>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>
#include <fstream>

#include "framework/text.h"
#include "reports/painter.h"

namespace velmora::ui {

const char* const kZoomEntries[7] = {"No Zoom",     "Ancho hoja",  "Zoom (50%)", "Zoom (75%)",
                                     "Zoom (100%)", "Zoom (200%)", "Zoom (300%)"};
namespace {
constexpr double kZoomFactors[7] = {0, 0, 0.5, 0.75, 1.0, 2.0, 3.0};

}  // namespace

bool printPages(reports::Spool& spool, const std::vector<size_t>& order, QPrinter& printer) {
  QPainter painter;
  bool started = false;
  for (size_t index : order) {
    const auto page = spool.read(index);
    if (!page) continue;
    if (!started) {
      if (!painter.begin(&printer)) return false;
      started = true;
    } else if (!printer.newPage()) {
      return false;
    }
    const QRectF paper = printer.pageRect(QPrinter::DevicePixel);
    paintPage(painter, *page, QRectF(0, 0, paper.width(), paper.height()));
  }
  return !started || painter.end();
}

namespace {

// Prints through Qt's print support to the named queue (CUPS on Linux).
bool printWithQt(reports::Spool& spool, const std::vector<size_t>& order, const QString& printerName) {
  QPrinter printer(QPrinter::HighResolution);
  if (!printerName.isEmpty()) printer.setPrinterName(printerName);
  if (!printer.isValid()) return false;
  return printPages(spool, order, printer);
}

}  // namespace

// ---- the page view ------------------------------------------------------------------------

void PageView::show(std::vector<std::pair<size_t, reports::Page>> pages, int across, int down, double scale) {
  pages_ = std::move(pages);
  across_ = std::max(across, 1);
  down_ = std::max(down, 1);
  scale_ = scale;
  if (scale_ > 0 && !pages_.empty()) {
    const reports::Page& p = pages_.front().second;
    setFixedSize(static_cast<int>(p.width * scale_) + 20, static_cast<int>(p.height * scale_) + 20);
  } else {
    setMinimumSize(0, 0);
    setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
  }
  update();
}

QRectF PageView::cell(int slot) const {
  if (pages_.empty()) return {};
  const reports::Page& p = pages_.front().second;
  if (scale_ > 0) return QRectF(10, 10, p.width * scale_, p.height * scale_);
  const double cw = (width() - 10.0) / across_, ch = (height() - 10.0) / down_;
  // Whole pages in each cell, keeping the page's proportions.
  const double s = std::min((cw - 10) / p.width, (ch - 10) / p.height);
  const int col = slot % across_, row = slot / across_;
  return QRectF(10 + col * cw, 10 + row * ch, p.width * s, p.height * s);
}

void PageView::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), palette().color(QPalette::Dark));
  for (size_t i = 0; i < pages_.size(); ++i) {
    const QRectF r = cell(static_cast<int>(i));
    painter.fillRect(r.translated(3, 3), Qt::black);
    reports::paintPage(painter, pages_[i].second, r);
  }
}

void PageView::mousePressEvent(QMouseEvent* event) {
  for (size_t i = 0; i < pages_.size(); ++i) {
    if (cell(static_cast<int>(i)).contains(event->position()) && clicked) {
      clicked(pages_[i].first);
      return;
    }
  }
}

// ---- the preview ------------------------------------------------------------------------------

PreviewWindow::PreviewWindow(reports::Spool& spool, Destination destination, QWidget* parent)
    : QDialog(parent), spool_(spool), destination_(std::move(destination)), marks_(spool.count(), false) {
  setObjectName("VISTA_PREVIA");
  setWindowTitle("Vista Previa");
  lastChoice_.copies = destination_.copies;
  lastChoice_.collate = destination_.collate;
  lastChoice_.reverse = destination_.reverse;
  lastChoice_.printer = destination_.printer;
  lastChoice_.to = std::max<size_t>(spool.count(), 1);
  printTo = [this](const std::vector<size_t>& order, const QString& printer) {
    return printWithQt(spool_, order, printer);
  };

  auto* layout = new QVBoxLayout(this);
  auto* bar = new QHBoxLayout;
  const auto tool = [this, bar](const char* name, const QString& tip, QStyle::StandardPixmap icon,
                                std::function<void()> action) {
    auto* b = new QToolButton;
    b->setObjectName(name);
    b->setToolTip(tip);
    b->setIcon(style()->standardIcon(icon));
    b->setIconSize(QSize(24, 24));
    connect(b, &QToolButton::clicked, this, std::move(action));
    bar->addWidget(b);
    return b;
  };
  tool("print", "Imprime el Reporte", QStyle::SP_DialogOkButton, [this] {
    OutputDialog dialog(OutputDialog::Kind::kPrint, count(), markedCount(), lastChoice_, this);
    if (dialog.exec() != QDialog::Accepted) return;
    lastChoice_ = dialog.choice();
    if (print(lastChoice_)) done(kPrinted);
  });
  tool("exit", "Sale sin Imprimir", QStyle::SP_DialogCloseButton, [this] { done(kLeft); });
  tool("goto", "Pasa a hoja ??", QStyle::SP_FileDialogContentsView, [this] {
    QDialog ask(this);
    ask.setWindowTitle("Seleccione Hoja a Mostrar");
    auto* form = new QFormLayout(&ask);
    auto* page = new QLineEdit(QString::number(current_));
    form->addRow("Hoja:", page);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    buttons->button(QDialogButtonBox::Cancel)->setText("Cancela");
    connect(buttons, &QDialogButtonBox::accepted, &ask, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, &ask, &QDialog::reject);
    form->addRow(buttons);
    if (ask.exec() == QDialog::Accepted) goTo(static_cast<size_t>(std::max(page->text().toInt(), 1)));
  });
  tool("first", "Va al Inicio", QStyle::SP_MediaSkipBackward, [this] { first(); });
  tool("previous", "Hoja Anterior", QStyle::SP_MediaSeekBackward, [this] { previous(); });
  tool("next", "Siguiente Hoja", QStyle::SP_MediaSeekForward, [this] { next(); });
  tool("last", "Va al final", QStyle::SP_MediaSkipForward, [this] { last(); });
  tool("printPage", "Imprime la pantalla", QStyle::SP_FileIcon, [this] { printCurrentPage(); });
  tool("grid", "Muestra hojas", QStyle::SP_FileDialogListView, [this] {
    QDialog ask(this);
    ask.setWindowTitle("Hojas a Mostrar");
    auto* form = new QFormLayout(&ask);
    auto* across = new QLineEdit(QString::number(across_));
    auto* down = new QLineEdit(QString::number(down_));
    form->addRow("Horizontal", across);
    form->addRow("Vertical", down);
    auto* ok = new QDialogButtonBox(QDialogButtonBox::Ok);
    connect(ok, &QDialogButtonBox::accepted, &ask, &QDialog::accept);
    form->addRow(ok);
    if (ask.exec() == QDialog::Accepted) setGrid(across->text().toInt(), down->text().toInt());
  });
  tool("savePage", "Guarda la pantalla en archivo", QStyle::SP_DialogSaveButton, [this] {
    const QString file = QFileDialog::getSaveFileName(this, "Guarda la pantalla en archivo", "hoja.txt",
                                                      "Text File (*.txt *.TXT);;Imagen PNG (*.png);;All Files (*)");
    if (!file.isEmpty()) saveCurrentPage(file);
  });
  tool("saveText", "Guarda reporte en archivo", QStyle::SP_DriveFDIcon, [this] {
    OutputDialog dialog(OutputDialog::Kind::kSave, count(), markedCount(), lastChoice_, this);
    if (dialog.exec() == QDialog::Accepted) saveText(dialog.choice());
  });
  tool("savePdf", "Guarda reporte en PDF", QStyle::SP_FileDialogDetailedView, [this] {
    OutputChoice initial = lastChoice_;
    initial.file = "reporte.pdf";
    OutputDialog dialog(OutputDialog::Kind::kSave, count(), markedCount(), initial, this);
    if (dialog.exec() == QDialog::Accepted) savePdf(dialog.choice());
  });
  if (spool_.sheet() && !spool_.sheet()->rows.empty()) {
    // The reports that have a table also go to a spreadsheet.
    tool("saveXlsx", "Guarda en hoja de cálculo (xlsx)", QStyle::SP_FileDialogListView, [this] {
      const QString file =
          QFileDialog::getSaveFileName(this, "Guarda en hoja de cálculo", "reporte.xlsx", "Hoja de cálculo (*.xlsx)");
      if (!file.isEmpty() && !saveXlsx(file)) {
        QMessageBox::warning(this, "Hoja de cálculo", "No se pudo guardar la hoja de cálculo en " + file);
      }
    });
  }
  zoomList_ = new QComboBox;
  zoomList_->setObjectName("zoom");
  zoomList_->setToolTip("Zoom Control");
  for (const char* e : kZoomEntries) zoomList_->addItem(e);
  connect(zoomList_, &QComboBox::activated, this, [this](int i) { setZoom(i); });
  bar->addWidget(zoomList_);
  tool("remove", "Quita Hoja", QStyle::SP_TrashIcon, [this] { removeCurrentPage(); });
  tool("mark", "Mark Page", QStyle::SP_DialogApplyButton, [this] { toggleMark(); });
  bar->addStretch();
  layout->addLayout(bar);

  scroll_ = new QScrollArea;
  scroll_->setWidgetResizable(true);
  view_ = new PageView;
  view_->setObjectName("pages");
  view_->clicked = [this](size_t index) {
    // A page of the grid becomes the current one, at page width; a click on
    // a zoomed page goes back to whole pages.
    if (zoom_ == kNoZoom) {
      current_ = index + 1;
      setZoom(kPageWidth);
    } else {
      setZoom(kNoZoom);
    }
  };
  scroll_->setWidget(view_);
  layout->addWidget(scroll_, 1);
  auto* status = new QHBoxLayout;
  for (int z = 0; z < 5; ++z) {
    zones_[z] = new QLabel;
    zones_[z]->setObjectName(QString("zone%1").arg(z + 1));
    zones_[z]->setFrameShape(QFrame::StyledPanel);
    status->addWidget(zones_[z], z == 4 ? 2 : 1);
  }
  layout->addLayout(status);
  resize(900, 760);
  refresh();
}

QToolButton* PreviewWindow::button(const char* name) const { return findChild<QToolButton*>(name); }

size_t PreviewWindow::markedCount() const {
  return static_cast<size_t>(std::count(marks_.begin(), marks_.end(), true));
}

size_t PreviewWindow::shownCount() const {
  return zoom_ == kNoZoom ? static_cast<size_t>(across_) * static_cast<size_t>(down_) : 1;
}

void PreviewWindow::goTo(size_t page) {
  if (count() == 0) return;
  current_ = std::clamp<size_t>(page, 1, count());
  refresh();
}

void PreviewWindow::previous() {
  if (current_ > 1) goTo(current_ - 1);
}

void PreviewWindow::next() {
  const size_t lastShown = current_ + shownCount() - 1;
  if (lastShown < count()) goTo(current_ + 1);
}

void PreviewWindow::setGrid(int across, int down) {
  across_ = std::clamp(across, 1, 8);
  down_ = std::clamp(down, 1, 8);
  zoom_ = kNoZoom;  // afterwards whole pages in the grid
  refresh();
}

void PreviewWindow::setZoom(int entry) {
  zoom_ = std::clamp(entry, 0, 6);
  refresh();
}

void PreviewWindow::toggleMark() {
  if (count() == 0 || shownCount() > 1) return;
  marks_[current_ - 1] = !marks_[current_ - 1];
  refresh();
}

void PreviewWindow::removeCurrentPage() {
  if (count() == 0 || shownCount() > 1) return;
  if (!spool_.remove(current_ - 1)) return;
  marks_.erase(marks_.begin() + static_cast<std::ptrdiff_t>(current_ - 1));
  if (current_ > 1) --current_;
  if (current_ > count()) current_ = std::max<size_t>(count(), 1);
  refresh();
}

std::vector<size_t> PreviewWindow::selection(const OutputChoice& c) const {
  return reports::selectPages(count(), marks_, c.set, c.from, c.to);
}

bool PreviewWindow::print(const OutputChoice& choice) {
  const auto order = reports::printOrder(selection(choice), choice.copies, choice.collate, choice.reverse);
  return !order.empty() && printTo(order, choice.printer);
}

bool PreviewWindow::printCurrentPage() {
  if (count() == 0 || shownCount() > 1) return false;
  return printTo({current_ - 1}, lastChoice_.printer);
}

bool PreviewWindow::saveText(const OutputChoice& choice) {
  return reports::writeText(spool_, selection(choice), choice.file.toStdString()).isOk();
}

bool PreviewWindow::savePdf(const OutputChoice& choice) {
  return reports::writePdf(spool_, selection(choice), choice.file.toStdString()).isOk();
}

bool PreviewWindow::saveXlsx(const QString& file) {
  return spool_.sheet() && reports::writeXlsx(*spool_.sheet(), file.toStdString()).isOk();
}

bool PreviewWindow::saveCurrentPage(const QString& file) {
  if (count() == 0 || shownCount() > 1) return false;
  const auto page = spool_.read(current_ - 1);
  if (!page) return false;
  if (file.endsWith(".png", Qt::CaseInsensitive)) {
    QImage image(static_cast<int>(page->width * 100 / 72), static_cast<int>(page->height * 100 / 72),
                 QImage::Format_RGB32);
    {
      QPainter painter(&image);
      reports::paintPage(painter, *page, QRectF(0, 0, image.width(), image.height()));
    }
    return image.save(file, "PNG");
  }
  std::ofstream out(file.toStdString(), std::ios::binary | std::ios::trunc);
  out << reports::pageAsText(*page) << "\n";
  return static_cast<bool>(out);
}

// "Ancho hoja" follows the width of the window.
void PreviewWindow::resizeEvent(QResizeEvent* event) {
  QDialog::resizeEvent(event);
  if (zoom_ == kPageWidth) refresh();
}

void PreviewWindow::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (zoom_ == kPageWidth) refresh();
}

QString PreviewWindow::statusText(int zone) const { return zones_[zone - 1]->text(); }

void PreviewWindow::keyPressEvent(QKeyEvent* event) {
  switch (event->key()) {
    case Qt::Key_PageUp: previous(); return;
    case Qt::Key_PageDown: next(); return;
    case Qt::Key_Left: scroll_->horizontalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepSub); return;
    case Qt::Key_Right: scroll_->horizontalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepAdd); return;
    case Qt::Key_Up: scroll_->verticalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepSub); return;
    case Qt::Key_Down: scroll_->verticalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepAdd); return;
    default: QDialog::keyPressEvent(event);
  }
}

void PreviewWindow::refresh() {
  const size_t n = count();
  const size_t shown = shownCount();
  std::vector<std::pair<size_t, reports::Page>> pages;
  for (size_t i = current_; i < current_ + shown && i <= n; ++i) {
    if (auto p = spool_.read(i - 1)) pages.emplace_back(i - 1, std::move(*p));
  }
  double scale = kZoomFactors[zoom_] * logicalDpiX() / 72.0;
  if (zoom_ == kPageWidth && !pages.empty()) scale = (scroll_->viewport()->width() - 40.0) / pages.front().second.width;
  view_->show(std::move(pages), zoom_ == kNoZoom ? across_ : 1, zoom_ == kNoZoom ? down_ : 1,
              zoom_ == kNoZoom ? 0 : scale);
  scroll_->setWidgetResizable(zoom_ == kNoZoom);
  zoomList_->setCurrentIndex(zoom_);

  // Buttons: the previous ones off on page 1, next off when page N shows;
  // the one-page actions off while more than one page shows.
  const size_t lastShown = std::min(current_ + shown - 1, n);
  button("first")->setEnabled(current_ > 1);
  button("previous")->setEnabled(current_ > 1);
  button("next")->setEnabled(lastShown < n);
  button("last")->setEnabled(lastShown < n);
  const bool onePage = shown == 1 && n > 0;
  for (const char* b : {"printPage", "savePage", "remove", "mark"}) button(b)->setEnabled(onePage);
  const bool isMarked = marked(current_);
  button("mark")->setToolTip(isMarked ? "Unmark Page" : "Mark Page");
  button("mark")->setIcon(
      style()->standardIcon(isMarked ? QStyle::SP_DialogCancelButton : QStyle::SP_DialogApplyButton));

  zones_[1]->setText(kZoomEntries[zoom_]);
  zones_[3]->setText(isMarked && onePage ? "Marked" : "");
  zones_[4]->setText(QString::fromStdString(reports::positionText(current_, shown, n)));
}

}  // namespace velmora::ui
