// Opening a table on a database server: its schema and table are made on
// first use, as a missing file is, under a lock that keeps two stations from
// making them at once.
#include <libpq-fe.h>

#include <set>

#include "tables/catalogue.h"
#include "tables/connection.h"
#include "tables/installation.h"
#include "tables/table.h"
#include "tables/table_file.h"
#include "tables/table_sql.h"

namespace velmora::tables {

using namespace internal;

namespace {

// A literal for names we made ourselves (schema and table names hold
// letters, digits and "_" only), quoted all the same.
std::string literal(const std::string& text) {
  std::string out = "'";
  for (char c : text) out += c == '\'' ? std::string("''") : std::string(1, c);
  return out + "'";
}

// velmora_upper(x): the same upper case as text::upper (ASCII and Latin-1
// letters), whatever the server's locale; filters use it as on a file.
std::string upperFunctionSql(const std::string& schema) {
  std::string lower, upper;
  const auto add = [](std::string& out, char32_t cp) {
    if (cp < 0x800) {
      out += static_cast<char>(0xC0 | (cp >> 6));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    }
  };
  for (char32_t cp = 0xE0; cp <= 0xFE; ++cp) {
    if (cp == 0xF7) continue;
    add(lower, cp);
    add(upper, cp - 32);
  }
  add(lower, 0xFF);
  add(upper, 0x178);
  return "CREATE OR REPLACE FUNCTION " + schema +
         ".velmora_upper(t text) RETURNS text IMMUTABLE STRICT LANGUAGE sql AS "
         "'SELECT translate(upper(t COLLATE \"C\"), ''" +
         lower + "'', ''" + upper + "'')';";
}

}  // namespace

Status Table::openOnServer() {
  std::string why;
  if (serverSchema_.empty())
    why = "la dirección del servidor no es válida (su esquema lleva sólo minúsculas, cifras y _)";
  else db_ = Connection::forThread(serverUrl_, &why);
  if (!db_) {
    // A server that cannot be reached now is said, and the program goes on:
    // unlike a damaged file, a restart or a cut network is over in a moment.
    errors_.setFile(def_.label);
    errors_.noteStorageError(SQLITE_CANTOPEN, why);
    errors_.raise(serverSchema_.empty() ? 26 : 21);
    return Status::error(Status::Code::kIoError, why);
  }
  if (lockWait_ != kLockWait) db_->setLockWait(lockWait_);
  if (Status s = prepareServerSchema(); !s) {
    close();
    return s;
  }
  return Status::ok();
}

Status Table::prepareServerSchema() {
  // What exists of ours in the schema: the table, its indexes, the owner.
  // A probe that fails is said without ending the program (message 21): a
  // server that went away or a role without rights is not a damaged table.
  std::set<std::string> present;
  {
    Statement probe(*db_,
                    "SELECT c.relname FROM pg_class c JOIN pg_namespace n ON n.oid=c.relnamespace WHERE n.nspname=?");
    if (!probe.valid()) return raiseStorage(21, db_->errorCode(), Status::Code::kIoError);
    probe.bind(1, std::string_view(serverSchema_));
    int rc;
    while ((rc = probe.step()) == SQLITE_ROW) present.insert(probe.text(0));
    if (rc != SQLITE_DONE) return raiseStorage(21, rc, Status::Code::kIoError);
  }
  const std::string schema = ident(serverSchema_);
  const bool ours = present.count("velmora_meta") > 0;
  if (ours) {
    // Only a digest read and found different is a wrong owner: a read that
    // failed (a role without rights, a server gone) says why it failed.
    Statement owner(*db_, "SELECT value FROM " + schema + ".velmora_meta WHERE key='owner'");
    std::string digest;
    const int rc = owner.step();
    if (rc == SQLITE_ROW) digest = owner.text(0);
    else if (rc != SQLITE_DONE) return raiseStorage(21, rc, Status::Code::kIoError);
    if (digest != ownerDigest(kDataOwnerPassword)) {
      errors_.noteStorageError(SQLITE_AUTH, "Clave de propietario incorrecta");
      errors_.setFile(def_.label);
      errors_.raise(26);
      return Status::error(Status::Code::kCorrupt, "Clave de propietario incorrecta");
    }
  }
  bool missingIndex = false;
  for (const auto& k : def_.resolvedKeys) missingIndex |= present.count(k.indexName) == 0;
  const bool missingTable = present.count(def_.storeName) == 0;
  if (ours && !missingTable && !missingIndex) return Status::ok();
  if (missingTable && (!createMissing_ || readingOnly_)) {
    errors_.setFile(def_.label + " (" + serverSchema_ + ")");
    errors_.noteStorageError(SQLITE_CANTOPEN, "la tabla no existe en el servidor");
    errors_.raise(26);
    return Status::error(Status::Code::kIoError, "la tabla no existe en el servidor");
  }
  if (readingOnly_) return Status::ok();
  created_ = missingTable;

  const std::string table = storeIdent();
  std::string sql = "SELECT pg_advisory_xact_lock(hashtext(" + literal("velmora:" + serverSchema_) + "));";
  sql += "CREATE SCHEMA IF NOT EXISTS " + schema + ";";
  sql += "CREATE TABLE IF NOT EXISTS " + schema + ".velmora_meta(key text PRIMARY KEY, value text NOT NULL);";
  sql += "INSERT INTO " + schema + ".velmora_meta VALUES('owner'," + literal(ownerDigest(kDataOwnerPassword)) +
         ") ON CONFLICT DO NOTHING;";
  // Every change is told to the stations listening, once per statement.
  sql += "CREATE OR REPLACE FUNCTION " + schema +
         ".velmora_notify() RETURNS trigger LANGUAGE plpgsql AS "
         "'BEGIN PERFORM pg_notify(''velmora'', TG_TABLE_SCHEMA || ''.'' || TG_TABLE_NAME); RETURN NULL; END';";
  sql += upperFunctionSql(schema);
  sql += "CREATE TABLE IF NOT EXISTS " + table +
         "(\"_id\" bigint GENERATED BY DEFAULT AS IDENTITY PRIMARY KEY, \"_ver\" bigint NOT NULL DEFAULT 1";
  for (const Column& c : def_.columns) sql += ", " + ident(c.name) + " " + columnType(c.type, true);
  for (int s : def_.foldedSlots)
    sql += ", " + ident(def_.columns[s].name + "_F") + " " + columnType(FieldType::kString, true);
  sql += ");";
  sql += "CREATE OR REPLACE TRIGGER velmora_notify AFTER INSERT OR UPDATE OR DELETE ON " + table +
         " FOR EACH STATEMENT EXECUTE FUNCTION " + schema + ".velmora_notify();";
  for (size_t k = 0; k < def_.keys.size(); ++k) {
    const KeyDef& kd = def_.keys[k];
    const ResolvedKey& rk = def_.resolvedKeys[k];
    const bool unique = !(kd.flags & kDuplicates);
    sql += std::string("CREATE ") + (unique ? "UNIQUE " : "") + "INDEX IF NOT EXISTS " + ident(rk.indexName) + " ON " +
           table + "(";
    for (size_t i = 0; i < rk.sqlColumns.size(); ++i) sql += (i ? "," : "") + rk.sqlColumns[i];
    sql += ")";
    if (!rk.emptyExclusion.empty()) sql += " WHERE " + rk.emptyExclusion;
    sql += ";";
  }
  int rc = db_->begin();
  if (rc == SQLITE_OK) rc = db_->exec(sql);
  if (rc == SQLITE_OK)
    return db_->commit() == SQLITE_OK ? Status::ok() : raiseStorage(12, db_->errorCode(), Status::Code::kIoError);
  const int failed = db_->errorCode();
  const bool lost = db_->lostSession();
  db_->rollback();
  return raiseStorage(lost ? 21 : missingTable ? 12 : 29, failed, Status::Code::kIoError);
}

}  // namespace velmora::tables

namespace velmora::tables {

Status serverHoldsTable(const std::string& url, const std::string& schema, const std::string& table, bool* held) {
  *held = false;
  std::string why;
  auto db = Connection::forThread(url, &why);
  if (!db) return Status::error(Status::Code::kIoError, why);
  Statement probe(*db, "SELECT to_regclass(?) IS NOT NULL");
  probe.bind(1, std::string_view(ident(schema) + "." + ident(table)));
  if (probe.step() != SQLITE_ROW) return Status::error(Status::Code::kIoError, db->errorMessage());
  *held = probe.text(0) == "t";
  return Status::ok();
}

namespace {
// The thread's session on the installation's server; null, with why in
// `failed`, when there is none.
std::shared_ptr<Connection> sessionOf(const Installation& inst, Status* failed) {
  std::string why;
  auto db = Connection::forThread(inst.serverUrl, &why);
  if (!db) *failed = Status::error(Status::Code::kIoError, "no se pudo conectar con el servidor: " + why);
  return db;
}
}  // namespace

std::vector<std::string> serverSchemas(const Installation& inst, Status* status) {
  std::vector<std::string> out;
  auto db = sessionOf(inst, status);
  if (!db) return out;
  const std::string works = inst.serverSchema == "velmora" ? "obra_" : inst.serverSchema + "_obra_";
  Statement list(*db, "SELECT nspname FROM pg_namespace WHERE nspname=? OR nspname=? OR left(nspname, ?)=? ORDER BY 1");
  list.bind(1, std::string_view(inst.serverSchema));
  list.bind(2, std::string_view(inst.serverSchema == "velmora" ? "sin_obra" : inst.serverSchema + "_sin_obra"));
  list.bind(3, static_cast<int64_t>(works.size()));
  list.bind(4, std::string_view(works));
  int rc;
  while ((rc = list.step()) == SQLITE_ROW) out.push_back(list.text(0));
  *status = rc == SQLITE_DONE ? Status::ok() : Status::error(Status::Code::kIoError, db->errorMessage());
  return out;
}

Status readConsistently(const Installation& inst, const std::function<Status()>& read) {
  if (!inst.onServer()) return read();
  Status failed;
  auto db = sessionOf(inst, &failed);
  if (!db) return failed;
  if (db->beginRead() != SQLITE_OK) return Status::error(Status::Code::kIoError, db->errorMessage());
  const Status s = read();
  db->commit();  // it only read: nothing to keep or lose
  return s;
}

Status replaceServerSchemas(const Installation& inst, const std::vector<std::string>& schemas,
                            const std::function<Status()>& fill) {
  Status failed;
  auto db = sessionOf(inst, &failed);
  if (!db) return failed;
  std::string drop;
  for (const std::string& s : schemas) drop += "DROP SCHEMA IF EXISTS " + ident(s) + " CASCADE;";
  if (db->begin() != SQLITE_OK) return Status::error(Status::Code::kLocked, db->errorMessage());
  Status s = db->exec(drop) == SQLITE_OK ? fill() : Status::error(Status::Code::kIoError, db->errorMessage());
  if (s && db->commit() != SQLITE_OK) s = Status::error(Status::Code::kIoError, db->errorMessage());
  if (!s) db->rollback();
  return s;
}

Status dropServerInstallation(const Installation& inst) {
  Status listed;
  const std::vector<std::string> schemas = serverSchemas(inst, &listed);
  if (!listed || schemas.empty()) return listed;
  return replaceServerSchemas(inst, schemas, [] { return Status::ok(); });  // replaced by nothing
}

}  // namespace velmora::tables
