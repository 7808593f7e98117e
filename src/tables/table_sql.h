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

// The statements that make a table and its key's index in a file, as
// SQLite keeps them in the file's schema (it drops "IF NOT EXISTS"): a
// check compares a file's schema with them word for word.
inline std::string fileTableSql(const TableDef& def, bool ifNotExists) {
  std::string sql = std::string("CREATE TABLE ") + (ifNotExists ? "IF NOT EXISTS " : "") + ident(def.storeName) +
                    "(\"_id\" INTEGER PRIMARY KEY, \"_ver\" INTEGER NOT NULL DEFAULT 1";
  for (const Column& c : def.columns) sql += ", " + ident(c.name) + " " + columnType(c.type, false);
  for (int s : def.foldedSlots) sql += ", " + ident(def.columns[s].name + "_F") + " TEXT NOT NULL DEFAULT ''";
  return sql + ")";
}

// The index of key `k` of `def` on `table` (an identifier, with its schema
// on a server).
inline std::string indexSql(const TableDef& def, size_t k, const std::string& table, bool ifNotExists) {
  const ResolvedKey& rk = def.resolvedKeys[k];
  const bool unique = !(def.keys[k].flags & kDuplicates);
  std::string sql = std::string("CREATE ") + (unique ? "UNIQUE " : "") + "INDEX " +
                    (ifNotExists ? "IF NOT EXISTS " : "") + ident(rk.indexName) + " ON " + table + "(";
  for (size_t i = 0; i < rk.sqlColumns.size(); ++i) sql += (i ? "," : "") + rk.sqlColumns[i];
  sql += ")";
  if (!rk.emptyExclusion.empty()) sql += " WHERE " + rk.emptyExclusion;
  return sql;
}

// The owner's table that every table file and server schema holds.
inline constexpr const char* kMetaTableSql = "CREATE TABLE velmora_meta(key TEXT PRIMARY KEY, value TEXT NOT NULL)";

}  // namespace velmora::tables::internal
