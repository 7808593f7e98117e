#include "services/online_update.h"

#include <algorithm>
#include <chrono>
#include <ctime>

#include "framework/dates.h"
#include "framework/text.h"
#include "tables/catalogue.h"
#include "tables/statement.h"

namespace velmora::services {

namespace fs = std::filesystem;

bool splitHostPort(const std::string& text, std::string& host, uint16_t& port) {
  const std::string t = text::clip(text);
  const size_t colon = t.rfind(':');
  port = 21;
  if (colon == std::string::npos || t.find(':') != colon) {  // no port (or an IPv6 address)
    host = t;
    return true;
  }
  host = t.substr(0, colon);
  const auto n = text::parseInteger(t.substr(colon + 1));
  if (!n || *n < 1 || *n > 65535) return false;
  port = static_cast<uint16_t>(*n);
  return true;
}

Status readServerSettings(const tables::Installation& inst, ErrorReporter& errors, ServerSettings& settings) {
  settings = {};
  auto serv = inst.table("SERV", errors);
  if (Status s = serv->open(); !s) return s;
  serv->rec().setInteger("CTA", 1);
  if (!serv->fetch(serv->keyIndex("CTA_KEY"))) return Status::ok();
  settings.host = text::clip(serv->rec().text("SERVER"));
  settings.user = text::clip(serv->rec().text("USER"));
  settings.password = text::clip(serv->rec().text("PASS"));
  settings.directory = text::clip(serv->rec().text("DIRE"));
  return Status::ok();
}

Status writeServerSettings(const tables::Installation& inst, ErrorReporter& errors, const ServerSettings& settings) {
  auto serv = inst.table("SERV", errors);
  if (Status s = serv->open(); !s) return s;
  serv->rec().setInteger("CTA", 1);
  const bool exists = static_cast<bool>(serv->fetch(serv->keyIndex("CTA_KEY")));
  if (!exists) {
    serv->rec().clear();
    serv->rec().setInteger("CTA", 1);
  }
  serv->rec().setText("SERVER", settings.host);
  serv->rec().setText("USER", settings.user);
  serv->rec().setText("PASS", settings.password);
  serv->rec().setText("DIRE", settings.directory);
  return exists ? serv->update() : serv->insert();
}

bool safeRemoteName(const std::string& name) {
  return !name.empty() && name != "." && name != ".." && name.find_first_of("/\\:") == std::string::npos &&
         name.find("..") == std::string::npos;
}

bool keptAside(const std::string& name) {
  if (text::equalsNoCase(name, tables::tableDef("INBAA").fileName)) return false;  // the update copy itself
  for (const auto& def : tables::allTables()) {
    if (text::equalsNoCase(name, def.fileName)) return true;
  }
  for (const char* work : {"OBRA1", "OBRA2", "OBRA3", "OBRA5", "ARCH1", "ARCH2", "ARCH3", "ARCH5"}) {
    if (text::equalsNoCase(name, work)) return true;
  }
  return false;
}

fs::path localPathFor(const fs::path& dataDir, const std::string& name) {
  return keptAside(name) ? dataDir / kArrivalsFolder / name : dataDir / name;
}

namespace {
int32_t localDate(const fs::path& file) {
  std::error_code ec;
  const auto when = fs::last_write_time(file, ec);
  if (ec) return 0;
  const std::time_t t = std::chrono::system_clock::to_time_t(std::chrono::file_clock::to_sys(when));
  std::tm local{};
#ifdef _WIN32
  localtime_s(&local, &t);
#else
  localtime_r(&t, &local);
#endif
  return dates::dayNumber(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday);
}
}  // namespace

int nextFileToFetch(const std::vector<net::ListingRow>& rows, const fs::path& dataDir,
                    const std::vector<std::string>& skip, std::vector<std::string>* refused) {
  for (size_t i = 0; i < rows.size(); ++i) {
    const net::ListingRow& row = rows[i];
    if (row.attributes & net::ListingParser::kDirectory) continue;
    if (std::find(skip.begin(), skip.end(), row.name) != skip.end()) continue;
    if (!safeRemoteName(row.name)) {
      if (refused && std::find(refused->begin(), refused->end(), row.name) == refused->end())
        refused->push_back(row.name);
      continue;
    }
    const fs::path local = localPathFor(dataDir, row.name);
    std::error_code ec;
    const bool exists = fs::is_regular_file(local, ec);
    const int64_t size = exists ? static_cast<int64_t>(fs::file_size(local, ec)) : 0;
    const int32_t date = exists ? localDate(local) : 0;
    if (row.size != size && row.date >= date) return static_cast<int>(i);
  }
  return -1;
}

std::optional<std::string> priceListProblem(const tables::Installation& inst, ErrorReporter& errors, int list) {
  if (list < 1 || list > 5) return "LA LISTA DE PRECIOS DEBE SER DEL 1 AL 5";
  auto control = inst.table("CONTROL", errors);
  if (!control->open()) return "NO SE PUDO LEER LAS ZONAS DE SALARIO";
  control->rec().setInteger("CTA", list);
  if (!control->fetch(control->keyIndex("KEYCTA"))) return "NO EXISTE LA ZONA " + std::to_string(list);
  return std::nullopt;
}

Status mergeUpdate(const tables::Installation& inst, ErrorReporter& errors, int list,
                   const std::function<void(const std::string&)>& showing, MergeResult* result) {
  if (list < 1 || list > 5) return Status::error(Status::Code::kInvalid, "la lista de precios debe ser del 1 al 5");
  MergeResult counts;
  auto copy = inst.table("INBAA", errors);
  auto inba = inst.table("INBA", errors);
  if (Status s = copy->open(); !s) return s;
  if (Status s = inba->open(); !s) return s;
  const tables::TableDef& def = inba->def();
  const int key = inba->keyIndex("CTA_KEY");
  const int cta = def.slot("CTA"), cost = def.slot("COST", 1), date = def.slot("FECH", 1);
  const int listCost = def.slot("COST", list), listDate = def.slot("FECH", list);
  const int text = def.slot("TEXT");

  // The copy in the order it was written.
  std::vector<int64_t> ids;
  {
    tables::Statement s(copy->connection(), "SELECT rowid FROM \"" + copy->def().storeName + "\" ORDER BY rowid");
    if (!s.valid()) return Status::error(Status::Code::kIoError, sqlite3_errmsg(copy->connection()));
    while (s.step() == SQLITE_ROW) ids.push_back(s.integer(0));
  }
  if (Status s = inba->begin(); !s) return s;
  for (int64_t id : ids) {
    Status s = copy->fetchById(id);
    if (!s) {
      inba->rollback();
      return s;
    }
    const tables::Record& in = copy->rec();
    inba->rec().setIntegerAt(cta, in.integerAt(cta));
    if (inba->fetch(key)) {
      inba->rec().setRealAt(listCost, in.realAt(cost));
      inba->rec().setIntegerAt(listDate, in.integerAt(date));
      s = inba->update();
      ++counts.changed;
    } else {
      // A new input: the whole record, every price list included.
      tables::Record& out = inba->rec();
      for (size_t slot = 0; slot < def.columns.size(); ++slot) {
        const int i = static_cast<int>(slot);
        if (tables::isTextType(def.columns[slot].type)) out.setTextAt(i, in.textAt(i));
        else if (def.columns[slot].type == tables::FieldType::kReal) out.setRealAt(i, in.realAt(i));
        else out.setIntegerAt(i, in.integerAt(i));
      }
      s = inba->insert();
      ++counts.added;
    }
    if (!s) {
      inba->rollback();
      return s;
    }
    if (showing) showing(text::clip(in.textAt(text)));
  }
  if (Status s = inba->commit(); !s) {
    inba->rollback();
    return s;
  }
  if (result) *result = counts;
  return Status::ok();
}

}  // namespace velmora::services
