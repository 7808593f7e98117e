// The base catalogue in FIEBDC-3: written from one price list, read into
// one price list.
//
// How our catalogue maps onto the format:
// - codes carry the record's table and account: "I10001" an input, "M500" a
//   machine, "C800" a concept; the user's key goes with it as a synonym code
//   ("~C|I10001\CEM-030|"), the generic key is the chapter ("MAT#") that
//   holds the record, under the root "BASE##";
// - an input is of type 3 (material) or 1 (labour); a percentage input has a
//   code ending in '%' ("I30002%", type 3 over materials, 1 over labour); a
//   line that is only a percentage is a child "MAT%" or "MO%"; percentages
//   are written in per cent, as our lines hold them;
// - prices are the ones the analyses use: labour at its real wage in the
//   list's zone, a machine at its hourly cost, a concept at its unit price;
//   dates are the input's date in that list;
// - an input's second description line, a machine's second line and a
//   concept's long description are the ~T text.
//
// Reading accepts other programs' files too: a code of another form is
// matched with our key of the same kind, or takes the next free account;
// type 2 is a machine, a concept with children a concept, anything else an
// input (labour for type 1). A machine that is new is made with a priced
// input of its own ("VALOR HORARIO") and a life of one hour, so that its
// hourly cost is the file's price. Labour is stored as the base wage whose
// real wage in the list's zone is the file's price.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "exchange/bc3_file.h"
#include "framework/error_reporter.h"
#include "framework/status.h"
#include "tables/installation.h"

namespace velmora::exchange {

// The catalogue at price list `list` (1..5).
Status exportBc3(const tables::Installation& inst, ErrorReporter& errors, int list, Bc3File* file);

struct Bc3Plan {
  size_t newInputs = 0, changedInputs = 0;
  size_t newMachines = 0, changedMachines = 0;
  size_t newConcepts = 0, changedConcepts = 0;
  size_t newGenericKeys = 0;
  std::vector<std::string> notes;  // what a reader should know: "línea 12: ..."
};

// Checks the whole file against the installation and, unless `dryRun`,
// writes it in one transaction over the generic keys, inputs, machines,
// concepts and lines: all of it, or nothing when any record is refused
// (the error names its line).
Status importBc3(const tables::Installation& inst, ErrorReporter& errors, const Bc3File& file, int list, bool dryRun,
                 int32_t user, Bc3Plan* plan);

}  // namespace velmora::exchange
