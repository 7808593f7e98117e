#include "exchange/csv_reader.h"

#include <algorithm>
#include <charconv>
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

}  // namespace

std::optional<double> parseNumber(const std::string& text, bool decimalComma) {
  std::string t;
  for (char c : text)
    if (c != ' ' && c != '$' && c != '\t') t += c;
  if (t.empty()) return std::nullopt;
  const size_t comma = t.rfind(','), point = t.rfind('.');
  // With both marks the one written last is the decimal one; with one, the
  // file's custom decides.
  char decimal = decimalComma ? ',' : '.';
  if (comma != std::string::npos && point != std::string::npos) decimal = comma > point ? ',' : '.';
  std::string plain;
  for (char c : t) {
    if (c == decimal) plain += '.';
    else if (c == ',' || c == '.') continue;  // grouping
    else plain += c;
  }
  if (!plain.empty() && plain[0] == '+') plain.erase(0, 1);
  double v = 0;
  const auto res = std::from_chars(plain.data(), plain.data() + plain.size(), v);
  if (res.ec != std::errc() || res.ptr != plain.data() + plain.size()) return std::nullopt;
  return v;
}

Status readCsv(const std::filesystem::path& file, SheetData* sheet) {
  std::error_code ec;
  const auto size = std::filesystem::file_size(file, ec);
  if (ec) return Status::error(Status::Code::kNotFound, "no se puede leer " + file.filename().string());
  if (size > kFileLimit)
    return Status::error(Status::Code::kInvalid, file.filename().string() + " es demasiado grande");
  std::ifstream in(file, std::ios::binary);
  std::stringstream buffer;
  buffer << in.rdbuf();
  std::string text = buffer.str();
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
  sheet->decimalComma = separator != ',';
  sheet->rows.clear();
  std::vector<Cell> row;
  std::string field;
  bool quoted = false, wasQuoted = false;
  const auto endField = [&] {
    Cell c;
    c.text = wasQuoted ? field : trim(field);
    c.kind = c.text.empty() ? Cell::Kind::kEmpty : Cell::Kind::kText;
    row.push_back(std::move(c));
    field.clear();
    wasQuoted = false;
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
    } else if (c == '\n') {
      endField();
      sheet->rows.push_back(std::move(row));
      row.clear();
    } else if (c != '\r') {
      field += c;
    }
  }
  if (!field.empty() || !row.empty()) {
    endField();
    sheet->rows.push_back(std::move(row));
  }
  return refuseControlCharacters(*sheet);
}

}  // namespace velmora::exchange
