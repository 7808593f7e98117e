#include "tables/statement.h"

#include <sqlite3.h>

namespace velmora::tables {

Statement::~Statement() { sqlite3_finalize(stmt_); }

int Statement::prepare(sqlite3* db, std::string_view sql) {
  sqlite3_finalize(stmt_);
  stmt_ = nullptr;
  return sqlite3_prepare_v3(db, sql.data(), static_cast<int>(sql.size()), SQLITE_PREPARE_PERSISTENT, &stmt_, nullptr);
}

void Statement::bind(int i, int64_t v) { sqlite3_bind_int64(stmt_, i, v); }
void Statement::bind(int i, double v) { sqlite3_bind_double(stmt_, i, v); }
void Statement::bind(int i, std::string_view v) {
  sqlite3_bind_text(stmt_, i, v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT);
}
int Statement::step() { return sqlite3_step(stmt_); }
void Statement::reset() {
  if (!stmt_) return;
  sqlite3_reset(stmt_);
  sqlite3_clear_bindings(stmt_);
}

int64_t Statement::integer(int col) const { return sqlite3_column_int64(stmt_, col); }
double Statement::real(int col) const { return sqlite3_column_double(stmt_, col); }
std::string Statement::text(int col) const {
  const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, col));
  return p ? std::string(p, static_cast<size_t>(sqlite3_column_bytes(stmt_, col))) : std::string();
}
bool Statement::holdsInteger(int col) const { return sqlite3_column_type(stmt_, col) == SQLITE_INTEGER; }
bool Statement::holdsNumber(int col) const {
  const int type = sqlite3_column_type(stmt_, col);
  return type == SQLITE_INTEGER || type == SQLITE_FLOAT;
}

}  // namespace velmora::tables
