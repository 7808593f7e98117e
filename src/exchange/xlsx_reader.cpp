#include "exchange/xlsx_reader.h"

#include <zip.h>

#include <cctype>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstring>
#include <memory>
#include <pugixml.hpp>

#include "framework/dates.h"

namespace velmora::exchange {

namespace fs = std::filesystem;

namespace {

// Parts larger than this are refused: a workbook of prices is far smaller.
constexpr zip_uint64_t kPartLimit = 256ull << 20;

using Archive = std::unique_ptr<zip_t, decltype(&zip_discard)>;

Status openArchive(const fs::path& file, Archive& out) {
  int err = 0;
  out.reset(zip_open(file.c_str(), ZIP_RDONLY, &err));
  if (!out) return Status::error(Status::Code::kInvalid, file.filename().string() + " no es un libro xlsx");
  return Status::ok();
}

// One part of the archive, whole; an absent part is empty.
Status readPart(zip_t* za, const std::string& name, std::string* text, bool required) {
  text->clear();
  zip_stat_t st;
  zip_stat_init(&st);
  if (zip_stat(za, name.c_str(), 0, &st) != 0) {
    return required ? Status::error(Status::Code::kInvalid, "el libro no tiene la parte " + name) : Status::ok();
  }
  if (!(st.valid & ZIP_STAT_SIZE) || st.size > kPartLimit)
    return Status::error(Status::Code::kInvalid, "la parte " + name + " del libro es demasiado grande");
  zip_file_t* zf = zip_fopen(za, name.c_str(), 0);
  if (!zf) return Status::error(Status::Code::kInvalid, "no se pudo leer la parte " + name + " del libro");
  text->resize(st.size);
  const zip_int64_t n = zip_fread(zf, text->data(), st.size);
  zip_fclose(zf);
  if (n < 0 || static_cast<zip_uint64_t>(n) != st.size)
    return Status::error(Status::Code::kInvalid, "la parte " + name + " del libro está dañada");
  return Status::ok();
}

Status parse(const std::string& text, const std::string& part, pugi::xml_document& doc) {
  const pugi::xml_parse_result r = doc.load_buffer(text.data(), text.size());
  if (!r) return Status::error(Status::Code::kInvalid, "la parte " + part + " del libro no es XML válido");
  return Status::ok();
}

// Local names: workbooks write "x:row" as well as "row".
const char* local(const pugi::xml_node& n) {
  const char* name = n.name();
  const char* colon = std::strrchr(name, ':');
  return colon ? colon + 1 : name;
}
pugi::xml_node child(const pugi::xml_node& n, const char* name) {
  for (pugi::xml_node c : n.children())
    if (std::strcmp(local(c), name) == 0) return c;
  return {};
}

// The text of a string item: its <t>, or its runs' <t>s.
std::string itemText(const pugi::xml_node& si) {
  std::string out;
  for (pugi::xml_node c : si.children()) {
    if (std::strcmp(local(c), "t") == 0) out += c.text().get();
    else if (std::strcmp(local(c), "r") == 0) out += child(c, "t").text().get();
  }
  return out;
}

struct SheetEntry {
  std::string name, part;
};

Status sheetsOf(zip_t* za, std::vector<SheetEntry>* sheets) {
  std::string text;
  pugi::xml_document book, rels;
  if (Status s = readPart(za, "xl/workbook.xml", &text, true); !s) return s;
  if (Status s = parse(text, "xl/workbook.xml", book); !s) return s;
  if (Status s = readPart(za, "xl/_rels/workbook.xml.rels", &text, false); !s) return s;
  if (!text.empty()) {
    if (Status s = parse(text, "xl/_rels/workbook.xml.rels", rels); !s) return s;
  }
  const pugi::xml_node list = child(book.document_element(), "sheets");
  int n = 0;
  for (pugi::xml_node sheet : list.children()) {
    if (std::strcmp(local(sheet), "sheet") != 0) continue;
    ++n;
    SheetEntry e{sheet.attribute("name").value(), "xl/worksheets/sheet" + std::to_string(n) + ".xml"};
    std::string id;
    for (pugi::xml_attribute a : sheet.attributes()) {
      const std::string an = a.name();
      if (an == "r:id" || (an.size() > 3 && an.compare(an.size() - 3, 3, ":id") == 0)) id = a.value();
    }
    for (pugi::xml_node rel : rels.document_element().children()) {
      if (id.empty() || id != rel.attribute("Id").value()) continue;
      std::string target = rel.attribute("Target").value();
      // Relative to xl/, or absolute from the archive's root.
      target = target.rfind('/', 0) == 0 ? target.substr(1) : "xl/" + target;
      // A part name never climbs out of the archive's folders.
      if (target.find("..") == std::string::npos) e.part = target;
    }
    sheets->push_back(std::move(e));
  }
  if (sheets->empty()) return Status::error(Status::Code::kInvalid, "el libro no tiene hojas");
  return Status::ok();
}

}  // namespace

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

Status readSheet(const fs::path& workbook, const std::string& name, SheetData* sheet) {
  Archive za(nullptr, &zip_discard);
  if (Status s = openArchive(workbook, za); !s) return s;
  std::vector<SheetEntry> sheets;
  if (Status s = sheetsOf(za.get(), &sheets); !s) return s;
  const SheetEntry* chosen = name.empty() ? &sheets.front() : nullptr;
  for (const auto& e : sheets)
    if (!chosen && e.name == name) chosen = &e;
  if (!chosen) return Status::error(Status::Code::kNotFound, "el libro no tiene la hoja " + name);

  std::string text;
  std::vector<std::string> shared;
  if (Status s = readPart(za.get(), "xl/sharedStrings.xml", &text, false); !s) return s;
  if (!text.empty()) {
    pugi::xml_document doc;
    if (Status s = parse(text, "xl/sharedStrings.xml", doc); !s) return s;
    for (pugi::xml_node si : doc.document_element().children())
      if (std::strcmp(local(si), "si") == 0) shared.push_back(itemText(si));
  }
  if (Status s = readPart(za.get(), chosen->part, &text, true); !s) return s;
  pugi::xml_document doc;
  if (Status s = parse(text, chosen->part, doc); !s) return s;
  sheet->name = chosen->name;
  sheet->rows.clear();
  const pugi::xml_node data = child(doc.document_element(), "sheetData");
  size_t nextRow = 0;
  for (pugi::xml_node row : data.children()) {
    if (std::strcmp(local(row), "row") != 0) continue;
    const unsigned long long number = row.attribute("r").as_ullong(nextRow + 1);
    if (number == 0 || number > 1048576) return Status::error(Status::Code::kInvalid, "fila fuera de la hoja");
    nextRow = number;
    if (sheet->rows.size() < number) sheet->rows.resize(number);
    std::vector<Cell>& cells = sheet->rows[number - 1];
    size_t nextColumn = 0;
    for (pugi::xml_node c : row.children()) {
      if (std::strcmp(local(c), "c") != 0) continue;
      std::string ref = c.attribute("r").value();
      size_t letters = 0;
      while (letters < ref.size() && std::isalpha(static_cast<unsigned char>(ref[letters]))) ++letters;
      const auto column = ref.empty() ? std::optional<size_t>(nextColumn) : columnIndex(ref.substr(0, letters));
      if (!column || *column >= 16384) return Status::error(Status::Code::kInvalid, "celda fuera de la hoja: " + ref);
      nextColumn = *column + 1;
      if (cells.size() <= *column) cells.resize(*column + 1);
      Cell& cell = cells[*column];
      const std::string type = c.attribute("t").value();
      const pugi::xml_node v = child(c, "v");
      if (type == "s") {
        const unsigned long long index = v.text().as_ullong(ULLONG_MAX);
        if (index >= shared.size()) return Status::error(Status::Code::kInvalid, "texto compartido inexistente en " + ref);
        cell.kind = Cell::Kind::kText;
        cell.text = shared[index];
      } else if (type == "inlineStr") {
        cell.kind = Cell::Kind::kText;
        cell.text = itemText(child(c, "is"));
      } else if (type == "str" || type == "e") {
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
  return Status::ok();
}

}  // namespace velmora::exchange
