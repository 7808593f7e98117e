// Reading an xlsx workbook: its sheets' names and one sheet's cells, from
// the zip archive (libzip) and its XML parts (pugixml). Shared strings,
// inline strings, numbers (dates are numbers: serial days) and the cached
// values of formulas are read; styles are not needed.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "exchange/sheet_data.h"
#include "framework/status.h"

namespace velmora::exchange {

// The names of the workbook's sheets, in their order.
Status readSheetNames(const std::filesystem::path& workbook, std::vector<std::string>* names);
// The sheet called `name` (the first sheet when empty).
Status readSheet(const std::filesystem::path& workbook, const std::string& name, SheetData* sheet);

// A spreadsheet's serial date (1 is 1 January 1900, with its famous 29
// February 1900) as our day number (1 is 1 January 1900); 0 when it is not
// a date from 1900 to 9999.
int32_t dayFromSerial(double serial);

}  // namespace velmora::exchange
