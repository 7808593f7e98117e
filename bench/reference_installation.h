// The reference installation of the benchmarks: 20,000 base inputs, 400
// machines, 3,000 base concepts of about 12 lines each with basics nested up
// to 4 levels, and one work of 5,000 budget rows.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "framework/error_reporter.h"
#include "framework/status.h"
#include "tables/installation.h"

namespace velmora::bench {

// A benchmark on data that failed to build measures nothing: stop at once.
inline void must(const Status& s) {
  if (s.isOk()) return;
  std::fprintf(stderr, "velmora_bench: %s\n", s.text().c_str());
  std::exit(1);
}

struct ReferenceSizes {
  int inputs = 20000;
  int machines = 400;
  int concepts = 3000;
  int linesPerConcept = 12;
  int workRows = 5000;
};

// Creates the installation in `dir` (which must be empty or missing), with
// the work "REF" in dir/REF. Deterministic for given sizes.
void makeReferenceInstallation(const tables::Installation& inst, ErrorReporter& errors,
                               const ReferenceSizes& sizes = {});

}  // namespace velmora::bench
