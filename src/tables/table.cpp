#include "tables/table.h"

#include <sqlite3.h>

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <set>

#include "framework/dates.h"
#include "framework/text.h"
#include "tables/catalogue.h"
#include "tables/table_file.h"

namespace velmora::tables {
namespace {

namespace fs = std::filesystem;

enum WriteStatement { kInsert, kUpdate, kDelete, kReadById, kReadFirstStored, kCount, kMaxAuto };

std::string ident(const std::string& name) { return "\"" + name + "\""; }

// Files whose keys were already checked by this process.
std::mutex checkedMutex;
std::set<std::string> checkedFiles;

bool alreadyChecked(const fs::path& p) {
  std::lock_guard<std::mutex> guard(checkedMutex);
  std::error_code ec;
  const fs::path full = fs::absolute(p, ec);
  return !checkedFiles.insert((ec ? p : full).lexically_normal().string()).second;
}

int exec(sqlite3* db, const char* sql) { return sqlite3_exec(db, sql, nullptr, nullptr, nullptr); }

std::string columnType(FieldType t) {
  if (isTextType(t)) return "TEXT NOT NULL DEFAULT ''";
  if (t == FieldType::kReal) return "REAL NOT NULL DEFAULT 0";
  return "INTEGER NOT NULL DEFAULT 0";
}

// velmora_upper(x): the Spanish upper case of a text, for filters. Registered
// on each connection only; the schema never names it.
void upperFunction(sqlite3_context* ctx, int, sqlite3_value** argv) {
  const auto* p = reinterpret_cast<const char*>(sqlite3_value_text(argv[0]));
  const std::string up = text::upper(p ? p : "");
  sqlite3_result_text(ctx, up.c_str(), static_cast<int>(up.size()), SQLITE_TRANSIENT);
}

}  // namespace

std::string engineErrorText(sqlite3* db, int rc) {
  if (rc == SQLITE_OK && db) rc = sqlite3_extended_errcode(db);
  std::string detail;
  switch (rc & 0xFF) {
    case SQLITE_OK: return "error desconocido";
    case SQLITE_PERM:
    case SQLITE_AUTH: return "sin permiso para la tabla";
    case SQLITE_BUSY:
    case SQLITE_LOCKED: return "la tabla está bloqueada por otra estación";
    case SQLITE_NOMEM: return "no hay memoria suficiente";
    case SQLITE_READONLY: return "la tabla sólo se puede leer";
    case SQLITE_INTERRUPT: return "operación interrumpida";
    case SQLITE_IOERR: return "error de entrada y salida del disco";
    case SQLITE_CORRUPT: return "la tabla está dañada";
    case SQLITE_FULL: return "el disco está lleno";
    case SQLITE_CANTOPEN: return "no se pudo abrir el archivo de la tabla";
    case SQLITE_PROTOCOL: return "conflicto de bloqueo entre estaciones";
    case SQLITE_SCHEMA: return "la estructura de la tabla cambió";
    case SQLITE_TOOBIG: return "el dato es demasiado grande";
    case SQLITE_CONSTRAINT:
      // "UNIQUE constraint failed: T.A": the columns are worth keeping; a
      // trigger's own text is kept whole.
      if (db) {
        const std::string text = sqlite3_errmsg(db);
        const std::string failed = "constraint failed: ";
        const size_t at = text.find(failed);
        detail = at != std::string::npos ? " (" + text.substr(at + failed.size()) + ")" : ": " + text;
      }
      return "el registro no cumple una regla de la tabla" + detail;
    case SQLITE_MISMATCH: return "tipo de dato equivocado";
    case SQLITE_NOTADB: return "el archivo no es una tabla";
    default: return "error del motor de datos (código " + std::to_string(rc) + ")";
  }
}

std::string integrityCheck(const fs::path& file) {
  sqlite3* db = nullptr;
  std::string result;
  if (sqlite3_open_v2(file.string().c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
    Statement s(db, "PRAGMA integrity_check");
    while (s.valid() && s.step() == SQLITE_ROW) {
      if (!result.empty()) result += "\n";
      result += s.text(0);
    }
    if (!s.valid()) result = sqlite3_errmsg(db);
  } else {
    result = db ? sqlite3_errmsg(db) : "no se pudo abrir";
  }
  sqlite3_close(db);
  return result;
}

FileHealth inspectFile(const fs::path& file, std::chrono::milliseconds lockWait) {
  std::error_code ec;
  const fs::file_status st = fs::status(file, ec);
  if (ec == std::errc::no_such_file_or_directory || (!ec && !fs::exists(st))) return FileHealth::kMissing;
  if (ec || !fs::is_regular_file(st)) return FileHealth::kUnreachable;
  if (fs::file_size(file, ec) == 0 && !ec) return FileHealth::kMissing;
  sqlite3* db = nullptr;
  bool readOnly = false;
  int rc = sqlite3_open_v2(file.string().c_str(), &db, SQLITE_OPEN_READWRITE, nullptr);
  if (rc != SQLITE_OK) {
    sqlite3_close_v2(db);
    db = nullptr;
    readOnly = true;
    rc = sqlite3_open_v2(file.string().c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
  }
  if (rc != SQLITE_OK) {
    sqlite3_close_v2(db);
    return FileHealth::kUnreachable;
  }
  readOnly = readOnly || sqlite3_db_readonly(db, "main") == 1;
  sqlite3_busy_timeout(db, static_cast<int>(lockWait.count()));
  FileHealth health = FileHealth::kSound;
  // A write lock is what a station holding the file keeps; taking one and
  // letting go at once tells whether it is free.
  rc = exec(db, readOnly ? "BEGIN; SELECT count(*) FROM sqlite_schema;" : "BEGIN IMMEDIATE");
  if ((rc & 0xFF) == SQLITE_BUSY || (rc & 0xFF) == SQLITE_LOCKED) {
    health = FileHealth::kLocked;
  } else if (rc != SQLITE_OK) {
    health = FileHealth::kDamaged;
  } else {
    Statement meta;
    bool ours = false;
    if (meta.prepare(db, "SELECT count(*) FROM sqlite_schema WHERE name='velmora_meta'") == SQLITE_OK &&
        meta.step() == SQLITE_ROW)
      ours = meta.integer(0) > 0;
    meta = Statement();
    Statement check;
    std::string result;
    if (check.prepare(db, "PRAGMA quick_check") == SQLITE_OK && check.step() == SQLITE_ROW) result = check.text(0);
    check = Statement();
    if (!ours || result != "ok") health = FileHealth::kDamaged;
    else if (readOnly) health = FileHealth::kReadOnly;
  }
  exec(db, "ROLLBACK");
  sqlite3_close_v2(db);
  return health;
}

bool canWriteIn(const fs::path& dir) {
  std::error_code ec;
  const fs::path probe = dir / ".velmora-escritura";
  FILE* f = std::fopen(probe.string().c_str(), "wb");
  if (!f) return false;
  const bool written = std::fputc('x', f) != EOF;
  const bool closed = std::fclose(f) == 0;
  fs::remove(probe, ec);
  return written && closed;
}

std::optional<fs::path> setAside(const fs::path& file) {
  std::error_code ec;
  for (int n = 1; n < 1000; ++n) {
    const fs::path aside = file.string() + ".DANADO" + (n == 1 ? "" : "." + std::to_string(n));
    if (fs::exists(aside, ec) || ec) continue;
    fs::rename(file, aside, ec);
    if (ec) return std::nullopt;
    return aside;
  }
  return std::nullopt;
}

Table::Table(const TableDef& def, fs::path file, ErrorReporter& errors)
    : def_(def), path_(std::move(file)), errors_(errors), rec_(def), positionRecord_(def) {}

Table::~Table() { close(); }

void Table::close() {
  queries_.clear();
  writes_.clear();
  fieldWrites_.clear();
  if (db_ && ownsConnection_) sqlite3_close_v2(db_);
  db_ = nullptr;
  ownsConnection_ = true;
  sharedSchema_.clear();
  readOnly_ = false;
  position_ = Position::kNone;
  currentId_ = 0;
}

void Table::setLockWait(std::chrono::milliseconds wait) {
  lockWait_ = wait;
  if (db_) sqlite3_busy_timeout(db_, static_cast<int>(wait.count()));
}

Status Table::closedTable() {
  errors_.setFile(def_.label);
  errors_.raise(42);  // used before it was opened
  return Status::error(Status::Code::kInvalid, "tabla cerrada");
}

Status Table::raiseStorage(int messageId, int rc, Status::Code code) {
  const std::string engineText = engineErrorText(db_, rc);
  errors_.setFile(def_.label);
  errors_.noteStorageError(rc, engineText);
  errors_.raise(messageId);
  return Status::error(code, engineText);
}

Status Table::refuseFile(const std::string& why) {
  errors_.setFile(def_.label + " (" + path_.string() + ")");
  errors_.noteStorageError(SQLITE_CANTOPEN, why);
  errors_.raise(26);
  return Status::error(Status::Code::kIoError, why);
}

Status Table::open() {
  if (db_) return Status::ok();
  errors_.setFile(def_.label);
  created_ = false;
  repaired_ = false;
  // Look before SQLite does: a FIFO would block the open for ever, and a
  // path the system cannot reach must end in a message, not an exception.
  std::error_code ec;
  const fs::file_status st = fs::status(path_, ec);
  const bool exists = !ec && fs::exists(st);
  if (ec && ec != std::errc::no_such_file_or_directory) return refuseFile("no se puede llegar al archivo");
  if (exists && !fs::is_regular_file(st)) return refuseFile("no es un archivo de datos común");
  std::error_code sizeError;
  const auto size = exists ? fs::file_size(path_, sizeError) : 0;
  if (sizeError) return refuseFile(sizeError.message());
  const bool empty = !exists || size == 0;
  if (empty && !createMissing_) return refuseFile(exists ? "el archivo está vacío" : "el archivo no existe");
  int rc;
  if (readingOnly_) {
    // Only reads: opened read-only whatever the file allows, so that nothing
    // (not even a missing key) is ever written into it.
    if (empty) return refuseFile(exists ? "el archivo está vacío" : "el archivo no existe");
    rc = sqlite3_open_v2(path_.string().c_str(), &db_, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc != SQLITE_OK) {
      Status s = raiseStorage(26, rc, Status::Code::kIoError);
      close();
      return s;
    }
  } else if (!exists) {
    rc = sqlite3_open_v2(path_.string().c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                         nullptr);
    if (rc != SQLITE_OK) {
      Status s = raiseStorage(12, rc, Status::Code::kIoError);
      close();
      return s;
    }
  } else {
    rc = sqlite3_open_v2(path_.string().c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc != SQLITE_OK) {
      sqlite3_close_v2(db_);
      db_ = nullptr;
      rc = sqlite3_open_v2(path_.string().c_str(), &db_, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr);
      if (rc != SQLITE_OK) {
        Status s = raiseStorage(26, rc, Status::Code::kIoError);
        close();
        return s;
      }
    }
  }
  created_ = empty;
  sqlite3_extended_result_codes(db_, 1);
  sqlite3_create_function(db_, "velmora_upper", 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr, &upperFunction, nullptr,
                          nullptr);
  sqlite3_busy_timeout(db_, static_cast<int>(lockWait_.count()));
  if (sqlite3_db_readonly(db_, "main") == 1) {
    readOnly_ = true;
    if (!readingOnly_) {
      errors_.noteError(5, "Acceso denegado");
      errors_.raise(2);
    }
  }
  Status s = prepareSchema();
  if (!s) {
    close();
    return s;
  }
  if (!alreadyChecked(path_)) {
    bool damaged = false;
    s = checkKeys(&damaged);
    repaired_ = repaired_ || damaged;
    if (!s) {
      close();
      return s;
    }
  }
  return Status::ok();
}

Status Table::prepareSchema() {
  // Is it a database at all, and whose?
  Statement probe;
  int rc = probe.prepare(db_, "SELECT name FROM sqlite_schema WHERE type='table'");
  std::set<std::string> tables;
  if (rc == SQLITE_OK) {
    while ((rc = probe.step()) == SQLITE_ROW) tables.insert(probe.text(0));
    if (rc == SQLITE_DONE) rc = SQLITE_OK;
  }
  probe.reset();
  if ((rc & 0xFF) == SQLITE_BUSY || (rc & 0xFF) == SQLITE_LOCKED) {
    // A station holds the file past the lock wait: say so, as a lock.
    errors_.setFile(def_.label);
    errors_.noteStorageError(rc, engineErrorText(db_, rc));
    errors_.raise(31);
    return Status::error(Status::Code::kLocked, engineErrorText(db_, rc));
  }
  if (rc != SQLITE_OK) return raiseStorage(26, rc, Status::Code::kCorrupt);

  const std::string password(def_.settingsRole ? kSettingsOwnerPassword : kDataOwnerPassword);
  const bool ours = tables.count("velmora_meta") > 0;
  if (!ours && !tables.empty()) {
    errors_.noteError(90, "El archivo no es una tabla de este sistema");
    errors_.noteStorageError(SQLITE_NOTADB, "El archivo no es una tabla de este sistema");
    errors_.setFile(def_.label);
    errors_.raise(26);
    return Status::error(Status::Code::kCorrupt, "El archivo no es una tabla de este sistema");
  }
  if (ours) {
    Statement owner(db_, "SELECT value FROM velmora_meta WHERE key='owner'");
    std::string digest;
    if (owner.valid() && owner.step() == SQLITE_ROW) digest = owner.text(0);
    owner.reset();
    if (digest != ownerDigest(password)) {
      errors_.noteStorageError(SQLITE_AUTH, "Clave de propietario incorrecta");
      errors_.setFile(def_.label);
      errors_.raise(26);
      return Status::error(Status::Code::kCorrupt, "Clave de propietario incorrecta");
    }
  }

  // Which of our objects are missing?
  std::set<std::string> indexes;
  Statement idx(db_, "SELECT name FROM sqlite_schema WHERE type='index'");
  while (idx.valid() && idx.step() == SQLITE_ROW) indexes.insert(idx.text(0));
  idx.reset();
  bool missingIndex = false;
  for (const auto& k : def_.resolvedKeys) missingIndex |= indexes.count(k.indexName) == 0;
  const bool missingTable = tables.count(def_.storeName) == 0;
  if (ours && !missingTable && !missingIndex) return Status::ok();
  if (readOnly_) {
    return missingTable ? raiseStorage(26, SQLITE_READONLY, Status::Code::kReadOnly) : Status::ok();
  }
  if (ours && !missingTable && missingIndex) {
    errors_.setFile(def_.label);
    errors_.raise(30);  // a key is gone: it is rebuilt below
    repaired_ = true;
  }

  std::string sql = "BEGIN IMMEDIATE;";
  sql += "CREATE TABLE IF NOT EXISTS velmora_meta(key TEXT PRIMARY KEY, value TEXT NOT NULL);";
  sql += "INSERT OR IGNORE INTO velmora_meta VALUES('owner','" + ownerDigest(password) + "');";
  sql += "CREATE TABLE IF NOT EXISTS " + ident(def_.storeName) + "(\"_id\" INTEGER PRIMARY KEY, ";
  sql += "\"_ver\" INTEGER NOT NULL DEFAULT 1";
  for (const Column& c : def_.columns) sql += ", " + ident(c.name) + " " + columnType(c.type);
  for (int s : def_.foldedSlots) sql += ", " + ident(def_.columns[s].name + "_F") + " TEXT NOT NULL DEFAULT ''";
  sql += ");";
  for (size_t k = 0; k < def_.keys.size(); ++k) {
    const KeyDef& kd = def_.keys[k];
    const ResolvedKey& rk = def_.resolvedKeys[k];
    const bool unique = !(kd.flags & kDuplicates);
    sql += std::string("CREATE ") + (unique ? "UNIQUE " : "") + "INDEX IF NOT EXISTS " + ident(rk.indexName) + " ON " +
           ident(def_.storeName) + "(";
    for (size_t i = 0; i < rk.sqlColumns.size(); ++i) sql += (i ? "," : "") + rk.sqlColumns[i];
    sql += ")";
    if (!rk.emptyExclusion.empty()) sql += " WHERE " + rk.emptyExclusion;
    sql += ";";
  }
  sql += "COMMIT;";
  rc = exec(db_, sql.c_str());
  if (rc != SQLITE_OK) {
    exec(db_, "ROLLBACK");
    return raiseStorage(missingTable ? 12 : 29, rc, Status::Code::kIoError);
  }
  return Status::ok();
}

Status Table::checkKeys(bool* wereDamaged) {
  *wereDamaged = false;
  Statement check(db_, "PRAGMA integrity_check");
  std::string result;
  int rc;
  while ((rc = check.step()) == SQLITE_ROW) result += check.text(0);
  check.reset();
  if (rc != SQLITE_DONE) return raiseStorage(26, rc, Status::Code::kCorrupt);
  if (result == "ok") return Status::ok();
  *wereDamaged = true;
  errors_.setFile(def_.label);
  errors_.raise(30);
  if (readOnly_) return raiseStorage(29, SQLITE_READONLY, Status::Code::kCorrupt);
  rc = exec(db_, "REINDEX");
  if (rc != SQLITE_OK) return raiseStorage(29, rc, Status::Code::kCorrupt);
  result.clear();
  while ((rc = check.step()) == SQLITE_ROW) result += check.text(0);
  check.reset();
  if (result != "ok") {
    errors_.setFile(def_.label);
    errors_.noteStorageError(SQLITE_CORRUPT, result);
    errors_.raise(29);
    return Status::error(Status::Code::kCorrupt, result);
  }
  return Status::ok();
}

// ---- reading -------------------------------------------------------------------------

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
    case kLast: break;
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
  if (q != kRange) sql += " LIMIT 1";
  s.prepare(db_, sql);
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
      const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(s.get(), i + 2));
      rec_.assignStoredTextAt(i, p ? p : "", p ? sqlite3_column_bytes(s.get(), i + 2) : 0);
    } else if (t == FieldType::kReal) {
      rec_.setRealAt(i, s.real(i + 2));
    } else {
      rec_.setIntegerAt(i, s.integer(i + 2));
    }
  }
}

Status Table::step(int key, Query q, bool withValues, bool withId) {
  if (!db_) return closedTable();
  Statement& s = query(key, q);
  if (!s.valid()) return raiseStorage(26, sqlite3_errcode(db_), Status::Code::kIoError);
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

Status Table::fetch(int key) {
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

Status Table::next() { return move(true); }
Status Table::previous() { return move(false); }

Status Table::move(bool forward) {
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

int64_t Table::count() {
  if (!db_) return 0;
  Statement& s = writeStatement(kCount);
  ResetOnExit reset(s);
  bindFilter(s, 1);
  return s.step() == SQLITE_ROW ? s.integer(0) : 0;
}

int64_t Table::countBefore(int key) {
  if (!db_) return 0;
  const ResolvedKey& rk = def_.resolvedKeys[key];
  std::string where = rk.sqlColumns[0] + "<?";
  if (!rk.emptyExclusion.empty()) where += " AND " + rk.emptyExclusion;
  if (!filterSql_.empty()) where += " AND " + filterSql_;
  Statement s(db_, "SELECT count(*) FROM " + storeIdent() + " WHERE " + where);
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

Status Table::readRange(int key, const Record& from, const Record& to,
                        const std::function<bool(const Record&)>& visit) {
  if (!db_) return closedTable();
  Statement& s = query(key, kRange);
  if (!s.valid()) return raiseStorage(26, sqlite3_errcode(db_), Status::Code::kIoError);
  ResetOnExit reset(s);
  bindRange(s, key, from, to);
  int rc;
  while ((rc = s.step()) == SQLITE_ROW) {
    readInto(s);
    if (!visit(rec_)) return Status::ok();
  }
  if (rc != SQLITE_DONE) return raiseStorage(1, rc, Status::Code::kIoError);
  return Status::ok();
}

Status Table::readRangeColumns(int key, const Record& from, const Record& to, const std::vector<std::string>& fields,
                               const std::function<bool(const Row&)>& visit) {
  if (!db_) return closedTable();
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
  Statement s(db_, "SELECT " + select + " FROM " + storeIdent() + " WHERE " + where + " ORDER BY " + cols + ",\"_id\"");
  if (!s.valid()) return raiseStorage(26, sqlite3_errcode(db_), Status::Code::kIoError);
  bindRange(s, key, from, to);
  int rc;
  while ((rc = s.step()) == SQLITE_ROW) {
    if (!visit(s)) return Status::ok();
  }
  if (rc != SQLITE_DONE) return raiseStorage(1, rc, Status::Code::kIoError);
  return Status::ok();
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
  Statement s(db_, "SELECT " + select + " FROM " + storeIdent() + " ORDER BY \"_id\"");
  if (!s.valid()) return raiseStorage(26, sqlite3_errcode(db_), Status::Code::kIoError);
  int rc;
  while ((rc = s.step()) == SQLITE_ROW) {
    if (!visit(s)) return Status::ok();
  }
  if (rc != SQLITE_DONE) return raiseStorage(1, rc, Status::Code::kIoError);
  return Status::ok();
}

bool Table::inTransaction() const { return db_ && sqlite3_get_autocommit(db_) == 0; }

Status Table::readConsistently(const std::function<Status()>& read) {
  if (!db_) return closedTable();
  if (inTransaction()) return read();
  if (const int rc = exec(db_, "BEGIN"); rc != SQLITE_OK)
    return Status::error(Status::Code::kIoError, engineErrorText(db_, rc));
  const Status s = read();
  exec(db_, "COMMIT");  // a read transaction: nothing to lose
  return s;
}

Status Table::fetchById(int64_t id) {
  if (!db_) return closedTable();
  Statement& s = writeStatement(kReadById);
  ResetOnExit reset(s);
  s.bind(1, id);
  const int rc = s.step();
  if (rc == SQLITE_ROW) {
    readInto(s);
    return Status::ok();
  }
  if (rc == SQLITE_DONE) return Status::notFound();
  return raiseStorage(1, rc, Status::Code::kIoError);
}

Status Table::fetchFirstStored() {
  if (!db_) return closedTable();
  Statement& s = writeStatement(kReadFirstStored);
  ResetOnExit reset(s);
  const int rc = s.step();
  if (rc == SQLITE_ROW) {
    readInto(s);
    return Status::ok();
  }
  if (rc == SQLITE_DONE) return Status::notFound();
  return raiseStorage(1, rc, Status::Code::kIoError);
}

Status Table::setFilter(std::vector<Condition> conditions) {
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
                                                  : "velmora_upper(" + ident(col.name) + ")";
      std::string one;
      switch (c.op) {
        case Condition::Op::kEquals: one = isTextColumn ? value + "=?" : ident(col.name) + "=?"; break;
        case Condition::Op::kNotEquals: one = isTextColumn ? value + "<>?" : ident(col.name) + "<>?"; break;
        case Condition::Op::kBegins: one = "instr(" + value + ",?)=1"; break;
        case Condition::Op::kContains: one = "instr(" + value + ",?)>0"; break;
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
  s.prepare(db_, sql);
  return s;
}

void Table::bindRecord(Statement& s) {
  int p = 1;
  for (int i = 0; i < static_cast<int>(def_.columns.size()); ++i, ++p) bindSlot(s, p, rec_, i);
  for (int slot : def_.foldedSlots) s.bind(p++, text::foldKey(rec_.textAt(slot)));
}

void Table::stampAudit() {
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
  // SQLite names the columns of the violated index: "... failed: T.A, T.B".
  for (size_t k = 0; k < def_.keys.size(); ++k) {
    if (def_.keys[k].flags & kDuplicates) continue;
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

Status Table::insertOnce(bool* duplicate, std::string* failedKey) {
  *duplicate = false;
  stampAudit();
  Statement& s = writeStatement(kInsert);
  ResetOnExit reset(s);
  bindRecord(s);
  const int rc = s.step();
  if (rc == SQLITE_DONE) {
    currentId_ = sqlite3_last_insert_rowid(db_);
    currentVersion_ = 1;
    return Status::ok();
  }
  const std::string message = sqlite3_errmsg(db_);
  if (rc == SQLITE_CONSTRAINT_UNIQUE || rc == SQLITE_CONSTRAINT_PRIMARYKEY) {
    *duplicate = true;
    *failedKey = keyNameForColumns(message);
    return Status::error(Status::Code::kDuplicateKey, message);
  }
  errors_.noteStorageError(rc, engineErrorText(db_, rc));
  return Status::error((rc & 0xFF) == SQLITE_BUSY ? Status::Code::kLocked : Status::Code::kIoError,
                       engineErrorText(db_, rc));
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
  if (rc == SQLITE_DONE && sqlite3_changes(db_) == 1) {
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
  std::string message = sqlite3_errmsg(db_);
  if (rc == SQLITE_CONSTRAINT_UNIQUE || rc == SQLITE_CONSTRAINT_PRIMARYKEY) {
    // A changed key that another record already holds: the same message as
    // an insert, and nothing to retry.
    const std::string key = keyNameForColumns(message);
    errors_.setKey(key);
    errors_.raiseMessage(15, key);
    return Status::error(Status::Code::kDuplicateKey, message);
  }
  errors_.noteStorageError(rc, engineErrorText(db_, rc));
  errors_.raise(28);
  return Status::error((rc & 0xFF) == SQLITE_BUSY ? Status::Code::kLocked : Status::Code::kIoError,
                       engineErrorText(db_, rc));
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
    s.prepare(db_, sql);
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
  if (rc == SQLITE_DONE && sqlite3_changes(db_) == 1) {
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
  const std::string scratch = "temp.\"velmora_bulk_" + std::to_string(slots.size()) + "\"";
  std::string columns = "id INTEGER PRIMARY KEY, ver INTEGER", marks = "?,?";
  for (size_t k = 0; k < slots.size(); ++k) {
    columns += ", v" + std::to_string(k);
    marks += ",?";
  }
  if (exec(db_, ("CREATE TEMP TABLE IF NOT EXISTS " + scratch + "(" + columns + ")").c_str()) != SQLITE_OK ||
      exec(db_, ("DELETE FROM " + scratch).c_str()) != SQLITE_OK) {
    return raiseStorage(28, sqlite3_errcode(db_), Status::Code::kIoError);
  }
  struct Cleanup {
    sqlite3* db;
    std::string table;
    ~Cleanup() { exec(db, ("DELETE FROM " + table).c_str()); }
  } cleanup{db_, scratch};
  {
    Statement add(db_, "INSERT INTO " + scratch + " VALUES(" + marks + ")");
    if (!add.valid()) return raiseStorage(28, sqlite3_errcode(db_), Status::Code::kIoError);
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
  Statement update(db_, sql);
  if (!update.valid()) return raiseStorage(28, sqlite3_errcode(db_), Status::Code::kIoError);
  int p = 1;
  for (int a : audit) bindSlot(update, p++, rec_, a);
  const int rc = update.step();
  if (rc != SQLITE_DONE)
    return raiseStorage(28, rc, (rc & 0xFF) == SQLITE_BUSY ? Status::Code::kLocked : Status::Code::kIoError);
  if (static_cast<size_t>(sqlite3_changes(db_)) != count) {
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
  if (rc == SQLITE_DONE && sqlite3_changes(db_) == 1) {
    currentId_ = 0;
    return Status::ok();
  }
  if (rc == SQLITE_DONE) return Status::error(Status::Code::kConflict, "modificado por otra estación");
  errors_.noteStorageError(rc, engineErrorText(db_, rc));
  return Status::error((rc & 0xFF) == SQLITE_BUSY ? Status::Code::kLocked : Status::Code::kIoError,
                       engineErrorText(db_, rc));
}

Status Table::begin() {
  if (!db_) return closedTable();
  idAtBegin_ = currentId_;
  versionAtBegin_ = currentVersion_;
  const int rc = exec(db_, "BEGIN IMMEDIATE");
  if (rc == SQLITE_OK) return Status::ok();
  return raiseStorage(24, rc, Status::Code::kLocked);
}

Status Table::commit() {
  const int rc = exec(db_, "COMMIT");
  if (rc == SQLITE_OK) return Status::ok();
  Status s = raiseStorage(28, rc, Status::Code::kIoError);
  exec(db_, "ROLLBACK");
  return s;
}

void Table::rollback() {
  if (!db_) return;
  exec(db_, "ROLLBACK");
  currentId_ = idAtBegin_;
  currentVersion_ = versionAtBegin_;
}

std::string Table::storeIdent() const {
  return sharedSchema_.empty() ? ident(def_.storeName) : ident(sharedSchema_) + "." + ident(def_.storeName);
}

Status Table::shareConnectionOf(Table& host) {
  if (!db_) return closedTable();
  if (!host.db_) return host.closedTable();
  if (db_ == host.db_) return Status::ok();
  // A file already attached to the host (by an earlier save, or by the
  // relation manager, which names it "rel_" and the label, as here) is used
  // as it is: one file, one schema on a connection.
  std::error_code ec;
  const fs::path mine = fs::absolute(path_, ec).lexically_normal();
  std::string schema;
  {
    Statement list(host.db_, "PRAGMA database_list");
    while (list.valid() && list.step() == SQLITE_ROW) {
      const std::string file = list.text(2);
      if (!file.empty() && fs::path(file).lexically_normal() == mine && list.text(1) != "main") schema = list.text(1);
    }
  }
  if (schema.empty()) {
    schema = "rel_" + def_.label;
    const char* taken = sqlite3_db_filename(host.db_, schema.c_str());
    if (taken) {  // the name holds another file: detach it first
      Statement detach(host.db_, "DETACH DATABASE " + ident(schema));
      detach.step();
    }
    Statement attach(host.db_, "ATTACH DATABASE ? AS " + ident(schema));
    attach.bind(1, std::string_view(path_.string()));
    const int rc = attach.valid() ? attach.step() : sqlite3_errcode(host.db_);
    if (rc != SQLITE_DONE) return raiseStorage(26, rc, Status::Code::kIoError);
  }
  queries_.clear();
  writes_.clear();
  fieldWrites_.clear();
  if (ownsConnection_) sqlite3_close_v2(db_);
  db_ = host.db_;
  ownsConnection_ = false;
  sharedSchema_ = schema;
  readOnly_ = readOnly_ || sqlite3_db_readonly(db_, schema.c_str()) == 1;
  position_ = Position::kNone;
  currentId_ = 0;
  return Status::ok();
}

}  // namespace velmora::tables
