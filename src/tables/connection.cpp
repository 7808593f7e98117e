#include "tables/connection.h"

#include <libpq-fe.h>
#include <sqlite3.h>

#include <unistd.h>

#include <cstring>
#include <map>

namespace velmora::tables::internal {

namespace {

// The server's notices ("already exists, skipping") are not for the user,
// nor for standard error.
void ignoreNotice(void*, const char*) {}

thread_local std::map<std::string, std::weak_ptr<Connection>> threadConnections;

// Texts in UTF-8, the lock wait of a file's busy timeout, reals exactly.
constexpr const char* kSessionSettings = "SET client_encoding='UTF8'; SET lock_timeout='10s'; SET extra_float_digits=3";

bool says(const std::string& text, const char* words) { return text.find(words) != std::string::npos; }

// "host:port" of a connection, for telling which server failed.
std::string serverName(const pg_conn* pg) {
  auto* conn = const_cast<pg_conn*>(pg);
  const char* host = pg ? PQhost(conn) : nullptr;
  const char* port = pg ? PQport(conn) : nullptr;
  std::string name = host && *host ? host : "local";
  if (port && *port) name += std::string(":") + port;
  return name;
}

// Why a connection could not be made. libpq says it only in words (its
// English, unless it was built with translations): the words it uses are
// matched, and anything else is said without a cause we cannot know.
std::string connectFailure(const pg_conn* pg) {
  const std::string server = "el servidor " + serverName(pg);
  auto* conn = const_cast<pg_conn*>(pg);
  const std::string said = pg ? PQerrorMessage(conn) : "";
  const char* user = pg ? PQuser(conn) : nullptr;
  const char* db = pg ? PQdb(conn) : nullptr;
  std::string cause;
  if (!pg) cause = "no hay memoria suficiente";
  else if (says(said, "Connection refused") || says(said, "No such file or directory"))
    cause = server + " no acepta conexiones (está detenido o la dirección es otra)";
  else if (says(said, "could not translate host name") || says(said, "Name or service not known"))
    cause = "no se encuentra el servidor " + std::string(PQhost(conn) ? PQhost(conn) : "") +
            " (revise el nombre en la dirección)";
  else if (says(said, "timeout expired") || says(said, "timed out")) cause = server + " no respondió a tiempo";
  else if (says(said, "No route to host") || says(said, "Network is unreachable"))
    cause = "no hay camino por la red hasta " + server;
  else if (says(said, "password authentication failed") || says(said, "no password supplied") ||
           PQconnectionNeedsPassword(conn))
    cause = server + " rechazó la clave del usuario " + (user ? user : "");
  else if (says(said, "role \"") && says(said, "does not exist"))
    cause = "el usuario " + std::string(user ? user : "") + " no existe en " + server;
  else if (says(said, "database \"") && says(said, "does not exist"))
    cause = "la base de datos " + std::string(db ? db : "") + " no existe en " + server;
  else if (says(said, "pg_hba.conf") || says(said, "permission denied"))
    cause = server + " no admite al usuario " + (user ? user : "") + " desde esta estación";
  else if (says(said, "too many") || says(said, "remaining connection slots"))
    cause = server + " no admite más conexiones";
  else if (says(said, "starting up") || says(said, "shutting down") || says(said, "recovery mode"))
    cause = server + " se está iniciando o deteniendo; intente en un momento";
  else if (says(said, "SSL") || says(said, "certificate"))
    cause = "falló la conexión segura (TLS) con " + server + "; revise sslmode y los certificados";
  else if (says(said, "invalid") || says(said, "missing")) cause = "la dirección del servidor no es válida";
  else if (says(said, "server closed the connection")) cause = server + " cerró la conexión";
  else cause = server + " no respondió como se esperaba";
  return "no se pudo conectar con el servidor: " + cause;
}

}  // namespace

pg_conn* connectToServer(const std::string& url, std::string* why, int waitSeconds) {
  // The address's own connect_timeout wins: it comes after ours.
  const std::string wait = std::to_string(waitSeconds);
  // The name only fills in for an application_name the address (or
  // PGAPPNAME) does not give.
  const char* keys[] = {"connect_timeout", "dbname", "fallback_application_name", nullptr};
  const char* values[] = {wait.c_str(), url.c_str(), "velmora", nullptr};
  pg_conn* pg = PQconnectdbParams(keys, values, 1);
  if (pg && PQstatus(pg) == CONNECTION_OK) {
    PQsetNoticeProcessor(pg, &ignoreNotice, nullptr);
    return pg;
  }
  *why = connectFailure(pg);
  PQfinish(pg);
  return nullptr;
}

std::string serverFailureText(const pg_conn* pg, const pg_result* result, bool inTransaction) {
  auto* conn = const_cast<pg_conn*>(pg);
  if (!pg || PQstatus(conn) != CONNECTION_OK) {
    return "se perdió la conexión con el servidor " + serverName(pg) + " (se detuvo o se cortó la red)" +
           (inTransaction ? "; la transacción se deshizo" : "");
  }
  auto* res = const_cast<pg_result*>(result);
  const char* stateText = res ? PQresultErrorField(res, PG_DIAG_SQLSTATE) : nullptr;
  const std::string state = stateText ? stateText : "";
  const auto field = [res](int which) {
    const char* v = res ? PQresultErrorField(res, which) : nullptr;
    return std::string(v ? v : "");
  };
  const char* user = PQuser(conn);
  const std::string server = "el servidor " + serverName(pg);
  const auto inClass = [&state](const char* cls) { return state.rfind(cls, 0) == 0; };
  if (state == "42501") {
    const std::string table = field(PG_DIAG_TABLE_NAME);
    return "el usuario " + std::string(user ? user : "") + " no tiene permiso sobre " +
           (table.empty() ? std::string("los datos de la instalación") : "la tabla " + table) + " en " + server;
  }
  if (inClass("28")) return server + " no admite al usuario " + (user ? user : "");
  if (state == "42P01" || state == "3F000") return "la tabla no existe en " + server;
  if (state == "3D000") return "la base de datos no existe en " + server;
  if (state == "55P03" || state == "57014") return "la tabla está bloqueada por otra estación";
  if (state == "40001" || state == "40P01") return "otra estación cambió los mismos datos a la vez; intente de nuevo";
  if (state == "25006") return server + " sólo admite lectura";
  if (state == "53100") return "el disco del servidor está lleno";
  if (state == "53200") return server + " no tiene memoria suficiente";
  if (state == "53300") return server + " no admite más conexiones";
  if (state == "57P01" || state == "57P02" || state == "57P03" || inClass("08"))
    return "se perdió la conexión con el servidor " + serverName(pg) + " (se detuvo o se cortó la red)";
  if (inClass("23")) {
    const std::string rule = field(PG_DIAG_CONSTRAINT_NAME);
    return "el registro no cumple una regla de la tabla" + (rule.empty() ? std::string() : " (" + rule + ")");
  }
  if (state == "XX001" || state == "XX002") return "la tabla está dañada en " + server;
  if (inClass("22")) return "un dato no cabe en su columna de la tabla";
  if (inClass("54")) return "la operación excede un límite de " + server;
  if (state.empty()) return server + " no respondió como se esperaba";
  return server + " rechazó la operación (código " + state + ")";
}

int codeOfSqlState(const char* state) {
  if (!state || std::strlen(state) != 5) return SQLITE_IOERR;
  const std::string s(state);
  if (s == "23505") return SQLITE_CONSTRAINT_UNIQUE;
  if (s.rfind("23", 0) == 0) return SQLITE_CONSTRAINT;
  // Waits past lock_timeout, and a snapshot another station overtook.
  if (s == "55P03" || s == "40001" || s == "40P01" || s == "57014") return SQLITE_BUSY;
  if (s == "25006") return SQLITE_READONLY;
  if (s == "42501" || s.rfind("28", 0) == 0) return SQLITE_PERM;
  if (s == "53100") return SQLITE_FULL;
  if (s == "53200") return SQLITE_NOMEM;
  if (s.rfind("08", 0) == 0 || s.rfind("57", 0) == 0 || s.rfind("58", 0) == 0) return SQLITE_IOERR;
  if (s == "XX001" || s == "XX002") return SQLITE_CORRUPT;
  return SQLITE_ERROR;
}

std::string serverPlaceholders(std::string_view sql) {
  std::string out;
  out.reserve(sql.size() + 16);
  int next = 0;
  char quote = 0;
  for (size_t i = 0; i < sql.size(); ++i) {
    const char c = sql[i];
    if (quote) {
      if (c == quote) quote = 0;
      out += c;
    } else if (c == '\'' || c == '"') {
      quote = c;
      out += c;
    } else if (c == '?') {
      size_t j = i + 1;
      while (j < sql.size() && sql[j] >= '0' && sql[j] <= '9') ++j;
      if (j > i + 1) {
        out += "$" + std::string(sql.substr(i + 1, j - i - 1));
        i = j - 1;
      } else {
        out += "$" + std::to_string(++next);
      }
    } else {
      out += c;
    }
  }
  return out;
}

Connection::~Connection() {
  if (lite_) sqlite3_close_v2(lite_);
  // A forked child leaves its parent's session alone: closing it would end
  // it for the parent too.
  if (pg_ && process_ == ::getpid()) PQfinish(pg_);
}

std::shared_ptr<Connection> Connection::openFile(const std::filesystem::path& file, int flags, int* rc) {
  std::shared_ptr<Connection> c(new Connection);
  *rc = sqlite3_open_v2(file.string().c_str(), &c->lite_, flags, nullptr);
  if (*rc != SQLITE_OK) return nullptr;  // the destructor closes the half-open handle
  sqlite3_extended_result_codes(c->lite_, 1);
  return c;
}

std::shared_ptr<Connection> Connection::forThread(const std::string& url, std::string* why) {
  if (auto kept = threadConnections[url].lock(); kept && kept->process_ == ::getpid()) {
    if (kept->ensureSession()) return kept;
    if (kept->depth_ == 0) {  // the server cannot be reached now
      *why = kept->lastMessage_;
      return nullptr;
    }
    // A transaction lost with its session stays with the tables that hold
    // it until they roll back; new tables get a session of their own.
  }
  std::shared_ptr<Connection> c(new Connection);
  c->process_ = ::getpid();
  c->pg_ = connectToServer(url, why);
  if (!c->pg_) return nullptr;
  if (c->exec(kSessionSettings) != SQLITE_OK) {
    *why = c->errorMessage();
    return nullptr;
  }
  threadConnections[url] = c;
  return c;
}

bool Connection::ensureSession() {
  if (!pg_) return true;
  if (depth_ == 0 && PQstatus(pg_) == CONNECTION_OK && PQtransactionStatus(pg_) == PQTRANS_IDLE) {
    // What the server sent while this station sat idle is read now: a
    // restart ends the session with a last word and a closed socket, which
    // the reads make libpq see. Neither read waits.
    for (int i = 0; i < 2 && PQconsumeInput(pg_) == 1; ++i) {}
  }
  if (PQstatus(pg_) == CONNECTION_OK) return true;
  if (depth_ != 0) {
    noteServerResult(SQLITE_IOERR, serverFailureText(pg_, nullptr, true), 0, insertedId_);
    return false;
  }
  // The old session, its statements and its settings are gone with it.
  PQreset(pg_);
  prepared_.clear();
  ++session_;
  if (PQstatus(pg_) != CONNECTION_OK) {
    noteServerResult(SQLITE_IOERR, connectFailure(pg_), 0, insertedId_);
    return false;
  }
  return exec(kSessionSettings) == SQLITE_OK;
}

int Connection::exec(std::string_view sql) {
  if (lite_) return sqlite3_exec(lite_, std::string(sql).c_str(), nullptr, nullptr, nullptr);
  if (!ensureSession()) return lastCode_;
  return runOnSession(sql);
}

int Connection::runOnSession(std::string_view sql) {
  PGresult* r = PQexec(pg_, std::string(sql).c_str());
  const ExecStatusType st = PQresultStatus(r);
  int code = SQLITE_OK;
  if (st != PGRES_COMMAND_OK && st != PGRES_TUPLES_OK && st != PGRES_EMPTY_QUERY) code = noteServerFailure(r);
  else noteServerResult(code, "", 0, insertedId_);
  PQclear(r);
  return code;
}

int Connection::noteServerFailure(const pg_result* result) {
  const char* state = result ? PQresultErrorField(const_cast<pg_result*>(result), PG_DIAG_SQLSTATE) : nullptr;
  const bool lost = PQstatus(pg_) != CONNECTION_OK;
  const int code = lost ? SQLITE_IOERR : codeOfSqlState(state);
  noteServerResult(code, serverFailureText(pg_, result, lost && depth_ > 0), 0, insertedId_);
  return code;
}

void Connection::noteServerResult(int code, std::string message, int64_t changed, int64_t insertedId) {
  lastCode_ = code;
  while (!message.empty() && (message.back() == '\n' || message.back() == ' ')) message.pop_back();
  lastMessage_ = std::move(message);
  changes_ = changed;
  insertedId_ = insertedId;
}

std::string Connection::prepareOnServer(const std::string& sql) {
  if (!ensureSession()) return {};
  if (auto kept = prepared_.find(sql); kept != prepared_.end()) return kept->second;
  // Named after the session too: a name of an earlier session never meets
  // another statement of this one.
  const std::string name = "s" + std::to_string(session_) + "_" + std::to_string(prepared_.size() + 1);
  PGresult* r = PQprepare(pg_, name.c_str(), sql.c_str(), 0, nullptr);
  const bool ok = PQresultStatus(r) == PGRES_COMMAND_OK;
  if (ok) noteServerResult(SQLITE_OK, "", 0, insertedId_);
  else noteServerFailure(r);
  PQclear(r);
  if (!ok) return {};
  prepared_.emplace(sql, name);
  return name;
}

bool Connection::lostSession() const { return pg_ && PQstatus(pg_) != CONNECTION_OK; }

int Connection::errorCode() const { return lite_ ? sqlite3_extended_errcode(lite_) : lastCode_; }
std::string Connection::errorMessage() const { return lite_ ? sqlite3_errmsg(lite_) : lastMessage_; }
int64_t Connection::changes() const { return lite_ ? sqlite3_changes(lite_) : changes_; }
int64_t Connection::lastInsertId() const { return lite_ ? sqlite3_last_insert_rowid(lite_) : insertedId_; }

bool Connection::inTransaction() const {
  if (lite_) return sqlite3_get_autocommit(lite_) == 0;
  return PQtransactionStatus(pg_) != PQTRANS_IDLE;
}

bool Connection::isReadOnly() const { return lite_ && sqlite3_db_readonly(lite_, "main") == 1; }

void Connection::setLockWait(std::chrono::milliseconds wait) {
  if (lite_) {
    sqlite3_busy_timeout(lite_, static_cast<int>(wait.count()));
    return;
  }
  exec("SET lock_timeout='" + std::to_string(wait.count()) + "ms'");
}

int Connection::begin(const std::string& lockTable) {
  if (lite_) return exec("BEGIN IMMEDIATE");
  std::string sql = depth_ == 0 ? "BEGIN" : "SAVEPOINT v" + std::to_string(depth_);
  if (!lockTable.empty()) sql += "; LOCK TABLE " + lockTable + " IN SHARE ROW EXCLUSIVE MODE";
  const int rc = exec(sql);
  if (rc == SQLITE_OK) {
    ++depth_;
  } else if (PQtransactionStatus(pg_) != PQTRANS_IDLE) {
    // The lock was not had: nothing of the transaction stays open.
    const int failed = lastCode_;
    const std::string why = lastMessage_;
    exec(depth_ == 0
             ? "ROLLBACK"
             : "ROLLBACK TO SAVEPOINT v" + std::to_string(depth_) + "; RELEASE SAVEPOINT v" + std::to_string(depth_));
    noteServerResult(failed, why, 0, insertedId_);
  }
  return rc;
}

int Connection::beginRead() {
  if (lite_) return exec("BEGIN");
  const int rc = exec(depth_ == 0 ? "BEGIN ISOLATION LEVEL REPEATABLE READ" : "SAVEPOINT v" + std::to_string(depth_));
  if (rc == SQLITE_OK) ++depth_;
  return rc;
}

int Connection::commit() {
  if (lite_) return exec("COMMIT");
  if (depth_ == 0) {
    noteServerResult(SQLITE_ERROR, "no hay transacción abierta", 0, insertedId_);
    return SQLITE_ERROR;
  }
  // A transaction lost with its session is gone: the server rolled it back.
  if (PQstatus(pg_) != CONNECTION_OK) {
    noteServerResult(SQLITE_IOERR, serverFailureText(pg_, nullptr, true), 0, insertedId_);
    depth_ = 0;
    return SQLITE_IOERR;
  }
  // A transaction a failed statement aborted would only roll back on
  // COMMIT, and say "ROLLBACK": that is a failure, never a commit.
  if (PQtransactionStatus(pg_) == PQTRANS_INERROR) {
    const std::string why = lastMessage_.empty() ? "la transacción falló" : lastMessage_;
    const int code = lastCode_ ? lastCode_ : SQLITE_ERROR;
    rollback();
    noteServerResult(code, why, 0, insertedId_);
    return code;
  }
  --depth_;
  // Never on a session made again: a COMMIT there would commit nothing and
  // answer that all is well.
  const int rc = runOnSession(depth_ == 0 ? "COMMIT" : "RELEASE SAVEPOINT v" + std::to_string(depth_));
  if (rc != SQLITE_OK && depth_ == 0 && PQstatus(pg_) != CONNECTION_OK)
    noteServerResult(rc,
                     "se perdió la conexión con el servidor al confirmar los cambios; no se sabe si quedaron "
                     "escritos: revíselos",
                     0, insertedId_);
  return rc;
}

int Connection::rollback() {
  if (lite_) return exec("ROLLBACK");
  if (depth_ == 0) return SQLITE_OK;
  --depth_;
  if (depth_ == 0) return PQstatus(pg_) == CONNECTION_OK ? runOnSession("ROLLBACK") : SQLITE_OK;  // lost: rolled back
  const std::string name = "v" + std::to_string(depth_);
  return runOnSession("ROLLBACK TO SAVEPOINT " + name + "; RELEASE SAVEPOINT " + name);
}

}  // namespace velmora::tables::internal
