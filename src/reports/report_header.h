// The heading every report page opens with: the company, the report's title
// lines, the date and the page number, and the column heads over a rule.
#pragma once

#include <string>
#include <vector>

#include "reports/page.h"

namespace velmora::reports {

struct ColumnHead {
  double x;
  double width;
  std::string caption;
  Align align = Align::kLeft;
};

struct Heading {
  std::string company;
  std::vector<std::string> lines;  // the report's own title lines, centred
  int32_t today = 0;
  double left = 30, right = 582;
  std::vector<ColumnHead> columns;
};

// Draws the heading on `page` from its top; returns where the rows start.
double drawHeading(Page& page, const Heading& heading);

// Puts a text at (x, y) with width and alignment on `page`.
void putText(Page& page, double x, double y, double width, const std::string& s, Align align = Align::kLeft,
             double size = 7, bool bold = false);

}  // namespace velmora::reports
