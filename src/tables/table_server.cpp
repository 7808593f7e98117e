// Opening a table on a database server: its schema and table are made on
// first use, as a missing file is, under a lock that keeps two stations from
// making them at once.
#include <libpq-fe.h>

#include <map>
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

// The body of the program's own trigger function, which tells the
// stations listening of every change; a check of a table compares the
// function its trigger runs with it.
constexpr const char* kNotifyBody =
    "BEGIN PERFORM pg_notify('velmora', TG_TABLE_SCHEMA || '.' || TG_TABLE_NAME); RETURN NULL; END";

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

// The schema with its table of our own (velmora_meta: the owner's digest,
// and the mark of a copy in progress), made if missing.
std::string ownSchemaSql(const std::string& schema) {
  return "CREATE SCHEMA IF NOT EXISTS " + schema + ";CREATE TABLE IF NOT EXISTS " + schema +
         ".velmora_meta(key text PRIMARY KEY, value text NOT NULL);INSERT INTO " + schema +
         ".velmora_meta VALUES('owner'," + literal(ownerDigest(kDataOwnerPassword)) + ") ON CONFLICT DO NOTHING;";
}

constexpr const char* kCopyMarkKey = "copia_incompleta";

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
  sql += ownSchemaSql(schema);
  // Every change is told to the stations listening, once per statement.
  sql += "CREATE OR REPLACE FUNCTION " + schema + ".velmora_notify() RETURNS trigger LANGUAGE plpgsql AS " +
         literal(kNotifyBody) + ";";
  sql += upperFunctionSql(schema);
  sql += "CREATE TABLE IF NOT EXISTS " + table +
         "(\"_id\" bigint GENERATED BY DEFAULT AS IDENTITY PRIMARY KEY, \"_ver\" bigint NOT NULL DEFAULT 1";
  for (const Column& c : def_.columns) sql += ", " + ident(c.name) + " " + columnType(c.type, true);
  for (int s : def_.foldedSlots)
    sql += ", " + ident(def_.columns[s].name + "_F") + " " + columnType(FieldType::kString, true);
  sql += ");";
  sql += "CREATE OR REPLACE TRIGGER velmora_notify AFTER INSERT OR UPDATE OR DELETE ON " + table +
         " FOR EACH STATEMENT EXECUTE FUNCTION " + schema + ".velmora_notify();";
  for (size_t k = 0; k < def_.keys.size(); ++k) sql += indexSql(def_, k, table, true) + ";";
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
  if (!db) {
    // A failed connection already says so; other failures get it said once.
    const std::string said = "no se pudo conectar con el servidor: ";
    *failed = Status::error(Status::Code::kIoError, why.rfind(said, 0) == 0 ? why : said + why);
  }
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

namespace {
// Whether the installation's schema has its own table yet.
bool holdsOwnTable(Connection& db, const Installation& inst, Status* failed) {
  Statement probe(db, "SELECT to_regclass(?) IS NOT NULL");
  probe.bind(1, std::string_view(ident(inst.serverSchema) + ".velmora_meta"));
  if (probe.step() != SQLITE_ROW) {
    *failed = Status::error(Status::Code::kIoError, db.errorMessage());
    return false;
  }
  return probe.text(0) == "t";
}
}  // namespace

// Sets the mark of a copy in progress (`source` given) or clears it.
Status writeServerCopyMark(const Installation& inst, const std::string* source) {
  Status failed;
  auto db = sessionOf(inst, &failed);
  if (!db) return failed;
  const std::string schema = ident(inst.serverSchema);
  if (!source) {
    if (!holdsOwnTable(*db, inst, &failed)) return failed;
    Statement clear(*db, "DELETE FROM " + schema + ".velmora_meta WHERE key=?");
    clear.bind(1, std::string_view(kCopyMarkKey));
    if (clear.step() != SQLITE_DONE) return Status::error(Status::Code::kIoError, db->errorMessage());
    return Status::ok();
  }
  if (db->begin() != SQLITE_OK) return Status::error(Status::Code::kLocked, db->errorMessage());
  const auto fail = [&] {
    const Status s = Status::error(Status::Code::kIoError, db->errorMessage());
    db->rollback();
    return s;
  };
  if (db->exec("SELECT pg_advisory_xact_lock(hashtext(" + literal("velmora:" + inst.serverSchema) + "));" +
               ownSchemaSql(schema)) != SQLITE_OK)
    return fail();
  Statement put(
      *db, "INSERT INTO " + schema + ".velmora_meta VALUES(?, ?) ON CONFLICT (key) DO UPDATE SET value=excluded.value");
  put.bind(1, std::string_view(kCopyMarkKey));
  put.bind(2, std::string_view(*source));
  if (put.step() != SQLITE_DONE) return fail();
  if (db->commit() != SQLITE_OK) return Status::error(Status::Code::kIoError, db->errorMessage());
  return Status::ok();
}

Status readServerCopyMark(const Installation& inst, std::optional<std::string>* source) {
  Status failed;
  auto db = sessionOf(inst, &failed);
  if (!db) return failed;
  if (!holdsOwnTable(*db, inst, &failed)) return failed;
  Statement read(*db, "SELECT value FROM " + ident(inst.serverSchema) + ".velmora_meta WHERE key=?");
  read.bind(1, std::string_view(kCopyMarkKey));
  const int rc = read.step();
  if (rc == SQLITE_ROW) *source = read.text(0);
  else if (rc != SQLITE_DONE) return Status::error(Status::Code::kIoError, db->errorMessage());
  return Status::ok();
}

Status restartServerCopy(const Installation& inst, const std::string& source) {
  Status listed;
  const std::vector<std::string> schemas = serverSchemas(inst, &listed);
  if (!listed) return listed;
  return replaceServerSchemas(inst, schemas, [&] { return writeServerCopyMark(inst, &source); });
}

Status dropServerInstallation(const Installation& inst) {
  Status listed;
  const std::vector<std::string> schemas = serverSchemas(inst, &listed);
  if (!listed || schemas.empty()) return listed;
  return replaceServerSchemas(inst, schemas, [] { return Status::ok(); });  // replaced by nothing
}

namespace {

struct Unanswered {
  std::string why;
};

// What differs between a table on the server and the program's, or empty.
// Throws Unanswered when the server does not answer a question.
std::string serverTableDifference(Connection& db, const std::string& schema, const TableDef& def) {
  const std::string table = ident(schema) + "." + ident(def.storeName);
  // Every row of a query of `columns` text columns.
  const auto rows = [&](const std::string& sql, std::initializer_list<std::string> params, int columns) {
    std::vector<std::vector<std::string>> out;
    Statement q(db, sql);
    int i = 0;
    for (const std::string& p : params) q.bind(++i, std::string_view(p));
    int rc = SQLITE_ERROR;
    while (q.valid() && (rc = q.step()) == SQLITE_ROW) {
      std::vector<std::string> row;
      for (int c = 0; c < columns; ++c) row.push_back(q.text(c));
      out.push_back(std::move(row));
    }
    // A question the server did not answer is never taken for "none".
    if (rc != SQLITE_DONE) throw Unanswered{engineErrorText(&db, rc)};
    return out;
  };
  const auto kind = rows(
      "SELECT c.relkind::text FROM pg_class c JOIN pg_namespace n ON n.oid=c.relnamespace WHERE n.nspname=? AND "
      "c.relname=?",
      {schema, def.storeName}, 1);
  if (kind.empty()) return "la tabla " + def.storeName + " no existe en el servidor";
  if (kind[0][0] == "v" || kind[0][0] == "m") return "la tabla " + def.storeName + " es una vista";
  if (kind[0][0] != "r") return def.storeName + " no es una tabla común";

  std::map<std::string, std::string> expected = {{"_id", "bigint"}, {"_ver", "bigint"}};
  for (const Column& c : def.columns)
    expected[c.name] = isTextType(c.type) ? "text C" : c.type == FieldType::kReal ? "double precision" : "bigint";
  for (int s : def.foldedSlots) expected[def.columns[s].name + "_F"] = "text C";
  std::map<std::string, std::string> stored;
  for (const auto& r :
       rows("SELECT column_name::text, data_type::text || CASE WHEN collation_name IS NULL THEN '' ELSE "
            "' ' || collation_name END, is_nullable::text FROM information_schema.columns WHERE "
            "table_schema=? AND table_name=?",
            {schema, def.storeName}, 3)) {
    if (r[2] != "NO" && r[0] != "_id") return "la columna " + r[0] + " admite valores nulos";
    stored[r[0]] = r[1];
  }
  for (const auto& [name, type] : expected) {
    const auto it = stored.find(name);
    if (it == stored.end()) return "le falta la columna " + name;
    if (it->second != type) return "la columna " + name + " es de tipo " + it->second + " y debe ser " + type;
  }
  for (const auto& [name, type] : stored)
    if (!expected.count(name)) return "tiene una columna ajena, " + name;

  for (const auto& r : rows("SELECT t.tgname::text, p.prosrc FROM pg_trigger t JOIN pg_proc p ON p.oid=t.tgfoid "
                            "WHERE t.tgrelid=to_regclass(?) AND NOT t.tgisinternal",
                            {table}, 2)) {
    if (r[0] != "velmora_notify" || r[1] != kNotifyBody)
      return "lleva un disparador (" + r[0] + ") que cambiaría los datos al escribirlos";
  }
  if (!rows("SELECT rulename::text FROM pg_rules WHERE schemaname=? AND tablename=?", {schema, def.storeName}, 1)
           .empty())
    return "lleva una regla que cambiaría lo que se lee o se escribe";
  if (!rows("SELECT polname::text FROM pg_policy WHERE polrelid=to_regclass(?)", {table}, 1).empty())
    return "lleva una política de filas que cambiaría lo que se lee o se escribe";

  std::map<std::string, bool> keys;  // index name: unique
  for (size_t k = 0; k < def.keys.size(); ++k) keys[def.resolvedKeys[k].indexName] = !(def.keys[k].flags & kDuplicates);
  for (const auto& r : rows("SELECT c.relname::text, i.indisunique::text, i.indisprimary::text FROM pg_index i JOIN "
                            "pg_class c ON c.oid=i.indexrelid WHERE i.indrelid=to_regclass(?)",
                            {table}, 3)) {
    if (r[2] == "true") continue;  // the record identity's
    const auto it = keys.find(r[0]);
    if (it == keys.end()) return "lleva un índice ajeno, " + r[0];
    if (it->second != (r[1] == "true")) return "el índice " + r[0] + " no es el del programa";
  }
  return "";
}

}  // namespace

Status checkStoredTable(const Installation& inst, const TableDef& def) {
  if (!inst.onServer(def)) return checkTableFile(inst.fileOf(def), def, FileCheck::kIdentityAndValues);
  Status failed;
  auto db = sessionOf(inst, &failed);
  if (!db) return failed;
  const std::string schema = inst.schemaOf(def);
  std::string why;
  try {
    why = serverTableDifference(*db, schema, def);
  } catch (const Unanswered& e) {
    return Status::error(Status::Code::kIoError,
                         "no se pudo revisar la tabla " + def.label + " en el servidor: " + e.why);
  }
  if (!why.empty())
    return Status::error(Status::Code::kCorrupt, "la tabla " + def.label + " (" + schema + ") está alterada: " + why);
  return Status::ok();
}

}  // namespace velmora::tables
