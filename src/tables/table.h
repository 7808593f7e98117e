// Table: the table manager of one table on one thread.
//
// A Table opens its file (an SQLite database), or its table in a schema of a
// database server (useServer), reads and writes records
// through its record buffer, walks its keys forwards and backwards, and
// reports failures through the error reporter with the ids of the message
// table. A read of one record answers found, absent or failed (Found); an
// absence is silent, and failures the user must hear about are raised before
// the answer is returned.
//
// Positions are kept as key values, not as open statements: between calls a
// Table holds no lock on its file, so other stations can always write.
//
// Thread rules: a Table and its connection belong to the thread that made it.
// Each thread makes its own Tables; two Tables (or two labels) on one file
// see each other's committed writes and keep independent positions.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "framework/error_reporter.h"
#include "framework/status.h"
#include "tables/record.h"
#include "tables/schema.h"
#include "tables/statement.h"

namespace velmora::tables {

namespace internal {
class Connection;
}

// How long a station waits for another station's lock before giving up, and
// for the start of a delete's transaction.
inline constexpr std::chrono::milliseconds kLockWait{10000};
inline constexpr std::chrono::milliseconds kTransactionWait{2000};

// The answer of a read of one record: found (the record is in the buffer),
// absent (no record with those key values, or none further), or failed (the
// engine could not answer: a lock wait that ran out, a disk error, a lost
// server; already raised). It is deliberately not a truth value, so that no
// caller takes a failure for an absence: a caller that needs the record
// converts it to a Status, where absence fails too (kNotFound).
class [[nodiscard]] Found {
 public:
  Found(Status s) : status_(std::move(s)) {}  // NOLINT: the engine's answer as it comes
  bool found() const { return status_.isOk(); }
  bool absent() const { return status_.is(Status::Code::kNotFound); }
  bool failed() const { return !found() && !absent(); }
  // Ok when found, kNotFound when absent, the failure otherwise.
  const Status& status() const { return status_; }
  operator Status() const { return status_; }  // NOLINT: for callers that need the record
  // Ok when found or absent: for callers to whom an absence is an answer.
  Status failure() const { return failed() ? status_ : Status::ok(); }

 private:
  Status status_;
};

// A condition of a list filter (query by example, word filters). Texts are
// compared without regard to letter case.
struct Condition {
  enum class Op { kEquals, kNotEquals, kBegins, kContains };
  std::string field;  // "INB:TEXT" or "TEXT"
  int element = 1;
  Op op = Op::kEquals;
  std::string value;
  bool caseSensitive = false;
  std::string orField;  // when given, the condition holds on either field
};

class Table {
 public:
  Table(const TableDef& def, std::filesystem::path file, ErrorReporter& errors);
  ~Table();
  Table(const Table&) = delete;
  Table& operator=(const Table&) = delete;

  const TableDef& def() const { return def_; }
  const std::filesystem::path& path() const { return path_; }
  Record& rec() { return rec_; }
  const Record& rec() const { return rec_; }

  // Opens the file for reading and writing, shared. A missing or empty file
  // is created empty (message 12 when that fails), unless creating is off,
  // when it raises message 26 like any file that is not a regular file (a
  // FIFO, a directory) or cannot be reached; a file without write access opens
  // read-only after message 2; damaged keys are rebuilt (message 30; 29 when
  // that fails); a file that is not a table of ours raises message 26 and is
  // left untouched. Opening an open table does nothing.
  Status open();
  void close();
  void setCreateMissing(bool create) { createMissing_ = create; }
  // Keeps the table on the server at `url` (libpq's form), in `schema`,
  // instead of in its file. Before open().
  void useServer(std::string url, std::string schema);
  bool onServer() const { return !serverUrl_.empty(); }
  const std::string& serverUrl() const { return serverUrl_; }
  // How the server names this table when a station changes it (see
  // ChangeListener); empty for a file.
  std::string changeChannel() const { return onServer() ? serverSchema_ + "." + def_.storeName : std::string(); }
  // For a caller that only reads: the file opens read-only (never created,
  // never written, not even to rebuild a key), without message 2.
  void setReadingOnly(bool reading) { readingOnly_ = reading; }
  // Whether the last open() had to create the file (it was missing or empty).
  bool wasCreated() const { return created_; }
  // Whether the last open() had to rebuild keys (missing or damaged).
  bool wasRepaired() const { return repaired_; }
  bool isOpen() const { return db_ != nullptr; }
  bool isReadOnly() const { return readOnly_; }
  // Rebuilds every key of the file and reports whether they were damaged.
  Status checkKeys(bool* wereDamaged);

  // The account written into the audit fields of every insert and update.
  void setAuditUser(int32_t user) { auditUser_ = user; }
  // Writes keep the audit fields of the buffer as they are: for copying
  // records from another installation.
  void setKeepAudit(bool keep) { keepAudit_ = keep; }
  void setLockWait(std::chrono::milliseconds wait);

  // The number of a key by its name; -1 for a name the table does not have,
  // which every read given it refuses (kInvalid).
  int keyIndex(std::string_view keyName) const { return def_.keyIndex(keyName); }

  // Exact read by the key's components taken from the buffer.
  Found fetch(int key);
  // Positions before the first record of the key; next() then reads from the
  // start and previous() from the end.
  void setOrder(int key);
  // Positions at the key values in the buffer: next() reads the first record
  // at or after them, previous() the last at or before them.
  void setOrderAt(int key);
  Found next();
  Found previous();
  // How many records there are (under the filter); a failure is raised and
  // returned, never counted as 0.
  Status count(int64_t* n);
  // How many records (under the filter) come, in the order of `key`, before
  // the first whose first key component is at or after its value in the
  // buffer: the row a list positions at when the user types that value.
  int64_t countBefore(int key);
  // Reads, in the order of `key`, every record whose key values lie between
  // those of `from` and `to` (both included), calling `visit` with each (also
  // left in the buffer); `visit` returns false to stop early. It must not use
  // this table. The read is over when the call returns.
  Status readRange(int key, const Record& from, const Record& to, const std::function<bool(const Record&)>& visit);
  // Every record (under the filter) in the order of `key`, as readRange.
  Status readAll(int key, const std::function<bool(const Record&)>& visit);
  // The same range in the same order, reading only `fields` (element 1 of
  // a bare array name, "COST[3]" for another; "_id" and "_ver" for the
  // record's identity and version; "LLAV_F" for the folded copy, as
  // text::foldKey gives it, of a case-insensitive key's field): `visit` gets
  // the statement, its columns
  // in that order. For bulk reads that need a few figures of many records.
  Status readRangeColumns(int key, const Record& from, const Record& to, const std::vector<std::string>& fields,
                          const std::function<bool(const Row&)>& visit);
  // Every stored record in the order stored (of its identity), reading only
  // `fields` as readRangeColumns names them: for a pass over a whole file
  // that needs no key order (a kept sum, a preload, an update copy).
  Status scanColumns(const std::vector<std::string>& fields, const std::function<bool(const Row&)>& visit);
  // Every stored record whole, in the order stored, into the buffer and to
  // `visit` (false stops): for copying or comparing a whole table.
  Status scanRecords(const std::function<bool(const Record&)>& visit);
  // Runs `read` inside one read transaction of this table's file (or of the
  // caller's, when one is open), so that several reads see one state of it.
  Status readConsistently(const std::function<Status()>& read);
  // Whether a transaction (the caller's) is open on this table's connection.
  bool inTransaction() const;
  // Reads the record with this identity (recordId()).
  Found fetchById(int64_t id);
  // Reads the first record stored (record position 1), whatever its keys.
  Found fetchFirstStored();
  // Limits every positioned read (next, previous) and count() to the records
  // that meet all conditions; an empty list removes the filter. Returns
  // kInvalid, with nothing changed, for an unknown field.
  Status setFilter(std::vector<Condition> conditions);

  // Adds the buffer. A table with an auto-numbered key whose value in the
  // buffer is 0 takes the next free number (message 35 after repeated
  // failures). Message 15 on a duplicate key, 18 on a value out of range.
  Status insert();
  // Writes the buffer over the record last read. If another station changed
  // or removed it since, raises message 8 or 7, loads the other station's
  // values into the buffer and returns kConflict. Other failures: message 28.
  Status update();
  // Writes the buffer over record `id` as read at version `version` (from a
  // range read), as update() does over the record last read.
  Status updateStored(int64_t id, int64_t version);
  // The same, writing only `fields` (and the audit fields): for bulk work
  // that changes figures, so that no key is rewritten. An array element is
  // named with its number, "COST[3]"; a bare array name is its first element.
  Status updateStoredFields(int64_t id, int64_t version, const std::vector<std::string>& fields);
  // The same for `count` records at once, inside the caller's transaction:
  // `fill(i)` puts the i-th record's values in the buffer and gives its
  // identity and version as read. When another station changed any of them
  // since, raises message 8 and returns kConflict; the caller rolls back.
  struct StoredIdentity {
    int64_t id, version;
  };
  Status updateStoredFieldsMany(const std::vector<std::string>& fields, size_t count,
                                const std::function<StoredIdentity(size_t)>& fill);
  // Removes the record last read, and only it (relations are applied by the
  // RelationManager). Returns kConflict when another station changed it.
  Status remove();

  // Transactions on this table's file, for bulk work. A rollback also puts
  // back the identity and version of the record last read at begin().
  Status begin();
  Status commit();
  void rollback();

  // Runs this table's reads and writes on `host`'s connection, with this
  // file attached there, so that one transaction of `host` covers both files
  // (a concept and its lines, a budget row and its lines). Both must be open;
  // this table must be closed before `host` is. Positions are reset.
  Status shareConnectionOf(Table& host);

  // Identity of the record in the buffer (0 when none was read).
  int64_t recordId() const { return currentId_; }
  int64_t recordVersion() const { return currentVersion_; }
  // Forgets the record last read (after it was deleted elsewhere).
  void forgetRecord() { currentId_ = 0; }
  internal::Connection* connection() const { return db_.get(); }

 private:
  enum class Position { kNone, kStart, kAtValues, kAfterRecord };
  enum Query { kFetch, kFirst, kLast, kFromValuesUp, kFromValuesDown, kAfter, kBefore, kRange, kAll, kQueryKinds };

  Status openFile();
  Status openOnServer();
  Status prepareServerSchema();
  Status refuseFile(const std::string& why);
  Status prepareSchema();
  Status checkIntegrity(bool* damaged);
  Status raiseStorage(int messageId, int rc, Status::Code code);
  Status closedTable();
  Status unknownKey(int key) const;
  Found move(bool forward);
  void rememberPosition();
  Status checkRanges();
  Status writableSlots(const std::vector<std::string>& fields, std::vector<int>* slots) const;
  Status insertOnce(bool* duplicate, std::string* failedKey);
  Status autoNumberInsert();
  Statement& query(int key, Query q);
  Statement& writeStatement(int which);
  void readInto(Statement& s);
  Status readOneStored(Statement& s);
  Status eachRow(Statement& s, const std::function<bool()>& row);
  Status step(int key, Query q, bool bindKeyValues, bool bindId);
  // Binds every column and folded key of rec_ to `s` (from parameter 1);
  // rec_ must not change until `s` has stepped.
  void bindRecord(Statement& s);
  int bindFilter(Statement& s, int firstParam);
  void bindRange(Statement& s, int key, const Record& from, const Record& to);
  void bindKeyValues(Statement& s, int key, int firstParam);
  std::string keyNameForColumns(const std::string& error) const;
  std::string takenKeyName();
  void stampAudit();
  std::string selectList() const;
  Status selectColumns(const std::vector<std::string>& fields, std::string* select) const;
  std::string storeIdent() const;  // the SQL table, schema-qualified when shared
  friend class RelationManager;    // deletes children in the parent's transaction

  const TableDef& def_;
  std::filesystem::path path_;
  ErrorReporter& errors_;
  Record rec_;
  std::vector<std::string> foldedKeys_;  // the folded keys bindRecord bound
  std::shared_ptr<internal::Connection> db_;
  std::string serverUrl_, serverSchema_;
  bool createMissing_ = true;
  bool readingOnly_ = false;
  bool created_ = false;
  bool repaired_ = false;
  std::string sharedSchema_;  // the schema name on the host's connection
  bool readOnly_ = false;
  int32_t auditUser_ = 0;
  bool keepAudit_ = false;
  std::chrono::milliseconds lockWait_ = kLockWait;

  int64_t currentId_ = 0;
  int64_t currentVersion_ = 0;
  int64_t idAtBegin_ = 0, versionAtBegin_ = 0;
  int positionKey_ = 0;
  Position position_ = Position::kNone;
  Record positionRecord_;               // key values of the position
  const Record* bindSource_ = nullptr;  // where the key values of the next query come from
  int64_t positionId_ = 0;

  std::vector<Condition> filter_;
  std::string filterSql_;           // " AND (...)" or empty
  std::vector<Statement> queries_;  // by key * kQueryKinds + query
  std::map<int, Statement> writes_;
  std::map<std::vector<std::string>, std::pair<Statement, std::vector<int>>> fieldWrites_;
};

// The integrity of a table file as SQLite sees it: "ok" when sound.
std::string integrityCheck(const std::filesystem::path& file);

// What a table file is like before anyone opens it, without changing it:
// missing (or empty), sound, held by another station past `lockWait`,
// readable only, damaged (not a database, or not one of ours), or not a
// regular file (a FIFO, a directory, a path the system cannot reach).
enum class FileHealth { kMissing, kSound, kLocked, kReadOnly, kDamaged, kUnreachable };
FileHealth inspectFile(const std::filesystem::path& file, std::chrono::milliseconds lockWait);

// Whether the program may create files in `dir` (it tries, and cleans up).
bool canWriteIn(const std::filesystem::path& dir);

// Renames `file` aside to "<name>.DANADO", or ".DANADO.2", ".DANADO.3" ... so
// that an earlier copy is never overwritten; returns the new path, or
// nothing when the rename failed.
std::optional<std::filesystem::path> setAside(const std::filesystem::path& file);

}  // namespace velmora::tables
