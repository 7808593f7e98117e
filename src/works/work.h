// A work ("obra"): its header record (OBRA), its directory with the four
// per-work tables, the choice of the current work, and the indirect costs,
// profit and VAT of its budget (SUM_PRE).
//
// Plain functions over records and the session; no state of their own.
#pragma once

#include <array>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "catalog/pricing.h"
#include "estimate/zones.h"
#include "framework/error_reporter.h"
#include "framework/status.h"
#include "shell/session.h"
#include "tables/installation.h"
#include "tables/record.h"
#include "works/work_code.h"

namespace velmora::works {

// The codes a chosen work can be absent as: blank while the works list is
// open, "NULO" after it was left with "C&ierra".
inline constexpr const char* kNoWork = "NULO";
bool isWorkOpen(const shell::Session& session);

// A charge of the closing summary: its caption and its percent.
struct Charge {
  std::string caption;
  double percent = 0;
};

// A work's header (OBRA) as the program reads it. Texts are as stored.
struct WorkHeader {
  std::string code;            // CTA
  std::string name;            // OBRA
  std::string address;         // DIRE
  std::string directory;       // DICO
  int zone = 1;                // LIST: the salary zone, held to 1-5 (an older file may hold another)
  double hiddenLabour = 0;     // POMO: percent added to labour prices
  double hiddenMaterials = 0;  // POMA: percent added to material prices
  Charge siteOverhead;         // AOBR, INDO
  Charge centralOverhead;      // ACEN, INDC
  Charge profit;               // TUTI, GANA
  Charge otherCharges;         // TEXT, CARI
  Charge vat;                  // TIVA, IMPV
  // ISAR "D": the closing summary states the zone's SAR and INFONAVIT rates
  // and adds the SECODAM charge (SECO percent).
  bool statesSalaryCharges = false;
  double secodam = 0;
  catalog::CostSplit totals;  // TOBR, TMAT, TCOS, TPOR: the category totals
};
WorkHeader workHeader(const tables::Record& obra);
// A new register record holding `header`; the fields it does not name blank.
tables::Record workRecord(const WorkHeader& header);
// Every work of the open works register, in code order.
Status readWorkHeaders(tables::Table& obra, std::vector<WorkHeader>* headers);
// Reads work `code` from the open works register.
Status readWorkHeader(tables::Table& obra, const std::string& code, WorkHeader* header);

// UP_OBRA on opening: every blank caption gets its default text.
void fillDefaultCaptions(tables::Record& obra);
void fillDefaultCaptions(WorkHeader& header);
// The three-line warning of a work without a name, or nothing.
std::optional<std::array<std::string, 3>> workNameProblem(const tables::Record& obra);
// The three-line warning of a code that cannot name the work's folder
// (isValidWorkCode), or nothing.
std::optional<std::array<std::string, 3>> workCodeProblem(const tables::Record& obra);
// UP_OBRA before a save: a blank folder (DICO) is named as the code.
void fillWorkFormDefaults(tables::Record& obra);

// ALTA of a work as the work form does it, without the screen: the form's
// checks (a name, a code that names its folder) and defaults, the record
// added to the register (a code already there is refused), then the work's
// folder, and its budget's rows and lines tables (empty), which its budget
// window makes when it first opens. The salary zone (OBR:LIST) must be 1-5.
Status registerWork(const tables::Installation& base, ErrorReporter& errors, tables::Record obra, int32_t user);

// The directory of work `code` in the data directory (`code` must be valid).
std::filesystem::path workDirectory(const std::filesystem::path& dataDir, std::string_view code);
// Creates it (each missing level); an existing one is left as it is.
Status prepareWorkDirectory(const std::filesystem::path& dataDir, std::string_view code);

// Makes `obra` the current work: its per-work tables point at its directory
// (windows bound to the previous work must close before), the current zone
// becomes OBR:LIST with its factors read from `control`, and the work's code
// and name are kept. A missing directory is an error and changes nothing.
Status chooseWork(shell::Session& session, const WorkHeader& header, tables::Table& control);
// No work open: the per-work tables point at ARCH1.. again, the code "NULO".
void closeWork(shell::Session& session);

// A work opened for a command, a screen or a report: the installation with
// its per-work tables in the work's directory, its header and its zone.
struct OpenWork {
  tables::Installation inst;
  WorkHeader header;
  estimate::ZoneFactors zone;
};
// Reads work `code` from the register and checks its code and directory;
// the Spanish error says which is wrong.
Status openWork(const tables::Installation& base, ErrorReporter& errors, const std::string& code,
                std::optional<OpenWork>* work);

// SUM_PRE: the indirect costs, profit and VAT of a direct cost, each on the
// direct cost alone, VAT on the subtotal. Each line is rounded to the cent
// once (money::percentOf) from the direct cost in cents; the subtotal and the
// total are the sums of the lines, so the printed figures add up.
struct Summary {
  double directCost = 0;       // CD
  double siteOverhead = 0;     // IMP_ADMON_OBRA
  double centralOverhead = 0;  // IMP_ADMON_CENTRAL
  double profit = 0;           // IMP_UTILIDAD
  double otherCharges = 0;     // IMP_CARGOS
  double subtotal = 0;         // SUBTOTAL
  double vat = 0;              // IMP_IVA
  double total = 0;            // COSTO_TOTAL
};
Summary summarize(const WorkHeader& header, double directCost);

}  // namespace velmora::works
