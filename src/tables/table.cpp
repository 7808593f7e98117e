// The file and its schema: opening, checking the keys, transactions shared
// with another file. Reads are in table_read.cpp, writes in table_write.cpp.
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
#include "tables/connection.h"
#include "tables/table_file.h"
#include "tables/table_sql.h"

namespace velmora::tables {

using namespace internal;

namespace {

namespace fs = std::filesystem;

// Files whose keys were already checked by this process.
std::mutex checkedMutex;
std::set<std::string> checkedFiles;

bool alreadyChecked(const fs::path& p) {
  std::lock_guard<std::mutex> guard(checkedMutex);
  std::error_code ec;
  const fs::path full = fs::absolute(p, ec);
  return !checkedFiles.insert((ec ? p : full).lexically_normal().string()).second;
}

// velmora_upper(x): the Spanish upper case of a text, for filters. Registered
// on each connection only; the schema never names it.
void upperFunction(sqlite3_context* ctx, int, sqlite3_value** argv) {
  const auto* p = reinterpret_cast<const char*>(sqlite3_value_text(argv[0]));
  const std::string up = text::upper(p ? p : "");
  sqlite3_result_text(ctx, up.c_str(), static_cast<int>(up.size()), SQLITE_TRANSIENT);
}

}  // namespace

std::string engineErrorText(const internal::Connection* db, int rc) {
  if (rc == SQLITE_OK && db) rc = db->errorCode();
  // The server's failures are said, with their cause, where they are met.
  if (db && db->isServer() && rc != SQLITE_OK && !db->errorMessage().empty()) return db->errorMessage();
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
        const std::string text = db->errorMessage();
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
  int rc;
  auto db = Connection::openFile(file, SQLITE_OPEN_READONLY, &rc);
  if (!db) return "no se pudo abrir";
  std::string result;
  Statement s(*db, "PRAGMA integrity_check");
  while (s.valid() && s.step() == SQLITE_ROW) {
    if (!result.empty()) result += "\n";
    result += s.text(0);
  }
  if (!s.valid()) result = db->errorMessage();
  return result;
}

FileHealth inspectFile(const fs::path& file, std::chrono::milliseconds lockWait) {
  std::error_code ec;
  const fs::file_status st = fs::status(file, ec);
  if (ec == std::errc::no_such_file_or_directory || (!ec && !fs::exists(st))) return FileHealth::kMissing;
  if (ec || !fs::is_regular_file(st)) return FileHealth::kUnreachable;
  if (fs::file_size(file, ec) == 0 && !ec) return FileHealth::kMissing;
  bool readOnly = false;
  int rc;
  auto db = Connection::openFile(file, SQLITE_OPEN_READWRITE, &rc);
  if (!db) {
    readOnly = true;
    db = Connection::openFile(file, SQLITE_OPEN_READONLY, &rc);
  }
  if (!db) return FileHealth::kUnreachable;
  readOnly = readOnly || db->isReadOnly();
  db->setLockWait(lockWait);
  FileHealth health = FileHealth::kSound;
  // A write lock is what a station holding the file keeps; taking one and
  // letting go at once tells whether it is free.
  rc = db->exec(readOnly ? "BEGIN; SELECT count(*) FROM sqlite_schema;" : "BEGIN IMMEDIATE");
  if ((rc & 0xFF) == SQLITE_BUSY || (rc & 0xFF) == SQLITE_LOCKED) {
    health = FileHealth::kLocked;
  } else if (rc != SQLITE_OK) {
    health = FileHealth::kDamaged;
  } else {
    bool ours = false;
    {
      Statement meta;
      if (meta.prepare(*db, "SELECT count(*) FROM sqlite_schema WHERE name='velmora_meta'") == SQLITE_OK &&
          meta.step() == SQLITE_ROW)
        ours = meta.integer(0) > 0;
    }
    std::string result;
    {
      Statement check;
      if (check.prepare(*db, "PRAGMA quick_check") == SQLITE_OK && check.step() == SQLITE_ROW) result = check.text(0);
    }
    if (!ours || result != "ok") health = FileHealth::kDamaged;
    else if (readOnly) health = FileHealth::kReadOnly;
  }
  db->exec("ROLLBACK");
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
  db_.reset();
  sharedSchema_.clear();
  readOnly_ = false;
  position_ = Position::kNone;
  currentId_ = 0;
}

void Table::setLockWait(std::chrono::milliseconds wait) {
  lockWait_ = wait;
  if (db_) db_->setLockWait(wait);
}

Status Table::closedTable() {
  errors_.setFile(def_.label);
  errors_.raise(42);  // used before it was opened
  return Status::error(Status::Code::kInvalid, "tabla cerrada");
}

Status Table::raiseStorage(int messageId, int rc, Status::Code code) {
  // On the server, a statement that cannot be made or run (the server went
  // away, a role without rights) is not a file that cannot be opened: it is
  // said without ending the program, which goes on once the server is back.
  if (messageId == 26 && db_ && db_->isServer()) messageId = 21;
  const std::string engineText = engineErrorText(db_.get(), rc);
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

void Table::useServer(std::string url, std::string schema) {
  close();
  serverUrl_ = std::move(url);
  serverSchema_ = std::move(schema);
}

Status Table::open() {
  if (db_) return Status::ok();
  errors_.setFile(def_.label);
  created_ = false;
  repaired_ = false;
  if (onServer()) return openOnServer();
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
    db_ = Connection::openFile(path_, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, &rc);
    if (!db_) {
      Status s = raiseStorage(26, rc, Status::Code::kIoError);
      close();
      return s;
    }
  } else if (!exists) {
    db_ = Connection::openFile(path_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, &rc);
    if (!db_) {
      Status s = raiseStorage(12, rc, Status::Code::kIoError);
      close();
      return s;
    }
  } else {
    db_ = Connection::openFile(path_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, &rc);
    if (!db_) {
      db_ = Connection::openFile(path_, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, &rc);
      if (!db_) {
        Status s = raiseStorage(26, rc, Status::Code::kIoError);
        close();
        return s;
      }
    }
  }
  created_ = empty;
  sqlite3_create_function(db_->lite(), "velmora_upper", 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr, &upperFunction,
                          nullptr, nullptr);
  db_->setLockWait(lockWait_);
  if (db_->isReadOnly()) {
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
  int rc = probe.prepare(*db_, "SELECT name FROM sqlite_schema WHERE type='table'");
  std::set<std::string> tables;
  if (rc == SQLITE_OK) {
    while ((rc = probe.step()) == SQLITE_ROW) tables.insert(probe.text(0));
    if (rc == SQLITE_DONE) rc = SQLITE_OK;
  }
  probe.reset();
  if ((rc & 0xFF) == SQLITE_BUSY || (rc & 0xFF) == SQLITE_LOCKED) {
    // A station holds the file past the lock wait: say so, as a lock.
    errors_.setFile(def_.label);
    errors_.noteStorageError(rc, engineErrorText(db_.get(), rc));
    errors_.raise(31);
    return Status::error(Status::Code::kLocked, engineErrorText(db_.get(), rc));
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
    Statement owner(*db_, "SELECT value FROM velmora_meta WHERE key='owner'");
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
  Statement idx(*db_, "SELECT name FROM sqlite_schema WHERE type='index'");
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
  sql += fileTableSql(def_, true) + ";";
  for (size_t k = 0; k < def_.keys.size(); ++k) sql += indexSql(def_, k, ident(def_.storeName), true) + ";";
  sql += "COMMIT;";
  rc = db_->exec(sql);
  if (rc != SQLITE_OK) {
    db_->exec("ROLLBACK");
    return raiseStorage(missingTable ? 12 : 29, rc, Status::Code::kIoError);
  }
  return Status::ok();
}

Status Table::checkKeys(bool* wereDamaged) {
  *wereDamaged = false;
  if (!db_) return closedTable();
  if (db_->isServer()) return Status::ok();  // the server keeps its own indexes sound
  Statement check(*db_, "PRAGMA integrity_check");
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
  rc = db_->exec("REINDEX");
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

std::string Table::storeIdent() const {
  if (onServer()) return ident(serverSchema_) + "." + ident(def_.storeName);
  return sharedSchema_.empty() ? ident(def_.storeName) : ident(sharedSchema_) + "." + ident(def_.storeName);
}

Status Table::shareConnectionOf(Table& host) {
  if (!db_) return closedTable();
  if (!host.db_) return host.closedTable();
  if (db_ == host.db_) return Status::ok();
  if (db_->isServer() != host.db_->isServer() || db_->isServer())
    // Tables on the server share their thread's connection already; a file
    // and the server cannot share a transaction.
    return db_->isServer() && host.db_->isServer() && serverUrl_ == host.serverUrl_
               ? Status::ok()
               : Status::error(Status::Code::kInvalid, "una tabla en archivo y otra en el servidor");
  // A file already attached to the host (by an earlier save, or by the
  // relation manager, which names it "rel_" and the label, as here) is used
  // as it is: one file, one schema on a connection.
  std::error_code ec;
  const fs::path mine = fs::absolute(path_, ec).lexically_normal();
  std::string schema;
  {
    Statement list(*host.db_, "PRAGMA database_list");
    while (list.valid() && list.step() == SQLITE_ROW) {
      const std::string file = list.text(2);
      if (!file.empty() && fs::path(file).lexically_normal() == mine && list.text(1) != "main") schema = list.text(1);
    }
  }
  if (schema.empty()) {
    schema = "rel_" + def_.label;
    const char* taken = sqlite3_db_filename(host.db_->lite(), schema.c_str());
    if (taken) {  // the name holds another file: detach it first
      Statement detach(*host.db_, "DETACH DATABASE " + ident(schema));
      detach.step();
    }
    Statement attach(*host.db_, "ATTACH DATABASE ? AS " + ident(schema));
    attach.bind(1, std::string_view(path_.string()));
    const int rc = attach.valid() ? attach.step() : host.db_->errorCode();
    if (rc != SQLITE_DONE) return raiseStorage(26, rc, Status::Code::kIoError);
  }
  queries_.clear();
  writes_.clear();
  fieldWrites_.clear();
  db_ = host.db_;
  sharedSchema_ = schema;
  readOnly_ = readOnly_ || sqlite3_db_readonly(db_->lite(), schema.c_str()) == 1;
  position_ = Position::kNone;
  currentId_ = 0;
  return Status::ok();
}

}  // namespace velmora::tables
