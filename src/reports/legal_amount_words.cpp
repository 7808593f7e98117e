#include "reports/legal_amount_words.h"

#include <cmath>
#include <cstdint>

#include "framework/money.h"
#include "framework/picture.h"

namespace velmora::reports {

namespace {

// Every number here is followed by a noun (PESOS, MIL, MILLONES), so one
// and the numbers ending in one take their short form: UN, VEINTIÚN,
// TREINTA Y UN.
constexpr const char* kUnits[] = {"", "UN", "DOS", "TRES", "CUATRO", "CINCO", "SEIS", "SIETE", "OCHO", "NUEVE"};
constexpr const char* kTeens[] = {"DIEZ",   "ONCE",      "DOCE",       "TRECE",     "CATORCE",
                                  "QUINCE", "DIECISÉIS", "DIECISIETE", "DIECIOCHO", "DIECINUEVE"};
constexpr const char* kTwenties[] = {"VEINTE",      "VEINTIÚN",   "VEINTIDÓS",   "VEINTITRÉS", "VEINTICUATRO",
                                     "VEINTICINCO", "VEINTISÉIS", "VEINTISIETE", "VEINTIOCHO", "VEINTINUEVE"};
constexpr const char* kTens[] = {"",          "",        "",        "TREINTA", "CUARENTA",
                                 "CINCUENTA", "SESENTA", "SETENTA", "OCHENTA", "NOVENTA"};
constexpr const char* kHundreds[] = {"",           "CIENTO",      "DOSCIENTOS",  "TRESCIENTOS", "CUATROCIENTOS",
                                     "QUINIENTOS", "SEISCIENTOS", "SETECIENTOS", "OCHOCIENTOS", "NOVECIENTOS"};

void addWord(std::string& out, const std::string& word) {
  if (word.empty()) return;
  if (!out.empty()) out += ' ';
  out += word;
}

// 1 to 999; nothing for 0.
std::string belowThousand(int64_t n) {
  std::string out;
  const int64_t hundreds = n / 100, rest = n % 100;
  if (hundreds == 1 && rest == 0) return "CIEN";
  addWord(out, kHundreds[hundreds]);
  if (rest >= 30) {
    std::string tens = kTens[rest / 10];
    if (rest % 10 != 0) tens += std::string(" Y ") + kUnits[rest % 10];
    addWord(out, tens);
  } else if (rest >= 20) {
    addWord(out, kTwenties[rest - 20]);
  } else if (rest >= 10) {
    addWord(out, kTeens[rest - 10]);
  } else {
    addWord(out, kUnits[rest]);
  }
  return out;
}

// 1 to 999,999; nothing for 0. A thousand alone is "MIL", never "UN MIL".
std::string belowMillion(int64_t n) {
  std::string out;
  const int64_t thousands = n / 1000;
  if (thousands == 1) addWord(out, "MIL");
  else if (thousands > 1) addWord(out, belowThousand(thousands) + " MIL");
  addWord(out, belowThousand(n % 1000));
  return out;
}

// Capitals without their accents, for the firms that write them so.
std::string withoutAccents(std::string s) {
  static const std::pair<const char*, char> kPlain[] = {{"Á", 'A'}, {"É", 'E'}, {"Í", 'I'}, {"Ó", 'O'}, {"Ú", 'U'}};
  for (const auto& [accented, plain] : kPlain) {
    for (size_t at = s.find(accented); at != std::string::npos; at = s.find(accented, at + 1))
      s.replace(at, std::char_traits<char>::length(accented), 1, plain);
  }
  return s;
}

// A figure as the reports print it, without the blanks that align it.
std::string figure(double amount) {
  std::string s = picture::formatNumber(amount, "n28.2");
  s.erase(0, s.find_first_not_of(' '));
  return s;
}

}  // namespace

Status legalAmountInWords(double amount, Accents accents, std::string* words) {
  if (!std::isfinite(amount))
    return Status::error(Status::Code::kInvalid, "el importe no es un número y no se puede escribir con letra");
  // Rounded once, as the printed figure is; beyond the limit the cents
  // saturate, and are refused just the same.
  const int64_t cents = money::cents(amount);
  constexpr int64_t kLargestCents = 99'999'999'999'999;
  if (cents > kLargestCents || cents < -kLargestCents) {
    return Status::error(Status::Code::kInvalid, "el importe " + figure(amount) +
                                                     " excede el mayor que se escribe con letra (" +
                                                     figure(kLargestAmountInWords) + ")");
  }
  const int64_t magnitude = cents < 0 ? -cents : cents;
  const int64_t pesos = magnitude / 100, fraction = magnitude % 100;
  const int64_t millions = pesos / 1'000'000, rest = pesos % 1'000'000;

  std::string out;
  if (millions > 0) addWord(out, belowMillion(millions) + (millions == 1 ? " MILLÓN" : " MILLONES"));
  addWord(out, belowMillion(rest));
  if (pesos == 0) out = "CERO";
  // "UN MILLÓN DE PESOS": a whole number of millions takes "DE" before the noun.
  if (millions > 0 && rest == 0) out += " DE";
  out += pesos == 1 ? " PESO" : " PESOS";

  std::string text = "(";
  if (cents < 0) text += "MENOS ";
  text += out;
  text += ' ';
  text += static_cast<char>('0' + fraction / 10);
  text += static_cast<char>('0' + fraction % 10);
  text += "/100 M.N.)";
  *words = accents == Accents::kDropped ? withoutAccents(text) : text;
  return Status::ok();
}

}  // namespace velmora::reports
