#include "exchange/sheet_data.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <sstream>

#include "exchange/csv_reader.h"
#include "framework/text.h"

namespace velmora::exchange {

const Cell& SheetData::at(size_t row, size_t column) const {
  static const Cell kNone;
  if (row >= rows.size() || column >= rows[row].size()) return kNone;
  return rows[row][column];
}

Status refuseControlCharacters(const SheetData& sheet) {
  for (size_t r = 0; r < sheet.rows.size(); ++r) {
    for (size_t c = 0; c < sheet.rows[r].size(); ++c) {
      const std::string& t = sheet.rows[r][c].text;
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

std::optional<double> cellNumber(const Cell& c, bool decimalComma) {
  if (c.kind == Cell::Kind::kNumber) return c.number;
  if (c.kind == Cell::Kind::kText) return parseNumber(c.text, decimalComma);
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
