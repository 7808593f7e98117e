// Writes a report's Sheet as an xlsx workbook: numbers as numeric cells with
// the report's decimals, totals as formulas, the heading and column titles
// frozen above the rows, column widths set.
#pragma once

#include <filesystem>

#include "framework/status.h"
#include "reports/sheet.h"

namespace velmora::reports {

Status writeXlsx(const Sheet& sheet, const std::filesystem::path& file);

}  // namespace velmora::reports
