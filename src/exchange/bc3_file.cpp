#include "exchange/bc3_file.h"

#include <iconv.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <memory>

#include "framework/dates.h"
#include "framework/text.h"

namespace velmora::exchange {

const Bc3Concept* Bc3File::find(const std::string& code) const {
  auto it = byCode.find(code);
  return it == byCode.end() ? nullptr : &concepts[it->second];
}

namespace {

struct Record {
  std::vector<std::string_view> fields;  // fields[0] is the record's letter(s)
  size_t line = 0;
};

// The records of the file, split at every '~' (no field may hold one) and
// into fields at '|'. Line ends between records are not part of them.
std::vector<Record> splitRecords(std::string_view bytes) {
  std::vector<Record> records;
  size_t line = 1;
  size_t i = bytes.find('~');
  for (size_t k = 0; k < i && i != std::string_view::npos; ++k)
    if (bytes[k] == '\n') ++line;
  while (i != std::string_view::npos) {
    const size_t end = bytes.find('~', i + 1);
    std::string_view body = bytes.substr(i + 1, end == std::string_view::npos ? std::string_view::npos : end - i - 1);
    Record r;
    r.line = line;
    for (char c : body)
      if (c == '\n') ++line;
    while (!body.empty() && (body.back() == '\n' || body.back() == '\r' || body.back() == ' ' || body.back() == 0x1a))
      body.remove_suffix(1);
    size_t start = 0;
    while (true) {
      const size_t bar = body.find('|', start);
      r.fields.push_back(body.substr(start, bar == std::string_view::npos ? std::string_view::npos : bar - start));
      if (bar == std::string_view::npos) break;
      start = bar + 1;
    }
    // "~C|a|b|" ends with an empty field after the last bar: not a field.
    if (r.fields.size() > 1 && r.fields.back().empty()) r.fields.pop_back();
    records.push_back(std::move(r));
    i = end;
  }
  return records;
}

std::vector<std::string_view> subfields(std::string_view field) {
  std::vector<std::string_view> out;
  size_t start = 0;
  while (true) {
    const size_t slash = field.find('\\', start);
    out.push_back(field.substr(start, slash == std::string_view::npos ? std::string_view::npos : slash - start));
    if (slash == std::string_view::npos) break;
    start = slash + 1;
  }
  if (out.size() > 1 && out.back().empty()) out.pop_back();
  return out;
}

std::string trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r' || s.back() == '\n'))
    s.remove_suffix(1);
  return std::string(s);
}

// DOS code pages through the C library's iconv.
class Decoder {
 public:
  explicit Decoder(Bc3Charset charset) : charset_(charset) {
    if (charset == Bc3Charset::k850) cd_ = iconv_open("UTF-8", "CP850");
    if (charset == Bc3Charset::k437) cd_ = iconv_open("UTF-8", "CP437");
  }
  ~Decoder() {
    if (cd_ != reinterpret_cast<iconv_t>(-1)) iconv_close(cd_);
  }
  Decoder(const Decoder&) = delete;
  Decoder& operator=(const Decoder&) = delete;
  bool usable() const {
    return charset_ == Bc3Charset::kAnsi || charset_ == Bc3Charset::kUtf8 || cd_ != reinterpret_cast<iconv_t>(-1);
  }

  std::string operator()(std::string_view bytes) const {
    bool ascii = true;
    for (unsigned char c : bytes) ascii = ascii && c < 0x80;
    if (ascii) return std::string(bytes);
    if (charset_ == Bc3Charset::kAnsi) return text::fromCp1252(bytes);
    if (charset_ == Bc3Charset::kUtf8) return std::string(bytes);
    std::string out(bytes.size() * 4, '\0');
    char* in = const_cast<char*>(bytes.data());
    size_t inLeft = bytes.size();
    char* to = out.data();
    size_t outLeft = out.size();
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    while (inLeft > 0 && iconv(cd_, &in, &inLeft, &to, &outLeft) == static_cast<size_t>(-1)) {
      if (inLeft == 0 || outLeft < 4) break;
      ++in;  // a byte the code page does not define: skipped as '?'
      --inLeft;
      *to++ = '?';
      --outLeft;
    }
    out.resize(out.size() - outLeft);
    return out;
  }

 private:
  Bc3Charset charset_;
  iconv_t cd_ = reinterpret_cast<iconv_t>(-1);
};

Status lineError(size_t line, const std::string& what) {
  return Status::error(Status::Code::kInvalid, "línea " + std::to_string(line) + ": " + what);
}

bool parseNumber(std::string_view field, double* value) {
  const std::string t = trim(field);
  if (t.empty()) return true;  // the default stays
  auto v = text::parseDecimal(t);
  if (!v || !std::isfinite(*v)) return false;
  *value = *v;
  return true;
}

Bc3Charset charsetOf(const std::string& name) {
  const std::string n = text::upper(name);
  if (n == "ANSI" || n == "1252" || n == "WINDOWS-1252") return Bc3Charset::kAnsi;
  if (n == "437") return Bc3Charset::k437;
  if (n == "UTF-8" || n == "UTF8") return Bc3Charset::kUtf8;
  return Bc3Charset::k850;  // the format's default
}

// Splits "CODE##" into the code and its marks.
std::string codeAndMarks(std::string code, int* marks) {
  *marks = 0;
  while (!code.empty() && code.back() == '#') {
    code.pop_back();
    ++*marks;
  }
  if (*marks > 2) *marks = 2;
  return code;
}

Status checkCode(const std::string& code, size_t line) {
  if (code.empty()) return lineError(line, "falta el código");
  if (text::charCount(code) > kBc3MaxCodeChars)
    return lineError(
        line, "código de más de " + std::to_string(kBc3MaxCodeChars) + " caracteres: " + text::truncateChars(code, 30));
  for (unsigned char c : code)
    if (c < 0x20 || c == '#') return lineError(line, "código con caracteres no válidos: " + code);
  return Status::ok();
}

}  // namespace

int32_t parseBc3Date(std::string_view raw) {
  const std::string t = trim(raw);
  if (t.empty()) return 0;
  for (char c : t)
    if (c < '0' || c > '9') return -1;
  std::string s = t;
  if (s.size() == 7 || s.size() == 5) s = "0" + s;  // a day without its leading zero
  int day, month, year;
  if (s.size() == 8) {
    day = std::stoi(s.substr(0, 2));
    month = std::stoi(s.substr(2, 2));
    year = std::stoi(s.substr(4, 4));
  } else if (s.size() == 6) {
    day = std::stoi(s.substr(0, 2));
    month = std::stoi(s.substr(2, 2));
    const int yy = std::stoi(s.substr(4, 2));
    year = yy >= 80 ? 1900 + yy : 2000 + yy;
  } else {
    return -1;
  }
  if (day == 0) day = 1;  // a month without its day
  if (month < 1 || month > 12 || day > 31 || year < 1900 || year > 9999) return -1;
  const int32_t n = dates::dayNumber(year, month, day);
  const auto back = dates::civilDate(n);
  if (back.day != day || back.month != month) return -1;  // 31/02
  return n;
}

std::string formatBc3Date(int32_t day) {
  if (day <= 0) return {};
  const auto d = dates::civilDate(day);
  std::string out(8, '0');
  const int parts[3] = {d.day * 100 + d.month, d.year / 100, d.year % 100};  // DDMM, AA, AA
  out[0] = static_cast<char>('0' + parts[0] / 1000);
  out[1] = static_cast<char>('0' + parts[0] / 100 % 10);
  out[2] = static_cast<char>('0' + parts[0] / 10 % 10);
  out[3] = static_cast<char>('0' + parts[0] % 10);
  out[4] = static_cast<char>('0' + parts[1] / 10 % 10);
  out[5] = static_cast<char>('0' + parts[1] % 10);
  out[6] = static_cast<char>('0' + parts[2] / 10);
  out[7] = static_cast<char>('0' + parts[2] % 10);
  return out;
}

Status readBc3(std::string_view bytes, Bc3File* file) {
  *file = Bc3File{};
  if (bytes.size() > kBc3MaxBytes) return lineError(1, "el archivo pasa de 256 MB");
  if (bytes.size() >= 2 && ((bytes[0] == '\xFF' && bytes[1] == '\xFE') || (bytes[0] == '\xFE' && bytes[1] == '\xFF')))
    return lineError(1, "el archivo está en UTF-16; FIEBDC-3 se escribe en ANSI, 850 o 437");
  if (const size_t nul = bytes.find('\0'); nul != std::string_view::npos) {
    const size_t line = 1 + static_cast<size_t>(std::count(bytes.begin(), bytes.begin() + nul, '\n'));
    return lineError(line, "no es un archivo FIEBDC-3 de texto: tiene el carácter de control " +
                               text::controlCharacterName(bytes, nul) + " (UTF-16 o binario)");
  }
  if (const auto at =
          text::findControlCharacter(bytes.substr(0, bytes.find_last_not_of('\x1A') + 1)))  // DOS's end mark
    return lineError(1 + std::count(bytes.begin(), bytes.begin() + *at, '\n'),
                     "tiene el carácter de control " + text::controlCharacterName(bytes, *at) + ", que no es texto");
  const std::vector<Record> records = splitRecords(bytes);
  if (records.empty()) return lineError(1, "no es un archivo FIEBDC-3: no tiene registros");

  for (const Record& r : records) {
    if (r.fields[0] == "V") {
      if (r.fields.size() > 3) file->program = trim(r.fields[3]);
      file->charset = charsetOf(r.fields.size() > 5 ? trim(r.fields[5]) : std::string());
      break;
    }
  }
  const Decoder decode(file->charset);
  if (!decode.usable()) return lineError(1, "el sistema no puede leer el juego de caracteres del archivo");

  // ~C first, so that ~D and ~T may come before or after their concept.
  for (const Record& r : records) {
    if (r.fields[0] != "C") continue;
    if (r.fields.size() < 2) return lineError(r.line, "registro ~C sin código");
    Bc3Concept c;
    c.line = r.line;
    const auto codes = subfields(r.fields[1]);
    c.code = codeAndMarks(trim(decode(codes[0])), &c.marks);
    if (Status s = checkCode(c.code, r.line); !s) return s;
    for (size_t k = 1; k < codes.size(); ++k) {
      int marks = 0;
      std::string synonym = codeAndMarks(trim(decode(codes[k])), &marks);
      if (synonym.empty()) continue;
      if (Status s = checkCode(synonym, r.line); !s) return s;
      c.synonyms.push_back(std::move(synonym));
    }
    if (r.fields.size() > 2) c.unit = trim(decode(r.fields[2]));
    if (r.fields.size() > 3) c.summary = trim(decode(r.fields[3]));
    if (r.fields.size() > 4 && !trim(r.fields[4]).empty()) {
      // Several prices are several scopes; the first is the catalogue's.
      if (!parseNumber(subfields(r.fields[4])[0], &c.price))
        return lineError(r.line, "precio no numérico: " + trim(decode(r.fields[4])));
    }
    if (r.fields.size() > 5 && !trim(r.fields[5]).empty()) {
      c.date = parseBc3Date(subfields(r.fields[5])[0]);
      if (c.date < 0) return lineError(r.line, "fecha no válida: " + trim(decode(r.fields[5])));
    }
    if (r.fields.size() > 6 && !trim(r.fields[6]).empty()) {
      auto type = text::parseInteger(trim(r.fields[6]));
      if (!type || *type < 0 || *type > 5) return lineError(r.line, "tipo no válido: " + trim(decode(r.fields[6])));
      c.type = static_cast<int>(*type);
    }
    if (file->byCode.count(c.code)) return lineError(r.line, "el código " + c.code + " ya se definió antes");
    file->byCode.emplace(c.code, file->concepts.size());
    file->concepts.push_back(std::move(c));
  }

  for (const Record& r : records) {
    const std::string_view kind = r.fields[0];
    if (kind == "K") {
      // The 2002 layout's third field (DRC\DC\...) wins over the first.
      double quantity = file->quantityDecimals, price = file->priceDecimals;
      if (r.fields.size() > 3) {
        const auto d = subfields(r.fields[3]);
        if ((!d.empty() && !parseNumber(d[0], &quantity)) || (d.size() > 1 && !parseNumber(d[1], &price)))
          return lineError(r.line, "registro ~K con decimales no numéricos");
      } else if (r.fields.size() > 1) {
        const auto d = subfields(r.fields[1]);
        if ((d.size() > 3 && !parseNumber(d[3], &quantity)) || (d.size() > 5 && !parseNumber(d[5], &price)))
          return lineError(r.line, "registro ~K con decimales no numéricos");
      }
      if (quantity < 0 || quantity > 12 || price < 0 || price > 12)
        return lineError(r.line, "registro ~K con decimales fuera de 0 a 12");
      file->quantityDecimals = static_cast<int>(quantity);
      file->priceDecimals = static_cast<int>(price);
    } else if (kind == "D") {
      if (r.fields.size() < 2) return lineError(r.line, "registro ~D sin concepto");
      int marks = 0;
      const std::string parent = codeAndMarks(trim(decode(r.fields[1])), &marks);
      auto it = file->byCode.find(parent);
      if (it == file->byCode.end()) return lineError(r.line, "descomposición de un código sin registro ~C: " + parent);
      Bc3Concept& c = file->concepts[it->second];
      if (c.childrenLine != 0)
        return lineError(r.line, "el código " + parent + " ya tiene su descomposición en la línea " +
                                     std::to_string(c.childrenLine));
      c.childrenLine = r.line;
      const auto parts = r.fields.size() > 2 ? subfields(r.fields[2]) : std::vector<std::string_view>{};
      for (size_t k = 0; k < parts.size(); k += 3) {
        Bc3Child child;
        child.code = codeAndMarks(trim(decode(parts[k])), &child.marks);
        if (child.code.empty() && k + 1 >= parts.size()) break;  // a trailing '\'
        if (Status s = checkCode(child.code, r.line); !s) return s;
        if (k + 1 < parts.size() && !parseNumber(parts[k + 1], &child.factor))
          return lineError(r.line, "factor no numérico del hijo " + child.code);
        if (k + 2 < parts.size() && !parseNumber(parts[k + 2], &child.quantity))
          return lineError(r.line, "cantidad no numérica del hijo " + child.code);
        if (std::fabs(child.factor * child.quantity) > 1e9)
          return lineError(r.line, "cantidad desmedida del hijo " + child.code);
        if (c.children.size() >= kBc3MaxChildren) return lineError(r.line, "demasiados hijos en una descomposición");
        c.children.push_back(std::move(child));
      }
    } else if (kind == "M" || kind == "N") {
      if (file->measurements++ == 0) file->firstMeasurementLine = r.line;
    } else if (kind == "T") {
      if (r.fields.size() < 2) return lineError(r.line, "registro ~T sin concepto");
      int marks = 0;
      const std::string code = codeAndMarks(trim(decode(r.fields[1])), &marks);
      auto it = file->byCode.find(code);
      if (it == file->byCode.end()) return lineError(r.line, "texto de un código sin registro ~C: " + code);
      std::string body = r.fields.size() > 2 ? decode(r.fields[2]) : std::string();
      std::string clean;
      for (size_t k = 0; k < body.size(); ++k) {
        if (body[k] == '\r') continue;  // CR LF inside the text: one line end
        clean += body[k];
      }
      while (!clean.empty() && (clean.back() == '\n' || clean.back() == ' ')) clean.pop_back();
      file->concepts[it->second].longText = std::move(clean);
    }
  }
  if (file->concepts.empty()) return lineError(1, "no es un catálogo FIEBDC-3: no tiene ningún concepto (~C)");
  return Status::ok();
}

namespace {

// A number rounded to `decimals` places (the project's rounding, on its
// decimal digits), without the zeros after them: a price computed as
// 2957.0600000000004 is written 2957.06, never with binary noise.
std::string plainNumber(double v, int decimals) {
  if (!std::isfinite(v)) return "0";
  std::string t = text::formatFixed(v, decimals);
  if (t.find('.') != std::string::npos) {
    while (t.back() == '0') t.pop_back();
    if (t.back() == '.') t.pop_back();
  }
  return t == "-0" ? "0" : t;
}

// Field text with the format's separators taken out, in Windows-1252.
void appendField(std::string& out, std::string_view s) {
  bool plain = true;
  for (unsigned char c : s) plain = plain && c >= 0x20 && c < 0x80 && c != '|' && c != '\\' && c != '~';
  if (plain) {
    out += s;
    return;
  }
  std::string clean(s);
  for (char& c : clean)
    if (c == '|' || c == '\\' || c == '~' || c == '\r' || c == '\n') c = ' ';
  out += text::toCp1252(clean);
}

void appendCode(std::string& out, std::string_view code, int marks) {
  appendField(out, code);
  out.append(static_cast<size_t>(marks), '#');
}

}  // namespace

std::string writeBc3(const Bc3File& file) {
  std::string out;
  out.reserve(file.concepts.size() * 120);
  out += "~V||FIEBDC-3/2016|";
  appendField(out, file.program);
  out += "||ANSI||1|\r\n";
  // Decimals, in the 2002 layout: quantity (DRC), price (DC), then the rest.
  out += "~K|\\|0\\0\\0\\0\\0\\|" + std::to_string(file.quantityDecimals) + "\\" + std::to_string(file.priceDecimals) +
         "\\2\\2\\2\\2\\2\\2\\2\\2\\2\\2\\2\\MXN\\|\r\n";
  for (const Bc3Concept& c : file.concepts) {
    out += "~C|";
    appendCode(out, c.code, c.marks);
    for (const auto& s : c.synonyms) {
      out += '\\';
      appendField(out, s);
    }
    out += '|';
    appendField(out, c.unit);
    out += '|';
    appendField(out, c.summary);
    out += '|';
    out += plainNumber(c.price, file.priceDecimals);
    out += '|';
    out += formatBc3Date(c.date);
    out += '|';
    out += std::to_string(c.type);
    out += "|\r\n";
    if (!c.children.empty()) {
      out += "~D|";
      appendCode(out, c.code, c.marks);
      out += '|';
      for (const Bc3Child& child : c.children) {
        appendCode(out, child.code, child.marks);
        out += '\\';
        out += plainNumber(child.factor, file.quantityDecimals);
        out += '\\';
        out += plainNumber(child.quantity, file.quantityDecimals);
        out += '\\';
      }
      out += "|\r\n";
    }
    if (!c.longText.empty()) {
      std::string body;
      for (char ch : c.longText) {
        if (ch == '\n') body += "\r\n";
        else body += (ch == '|' || ch == '\\' || ch == '~') ? ' ' : ch;
      }
      out += "~T|";
      appendCode(out, c.code, c.marks);
      out += '|';
      out += text::toCp1252(body);
      out += "|\r\n";
    }
  }
  return out;
}

}  // namespace velmora::exchange
