#include "works/budget.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>

#include "framework/money.h"
#include "framework/text.h"
#include "tables/catalogue.h"
#include "tables/table_file.h"

namespace velmora::works {

namespace {

// What a recalculation writes of a row: its figures, nothing of its keys.
const std::vector<std::string> kFigureFields = {"TOBR", "TMAT", "TCOS", "TPOR", "PUNI", "IMPO"};

struct StoredRow {
  int64_t id;
  int64_t version;
  tables::Record record;
};

// Every record of `table` in the order of its CTA_KEY, with its identity.
Status readAll(tables::Table& table, std::vector<StoredRow>* out, int64_t from, int64_t to) {
  tables::Record lo(table.def()), hi(table.def());
  lo.setInteger("CTA", from);
  hi.setInteger("CTA", to);
  return table.readRange(table.keyIndex("CTA_KEY"), lo, hi, [&](const tables::Record& r) {
    out->push_back({table.recordId(), table.recordVersion(), r});
    return true;
  });
}

Status readRows(tables::Table& cobr, std::vector<StoredRow>* out) { return readAll(cobr, out, INT32_MIN, INT32_MAX); }

// Every row in account order with only what a recalculation reads of it
// (account, kind, description, quantity): its figures are then computed,
// and only they are written.
Status readRowsToPrice(tables::Table& cobr, std::vector<StoredRow>* out) {
  tables::Record lo(cobr.def()), hi(cobr.def());
  lo.setInteger("CTA", INT32_MIN);
  hi.setInteger("CTA", INT32_MAX);
  const tables::TableDef& def = cobr.def();
  const int cta = def.slot("CTA"), kind = def.slot("TIPO"), text = def.slot("TEXT"), quantity = def.slot("CANT");
  tables::Record blank(def);
  const Status s = cobr.readRangeColumns(cobr.keyIndex("CTA_KEY"), lo, hi,
                                         {"_id", "_ver", "CTA", "TIPO", "TEXT", "CANT"}, [&](const tables::Row& r) {
                                           StoredRow row{r.integer(0), r.integer(1), blank};
                                           row.record.setIntegerAt(cta, r.integer(2));
                                           const std::string kindText = r.text(3), description = r.text(4);
                                           row.record.assignStoredTextAt(kind, kindText.data(), kindText.size());
                                           row.record.assignStoredTextAt(text, description.data(), description.size());
                                           row.record.setRealAt(quantity, r.real(5));
                                           out->push_back(std::move(row));
                                           return true;
                                         });
  return s.is(Status::Code::kNotFound) ? Status::ok() : s;
}

// Changes the stored record `id` (read again first, so that a change by
// another station is detected).
Status writeOver(tables::Table& table, int64_t id, const std::function<void(tables::Record&)>& change) {
  if (Status s = table.fetchById(id); !s) return s;
  change(table.rec());
  return table.update();
}

void setFigures(tables::Record& r, const catalog::CostSplit& s) {
  r.setReal("TOBR", s.labour);
  r.setReal("TMAT", s.materials);
  r.setReal("TCOS", s.equipment);
  r.setReal("TPOR", s.percentages);
}

// A row's kind as its TIPO stores it: blank is a concept.
char storedKind(std::string_view tipo) {
  const std::string t = text::clip(tipo);
  return t.empty() ? row_kind::kConcept : t[0];
}

char kindOf(const tables::Record& r) { return storedKind(r.text("TIPO")); }

// The four stored figures (TOBR, TMAT, TCOS, TPOR) of a budget row.
catalog::CostSplit storedSplit(const tables::Record& r) {
  return {r.real("TOBR"), r.real("TMAT"), r.real("TCOS"), r.real("TPOR")};
}

// Runs `work` inside a transaction of `host`; rolls back on failure.
Status inTransaction(tables::Table& host, const std::function<Status()>& work) {
  if (Status s = host.begin(); !s) return s;
  Status s = work();
  if (!s) {
    host.rollback();
    return s;
  }
  return host.commit();
}

// A whole-work operation (CALCULA, RENUM, the refresh, a repricing) runs
// under the work's lock: the write lock of its rows' table, taken before
// anything is read (another station's operation on the work is waited for,
// within the usual lock wait), with the rows read under it. Two stations'
// operations on one work so run one after the other, each on the rows the
// other left, never on rows read before the other wrote them (which could
// only end in a conflict).
Status underWorkLock(tables::Table& cobr, const std::function<Status()>& work) { return inTransaction(cobr, work); }

// Every row's figures, as computed in `rows`, written at once (inside the
// caller's transaction); each row's version is then one more.
Status writeFigures(tables::Table& cobr, std::vector<StoredRow>& rows) {
  const Status s =
      cobr.updateStoredFieldsMany(kFigureFields, rows.size(), [&](size_t i) -> tables::Table::StoredIdentity {
        cobr.rec() = rows[i].record;
        return {rows[i].id, rows[i].version};
      });
  if (s)
    for (StoredRow& row : rows) ++row.version;
  return s;
}

// Pass 1 of CALCULA: the four figures of every row (zeros for titles and
// subtotals), written; the work inputs created on the way, written.
Status priceRows(WorkPricing& pricing, tables::Table& cobr, std::vector<StoredRow>& rows, const Progress& progress) {
  for (size_t i = 0; i < rows.size(); ++i) {
    tables::Record& r = rows[i].record;
    if (progress && !progress(i, rows.size(), r.text("TEXT")))
      return Status::error(Status::Code::kCancelled, "cancelado");
    catalog::CostSplit split;
    if (kindOf(r) == row_kind::kConcept) split = pricing.engine().priceWorkRow(static_cast<int32_t>(r.integer("CTA")));
    setFigures(r, split);
  }
  if (progress && !progress(rows.size(), rows.size(), {})) return Status::error(Status::Code::kCancelled, "cancelado");
  // A read that failed while pricing leaves figures that only look right.
  if (Status s = pricing.openStatus(); !s) return s;
  if (Status s = writeFigures(cobr, rows); !s) return s;
  return pricing.prices().saveCopies();
}

}  // namespace

BudgetRow budgetRow(const tables::Record& r) {
  BudgetRow b;
  b.account = static_cast<int32_t>(r.integer("CTA"));
  b.kind = kindOf(r);
  b.text = r.text("TEXT");
  b.longText = r.text("TEX1");
  b.gene = r.text("GENE");
  b.key = r.text("LLAV");
  b.unit = r.text("UNID");
  b.quantity = r.real("CANT");
  b.unitPrice = r.real("PUNI");
  b.amount = r.real("IMPO");
  b.perUnit = storedSplit(r);
  return b;
}

Status readBudget(tables::Table& cobr, std::vector<BudgetRow>* rows) {
  std::vector<StoredRow> stored;
  if (Status s = readRows(cobr, &stored); !s) return s;
  rows->clear();
  rows->reserve(stored.size());
  for (const StoredRow& r : stored) rows->push_back(budgetRow(r.record));
  return Status::ok();
}

Status readBudgetFigures(tables::Table& cobr, std::vector<BudgetRow>* rows) {
  rows->clear();
  tables::Record lo(cobr.def()), hi(cobr.def());
  lo.setInteger("CTA", INT32_MIN);
  hi.setInteger("CTA", INT32_MAX);
  const Status s = cobr.readRangeColumns(
      cobr.keyIndex("CTA_KEY"), lo, hi, {"CTA", "TIPO", "TEXT", "CANT", "TOBR", "TMAT", "TCOS", "TPOR", "PUNI", "IMPO"},
      [&](const tables::Row& r) {
        BudgetRow b;
        b.account = static_cast<int32_t>(r.integer(0));
        b.kind = storedKind(r.text(1));
        b.text = r.text(2);
        b.quantity = r.real(3);
        b.perUnit = {r.real(4), r.real(5), r.real(6), r.real(7)};
        b.unitPrice = r.real(8);
        b.amount = r.real(9);
        rows->push_back(std::move(b));
        return true;
      });
  return s.is(Status::Code::kNotFound) ? Status::ok() : s;
}

RowMoney rowMoney(const catalog::CostSplit& perUnit, double quantity) {
  const double unitPrice = perUnit.unitPrice();
  return {money::cents(unitPrice), money::cents(unitPrice * quantity)};
}

ShownRow RunningDisplay::next(const BudgetRow& r) {
  ShownRow shown;
  if (r.kind == row_kind::kTitle) {
    running_ = 0;
  } else if (r.kind == row_kind::kSubtotal) {
    shown.amount = money::fromCents(running_);  // only a title restarts the running subtotal
  } else {
    const RowMoney m = rowMoney(r.perUnit, r.quantity);
    shown.unitPrice = money::fromCents(m.unitPrice);
    shown.amount = money::fromCents(m.amount);
    running_ += m.amount;
    directCost_ += m.amount;
  }
  return shown;
}

double RunningDisplay::directCost() const { return money::fromCents(directCost_); }

BudgetDisplay displayBudget(const std::vector<BudgetRow>& rows) {
  BudgetDisplay d;
  d.rows.reserve(rows.size());
  RunningDisplay running;
  for (const BudgetRow& r : rows) d.rows.push_back(running.next(r));
  d.directCost = running.directCost();
  return d;
}

Status readBudgetPage(tables::Table& cobr, int32_t after, size_t limit, std::vector<BudgetRow>* rows) {
  rows->clear();
  if (after == INT32_MAX) return Status::ok();
  tables::Record lo(cobr.def()), hi(cobr.def());
  lo.setInteger("CTA", static_cast<int64_t>(after) + 1);
  hi.setInteger("CTA", INT32_MAX);
  return cobr.readRange(cobr.keyIndex("CTA_KEY"), lo, hi, [&](const tables::Record& r) {
    rows->push_back(budgetRow(r));
    return rows->size() < limit;
  });
}

namespace {

namespace fs = std::filesystem;

// The direct cost last computed for a budget file, kept beside it with the
// file's state: a budget opened again unchanged does not read every row.
constexpr const char* kCacheHeader = "velmora costo directo 2";  // 2: summed in cents

fs::path cacheOf(const fs::path& table) { return table.string() + ".costo"; }

std::optional<double> cachedDirectCost(const fs::path& table, const tables::ChangeStamp& now) {
  std::ifstream in(cacheOf(table));
  std::string header;
  tables::ChangeStamp kept;
  std::string value;
  if (!std::getline(in, header) || header != kCacheHeader ||
      !(in >> kept.counter >> kept.size >> kept.modified >> value))
    return std::nullopt;
  if (!(kept == now)) return std::nullopt;
  char* end = nullptr;
  const double v = std::strtod(value.c_str(), &end);
  if (end == value.c_str() || *end != '\0') return std::nullopt;
  return v;
}

void keepDirectCost(const fs::path& table, const tables::ChangeStamp& state, double value) {
  // Written whole under another name and renamed: a reader sees the old
  // cache or the new one. A directory that cannot be written keeps none.
  const fs::path target = cacheOf(table);
  const fs::path temp = target.string() + ".tmp";
  {
    std::ofstream out(temp, std::ios::trunc);
    char exact[64];
    std::snprintf(exact, sizeof exact, "%a", value);  // the double exactly
    out << kCacheHeader << "\n" << state.counter << " " << state.size << " " << state.modified << " " << exact << "\n";
    if (!out.flush()) {
      std::error_code ec;
      fs::remove(temp, ec);
      return;
    }
  }
  std::error_code ec;
  fs::rename(temp, target, ec);
  if (ec) fs::remove(temp, ec);
}

}  // namespace

static Status keepDirectCostAfter(tables::Table& cobr, Status written) {
  // The next opening of the budget finds its direct cost ready.
  double ignored = 0;
  if (written) (void)budgetDirectCost(cobr, &ignored);
  return written;
}

Status budgetDirectCost(tables::Table& cobr, double* directCost) {
  *directCost = 0;
  if (!cobr.isOpen()) return Status::error(Status::Code::kInvalid, "tabla cerrada");
  // Inside a transaction of the caller the rows may hold uncommitted
  // changes: they are read, and nothing is kept.
  const bool ownRead = !cobr.inTransaction();
  if (ownRead) {
    if (const auto state = tables::changeStampOf(cobr)) {
      if (const auto kept = cachedDirectCost(cobr.path(), *state)) {
        *directCost = *kept;
        return Status::ok();
      }
    }
  }
  // A plain scan of the table (no key order, row by row), put in account
  // order here. Rows with account 0 are outside the key, as they are outside
  // the list. One read transaction: the file's state read after it belongs
  // to these rows.
  struct Figures {
    int64_t account;
    BudgetRow row;
  };
  std::vector<Figures> rows;
  std::optional<tables::ChangeStamp> state;
  const Status read = cobr.readConsistently([&] {
    const Status s =
        cobr.scanColumns({"CTA", "TIPO", "CANT", "TOBR", "TMAT", "TCOS", "TPOR"}, [&](const tables::Row& r) {
          Figures f{r.integer(0), {}};
          if (f.account == 0) return true;
          f.row.kind = storedKind(r.text(1));
          f.row.quantity = r.real(2);
          f.row.perUnit = {r.real(3), r.real(4), r.real(5), r.real(6)};
          rows.push_back(f);
          return true;
        });
    if (s && ownRead) state = tables::changeStampOf(cobr);
    return s;
  });
  if (!read) return read;
  std::sort(rows.begin(), rows.end(), [](const Figures& a, const Figures& b) { return a.account < b.account; });
  RunningDisplay running;
  for (const Figures& f : rows) running.next(f.row);
  *directCost = running.directCost();
  if (state) keepDirectCost(cobr.path(), *state, *directCost);
  return Status::ok();
}

namespace {
bool finiteSplit(const catalog::CostSplit& s) {
  return std::isfinite(s.labour) && std::isfinite(s.materials) && std::isfinite(s.equipment) &&
         std::isfinite(s.percentages);
}
std::string rowName(int64_t account, const std::string& description) {
  return "el renglón " + std::to_string(account) + " (" + text::clip(description) + ")";
}
}  // namespace

Status checkFiniteFigures(const std::vector<BudgetRow>& rows) {
  for (const BudgetRow& r : rows) {
    if (!std::isfinite(r.quantity) || !std::isfinite(r.unitPrice) || !std::isfinite(r.amount) ||
        !finiteSplit(r.perUnit))
      return Status::error(Status::Code::kInvalid, rowName(r.account, r.text) +
                                                       " tiene una cifra no finita; revise los precios de sus "
                                                       "insumos y recalcule la obra");
  }
  return Status::ok();
}

Status requireBudgetTables(const tables::Installation& inst) {
  for (const char* label : {"COBR", "INOB"}) {
    const tables::TableDef& def = tables::tableDef(label);
    bool held = false;
    if (Status asked = inst.holdsTable(def, &held); !asked) return asked;  // not known: never "missing"
    if (!held)
      return Status::error(Status::Code::kNotFound,
                           "falta la tabla " + def.fileName + " de la obra (" +
                               (def.label == "COBR" ? "renglones" : "líneas de los conceptos") +
                               "); restáurela de un respaldo");
  }
  return Status::ok();
}

namespace {

// What one concept row adds to the category totals.
void addToCategoryTotals(catalog::CostSplit& t, const catalog::CostSplit& perUnit, double quantity) {
  t.labour += perUnit.labour * quantity;
  t.materials += perUnit.materials * quantity;
  t.equipment += perUnit.equipment * quantity;
  t.percentages += perUnit.percentages * quantity;
}

}  // namespace

catalog::CostSplit categoryTotals(const std::vector<BudgetRow>& rows) {
  catalog::CostSplit t;
  for (const BudgetRow& r : rows) {
    if (r.kind == row_kind::kConcept) addToCategoryTotals(t, r.perUnit, r.quantity);
  }
  return t;
}

WorkPricing::WorkPricing(const tables::Installation& inst, ErrorReporter& errors, const WorkHeader& header,
                         const estimate::ZoneFactors& zone, int32_t user) {
  auto control = inst.table("CONTROL", errors);
  controlStatus_ = control->open();
  catalog::MachineRates rates;
  if (controlStatus_) controlStatus_ = catalog::firstZoneRates(*control, &rates);
  prices_ =
      std::make_unique<catalog::WorkPrices>(inst, errors, zone.zone, header.hiddenLabour, header.hiddenMaterials, user);
  engine_ = std::make_unique<catalog::PricingEngine>(inst, errors, *prices_, zone, rates);
}

Status WorkPricing::prepareRun(tables::Table& cobr) {
  if (Status s = prices_->workInputs().shareConnectionOf(cobr); !s) return s;
  engine_->preloadCatalogue();
  engine_->preloadWorkLines();
  prices_->preloadAll();
  return Status::ok();
}

Status WorkPricing::openStatus() const {
  if (!controlStatus_) return controlStatus_;
  return engine_->openStatus();
}

namespace {

// Writes the category totals into the register's record of work `code`. A
// work not registered yet (the demo registers its works after their first
// run) has no record to keep current: nothing is written, unless `required`.
Status storeTotals(tables::Table& obra, const std::string& code, const catalog::CostSplit& totals,
                   bool required = true) {
  obra.rec().clear();
  obra.rec().setText("CTA", code);
  const tables::Found registered = obra.fetch(obra.keyIndex("CTA_KEY"));
  if (!registered.found()) return required ? registered.status() : registered.failure();
  obra.rec().setReal("TOBR", totals.labour);
  obra.rec().setReal("TMAT", totals.materials);
  obra.rec().setReal("TCOS", totals.equipment);
  obra.rec().setReal("TPOR", totals.percentages);
  return obra.update();
}

}  // namespace

namespace {

// The work's copies of base inputs as stored: account, description, price.
Status readInputCopies(tables::Table& iobr, std::map<int32_t, std::pair<std::string, double>>* copies) {
  copies->clear();
  std::vector<StoredRow> stored;
  if (Status s = readAll(iobr, &stored, INT32_MIN, kFirstOwnInput - 1); !s && !s.is(Status::Code::kNotFound)) return s;
  for (const StoredRow& c : stored)
    (*copies)[static_cast<int32_t>(c.record.integer("CTA"))] = {c.record.text("TEXT"), c.record.real("COST")};
  return Status::ok();
}

// CALCULA, and with `latest` the removal of the input copies before it, in
// one transaction; with `latest->dryRun` the transaction is rolled back.
struct LatestValuesRun {
  bool dryRun = false;
  LatestValuesReport* report = nullptr;
};

Status runCalcula(const tables::Installation& inst, ErrorReporter& errors, const WorkHeader& header,
                  const estimate::ZoneFactors& zone, int32_t user, const Progress& progress,
                  const LatestValuesRun* latest, bool* committing) {
  if (Status s = requireBudgetTables(inst); !s) return s;
  WorkPricing pricing(inst, errors, header, zone, user);
  if (Status s = pricing.openStatus(); !s) return s;
  auto cobr = inst.table("COBR", errors);
  auto obra = inst.table("OBRA", errors);
  for (tables::Table* t : {cobr.get(), obra.get()}) {
    if (Status s = t->open(); !s) return s;
    t->setAuditUser(user);
  }
  // The register's totals are written with the rows, so that the works
  // list never shows the figures of an earlier run.
  if (Status s = obra->shareConnectionOf(*cobr); !s) return s;
  std::vector<StoredRow> rows;
  if (Status s = pricing.prepareRun(*cobr); !s) return s;

  // Pass 1 prices a row, pass 2 sets its unit price and amount from those
  // figures and the running subtotal of the rows above it; both walk the
  // rows in the same order, and every row is then written once with both.
  bool rolledBackOnPurpose = false;
  const Status done = underWorkLock(*cobr, [&]() -> Status {
    if (Status s = readRowsToPrice(*cobr, &rows); !s) return s;
    std::map<int32_t, std::pair<std::string, double>> copiesBefore;
    if (latest) {
      std::vector<BudgetRow> stored;
      if (Status s = readBudget(*cobr, &stored); !s) return s;
      latest->report->directCostBefore = displayBudget(stored).directCost;
      if (Status s = readInputCopies(pricing.prices().workInputs(), &copiesBefore); !s) return s;
    }
    if (latest) {
      // "Actualiza a Ultimos Valores": the copies go, and the pricing below
      // copies those it needs again from the base.
      tables::Table& iobr = pricing.prices().workInputs();
      std::vector<StoredRow> copies;
      if (Status s = readAll(iobr, &copies, INT32_MIN, kFirstOwnInput - 1); !s && !s.is(Status::Code::kNotFound))
        return s;
      for (const StoredRow& c : copies) {
        if (Status s = iobr.fetchById(c.id); !s) return s;
        if (Status s = iobr.remove(); !s) return s;
      }
      pricing.prices().forgetCopiesBelow(kFirstOwnInput);
    }
    double running = 0;
    for (size_t i = 0; i < rows.size(); ++i) {
      tables::Record& r = rows[i].record;
      if (progress && !progress(i, rows.size(), r.text("TEXT")))
        return Status::error(Status::Code::kCancelled, "cancelado");
      const char kind = kindOf(r);
      catalog::CostSplit split;
      if (kind == row_kind::kConcept) split = pricing.engine().priceWorkRow(static_cast<int32_t>(r.integer("CTA")));
      setFigures(r, split);  // titles and subtotals have no lines: zeros
      if (kind == row_kind::kTitle) {
        running = 0;
        r.setReal("PUNI", 0);
        r.setReal("IMPO", 0);
      } else if (kind == row_kind::kSubtotal) {
        // Always written, 0 when nothing is above it (a second subtotal in a
        // row): an amount kept from an earlier run would be a stale figure
        // that adds nothing up.
        r.setReal("PUNI", 0);
        r.setReal("IMPO", running);
        running = 0;
      } else {
        const double unitPrice = split.unitPrice();
        const double amount = unitPrice * r.real("CANT");
        // A figure that is not finite aborts the run with nothing written.
        if (!finiteSplit(split) || !std::isfinite(amount))
          return Status::error(
              Status::Code::kInvalid,
              rowName(r.integer("CTA"), r.text("TEXT")) + " da una cifra no finita; revise los precios de sus insumos");
        running += amount;
        r.setReal("PUNI", unitPrice);
        r.setReal("IMPO", amount);
      }
    }
    if (progress && !progress(rows.size(), rows.size(), {}))
      return Status::error(Status::Code::kCancelled, "cancelado");
    // A read that failed while pricing leaves figures that only look right.
    if (Status s = pricing.openStatus(); !s) return s;
    if (Status s = writeFigures(*cobr, rows); !s) return s;
    if (Status s = pricing.prices().saveCopies(); !s) return s;
    // The category totals as "write category totals" sums them, from the
    // figures just computed (without a copy of each row).
    catalog::CostSplit totals;
    for (const StoredRow& row : rows) {
      if (kindOf(row.record) == row_kind::kConcept)
        addToCategoryTotals(totals, storedSplit(row.record), row.record.real("CANT"));
    }
    if (Status s = storeTotals(*obra, text::clip(header.code), totals, false); !s) return s;
    if (!latest) {
      *committing = true;
      return Status::ok();
    }
    // What changed, read back inside the transaction: the copies made again.
    LatestValuesReport& report = *latest->report;
    std::vector<BudgetRow> priced;
    for (const StoredRow& r : rows) priced.push_back(budgetRow(r.record));
    report.directCostAfter = displayBudget(priced).directCost;
    std::map<int32_t, std::pair<std::string, double>> copiesAfter;
    if (Status s = readInputCopies(pricing.prices().workInputs(), &copiesAfter); !s) return s;
    report.changes.clear();
    for (const auto& [account, copy] : copiesBefore) {
      const auto now = copiesAfter.find(account);
      if (now != copiesAfter.end() && now->second.second == copy.second) continue;
      report.changes.push_back({account, copy.first, copy.second,
                                now != copiesAfter.end() ? std::optional(now->second.second) : std::nullopt});
    }
    for (const auto& [account, copy] : copiesAfter)
      if (!copiesBefore.count(account)) report.changes.push_back({account, copy.first, std::nullopt, copy.second});
    std::sort(report.changes.begin(), report.changes.end(),
              [](const InputCopyChange& a, const InputCopyChange& b) { return a.account < b.account; });
    if (!latest->dryRun) {
      *committing = true;
      return Status::ok();
    }
    rolledBackOnPurpose = true;
    return Status::error(Status::Code::kCancelled, "prueba: nada se escribe");
  });
  return rolledBackOnPurpose ? Status::ok() : done;
}

// Everything before the commit is undone with the transaction: the user
// hears that the work is as it was (a lost commit says what it knows).
Status sayWorkUntouched(const Status& s, bool committing) {
  if (s || committing || s.is(Status::Code::kCancelled)) return s;
  return Status::error(s.code(), s.text() + "; la obra quedó como estaba");
}

}  // namespace

Status calcula(const tables::Installation& inst, ErrorReporter& errors, const WorkHeader& header,
               const estimate::ZoneFactors& zone, int32_t user, const Progress& progress) {
  bool committing = false;
  const Status s = runCalcula(inst, errors, header, zone, user, progress, nullptr, &committing);
  return sayWorkUntouched(s, committing);
}

Status updateToLatestValues(const tables::Installation& inst, ErrorReporter& errors, const WorkHeader& header,
                            const estimate::ZoneFactors& zone, int32_t user, bool dryRun, LatestValuesReport* report,
                            const Progress& progress) {
  *report = {};
  const LatestValuesRun run{dryRun, report};
  bool committing = false;
  const Status s = runCalcula(inst, errors, header, zone, user, progress, &run, &committing);
  return sayWorkUntouched(s, committing);
}

Status refreshBudget(const tables::Installation& inst, ErrorReporter& errors, int32_t user) {
  auto cobr = inst.table("COBR", errors);
  if (Status s = cobr->open(); !s) return s;
  cobr->setAuditUser(user);
  std::vector<StoredRow> rows;
  return underWorkLock(*cobr, [&]() -> Status {
    if (Status s = readRows(*cobr, &rows); !s) return s;
    for (const StoredRow& row : rows) {
      const char kind = kindOf(row.record);
      if (kind == row_kind::kTitle) continue;
      Status s = writeOver(*cobr, row.id, [kind](tables::Record& w) {
        if (kind == row_kind::kSubtotal) {
          w.setReal("PUNI", 0);  // its amount stays that of the last CALCULA
          return;
        }
        const double unitPrice = storedSplit(w).unitPrice();
        w.setReal("PUNI", unitPrice);
        w.setReal("IMPO", unitPrice * w.real("CANT"));
      });
      if (!s) return s;
    }
    return Status::ok();
  });
}

Status writeCategoryTotals(const tables::Installation& inst, ErrorReporter& errors, const std::string& code,
                           int32_t user) {
  auto cobr = inst.table("COBR", errors);
  auto obra = inst.table("OBRA", errors);
  if (Status s = cobr->open(); !s) return s;
  if (Status s = obra->open(); !s) return s;
  obra->setAuditUser(user);
  std::vector<BudgetRow> rows;
  if (Status s = readBudgetFigures(*cobr, &rows); !s) return s;
  return storeTotals(*obra, code, categoryTotals(rows));
}

Status repriceRows(const tables::Installation& inst, ErrorReporter& errors, const WorkHeader& header,
                   const estimate::ZoneFactors& zone, int32_t user, const Progress& progress) {
  WorkPricing pricing(inst, errors, header, zone, user);
  if (Status s = pricing.openStatus(); !s) return s;
  auto cobr = inst.table("COBR", errors);
  auto obra = inst.table("OBRA", errors);
  for (tables::Table* t : {cobr.get(), obra.get()}) {
    if (Status s = t->open(); !s) return s;
    t->setAuditUser(user);
  }
  if (Status s = obra->shareConnectionOf(*cobr); !s) return s;
  if (Status s = pricing.prepareRun(*cobr); !s) return s;
  std::vector<StoredRow> rows;
  const Status done = underWorkLock(*cobr, [&]() -> Status {
    if (Status s = readRowsToPrice(*cobr, &rows); !s) return s;
    if (Status s = priceRows(pricing, *cobr, rows, progress); !s) return s;
    std::vector<BudgetRow> priced;
    for (const StoredRow& r : rows) priced.push_back(budgetRow(r.record));
    return storeTotals(*obra, text::clip(header.code), categoryTotals(priced));
  });
  return keepDirectCostAfter(*cobr, done);
}

Status removeInputCopies(const tables::Installation& inst, ErrorReporter& errors) {
  auto iobr = inst.table("IOBR", errors);
  if (Status s = iobr->open(); !s) return s;
  std::vector<StoredRow> copies;
  if (Status s = readAll(*iobr, &copies, INT32_MIN, kFirstOwnInput - 1); !s) return s;
  return inTransaction(*iobr, [&]() -> Status {
    for (const StoredRow& c : copies) {
      if (Status s = iobr->fetchById(c.id); !s) return s;
      if (Status s = iobr->remove(); !s) return s;
    }
    return Status::ok();
  });
}

namespace {

// A record's identity, version and number, as RENUM moves it.
struct Numbered {
  int64_t id, version, number;
  std::string text;  // a row's description, for the progress
};

Status readNumbers(tables::Table& table, int64_t from, int64_t to, bool withText, std::vector<Numbered>* out) {
  tables::Record lo(table.def()), hi(table.def());
  lo.setInteger("CTA", from);
  hi.setInteger("CTA", to);
  std::vector<std::string> fields = {"_id", "_ver", "CTA"};
  if (withText) fields.push_back("TEXT");
  const Status s = table.readRangeColumns(table.keyIndex("CTA_KEY"), lo, hi, fields, [&](const tables::Row& r) {
    out->push_back({r.integer(0), r.integer(1), r.integer(2), withText ? r.text(3) : std::string()});
    return true;
  });
  return s.is(Status::Code::kNotFound) ? Status::ok() : s;
}

// Gives every record its new number in one statement; each version is then one more.
Status renumberAll(tables::Table& table, std::vector<Numbered>& records, const std::vector<int64_t>& numbers) {
  const int cta = table.def().slot("CTA");
  const Status s =
      table.updateStoredFieldsMany({"CTA"}, records.size(), [&](size_t i) -> tables::Table::StoredIdentity {
        table.rec().setIntegerAt(cta, numbers[i]);
        return {records[i].id, records[i].version};
      });
  if (s)
    for (size_t i = 0; i < records.size(); ++i) {
      ++records[i].version;
      records[i].number = numbers[i];
    }
  return s;
}

}  // namespace

Status renumber(const tables::Installation& inst, ErrorReporter& errors, int32_t user, const Progress& progress) {
  constexpr int64_t kAside = 1000000;  // rows move out of the way by this much
  auto cobr = inst.table("COBR", errors);
  auto inob = inst.table("INOB", errors);
  for (tables::Table* t : {cobr.get(), inob.get()}) {
    if (Status s = t->open(); !s) return s;
    t->setAuditUser(user);
  }
  if (Status s = inob->shareConnectionOf(*cobr); !s) return s;
  std::vector<Numbered> rows, lines;
  const Status done = underWorkLock(*cobr, [&]() -> Status {
    if (Status s = readNumbers(*cobr, INT32_MIN, INT32_MAX, true, &rows); !s) return s;
    if (Status s = readNumbers(*inob, -999999999, 999999999, false, &lines); !s) return s;
    // 1. Every row and every line out of the way.
    std::vector<int64_t> aside;
    for (const Numbered& r : rows) aside.push_back(r.number + kAside);
    if (Status s = renumberAll(*cobr, rows, aside); !s) return s;
    aside.clear();
    for (const Numbered& l : lines) aside.push_back(l.number + kAside * 100);
    if (Status s = renumberAll(*inob, lines, aside); !s) return s;
    // 2. Rows 10, 20, 30 ... in their old order; the k-th line of old row c
    //    becomes n + 0.01 k. Lines of no row stay aside.
    std::vector<int64_t> rowNumbers(rows.size()), lineNumbers;
    for (const Numbered& l : lines) lineNumbers.push_back(l.number);
    const auto ownerOf = [](int64_t number) { return number >= 0 ? number / 100 : -((-number + 99) / 100); };
    size_t nextLine = 0;
    int64_t n = 10;
    for (size_t i = 0; i < rows.size(); ++i) {
      if (progress && !progress(i, rows.size(), rows[i].text))
        return Status::error(Status::Code::kCancelled, "cancelado");
      const int64_t old = rows[i].number - kAside;
      while (nextLine < lines.size() && ownerOf(lines[nextLine].number - kAside * 100) < old) ++nextLine;
      for (int64_t k = 0; nextLine < lines.size() && ownerOf(lines[nextLine].number - kAside * 100) == old;
           ++k, ++nextLine)
        lineNumbers[nextLine] = n * 100 + k;
      rowNumbers[i] = n;
      n += 10;
    }
    if (progress && !progress(rows.size(), rows.size(), {}))
      return Status::error(Status::Code::kCancelled, "cancelado");
    if (Status s = renumberAll(*inob, lines, lineNumbers); !s) return s;
    return renumberAll(*cobr, rows, rowNumbers);
  });
  return keepDirectCostAfter(*cobr, done);
}

Status newRowNumber(tables::Table& cobr, int32_t* number) {
  cobr.setOrder(cobr.keyIndex("CTA_KEY"));
  const tables::Found last = cobr.previous();
  const int64_t highest = last.found() ? cobr.rec().integer("CTA") : 0;
  *number = static_cast<int32_t>(std::min<int64_t>(highest + 1 + 9, INT32_MAX));
  return last.failure();
}

namespace {

// A row's stored figures from its lines, as saving it gives them.
void setRowFigures(tables::Record& r, std::vector<catalog::EditedLine>& lines) {
  if (kindOf(r) == row_kind::kConcept) {
    const catalog::FormTotals totals = catalog::recomputeTotals(lines);
    setFigures(r, totals.sums.rounded());
    r.setReal("PUNI", totals.directCost);
    r.setReal("IMPO", totals.directCost * r.real("CANT"));
  } else {
    lines.clear();  // a title or a subtotal has no analysis
    setFigures(r, {});
    r.setReal("PUNI", 0);
    r.setReal("IMPO", 0);
  }
  // The description follows the long one, when there is one.
  std::string longText = r.text("TEX1");
  std::replace(longText.begin(), longText.end(), '\n', ' ');
  if (!text::clip(longText).empty()) r.setText("TEXT", text::truncateChars(longText, 50));
}

}  // namespace

namespace {

// What a row adds to the direct cost, in cents: a concept its amount as
// printed; a title, a subtotal or a row outside the key (account 0) nothing.
int64_t directCostCents(int64_t account, char kind, double quantity, const catalog::CostSplit& perUnit) {
  if (account == 0 || kind == row_kind::kTitle || kind == row_kind::kSubtotal) return 0;
  return rowMoney(perUnit, quantity).amount;
}

// The kept direct cost before a save of one row, with what the row added
// to it: after the save's commit, the kept figure is corrected by the
// row's change instead of being summed again at the next opening.
struct KeptBeforeSave {
  tables::ChangeStamp stamp;
  int64_t cents = 0;
  int64_t rowCents = 0;
};

std::optional<KeptBeforeSave> keptBeforeSave(tables::Table& cobr, bool inserting, int32_t previousAccount) {
  if (cobr.inTransaction()) return std::nullopt;
  const auto stamp = tables::changeStampOf(cobr);
  if (!stamp) return std::nullopt;
  const auto kept = cachedDirectCost(cobr.path(), *stamp);
  if (!kept) return std::nullopt;
  KeptBeforeSave before{*stamp, money::cents(*kept), 0};
  if (inserting) return before;
  // The row as stored (the buffer holds the edited values).
  tables::Record at(cobr.def());
  at.setInteger("CTA", previousAccount);
  bool found = false;
  const Status s =
      cobr.readRangeColumns(cobr.keyIndex("CTA_KEY"), at, at, {"_id", "TIPO", "CANT", "TOBR", "TMAT", "TCOS", "TPOR"},
                            [&](const tables::Row& r) {
                              if (r.integer(0) != cobr.recordId()) return true;
                              before.rowCents = directCostCents(previousAccount, storedKind(r.text(1)), r.real(2),
                                                                {r.real(3), r.real(4), r.real(5), r.real(6)});
                              found = true;
                              return false;
                            });
  if (!s || !found) return std::nullopt;
  return before;
}

void correctKeptCost(tables::Table& cobr, const KeptBeforeSave& before) {
  const auto now = tables::changeStampOf(cobr);
  // Only this save's commit since: another station's would have changed
  // rows this figure knows nothing of.
  if (!now || now->counter != static_cast<uint32_t>(before.stamp.counter + 1)) return;
  const tables::Record& r = cobr.rec();
  const int64_t rowCents = directCostCents(r.integer("CTA"), kindOf(r), r.real("CANT"), storedSplit(r));
  keepDirectCost(cobr.path(), *now, money::fromCents(before.cents - before.rowCents + rowCents));
}

}  // namespace

Status saveBudgetRow(tables::Table& cobr, bool inserting, int32_t previousAccount, tables::Table& inob,
                     std::vector<catalog::EditedLine> lines) {
  const auto before = keptBeforeSave(cobr, inserting, previousAccount);
  setRowFigures(cobr.rec(), lines);
  const Status s = catalog::saveAnalysis(cobr, inserting, previousAccount, inob, std::move(lines));
  if (s && before) correctKeptCost(cobr, *before);
  return s;
}

Status appendBudgetRows(const tables::Installation& inst, ErrorReporter& errors, const WorkHeader& header,
                        const estimate::ZoneFactors& zone, int32_t user, const std::vector<NewBudgetRow>& rows,
                        std::vector<int32_t>* accounts) {
  if (Status s = requireBudgetTables(inst); !s) return s;
  WorkPricing pricing(inst, errors, header, zone, user);
  if (Status s = pricing.openStatus(); !s) return s;
  auto cobr = inst.table("COBR", errors);
  auto inob = inst.table("INOB", errors);
  auto coba = inst.table("COBT", errors);
  for (auto* t : {cobr.get(), inob.get(), coba.get()})
    if (Status s = t->open(); !s) return s;
  cobr->setAuditUser(user);
  inob->setAuditUser(user);
  if (Status s = inob->shareConnectionOf(*cobr); !s) return s;
  if (Status s = pricing.prepareRun(*cobr); !s) return s;
  // After the last row, ten apart, as RENUM numbers them.
  int32_t account = 0;
  if (Status s = newRowNumber(*cobr, &account); !s) return s;
  account = (account + 9) / 10 * 10;
  if (Status s = cobr->begin(); !s) return s;
  const auto fail = [&cobr](Status s) {
    cobr->rollback();
    return s;
  };
  for (const NewBudgetRow& row : rows) {
    std::vector<catalog::EditedLine> lines;
    if (row.baseConcept != 0) {
      std::optional<ImportedConcept> imported;
      if (Status s = importConcept(pricing.engine(), *coba, row.baseConcept, &imported); !s) return fail(s);
      if (imported) lines = std::move(imported->lines);
    }
    if (lines.size() > catalog::kMaxLines) lines.resize(catalog::kMaxLines);
    tables::Record& r = cobr->rec();
    r.clear();
    r.setInteger("CTA", account);
    r.setText("TIPO", std::string(1, row.kind));
    r.setText("TEXT", text::truncateChars(row.text, 50));
    r.setText("TEX1", text::truncateChars(row.longText, 490));
    r.setText("GENE", row.gene);
    r.setText("LLAV", row.key);
    r.setText("UNID", row.unit);
    r.setReal("CANT", row.kind == row_kind::kConcept ? row.quantity : 0);
    setRowFigures(r, lines);
    if (Status s = catalog::writeAnalysis(*cobr, true, account, *inob, std::move(lines)); !s) return fail(s);
    if (accounts) accounts->push_back(account);
    account += 10;
  }
  if (Status s = pricing.openStatus(); !s) return fail(s);
  if (Status s = pricing.prices().saveCopies(); !s) return fail(s);
  if (Status s = cobr->commit(); !s) return fail(s);
  return Status::ok();
}

Status importConcept(catalog::PricingEngine& engine, tables::Table& coba, int32_t account,
                     std::optional<ImportedConcept>* out) {
  out->reset();
  coba.rec().clear();
  coba.rec().setInteger("CTA", account);
  const tables::Found read = coba.fetch(coba.keyIndex("CTA_KEY"));
  if (!read.found()) return read.failure();
  const tables::Record& c = coba.rec();
  *out = ImportedConcept{
      c.text("TEXT"), c.text("GENE"), c.text("LLAV"), c.text("UNID"), text::truncateChars(c.text("TEX1"), 490), {}};
  (*out)->lines = catalog::loadConceptLines(engine, account);
  return engine.openStatus();
}

Status adjustLines(std::vector<catalog::EditedLine>& lines, double wanted) {
  const double current = catalog::recomputeTotals(lines).directCost;
  if (wanted == 0) return Status::ok();  // nothing changes
  if (current == 0) return Status::error(Status::Code::kInvalid, "EL CONCEPTO VALE 0: NO HAY CANTIDADES QUE AJUSTAR");
  const double ratio = wanted / current;
  if (ratio == 1) return Status::ok();
  for (catalog::EditedLine& l : lines) {
    if (l.category < catalog::category::kBasic || l.category > catalog::category::kLabour) continue;
    l.quantity *= ratio;
    catalog::refreshLine(l);  // amount = price x new quantity, split with it
  }
  catalog::recomputeTotals(lines);
  return Status::ok();
}

}  // namespace velmora::works
