#include "reports/painter.h"

#include <QFont>
#include <QFontMetricsF>
#include <QImage>
#include <QPageLayout>
#include <QPageSize>
#include <QPaintDevice>
#include <QPainter>
#include <QPdfWriter>

namespace velmora::reports {

namespace fs = std::filesystem;

void paintPage(QPainter& painter, const Page& page, const QRectF& target) {
  painter.save();
  painter.translate(target.topLeft());
  painter.scale(target.width() / page.width, target.height() / page.height);
  painter.setRenderHint(QPainter::Antialiasing, true);
  painter.setRenderHint(QPainter::TextAntialiasing, true);
  painter.fillRect(QRectF(0, 0, page.width, page.height), Qt::white);
  for (const BoxItem& b : page.boxes) {
    const QRectF r(b.x, b.y, b.width, b.height);
    if (b.fill != 0) painter.fillRect(r, QColor::fromRgb(b.fill));
    if (b.pen > 0) {
      painter.setPen(QPen(Qt::black, b.pen));
      painter.drawRect(r);
    }
  }
  for (const ImageItem& i : page.images) {
    const QImage image(QString::fromStdString(i.file));
    if (!image.isNull()) painter.drawImage(QRectF(i.x, i.y, i.width, i.height), image);
  }
  for (const LineItem& l : page.lines) {
    painter.setPen(QPen(Qt::black, l.pen));
    painter.drawLine(QPointF(l.x1, l.y1), QPointF(l.x2, l.y2));
  }
  painter.setPen(Qt::black);
  for (const TextItem& t : page.texts) {
    QFont font(QString::fromStdString(t.font.family));
    // Sizes are in page points; the device turns points into its own pixels
    // before the page's scale applies, so undo its resolution here.
    font.setPointSizeF(t.font.size * 72.0 / painter.device()->logicalDpiY());
    font.setBold(t.font.bold);
    font.setItalic(t.font.italic);
    painter.setFont(font);
    const QString s = QString::fromStdString(t.text);
    const double height = QFontMetricsF(font, painter.device()).height() * 1.2;
    const double width = t.width > 0 ? t.width : page.width - t.x;
    const Qt::Alignment align = t.align == Align::kRight    ? Qt::AlignRight
                                : t.align == Align::kCenter ? Qt::AlignHCenter
                                                            : Qt::AlignLeft;
    painter.save();
    painter.setClipRect(QRectF(t.x, t.y, width, height));  // cut at the text's width
    painter.drawText(QRectF(t.x, t.y, width, height), align | Qt::AlignTop | Qt::TextSingleLine, s);
    painter.restore();
  }
  painter.restore();
}

Status writePdf(const Spool& spool, const std::vector<size_t>& pages, const fs::path& file) {
  const fs::path partial = file.string() + ".parcial";
  {
    QPdfWriter writer(QString::fromStdString(partial.string()));
    writer.setCreator("Velmora");
    writer.setResolution(72);
    QPainter painter;
    bool started = false;
    for (size_t index : pages) {
      const auto page = spool.read(index);
      if (!page) continue;
      const QPageSize size(QSizeF(page->width, page->height), QPageSize::Point, QString(), QPageSize::ExactMatch);
      writer.setPageLayout(QPageLayout(
          size, page->width > page->height ? QPageLayout::Landscape : QPageLayout::Portrait, QMarginsF(0, 0, 0, 0)));
      if (!started) {
        if (!painter.begin(&writer)) return Status::error(Status::Code::kIoError, "no se pudo crear " + file.string());
        started = true;
      } else {
        writer.newPage();
      }
      paintPage(painter, *page, QRectF(0, 0, writer.width(), writer.height()));
    }
    if (started) painter.end();
  }
  std::error_code ec;
  fs::rename(partial, file, ec);
  if (ec) return Status::error(Status::Code::kIoError, "no se pudo escribir " + file.string());
  return Status::ok();
}

Status writePng(const Spool& spool, const std::vector<size_t>& pages, const fs::path& dir, int dpi) {
  std::error_code ec;
  fs::create_directories(dir, ec);
  for (size_t index : pages) {
    const auto page = spool.read(index);
    if (!page) continue;
    QImage image(static_cast<int>(page->width * dpi / 72), static_cast<int>(page->height * dpi / 72),
                 QImage::Format_RGB32);
    image.setDotsPerMeterX(static_cast<int>(dpi / 0.0254));
    image.setDotsPerMeterY(static_cast<int>(dpi / 0.0254));
    {
      QPainter painter(&image);
      paintPage(painter, *page, QRectF(0, 0, image.width(), image.height()));
    }
    const fs::path out = dir / ("hoja-" + std::to_string(index + 1) + ".png");
    if (!image.save(QString::fromStdString(out.string()), "PNG"))
      return Status::error(Status::Code::kIoError, "no se pudo escribir " + out.string());
  }
  return Status::ok();
}

}  // namespace velmora::reports
