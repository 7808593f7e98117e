#include "exchange/csv_reader.h"

#include <algorithm>
#include <fstream>
#include <sstream>

namespace velmora::exchange {

namespace {

constexpr std::uintmax_t kFileLimit = 256ull << 20;

bool validUtf8(const std::string& s) {
  for (size_t i = 0; i < s.size();) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    const size_t n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
    if (n == 0 || i + n > s.size()) return false;
    for (size_t k = 1; k < n; ++k)
      if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
    i += n;
  }
  return true;
}

// Windows-1252 to UTF-8 (its 0x80-0x9F range included).
std::string fromWindows1252(const std::string& s) {
  static const char16_t kHigh[32] = {0x20AC, 0x81,   0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                     0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x8D,   0x017D, 0x8F,
                                     0x90,   0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                     0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x9D,   0x017E, 0x0178};
  std::string out;
  for (unsigned char c : s) {
    const char32_t u = c >= 0x80 && c < 0xA0 ? kHigh[c - 0x80] : c;
    if (u < 0x80) {
      out += static_cast<char>(u);
    } else if (u < 0x800) {
      out += static_cast<char>(0xC0 | (u >> 6));
      out += static_cast<char>(0x80 | (u & 0x3F));
    } else {
      out += static_cast<char>(0xE0 | (u >> 12));
      out += static_cast<char>(0x80 | ((u >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (u & 0x3F));
    }
  }
  return out;
}

std::string trim(const std::string& s) {
  const size_t a = s.find_first_not_of(" \t\r");
  if (a == std::string::npos) return {};
  return s.substr(a, s.find_last_not_of(" \t\r") - a + 1);
}

Status tooManyCells(const std::filesystem::path& file) {
  return Status::error(Status::Code::kInvalid, file.filename().string() + " tiene más de " +
                                                   std::to_string(kMaxSheetCells) +
                                                   " celdas con datos; divídalo en archivos más pequeños");
}

}  // namespace

Status readCsv(const std::filesystem::path& file, SheetData* sheet) {
  std::error_code ec;
  const auto size = std::filesystem::file_size(file, ec);
  if (ec)
    return Status::error(
        Status::Code::kNotFound,
        "no se puede leer " + file.string() + ": " +
            (ec == std::errc::no_such_file_or_directory ? std::string("no existe") : std::string("no se pudo abrir")));
  if (size > kFileLimit)
    return Status::error(Status::Code::kInvalid, file.filename().string() + " es demasiado grande");
  std::ifstream in(file, std::ios::binary);
  if (!in) return Status::error(Status::Code::kIoError, "no se puede leer " + file.string() + ": no se pudo abrir");
  std::stringstream buffer;
  buffer << in.rdbuf();
  std::string text = buffer.str();
  if (text.size() >= 2 && ((text[0] == '\xFF' && text[1] == '\xFE') || (text[0] == '\xFE' && text[1] == '\xFF')))
    return Status::error(Status::Code::kInvalid,
                         file.filename().string() + " está en UTF-16; guárdelo como CSV en UTF-8 o Windows-1252");
  if (text.rfind("\xEF\xBB\xBF", 0) == 0) text.erase(0, 3);  // a byte-order mark
  if (!validUtf8(text)) text = fromWindows1252(text);
  const std::string firstLine = text.substr(0, text.find('\n'));
  char separator = ',';
  size_t most = 0;
  for (char c : {',', ';', '\t'}) {
    const size_t n = static_cast<size_t>(std::count(firstLine.begin(), firstLine.end(), c));
    if (n > most) {
      most = n;
      separator = c;
    }
  }
  sheet->name = file.stem().string();
  sheet->rows.clear();
  SheetRow row;
  size_t column = 0, cells = 0;
  std::string field;
  bool quoted = false, wasQuoted = false;
  const auto endField = [&] {
    std::string value = wasQuoted ? field : trim(field);
    if (!value.empty()) {
      Cell& c = row.set(column);
      c.kind = Cell::Kind::kText;
      c.text = std::move(value);
      ++cells;
    }
    ++column;
    field.clear();
    wasQuoted = false;
  };
  const auto endRow = [&] {
    endField();
    sheet->rows.push_back(std::move(row));
    row = SheetRow();
    column = 0;
  };
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (quoted) {
      if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
        field += '"';
        ++i;
      } else if (c == '"') {
        quoted = false;
      } else {
        field += c;
      }
    } else if (c == '"' && trim(field).empty()) {
      field.clear();
      quoted = wasQuoted = true;
    } else if (c == separator) {
      endField();
      if (cells > kMaxSheetCells) return tooManyCells(file);  // one long row counts too
    } else if (c == '\n') {
      endRow();
      if (cells > kMaxSheetCells) return tooManyCells(file);
    } else if (c != '\r') {
      field += c;
    }
  }
  if (!field.empty() || column > 0) endRow();
  if (cells > kMaxSheetCells) return tooManyCells(file);
  return refuseControlCharacters(*sheet);
}

}  // namespace velmora::exchange
