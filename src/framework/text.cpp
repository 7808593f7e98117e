#include "framework/text.h"

#include <filesystem>
#include <new>

#include "framework/money.h"

#include <algorithm>
#include <cmath>

#include <charconv>

#include <cctype>
#include <cstdint>

namespace velmora::text {
namespace {

// Unicode code points of the Windows-1252 bytes 0x80..0x9F (0 = undefined).
constexpr char32_t kCp1252High[32] = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                      0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
                                      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                      0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

void appendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

// Decodes one code point at s[i], advancing i; a malformed byte reads as
// Latin-1 so that no input is ever lost.
char32_t nextCodePoint(std::string_view s, size_t& i) {
  const auto b0 = static_cast<unsigned char>(s[i]);
  const int extra = b0 >= 0xF0 ? 3 : b0 >= 0xE0 ? 2 : b0 >= 0xC0 ? 1 : 0;
  if (extra == 0 || i + extra >= s.size()) {
    ++i;
    return b0;
  }
  char32_t cp = b0 & (0x3F >> extra);
  for (int k = 1; k <= extra; ++k) {
    const auto b = static_cast<unsigned char>(s[i + k]);
    if ((b & 0xC0) != 0x80) {
      ++i;
      return b0;
    }
    cp = (cp << 6) | (b & 0x3F);
  }
  i += extra + 1;
  return cp;
}

char32_t upperCp(char32_t cp) {
  if (cp >= 'a' && cp <= 'z') return cp - 32;
  if (cp >= 0xE0 && cp <= 0xFE && cp != 0xF7) return cp - 32;
  if (cp == 0xFF) return 0x178;
  return cp;
}

// Base letter of an upper-case Latin-1 letter, or 0 when it has no accent.
char baseLetter(char32_t cp) {
  if (cp >= 0xC0 && cp <= 0xC5) return 'A';
  if (cp == 0xC7) return 'C';
  if (cp >= 0xC8 && cp <= 0xCB) return 'E';
  if (cp >= 0xCC && cp <= 0xCF) return 'I';
  if (cp >= 0xD2 && cp <= 0xD6) return 'O';
  if (cp == 0xD8) return 'O';
  if (cp >= 0xD9 && cp <= 0xDC) return 'U';
  if (cp == 0xDD || cp == 0x178) return 'Y';
  return 0;
}

}  // namespace

std::string clip(std::string_view s) {
  size_t end = s.size();
  while (end > 0 && s[end - 1] == ' ') --end;
  return std::string(s.substr(0, end));
}

size_t charCount(std::string_view s) {
  size_t n = 0;
  for (size_t i = 0; i < s.size();) {
    nextCodePoint(s, i);
    ++n;
  }
  return n;
}

namespace {

bool isControl(char c) {
  const auto u = static_cast<unsigned char>(c);
  return u < 0x20 || u == 0x7F;
}
bool isLineBreakOrTab(char c) { return c == '\t' || c == '\n' || c == '\r'; }

}  // namespace

std::optional<size_t> findControlCharacter(std::string_view s) {
  for (size_t i = 0; i < s.size(); ++i)
    if (isControl(s[i]) && !isLineBreakOrTab(s[i])) return i;
  return std::nullopt;
}

bool holdsControlCharacters(std::string_view s) { return std::any_of(s.begin(), s.end(), isControl); }

std::string withoutControlCharacters(std::string_view s, bool lineBreaks) {
  std::string out;
  out.reserve(s.size());
  for (char c : s) {
    if (!isControl(c)) out += c;
    else if (isLineBreakOrTab(c)) out += lineBreaks ? c : ' ';
  }
  return out;
}

std::string controlCharacterName(std::string_view s, size_t offset) {
  if (offset >= s.size()) return {};
  const auto code = static_cast<unsigned char>(s[offset]);
  static const char* const kHex = "0123456789ABCDEF";
  return std::string("U+00") + kHex[code >> 4] + kHex[code & 15];
}

std::string truncateChars(std::string_view s, size_t n) {
  if (s.size() <= n) return std::string(s);  // a character takes a byte at least
  size_t i = 0;
  for (size_t count = 0; i < s.size() && count < n; ++count) nextCodePoint(s, i);
  return std::string(s.substr(0, i));
}

std::string fromCp1252(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  for (unsigned char b : bytes) {
    char32_t cp = b;
    if (b >= 0x80 && b < 0xA0) cp = kCp1252High[b - 0x80] ? kCp1252High[b - 0x80] : b;
    appendUtf8(out, cp);
  }
  return out;
}

std::string toCp1252(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  for (size_t i = 0; i < utf8.size();) {
    const char32_t cp = nextCodePoint(utf8, i);
    if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) {
      out += static_cast<char>(cp);
      continue;
    }
    char mapped = '?';
    for (int k = 0; k < 32; ++k) {
      if (kCp1252High[k] == cp) mapped = static_cast<char>(0x80 + k);
    }
    out += mapped;
  }
  return out;
}

std::string upper(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size();) {
    const auto b = static_cast<unsigned char>(s[i]);
    if (b < 0x80) {  // fast path for ASCII
      out += static_cast<char>(b >= 'a' && b <= 'z' ? b - 32 : b);
      ++i;
      continue;
    }
    appendUtf8(out, upperCp(nextCodePoint(s, i)));
  }
  return out;
}

std::string foldKey(std::string_view s) {
  const std::string up = upper(clip(s));
  if (up.empty()) return up;
  std::string primary;
  primary.reserve(up.size() + 1);
  for (size_t i = 0; i < up.size();) {
    const auto b = static_cast<unsigned char>(up[i]);
    if (b < 0x80) {
      primary += static_cast<char>(b);
      ++i;
      continue;
    }
    const char32_t cp = nextCodePoint(up, i);
    if (cp == 0xD1) {  // Ñ sorts after every N-word and before O
      primary += "N\x7F";
    } else if (char base = baseLetter(cp)) {
      primary += base;
    } else {
      appendUtf8(primary, cp);
    }
  }
  if (primary == up) return up;  // nothing folded: the text is its own key
  return primary + '\x01' + up;
}

size_t findNoCase(std::string_view haystack, std::string_view needle, size_t from) {
  if (needle.empty()) return std::string_view::npos;
  for (size_t i = from; i + needle.size() <= haystack.size(); ++i) {
    size_t k = 0;
    while (k < needle.size() && std::tolower(static_cast<unsigned char>(haystack[i + k])) ==
                                    std::tolower(static_cast<unsigned char>(needle[k]))) {
      ++k;
    }
    if (k == needle.size()) return i;
  }
  return std::string_view::npos;
}

bool equalsNoCase(std::string_view a, std::string_view b) { return a.size() == b.size() && findNoCase(a, b) == 0; }

std::string formatFixed(double value, int decimals) {
  // Far from a half at the last decimal, the shortest digits of the value and
  // the value itself round alike: the figure comes from the scaled value
  // without finding those digits. Below 1e9 the scaled value, the double and
  // its shortest digits lie within 3e-7 of one another, well inside the
  // margin kept from the half.
  static constexpr double kScale[] = {1, 10, 100, 1e3, 1e4, 1e5, 1e6};
  static constexpr uint64_t kUnits[] = {1, 10, 100, 1000, 10000, 100000, 1000000};
  if (std::isfinite(value) && decimals >= 0 && decimals <= 6) {
    const double scaled = std::fabs(value) * kScale[decimals];
    const double below = std::floor(scaled);
    const double fraction = scaled - below;
    if (scaled < 1e9 && std::fabs(fraction - 0.5) > 1e-5) {
      const auto units = static_cast<uint64_t>(below) + (fraction > 0.5 ? 1 : 0);
      std::string out = value < 0 && units != 0 ? "-" : "";
      out += std::to_string(units / kUnits[decimals]);
      if (decimals > 0) {
        const std::string part = std::to_string(units % kUnits[decimals]);
        out += '.';
        out.append(static_cast<size_t>(decimals) - part.size(), '0');
        out += part;
      }
      return out;
    }
  }
  return formatFixedByDigits(value, decimals);
}

std::string formatFixedByDigits(double value, int decimals) {
  if (!std::isfinite(value) || decimals < 0 || decimals > 30) {
    char buf[400];
    const auto res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, std::clamp(decimals, 0, 30));
    return res.ec == std::errc() ? std::string(buf, res.ptr) : "0";
  }
  // The decimal the double stands for (its shortest round-trip digits),
  // rounded half away from zero at `decimals`: the project's one rounding
  // rule, the same as money::round2 and money::cents, so a printed figure
  // and its words never differ (8,322,353.125 prints .13 and reads 13/100).
  const auto [digits, exponent] = money::shortestDigits(value);
  // value = d1.d2d3... x 10^exponent: the digits up to the last kept decimal
  // are the first (exponent + 1 + decimals).
  const int kept = exponent + 1 + decimals;
  std::string whole;  // the kept digits, as a decimal integer
  bool roundUp = false;
  if (kept >= 0) {
    for (int i = 0; i < kept; ++i) whole += i < static_cast<int>(digits.size()) ? digits[static_cast<size_t>(i)] : '0';
    roundUp = kept < static_cast<int>(digits.size()) && digits[static_cast<size_t>(kept)] >= '5';
  }
  if (whole.empty()) whole = "0";
  if (roundUp) {
    size_t i = whole.size();
    while (i > 0 && whole[i - 1] == '9') whole[--i] = '0';
    if (i == 0) whole.insert(whole.begin(), '1');
    else ++whole[i - 1];
  }
  if (static_cast<int>(whole.size()) <= decimals)
    whole.insert(0, static_cast<size_t>(decimals) + 1 - whole.size(), '0');
  const size_t firstNonZero = whole.find_first_not_of('0');
  std::string out = decimals > 0 ? whole.substr(0, whole.size() - static_cast<size_t>(decimals)) + "." +
                                       whole.substr(whole.size() - static_cast<size_t>(decimals))
                                 : whole;
  // Leading zeros of the integer part go (one stays before the point).
  const size_t lead = out.find_first_not_of('0');
  if (lead == std::string::npos || out[lead] == '.')
    out.erase(0, lead == std::string::npos ? out.size() - 1 : lead - 1);
  else out.erase(0, lead);
  if (value < 0 && firstNonZero != std::string::npos) out.insert(0, "-");
  return out;
}

std::optional<double> parseDecimal(std::string_view s) {
  if (s.empty()) return std::nullopt;
  // from_chars takes no leading '+'; digits, one point and a sign only.
  if (s.find_first_not_of("-0123456789.") != std::string_view::npos) return std::nullopt;
  double v = 0;
  const auto res = std::from_chars(s.data(), s.data() + s.size(), v, std::chars_format::fixed);
  if (res.ec != std::errc() || res.ptr != s.data() + s.size()) return std::nullopt;
  return v;
}

std::optional<int64_t> parseInteger(std::string_view s) {
  int64_t v = 0;
  const auto res = std::from_chars(s.data(), s.data() + s.size(), v);
  if (s.empty() || res.ec != std::errc() || res.ptr != s.data() + s.size()) return std::nullopt;
  return v;
}

std::string systemErrorText(std::error_code ec) {
  if (ec.category() == std::generic_category() || ec.category() == std::system_category()) {
    switch (static_cast<std::errc>(ec.value())) {
      case std::errc::no_such_file_or_directory: return "no existe";
      case std::errc::permission_denied:
      case std::errc::operation_not_permitted: return "permiso denegado";
      case std::errc::no_space_on_device: return "no queda espacio en el disco";
      case std::errc::read_only_file_system: return "el disco es de sólo lectura";
      case std::errc::file_exists: return "ya existe";
      case std::errc::not_a_directory: return "una parte de la ruta no es un directorio";
      case std::errc::is_a_directory: return "es un directorio";
      case std::errc::directory_not_empty: return "el directorio no está vacío";
      case std::errc::filename_too_long: return "el nombre es demasiado largo";
      case std::errc::too_many_symbolic_link_levels: return "demasiados enlaces simbólicos";
      case std::errc::io_error: return "error de entrada y salida del disco";
      case std::errc::not_enough_memory: return "no alcanzó la memoria";
      case std::errc::too_many_files_open:
      case std::errc::too_many_files_open_in_system: return "hay demasiados archivos abiertos";
      case std::errc::device_or_resource_busy: return "el recurso está ocupado";
      case std::errc::cross_device_link: return "no se puede mover entre discos distintos";
      default: break;
    }
  }
  return "error del sistema " + std::to_string(ec.value()) + " (" + ec.message() + ")";
}

std::string exceptionText(const std::exception& e) {
  if (dynamic_cast<const std::bad_alloc*>(&e)) return "no alcanzó la memoria para terminar; la orden se detuvo";
  if (const auto* fe = dynamic_cast<const std::filesystem::filesystem_error*>(&e)) {
    std::string where = fe->path1().string();
    if (!fe->path2().empty()) where += " o " + fe->path2().string();
    return where.empty() ? systemErrorText(fe->code()) : where + ": " + systemErrorText(fe->code());
  }
  if (const auto* se = dynamic_cast<const std::system_error*>(&e)) return systemErrorText(se->code());
  return e.what();
}

}  // namespace velmora::text
