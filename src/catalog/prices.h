// Where input prices come from: the base catalogue (the current salary
// zone's entry of INB:COST), or a work's own inputs (IOBR), which are copied
// from the base catalogue the first time a computation needs them.
//
// Thread rules: a price source and its tables belong to one thread.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "catalog/items.h"
#include "framework/error_reporter.h"
#include "framework/status.h"
#include "tables/installation.h"
#include "tables/table.h"

namespace velmora::catalog {

struct InputPrice {
  double price = 0;  // the stored price; labour is the base daily wage
  int kind = 0;      // input kind 3 to 6
  std::string text;  // first description line
  std::string unit;
};

// What a listing shows of a work input besides its price.
struct WorkInputLabel {
  int32_t date = 0;  // the price date
  std::string gene, llav;
};

class PriceSource {
 public:
  virtual ~PriceSource() = default;
  // The price and kind of input `account`; nothing when it does not exist,
  // or when its read failed (then status() says so, and nothing is kept).
  // `hiddenPercentages` says whether a work input created now carries the
  // work's hidden percentages (concept pricing) or not (machines, imports).
  virtual std::optional<InputPrice> inputPrice(int32_t account, bool hiddenPercentages) = 0;
  // How opening the source's tables and every read since went: the first
  // failure (already shown). Prices given after a failure are not to be
  // trusted, whatever they are.
  Status openStatus() const { return openStatus_; }

 protected:
  // Keeps the first failure.
  void keepFailure(const Status& s) {
    if (!s && openStatus_) openStatus_ = s;
  }
  Status openStatus_;
};

// Base mode: the base inputs at the current salary zone.
class BasePrices : public PriceSource {
 public:
  BasePrices(const tables::Installation& inst, ErrorReporter& errors, int zone);
  std::optional<InputPrice> inputPrice(int32_t account, bool hiddenPercentages) override;
  // Reads every base input at once: for runs that price many concepts.
  void preloadAll();

 private:
  std::unique_ptr<tables::Table> inba_;
  bool complete_ = false;  // every input is in the cache
  int zone_;
  std::unordered_map<int32_t, std::optional<InputPrice>> cache_;
};

// Work mode: the open work's inputs. An input the work does not have yet is
// priced from the base input (with the hidden percentages when asked) and
// kept as a pending copy; saveCopies() writes the copies, which the caller
// does inside its own transaction, so that a run writes all or nothing.
// `labourPercent` and `otherPercent` are OBR:POMO and OBR:POMA.
class WorkPrices : public PriceSource {
 public:
  WorkPrices(const tables::Installation& inst, ErrorReporter& errors, int zone, double labourPercent,
             double otherPercent, int32_t auditUser);
  std::optional<InputPrice> inputPrice(int32_t account, bool hiddenPercentages) override;
  // Writes the pending copies through the work inputs' table.
  Status saveCopies();
  // Reads every work input and every base input at once: for runs that
  // price a whole budget.
  void preloadAll();
  // The price date and keys of work input `account`, as stored or as they
  // will be once its copy is saved.
  std::optional<WorkInputLabel> workInputLabel(int32_t account);
  // The work inputs' table, to share a caller's connection and transaction.
  tables::Table& workInputs() { return *iobr_; }
  // Forgets the work's copies of base inputs (accounts below `firstOwn`),
  // which the caller deleted in its transaction: the next pricing copies
  // them again from the base inputs, at their current prices.
  void forgetCopiesBelow(int32_t firstOwn);
  size_t pendingCopies() const { return pending_.size(); }

 private:
  std::vector<WorkInput> pending_;
  std::unordered_map<int32_t, WorkInputLabel> labels_;  // preloaded, and of the pending copies
  std::unordered_map<int32_t, Input> base_;             // preloaded base inputs
  bool workComplete_ = false;                           // every work input is in the cache
  bool baseComplete_ = false;                           // every base input is in base_
  bool preloadBase_ = false;                            // read them all at the first missing copy
  void loadBase();
  std::unique_ptr<tables::Table> iobr_;
  std::unique_ptr<tables::Table> inba_;
  int zone_;
  double labourPercent_;
  double otherPercent_;
  std::unordered_map<int32_t, std::optional<InputPrice>> cache_;
};

}  // namespace velmora::catalog
