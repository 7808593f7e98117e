// Reading a CSV file as suppliers send them: a comma, semicolon or tab
// between fields (the one the first line uses most), fields in double
// quotes, UTF-8 or Windows-1252 (told by whether the bytes are valid
// UTF-8), and numbers with a decimal point or a decimal comma.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "exchange/sheet_data.h"
#include "framework/status.h"

namespace velmora::exchange {

// Every field a text cell (numbers are told by parseNumber, as the column
// they are in says); `decimalComma` says the file's custom.
Status readCsv(const std::filesystem::path& file, SheetData* sheet);

// A number as a person writes it: "1234.5", "1,234.50", "1.234,50",
// "1234,5", with an optional "$", blanks and sign; nothing otherwise. With
// both marks the one written last is the decimal one; with one, a comma is
// decimal where the file writes decimal commas (one separated by semicolons
// or tabs), else a point is.
std::optional<double> parseNumber(const std::string& text, bool decimalComma);

}  // namespace velmora::exchange
