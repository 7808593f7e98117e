// The page model of the reports: a page is a list of drawing items in page
// coordinates (points, 1/72 inch, origin at the top left corner). A report
// run lays its pages out one by one into a spool of its own (the page list),
// so memory does not grow with the number of pages; the preview, the printer,
// PDF, text and pictures all read the pages back from it.
//
// Plain C++; one painter (reports/painter.h) turns a page into pixels.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "framework/status.h"

namespace velmora::reports {

enum class Align { kLeft, kCenter, kRight };

struct Font {
  std::string family = "Helvetica";
  double size = 9;  // points
  bool bold = false;
  bool italic = false;
};

// A text placed in the box (x, y, width, height of its font): aligned in the
// box and cut at its width.
struct TextItem {
  double x = 0, y = 0, width = 0;
  Font font;
  Align align = Align::kLeft;
  std::string text;
};
struct LineItem {
  double x1 = 0, y1 = 0, x2 = 0, y2 = 0;
  double pen = 0.5;
};
struct BoxItem {
  double x = 0, y = 0, width = 0, height = 0;
  double pen = 0.5;
  uint32_t fill = 0;  // 0xRRGGBB; 0 leaves it empty
};
struct ImageItem {
  double x = 0, y = 0, width = 0, height = 0;
  std::string file;
};

struct Page {
  double width = 612, height = 792;  // letter, portrait
  std::vector<TextItem> texts;
  std::vector<LineItem> lines;
  std::vector<BoxItem> boxes;
  std::vector<ImageItem> images;
};

// The page-number placeholder a layout writes where "Hoja 3 de 12" goes.
inline constexpr const char* kPagePlaceholder = "Hoja xxxxx de xxxxx";

struct Sheet;

// The pages of one report run, kept one after another in a file of the
// run's own directory, so that a long report holds little memory. Destroying
// the spool removes its file and directory, and only those: a cancelled or
// failed run leaves nothing behind.
class Spool {
 public:
  // A new spool in a directory of its own under `parent` (default: the
  // system's temporary directory).
  explicit Spool(const std::filesystem::path& parent = {});
  ~Spool();
  Spool(const Spool&) = delete;
  Spool& operator=(const Spool&) = delete;

  Status add(const Page& page);
  size_t count() const { return pages_.size(); }
  // Page `index` (0-based), read back; nothing when its file is unreadable.
  std::optional<Page> read(size_t index) const;
  // Removes page `index` from the run.
  Status remove(size_t index);
  // Replaces the first placeholder of every page by "Hoja i de N" (viewing)
  // or "Hoja i of N" (printing without viewing), centred in its 19
  // characters. A page that cannot be read is skipped.
  Status numberPages(bool viewing);
  const std::filesystem::path& directory() const { return dir_; }
  // The spreadsheet table the layout fills beside its pages, when one is
  // wanted (the reports that have one check this).
  void setSheet(Sheet* sheet) { sheet_ = sheet; }
  Sheet* sheet() const { return sheet_; }

 private:
  // Where a page lies in the pages file.
  struct Stored {
    uint64_t offset;
    uint64_t size;
  };
  // Appends a page to the pages file.
  Status append(const Page& page, Stored& where);
  std::filesystem::path dir_;
  std::filesystem::path file_;
  std::FILE* pages_file_ = nullptr;
  uint64_t end_ = 0;
  std::vector<Stored> pages_;
  Sheet* sheet_ = nullptr;
};

// Which pages an output takes (Part of the print and save dialogs).
enum class PageSet { kAll = 1, kMarked = 2, kUnmarked = 3, kRange = 4 };
// Page indexes (0-based) of the selection; a range is 1-based and inclusive,
// limited to 1..count, and empty when from > to.
std::vector<size_t> selectPages(size_t count, const std::vector<bool>& marks, PageSet set, size_t from = 1,
                                size_t to = 0);
// The order of printing: `copies` of the selection, as whole sets when
// `collate` (1 2 3 1 2 3) or each page repeated (1 1 2 2 3 3); reversed, last
// page first, when `reverse`, whatever the number of pages.
std::vector<size_t> printOrder(const std::vector<size_t>& pages, int copies, bool collate, bool reverse);

// The preview's status text of the position: "Hoja 3 de 12", or with a grid
// of `shown` pages from `current`, "Hojas 9-10 de 10".
std::string positionText(size_t current, size_t shown, size_t count);

// A page on a character grid of `columns` x `lines` (text items only, by
// their positions), trailing blanks removed, lines joined with "\n". By
// default the grid follows the page: 132 columns across a letter page (more
// across a landscape one) and a line every 10 points.
std::string pageAsText(const Page& page, int columns = 0, int lines = 0);
// The pages `pages` of `spool` as text, one after the other, into `file`
// (created anew; written beside it and renamed when complete).
Status writeText(const Spool& spool, const std::vector<size_t>& pages, const std::filesystem::path& file);

}  // namespace velmora::reports
