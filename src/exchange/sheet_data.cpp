#include "exchange/sheet_data.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <sstream>
#include <string_view>

#include "framework/text.h"

namespace velmora::exchange {

namespace {

const Cell kNoCell;

// What the marks of a number written as text say about its decimal mark.
enum class Evidence {
  kNotNumber,
  kNone,   // no mark at all: "1234"
  kPoint,  // only a decimal point reads it: "4380.00", "1,234,567", "1,234.5"
  kComma,  // only a decimal comma reads it: "498,75", "1.234.567", "1.234,5"
  kEither  // one mark before three digits: "1,234" is 1234 or 1.234
};

bool allDigits(std::string_view s) {
  return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// "1,234,567" grouped by `sep`: one to three digits, then groups of three.
bool grouped(std::string_view s, char sep) {
  size_t start = 0;
  for (bool first = true;; first = false) {
    const size_t at = s.find(sep, start);
    const std::string_view part = s.substr(start, at == std::string_view::npos ? std::string_view::npos : at - start);
    if (!allDigits(part) || (first ? part.size() > 3 : part.size() != 3)) return false;
    if (at == std::string_view::npos) return true;
    start = at + 1;
  }
}

// The number's digits and marks: without "$", blanks and its sign.
std::string numberBody(const std::string& text, bool* negative) {
  std::string t;
  for (char c : text)
    if (c != ' ' && c != '$' && c != '\t') t += c;
  *negative = false;
  if (!t.empty() && (t[0] == '-' || t[0] == '+')) {
    *negative = t[0] == '-';
    t.erase(0, 1);
  }
  return t;
}

Evidence evidenceOf(const std::string& t) {
  const size_t commas = static_cast<size_t>(std::count(t.begin(), t.end(), ','));
  const size_t points = static_cast<size_t>(std::count(t.begin(), t.end(), '.'));
  if (commas == 0 && points == 0) return allDigits(t) ? Evidence::kNone : Evidence::kNotNumber;
  if (commas > 0 && points > 0) {
    // The mark written last is the decimal one, the other groups thousands.
    const char decimal = t.rfind(',') > t.rfind('.') ? ',' : '.';
    const char group = decimal == ',' ? '.' : ',';
    const size_t at = t.find(decimal);
    if ((decimal == ',' ? commas : points) != 1 || !grouped(std::string_view(t).substr(0, at), group) ||
        !allDigits(std::string_view(t).substr(at + 1)))
      return Evidence::kNotNumber;
    return decimal == ',' ? Evidence::kComma : Evidence::kPoint;
  }
  const char mark = commas > 0 ? ',' : '.';
  if (commas + points > 1) {
    // Several of one mark only group thousands: the decimal mark is the other.
    if (!grouped(t, mark)) return Evidence::kNotNumber;
    return mark == ',' ? Evidence::kPoint : Evidence::kComma;
  }
  const size_t at = t.find(mark);
  const std::string_view before = std::string_view(t).substr(0, at), after = std::string_view(t).substr(at + 1);
  if (!allDigits(after) || (!before.empty() && !allDigits(before))) return Evidence::kNotNumber;
  // "1,234" may group a thousand; "0,125", "12,5" and "1234,567" cannot.
  if (after.size() == 3 && !before.empty() && before.size() <= 3 && before[0] != '0') return Evidence::kEither;
  return mark == ',' ? Evidence::kComma : Evidence::kPoint;
}

Evidence cellEvidence(const Cell& c) {
  if (c.kind != Cell::Kind::kText) return Evidence::kNotNumber;
  bool negative = false;
  return evidenceOf(numberBody(c.text, &negative));
}

DecimalMark markOf(size_t commas, size_t points) {
  if (commas > 0 && points == 0) return DecimalMark::kComma;
  if (points > 0 && commas == 0) return DecimalMark::kPoint;
  return DecimalMark::kUnknown;
}

}  // namespace

const Cell& SheetRow::at(size_t column) const {
  const auto it = std::lower_bound(cells_.begin(), cells_.end(), column,
                                   [](const std::pair<size_t, Cell>& c, size_t k) { return c.first < k; });
  return it != cells_.end() && it->first == column ? it->second : kNoCell;
}

Cell& SheetRow::set(size_t column) {
  if (cells_.empty() || cells_.back().first < column) return cells_.emplace_back(column, Cell{}).second;
  auto it = std::lower_bound(cells_.begin(), cells_.end(), column,
                             [](const std::pair<size_t, Cell>& c, size_t k) { return c.first < k; });
  if (it == cells_.end() || it->first != column) it = cells_.insert(it, {column, Cell{}});
  return it->second;
}

bool SheetRow::blank() const {
  return std::all_of(cells_.begin(), cells_.end(), [](const std::pair<size_t, Cell>& c) {
    const Cell& cell = c.second;
    return !cell.formula && (cell.empty() || (cell.kind == Cell::Kind::kText && text::clip(cell.text).empty()));
  });
}

const Cell& SheetData::at(size_t row, size_t column) const {
  if (row >= rows.size()) return kNoCell;
  return rows[row].at(column);
}

Status refuseControlCharacters(const SheetData& sheet) {
  for (size_t r = 0; r < sheet.rows.size(); ++r) {
    for (const auto& [c, cell] : sheet.rows[r].cells()) {
      const std::string& t = cell.text;
      if (const auto at = text::findControlCharacter(t))
        return Status::error(Status::Code::kInvalid, "la celda " + columnLetters(c) + std::to_string(r + 1) + " de " +
                                                         sheet.name + " tiene el carácter de control " +
                                                         text::controlCharacterName(t, *at) + ", que no es texto");
    }
  }
  return Status::ok();
}

std::optional<size_t> columnIndex(const std::string& letters) {
  if (letters.empty() || letters.size() > 3) return std::nullopt;
  size_t n = 0;
  for (char c : letters) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if (c < 'A' || c > 'Z') return std::nullopt;
    n = n * 26 + static_cast<size_t>(c - 'A' + 1);
  }
  return n - 1;
}

std::string columnLetters(size_t index) {
  std::string s;
  for (size_t c = index + 1; c > 0; c = (c - 1) / 26) s.insert(s.begin(), static_cast<char>('A' + (c - 1) % 26));
  return s;
}

std::string cellName(size_t row, size_t column) { return columnLetters(column) + std::to_string(row + 1); }

std::string headerWords(const std::string& s) {
  std::string t = text::upper(s);
  for (const auto& [accented, plain] :
       {std::pair{"Á", "A"}, {"É", "E"}, {"Í", "I"}, {"Ó", "O"}, {"Ú", "U"}, {"Ü", "U"}}) {
    for (size_t at; (at = t.find(accented)) != std::string::npos;) t.replace(at, std::strlen(accented), plain);
  }
  const size_t first = t.find_first_not_of(' ');
  return first == std::string::npos ? std::string() : text::clip(t.substr(first));
}

std::string cellText(const Cell& c) {
  if (c.kind == Cell::Kind::kNumber && c.text.empty()) {
    std::string t = text::formatFixed(c.number, 6);
    while (t.find('.') != std::string::npos && (t.back() == '0' || t.back() == '.')) t.pop_back();
    return t;
  }
  return text::clip(c.text);
}

std::optional<double> parseNumber(const std::string& text, DecimalMark mark, bool* ambiguous) {
  if (ambiguous) *ambiguous = false;
  bool negative = false;
  const std::string t = numberBody(text, &negative);
  char decimal = 0;
  switch (evidenceOf(t)) {
    case Evidence::kNotNumber: return std::nullopt;
    case Evidence::kNone: break;
    case Evidence::kPoint: decimal = '.'; break;
    case Evidence::kComma: decimal = ','; break;
    case Evidence::kEither:
      if (mark == DecimalMark::kUnknown) {
        if (ambiguous) *ambiguous = true;
        return std::nullopt;
      }
      decimal = mark == DecimalMark::kComma ? ',' : '.';
      break;
  }
  std::string plain;
  for (char c : t) {
    if (c == decimal) plain += '.';
    else if (c != ',' && c != '.') plain += c;  // grouping
  }
  double v = 0;
  const auto res = std::from_chars(plain.data(), plain.data() + plain.size(), v);  // whatever the process locale
  if (res.ec != std::errc() || res.ptr != plain.data() + plain.size()) return std::nullopt;
  return negative ? -v : v;
}

DecimalMark decimalMarkOf(const SheetData& sheet, size_t column, size_t firstRow) {
  size_t commas = 0, points = 0;
  const auto tally = [&](const Cell& c) {
    const Evidence e = cellEvidence(c);
    commas += e == Evidence::kComma;
    points += e == Evidence::kPoint;
  };
  for (size_t r = firstRow; r < sheet.rows.size(); ++r) tally(sheet.rows[r].at(column));
  if (const DecimalMark m = markOf(commas, points); m != DecimalMark::kUnknown) return m;
  commas = points = 0;
  for (const SheetRow& row : sheet.rows)
    for (const auto& [c, cell] : row.cells()) tally(cell);
  return markOf(commas, points);
}

std::optional<double> cellNumber(const SheetData& sheet, size_t row, size_t column, DecimalMark mark,
                                 const std::string& what, std::string* why) {
  const Cell& c = sheet.at(row, column);
  const std::string name = cellName(row, column);
  if (c.uncalculated()) {
    *why = "la fórmula de " + name + " no tiene su valor calculado (abra el libro y guárdelo en su hoja de cálculo)";
    return std::nullopt;
  }
  if (c.kind == Cell::Kind::kNumber) return c.number;
  if (c.kind == Cell::Kind::kEmpty || text::clip(c.text).empty()) {
    *why = "la celda " + name + " (" + what + ") está vacía";
    return std::nullopt;
  }
  bool ambiguous = false;
  if (auto v = parseNumber(c.text, mark, &ambiguous)) return v;
  const std::string shown = text::clip(c.text);
  if (ambiguous) {
    const char mark1 = shown.find(',') != std::string::npos ? ',' : '.';
    *why = std::string("no se sabe si ") + (mark1 == ',' ? "la coma" : "el punto") + " de " + shown + " en " + name +
           " separa miles o decimales: ninguna otra cifra de la columna lo dice; escríbala con sus decimales";
  } else {
    *why = what + " de " + name + " no es un número (" + shown + ")";
  }
  return std::nullopt;
}

void splitKey(const std::string& text, std::string* generic, std::string* key) {
  const std::string t = text::clip(text);
  const size_t sep = t.find_first_of(" -");
  if (sep != std::string::npos) {
    *generic = t.substr(0, sep);
    *key = text::clip(t.substr(sep + 1));
  } else {
    *generic = t.substr(0, std::min<size_t>(3, t.size()));
    *key = t.size() > 3 ? t.substr(3) : "";
  }
}

std::string shortKeyOf(const std::string& code) {
  uint64_t hash = 1469598103934665603ull;  // FNV-1a
  for (unsigned char c : code) hash = (hash ^ c) * 1099511628211ull;
  std::string key = text::truncateChars(code, 3);
  const char* digits = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";
  for (int i = 0; i < 6; ++i, hash /= 36) key += digits[hash % 36];
  return key;
}

bool parseColumnMapping(const std::string& mapping,
                        const std::vector<std::pair<const char*, std::optional<size_t>*>>& fields,
                        const std::string& example, std::string* why) {
  std::istringstream in(mapping);
  for (std::string item; std::getline(in, item, ',');) {
    const size_t eq = item.find('=');
    const std::string name = headerWords(item.substr(0, eq));
    const auto column = eq == std::string::npos ? std::nullopt : columnIndex(text::clip(item.substr(eq + 1)));
    if (!column) {
      *why = "columna no válida: " + item + " (escriba nombre=LETRA, como " + example + ")";
      return false;
    }
    bool known = false;
    for (const auto& [title, target] : fields) {
      if (name != title) continue;
      *target = column;
      known = true;
    }
    if (!known) {
      std::string names;
      for (const auto& [title, target] : fields) names += (names.empty() ? "" : ", ") + std::string(title);
      for (char& ch : names) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
      *why = "columna desconocida: " + name + " (" + names + ")";
      return false;
    }
  }
  return true;
}

}  // namespace velmora::exchange
