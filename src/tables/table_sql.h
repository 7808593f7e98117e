// What the table layer's own files share: quoting a name for SQL, the
// columns' declared types, and which prepared write is which.
#pragma once

#include <sqlite3.h>

#include <string>

#include "tables/schema.h"

namespace velmora::tables::internal {

enum WriteStatement { kInsert, kUpdate, kDelete, kReadById, kReadFirstStored, kCount, kMaxAuto };

inline std::string ident(const std::string& name) {
  std::string quoted = "\"";
  for (char c : name) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
  return quoted + "\"";
}

// A column of `type` as each engine declares it. Texts on the server compare
// byte by byte, as in a file, whatever the database's own collation.
inline std::string columnType(FieldType t, bool server) {
  if (isTextType(t)) return server ? "text COLLATE \"C\" NOT NULL DEFAULT ''" : "TEXT NOT NULL DEFAULT ''";
  if (t == FieldType::kReal) return server ? "double precision NOT NULL DEFAULT 0" : "REAL NOT NULL DEFAULT 0";
  return server ? "bigint NOT NULL DEFAULT 0" : "INTEGER NOT NULL DEFAULT 0";
}

}  // namespace velmora::tables::internal
