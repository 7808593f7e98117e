#include "reports/page.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <random>
#include <sstream>

#include "framework/text.h"

namespace velmora::reports {

namespace fs = std::filesystem;

namespace {

// Page files are lines of tab-separated fields, one item a line; texts
// escape tab, newline and backslash.
std::string escape(const std::string& s) {
  std::string out;
  for (char c : s) {
    if (c == '\\') out += "\\\\";
    else if (c == '\t') out += "\\t";
    else if (c == '\n') out += "\\n";
    else out += c;
  }
  return out;
}

std::string unescape(const std::string& s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] != '\\' || i + 1 == s.size()) {
      out += s[i];
      continue;
    }
    const char n = s[++i];
    out += n == 't' ? '\t' : n == 'n' ? '\n' : n;
  }
  return out;
}

double toNumber(const std::string& s) {
  double v = 0;
  std::from_chars(s.data(), s.data() + s.size(), v);
  return v;
}

std::vector<std::string> split(const std::string& line) {
  std::vector<std::string> out;
  size_t start = 0;
  for (size_t i = 0; i <= line.size(); ++i) {
    if (i == line.size() || line[i] == '\t') {
      out.push_back(line.substr(start, i - start));
      start = i + 1;
    }
  }
  return out;
}

}  // namespace

Spool::Spool(const fs::path& parent) {
  std::error_code ec;
  const fs::path base = parent.empty() ? fs::temp_directory_path(ec) : parent;
  std::random_device random;
  for (int attempt = 0; attempt < 100 && dir_.empty(); ++attempt) {
    const fs::path candidate = base / ("velmora-reporte-" + std::to_string(random()) + std::to_string(attempt));
    if (fs::create_directory(candidate, ec) && !ec) dir_ = candidate;
  }
  if (dir_.empty()) return;
  file_ = dir_ / "hojas.vpg";
  pages_file_ = std::fopen(file_.c_str(), "w+b");
}

Spool::~Spool() {
  std::error_code ec;
  if (pages_file_) {
    std::fclose(pages_file_);
    fs::remove(file_, ec);
  }
  if (!dir_.empty()) fs::remove(dir_, ec);  // empty now, unless someone put something in it: then it stays
}

namespace {
// The page file is built in one string: numbers and texts appended in place.
void appendNum(std::string& out, double v) {
  char buf[32];
  // Most positions and sizes are whole points: written as integers, which
  // is several times faster than the shortest form of a double and reads
  // back as the same value.
  if (std::fabs(v) < 1e12) {
    const auto whole = static_cast<int64_t>(v);
    if (static_cast<double>(whole) == v) {
      out.append(buf, std::to_chars(buf, buf + sizeof buf, whole).ptr);
      return;
    }
    // Two decimals (a band at 86.5, a font of 6.5), when they read back as
    // exactly this value.
    const auto hundredths = static_cast<int64_t>(std::llround(v * 100));
    if (static_cast<double>(hundredths) / 100 == v) {
      const int64_t magnitude = hundredths < 0 ? -hundredths : hundredths;
      char* p = buf;
      if (hundredths < 0) *p++ = '-';
      p = std::to_chars(p, buf + sizeof buf, magnitude / 100).ptr;
      const int cents = static_cast<int>(magnitude % 100);
      *p++ = '.';
      *p++ = static_cast<char>('0' + cents / 10);
      if (cents % 10 != 0) *p++ = static_cast<char>('0' + cents % 10);
      out.append(buf, p);
      return;
    }
  }
  out.append(buf, std::to_chars(buf, buf + sizeof buf, v).ptr);
}
void appendEscaped(std::string& out, const std::string& s) {
  for (const char c : s) {
    if (c == '\\' || c == '\t' || c == '\n') {
      out += escape(s);
      return;
    }
  }
  out += s;
}
}  // namespace

namespace {
// Positions a file anywhere in it, past 2 GB too.
bool seekTo(std::FILE* f, uint64_t offset) {
#ifdef _WIN32
  return _fseeki64(f, static_cast<long long>(offset), SEEK_SET) == 0;
#else
  return fseeko(f, static_cast<off_t>(offset), SEEK_SET) == 0;
#endif
}
}  // namespace

Status Spool::append(const Page& page, Stored& where) {
  if (!pages_file_) return Status::error(Status::Code::kIoError, "no hay archivo para las hojas del reporte");
  std::string out;
  out.reserve(64 + page.texts.size() * 64 + (page.lines.size() + page.boxes.size()) * 48);
  const auto field = [&out](double v) {
    out += '\t';
    appendNum(out, v);
  };
  out += "P";
  field(page.width);
  field(page.height);
  out += '\n';
  for (const BoxItem& b : page.boxes) {
    out += "B";
    for (double v : {b.x, b.y, b.width, b.height, b.pen}) field(v);
    out += '\t';
    out += std::to_string(b.fill);
    out += '\n';
  }
  for (const LineItem& l : page.lines) {
    out += "L";
    for (double v : {l.x1, l.y1, l.x2, l.y2, l.pen}) field(v);
    out += '\n';
  }
  for (const ImageItem& i : page.images) {
    out += "I";
    for (double v : {i.x, i.y, i.width, i.height}) field(v);
    out += '\t';
    appendEscaped(out, i.file);
    out += '\n';
  }
  for (const TextItem& t : page.texts) {
    out += "T";
    for (double v : {t.x, t.y, t.width}) field(v);
    out += '\t';
    appendEscaped(out, t.font.family);
    field(t.font.size);
    out += '\t';
    out += t.font.bold ? '1' : '0';
    out += t.font.italic ? '1' : '0';
    out += '\t';
    out += std::to_string(static_cast<int>(t.align));
    out += '\t';
    appendEscaped(out, t.text);
    out += '\n';
  }
  if (!seekTo(pages_file_, end_) || std::fwrite(out.data(), 1, out.size(), pages_file_) != out.size()) {
    return Status::error(Status::Code::kIoError, "no se pudo escribir la hoja en la carpeta temporal del reporte");
  }
  where = {end_, out.size()};
  end_ += out.size();
  return Status::ok();
}

Status Spool::add(const Page& page) {
  if (dir_.empty()) return Status::error(Status::Code::kIoError, "no hay directorio para las hojas del reporte");
  Stored where{};
  if (Status s = append(page, where); !s) return s;
  pages_.push_back(where);
  return Status::ok();
}

std::optional<Page> Spool::read(size_t index) const {
  if (index >= pages_.size() || !pages_file_) return std::nullopt;
  std::string text(pages_[index].size, '\0');
  if (!seekTo(pages_file_, pages_[index].offset) ||
      std::fread(text.data(), 1, text.size(), pages_file_) != text.size()) {
    return std::nullopt;
  }
  std::istringstream in(std::move(text));
  Page page;
  std::string line;
  while (std::getline(in, line)) {
    const std::vector<std::string> f = split(line);
    if (f.empty()) continue;
    if (f[0] == "P" && f.size() >= 3) {
      page.width = toNumber(f[1]);
      page.height = toNumber(f[2]);
    } else if (f[0] == "B" && f.size() >= 7) {
      page.boxes.push_back({toNumber(f[1]), toNumber(f[2]), toNumber(f[3]), toNumber(f[4]), toNumber(f[5]),
                            static_cast<uint32_t>(toNumber(f[6]))});
    } else if (f[0] == "L" && f.size() >= 6) {
      page.lines.push_back({toNumber(f[1]), toNumber(f[2]), toNumber(f[3]), toNumber(f[4]), toNumber(f[5])});
    } else if (f[0] == "I" && f.size() >= 6) {
      page.images.push_back({toNumber(f[1]), toNumber(f[2]), toNumber(f[3]), toNumber(f[4]), unescape(f[5])});
    } else if (f[0] == "T" && f.size() >= 9) {
      TextItem t;
      t.x = toNumber(f[1]);
      t.y = toNumber(f[2]);
      t.width = toNumber(f[3]);
      t.font.family = unescape(f[4]);
      t.font.size = toNumber(f[5]);
      t.font.bold = f[6].size() > 0 && f[6][0] == '1';
      t.font.italic = f[6].size() > 1 && f[6][1] == '1';
      t.align = static_cast<Align>(std::clamp(static_cast<int>(toNumber(f[7])), 0, 2));
      t.text = unescape(f[8]);
      page.texts.push_back(std::move(t));
    }
  }
  return page;
}

Status Spool::remove(size_t index) {
  if (index >= pages_.size()) return Status::error(Status::Code::kInvalid, "no existe esa hoja");
  pages_.erase(pages_.begin() + static_cast<std::ptrdiff_t>(index));  // its text stays unread in the file
  return Status::ok();
}

Status Spool::numberPages(bool viewing) {
  const std::string placeholder = kPagePlaceholder;
  for (size_t i = 0; i < pages_.size(); ++i) {
    auto page = read(i);
    if (!page) continue;  // skipped, as an unreadable page file is
    for (TextItem& t : page->texts) {
      const size_t at = t.text.find(placeholder);
      if (at == std::string::npos) continue;
      std::string number =
          "Hoja " + std::to_string(i + 1) + (viewing ? " de " : " of ") + std::to_string(pages_.size());
      if (number.size() < placeholder.size()) {
        const size_t pad = placeholder.size() - number.size();
        number = std::string(pad / 2, ' ') + number + std::string(pad - pad / 2, ' ');
      }
      t.text.replace(at, placeholder.size(), number);
      // The numbered page is appended; the page now reads from there.
      if (Status s = append(*page, pages_[i]); !s) return s;
      break;
    }
  }
  return Status::ok();
}

std::vector<size_t> selectPages(size_t count, const std::vector<bool>& marks, PageSet set, size_t from, size_t to) {
  std::vector<size_t> out;
  const auto marked = [&marks](size_t i) { return i < marks.size() && marks[i]; };
  for (size_t i = 0; i < count; ++i) {
    switch (set) {
      case PageSet::kAll: out.push_back(i); break;
      case PageSet::kMarked:
        if (marked(i)) out.push_back(i);
        break;
      case PageSet::kUnmarked:
        if (!marked(i)) out.push_back(i);
        break;
      case PageSet::kRange: {
        const size_t first = std::clamp<size_t>(from, 1, count), last = std::min(to, count);
        if (i + 1 >= first && i + 1 <= last && from <= to) out.push_back(i);
        break;
      }
    }
  }
  return out;
}

std::vector<size_t> printOrder(const std::vector<size_t>& pages, int copies, bool collate, bool reverse) {
  std::vector<size_t> order = pages;
  if (reverse && order.size() > 1) std::reverse(order.begin(), order.end());
  const size_t n = static_cast<size_t>(std::max(copies, 1));
  std::vector<size_t> out;
  out.reserve(order.size() * n);
  if (collate) {
    for (size_t c = 0; c < n; ++c) out.insert(out.end(), order.begin(), order.end());
  } else {
    for (size_t p : order) out.insert(out.end(), n, p);
  }
  return out;
}

std::string positionText(size_t current, size_t shown, size_t count) {
  const size_t last = std::min(current + std::max<size_t>(shown, 1) - 1, count);
  if (shown <= 1 || last == current) return "Hoja " + std::to_string(current) + " de " + std::to_string(count);
  return "Hojas " + std::to_string(current) + "-" + std::to_string(last) + " de " + std::to_string(count);
}

std::string pageAsText(const Page& page, int columns, int lines) {
  if (columns <= 0) columns = std::max(1, static_cast<int>(page.width * 132 / 612 + 0.5));
  if (lines <= 0) lines = std::max(1, static_cast<int>(page.height / 10 + 0.5));  // a printed line is 10 points
  // One grid cell a character; a text goes to the cell of its left edge (of
  // its right edge for right-aligned texts), cut at its width. A
  // right-aligned text (a figure) is never cut: wider than its box, it
  // reaches left over blank cells, or takes the line below when they are
  // not blank, so 10,860,855,882.98 never prints as "10,860,855,882.".
  std::vector<std::vector<std::string>> grid(static_cast<size_t>(lines), std::vector<std::string>(columns, " "));
  const double cellWidth = page.width / columns, cellHeight = page.height / lines;
  struct Placed {
    int line, column;
    std::vector<std::string> chars;
    int boxStart;  // the first cell of its own box
  };
  std::vector<Placed> wide;
  const auto put = [&](const Placed& p) {
    for (size_t k = 0; k < p.chars.size(); ++k) {
      const int c = p.column + static_cast<int>(k);
      if (c >= 0 && c < columns) grid[static_cast<size_t>(p.line)][static_cast<size_t>(c)] = p.chars[k];
    }
  };
  for (const TextItem& t : page.texts) {
    const int line = std::clamp(static_cast<int>(t.y / cellHeight + 0.5), 0, lines - 1);
    const size_t room = t.width > 0 ? static_cast<size_t>(t.width / cellWidth + 0.5) : SIZE_MAX;
    const bool figure = t.align == Align::kRight && t.width > 0;
    // The characters of the text (UTF-8), cut at the text's width but a figure's.
    std::vector<std::string> chars;
    for (size_t i = 0; i < t.text.size() && (figure || chars.size() < room); ++i) {
      const unsigned char c = static_cast<unsigned char>(t.text[i]);
      if ((c & 0xC0) == 0x80 && !chars.empty()) chars.back() += t.text[i];
      else chars.emplace_back(1, t.text[i]);
    }
    const int length = static_cast<int>(chars.size());
    int column = static_cast<int>(t.x / cellWidth + 0.5);
    if (figure) column = static_cast<int>((t.x + t.width) / cellWidth + 0.5) - length;
    if (t.align == Align::kCenter && t.width > 0)
      column = static_cast<int>((t.x + t.width / 2) / cellWidth + 0.5) - length / 2;
    Placed p{line, column, std::move(chars), static_cast<int>(t.x / cellWidth + 0.5)};
    if (figure && static_cast<size_t>(length) > room) wide.push_back(std::move(p));
    else put(p);
  }
  const auto blank = [&](int line, int from, int to) {
    for (int c = std::max(0, from); c < std::min(to, columns); ++c)
      if (grid[static_cast<size_t>(line)][static_cast<size_t>(c)] != " ") return false;
    return true;
  };
  for (Placed& p : wide) {
    // The cells left of its box must be free; else the figure goes whole on
    // the line below (or above), where its cells are free.
    if (!blank(p.line, p.column, p.boxStart)) {
      const int end = p.column + static_cast<int>(p.chars.size());
      for (int other : {p.line + 1, p.line - 1}) {
        if (other >= 0 && other < lines && blank(other, p.column, end)) {
          p.line = other;
          break;
        }
      }
    }
    put(p);
  }
  std::string out;
  for (size_t l = 0; l < grid.size(); ++l) {
    std::string row;
    for (const std::string& cell : grid[l]) row += cell;
    while (!row.empty() && row.back() == ' ') row.pop_back();
    out += row;
    if (l + 1 < grid.size()) out += "\n";
  }
  while (!out.empty() && out.back() == '\n') out.pop_back();
  return out;
}

Status writeText(const Spool& spool, const std::vector<size_t>& pages, const fs::path& file) {
  const fs::path partial = file.string() + ".parcial";
  {
    std::ofstream out(partial, std::ios::binary | std::ios::trunc);
    for (size_t i = 0; i < pages.size(); ++i) {
      const auto page = spool.read(pages[i]);
      if (!page) continue;
      out << pageAsText(*page) << "\n";
      if (i + 1 < pages.size()) out << "\f\n";  // a form feed between pages
    }
    out.close();
    if (!out) {
      std::error_code ec;
      fs::remove(partial, ec);
      return Status::error(Status::Code::kIoError, "no se pudo escribir " + file.string());
    }
  }
  std::error_code ec;
  fs::rename(partial, file, ec);
  if (ec) return Status::error(Status::Code::kIoError, "no se pudo escribir " + file.string());
  return Status::ok();
}

}  // namespace velmora::reports
