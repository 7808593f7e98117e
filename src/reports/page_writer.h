// PageWriter: lays rows out down the pages of a report, starting a new page
// (with its header) when a row does not fit, and hands each finished page to
// the spool, so that only one page is ever held in memory.
#pragma once

#include <functional>
#include <string>

#include "reports/page.h"

namespace velmora::reports {

class PageWriter {
 public:
  // `header` draws the heading of a new page from its top and returns the
  // height it used.
  PageWriter(Spool& spool, std::function<double(Page&)> header, double top = 30, double bottom = 750,
             double width = 612, double height = 792);

  // A band of `height` points: on this page if it fits, on a new one if not.
  void band(double height);
  // Texts of the band last asked for.
  void text(double x, double width, std::string s, Align align = Align::kLeft, double size = 7, bool bold = false);
  void rule(double x1 = 30, double x2 = 582);
  // The next band starts a new page (with the header as it stands then).
  void breakPage() { y_ = bottom_ + 1; }
  // Ends the last page; the first failure of the spool, if any.
  Status finish();
  size_t pages() const { return spool_.count() + (open_ ? 1 : 0); }

 private:
  void newPage();
  Spool& spool_;
  std::function<double(Page&)> header_;
  double top_, bottom_, width_, height_;
  Page page_;
  bool open_ = false;
  double y_ = 0, bandTop_ = 0;
  Status status_;
};

}  // namespace velmora::reports
