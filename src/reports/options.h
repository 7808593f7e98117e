// The report options the options dialogs set and the reports read; they
// keep their values between reports while the program runs.
#pragma once

#include <cstdint>
#include <string>

namespace velmora::reports {

struct ReportOptions {
  int32_t firstAccount = 0;  // 0: no lower limit
  int32_t lastAccount = 0;   // 0: no upper limit
  int32_t firstDate = 0;
  int32_t lastDate = 0;
  std::string genericKey;
  char order = 'C';            // 'C' account, 'G' key, 'A' alphabetical
  char fullDescription = 'S';  // 'S' every 50-character piece of the long description
  char closingSummary = 'S';   // 'S' the price build-up after the direct cost
  std::string title = "TITULO PRINCIPAL REPORTE";
  std::string rangeText;
  char keyType = 'C';

  // Whether account (or row) `a` is within the range; 0 at either end
  // removes that limit.
  bool inRange(int64_t a) const {
    return (firstAccount == 0 || a >= firstAccount) && (lastAccount == 0 || a <= lastAccount);
  }
};

}  // namespace velmora::reports
