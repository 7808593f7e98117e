// Sheet: the table of a report as a spreadsheet takes it: the same rows the
// pages print, with numbers kept as numbers, and totals that a spreadsheet
// computes again from the cells above them. A layout fills it alongside its
// pages when the spool carries one.
#pragma once

#include <string>
#include <variant>
#include <vector>

namespace velmora::reports {

struct SheetColumn {
  std::string title;
  double width = 12;  // in characters
  int decimals = -1;  // -1: a text column; else a number shown with these decimals
};

using SheetCell = std::variant<std::monostate, std::string, double>;

struct SheetRow {
  std::vector<SheetCell> cells;
  // A total: in each of `sums` a SUBTOTAL formula over the rows since the
  // group began (or, for a grand total, over every row above), which leaves
  // out the totals inside it. The cell holds the value the report printed,
  // the result the formula must give.
  bool total = false;
  bool grand = false;
  bool startsGroup = false;  // a section title: the next total sums from here
  std::vector<int> sums;
};

struct Sheet {
  std::string name = "Reporte";      // the worksheet's name
  std::vector<std::string> heading;  // lines above the column titles
  std::vector<SheetColumn> columns;
  std::vector<SheetRow> rows;

  void add(std::vector<SheetCell> cells, bool startsGroup = false) {
    rows.push_back({std::move(cells), false, false, startsGroup, {}});
  }
  void addTotal(std::vector<SheetCell> cells, std::vector<int> sums, bool grand = false) {
    rows.push_back({std::move(cells), true, grand, false, std::move(sums)});
  }
};

}  // namespace velmora::reports
