// The writer of a table: inserts, updates, deletes and transactions.
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

Statement& Table::writeStatement(int which) {
  Statement& s = writes_[which];
  if (s.valid()) return s;
  const std::string table = storeIdent();
  std::string sql;
  switch (which) {
    case kInsert: {
      std::string cols, params;
      for (const Column& c : def_.columns) {
        cols += ident(c.name) + ",";
        params += "?,";
      }
      for (int slot : def_.foldedSlots) {
        cols += ident(def_.columns[slot].name + "_F") + ",";
        params += "?,";
      }
      sql = "INSERT INTO " + table + "(" + cols + "\"_ver\") VALUES(" + params + "1)";
      // The server says "taken" with no row instead of an error, which
      // would end the caller's transaction.
      if (onServer()) sql += " ON CONFLICT DO NOTHING RETURNING \"_id\"";
      break;
    }
    case kUpdate: {
      sql = "UPDATE " + table + " SET ";
      for (const Column& c : def_.columns) sql += ident(c.name) + "=?,";
      for (int slot : def_.foldedSlots) sql += ident(def_.columns[slot].name + "_F") + "=?,";
      sql += "\"_ver\"=\"_ver\"+1 WHERE \"_id\"=? AND \"_ver\"=?";
      break;
    }
    case kDelete: sql = "DELETE FROM " + table + " WHERE \"_id\"=? AND \"_ver\"=?"; break;
    case kReadById: sql = "SELECT " + selectList() + " FROM " + table + " WHERE \"_id\"=?"; break;
    case kReadFirstStored: sql = "SELECT " + selectList() + " FROM " + table + " ORDER BY \"_id\" LIMIT 1"; break;
    case kCount: sql = "SELECT count(*) FROM " + table + (filterSql_.empty() ? "" : " WHERE " + filterSql_); break;
    default: {  // kMaxAuto + key index
      const int key = which - kMaxAuto;
      const Column& c = def_.columns[def_.resolvedKeys[key].componentSlots[0]];
      sql = "SELECT max(" + ident(c.name) + ") FROM " + table;
      break;
    }
  }
  s.prepare(*db_, sql);
  return s;
}

void Table::bindRecord(Statement& s) {
  // The record and its folded keys stay as they are until the caller has
  // stepped the statement: their texts are bound without a copy.
  int p = 1;
  for (int i = 0; i < static_cast<int>(def_.columns.size()); ++i, ++p) {
    if (isTextType(def_.columns[i].type)) s.bindKept(p, rec_.textAt(i));
    else bindSlot(s, p, rec_, i);
  }
  foldedKeys_.resize(def_.foldedSlots.size());
  for (size_t k = 0; k < def_.foldedSlots.size(); ++k) {
    foldedKeys_[k] = text::foldKey(rec_.textAt(def_.foldedSlots[k]));
    s.bindKept(p++, foldedKeys_[k]);
  }
}

void Table::stampAudit() {
  if (keepAudit_) return;
  if (def_.userSlot >= 0) rec_.setIntegerAt(def_.userSlot, auditUser_);
  if (def_.dateSlot >= 0) rec_.setIntegerAt(def_.dateSlot, dates::today());
  if (def_.timeSlot >= 0) rec_.setIntegerAt(def_.timeSlot, dates::clockNow());
}

Status Table::checkRanges() {
  // Every integer column must fit its type: nothing is ever wrapped. A real
  // that is not finite is never stored (NaN would become a NULL).
  for (size_t i = 0; i < def_.columns.size(); ++i) {
    const Column& col = def_.columns[i];
    if (col.type == FieldType::kReal && !std::isfinite(rec_.realAt(static_cast<int>(i))))
      return Status::error(Status::Code::kInvalid, def_.qualified(col.name) + " no es una cifra finita");
    const auto range = integerRange(col.type);
    if (!range) continue;
    const int64_t v = rec_.integerAt(static_cast<int>(i));
    if (v >= range->min && v <= range->max) continue;
    const bool decimal = col.type == FieldType::kDecimal92;
    const auto shown = [decimal](int64_t x) {
      return decimal ? text::formatFixed(static_cast<double>(x) / 100, 2) : std::to_string(x);
    };
    errors_.setField(def_.qualified(col.name));
    errors_.raiseMessage(18, shown(range->min) + " .. " + shown(range->max));
    return Status::error(Status::Code::kInvalid, def_.qualified(col.name) + " fuera de rango");
  }
  for (const RangeCheck& c : def_.checks) {
    const int64_t v = rec_.integer(c.field);
    if (v < c.min || v > c.max) {
      errors_.setField(c.label);
      errors_.raiseMessage(18, std::to_string(c.min) + " .. " + std::to_string(c.max));
      return Status::error(Status::Code::kInvalid, def_.qualified(c.field) + " fuera de rango");
    }
  }
  return Status::ok();
}

std::string Table::keyNameForColumns(const std::string& error) const {
  // SQLite names the columns of the violated index: "... failed: T.A, T.B";
  // the server names the index itself.
  for (size_t k = 0; k < def_.keys.size(); ++k) {
    if (def_.keys[k].flags & kDuplicates) continue;
    if (error.find("\"" + def_.resolvedKeys[k].indexName + "\"") != std::string::npos)
      return def_.qualified(def_.keys[k].name);
    std::string expected;
    for (const auto& col : def_.resolvedKeys[k].sqlColumns) {
      expected += (expected.empty() ? "" : ", ") + def_.storeName + "." + col.substr(1, col.size() - 2);
    }
    if (error.size() >= expected.size() &&
        error.compare(error.size() - expected.size(), expected.size(), expected) == 0) {
      return def_.qualified(def_.keys[k].name);
    }
  }
  return def_.label;
}

std::string Table::takenKeyName() {
  // The server refuses a taken key without naming it: the first unique key
  // whose values in the buffer another record holds is the one.
  for (size_t k = 0; k < def_.keys.size(); ++k) {
    if (def_.keys[k].flags & kDuplicates) continue;
    Statement& s = query(static_cast<int>(k), kFetch);
    ResetOnExit reset(s);
    bindSource_ = &rec_;
    bindKeyValues(s, static_cast<int>(k), 1);
    if (s.step() == SQLITE_ROW) return def_.qualified(def_.keys[k].name);
  }
  return def_.label;
}

Status Table::insertOnce(bool* duplicate, std::string* failedKey) {
  *duplicate = false;
  stampAudit();
  Statement& s = writeStatement(kInsert);
  ResetOnExit reset(s);
  bindRecord(s);
  const int rc = s.step();
  if (rc == SQLITE_DONE) {
    currentId_ = db_->lastInsertId();
    currentVersion_ = 1;
    return Status::ok();
  }
  const std::string message = db_->errorMessage();
  if (rc == SQLITE_CONSTRAINT_UNIQUE || rc == SQLITE_CONSTRAINT_PRIMARYKEY) {
    *duplicate = true;
    *failedKey = onServer() ? takenKeyName() : keyNameForColumns(message);
    return Status::error(Status::Code::kDuplicateKey, message);
  }
  errors_.noteStorageError(rc, engineErrorText(db_.get(), rc));
  return Status::error((rc & 0xFF) == SQLITE_BUSY ? Status::Code::kLocked : Status::Code::kIoError,
                       engineErrorText(db_.get(), rc));
}

Status Table::insert() {
  errors_.setFile(def_.label);
  if (!db_) return closedTable();
  if (readOnly_) {
    errors_.noteError(5, "Acceso denegado");
    errors_.raise(4);
    return Status::error(Status::Code::kReadOnly, "Acceso denegado");
  }
  for (size_t k = 0; k < def_.keys.size(); ++k) {
    if ((def_.keys[k].flags & kAutoNumber) && rec_.integerAt(def_.resolvedKeys[k].componentSlots[0]) == 0) {
      return autoNumberInsert();
    }
  }
  if (Status s = checkRanges(); !s) return s;
  bool duplicate;
  std::string failedKey;
  Status s = insertOnce(&duplicate, &failedKey);
  if (duplicate) {
    errors_.setKey(failedKey);
    errors_.raiseMessage(15, failedKey);
  } else if (!s) {
    errors_.raise(4);
  }
  return s;
}

Status Table::autoNumberInsert() {
  int key = 0;
  while (!(def_.keys[key].flags & kAutoNumber)) ++key;
  const int slot = def_.resolvedKeys[key].componentSlots[0];
  for (;;) {
    Status last;
    for (int attempt = 0; attempt < 3; ++attempt) {
      Statement& maxQuery = writeStatement(kMaxAuto + key);
      int64_t highest = 0;
      {
        ResetOnExit reset(maxQuery);
        if (maxQuery.step() == SQLITE_ROW) highest = maxQuery.integer(0);
      }
      rec_.setIntegerAt(slot, highest + 1);
      if (Status range = checkRanges(); !range) {
        rec_.setIntegerAt(slot, 0);
        return range;
      }
      bool duplicate;
      std::string failedKey;
      last = insertOnce(&duplicate, &failedKey);
      if (last) return last;
      if (duplicate) {
        errors_.setKey(failedKey);
        errors_.noteError(40, "Clave duplicada en " + failedKey);
      }
    }
    errors_.setFile(def_.label);
    if (errors_.raise(35) != result::kGoOn) {
      rec_.setIntegerAt(slot, 0);
      return last.isOk() ? Status::error(Status::Code::kCancelled, "cancelado") : last;
    }
  }
}

Status Table::update() {
  errors_.setFile(def_.label);
  if (!db_) return closedTable();
  if (currentId_ == 0) return Status::error(Status::Code::kInvalid, "no hay registro leído");
  if (Status s = checkRanges(); !s) return s;
  stampAudit();
  Statement& s = writeStatement(kUpdate);
  int rc;
  {
    ResetOnExit reset(s);
    bindRecord(s);
    const int n = static_cast<int>(def_.columns.size() + def_.foldedSlots.size());
    s.bind(n + 1, currentId_);
    s.bind(n + 2, currentVersion_);
    rc = s.step();
  }
  if (rc == SQLITE_DONE && db_->changes() == 1) {
    ++currentVersion_;
    return Status::ok();
  }
  if (rc == SQLITE_DONE) {  // the record changed or went away under us
    Statement& byId = writeStatement(kReadById);
    ResetOnExit reset(byId);
    byId.bind(1, currentId_);
    if (byId.step() == SQLITE_ROW) {
      readInto(byId);
      errors_.raise(8);
      return Status::error(Status::Code::kConflict, "modificado por otra estación");
    }
    currentId_ = 0;
    errors_.raise(7);
    return Status::error(Status::Code::kConflict, "eliminado por otra estación");
  }
  std::string message = db_->errorMessage();
  if (rc == SQLITE_CONSTRAINT_UNIQUE || rc == SQLITE_CONSTRAINT_PRIMARYKEY) {
    // A changed key that another record already holds: the same message as
    // an insert, and nothing to retry.
    const std::string key = keyNameForColumns(message);
    errors_.setKey(key);
    errors_.raiseMessage(15, key);
    return Status::error(Status::Code::kDuplicateKey, message);
  }
  errors_.noteStorageError(rc, engineErrorText(db_.get(), rc));
  errors_.raise(28);
  return Status::error((rc & 0xFF) == SQLITE_BUSY ? Status::Code::kLocked : Status::Code::kIoError,
                       engineErrorText(db_.get(), rc));
}

Status Table::updateStored(int64_t id, int64_t version) {
  currentId_ = id;
  currentVersion_ = version;
  return update();
}

Status Table::writableSlots(const std::vector<std::string>& fields, std::vector<int>* slots) const {
  slots->clear();
  for (const std::string& f : fields) {
    // "COST[3]": one element of an array.
    const size_t open = f.find('[');
    const int slot = open == std::string::npos
                         ? def_.slot(f)
                         : def_.slot(std::string_view(f).substr(0, open), std::atoi(f.c_str() + open + 1));
    if (slot < 0) return Status::error(Status::Code::kInvalid, "campo desconocido " + f);
    for (int folded : def_.foldedSlots)
      if (folded == slot) return Status::error(Status::Code::kInvalid, "campo de clave " + f);
    slots->push_back(slot);
  }
  return Status::ok();
}

Status Table::updateStoredFields(int64_t id, int64_t version, const std::vector<std::string>& fields) {
  errors_.setFile(def_.label);
  if (!db_) return closedTable();
  if (Status s = checkRanges(); !s) return s;
  stampAudit();
  auto& [s, slots] = fieldWrites_[fields];
  if (!s.valid()) {
    std::vector<std::string> all = fields;
    for (int audit : {def_.userSlot, def_.dateSlot, def_.timeSlot})
      if (audit >= 0) all.push_back(def_.columns[audit].name);
    if (Status st = writableSlots(all, &slots); !st) return st;
    std::string sql = "UPDATE " + storeIdent() + " SET ";
    for (int slot : slots) sql += ident(def_.columns[slot].name) + "=?,";
    sql += "\"_ver\"=\"_ver\"+1 WHERE \"_id\"=? AND \"_ver\"=?";
    s.prepare(*db_, sql);
  }
  int rc;
  {
    ResetOnExit reset(s);
    int p = 1;
    for (int slot : slots) bindSlot(s, p++, rec_, slot);
    s.bind(p++, id);
    s.bind(p, version);
    rc = s.step();
  }
  if (rc == SQLITE_DONE && db_->changes() == 1) {
    currentId_ = id;
    currentVersion_ = version + 1;
    return Status::ok();
  }
  currentId_ = id;
  currentVersion_ = version;
  if (rc == SQLITE_DONE) {
    errors_.raise(8);
    return Status::error(Status::Code::kConflict, "modificado por otra estación");
  }
  return raiseStorage(28, rc, (rc & 0xFF) == SQLITE_BUSY ? Status::Code::kLocked : Status::Code::kIoError);
}

Status Table::updateStoredFieldsMany(const std::vector<std::string>& fields, size_t count,
                                     const std::function<StoredIdentity(size_t)>& fill) {
  errors_.setFile(def_.label);
  if (!db_) return closedTable();
  if (count == 0) return Status::ok();
  std::vector<int> slots;
  if (Status st = writableSlots(fields, &slots); !st) return st;
  // The new values go to a scratch table in memory, then one UPDATE ... FROM
  // writes them all: far less work per record than one UPDATE each.
  // One scratch table per shape (a letter per value's kind): the server
  // needs its columns typed.
  std::string shape, columns = onServer() ? "id bigint PRIMARY KEY, ver bigint" : "id INTEGER PRIMARY KEY, ver",
                     marks = "?,?";
  for (size_t k = 0; k < slots.size(); ++k) {
    const FieldType type = def_.columns[slots[k]].type;
    shape += isTextType(type) ? 'T' : type == FieldType::kReal ? 'R' : 'I';
    columns += ", v" + std::to_string(k) + (onServer() ? " " + columnType(type, true) : "");
    marks += ",?";
  }
  const std::string scratch = std::string(onServer() ? "pg_temp" : "temp") + ".\"velmora_bulk_" + shape + "\"";
  if (db_->exec("CREATE TEMP TABLE IF NOT EXISTS " + scratch + "(" + columns + ")") != SQLITE_OK ||
      db_->exec("DELETE FROM " + scratch) != SQLITE_OK) {
    return raiseStorage(28, db_->errorCode(), Status::Code::kIoError);
  }
  struct Cleanup {
    internal::Connection& db;
    std::string table;
    ~Cleanup() { db.exec("DELETE FROM " + table); }
  } cleanup{*db_, scratch};
  {
    Statement add(*db_, "INSERT INTO " + scratch + " VALUES(" + marks + ")");
    if (!add.valid()) return raiseStorage(28, db_->errorCode(), Status::Code::kIoError);
    for (size_t i = 0; i < count; ++i) {
      const StoredIdentity stored = fill(i);
      if (Status st = checkRanges(); !st) return st;
      ResetOnExit reset(add);
      add.bind(1, stored.id);
      add.bind(2, stored.version);
      int p = 3;
      for (int slot : slots) bindSlot(add, p++, rec_, slot);
      const int rc = add.step();
      if (rc != SQLITE_DONE) {
        // One identity twice is the caller's mistake, not the disk's.
        if ((rc & 0xFF) == SQLITE_CONSTRAINT) return Status::error(Status::Code::kInvalid, "un registro dos veces");
        return raiseStorage(28, rc, Status::Code::kIoError);
      }
    }
  }
  stampAudit();
  std::string sql = "UPDATE " + storeIdent() + " SET ";
  for (size_t k = 0; k < slots.size(); ++k)
    sql += ident(def_.columns[slots[k]].name) + "=b.v" + std::to_string(k) + ",";
  std::vector<int> audit;
  for (int a : {def_.userSlot, def_.dateSlot, def_.timeSlot})
    if (a >= 0) {
      audit.push_back(a);
      sql += ident(def_.columns[a].name) + "=?,";
    }
  const std::string target = ident(def_.storeName);
  sql += "\"_ver\"=" + target + ".\"_ver\"+1 FROM " + scratch + " AS b WHERE " + target + ".\"_id\"=b.id AND " +
         target + ".\"_ver\"=b.ver";
  Statement update(*db_, sql);
  if (!update.valid()) return raiseStorage(28, db_->errorCode(), Status::Code::kIoError);
  int p = 1;
  for (int a : audit) bindSlot(update, p++, rec_, a);
  const int rc = update.step();
  if (rc != SQLITE_DONE)
    return raiseStorage(28, rc, (rc & 0xFF) == SQLITE_BUSY ? Status::Code::kLocked : Status::Code::kIoError);
  if (static_cast<size_t>(db_->changes()) != count) {
    // Another station changed or removed some of them since they were read:
    // the caller's transaction is to be rolled back, as for one record.
    errors_.raise(8);
    return Status::error(Status::Code::kConflict, "modificado por otra estación");
  }
  currentId_ = 0;
  return Status::ok();
}

Status Table::remove() {
  if (!db_) return closedTable();
  if (currentId_ == 0) return Status::error(Status::Code::kInvalid, "no hay registro leído");
  Statement& s = writeStatement(kDelete);
  ResetOnExit reset(s);
  s.bind(1, currentId_);
  s.bind(2, currentVersion_);
  const int rc = s.step();
  if (rc == SQLITE_DONE && db_->changes() == 1) {
    currentId_ = 0;
    return Status::ok();
  }
  if (rc == SQLITE_DONE) return Status::error(Status::Code::kConflict, "modificado por otra estación");
  errors_.noteStorageError(rc, engineErrorText(db_.get(), rc));
  return Status::error((rc & 0xFF) == SQLITE_BUSY ? Status::Code::kLocked : Status::Code::kIoError,
                       engineErrorText(db_.get(), rc));
}

Status Table::begin() {
  if (!db_) return closedTable();
  idAtBegin_ = currentId_;
  versionAtBegin_ = currentVersion_;
  const int rc = db_->begin(onServer() ? storeIdent() : std::string());
  if (rc == SQLITE_OK) return Status::ok();
  return raiseStorage(24, rc, Status::Code::kLocked);
}

Status Table::commit() {
  if (!db_) return closedTable();
  const int rc = db_->commit();
  if (rc == SQLITE_OK) return Status::ok();
  Status s = raiseStorage(28, rc, Status::Code::kIoError);
  db_->rollback();
  return s;
}

void Table::rollback() {
  if (!db_) return;
  db_->rollback();
  currentId_ = idAtBegin_;
  currentVersion_ = versionAtBegin_;
}

}  // namespace velmora::tables
