// Exchange with spreadsheets, headless: `importa-precios` takes a
// supplier's price list (xlsx or CSV) into one price list of the inputs.
#pragma once

#include <iosfwd>
#include <string>

#include "framework/error_reporter.h"
#include "tables/installation.h"

namespace velmora::app {

struct PriceImportOptions {
  int list = 0;
  std::string xlsx, sheet, csv, columns, date;
  bool dryRun = false;  // --prueba: show, write nothing
};

int runPriceImportCommand(const tables::Installation& inst, ErrorReporter& errors, const PriceImportOptions& options,
                          std::ostream& out, std::ostream& err);

}  // namespace velmora::app
