// The explosion of a work's budget (IMP_MAT's figures): every concept row
// in range broken into its inputs and machine hours, basic compositions into
// their own lines with the quantities multiplied down the levels (at most
// ten). The work inputs missing from the work are created from the base, as
// CALCULA creates them; when the explosion covers the whole work the machine
// hours are kept in HORA. Those writes are one transaction, made by store()
// when the caller is done (a report, once it is laid out): a cancelled or
// failed run leaves the work as it was.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "catalog/prices.h"
#include "estimate/zones.h"
#include "framework/error_reporter.h"
#include "framework/status.h"
#include "tables/installation.h"
#include "tables/record.h"
#include "works/budget.h"

namespace velmora::works {

// One input of the explosion: its total quantity (for kinds 5 and 6, the
// money its percentage comes to), and what the listing shows of it.
struct ExplodedInput {
  int32_t account = 0;
  int kind = 0;
  double quantity = 0;
  bool exists = false;  // the input is in the work or the base
  double price = 0;     // labour at its real wage
  std::string text, unit;
  std::optional<catalog::WorkInputLabel> label;
};

struct ExplodedMachine {
  int32_t account = 0;
  std::string text;
  double hours = 0;
  double cost = 0;  // its hourly cost
};

// The machines the last whole explosion of the open work stored (HORA), in
// account order. Before any explosion there are none to list, and the
// error says so.
Status storedMachineAccounts(const tables::Installation& inst, ErrorReporter& errors, std::vector<int32_t>* accounts);

class WorkExplosion {
 public:
  WorkExplosion(const tables::Installation& inst, ErrorReporter& errors, const WorkHeader& header,
                const estimate::ZoneFactors& zone);
  ~WorkExplosion();

  // Explodes the concept rows whose account lies from `first` to `last`
  // (0 leaves that end open). `progress(done, total)` returning false
  // cancels.
  Status run(int64_t first, int64_t last, const std::function<bool(size_t, size_t)>& progress = {});

  // The budget as read (its figures, for the direct cost), the inputs in
  // account order, the machines in account order.
  const std::vector<BudgetRow>& rows() const { return rows_; }
  const std::vector<ExplodedInput>& inputs() const { return inputs_; }
  const std::vector<ExplodedMachine>& machines() const { return machines_; }

  // The writes of the explosion, all or nothing: the work inputs it
  // created and, when it covered the whole work, the machine hours. A work
  // folder that cannot be written keeps nothing, without complaint.
  Status store();

 private:
  const tables::Installation& inst_;
  ErrorReporter& errors_;
  WorkPricing pricing_;
  bool wholeWork_ = false;
  std::vector<BudgetRow> rows_;
  std::vector<ExplodedInput> inputs_;
  std::vector<ExplodedMachine> machines_;
};

}  // namespace velmora::works
