// A sheet as the exchange formats read it: rows of cells, each a number or a
// text (or nothing), whatever file it came from (an xlsx workbook or a CSV).
// Rows keep only the cells that hold something, so that a far column (XFD)
// costs one cell and not sixteen thousand.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "framework/status.h"

namespace velmora::exchange {

struct Cell {
  enum class Kind { kEmpty, kNumber, kText };
  Kind kind = Kind::kEmpty;
  double number = 0;
  std::string text;      // a text cell's text; a number cell's text as it was written (CSV)
  bool formula = false;  // the cell holds a formula; without a cached value it is empty

  bool empty() const { return kind == Kind::kEmpty; }
  // A formula whose value the workbook does not carry (never calculated by
  // a spreadsheet): its value is unknown, not blank.
  bool uncalculated() const { return formula && kind == Kind::kEmpty; }
};

// The cells of one row that hold something, in column order.
class SheetRow {
 public:
  const Cell& at(size_t column) const;
  // The cell of `column`, made empty when the row has none.
  Cell& set(size_t column);
  // The last column used, plus one.
  size_t size() const { return cells_.empty() ? 0 : cells_.back().first + 1; }
  const std::vector<std::pair<size_t, Cell>>& cells() const { return cells_; }
  // Nothing in it but empty cells and blanks.
  bool blank() const;

 private:
  std::vector<std::pair<size_t, Cell>> cells_;
};

// How a number written as text marks its decimals.
enum class DecimalMark { kUnknown, kPoint, kComma };

struct SheetData {
  std::string name;
  std::vector<SheetRow> rows;  // rows[0] is the sheet's first row

  const Cell& at(size_t row, size_t column) const;
};

// A sheet whose cells hold a control character (a NUL byte, a form feed:
// never text) is refused, naming the first such cell; a line break in a
// cell is text.
Status refuseControlCharacters(const SheetData& sheet);

// What a sheet may hold at most: a supplier's list or a client's catalogue
// is far smaller; beyond these a hostile or broken file is refused rather
// than eating the station's memory.
inline constexpr size_t kMaxSheetCells = 2'000'000;

// "A" 0, "B" 1, ... "AA" 26; nothing for what is not a column's letters.
std::optional<size_t> columnIndex(const std::string& letters);
std::string columnLetters(size_t index);
// "B7": the name of a cell (0-based row and column), as the spreadsheet shows it.
std::string cellName(size_t row, size_t column);

// A header's words, upper case without accents or blanks around them, as
// column titles are recognised ("Descripción " is "DESCRIPCION").
std::string headerWords(const std::string& title);
// What a cell shows: its text, or its number written plainly.
std::string cellText(const Cell& c);

// A number as a person writes it: "1234.5", "1,234.50", "1.234,50",
// "1234,5", with an optional "$", blanks and sign. A text whose marks can
// only be read one way ("498,75", "4380.00", "1.234,50", "1,234,567") is
// read that way; one that can be read both ways ("1,234": a thousand and
// more, or one and a fraction) takes `mark`, and is no number while the
// mark is unknown (`*ambiguous` is then set).
std::optional<double> parseNumber(const std::string& text, DecimalMark mark, bool* ambiguous = nullptr);
// The decimal mark of the numbers written as text in `column` from row
// `firstRow` on (those written one way only decide); when they say nothing,
// or disagree, the mark of the whole sheet's numbers written as text; else
// kUnknown.
DecimalMark decimalMarkOf(const SheetData& sheet, size_t column, size_t firstRow);

// A cell's number: a number cell, or a text that reads as one with the
// column's `mark`. Nothing, with `why` in Spanish naming the cell at (row,
// column) and what it holds (`what`: "la cantidad"), for an empty cell, a
// text that is no number, a number whose decimal mark cannot be told, or a
// formula without a calculated value.
std::optional<double> cellNumber(const SheetData& sheet, size_t row, size_t column, DecimalMark mark,
                                 const std::string& what, std::string* why);

// "MAT-0001" or "MAT 0001": a generic key and a key in one column.
void splitKey(const std::string& text, std::string* generic, std::string* key);
// A key of at most 9 characters for another program's (or a client's)
// longer code: its first three characters and six of a digest of the whole
// code, so that the same code gets the same key at every import, and two
// codes alike in their first nine characters do not become one.
std::string shortKeyOf(const std::string& code);

// "precio=D,clave=B": each name given (as a title, "PRECIO", among `fields`)
// takes that column. False, with `why` in Spanish, for an item that is not
// name=LETTER (`example` shows one) or a name not among `fields`.
bool parseColumnMapping(const std::string& mapping,
                        const std::vector<std::pair<const char*, std::optional<size_t>*>>& fields,
                        const std::string& example, std::string* why);

}  // namespace velmora::exchange
