// The headless commands of the works: `obras` lists the works register,
// `calcula` recalculates a work's budget and prints it, `presupuesto` prints
// it as stored, `alta-obra` registers a new work as the work form does, and
// `actualiza-obra` brings a work's copies of base inputs to the current
// prices ("Actualiza a Ultimos Valores") and lists what changes.
#pragma once

#include <iosfwd>
#include <string>

#include "framework/error_reporter.h"
#include "tables/installation.h"

namespace velmora::app {

int runWorks(const tables::Installation& inst, ErrorReporter& errors, bool json, std::ostream& out, std::ostream& err);

// `recalculate`: run CALCULA first (the `calcula` command).
int runBudget(const tables::Installation& inst, ErrorReporter& errors, const std::string& code, bool recalculate,
              bool json, std::ostream& out, std::ostream& err);

// The fields of a new work as typed on the command line; the numbers are
// read strictly, the texts refused beyond their field's length.
struct NewWorkOptions {
  std::string code, name, address, directory, zone;
  std::string siteOverhead, centralOverhead, profit, otherCharges, vat;  // percents
  std::string hiddenLabour, hiddenMaterials;                             // percents
};
int runNewWork(const tables::Installation& inst, ErrorReporter& errors, const NewWorkOptions& o, std::ostream& out,
               std::ostream& err);

// With `dryRun`, the same run rolled back: what would change.
int runLatestValues(const tables::Installation& base, ErrorReporter& errors, const std::string& code, bool dryRun,
                    std::ostream& out, std::ostream& err);

}  // namespace velmora::app
