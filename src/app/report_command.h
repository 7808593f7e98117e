// `velmora report NAME --data DIR (--pdf FILE | --txt FILE | --png DIR)`:
// a report run without a screen, through the page model and the painter.
// The report of this round is "zonas", the salary zones with their factors.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>

#include "framework/error_reporter.h"
#include "tables/installation.h"

namespace velmora::app {

struct ReportTarget {
  std::string pdf, txt, png, xlsx;
};

// The options of a work report (REDIR4), from the command line.
struct ReportFlags {
  std::string work;  // --obra
  int32_t first = 0, last = 0;
  std::string fullDescription = "S";  // --completa: N prints each description's first line only
  std::string closingSummary = "S";   // --resumen
  std::string title;                  // --titulo
  std::string genericKey;             // --generico (insumos)
  std::string order = "C";            // --orden C, G or A (insumos)
  int zone = 1;                       // --zona (insumos)
  std::string firstDate, lastDate;    // --fecha-desde, --fecha-hasta: dd/mm/yyyy (insumos)
};

// Reports: "zonas", "insumos" (IMP_IBD), "claves" (generic keys); of a work
// (--obra): "presupuesto" (IMP_PRE), "detalle" (IMP_PDE), "concentrado" (IMP_CDE).
// The report names with what each prints (velmora report --list).
void listReports(std::ostream& out);

int runReport(int argc, char** argv, const tables::Installation& inst, ErrorReporter& errors, const std::string& name,
              const ReportFlags& flags, const ReportTarget& target, std::ostream& out, std::ostream& err);

}  // namespace velmora::app
