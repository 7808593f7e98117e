// Changing the values of some cells of a workbook the user brought (a
// client's catalogue), keeping everything else of it: the new workbook has
// every other part's bytes as they were, and in the sheet only the XML of
// the changed cells differs. Cells holding a formula are never overwritten.
// The workbook is marked to recalculate on opening, so that its own
// formulas follow the new values.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "framework/status.h"

namespace velmora::exchange {

struct CellValue {
  size_t row = 0, column = 0;  // 0-based: A1 is (0, 0)
  bool isText = false;
  double number = 0;
  std::string text;
};

// The scratch folder beside an output while it is written.
inline constexpr const char* kExportScratchPrefix = ".velmora-exporta-";

// Writes `output` (whole, or not at all) from `workbook` with `values` set
// in sheet `sheet` (the first when empty). `skipped` gets the references of
// the cells left alone because they hold a formula ("F5").
Status writeCellValues(const std::filesystem::path& workbook, const std::string& sheet,
                       const std::vector<CellValue>& values, const std::filesystem::path& output,
                       std::vector<std::string>* skipped);

}  // namespace velmora::exchange
