// Statement: a prepared SQLite statement that resets itself after use.
// Every value reaches SQL through bind(); no text is ever spliced into SQL.
// Only the table layer makes statements; its callers see their rows as Row.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "tables/row.h"

struct sqlite3;
struct sqlite3_stmt;

namespace velmora::tables {

// What the storage engine found wrong, in Spanish, for messages and logs:
// SQLite's own texts are English (and say "not an error" when asked after a
// failure of another kind). `rc` is the failing call's result code.
std::string engineErrorText(sqlite3* db, int rc);

class Statement final : public Row {
 public:
  Statement() = default;
  Statement(sqlite3* db, std::string_view sql) { prepare(db, sql); }
  ~Statement();
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;
  Statement(Statement&& o) noexcept : stmt_(o.stmt_) { o.stmt_ = nullptr; }
  Statement& operator=(Statement&& o) noexcept {
    std::swap(stmt_, o.stmt_);
    return *this;
  }

  int prepare(sqlite3* db, std::string_view sql);
  bool valid() const { return stmt_ != nullptr; }
  sqlite3_stmt* get() const { return stmt_; }

  void bind(int i, int64_t v);
  void bind(int i, double v);
  void bind(int i, std::string_view v);
  int step();
  void reset();

  int64_t integer(int col) const override;
  double real(int col) const override;
  std::string text(int col) const override;
  bool holdsInteger(int col) const override;
  bool holdsNumber(int col) const override;

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
