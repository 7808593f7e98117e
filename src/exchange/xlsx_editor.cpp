#include "exchange/xlsx_editor.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <chrono>
#include <cstring>
#include <map>
#include <optional>
#include <random>
#include <utility>

#include "exchange/sheet_data.h"
#include "exchange/xlsx_parts.h"
#include "framework/whole_file.h"
#include "shell/scratch_directory.h"

namespace velmora::exchange {

namespace fs = std::filesystem;

namespace {

// One change of the XML text: bytes [from, to) become `with`.
struct Splice {
  size_t from, to;
  std::string with;
};

std::string applySplices(const std::string& text, std::vector<Splice> splices) {
  std::sort(splices.begin(), splices.end(), [](const Splice& a, const Splice& b) { return a.from > b.from; });
  std::string out = text;
  for (const Splice& s : splices) out.replace(s.from, s.to - s.from, s.with);
  return out;
}

// Where element `n` starts ('<') and ends (after its '/>' or its closing
// tag), in the text it was parsed from. Elements of these parts never nest
// inside one of their own name.
size_t startOf(const pugi::xml_node& n) { return static_cast<size_t>(n.offset_debug()) - 1; }
size_t startTagEnd(const std::string& text, const pugi::xml_node& n, bool* selfClosing) {
  char quote = 0;
  for (size_t i = static_cast<size_t>(n.offset_debug()); i < text.size(); ++i) {
    const char c = text[i];
    if (quote) {
      if (c == quote) quote = 0;
    } else if (c == '"' || c == '\'') {
      quote = c;
    } else if (c == '>') {
      *selfClosing = text[i - 1] == '/';
      return i + 1;
    }
  }
  return std::string::npos;
}
size_t endOf(const std::string& text, const pugi::xml_node& n) {
  bool selfClosing = false;
  const size_t tagEnd = startTagEnd(text, n, &selfClosing);
  if (tagEnd == std::string::npos || selfClosing) return tagEnd;
  const std::string close = std::string("</") + n.name();
  for (size_t at = text.find(close, tagEnd); at != std::string::npos; at = text.find(close, at + 1)) {
    size_t i = at + close.size();
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
    if (i < text.size() && text[i] == '>') return i + 1;
  }
  return std::string::npos;
}

std::string escaped(const std::string& s) {
  std::string out;
  for (char c : s) {
    if (c == '&') out += "&amp;";
    else if (c == '<') out += "&lt;";
    else if (c == '>') out += "&gt;";
    else out += c;
  }
  return out;
}

std::string prefixOf(const pugi::xml_node& n) {
  const char* colon = std::strchr(n.name(), ':');
  return colon ? std::string(n.name(), colon + 1) : std::string();
}

std::string cellXml(const std::string& prefix, const std::string& ref, const std::string& style, const CellValue& v) {
  const std::string c = prefix + "c";
  std::string out = "<" + c + " r=\"" + ref + "\"";
  if (!style.empty()) out += " s=\"" + style + "\"";
  if (v.isText) {
    out += " t=\"inlineStr\"><" + prefix + "is><" + prefix + "t xml:space=\"preserve\">" + escaped(v.text) + "</" +
           prefix + "t></" + prefix + "is></" + c + ">";
  } else {
    char buf[32];
    const auto r = std::to_chars(buf, buf + sizeof buf, v.number);
    out += "><" + prefix + "v>" + std::string(buf, r.ptr) + "</" + prefix + "v></" + c + ">";
  }
  return out;
}

std::optional<size_t> columnOfRef(const std::string& ref) {
  size_t letters = 0;
  while (letters < ref.size() && std::isalpha(static_cast<unsigned char>(ref[letters]))) ++letters;
  return columnIndex(ref.substr(0, letters));
}

// "F12" as its 0-based row and column.
std::optional<std::pair<size_t, size_t>> cellOfRef(const std::string& ref) {
  size_t letters = 0;
  while (letters < ref.size() && std::isalpha(static_cast<unsigned char>(ref[letters]))) ++letters;
  const auto column = columnIndex(ref.substr(0, letters));
  const std::string digits = ref.substr(letters);
  if (!column || digits.empty() || digits.size() > 7 || digits.find_first_not_of("0123456789") != std::string::npos)
    return std::nullopt;
  const size_t row = std::stoul(digits);
  if (row == 0) return std::nullopt;
  return std::pair{row - 1, *column};
}

Status damaged(const std::string& part) {
  return Status::error(Status::Code::kInvalid, "la parte " + part + " del libro no se puede modificar");
}

// The sheet's XML with the values set.
Status editSheet(const std::string& part, const std::string& text, const std::vector<CellValue>& values,
                 std::string* out, std::vector<std::string>* skipped) {
  pugi::xml_document doc;
  if (Status s = parse(text, part, doc); !s) return s;
  const pugi::xml_node data = child(doc.document_element(), "sheetData");
  if (!data) return damaged(part);
  const std::string prefix = prefixOf(data);
  std::map<size_t, pugi::xml_node> rows;  // 0-based number -> <row>
  size_t next = 0;
  for (pugi::xml_node row : data.children()) {
    if (std::strcmp(local(row), "row") != 0) continue;
    next = row.attribute("r").as_ullong(next + 1);
    if (next == 0) return damaged(part);
    rows[next - 1] = row;
  }
  // A value for a cell hidden under a merged range goes to the range's
  // first cell, the only one a spreadsheet shows.
  struct Range {
    size_t top, left, bottom, right;
  };
  std::vector<Range> merged;
  for (pugi::xml_node m : child(doc.document_element(), "mergeCells").children()) {
    if (std::strcmp(local(m), "mergeCell") != 0) continue;
    const std::string ref = m.attribute("ref").value();
    const size_t colon = ref.find(':');
    const auto first = cellOfRef(ref.substr(0, colon));
    const auto last = colon == std::string::npos ? first : cellOfRef(ref.substr(colon + 1));
    if (first && last) merged.push_back({first->first, first->second, last->first, last->second});
  }
  std::vector<CellValue> placed;
  placed.reserve(values.size());                                // the pointers below stay valid
  std::map<size_t, std::map<size_t, const CellValue*>> wanted;  // the values by row, then column
  for (const CellValue& v : values) {
    CellValue& p = placed.emplace_back(v);
    for (const Range& m : merged) {
      if (p.row >= m.top && p.row <= m.bottom && p.column >= m.left && p.column <= m.right) {
        p.row = m.top;
        p.column = m.left;
        break;
      }
    }
    if (wanted[p.row].count(p.column))
      return Status::error(Status::Code::kInvalid, "dos valores van a la celda " + columnLetters(p.column) +
                                                       std::to_string(p.row + 1) + " (celdas combinadas)");
    wanted[p.row][p.column] = &p;
  }

  std::vector<Splice> splices;
  for (const auto& [rowNumber, columns] : wanted) {
    auto found = rows.find(rowNumber);
    if (found == rows.end()) {
      // A new row, before the first one below it.
      std::string xml = "<" + prefix + "row r=\"" + std::to_string(rowNumber + 1) + "\">";
      for (const auto& [column, v] : columns)
        xml += cellXml(prefix, columnLetters(column) + std::to_string(rowNumber + 1), {}, *v);
      xml += "</" + prefix + "row>";
      auto below = rows.upper_bound(rowNumber);
      if (below != rows.end()) {
        splices.push_back({startOf(below->second), startOf(below->second), xml});
      } else {
        bool selfClosing = false;
        const size_t tagEnd = startTagEnd(text, data, &selfClosing);
        const size_t end = endOf(text, data);
        if (tagEnd == std::string::npos || end == std::string::npos) return damaged(part);
        if (selfClosing) {
          const std::string name = data.name();
          splices.push_back({startOf(data), end, "<" + name + ">" + xml + "</" + name + ">"});
        } else {
          const size_t close = text.rfind("</", end - 1);  // the closing tag's own "</"
          splices.push_back({close, close, xml});
        }
      }
      continue;
    }
    const pugi::xml_node row = found->second;
    std::map<size_t, pugi::xml_node> cells;
    size_t nextColumn = 0;
    for (pugi::xml_node c : row.children()) {
      if (std::strcmp(local(c), "c") != 0) continue;
      const std::string ref = c.attribute("r").value();
      const auto column = ref.empty() ? std::optional<size_t>(nextColumn) : columnOfRef(ref);
      if (!column) return damaged(part);
      nextColumn = *column + 1;
      cells[*column] = c;
    }
    for (const auto& [column, v] : columns) {
      const std::string ref = columnLetters(column) + std::to_string(rowNumber + 1);
      auto cell = cells.find(column);
      if (cell != cells.end()) {
        if (child(cell->second, "f")) {
          skipped->push_back(ref);
          continue;
        }
        const size_t end = endOf(text, cell->second);
        if (end == std::string::npos) return damaged(part);
        splices.push_back({startOf(cell->second), end, cellXml(prefix, ref, cell->second.attribute("s").value(), *v)});
        continue;
      }
      // A new cell, before the first one right of it, or at the row's end.
      const std::string xml = cellXml(prefix, ref, {}, *v);
      auto right = cells.upper_bound(column);
      if (right != cells.end()) {
        splices.push_back({startOf(right->second), startOf(right->second), xml});
        continue;
      }
      bool selfClosing = false;
      const size_t tagEnd = startTagEnd(text, row, &selfClosing);
      const size_t end = endOf(text, row);
      if (tagEnd == std::string::npos || end == std::string::npos) return damaged(part);
      if (selfClosing) {
        // "<row r="5"/>" becomes "<row r="5">cell</row>".
        splices.push_back({tagEnd - 2, tagEnd, ">" + xml + "</" + std::string(row.name()) + ">"});
      } else {
        const size_t close = text.rfind("</", end - 1);  // the closing tag's own "</"
        splices.push_back({close, close, xml});
      }
    }
  }
  // Two new cells at one place keep their column order.
  std::stable_sort(splices.begin(), splices.end(), [](const Splice& a, const Splice& b) { return a.from < b.from; });
  for (size_t i = 1; i < splices.size(); ++i) {
    if (splices[i].from == splices[i - 1].from && splices[i].to == splices[i].from &&
        splices[i - 1].to == splices[i - 1].from) {
      splices[i].with = splices[i - 1].with + splices[i].with;
      splices[i - 1].with.clear();
    }
  }
  *out = applySplices(text, std::move(splices));
  return Status::ok();
}

// The workbook part with fullCalcOnLoad="1" on its calcPr, which is added
// after the elements the schema puts before it when missing.
Status markRecalculation(const std::string& text, std::string* out) {
  pugi::xml_document doc;
  if (Status s = parse(text, "xl/workbook.xml", doc); !s) return s;
  const pugi::xml_node book = doc.document_element();
  if (pugi::xml_node calc = child(book, "calcPr")) {
    const pugi::xml_attribute full = calc.attribute("fullCalcOnLoad");
    if (full && (std::strcmp(full.value(), "1") == 0 || std::strcmp(full.value(), "true") == 0)) {
      *out = text;
      return Status::ok();
    }
    bool selfClosing = false;
    const size_t tagEnd = startTagEnd(text, calc, &selfClosing);
    if (tagEnd == std::string::npos) return damaged("xl/workbook.xml");
    if (full) {
      // Rewrite the start tag without the old value.
      std::string tag = "<" + std::string(calc.name());
      for (pugi::xml_attribute a : calc.attributes())
        if (std::strcmp(a.name(), "fullCalcOnLoad") != 0) tag += " " + std::string(a.name()) + "=\"" + a.value() + "\"";
      tag += std::string(" fullCalcOnLoad=\"1\"") + (selfClosing ? "/>" : ">");
      *out = applySplices(text, {{startOf(calc), tagEnd, tag}});
    } else {
      const size_t nameEnd = static_cast<size_t>(calc.offset_debug()) + std::strlen(calc.name());
      *out = applySplices(text, {{nameEnd, nameEnd, " fullCalcOnLoad=\"1\""}});
    }
    return Status::ok();
  }
  pugi::xml_node after;
  for (const char* name : {"sheets", "functionGroups", "externalReferences", "definedNames"})
    if (pugi::xml_node n = child(book, name)) after = n;
  if (!after) return damaged("xl/workbook.xml");
  const size_t end = endOf(text, after);
  if (end == std::string::npos) return damaged("xl/workbook.xml");
  *out = applySplices(text, {{end, end, "<" + prefixOf(book) + "calcPr fullCalcOnLoad=\"1\"/>"}});
  return Status::ok();
}

// A scratch file an earlier version wrote beside the output
// (".<name>.velmora-<digits>", and libzip's own ".XXXXXX" after it) that a
// killed run left: removed once it is old enough that no run still writes it.
void clearOldScratchFiles(const fs::path& dir) {
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(dir, ec)) {
    const std::string name = entry.path().filename().string();
    const size_t mark = name.rfind(".velmora-");
    if (name.empty() || name[0] != '.' || mark == std::string::npos || mark == 0) continue;
    std::string tail = name.substr(mark + 9);
    if (const size_t dot = tail.find('.'); dot != std::string::npos && tail.size() - dot == 7) tail.resize(dot);
    if (tail.empty() || !std::all_of(tail.begin(), tail.end(), [](unsigned char c) { return std::isdigit(c); }))
      continue;
    if (entry.is_symlink(ec) || !entry.is_regular_file(ec)) continue;
    const auto age = fs::file_time_type::clock::now() - fs::last_write_time(entry.path(), ec);
    if (!ec && age > std::chrono::minutes(10)) fs::remove(entry.path(), ec);
  }
}

// Why libzip failed, in Spanish: its own texts are English ("Failure to
// create temporary file: ...").
std::string zipText(zip_t* za) {
  zip_error_t* e = zip_get_error(za);
  const int system = zip_error_code_system(e);
  std::string text;
  switch (zip_error_code_zip(e)) {
    case ZIP_ER_TMPOPEN: text = "no se pudo crear el archivo temporal"; break;
    case ZIP_ER_RENAME: text = "no se pudo renombrar el archivo temporal"; break;
    case ZIP_ER_WRITE: text = "no se pudo escribir el archivo"; break;
    case ZIP_ER_CLOSE: text = "no se pudo cerrar el archivo"; break;
    case ZIP_ER_READ: text = "no se pudo leer el libro del cliente"; break;
    case ZIP_ER_MEMORY: text = "no hay memoria suficiente"; break;
    case ZIP_ER_ZLIB:
    case ZIP_ER_COMPRESSED_DATA: text = "los datos comprimidos del libro están dañados"; break;
    case ZIP_ER_CRC: text = "el libro del cliente está dañado (CRC)"; break;
    default: text = "error de zip " + std::to_string(zip_error_code_zip(e)); break;
  }
  if (zip_error_system_type(e) == ZIP_ET_SYS && system != 0) text += ": " + fileErrorText(system);
  return text;
}

}  // namespace

Status writeCellValues(const fs::path& workbook, const std::string& sheetName, const std::vector<CellValue>& values,
                       const fs::path& output, std::vector<std::string>* skipped) {
  std::error_code ec;
  if (fs::exists(output, ec) && fs::equivalent(workbook, output, ec))
    return Status::error(Status::Code::kInvalid, "el libro de salida no puede ser el mismo del cliente");
  Archive source(nullptr, &zip_discard);
  if (Status s = openArchive(workbook, source); !s) return s;
  std::vector<SheetEntry> sheets;
  if (Status s = sheetsOf(source.get(), &sheets); !s) return s;
  const SheetEntry* chosen = sheetName.empty() ? &sheets.front() : nullptr;
  for (const auto& e : sheets)
    if (!chosen && e.name == sheetName) chosen = &e;
  if (!chosen) return Status::error(Status::Code::kNotFound, "el libro no tiene la hoja " + sheetName);

  std::string sheetText, bookText, newSheet, newBook;
  if (Status s = readPart(source.get(), chosen->part, &sheetText, true); !s) return s;
  if (Status s = readPart(source.get(), "xl/workbook.xml", &bookText, true); !s) return s;
  if (Status s = editSheet(chosen->part, sheetText, values, &newSheet, skipped); !s) return s;
  if (Status s = markRecalculation(bookText, &newBook); !s) return s;

  // The new archive is made in a scratch folder of this run's own beside the
  // output and takes the output's name only when whole. A run that is killed
  // leaves the folder behind; the next export into the same folder removes
  // it, as it removes the scratch files earlier versions left.
  const fs::path dir = output.has_parent_path() ? output.parent_path() : fs::path(".");
  clearOldScratchFiles(dir);
  const shell::ScratchDirectory scratchDir(dir, kExportScratchPrefix);
  if (!scratchDir.made())
    return Status::error(Status::Code::kIoError, "no se pudo escribir " + output.string() +
                                                     ": no se pudo crear una carpeta de trabajo en " + dir.string());
  const fs::path scratch = scratchDir.path() / output.filename();
  int err = 0;
  zip_t* made = zip_open(scratch.c_str(), ZIP_CREATE | ZIP_EXCL, &err);
  if (!made) return Status::error(Status::Code::kIoError, "no se pudo escribir " + output.string());
  // The folder must take new files: libzip only finds out when it closes.
  if (!fs::is_directory(dir, ec)) {
    zip_discard(made);
    return Status::error(Status::Code::kIoError,
                         "no se pudo escribir " + output.string() + ": no existe la carpeta " + dir.string());
  }
  const auto fail = [&](const std::string& why) {
    zip_discard(made);
    fs::remove(scratch, ec);
    return Status::error(Status::Code::kIoError, "no se pudo escribir " + output.string() + ": " + why);
  };
  const zip_int64_t entries = zip_get_num_entries(source.get(), 0);
  for (zip_int64_t i = 0; i < entries; ++i) {
    const char* name = zip_get_name(source.get(), static_cast<zip_uint64_t>(i), ZIP_FL_ENC_RAW);
    if (!name) return fail(zipText(source.get()));
    const std::string entry = name;
    const std::string* changed = entry == chosen->part ? &newSheet : entry == "xl/workbook.xml" ? &newBook : nullptr;
    zip_source_t* src = changed ? zip_source_buffer(made, changed->data(), changed->size(), 0)
                                : zip_source_zip(made, source.get(), static_cast<zip_uint64_t>(i), ZIP_FL_COMPRESSED, 0,
                                                 -1);  // the same bytes, not recompressed
    if (!src) return fail(zipText(made));
    const zip_int64_t added = zip_file_add(made, name, src, ZIP_FL_ENC_RAW);
    if (added < 0) {
      zip_source_free(src);
      return fail(zipText(made));
    }
    if (changed) zip_set_file_compression(made, static_cast<zip_uint64_t>(added), ZIP_CM_DEFLATE, 0);
  }
  if (zip_close(made) != 0) return fail(zipText(made));
  if (const int fd = ::open(scratch.c_str(), O_RDONLY | O_CLOEXEC); fd >= 0) {
    ::fsync(fd);
    ::close(fd);
  }
  fs::rename(scratch, output, ec);
  if (ec) {
    const int why = ec.value();
    fs::remove(scratch, ec);
    return Status::error(Status::Code::kIoError, "no se pudo escribir " + output.string() + ": " + fileErrorText(why));
  }
  return Status::ok();
}

}  // namespace velmora::exchange
