#include "reports/report_header.h"

#include "framework/picture.h"

namespace velmora::reports {

void putText(Page& page, double x, double y, double width, const std::string& s, Align align, double size, bool bold) {
  TextItem t;
  t.x = x;
  t.y = y;
  t.width = width;
  t.text = s;
  t.align = align;
  t.font.size = size;
  t.font.bold = bold;
  page.texts.push_back(std::move(t));
}

double drawHeading(Page& page, const Heading& h) {
  const double width = h.right - h.left;
  putText(page, h.left, 30, width, h.company, Align::kCenter, 11, true);
  double y = 46;
  for (size_t i = 0; i < h.lines.size(); ++i, y += 12)
    putText(page, h.left, y, width, h.lines[i], Align::kCenter, i == 0 ? 9 : 8, i == 0);
  y += 2;
  putText(page, h.left, y, 150, picture::formatDate(h.today), Align::kLeft, 7, false);
  putText(page, h.right - 150, y, 150, kPagePlaceholder, Align::kRight, 7, false);
  y += 16;
  for (const ColumnHead& c : h.columns) putText(page, c.x, y, c.width, c.caption, c.align, 7, true);
  page.lines.push_back({h.left, y + 11, h.right, y + 11, 0.5});
  return y + 14 - 30;  // the writer starts at the top margin of 30
}

}  // namespace velmora::reports
