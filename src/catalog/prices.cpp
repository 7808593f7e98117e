#include "catalog/prices.h"

#include <climits>

namespace velmora::catalog {

namespace {

tables::Found readBase(tables::Table& inba, int32_t account, int zone, std::optional<InputPrice>* price) {
  price->reset();
  inba.rec().setInteger("CTA", account);
  const tables::Found read = inba.fetch(inba.keyIndex("CTA_KEY"));
  if (!read.found()) return read;
  const tables::Record& r = inba.rec();
  *price = InputPrice{r.real("COST", zone), static_cast<int>(r.integer("TIPO")), r.text("TEXT"), r.text("UNID")};
  return read;
}

}  // namespace

BasePrices::BasePrices(const tables::Installation& inst, ErrorReporter& errors, int zone)
    : inba_(inst.table("INBA", errors)), zone_(zone < 1 || zone > 5 ? 1 : zone) {
  openStatus_ = inba_->open();  // a failure was shown; prices then read as missing
}

std::optional<InputPrice> BasePrices::inputPrice(int32_t account, bool) {
  if (account == 0) return InputPrice{};
  auto it = cache_.find(account);
  if (it != cache_.end()) return it->second;
  if (!openStatus_) return std::nullopt;  // after a failure the run stops: no more waits
  if (complete_) return std::nullopt;
  std::optional<InputPrice> price;
  const tables::Found read = readBase(*inba_, account, zone_, &price);
  keepFailure(read.failure());
  if (read.failed()) return std::nullopt;  // not kept: it is no answer
  return cache_[account] = price;
}

void BasePrices::preloadAll() {
  // One pass of the five columns pricing needs, in stored order. A failed
  // pass leaves the inputs to be read one by one, which say so again.
  const Status s = inba_->scanColumns({"CTA", "TIPO", "COST[" + std::to_string(zone_) + "]", "TEXT", "UNID"},
                                      [&](const tables::Row& r) {
                                        cache_[static_cast<int32_t>(r.integer(0))] =
                                            InputPrice{r.real(2), static_cast<int>(r.integer(1)), r.text(3), r.text(4)};
                                        return true;
                                      });
  complete_ = s.isOk();
}

WorkPrices::WorkPrices(const tables::Installation& inst, ErrorReporter& errors, int zone, double labourPercent,
                       double otherPercent, int32_t auditUser)
    : iobr_(inst.table("IOBR", errors)),
      inba_(inst.table("INBA", errors)),
      zone_(zone < 1 || zone > 5 ? 1 : zone),
      labourPercent_(labourPercent),
      otherPercent_(otherPercent) {
  openStatus_ = iobr_->open();
  iobr_->setAuditUser(auditUser);
  if (Status s = inba_->open(); !s && openStatus_) openStatus_ = s;
}

void WorkPrices::preloadAll() {
  // One scan of the columns the prices need (the key leaves account 0 out).
  const Status s =
      iobr_->scanColumns({"CTA", "COST", "TIPO", "TEXT", "UNID", "FECH", "GENE", "LLAV"}, [this](const tables::Row& r) {
        const auto account = static_cast<int32_t>(r.integer(0));
        if (account == 0) return true;
        cache_[account] = InputPrice{r.real(1), static_cast<int>(r.integer(2)), r.text(3), r.text(4)};
        labels_[account] = {static_cast<int32_t>(r.integer(5)), r.text(6), r.text(7)};
        return true;
      });
  if (!s) return;  // inputs are then read one by one
  workComplete_ = true;
  preloadBase_ = true;  // the base inputs too, if a copy turns out to be missing
}

void WorkPrices::loadBase() {
  preloadBase_ = false;
  const Status s = inba_->readAll(inba_->keyIndex("CTA_KEY"), [this](const tables::Record& r) {
    Input in = inputOf(r);
    base_.emplace(in.account, std::move(in));
    return true;
  });
  baseComplete_ = s.isOk();
}

std::optional<InputPrice> WorkPrices::inputPrice(int32_t account, bool hiddenPercentages) {
  if (account == 0) return InputPrice{};
  auto it = cache_.find(account);
  if (it != cache_.end()) return it->second;
  if (!openStatus_) return std::nullopt;  // after a failure the run stops: no more waits
  if (!workComplete_) {
    iobr_->rec().setInteger("CTA", account);
    const tables::Found own = iobr_->fetch(iobr_->keyIndex("CTA_KEY"));
    if (own.failed()) {
      // Not a missing copy: pricing it from the base input and queueing a
      // copy would write a second copy over the work's own price.
      keepFailure(own.status());
      return std::nullopt;
    }
    if (own.found()) {
      const tables::Record& r = iobr_->rec();
      return cache_[account] =
                 InputPrice{r.real("COST"), static_cast<int>(r.integer("TIPO")), r.text("TEXT"), r.text("UNID")};
    }
  }
  // First use in this work: a copy of the base input.
  if (preloadBase_) loadBase();
  Input b;
  if (auto found = base_.find(account); found != base_.end()) {
    b = found->second;
  } else {
    if (baseComplete_) return cache_[account] = std::nullopt;
    inba_->rec().setInteger("CTA", account);
    const tables::Found base = inba_->fetch(inba_->keyIndex("CTA_KEY"));
    if (base.failed()) {
      keepFailure(base.status());
      return std::nullopt;
    }
    if (base.absent()) return cache_[account] = std::nullopt;
    b = inputOf(inba_->rec());
  }
  WorkInput w{b, b.prices[zone_ - 1], b.dates[zone_ - 1]};
  w.account = account;
  if (hiddenPercentages) {
    if (w.kind == 4 && labourPercent_ > 0) w.price *= labourPercent_ / 100 + 1;
    if (w.kind != 4 && otherPercent_ > 0) w.price *= otherPercent_ / 100 + 1;
  }
  labels_[account] = {w.date, w.gene, w.key};
  cache_[account] = InputPrice{w.price, w.kind, w.text, w.unit};
  pending_.push_back(std::move(w));  // written by saveCopies, inside the caller's transaction
  return cache_[account];
}

std::optional<WorkInputLabel> WorkPrices::workInputLabel(int32_t account) {
  if (auto it = labels_.find(account); it != labels_.end()) return it->second;
  if (workComplete_) return std::nullopt;
  iobr_->rec().setInteger("CTA", account);
  const tables::Found own = iobr_->fetch(iobr_->keyIndex("CTA_KEY"));
  keepFailure(own.failure());
  if (!own.found()) return std::nullopt;
  const tables::Record& r = iobr_->rec();
  return labels_[account] = {static_cast<int32_t>(r.integer("FECH")), r.text("GENE"), r.text("LLAV")};
}

void WorkPrices::forgetCopiesBelow(int32_t firstOwn) {
  std::erase_if(cache_, [firstOwn](const auto& entry) { return entry.first < firstOwn; });
  std::erase_if(labels_, [firstOwn](const auto& entry) { return entry.first < firstOwn; });
  std::erase_if(pending_, [firstOwn](const WorkInput& w) { return w.account < firstOwn; });
}

Status WorkPrices::saveCopies() {
  // Copies queued after a failed read may stand for inputs the work has.
  if (!openStatus_) return openStatus_;
  for (const WorkInput& copy : pending_) {
    iobr_->rec() = workInputRecord(copy);
    if (Status s = iobr_->insert(); !s) return s;
  }
  pending_.clear();
  return Status::ok();
}

}  // namespace velmora::catalog
