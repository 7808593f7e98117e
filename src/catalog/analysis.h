// The analysis of a concept as the concept form edits it: lines with a type
// letter, description, unit, quantity, price, amount and the amount's split,
// the totals, and the rules for completing, sorting and saving lines.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "catalog/pricing.h"
#include "framework/status.h"
#include "tables/table.h"

namespace velmora::catalog {

inline constexpr size_t kMaxLines = 100;  // line numbers .00 to .99

struct EditedLine {
  char type = 'I';  // 'B' basic, 'C' machine, 'I' input (or a percentage line)
  int32_t account = 0;
  std::string description;
  std::string unit;
  double quantity = 0;
  double price = 0;
  double amount = 0;
  int category = category::kMaterial;
  int inputKind = 0;    // of an input line
  CostSplit basicUnit;  // of a basic line: its split per unit
  CostSplit split;      // the amount split into the four sums
};

struct FormTotals {
  CostSplit sums;
  double directCost = 0;  // "COSTO DIRECTO:", the sum of the amounts
};

// The lines of catalogue concept `account`, as the form loads them: input
// lines take their input's kind as category; basics show their unit price,
// machines their hourly cost (unit "HR"), inputs the current zone's price
// (labour at real wage).
std::vector<EditedLine> loadConceptLines(PricingEngine& engine, int32_t account);
// The same for lines given by the caller (a budget row's INOB lines).
std::vector<EditedLine> loadLines(PricingEngine& engine, const std::vector<Line>& stored);

// The line editor's OK: the line completed from its type, account and
// quantity, or nothing when the account does not exist. A percentage line
// (category 5 or 6) needs no account.
std::optional<EditedLine> completeLine(PricingEngine& engine, char type, int32_t account, double quantity,
                                       int percentCategory = 0);

// Sets the amount and split of a line from its price and quantity.
void refreshLine(EditedLine& line);

// Sorts the lines by category (keeping their order within a category) and
// recomputes percentage lines, amounts and totals.
FormTotals recomputeTotals(std::vector<EditedLine>& lines);

// An analysis as every printed form of it shows it (the analysis reports of
// the catalogue and of a work, `velmora analisis`): the lines the pricing
// reads, each with its price and amount to the cent, amounts that add up
// exactly to the direct cost, and that direct cost equal to the unit price
// the pricing gives (or, for a budget row, the one its budget holds).
//
// The rule, part by part (labour, materials, equipment, percentages): what
// each line adds to the part is rounded to the cent; the cents the lines then
// miss or exceed against the part rounded once (as the budget stores it) are
// given, one cent a line, to the lines whose rounding lost (or gained) the
// most, the earlier line first on a tie. A line's amount is the sum of its
// parts. So every part printed (the head, the columns of the landscape
// analysis, each kind's subtotal but the basics') is the sum of its lines,
// every line but a basic stays within a cent of its exact amount, and the
// direct cost is the unit price the budget uses.
struct PrintedLine {
  EditedLine line;        // what the line is: type, account, texts, quantity, category
  int64_t price = 0;      // the unit price it was priced at, in cents
  int64_t amount = 0;     // in cents
  int64_t split[4] = {};  // labour, materials, equipment, percentages, in cents: they sum to `amount`
};
struct PrintedAnalysis {
  std::vector<PrintedLine> lines;  // in category order
  int64_t parts[4] = {};           // labour, materials, equipment, percentages, in cents
  // "COSTO DIRECTO": the four parts, which the line amounts add up to.
  int64_t directCost() const { return parts[0] + parts[1] + parts[2] + parts[3]; }
  CostSplit partsAsMoney() const;
};

// The printed analysis of concept or budget row `account` whose stored lines
// are `stored`. `unitParts` are the four parts the analysis must add up to: a
// budget row's stored figures; without them, the parts the pricing gives.
// Figures that cannot add up by rounding (a row whose stored unit price is
// not what its lines give at today's prices, until the work is calculated
// again) are refused, naming the row (kInvalid).
Status printedAnalysis(PricingEngine& engine, const std::vector<Line>& stored, int32_t account,
                       const std::optional<CostSplit>& unitParts, PrintedAnalysis* out);

// Removes every stored line of `account` (.00 to .99); no transaction of
// its own.
Status removeLines(tables::Table& lines, int32_t account);

// Writes the lines of `account` anew through `lines` (INCO or INOB), numbered
// .00, .01, ... in category order, all in one transaction.
Status saveLines(tables::Table& lines, int32_t account, std::vector<EditedLine> edited);

// Saves an analysis whole, in one transaction over both files: the head
// record in `heads`' buffer (a concept or a budget row; inserted, or written
// over the record last read) and its lines, rewritten under the head's
// account. When a change moved the head from `previousAccount`, the lines
// stored under the old account go with it. On failure nothing is written and
// the buffer keeps what was typed (or, on a conflict, the other station's
// values). `lines` is moved onto `heads`' connection.
Status saveAnalysis(tables::Table& heads, bool inserting, int32_t previousAccount, tables::Table& lines,
                    std::vector<EditedLine> edited);

// The same writes inside the caller's transaction (`lines` already on
// `heads`' connection).
Status writeAnalysis(tables::Table& heads, bool inserting, int32_t previousAccount, tables::Table& lines,
                     std::vector<EditedLine> edited);

// Whether a line using basic `basic` in concept `owner` would close a loop:
// the basic is the concept, or reaches it through the basics of its stored
// lines.
bool closesLoop(PricingEngine& engine, int32_t owner, int32_t basic);

}  // namespace velmora::catalog
