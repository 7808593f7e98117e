#include "exchange/sheet_data.h"

namespace velmora::exchange {

const Cell& SheetData::at(size_t row, size_t column) const {
  static const Cell kNone;
  if (row >= rows.size() || column >= rows[row].size()) return kNone;
  return rows[row][column];
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

}  // namespace velmora::exchange
