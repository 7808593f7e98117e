// Statement: a prepared SQLite statement that resets itself after use.
// Every value reaches SQL through bind(); no text is ever spliced into SQL.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <string>
#include <string_view>

namespace velmora::tables {

// What the storage engine found wrong, in Spanish, for messages and logs:
// SQLite's own texts are English (and say "not an error" when asked after a
// failure of another kind). `rc` is the failing call's result code.
std::string engineErrorText(sqlite3* db, int rc);

class Statement {
 public:
  Statement() = default;
  Statement(sqlite3* db, std::string_view sql) { prepare(db, sql); }
  ~Statement() { sqlite3_finalize(stmt_); }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;
  Statement(Statement&& o) noexcept : stmt_(o.stmt_) { o.stmt_ = nullptr; }
  Statement& operator=(Statement&& o) noexcept {
    std::swap(stmt_, o.stmt_);
    return *this;
  }

  int prepare(sqlite3* db, std::string_view sql) {
    sqlite3_finalize(stmt_);
    stmt_ = nullptr;
    return sqlite3_prepare_v3(db, sql.data(), static_cast<int>(sql.size()),
                              SQLITE_PREPARE_PERSISTENT, &stmt_, nullptr);
  }
  bool valid() const { return stmt_ != nullptr; }
  sqlite3_stmt* get() const { return stmt_; }

  void bind(int i, int64_t v) { sqlite3_bind_int64(stmt_, i, v); }
  void bind(int i, double v) { sqlite3_bind_double(stmt_, i, v); }
  void bind(int i, std::string_view v) {
    sqlite3_bind_text(stmt_, i, v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT);
  }
  int step() { return sqlite3_step(stmt_); }
  void reset() {
    if (!stmt_) return;
    sqlite3_reset(stmt_);
    sqlite3_clear_bindings(stmt_);
  }

  int64_t integer(int col) const { return sqlite3_column_int64(stmt_, col); }
  // What a column holds as stored, whatever the table declares: a file from
  // outside may hold a text or a blob where a price should be.
  bool holdsInteger(int col) const { return sqlite3_column_type(stmt_, col) == SQLITE_INTEGER; }
  bool holdsNumber(int col) const {
    const int type = sqlite3_column_type(stmt_, col);
    return type == SQLITE_INTEGER || type == SQLITE_FLOAT;
  }
  double real(int col) const { return sqlite3_column_double(stmt_, col); }
  std::string text(int col) const {
    const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, col));
    return p ? std::string(p, sqlite3_column_bytes(stmt_, col)) : std::string();
  }

 private:
  sqlite3_stmt* stmt_ = nullptr;
};

// Resets a statement when leaving a scope, so that no read stays open and
// holds a shared lock that would block other stations' writes.
class ResetOnExit {
 public:
  explicit ResetOnExit(Statement& s) : s_(s) {}
  ~ResetOnExit() { s_.reset(); }
  ResetOnExit(const ResetOnExit&) = delete;
  ResetOnExit& operator=(const ResetOnExit&) = delete;

 private:
  Statement& s_;
};

}  // namespace velmora::tables
