// Exchange with other programs, headless: `importa-precios` takes a
// supplier's price list (xlsx or CSV) into one price list of the inputs;
// `importa-bc3` and `exporta-bc3` read and write the base catalogue in
// FIEBDC-3; `importa-catalogo` takes a client's catalogue of concepts into a
// work's budget, `exporta-catalogo` gives it back priced.
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

struct Bc3Options {
  int list = 0;
  std::string file;  // importa-bc3: the file read; exporta-bc3: the file written
  bool dryRun = false;
};
int runBc3ImportCommand(const tables::Installation& inst, ErrorReporter& errors, const Bc3Options& options,
                        std::ostream& out, std::ostream& err);
int runBc3ExportCommand(const tables::Installation& inst, ErrorReporter& errors, const Bc3Options& options,
                        std::ostream& out, std::ostream& err);

struct CatalogueImportOptions {
  std::string work, xlsx, sheet, columns;
  std::string output;  // exporta-catalogo: the priced workbook
  bool dryRun = false;
};
int runCatalogueImportCommand(const tables::Installation& inst, ErrorReporter& errors,
                              const CatalogueImportOptions& options, std::ostream& out, std::ostream& err);

int runCatalogueExportCommand(const tables::Installation& inst, ErrorReporter& errors,
                              const CatalogueImportOptions& options, std::ostream& out, std::ostream& err);

}  // namespace velmora::app
