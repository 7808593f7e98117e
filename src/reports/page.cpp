#include "reports/page.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <random>

namespace velmora::reports {

namespace fs = std::filesystem;

namespace {

// A page is stored as its items in binary, each list preceded by its
// length: numbers as their eight bytes, texts as a length and their bytes.
// The file is the run's own and never outlives it, so it needs no portable
// form; reading checks every length against what is left.
class PageEncoder {
 public:
  explicit PageEncoder(std::string& out) : out_(out) {}
  void number(double v) { raw(&v, sizeof v); }
  void count(uint32_t n) { raw(&n, sizeof n); }
  void text(const std::string& t) {
    count(static_cast<uint32_t>(t.size()));
    out_.append(t);
  }

 private:
  void raw(const void* p, size_t n) { out_.append(static_cast<const char*>(p), n); }
  std::string& out_;
};

class PageDecoder {
 public:
  explicit PageDecoder(const std::string& in) : in_(in) {}
  bool number(double* v) { return raw(v, sizeof *v); }
  bool count(uint32_t* n) { return raw(n, sizeof *n); }
  bool text(std::string* t) {
    uint32_t n = 0;
    if (!count(&n) || n > in_.size() - at_) return false;
    t->assign(in_, at_, n);
    at_ += n;
    return true;
  }
  // Whether `n` items of at least `size` bytes each can still be there.
  bool holds(uint32_t n, size_t size) const { return n <= (in_.size() - at_) / size; }

 private:
  bool raw(void* p, size_t n) {
    if (n > in_.size() - at_) return false;
    std::memcpy(p, in_.data() + at_, n);
    at_ += n;
    return true;
  }
  const std::string& in_;
  size_t at_ = 0;
};

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
  out.reserve(64 + page.texts.size() * 80 + (page.lines.size() + page.boxes.size()) * 48);
  PageEncoder w(out);
  w.number(page.width);
  w.number(page.height);
  w.count(static_cast<uint32_t>(page.boxes.size()));
  for (const BoxItem& b : page.boxes) {
    for (double v : {b.x, b.y, b.width, b.height, b.pen}) w.number(v);
    w.count(b.fill);
  }
  w.count(static_cast<uint32_t>(page.lines.size()));
  for (const LineItem& l : page.lines) {
    for (double v : {l.x1, l.y1, l.x2, l.y2, l.pen}) w.number(v);
  }
  w.count(static_cast<uint32_t>(page.images.size()));
  for (const ImageItem& i : page.images) {
    for (double v : {i.x, i.y, i.width, i.height}) w.number(v);
    w.text(i.file);
  }
  w.count(static_cast<uint32_t>(page.texts.size()));
  for (const TextItem& t : page.texts) {
    for (double v : {t.x, t.y, t.width, t.font.size}) w.number(v);
    w.count((t.font.bold ? 1u : 0u) | (t.font.italic ? 2u : 0u) | (static_cast<uint32_t>(t.align) << 2));
    w.text(t.font.family);
    w.text(t.text);
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
  PageDecoder r(text);
  Page page;
  uint32_t n = 0;
  if (!r.number(&page.width) || !r.number(&page.height) || !r.count(&n) || !r.holds(n, 44)) return std::nullopt;
  page.boxes.resize(n);
  for (BoxItem& b : page.boxes) {
    if (!r.number(&b.x) || !r.number(&b.y) || !r.number(&b.width) || !r.number(&b.height) || !r.number(&b.pen) ||
        !r.count(&b.fill)) {
      return std::nullopt;
    }
  }
  if (!r.count(&n) || !r.holds(n, 40)) return std::nullopt;
  page.lines.resize(n);
  for (LineItem& l : page.lines) {
    if (!r.number(&l.x1) || !r.number(&l.y1) || !r.number(&l.x2) || !r.number(&l.y2) || !r.number(&l.pen))
      return std::nullopt;
  }
  if (!r.count(&n) || !r.holds(n, 36)) return std::nullopt;
  page.images.resize(n);
  for (ImageItem& i : page.images) {
    if (!r.number(&i.x) || !r.number(&i.y) || !r.number(&i.width) || !r.number(&i.height) || !r.text(&i.file))
      return std::nullopt;
  }
  if (!r.count(&n) || !r.holds(n, 44)) return std::nullopt;
  page.texts.resize(n);
  for (TextItem& t : page.texts) {
    uint32_t style = 0;
    if (!r.number(&t.x) || !r.number(&t.y) || !r.number(&t.width) || !r.number(&t.font.size) || !r.count(&style) ||
        !r.text(&t.font.family) || !r.text(&t.text)) {
      return std::nullopt;
    }
    t.font.bold = (style & 1u) != 0;
    t.font.italic = (style & 2u) != 0;
    t.align = static_cast<Align>(std::min<uint32_t>(style >> 2, 2));
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
