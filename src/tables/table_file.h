// What a table file is, judged from outside before anyone opens it for
// writing: a restore, an arriving update copy or a role check must know that
// a file is the table it claims to be without letting Table::open() "repair"
// it into an empty one.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "framework/status.h"
#include "tables/schema.h"

namespace velmora::tables {

// The owner password as a file keeps it: the file states which role owns it
// without holding the password itself.
std::string ownerDigest(std::string_view password);

// Whether `file` is a table file of `def`: an SQLite database owned by the
// role of `def` (data or settings), holding exactly the schema the program
// makes for def (its table column for column with their types, the owner's
// table, the keys' indexes; no trigger, view or other object). With values
// asked for, every value must be of its column's type too (no text in a
// column of numbers, no number beyond its field's range); the whole check
// adds SQLite's integrity check (a pass over the whole file). A caller that
// checks the rows itself, with messages of its own (the merge of an update
// copy), asks for the identity alone. Read only; the file is never changed.
// The Status text says, in Spanish, what is wrong, naming the file as
// `shownName` (its own name when empty).
enum class FileCheck { kIdentity, kIdentityAndValues, kWhole };
Status checkTableFile(const std::filesystem::path& file, const TableDef& def, FileCheck check = FileCheck::kWhole,
                      std::string_view shownName = {});

// Whether the stored table of `def` is exactly what the program makes and
// holds only values of its columns' types: for a file, checkTableFile
// with its values (the integrity pass is the caller's); on a server, the table is a table (not a
// view), its columns are the program's with their types, its indexes are
// the keys', and it carries no trigger but the program's own, no rule and no
// row policy that would change what is read or written. Read only. The
// Status says in Spanish what is wrong.
struct Installation;
Status checkStoredTable(const Installation& inst, const TableDef& def);

// Copies a live table file to `to` as one transaction left it, whatever
// other stations write meanwhile (SQLite's online backup, retried while a
// writer holds it, for at most `wait`). A journal left by a crashed writer
// is rolled back first.
Status snapshotTableFile(const std::filesystem::path& from, const std::filesystem::path& to,
                         std::chrono::milliseconds wait);

// The first 100 bytes of an SQLite file: whether they are a database header,
// and the file size they state (page size x page count), or 0 when the
// header does not vouch for it.
struct TableHeader {
  bool isDatabase = false;
  uint64_t statedSize = 0;
};
TableHeader readTableHeader(const unsigned char* bytes, size_t length);

// One state of a table file, to tell whether anyone committed a change to it
// since: SQLite's change counter (bumped by every commit that changed the
// file), its size and its modification time. Nothing when it cannot be read.
struct ChangeStamp {
  uint32_t counter = 0;
  uintmax_t size = 0;
  int64_t modified = 0;
  bool operator==(const ChangeStamp&) const = default;
};
std::optional<ChangeStamp> changeStampOf(const std::filesystem::path& file);
// The same for a table's file; nothing for a table on a server, which
// keeps no such counter (callers then read the rows again).
class Table;
std::optional<ChangeStamp> changeStampOf(const Table& table);

}  // namespace velmora::tables
