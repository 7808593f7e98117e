// Statement: a prepared statement, on an SQLite file or on the server, that
// resets itself after use. Every value reaches SQL through bind(); no text is
// ever spliced into SQL. Only the table layer makes statements; its callers
// see their rows as Row. step() answers SQLite's codes on both engines.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "tables/row.h"

struct sqlite3_stmt;

namespace velmora::tables {

namespace internal {
class Connection;
struct ServerStatement;
}  // namespace internal

// What the storage engine found wrong, in Spanish, for messages and logs:
// the engines' own texts are English (and SQLite says "not an error" when
// asked after a failure of another kind). `rc` is the failing call's code.
std::string engineErrorText(const internal::Connection* db, int rc);

class Statement final : public Row {
 public:
  Statement();
  Statement(internal::Connection& db, std::string_view sql);
  ~Statement();
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;
  Statement(Statement&& o) noexcept;
  Statement& operator=(Statement&& o) noexcept;

  int prepare(internal::Connection& db, std::string_view sql);
  bool valid() const { return stmt_ != nullptr || server_ != nullptr; }

  void bind(int i, int64_t v);
  void bind(int i, double v);
  void bind(int i, std::string_view v);
  // A text the caller keeps unchanged until the statement has stepped:
  // bound without a copy.
  void bindKept(int i, std::string_view v);
  int step();
  void reset();

  int64_t integer(int col) const override;
  double real(int col) const override;
  std::string text(int col) const override;
  // The text of a column without a copy, valid until the next step.
  std::string_view textView(int col) const;
  bool holdsInteger(int col) const override;
  bool holdsNumber(int col) const override;

 private:
  sqlite3_stmt* stmt_ = nullptr;
  std::unique_ptr<internal::ServerStatement> server_;
  int prepared_ = 0;  // the code of the last prepare: what stepping a failed one answers
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
