#include "reports/amount_in_words.h"

#include <cmath>

#include "framework/money.h"

namespace velmora::reports {

namespace {

constexpr const char* kUnits[] = {"", "UN", "DOS", "TRES", "CUATRO", "CINCO", "SEIS", "SIETE", "OCHO", "NUEVE"};
constexpr const char* kTeens[] = {"DIEZ",   "ONCE",        "DOCE",         "TRECE",       "CATORCE",
                                  "QUINCE", "DIEZ Y SEIS", "DIEZ Y SIETE", "DIEZ Y OCHO", "DIEZ Y NUEVE"};
constexpr const char* kTens[] = {"",          "",        "VEINTE",  "TREINTA", "CUARENTA",
                                 "CINCUENTA", "SESENTA", "SETENTA", "OCHENTA", "NOVENTA"};
constexpr const char* kHundreds[] = {"",           "CIEN",         "DOS CIENTOS", "TRES CIENTOS", "CUATRO CIENTOS",
                                     "QUINIENTOS", "SEIS CIENTOS", "SETECIENTOS", "OCHO CIENTOS", "NOVECIENTOS"};

// The words being collected, with the append rule of the wording: trailing
// blanks go before anything is added. A blank put in front of the text (a
// thousands group of a single unit) stays a leading blank even while the
// text is still empty: 1,000 reads "  UN MIL ..." with two blanks.
class Words {
 public:
  void append(const std::string& piece) {
    while (!body_.empty() && body_.back() == ' ') body_.pop_back();
    body_ += piece;
  }
  void add(const char* word) { append(std::string(" ") + word); }
  void prependBlank() { ++leading_; }
  bool empty() const { return leading_ == 0 && body_.empty(); }
  std::string text() const { return std::string(leading_, ' ') + body_; }

 private:
  size_t leading_ = 0;
  std::string body_;
};

}  // namespace

std::string layOutAmount(double amount) {
  // The cents as the decimal the amount stands for; a sign takes a leading
  // position like any other character.
  const int64_t cents = money::cents(amount);
  const int64_t whole = (cents < 0 ? -cents : cents) / 100;
  const int64_t part = (cents < 0 ? -cents : cents) % 100;
  std::string digits = std::to_string(whole) + "." + (part < 10 ? "0" : "") + std::to_string(part);
  if (cents < 0) digits.insert(0, "-");
  if (digits.size() > 16) digits = digits.substr(digits.size() - 16);  // beyond the layout: only what fits
  return std::string(16 - digits.size(), '*') + digits;
}

std::string amountInWords(const std::string& laidOut) {
  std::string field =
      laidOut.size() >= 16 ? laidOut.substr(laidOut.size() - 16) : std::string(16 - laidOut.size(), '*') + laidOut;
  // The digit at a position counted from the right end (1, 2 cents; 3 the
  // point; 4 units ...); anything that is not a digit counts as 0.
  const auto digit = [&field](int position) {
    const char c = field[field.size() - position];
    return c >= '0' && c <= '9' ? c - '0' : 0;
  };
  Words words;
  const auto tensAndUnits = [&](int tensPosition, bool thousandsGroup) {
    const int t = digit(tensPosition), u = digit(tensPosition - 1);
    if (t == 1) {
      words.add(kTeens[u]);
    } else if (t >= 2) {
      words.add(kTens[t]);
      if (u > 0) words.append(std::string(" Y ") + kUnits[u]);
    } else if (u > 0) {
      if (thousandsGroup) words.prependBlank();
      words.add(kUnits[u]);
    }
  };
  const auto hundreds = [&](int hundredsPosition) {
    const int h = digit(hundredsPosition), t = digit(hundredsPosition - 1), u = digit(hundredsPosition - 2);
    if (h > 0) words.add(kHundreds[h]);
    if (h == 1 && (t > 0 || u > 0)) words.append("TO");
  };

  // Thousands of millions: the hundreds digit only forces " MIL".
  tensAndUnits(14, true);
  if (digit(15) > 0 || digit(14) > 0 || digit(13) > 0) words.append(" MIL");
  // Millions.
  hundreds(12);
  tensAndUnits(11, false);
  if (digit(10) == 1 || !words.empty()) words.append(" MILLON");
  if (digit(10) > 1 || (!words.empty() && words.text() != " UN MILLON")) words.append("ES");
  // Thousands.
  hundreds(9);
  tensAndUnits(8, true);
  if (digit(9) > 0 || digit(8) > 0 || digit(7) > 0) words.append(" MIL");
  // Units.
  hundreds(6);
  tensAndUnits(5, false);
  if (!words.empty()) words.append(" PESOS ");

  std::string out = words.text();
  while (!out.empty() && out.back() == ' ') out.pop_back();
  out += " ";
  out += field.substr(field.size() - 2);
  out += "/100. M.N.)";
  return out;
}

}  // namespace velmora::reports
