// The cursor of a table: positioned reads, ranges, scans, filters.
#include "tables/table.h"

#include <sqlite3.h>

#include <cmath>
#include <cstdlib>

#include "framework/dates.h"
#include "framework/text.h"
#include "tables/catalogue.h"
#include "tables/connection.h"
#include "tables/table_sql.h"

namespace velmora::tables {

using namespace internal;

std::string Table::selectList() const {
  std::string s = "\"_id\",\"_ver\"";
  for (const Column& c : def_.columns) s += "," + ident(c.name);
  return s;
}

Statement& Table::query(int key, Query q) {
  if (queries_.empty()) queries_.resize(def_.keys.size() * kQueryKinds);
  Statement& s = queries_[key * kQueryKinds + q];
  if (s.valid()) return s;
  const ResolvedKey& rk = def_.resolvedKeys[key];
  std::string cols, params, order, orderDesc, where;
  for (size_t i = 0; i < rk.sqlColumns.size(); ++i) {
    cols += (i ? "," : "") + rk.sqlColumns[i];
    params += i ? ",?" : "?";
    order += rk.sqlColumns[i] + ",";
    orderDesc += rk.sqlColumns[i] + " DESC,";
  }
  order += "\"_id\"";
  orderDesc += "\"_id\" DESC";
  switch (q) {
    case kFetch:
      for (size_t i = 0; i < rk.sqlColumns.size(); ++i) {
        where += (i ? " AND " : "") + rk.sqlColumns[i] + "=?";
      }
      break;
    case kFirst:
    case kLast:
    case kAll: break;
    case kFromValuesUp: where = "(" + cols + ")>=(" + params + ")"; break;
    case kFromValuesDown: where = "(" + cols + ")<=(" + params + ")"; break;
    case kAfter: where = "(" + cols + ",\"_id\")>(" + params + ",?)"; break;
    case kBefore: where = "(" + cols + ",\"_id\")<(" + params + ",?)"; break;
    case kRange: where = "(" + cols + ")>=(" + params + ") AND (" + cols + ")<=(" + params + ")"; break;
    case kQueryKinds: break;
  }
  if (!rk.emptyExclusion.empty()) where = where.empty() ? rk.emptyExclusion : where + " AND " + rk.emptyExclusion;
  if (!filterSql_.empty() && q != kFetch) where = where.empty() ? filterSql_ : where + " AND " + filterSql_;
  const bool descending = q == kLast || q == kFromValuesDown || q == kBefore;
  std::string sql = "SELECT " + selectList() + " FROM " + storeIdent();
  if (!where.empty()) sql += " WHERE " + where;
  sql += " ORDER BY " + (q == kFetch ? std::string("\"_id\"") : descending ? orderDesc : order);
  if (q != kRange && q != kAll) sql += " LIMIT 1";
  s.prepare(*db_, sql);
  return s;
}

void Table::bindKeyValues(Statement& s, int key, int first) {
  const ResolvedKey& rk = def_.resolvedKeys[key];
  for (size_t i = 0; i < rk.componentSlots.size(); ++i) {
    const int slot = rk.componentSlots[i];
    const Column& c = def_.columns[slot];
    const int p = first + static_cast<int>(i);
    if (isTextType(c.type) && rk.folded[i]) s.bind(p, text::foldKey(bindSource_->textAt(slot)));
    else bindSlot(s, p, *bindSource_, slot);
  }
}

void Table::readInto(Statement& s) {
  currentId_ = s.integer(0);
  currentVersion_ = s.integer(1);
  for (int i = 0; i < static_cast<int>(def_.columns.size()); ++i) {
    const FieldType t = def_.columns[i].type;
    if (isTextType(t)) {
      const std::string_view stored = s.textView(i + 2);
      rec_.assignStoredTextAt(i, stored.data(), stored.size());
    } else if (t == FieldType::kReal) {
      rec_.setRealAt(i, s.real(i + 2));
    } else {
      rec_.setIntegerAt(i, s.integer(i + 2));
    }
  }
}

Status Table::unknownKey(int key) const {
  if (key >= 0 && key < static_cast<int>(def_.resolvedKeys.size())) return Status::ok();
  // A key name keyIndex did not know: the caller's mistake, told to it.
  return Status::error(Status::Code::kInvalid, "la tabla " + def_.label + " no tiene esa clave");
}

Status Table::step(int key, Query q, bool withValues, bool withId) {
  if (!db_) return closedTable();
  if (Status s = unknownKey(key); !s) return s;
  Statement& s = query(key, q);
  if (!s.valid()) return raiseStorage(26, db_->errorCode(), Status::Code::kIoError);
  ResetOnExit reset(s);
  const int n = static_cast<int>(def_.resolvedKeys[key].componentSlots.size());
  if (withValues) bindKeyValues(s, key, 1);
  if (withId) s.bind(n + 1, positionId_);
  if (q != kFetch) bindFilter(s, (withValues ? n : 0) + (withId ? 1 : 0) + 1);
  const int rc = s.step();
  if (rc == SQLITE_DONE) return Status::notFound();
  if (rc != SQLITE_ROW) {
    const int id = (rc & 0xFF) == SQLITE_BUSY ? 31 : 1;
    return raiseStorage(id, rc, (rc & 0xFF) == SQLITE_BUSY ? Status::Code::kLocked : Status::Code::kIoError);
  }
  readInto(s);
  return Status::ok();
}

Found Table::fetch(int key) {
  bindSource_ = &rec_;
  Status s = step(key, kFetch, true, false);
  if (s) {
    positionKey_ = key;
    rememberPosition();
  }
  return s;
}

void Table::setOrder(int key) {
  positionKey_ = key;
  position_ = Position::kStart;
}

void Table::setOrderAt(int key) {
  positionKey_ = key;
  position_ = Position::kAtValues;
  positionRecord_ = rec_;
}

Found Table::next() { return move(true); }
Found Table::previous() { return move(false); }

Found Table::move(bool forward) {
  bindSource_ = &positionRecord_;
  Status s;
  switch (position_) {
    case Position::kNone:
    case Position::kStart:  // no position yet: from the start, or from the end
      s = step(positionKey_, forward ? kFirst : kLast, false, false);
      break;
    case Position::kAtValues: s = step(positionKey_, forward ? kFromValuesUp : kFromValuesDown, true, false); break;
    case Position::kAfterRecord: s = step(positionKey_, forward ? kAfter : kBefore, true, true); break;
  }
  if (s) rememberPosition();
  return s;
}

void Table::rememberPosition() {
  position_ = Position::kAfterRecord;
  positionRecord_ = rec_;
  positionId_ = currentId_;
}

Status Table::count(int64_t* n) {
  *n = 0;
  if (!db_) return closedTable();
  Statement& s = writeStatement(kCount);
  ResetOnExit reset(s);
  bindFilter(s, 1);
  const int rc = s.step();
  if (rc != SQLITE_ROW) {
    const bool busy = (rc & 0xFF) == SQLITE_BUSY;
    return raiseStorage(busy ? 31 : 1, rc, busy ? Status::Code::kLocked : Status::Code::kIoError);
  }
  *n = s.integer(0);
  return Status::ok();
}

int64_t Table::countBefore(int key) {
  if (!db_ || !unknownKey(key)) return 0;
  const ResolvedKey& rk = def_.resolvedKeys[key];
  std::string where = rk.sqlColumns[0] + "<?";
  if (!rk.emptyExclusion.empty()) where += " AND " + rk.emptyExclusion;
  if (!filterSql_.empty()) where += " AND " + filterSql_;
  Statement s(*db_, "SELECT count(*) FROM " + storeIdent() + " WHERE " + where);
  if (!s.valid()) return 0;
  const int slot = rk.componentSlots[0];
  if (isTextType(def_.columns[slot].type) && rk.folded[0]) s.bind(1, text::foldKey(rec_.textAt(slot)));
  else bindSlot(s, 1, rec_, slot);
  bindFilter(s, 2);
  return s.step() == SQLITE_ROW ? s.integer(0) : 0;
}

// The key values of both ends of a range, then the filter's values.
void Table::bindRange(Statement& s, int key, const Record& from, const Record& to) {
  const int n = static_cast<int>(def_.resolvedKeys[key].componentSlots.size());
  bindSource_ = &from;
  bindKeyValues(s, key, 1);
  bindSource_ = &to;
  bindKeyValues(s, key, n + 1);
  bindFilter(s, 2 * n + 1);
}

// Steps `s` through its rows, calling `row` at each until it says stop.
Status Table::eachRow(Statement& s, const std::function<bool()>& row) {
  int rc;
  while ((rc = s.step()) == SQLITE_ROW) {
    if (!row()) return Status::ok();
  }
  if (rc != SQLITE_DONE) return raiseStorage(1, rc, Status::Code::kIoError);
  return Status::ok();
}

Status Table::readRange(int key, const Record& from, const Record& to,
                        const std::function<bool(const Record&)>& visit) {
  if (!db_) return closedTable();
  if (Status s = unknownKey(key); !s) return s;
  Statement& s = query(key, kRange);
  if (!s.valid()) return raiseStorage(26, db_->errorCode(), Status::Code::kIoError);
  ResetOnExit reset(s);
  bindRange(s, key, from, to);
  return eachRow(s, [&] {
    readInto(s);
    return visit(rec_);
  });
}

Status Table::readAll(int key, const std::function<bool(const Record&)>& visit) {
  if (!db_) return closedTable();
  if (Status s = unknownKey(key); !s) return s;
  Statement& s = query(key, kAll);
  if (!s.valid()) return raiseStorage(26, db_->errorCode(), Status::Code::kIoError);
  ResetOnExit reset(s);
  return eachRow(s, [&] {
    readInto(s);
    return visit(rec_);
  });
}

Status Table::readRangeColumns(int key, const Record& from, const Record& to, const std::vector<std::string>& fields,
                               const std::function<bool(const Row&)>& visit) {
  if (!db_) return closedTable();
  if (Status s = unknownKey(key); !s) return s;
  // The range and order of readRange, selecting only the columns asked for.
  const ResolvedKey& rk = def_.resolvedKeys[key];
  std::string cols, params, select;
  for (size_t i = 0; i < rk.sqlColumns.size(); ++i) {
    cols += (i ? "," : "") + rk.sqlColumns[i];
    params += i ? ",?" : "?";
  }
  if (Status st = selectColumns(fields, &select); !st) return st;
  std::string where = "(" + cols + ")>=(" + params + ") AND (" + cols + ")<=(" + params + ")";
  if (!rk.emptyExclusion.empty()) where += " AND " + rk.emptyExclusion;
  if (!filterSql_.empty()) where += " AND " + filterSql_;
  Statement s(*db_,
              "SELECT " + select + " FROM " + storeIdent() + " WHERE " + where + " ORDER BY " + cols + ",\"_id\"");
  if (!s.valid()) return raiseStorage(26, db_->errorCode(), Status::Code::kIoError);
  bindRange(s, key, from, to);
  return eachRow(s, [&] { return visit(s); });
}

Status Table::selectColumns(const std::vector<std::string>& fields, std::string* select) const {
  for (const std::string& f : fields) {
    if (f == "_id" || f == "_ver") {
      *select += (select->empty() ? "" : ",") + ident(f);
      continue;
    }
    // "LLAV_F": the folded copy of a case-insensitive key's text.
    if (f.size() > 2 && f.compare(f.size() - 2, 2, "_F") == 0) {
      const int slot = def_.slot(f.substr(0, f.size() - 2));
      if (slot < 0 || std::find(def_.foldedSlots.begin(), def_.foldedSlots.end(), slot) == def_.foldedSlots.end())
        return Status::error(Status::Code::kInvalid, "campo desconocido " + f);
      *select += (select->empty() ? "" : ",") + ident(def_.columns[slot].name + "_F");
      continue;
    }
    // "COST[3]": one element of an array.
    const size_t open = f.find('[');
    const int slot =
        open == std::string::npos ? def_.slot(f) : def_.slot(f.substr(0, open), std::atoi(f.c_str() + open + 1));
    if (slot < 0) return Status::error(Status::Code::kInvalid, "campo desconocido " + f);
    *select += (select->empty() ? "" : ",") + ident(def_.columns[slot].name);
  }
  return Status::ok();
}

Status Table::scanColumns(const std::vector<std::string>& fields, const std::function<bool(const Row&)>& visit) {
  if (!db_) return closedTable();
  std::string select;
  if (Status st = selectColumns(fields, &select); !st) return st;
  Statement s(*db_, "SELECT " + select + " FROM " + storeIdent() + " ORDER BY \"_id\"");
  if (!s.valid()) return raiseStorage(26, db_->errorCode(), Status::Code::kIoError);
  return eachRow(s, [&] { return visit(s); });
}

Status Table::scanRecords(const std::function<bool(const Record&)>& visit) {
  if (!db_) return closedTable();
  Statement s(*db_, "SELECT " + selectList() + " FROM " + storeIdent() + " ORDER BY \"_id\"");
  if (!s.valid()) return raiseStorage(26, db_->errorCode(), Status::Code::kIoError);
  return eachRow(s, [&] {
    readInto(s);
    return visit(rec_);
  });
}

bool Table::inTransaction() const { return db_ && db_->inTransaction(); }

Status Table::readConsistently(const std::function<Status()>& read) {
  if (!db_) return closedTable();
  if (inTransaction()) return read();
  if (const int rc = db_->beginRead(); rc != SQLITE_OK)
    return Status::error(Status::Code::kIoError, engineErrorText(db_.get(), rc));
  const Status s = read();
  db_->commit();  // a read transaction: nothing to lose
  return s;
}

// One record, by a statement that finds at most one, into the buffer.
Status Table::readOneStored(Statement& s) {
  ResetOnExit reset(s);
  const int rc = s.step();
  if (rc == SQLITE_ROW) {
    readInto(s);
    return Status::ok();
  }
  if (rc == SQLITE_DONE) return Status::notFound();
  const bool busy = (rc & 0xFF) == SQLITE_BUSY;
  return raiseStorage(busy ? 31 : 1, rc, busy ? Status::Code::kLocked : Status::Code::kIoError);
}

Found Table::fetchById(int64_t id) {
  if (!db_) return closedTable();
  Statement& s = writeStatement(kReadById);
  s.bind(1, id);
  return readOneStored(s);
}

Found Table::fetchFirstStored() {
  if (!db_) return closedTable();
  return readOneStored(writeStatement(kReadFirstStored));
}

Status Table::setFilter(std::vector<Condition> conditions) {
  // The same tests in either engine's words; velmora_upper is ours on both.
  const std::string upperFunction = onServer() ? ident(serverSchema_) + ".velmora_upper" : "velmora_upper";
  const std::string findFunction = onServer() ? "strpos" : "instr";
  std::string sql;
  for (const Condition& c : conditions) {
    std::string test;
    for (const std::string* field : {&c.field, &c.orField}) {
      if (field->empty()) continue;
      const int slot = def_.slot(*field, c.element);
      if (slot < 0) return Status::error(Status::Code::kInvalid, "campo desconocido " + *field);
      const Column& col = def_.columns[slot];
      const bool isTextColumn = isTextType(col.type);
      const std::string value = !isTextColumn     ? "CAST(" + ident(col.name) + " AS TEXT)"
                                : c.caseSensitive ? ident(col.name)
                                                  : upperFunction + "(" + ident(col.name) + ")";
      std::string one;
      switch (c.op) {
        case Condition::Op::kEquals: one = isTextColumn ? value + "=?" : ident(col.name) + "=?"; break;
        case Condition::Op::kNotEquals: one = isTextColumn ? value + "<>?" : ident(col.name) + "<>?"; break;
        case Condition::Op::kBegins: one = findFunction + "(" + value + ",?)=1"; break;
        case Condition::Op::kContains: one = findFunction + "(" + value + ",?)>0"; break;
      }
      test += (test.empty() ? "" : " OR ") + one;
    }
    sql += (sql.empty() ? "(" : " AND (") + test + ")";
  }
  filter_ = std::move(conditions);
  filterSql_ = sql.empty() ? sql : "(" + sql + ")";
  queries_.clear();
  writes_.erase(kCount);
  position_ = Position::kStart;
  return Status::ok();
}

int Table::bindFilter(Statement& s, int p) {
  for (const Condition& c : filter_) {
    for (const std::string* field : {&c.field, &c.orField}) {
      if (field->empty()) continue;
      const Column& col = def_.columns[def_.slot(*field, c.element)];
      const bool numericCompare =
          !isTextType(col.type) && (c.op == Condition::Op::kEquals || c.op == Condition::Op::kNotEquals);
      if (numericCompare) {
        if (col.type == FieldType::kReal) s.bind(p++, text::parseDecimal(text::clip(c.value)).value_or(0.0));
        else s.bind(p++, text::parseInteger(text::clip(c.value)).value_or(0));
      } else {
        s.bind(p++, c.caseSensitive ? text::clip(c.value) : text::upper(text::clip(c.value)));
      }
    }
  }
  return p;
}

// ---- writing -------------------------------------------------------------------------

}  // namespace velmora::tables
