#include "net/ftp_listing.h"

#include <cctype>

#include "framework/dates.h"

namespace velmora::net {

namespace {

std::string lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// The blank-separated columns of a line, each with where it starts.
struct Column {
  std::string text;
  size_t start;
};
std::vector<Column> columnsOf(const std::string& line) {
  std::vector<Column> cols;
  size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    if (i >= line.size()) break;
    const size_t start = i;
    while (i < line.size() && line[i] != ' ' && line[i] != '\t') ++i;
    cols.push_back({line.substr(start, i - start), start});
  }
  return cols;
}

int monthOf(const std::string& name) {
  static const char* kMonths[] = {"jan", "feb", "mar", "apr", "may", "jun", "jul", "aug", "sep", "oct", "nov", "dec"};
  const std::string l = lower(name);
  for (int m = 0; m < 12; ++m)
    if (l == kMonths[m]) return m + 1;
  return 0;
}

bool number(const std::string& s, int64_t& value) {
  if (s.empty() || s.size() > 18) return false;
  value = 0;
  for (char c : s) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + (c - '0');
  }
  return true;
}

bool validDate(int year, int month, int day) {
  static const int kDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return year >= 1800 && year <= 9999 && month >= 1 && month <= 12 && day >= 1 && day <= kDays[month - 1];
}

// "hh:mm" as hundredths of a second since midnight + 1.
bool clockTime(const std::string& s, int hour12Suffix, int32_t& time) {
  const size_t colon = s.find(':');
  int64_t h = 0, m = 0;
  if (colon == std::string::npos || !number(s.substr(0, colon), h) || !number(s.substr(colon + 1, 2), m)) return false;
  if (hour12Suffix != 0) {  // 1 AM, 2 PM
    if (h < 1 || h > 12) return false;
    if (h == 12) h = 0;
    if (hour12Suffix == 2) h += 12;
  }
  if (h > 23 || m > 59) return false;
  time = static_cast<int32_t>((h * 3600 + m * 60) * 100 + 1);
  return true;
}

// The rest of the line from column `index`, blanks included.
std::string restFrom(const std::string& line, const std::vector<Column>& cols, size_t index) {
  if (index >= cols.size()) return {};
  std::string rest = line.substr(cols[index].start);
  while (!rest.empty() && (rest.back() == ' ' || rest.back() == '\t')) rest.pop_back();
  return rest;
}

}  // namespace

ListingParser::ListingParser(bool fullListing, int32_t today) : full_(fullListing), today_(today) {}

bool ListingParser::feed(std::string_view data, std::vector<ListingRow>& rows) {
  partial_.append(data);
  size_t at = 0;
  for (;;) {
    const size_t lf = partial_.find('\n', at);
    if (lf == std::string::npos) break;
    std::string line = partial_.substr(at, lf - at);
    at = lf + 1;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!parseLine(std::move(line), rows)) {
      partial_.clear();
      return false;
    }
  }
  partial_.erase(0, at);
  return true;
}

bool ListingParser::finish(std::vector<ListingRow>& rows) {
  std::string last;
  last.swap(partial_);
  if (!last.empty() && last.back() == '\r') last.pop_back();
  return last.empty() || parseLine(std::move(last), rows);
}

bool ListingParser::windowsRow(const std::string& line, ListingRow& row) const {
  // mm-dd-yy  hh:mmAM  <DIR>|size  name
  const auto cols = columnsOf(line);
  if (cols.size() < 4 || line.size() < 8 || line[2] != '-' || line[5] != '-') return false;
  const std::string& date = cols[0].text;
  if ((date.size() != 8 && date.size() != 10) || date[2] != '-' || date[5] != '-') return false;
  int64_t month = 0, day = 0, year = 0;
  if (!number(date.substr(0, 2), month) || !number(date.substr(3, 2), day) || !number(date.substr(6), year))
    return false;
  if (date.size() == 8) year += year < 70 ? 2000 : 1900;
  const std::string& clock = cols[1].text;
  if (clock.size() < 3) return false;
  const std::string suffix = lower(clock.substr(clock.size() - 2));
  if (suffix != "am" && suffix != "pm") return false;
  if (!validDate(static_cast<int>(year), static_cast<int>(month), static_cast<int>(day))) return false;
  if (!clockTime(clock.substr(0, clock.size() - 2), suffix == "am" ? 1 : 2, row.time)) return false;
  row.date = dates::dayNumber(static_cast<int>(year), static_cast<int>(month), static_cast<int>(day));
  if (lower(cols[2].text) == "<dir>") {
    row.attributes = kDirectory;
    row.size = -1;
  } else if (!number(cols[2].text, row.size)) {
    return false;
  }
  row.name = restFrom(line, cols, 3);
  return true;
}

bool ListingParser::unixRow(const std::string& line, ListingRow& row) const {
  // permissions links owner [group] size month day hh:mm|yyyy name: the
  // group column is there when the month comes sixth, whatever earlier
  // lines did.
  const auto cols = columnsOf(line);
  int64_t unused = 0;
  const bool withGroup = cols.size() > 5 && monthOf(cols[5].text) && number(cols[4].text, unused);
  const size_t sizeAt = withGroup ? 4 : 3;
  if (cols.size() < sizeAt + 4) return false;
  const int month = monthOf(cols[sizeAt + 1].text);
  int64_t day = 0;
  if (month == 0 || !number(cols[sizeAt + 2].text, day) || !number(cols[sizeAt].text, row.size)) return false;
  if (cols[0].text.find('d') != std::string::npos) row.attributes = kDirectory;
  const std::string& when = cols[sizeAt + 3].text;
  int64_t year = 0;
  if (when.find(':') != std::string::npos) {
    if (!clockTime(when, 0, row.time)) return false;
    // A time means this year, unless that date lies more than a day ahead.
    year = dates::civilDate(today_).year;
    if (validDate(static_cast<int>(year), month, static_cast<int>(day)) &&
        dates::dayNumber(static_cast<int>(year), month, static_cast<int>(day)) > today_ + 1)
      --year;
  } else if (number(when, year)) {
    row.time = -1;
  } else {
    return false;
  }
  if (!validDate(static_cast<int>(year), month, static_cast<int>(day))) return false;
  row.date = dates::dayNumber(static_cast<int>(year), month, static_cast<int>(day));
  row.name = restFrom(line, cols, sizeAt + 4);
  return true;
}

bool ListingParser::parseLine(std::string line, std::vector<ListingRow>& rows) {
  const std::string l = lower(line);
  if (l.find("no such file or directory") != std::string::npos) {
    errorCode_ = 550;
    errorText_ = "No such file or directory";
    return false;
  }
  if (l.find("permission denied") != std::string::npos) {
    errorCode_ = 550;
    errorText_ = "Permission denied";
    return false;
  }
  if (!full_) {
    while (!line.empty() && (line.back() == ' ' || line.back() == '\t')) line.pop_back();
    if (!line.empty()) rows.push_back({line, 0, 0, 0, 0, line});
    return true;
  }
  if (firstLine_) {
    firstLine_ = false;
    if (l.rfind("total", 0) == 0) return true;
  }
  if (line.find_first_not_of(" \t") == std::string::npos) return true;
  const auto cols = columnsOf(line);
  if (format_ == Format::kUnknown) {
    if (line.size() > 5 && line[2] == '-' && line[5] == '-' && cols.size() >= 2 && cols[1].text.size() > 2 &&
        (lower(cols[1].text).ends_with("am") || lower(cols[1].text).ends_with("pm"))) {
      format_ = Format::kWindows;
    } else if ((cols.size() > 4 && monthOf(cols[4].text)) || (cols.size() > 5 && monthOf(cols[5].text))) {
      format_ = Format::kUnix;
    } else {
      format_ = Format::kFallback;
    }
  }
  ListingRow row;
  row.line = line;
  bool ok = false;
  switch (format_) {
    case Format::kWindows: ok = windowsRow(line, row); break;
    case Format::kUnix: ok = unixRow(line, row); break;
    default: break;
  }
  if (!ok) {
    if (cols.size() < 6) {
      errorCode_ = kUnknownFormat;
      errorText_ = "Unknown format of directory listing";
      return false;
    }
    // Fallback: the last column is the name; nothing else is known.
    row = ListingRow{cols.back().text, 0, -1, 0, 0, line, false};
  }
  if (!row.name.empty()) rows.push_back(std::move(row));
  return true;
}

}  // namespace velmora::net
