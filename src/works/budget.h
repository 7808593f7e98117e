// The budget of the open work: its rows (COBR) and their analysis lines
// (INOB), the recalculation CALCULA, the quick refresh, the category totals,
// the renumbering RENUM, the save of one row, the import of a catalogue
// concept and the price adjustment AJU_MAT.
//
// Every routine that writes more than one record does it in one transaction
// over all the files it touches: a crash or a cancel leaves the work as it
// was or wholly updated.
//
// Thread rules: like the tables, one thread; the installation names the open
// work's directory.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "catalog/analysis.h"
#include "catalog/prices.h"
#include "catalog/pricing.h"
#include "estimate/zones.h"
#include "framework/error_reporter.h"
#include "framework/status.h"
#include "tables/installation.h"
#include "works/work.h"

namespace velmora::works {

namespace row_kind {
constexpr char kTitle = 'T', kConcept = 'C', kSubtotal = 'S';
}

// Own inputs of a work are numbered from here; below it are copies of base inputs.
inline constexpr int32_t kFirstOwnInput = 1000000;

// A budget row as stored.
struct BudgetRow {
  int32_t account = 0;
  char kind = row_kind::kConcept;
  std::string text;
  std::string longText;   // COO:TEX1, the description in full
  std::string gene, key;  // COO:GENE, LLAV
  std::string unit;
  double quantity = 0;
  double unitPrice = 0;        // COO:PUNI
  double amount = 0;           // COO:IMPO
  catalog::CostSplit perUnit;  // COO:TOBR, TMAT, TCOS, TPOR
};
BudgetRow budgetRow(const tables::Record& cobr);

// Every row in account order.
Status readBudget(tables::Table& cobr, std::vector<BudgetRow>* rows);
// The same rows with only their account, kind, description, quantity and
// figures (no keys, unit or long description): for a pass over a whole
// budget that prints none of those.
Status readBudgetFigures(tables::Table& cobr, std::vector<BudgetRow>* rows);
// At most `limit` rows after row `after`, in account order: a page of a long
// budget.
Status readBudgetPage(tables::Table& cobr, int32_t after, size_t limit, std::vector<BudgetRow>* rows);

// A concept row's money as every output prints it, each figure rounded to
// the cent once: the unit price (its four parts summed) and the amount (that
// sum times the quantity). The budget window, the reports, the workbooks and
// the JSON all take these, so the words and the figure agree.
struct RowMoney {
  int64_t unitPrice = 0;  // cents
  int64_t amount = 0;     // cents
};
RowMoney rowMoney(const catalog::CostSplit& perUnit, double quantity);

// What the budget window shows of each row: a concept its unit price and
// amount (from its four stored figures), a subtotal the running subtotal
// (which only a title restarts), a title nothing; and "COSTO DIRECTO:", the
// sum of the concept amounts. Sums are carried in whole cents: they are the
// sums of the printed figures.
struct ShownRow {
  double unitPrice = 0;
  double amount = 0;
};
struct BudgetDisplay {
  std::vector<ShownRow> rows;
  double directCost = 0;
};
BudgetDisplay displayBudget(const std::vector<BudgetRow>& rows);
// The same, one row at a time, for a list read in pages.
class RunningDisplay {
 public:
  ShownRow next(const BudgetRow& row);
  double directCost() const;
  int64_t directCostCents() const { return directCost_; }

 private:
  int64_t running_ = 0;     // cents
  int64_t directCost_ = 0;  // cents
};
// "COSTO DIRECTO:" of the whole budget, reading only the figures it needs;
// the same sum, in the same order, as displayBudget's.
Status budgetDirectCost(tables::Table& cobr, double* directCost);

// Refuses a budget with a figure that is not finite (a price of 9e999 gives
// infinite amounts), naming the first such row: nothing prints "inf".
Status checkFiniteFigures(const std::vector<BudgetRow>& rows);
// The files a budget cannot be priced without: its rows (OBRA1) and their
// lines (OBRA3). Missing, they would read as an empty budget priced at 0;
// the work inputs (OBRA2) alone are made again when missing.
Status requireBudgetTables(const tables::Installation& inst);

// The category totals of the budget: each of the four figures x quantity,
// over the concept rows.
catalog::CostSplit categoryTotals(const std::vector<BudgetRow>& rows);

// Called with the rows done, the rows in all and the description of the row
// being priced; returning false cancels the run (nothing is written).
using Progress = std::function<bool(size_t done, size_t total, const std::string& description)>;

// What pricing a work needs, made for one run: the work's prices (with the
// hidden percentages of `obra`), the machine rates of the first zone stored,
// the factors of `zone`.
class WorkPricing {
 public:
  WorkPricing(const tables::Installation& inst, ErrorReporter& errors, const WorkHeader& header,
              const estimate::ZoneFactors& zone, int32_t user);
  catalog::PricingEngine& engine() { return *engine_; }
  catalog::WorkPrices& prices() { return *prices_; }
  Status openStatus() const;
  // For a run over the whole budget in `cobr`'s transaction: the work inputs
  // join it, and every line, input and machine is read at once.
  Status prepareRun(tables::Table& cobr);

 private:
  std::unique_ptr<catalog::WorkPrices> prices_;
  std::unique_ptr<catalog::PricingEngine> engine_;
  Status controlStatus_;
};

// CALCULA: pass 1 prices every concept row (titles and subtotals get zeros)
// and stores its four figures; pass 2 sets unit prices, amounts and
// subtotals (a subtotal with nothing above it gets 0). The work inputs
// created on the way, every row and the work's category totals in the
// register are written in one transaction; a read that fails on the way
// stops the run with nothing written.
Status calcula(const tables::Installation& inst, ErrorReporter& errors, const WorkHeader& header,
               const estimate::ZoneFactors& zone, int32_t user, const Progress& progress = {});

// "Actualiza a Ultimos Valores" with its CALCULA, in one transaction: the
// work's copies of base inputs are removed, and the recalculation copies
// those it uses again from the base catalogue, at their current prices (with
// the work's hidden percentages); the work's own inputs stay. `changes` gets
// every copy whose price changes, comes or goes, and the direct cost before
// and after. With `dryRun` nothing is written: the same run is rolled back.
struct InputCopyChange {
  int32_t account = 0;
  std::string text;
  std::optional<double> before, after;  // the copy's price; nothing: no copy
};
struct LatestValuesReport {
  std::vector<InputCopyChange> changes;
  double directCostBefore = 0, directCostAfter = 0;
};
Status updateToLatestValues(const tables::Installation& inst, ErrorReporter& errors, const WorkHeader& header,
                            const estimate::ZoneFactors& zone, int32_t user, bool dryRun, LatestValuesReport* report,
                            const Progress& progress = {});

// The quick refresh after an edit: concept unit prices and amounts from
// their stored figures; subtotals get unit price 0 and keep their amount.
Status refreshBudget(const tables::Installation& inst, ErrorReporter& errors, int32_t user);

// Writes the category totals into OBR:TOBR, TMAT, TCOS, TPOR of work `code`.
Status writeCategoryTotals(const tables::Installation& inst, ErrorReporter& errors, const std::string& code,
                           int32_t user);

// Closing the work inputs list after a change: every concept row repriced
// (its four figures stored) and the category totals written into the work,
// in one transaction.
Status repriceRows(const tables::Installation& inst, ErrorReporter& errors, const WorkHeader& header,
                   const estimate::ZoneFactors& zone, int32_t user, const Progress& progress = {});

// "Actualiza a Ultimos Valores", first step: removes every copy of a base
// input (accounts below 1,000,000); the work's own inputs stay. CALCULA then
// re-creates the copies from the current base prices.
Status removeInputCopies(const tables::Installation& inst, ErrorReporter& errors);

// RENUM: rows 10, 20, 30 ... in their present order, their lines with them,
// all in one transaction.
Status renumber(const tables::Installation& inst, ErrorReporter& errors, int32_t user, const Progress& progress = {});

// The number of a new row: 9 above the number the key would offer (its
// highest row + 1), so new rows come 10 apart. A failed read is returned.
Status newRowNumber(tables::Table& cobr, int32_t* number);

// Saves the row in `cobr`'s buffer (inserted, or over the record last read)
// with its lines, in one transaction over both files. A concept row gets its
// figures from the lines (the four sums rounded to cents, unit price the
// unrounded sum of the amounts, amount x quantity); a title or subtotal row
// loses its lines and figures. When the row's account changed from
// `previousAccount` its old lines go.
Status saveBudgetRow(tables::Table& cobr, bool inserting, int32_t previousAccount, tables::Table& inob,
                     std::vector<catalog::EditedLine> lines);

// A row brought from outside (a client's catalogue): a title or a concept,
// with the analysis of base concept `baseConcept` when it is not 0.
struct NewBudgetRow {
  char kind = row_kind::kConcept;
  std::string text, longText, gene, key, unit;
  double quantity = 0;
  int32_t baseConcept = 0;
};
// Appends the rows after the last one, numbered ten apart as RENUM leaves
// them, each analysis copied and priced at the work's prices as the import
// of a concept does; all in one transaction with the work inputs it
// creates. `accounts` gets the number of each row.
Status appendBudgetRows(const tables::Installation& inst, ErrorReporter& errors, const WorkHeader& header,
                        const estimate::ZoneFactors& zone, int32_t user, const std::vector<NewBudgetRow>& rows,
                        std::vector<int32_t>* accounts = nullptr);

// A catalogue concept brought into a row: texts, the first 490 characters of
// its long description, and its lines priced at the work's prices (a work
// input missing is created without the hidden percentages).
struct ImportedConcept {
  std::string text, gene, key, unit, longText;
  std::vector<catalog::EditedLine> lines;
};
// `out` holds nothing when there is no such concept; a failed read is returned.
Status importConcept(catalog::PricingEngine& engine, tables::Table& coba, int32_t account,
                     std::optional<ImportedConcept>* out);

// AJU_MAT: scales the quantities (and split) of every line of categories 1
// to 4 so that the concept is worth `wanted`; percentage lines keep their
// percentage. A current value of 0 cannot be scaled and is refused.
Status adjustLines(std::vector<catalog::EditedLine>& lines, double wanted);

}  // namespace velmora::works
