#include "tables/connection.h"

#include <libpq-fe.h>
#include <sqlite3.h>

#include <unistd.h>

#include <cstring>
#include <map>

namespace velmora::tables::internal {

namespace {

// The server's notices ("already exists, skipping") are not for the user.
void ignoreNotice(void*, const char*) {}

thread_local std::map<std::string, std::weak_ptr<Connection>> threadConnections;

// Texts in UTF-8, the lock wait of a file's busy timeout, reals exactly.
constexpr const char* kSessionSettings = "SET client_encoding='UTF8'; SET lock_timeout='10s'; SET extra_float_digits=3";

}  // namespace

pg_conn* connectToServer(const std::string& url) {
  // The address is expanded as libpq reads it; the name only fills in for
  // an application_name it (or PGAPPNAME) does not give.
  const char* const keywords[] = {"dbname", "fallback_application_name", nullptr};
  const char* const values[] = {url.c_str(), "velmora", nullptr};
  return PQconnectdbParams(keywords, values, 1);
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
    if (PQstatus(kept->pg_) == CONNECTION_OK) return kept;
    PQreset(kept->pg_);  // a server restart: the old session, its transaction and statements are gone
    kept->depth_ = 0;
    kept->prepared_.clear();
    if (PQstatus(kept->pg_) == CONNECTION_OK && kept->exec(kSessionSettings) == SQLITE_OK) return kept;
  }
  std::shared_ptr<Connection> c(new Connection);
  c->process_ = ::getpid();
  c->pg_ = connectToServer(url);
  if (!c->pg_ || PQstatus(c->pg_) != CONNECTION_OK) {
    *why = c->pg_ ? PQerrorMessage(c->pg_) : "sin memoria";
    while (!why->empty() && (why->back() == '\n' || why->back() == ' ')) why->pop_back();
    return nullptr;
  }
  PQsetNoticeProcessor(c->pg_, &ignoreNotice, nullptr);
  if (c->exec(kSessionSettings) != SQLITE_OK) {
    *why = c->errorMessage();
    return nullptr;
  }
  threadConnections[url] = c;
  return c;
}

int Connection::exec(std::string_view sql) {
  if (lite_) return sqlite3_exec(lite_, std::string(sql).c_str(), nullptr, nullptr, nullptr);
  PGresult* r = PQexec(pg_, std::string(sql).c_str());
  const ExecStatusType st = PQresultStatus(r);
  int code = SQLITE_OK;
  std::string message;
  if (st != PGRES_COMMAND_OK && st != PGRES_TUPLES_OK && st != PGRES_EMPTY_QUERY) {
    code = codeOfSqlState(PQresultErrorField(r, PG_DIAG_SQLSTATE));
    message = PQerrorMessage(pg_);
  }
  PQclear(r);
  noteServerResult(code, message, 0, insertedId_);
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
  if (auto kept = prepared_.find(sql); kept != prepared_.end()) return kept->second;
  const std::string name = "s" + std::to_string(prepared_.size() + 1);
  PGresult* r = PQprepare(pg_, name.c_str(), sql.c_str(), 0, nullptr);
  const bool ok = PQresultStatus(r) == PGRES_COMMAND_OK;
  noteServerResult(ok ? SQLITE_OK : codeOfSqlState(PQresultErrorField(r, PG_DIAG_SQLSTATE)),
                   ok ? "" : PQerrorMessage(pg_), 0, insertedId_);
  PQclear(r);
  if (!ok) return {};
  prepared_.emplace(sql, name);
  return name;
}

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
  return exec(depth_ == 0 ? "COMMIT" : "RELEASE SAVEPOINT v" + std::to_string(depth_));
}

int Connection::rollback() {
  if (lite_) return exec("ROLLBACK");
  if (depth_ == 0) return SQLITE_OK;
  --depth_;
  if (depth_ == 0) return exec("ROLLBACK");
  const std::string name = "v" + std::to_string(depth_);
  return exec("ROLLBACK TO SAVEPOINT " + name + "; RELEASE SAVEPOINT " + name);
}

}  // namespace velmora::tables::internal
