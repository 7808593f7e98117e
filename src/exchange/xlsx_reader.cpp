#include "exchange/xlsx_reader.h"

#include <zip.h>

#include <cctype>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstring>
#include <memory>
#include <new>
#include <pugixml.hpp>

#include "exchange/xlsx_parts.h"
#include "framework/dates.h"

namespace velmora::exchange {

namespace fs = std::filesystem;

int32_t dayFromSerial(double serial) {
  if (!std::isfinite(serial) || serial < 1 || serial > 2958465) return 0;
  const int64_t whole = static_cast<int64_t>(std::floor(serial));
  // Up to 28 February 1900 the two counts agree; after the spreadsheet's
  // 29 February 1900 (serial 60) ours is one behind.
  if (whole == 60) return 0;
  return static_cast<int32_t>(whole < 60 ? whole : whole - 1);
}

Status readSheetNames(const fs::path& workbook, std::vector<std::string>* names) {
  Archive za(nullptr, &zip_discard);
  if (Status s = openArchive(workbook, za); !s) return s;
  std::vector<SheetEntry> sheets;
  if (Status s = sheetsOf(za.get(), &sheets); !s) return s;
  names->clear();
  for (const auto& e : sheets) names->push_back(e.name);
  return Status::ok();
}

namespace {

Status tooManyCells() {
  return Status::error(Status::Code::kInvalid, "la hoja tiene más de " + std::to_string(kMaxSheetCells) +
                                                   " celdas con datos; divídala en libros más pequeños");
}

Status readSheetOf(zip_t* za, const SheetEntry& chosen, SheetData* sheet) {
  std::string text;
  std::vector<std::string> shared;
  if (Status s = readPart(za, "xl/sharedStrings.xml", &text, false); !s) return s;
  if (!text.empty()) {
    pugi::xml_document doc;
    if (Status s = parse(text, "xl/sharedStrings.xml", doc); !s) return s;
    for (pugi::xml_node si : doc.document_element().children()) {
      if (std::strcmp(local(si), "si") != 0) continue;
      if (shared.size() >= kMaxSheetCells) return tooManyCells();
      shared.push_back(itemText(si));
    }
  }
  if (Status s = readPart(za, chosen.part, &text, true); !s) return s;
  pugi::xml_document doc;
  if (Status s = parse(text, chosen.part, doc); !s) return s;
  text.clear();
  text.shrink_to_fit();
  sheet->name = chosen.name;
  sheet->rows.clear();
  const pugi::xml_node data = child(doc.document_element(), "sheetData");
  size_t nextRow = 0, cells = 0;
  for (pugi::xml_node row : data.children()) {
    if (std::strcmp(local(row), "row") != 0) continue;
    const unsigned long long number = row.attribute("r").as_ullong(nextRow + 1);
    if (number == 0 || number > 1048576) return Status::error(Status::Code::kInvalid, "fila fuera de la hoja");
    nextRow = number;
    if (sheet->rows.size() < number) sheet->rows.resize(number);
    SheetRow& cellsOfRow = sheet->rows[number - 1];
    size_t nextColumn = 0;
    for (pugi::xml_node c : row.children()) {
      if (std::strcmp(local(c), "c") != 0) continue;
      std::string ref = c.attribute("r").value();
      size_t letters = 0;
      while (letters < ref.size() && std::isalpha(static_cast<unsigned char>(ref[letters]))) ++letters;
      const auto column = ref.empty() ? std::optional<size_t>(nextColumn) : columnIndex(ref.substr(0, letters));
      if (!column || *column >= 16384) return Status::error(Status::Code::kInvalid, "celda fuera de la hoja: " + ref);
      nextColumn = *column + 1;
      const std::string type = c.attribute("t").value();
      const pugi::xml_node v = child(c, "v");
      const bool formula = static_cast<bool>(child(c, "f"));
      // A cell with neither value nor formula holds only a style: nothing to keep.
      if (!v && !formula && type != "inlineStr") continue;
      if (++cells > kMaxSheetCells) return tooManyCells();
      Cell& cell = cellsOfRow.set(*column);
      cell.formula = formula;
      // A formula without a value, or with an empty <v/> (what some
      // writers leave), was never calculated: its value is unknown.
      if (formula && (!v || *v.text().get() == '\0')) continue;
      if (type == "s") {
        const unsigned long long index = v.text().as_ullong(ULLONG_MAX);
        if (index >= shared.size())
          return Status::error(Status::Code::kInvalid, "texto compartido inexistente en " + ref);
        cell.kind = Cell::Kind::kText;
        cell.text = shared[index];
      } else if (type == "inlineStr") {
        cell.kind = Cell::Kind::kText;
        cell.text = itemText(child(c, "is"));
      } else if ((type == "str" || type == "e") && v) {
        cell.kind = Cell::Kind::kText;
        cell.text = v.text().get();
      } else if (v) {
        // Numbers, booleans and the cached value of a formula.
        const char* first = v.text().get();
        const char* last = first + std::strlen(first);
        const auto res = std::from_chars(first, last, cell.number);  // whatever the process locale
        cell.kind = res.ec == std::errc() && res.ptr == last ? Cell::Kind::kNumber : Cell::Kind::kText;
        if (cell.kind == Cell::Kind::kText) cell.text.assign(first, last);
      }
    }
  }
  return refuseControlCharacters(*sheet);
}

}  // namespace

Status readSheet(const fs::path& workbook, const std::string& name, SheetData* sheet) {
  Archive za(nullptr, &zip_discard);
  if (Status s = openArchive(workbook, za); !s) return s;
  std::vector<SheetEntry> sheets;
  if (Status s = sheetsOf(za.get(), &sheets); !s) return s;
  const SheetEntry* chosen = name.empty() ? &sheets.front() : nullptr;
  for (const auto& e : sheets)
    if (!chosen && e.name == name) chosen = &e;
  if (!chosen) return Status::error(Status::Code::kNotFound, "el libro no tiene la hoja " + name);
  try {
    return readSheetOf(za.get(), *chosen, sheet);
  } catch (const std::bad_alloc&) {
    // Within the limits this should not happen; a station short of memory
    // still gets a sentence, and the sheet read so far is let go.
    *sheet = SheetData{};
    return Status::error(Status::Code::kInvalid, "la hoja " + chosen->name + " de " + workbook.filename().string() +
                                                     " no cabe en la memoria de este equipo");
  }
}

}  // namespace velmora::exchange
