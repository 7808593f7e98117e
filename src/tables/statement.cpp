#include "tables/statement.h"

#include <libpq-fe.h>
#include <sqlite3.h>

#include <charconv>
#include <cstdlib>
#include <vector>

#include "tables/connection.h"

namespace velmora::tables {

namespace internal {

// A statement on the server: its values as texts, and the rows of its last
// run, fetched whole (so that another statement may run between two steps,
// as on a file).
struct ServerStatement {
  Connection* db = nullptr;
  std::string sql;       // in the server's dialect, to prepare it again in a new session
  uint64_t session = 0;  // the session `name` was prepared in
  std::string name;
  bool returnsId = false;  // an INSERT ... RETURNING "_id"
  std::vector<std::string> values;
  std::vector<bool> bound;
  PGresult* result = nullptr;
  int row = -1;

  ~ServerStatement() { PQclear(result); }
  void bind(int i, std::string value) {
    if (static_cast<size_t>(i) > values.size()) {
      values.resize(i);
      bound.resize(i);
    }
    values[i - 1] = std::move(value);
    bound[i - 1] = true;
  }
  int run();
  void reset() {
    PQclear(result);
    result = nullptr;
    row = -1;
    std::fill(bound.begin(), bound.end(), false);
  }
  const char* value(int col) const { return PQgetvalue(result, row, col); }
};

int ServerStatement::run() {
  if (!db->ensureSession()) return db->errorCode();
  if (session != db->session()) {  // the server was restarted since
    name = db->prepareOnServer(sql);
    if (name.empty()) return db->errorCode();
    session = db->session();
  }
  std::vector<const char*> params(values.size());
  for (size_t i = 0; i < values.size(); ++i) params[i] = bound[i] ? values[i].c_str() : nullptr;
  PQclear(result);
  result =
      PQexecPrepared(db->server(), name.c_str(), static_cast<int>(params.size()), params.data(), nullptr, nullptr, 0);
  const ExecStatusType st = PQresultStatus(result);
  if (st == PGRES_COMMAND_OK) {
    const char* changed = PQcmdTuples(result);
    db->noteServerResult(SQLITE_OK, "", changed && *changed ? std::atoll(changed) : 0, db->lastInsertId());
    return SQLITE_DONE;
  }
  if (st != PGRES_TUPLES_OK) return db->noteServerFailure(result);
  if (returnsId) {
    // ON CONFLICT DO NOTHING returns no row for a key already taken.
    if (PQntuples(result) == 0) {
      db->noteServerResult(SQLITE_CONSTRAINT_UNIQUE, "clave duplicada", 0, db->lastInsertId());
      return SQLITE_CONSTRAINT_UNIQUE;
    }
    db->noteServerResult(SQLITE_OK, "", 1, std::atoll(PQgetvalue(result, 0, 0)));
    return SQLITE_DONE;
  }
  db->noteServerResult(SQLITE_OK, "", PQntuples(result), db->lastInsertId());
  return SQLITE_ROW;
}

}  // namespace internal

namespace {

std::string shortest(double v) {
  char buf[32];
  const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, v);
  return ec == std::errc() ? std::string(buf, end) : std::to_string(v);
}

}  // namespace

Statement::Statement() = default;
Statement::Statement(internal::Connection& db, std::string_view sql) { prepare(db, sql); }
Statement::~Statement() { sqlite3_finalize(stmt_); }
Statement::Statement(Statement&& o) noexcept : stmt_(o.stmt_), server_(std::move(o.server_)) { o.stmt_ = nullptr; }
Statement& Statement::operator=(Statement&& o) noexcept {
  std::swap(stmt_, o.stmt_);
  std::swap(server_, o.server_);
  return *this;
}

int Statement::prepare(internal::Connection& db, std::string_view sql) {
  sqlite3_finalize(stmt_);
  stmt_ = nullptr;
  server_.reset();
  if (!db.isServer()) {
    prepared_ = sqlite3_prepare_v3(db.lite(), sql.data(), static_cast<int>(sql.size()), SQLITE_PREPARE_PERSISTENT,
                                   &stmt_, nullptr);
    return prepared_;
  }
  const std::string serverSql = internal::serverPlaceholders(sql);
  std::string name = db.prepareOnServer(serverSql);
  // Preparing takes the table's lock on the server: another station's lock
  // past the wait ends it, and stepping it then answers that.
  if (name.empty()) return prepared_ = db.errorCode();
  prepared_ = SQLITE_OK;
  server_ = std::make_unique<internal::ServerStatement>();
  server_->db = &db;
  server_->name = std::move(name);
  server_->sql = serverSql;
  server_->session = db.session();
  static constexpr std::string_view kReturning = "RETURNING \"_id\"";
  server_->returnsId = serverSql.size() >= kReturning.size() &&
                       serverSql.compare(serverSql.size() - kReturning.size(), kReturning.size(), kReturning) == 0;
  return SQLITE_OK;
}

void Statement::bind(int i, int64_t v) {
  if (server_) server_->bind(i, std::to_string(v));
  else sqlite3_bind_int64(stmt_, i, v);
}
void Statement::bind(int i, double v) {
  if (server_) server_->bind(i, shortest(v));
  else sqlite3_bind_double(stmt_, i, v);
}
void Statement::bind(int i, std::string_view v) {
  if (server_) server_->bind(i, std::string(v));
  else sqlite3_bind_text(stmt_, i, v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT);
}

void Statement::bindKept(int i, std::string_view v) {
  if (server_) server_->bind(i, std::string(v));
  else sqlite3_bind_text(stmt_, i, v.data(), static_cast<int>(v.size()), SQLITE_STATIC);
}

int Statement::step() {
  if (!valid()) return prepared_ != SQLITE_OK ? prepared_ : SQLITE_MISUSE;
  if (!server_) return sqlite3_step(stmt_);
  if (server_->row < 0) {
    const int rc = server_->run();
    if (rc != SQLITE_ROW) return rc;
  }
  return ++server_->row < PQntuples(server_->result) ? SQLITE_ROW : SQLITE_DONE;
}

void Statement::reset() {
  if (server_) {
    server_->reset();
    return;
  }
  if (!stmt_) return;
  sqlite3_reset(stmt_);
  sqlite3_clear_bindings(stmt_);
}

int64_t Statement::integer(int col) const {
  return server_ ? std::atoll(server_->value(col)) : sqlite3_column_int64(stmt_, col);
}
double Statement::real(int col) const {
  return server_ ? std::strtod(server_->value(col), nullptr) : sqlite3_column_double(stmt_, col);
}
std::string_view Statement::textView(int col) const {
  if (server_) return {server_->value(col), static_cast<size_t>(PQgetlength(server_->result, server_->row, col))};
  const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, col));
  return p ? std::string_view(p, static_cast<size_t>(sqlite3_column_bytes(stmt_, col))) : std::string_view();
}
std::string Statement::text(int col) const { return std::string(textView(col)); }

bool Statement::holdsInteger(int col) const {
  if (!server_) return sqlite3_column_type(stmt_, col) == SQLITE_INTEGER;
  const Oid type = PQftype(server_->result, col);
  return type == 20 || type == 21 || type == 23;  // int8, int2, int4
}
bool Statement::holdsNumber(int col) const {
  if (!server_) {
    const int type = sqlite3_column_type(stmt_, col);
    return type == SQLITE_INTEGER || type == SQLITE_FLOAT;
  }
  const Oid type = PQftype(server_->result, col);
  return holdsInteger(col) || type == 700 || type == 701 || type == 1700;  // float4, float8, numeric
}

}  // namespace velmora::tables
