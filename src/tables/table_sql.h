// What the table layer's own files share: quoting a name for SQL, running
// a statement without a result, and which prepared write is which.
#pragma once

#include <sqlite3.h>

#include <string>

namespace velmora::tables::internal {

enum WriteStatement { kInsert, kUpdate, kDelete, kReadById, kReadFirstStored, kCount, kMaxAuto };

inline std::string ident(const std::string& name) { return "\"" + name + "\""; }
inline int exec(sqlite3* db, const char* sql) { return sqlite3_exec(db, sql, nullptr, nullptr, nullptr); }

}  // namespace velmora::tables::internal
