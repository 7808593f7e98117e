// The rows of an FTP directory listing: Windows ("01-15-26  10:30AM  <DIR>
// name") and Unix ("-rw-r--r-- 1 owner [group] size Mon dd hh:mm|yyyy name")
// styles recognised from the first line (each Unix line with or without its
// group column), a fallback for other long lines, and NLST listings of bare
// names.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace velmora::net {

struct ListingRow {
  std::string name;
  int32_t date = 0;        // day number; 0 unknown
  int32_t time = 0;        // hundredths of a second since midnight + 1; -1 unknown
  int64_t size = 0;        // -1 for a directory
  uint8_t attributes = 0;  // 16: a directory
  std::string line;        // the raw line
  // False for a line of no known form: only its last column is taken as a
  // name, and its size and date are unknown, so it cannot be judged.
  bool understood = true;
};

class ListingParser {
 public:
  static constexpr uint8_t kDirectory = 16;
  static constexpr int kUnknownFormat = -654;

  // `fullListing`: LIST lines; otherwise NLST names. `today` decides the
  // year of Unix lines that show a time.
  ListingParser(bool fullListing, int32_t today);

  // Parses the complete lines of `data` (an incomplete last line waits for
  // more). False at an error line: errorCode() and errorText() say which.
  bool feed(std::string_view data, std::vector<ListingRow>& rows);
  // The data ended: parses a last line without its break.
  bool finish(std::vector<ListingRow>& rows);

  int errorCode() const { return errorCode_; }
  const std::string& errorText() const { return errorText_; }

 private:
  enum class Format { kUnknown, kWindows, kUnix, kFallback };
  bool parseLine(std::string line, std::vector<ListingRow>& rows);
  bool windowsRow(const std::string& line, ListingRow& row) const;
  bool unixRow(const std::string& line, ListingRow& row) const;

  bool full_;
  int32_t today_;
  Format format_ = Format::kUnknown;
  bool firstLine_ = true;
  std::string partial_;
  int errorCode_ = 0;
  std::string errorText_;
};

}  // namespace velmora::net
