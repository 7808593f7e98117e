// A sheet as the exchange formats read it: rows of cells, each a number or a
// text (or nothing), whatever file it came from (an xlsx workbook or a CSV).
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "framework/status.h"

namespace velmora::exchange {

struct Cell {
  enum class Kind { kEmpty, kNumber, kText };
  Kind kind = Kind::kEmpty;
  double number = 0;
  std::string text;  // a text cell's text; a number cell's text as it was written (CSV)

  bool empty() const { return kind == Kind::kEmpty; }
};

struct SheetData {
  std::string name;
  bool decimalComma = false;            // a CSV whose numbers are written "1.234,50"
  std::vector<std::vector<Cell>> rows;  // rows[0] is the sheet's first row

  const Cell& at(size_t row, size_t column) const;
};

// A sheet whose cells hold a control character (a NUL byte, a form feed:
// never text) is refused, naming the first such cell; a line break in a
// cell is text.
Status refuseControlCharacters(const SheetData& sheet);

// "A" 0, "B" 1, ... "AA" 26; nothing for what is not a column's letters.
std::optional<size_t> columnIndex(const std::string& letters);
std::string columnLetters(size_t index);

// A header's words, upper case without accents or blanks around them, as
// column titles are recognised ("Descripción " is "DESCRIPCION").
std::string headerWords(const std::string& title);
// What a cell shows: its text, or its number written plainly.
std::string cellText(const Cell& c);
// A cell's number: a number cell, or a text that reads as one.
std::optional<double> cellNumber(const Cell& c, bool decimalComma);
// "MAT-0001" or "MAT 0001": a generic key and a key in one column.
void splitKey(const std::string& text, std::string* generic, std::string* key);

// "precio=D,clave=B": each name given (as a title, "PRECIO", among `fields`)
// takes that column. False, with `why` in Spanish, for an item that is not
// name=LETTER (`example` shows one) or a name not among `fields`.
bool parseColumnMapping(const std::string& mapping,
                        const std::vector<std::pair<const char*, std::optional<size_t>*>>& fields,
                        const std::string& example, std::string* why);

}  // namespace velmora::exchange
