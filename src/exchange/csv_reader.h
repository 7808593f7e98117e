// Reading a CSV file as suppliers send them: a comma, semicolon or tab
// between fields (the one the first line uses most), fields in double
// quotes, UTF-8 or Windows-1252 (told by whether the bytes are valid
// UTF-8). Numbers stay texts: their decimal mark is told by their column
// (decimalMarkOf), never by the separator.
#pragma once

#include <filesystem>

#include "exchange/sheet_data.h"
#include "framework/status.h"

namespace velmora::exchange {

// Every field a text cell; an empty field no cell. More than
// kMaxSheetCells fields refuse the file.
Status readCsv(const std::filesystem::path& file, SheetData* sheet);

}  // namespace velmora::exchange
