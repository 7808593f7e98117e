// Connection: what a Table talks to, an SQLite file or a database server.
//
// Above this header nothing knows which engine runs. Results keep SQLite's
// codes (SQLITE_OK, SQLITE_ROW, SQLITE_DONE, SQLITE_BUSY, ...) on both
// engines: the server's SQLSTATEs are translated here, so the table layer
// has one vocabulary for "done", "locked" and "duplicate".
//
// A server connection is shared by every Table of one thread on one server,
// so one transaction covers any tables the thread writes. begin() inside a
// transaction opens a savepoint, and commit()/rollback() close the innermost
// level only: a table's own begin/commit pair never ends another's
// transaction.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <string_view>

struct sqlite3;
struct pg_conn;
struct pg_result;

namespace velmora::tables::internal {

class Connection {
 public:
  ~Connection();
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  // Opens an SQLite file with sqlite3_open_v2 `flags`; nothing on failure,
  // with the result code in `*rc`.
  static std::shared_ptr<Connection> openFile(const std::filesystem::path& file, int flags, int* rc);
  // The calling thread's connection to the server at `url` (made on first
  // use); nothing on failure, with the server's reason in `*why`.
  static std::shared_ptr<Connection> forThread(const std::string& url, std::string* why);

  bool isServer() const { return pg_ != nullptr; }
  // Server only: whether the session was lost (the server went away).
  bool lostSession() const;
  sqlite3* lite() const { return lite_; }
  pg_conn* server() const { return pg_; }

  // Runs statements without a result; SQLITE_OK or the failure's code.
  int exec(std::string_view sql);
  // The code and text of the last failure.
  int errorCode() const;
  std::string errorMessage() const;
  // Rows changed by the last write, and the identity the last insert took.
  int64_t changes() const;
  int64_t lastInsertId() const;
  bool inTransaction() const;
  bool isReadOnly() const;
  void setLockWait(std::chrono::milliseconds wait);

  // begin: "BEGIN IMMEDIATE" on a file (the write lock at once); on the
  // server, a transaction or a savepoint inside the one open, holding
  // `lockTable` against other writers until it ends, as a file's write lock
  // does (readers go on). A consistent read uses beginRead (a snapshot on
  // the server).
  int begin(const std::string& lockTable = {});
  int beginRead();
  int commit();
  int rollback();

  // Server only: the name of the prepared statement for `sql` (already in
  // the server's dialect), prepared on first use and kept for the session;
  // empty on failure.
  std::string prepareOnServer(const std::string& sql);
  void noteServerResult(int code, std::string message, int64_t changed, int64_t insertedId);
  // Server only: records a statement's failure (`result` may be null), its
  // code and its cause said in Spanish; returns the code.
  int noteServerFailure(const pg_result* result);

  // Server only: makes sure the session is there before a statement. A
  // session the server ended while this station sat idle (a restart) is
  // made again, outside a transaction; inside one, the transaction is lost
  // and false is returned, with the cause noted. False, with the cause,
  // when the server cannot be reached now.
  bool ensureSession();
  // Counts the sessions made on this connection: a statement prepared in an
  // earlier one must be prepared again.
  uint64_t session() const { return session_; }

 private:
  Connection() = default;
  // Runs `sql` on the session as it is, never on one made again.
  int runOnSession(std::string_view sql);

  sqlite3* lite_ = nullptr;
  pg_conn* pg_ = nullptr;
  // Server only: what the last statement did, and the transaction depth
  // this connection opened (0 outside one).
  int lastCode_ = 0;
  std::string lastMessage_;
  int64_t changes_ = 0;
  int64_t insertedId_ = 0;
  int depth_ = 0;
  uint64_t session_ = 1;
  int process_ = 0;  // the process that connected: a forked child never uses its parent's session
  std::map<std::string, std::string> prepared_;  // server SQL -> statement name
};

// The server's SQLSTATE translated to the SQLite code of the same kind.
int codeOfSqlState(const char* state);

// Connects to the server at `url` (libpq's form), named "velmora" in the
// server's list of sessions unless the address names it, waiting at most
// `waitSeconds` for it to answer (unless the address sets connect_timeout),
// with the server's notices kept from standard error; null on failure, with
// the cause in Spanish in `*why`.
inline constexpr int kConnectWaitSeconds = 10;
pg_conn* connectToServer(const std::string& url, std::string* why, int waitSeconds = kConnectWaitSeconds);

// What went wrong with the server, in one line of Spanish with its cause:
// for a failed connection (`result` null) from libpq's status, for a failed
// statement from its SQLSTATE. Every text about the server that a user may
// read comes from here: libpq's own texts are English. `inTransaction`
// tells a lost session whose open transaction the server dropped.
std::string serverFailureText(const pg_conn* pg, const pg_result* result, bool inTransaction = false);

// `sql` with every "?" and "?N" outside quotes as the server's "$N".
std::string serverPlaceholders(std::string_view sql);

}  // namespace velmora::tables::internal
