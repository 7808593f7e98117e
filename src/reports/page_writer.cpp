#include "reports/page_writer.h"

namespace velmora::reports {

PageWriter::PageWriter(Spool& spool, std::function<double(Page&)> header, double top, double bottom, double width,
                       double height)
    : spool_(spool), header_(std::move(header)), top_(top), bottom_(bottom), width_(width), height_(height) {}

void PageWriter::newPage() {
  if (open_ && status_) status_ = spool_.add(page_);
  const size_t lastTexts = page_.texts.size();
  page_ = Page{};
  page_.texts.reserve(lastTexts);  // pages of a report hold about as many texts each
  page_.width = width_;
  page_.height = height_;
  open_ = true;
  y_ = top_;
  if (header_) y_ += header_(page_);
}

void PageWriter::band(double height) {
  if (!open_ || y_ + height > bottom_) newPage();
  bandTop_ = y_;
  y_ += height;
}

void PageWriter::text(double x, double width, std::string s, Align align, double size, bool bold) {
  TextItem t;
  t.x = x;
  t.y = bandTop_;
  t.width = width;
  t.text = std::move(s);
  t.align = align;
  t.font.size = size;
  t.font.bold = bold;
  page_.texts.push_back(std::move(t));
}

void PageWriter::rule(double x1, double x2) { page_.lines.push_back({x1, bandTop_ + 1, x2, bandTop_ + 1, 0.5}); }

Status PageWriter::finish() {
  if (!open_) newPage();  // an empty report still has its page and header
  if (status_) status_ = spool_.add(page_);
  open_ = false;
  return status_;
}

}  // namespace velmora::reports
