#include "tables/table_file.h"

#include <sqlite3.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <set>
#include <thread>

#include "tables/catalogue.h"
#include "tables/connection.h"
#include "tables/statement.h"
#include "tables/table.h"
#include "tables/table_sql.h"

namespace velmora::tables {

namespace {

uint32_t bigEndian(const unsigned char* p, int bytes) {
  uint32_t v = 0;
  for (int i = 0; i < bytes; ++i) v = (v << 8) | p[i];
  return v;
}

// A read-only connection that never creates, journals or replays anything.
std::shared_ptr<internal::Connection> openReadOnly(const std::filesystem::path& file) {
  int rc;
  return internal::Connection::openFile(file, SQLITE_OPEN_READONLY, &rc);
}

}  // namespace

std::string ownerDigest(std::string_view password) {
  uint64_t h = 1469598103934665603ull;
  for (char c : std::string("velmora-owner:") + std::string(password)) {
    h ^= static_cast<unsigned char>(c);
    h *= 1099511628211ull;
  }
  char out[17];
  std::snprintf(out, sizeof out, "%016llx", static_cast<unsigned long long>(h));
  return out;
}

Status snapshotTableFile(const std::filesystem::path& from, const std::filesystem::path& to,
                         std::chrono::milliseconds wait) {
  sqlite3* src = nullptr;
  sqlite3* dst = nullptr;
  bool ok = false;
  int rc = SQLITE_OK;
  // Read-write without create, so that a journal left by a crashed writer is
  // rolled back before the copy is read.
  if ((rc = sqlite3_open_v2(from.string().c_str(), &src, SQLITE_OPEN_READWRITE, nullptr)) == SQLITE_OK &&
      (rc = sqlite3_open_v2(to.string().c_str(), &dst, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr)) ==
          SQLITE_OK) {
    sqlite3_busy_timeout(src, 2000);
    const auto deadline = std::chrono::steady_clock::now() + wait;
    for (;;) {
      sqlite3_backup* b = sqlite3_backup_init(dst, "main", src, "main");
      if (!b) break;
      rc = sqlite3_backup_step(b, -1);
      sqlite3_backup_finish(b);
      if (rc == SQLITE_DONE) {
        ok = true;
        break;
      }
      if ((rc != SQLITE_BUSY && rc != SQLITE_LOCKED) || std::chrono::steady_clock::now() > deadline) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  }
  const std::string why = ok ? ""
                             : from.filename().string() + ": no se pudo copiar la tabla (" +
                                   (src ? engineErrorText(nullptr, rc) : "no se pudo abrir") + ")";
  sqlite3_close(dst);
  sqlite3_close(src);
  return ok ? Status::ok() : Status::error(Status::Code::kIoError, why);
}

TableHeader readTableHeader(const unsigned char* bytes, size_t length) {
  TableHeader h;
  if (length < 100 || std::memcmp(bytes, "SQLite format 3", 16) != 0) return h;
  h.isDatabase = true;
  uint32_t pageSize = bigEndian(bytes + 16, 2);
  if (pageSize == 1) pageSize = 65536;
  const uint32_t pages = bigEndian(bytes + 28, 4);
  // The page count is trusted only when the header says it is current.
  if (bigEndian(bytes + 24, 4) == bigEndian(bytes + 92, 4) && pageSize >= 512 && (pageSize & (pageSize - 1)) == 0)
    h.statedSize = static_cast<uint64_t>(pageSize) * pages;
  return h;
}

namespace {

// The columns of a table as the program makes them: name and declared type.
std::vector<std::pair<std::string, std::string>> expectedColumns(const TableDef& def) {
  std::vector<std::pair<std::string, std::string>> out = {{"_id", "INTEGER"}, {"_ver", "INTEGER"}};
  for (const Column& c : def.columns)
    out.emplace_back(c.name, isTextType(c.type) ? "TEXT" : c.type == FieldType::kReal ? "REAL" : "INTEGER");
  for (int s : def.foldedSlots) out.emplace_back(def.columns[s].name + "_F", "TEXT");
  return out;
}

// Why the table's definition is not the program's, column by column; a
// definition that differs otherwise (a constraint, a collation) in general.
std::string tableDifference(internal::Connection& db, const TableDef& def) {
  std::map<std::string, std::string> stored;
  Statement info(db, "SELECT name, type, hidden FROM pragma_table_xinfo(?)");
  info.bind(1, std::string_view(def.storeName));
  while (info.valid() && info.step() == SQLITE_ROW) {
    if (info.integer(2) != 0) return "tiene una columna calculada, " + info.text(0);
    stored[info.text(0)] = info.text(1);
  }
  const auto expected = expectedColumns(def);
  for (const auto& [name, type] : expected) {
    const auto it = stored.find(name);
    if (it == stored.end()) return "le falta la columna " + name;
    if (it->second != type) return "la columna " + name + " es de tipo " + it->second + " y debe ser " + type;
  }
  for (const auto& [name, type] : stored)
    if (std::none_of(expected.begin(), expected.end(), [&](const auto& e) { return e.first == name; }))
      return "tiene una columna ajena, " + name;
  return "la definición de la tabla no es la del programa";
}

// Whether the file holds exactly the objects the program makes: its table
// (column for column), the owner's table, the keys' indexes, and nothing
// else (no trigger that would change what is written, no view in place of a
// table, no other table or index). A missing key's index is not a fault: it
// is made again when the table opens.
std::string schemaDifference(internal::Connection& db, const TableDef& def) {
  std::map<std::string, std::string> expected = {{"velmora_meta", internal::kMetaTableSql},
                                                 {"sqlite_autoindex_velmora_meta_1", ""},
                                                 {def.storeName, internal::fileTableSql(def, false)}};
  for (size_t k = 0; k < def.keys.size(); ++k)
    expected[def.resolvedKeys[k].indexName] = internal::indexSql(def, k, internal::ident(def.storeName), false);
  struct Object {
    std::string type, name, sql;
  };
  std::vector<Object> objects;
  {
    Statement list(db, "SELECT type, name, sql FROM sqlite_schema ORDER BY rowid");
    int rc = SQLITE_ERROR;
    while (list.valid() && (rc = list.step()) == SQLITE_ROW)
      objects.push_back({list.text(0), list.text(1), list.text(2)});
    if (rc != SQLITE_DONE) return "no se pudo leer su esquema";
  }
  // What would change the data behind the program's back comes first.
  for (const Object& o : objects) {
    if (o.type == "trigger") return "lleva un disparador (" + o.name + ") que cambiaría los datos al escribirlos";
    if (o.type == "view")
      return o.name == def.storeName ? "la tabla " + o.name + " es una vista" : "contiene una vista ajena, " + o.name;
  }
  bool hasTable = false;
  for (const Object& o : objects) {
    const auto it = expected.find(o.name);
    if (it == expected.end())
      return o.type == "index" ? "lleva un índice ajeno, " + o.name : "contiene una tabla ajena, " + o.name;
    if (it->second != o.sql) {
      if (o.name == def.storeName) return tableDifference(db, def);
      return o.type == "index" ? "el índice " + o.name + " no es el del programa"
                               : "la tabla " + o.name + " no es la del programa";
    }
    hasTable = hasTable || o.name == def.storeName;
  }
  if (!hasTable) return "no contiene la tabla " + def.storeName;
  return "";
}

// The first stored value that is not of its column's type (a text in a
// column of numbers, a number out of its field's range), described with the
// account of its record; empty when every value is of its type.
std::string valueFault(internal::Connection& db, const TableDef& def) {
  std::string cases;
  const auto add = [&](const std::string& column, const std::string& fault, const std::string& why) {
    cases += " WHEN " + fault + " THEN " + "'" + column + "\t" + why + "'";
  };
  const auto q = [](const std::string& name) { return internal::ident(name); };
  add("_ver", "typeof(\"_ver\")<>'integer'", "no es un número entero");
  for (const Column& c : def.columns) {
    const std::string col = q(c.name);
    if (isTextType(c.type)) {
      add(c.name, "typeof(" + col + ")<>'text'", "no es un texto");
    } else if (c.type == FieldType::kReal) {
      add(c.name, "typeof(" + col + ") NOT IN ('real','integer')", "no es un número");
      // No figure of the program is infinite: 9e999 is how SQL writes it.
      add(c.name, col + " IN (9e999, -9e999)", "no es una cifra finita");
    } else {
      const IntegerRange range = *integerRange(c.type);
      add(c.name, "typeof(" + col + ")<>'integer'", "no es un número entero");
      add(c.name, col + "<" + std::to_string(range.min) + " OR " + col + ">" + std::to_string(range.max),
          "está fuera de los valores de su campo");
    }
  }
  for (int s : def.foldedSlots)
    add(def.columns[s].name + "_F", "typeof(" + q(def.columns[s].name + "_F") + ")<>'text'", "no es un texto");
  const std::string sql = "SELECT * FROM (SELECT \"_id\", CASE" + cases + " END AS fault FROM " + q(def.storeName) +
                          ") WHERE fault IS NOT NULL LIMIT 1";
  Statement find(db, sql);
  if (!find.valid()) return "no se pudieron leer sus valores";
  const int rc = find.step();
  if (rc == SQLITE_DONE) return "";
  if (rc != SQLITE_ROW) return "no se pudieron leer sus valores";
  const int64_t id = find.integer(0);
  const std::string fault = find.text(1);
  const size_t tab = fault.find('\t');
  const std::string column = fault.substr(0, tab);
  // The record's account and the value as SQL quotes them, so that a text
  // shows as a text.
  const std::string account = def.columns.empty() ? "_id" : def.columns.front().name;
  Statement value(
      db, "SELECT quote(" + q(account) + "), quote(" + q(column) + ") FROM " + q(def.storeName) + " WHERE \"_id\"=?");
  std::string where = "de un registro", shown = "un valor";
  if (value.valid()) {
    value.bind(1, id);
    if (value.step() == SQLITE_ROW) {
      where = "de la cuenta " + value.text(0);
      shown = value.text(1);
    }
  }
  return "la columna " + column + " " + where + " tiene " + shown + ", que " + fault.substr(tab + 1);
}

}  // namespace

Status checkTableFile(const std::filesystem::path& file, const TableDef& def, FileCheck check,
                      std::string_view shownName) {
  const std::string shown = shownName.empty() ? file.filename().string() : std::string(shownName);
  const auto fail = [&](const std::string& why) {
    return Status::error(Status::Code::kCorrupt, shown + " no es la tabla " + def.label + ": " + why);
  };
  std::error_code ec;
  if (!std::filesystem::is_regular_file(file, ec)) return fail("no es un archivo");
  if (std::filesystem::file_size(file, ec) == 0 || ec) return fail("está vacío");
  const auto db = openReadOnly(file);
  if (!db) return fail("no se pudo abrir");
  if (check == FileCheck::kWhole) {
    std::string integrity;
    Statement pragma(*db, "PRAGMA integrity_check");
    while (pragma.valid() && pragma.step() == SQLITE_ROW) integrity += pragma.text(0);
    if (!pragma.valid()) return fail("no es una base de datos");
    if (integrity != "ok") return fail("dañada (" + integrity.substr(0, 200) + ")");
  }
  std::string digest;
  {
    Statement owner(*db, "SELECT value FROM velmora_meta WHERE key='owner'");
    if (owner.valid() && owner.step() == SQLITE_ROW) digest = owner.text(0);
  }
  const std::string_view password = def.settingsRole ? kSettingsOwnerPassword : kDataOwnerPassword;
  if (digest.empty()) return fail("no es una tabla de este sistema");
  if (digest != ownerDigest(password)) return fail("es una tabla de otro tipo");
  if (std::string why = schemaDifference(*db, def); !why.empty()) return fail(why);
  if (check == FileCheck::kIdentity) return Status::ok();
  if (std::string why = valueFault(*db, def); !why.empty())
    return Status::error(Status::Code::kCorrupt, "la tabla " + def.label + " (" + shown + ") está alterada: " + why);
  return Status::ok();
}

std::optional<ChangeStamp> changeStampOf(const Table& table) {
  if (table.onServer()) return std::nullopt;
  return changeStampOf(table.path());
}

std::optional<ChangeStamp> changeStampOf(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  unsigned char head[28];
  if (!in.read(reinterpret_cast<char*>(head), sizeof head)) return std::nullopt;
  ChangeStamp s;
  s.counter = (uint32_t{head[24]} << 24) | (uint32_t{head[25]} << 16) | (uint32_t{head[26]} << 8) | head[27];
  std::error_code ec;
  s.size = std::filesystem::file_size(file, ec);
  if (ec) return std::nullopt;
  const auto when = std::filesystem::last_write_time(file, ec);
  if (ec) return std::nullopt;
  s.modified = static_cast<int64_t>(when.time_since_epoch().count());
  return s;
}

}  // namespace velmora::tables
