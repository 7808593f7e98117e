#include "tables/table_file.h"

#include <sqlite3.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <set>
#include <thread>

#include "tables/catalogue.h"
#include "tables/connection.h"
#include "tables/statement.h"
#include "tables/table.h"

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

Status checkTableFile(const std::filesystem::path& file, const TableDef& def, FileCheck check) {
  const auto fail = [&](const std::string& why) {
    return Status::error(Status::Code::kCorrupt,
                         file.filename().string() + " no es la tabla " + def.label + ": " + why);
  };
  std::error_code ec;
  if (!std::filesystem::is_regular_file(file, ec)) return fail("no es un archivo");
  if (std::filesystem::file_size(file, ec) == 0 || ec) return fail("está vacío");
  const auto db = openReadOnly(file);
  if (!db) return fail("no se pudo abrir");
  if (check == FileCheck::kIdentityAndIntegrity) {
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
  std::set<std::string> columns;
  {
    Statement info(*db, "SELECT name FROM pragma_table_info(?)");
    if (info.valid()) {
      info.bind(1, std::string_view(def.storeName));
      while (info.step() == SQLITE_ROW) columns.insert(info.text(0));
    }
  }
  if (columns.empty()) return fail("no contiene la tabla " + def.storeName);
  for (const Column& c : def.columns)
    if (!columns.count(c.name)) return fail("le falta la columna " + c.name);
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
