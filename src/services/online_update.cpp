#include "services/online_update.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <ctime>
#include <unordered_map>

#include "catalog/inputs.h"
#include "framework/dates.h"
#include "framework/text.h"
#include "tables/catalogue.h"
#include "tables/table_file.h"

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
  const tables::Found stored = serv->fetch(serv->keyIndex("CTA_KEY"));
  if (!stored.found()) return stored.failure();  // none set yet: empty settings
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
  const tables::Found stored = serv->fetch(serv->keyIndex("CTA_KEY"));
  if (stored.failed()) return stored.status();
  const bool exists = stored.found();
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

std::string ftpTextInSpanish(const std::string& text) {
  static const std::pair<const char*, const char*> kExact[] = {
      {"Service will only become ready sometime later", "el servidor estará listo más tarde"},
      {"FTP Server closing Control Connection. (Server closing down)", "el servidor cerró la conexión"},
      {"Connection closed, transfer aborted", "el servidor cerró la conexión y canceló la transferencia"},
      {"File unavailable", "el archivo no está disponible en el servidor"},
      {"Local error in processing", "el servidor tuvo un error al procesar la orden"},
      {"Insufficient storage space in system", "el servidor no tiene espacio suficiente"},
      {"Command unrecognized", "el servidor no reconoce la orden"},
      {"Syntax error in parameters or arguments", "el servidor rechazó los datos de la orden"},
      {"Command not implemented", "el servidor no tiene esa orden"},
      {"Bad sequence of commands", "el servidor recibió las órdenes en mal orden"},
      {"Command not implemented for that parameter", "el servidor no acepta esa orden así"},
      {"Not logged in", "no se inició la sesión en el servidor"},
      {"Need account for storing files", "el servidor pide una cuenta para guardar archivos"},
      {"Exceeded storage allocation", "se agotó el espacio asignado en el servidor"},
      {"File name not allowed", "el servidor no permite ese nombre de archivo"},
      {"Login incorrect", "el usuario o la clave son incorrectos"},
      {"Error occured while receiving a file, not all data was received",
       "la transferencia se cortó antes de terminar; el archivo anterior queda como estaba"},
      {"The size of the file is unknown; it was not saved", "no se conoce el tamaño del archivo; no se guardó"},
      {"Can't open data connection", "no se pudo abrir la conexión de datos"},
      {"The FTP connection was idle and was closed", "el servidor no respondió a tiempo y se cerró la conexión"},
      {"Command aborted.", "la conexión se cortó a media orden"},
      {"Command aborted. Check if the server supports the Passive mode.",
       "la conexión se cortó al pedir el modo pasivo; revise si el servidor lo admite"},
      {"Cannot create destination file", "no se pudo crear el archivo local"},
      {"Data cannot be written to destination file", "no se pudo escribir el archivo local"},
      {"Unknown format of directory listing", "el listado del servidor tiene un formato desconocido"},
      {"No such file or directory", "no existe el directorio en el servidor"},
      {"Permission denied", "el servidor negó el permiso"},
      {"The update took longer than its limit", "la actualización pasó de su tiempo límite"},
  };
  for (const auto& [english, spanish] : kExact)
    if (text == english) return spanish;
  static const std::pair<const char*, const char*> kPrefix[] = {
      {"Could not connect to ", "no se pudo conectar con el servidor"},
      {"Could not open the data connection", "no se pudo abrir la conexión de datos"},
      {"Could not listen on any data port", "no se pudo abrir un puerto de datos"},
      {"Error. All of the memory of the ReplySoFar", "la respuesta del servidor es demasiado larga"},
      {"Unknown Reply from FTP Server", "el servidor dio una respuesta desconocida"},
      {"Can't do a ", "ya hay una orden en curso"},
      {"User ", "el servidor rechazó al usuario"},
      {"332 ", "el servidor pide una cuenta"},
  };
  for (const auto& [english, spanish] : kPrefix)
    if (text.rfind(english, 0) == 0) return spanish;
  return text;  // already ours, in Spanish
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
// When a local file was last written, as a listing states it: a day number
// and hundredths of a second since midnight plus one.
struct Stamp {
  int32_t date = 0;
  int32_t time = 0;
};
Stamp localStamp(const fs::path& file) {
  std::error_code ec;
  const auto when = fs::last_write_time(file, ec);
  if (ec) return {};
  const std::tm local = dates::localTime(std::chrono::system_clock::to_time_t(std::chrono::file_clock::to_sys(when)));
  return {dates::dayNumber(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday),
          (local.tm_hour * 3600 + local.tm_min * 60 + local.tm_sec) * 100 + 1};
}
}  // namespace

bool shouldFetch(const net::ListingRow& row, bool localExists, int64_t localSize, int32_t localDate,
                 int32_t localTime) {
  if (!localExists) return true;
  // Newer: a later day, or the same day at a later time when the listing
  // gives one (an old listing row gives only the day).
  if (row.date > localDate) return true;
  if (row.date == localDate && row.time > 0 && row.time > localTime) return true;
  // Not older, and of another size.
  return row.size != localSize && row.date >= localDate;
}

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
    const Stamp stamp = exists ? localStamp(local) : Stamp{};
    if (shouldFetch(row, exists, size, stamp.date, stamp.time)) return static_cast<int>(i);
  }
  return -1;
}

std::optional<std::string> priceListProblem(const tables::Installation& inst, ErrorReporter& errors, int list) {
  if (list < 1 || list > 5) return "LA LISTA DE PRECIOS DEBE SER DEL 1 AL 5";
  auto control = inst.table("CONTROL", errors);
  if (!control->open()) return "NO SE PUDO LEER LAS ZONAS DE SALARIO";
  control->rec().setInteger("CTA", list);
  const tables::Found zone = control->fetch(control->keyIndex("KEYCTA"));
  if (zone.failed()) return "NO SE PUDO LEER LAS ZONAS DE SALARIO";
  if (zone.absent()) return "NO EXISTE LA ZONA " + std::to_string(list);
  return std::nullopt;
}

namespace {

// One input of the update copy, as read and checked.
struct Incoming {
  int64_t id = 0, account = 0;
  double cost = 0;  // the first list's price and date
  int64_t date = 0;
  std::string text;
  int64_t storedId = 0, storedVersion = 0;  // the input it changes; 0: a new input
};

// What is wrong with a price or a date as column `col` of the copy holds
// it, or nothing: a file from outside may hold a text where a price goes.
std::string priceProblem(const tables::Row& r, int col) {
  if (!r.holdsNumber(col)) return "precio que no es un número";
  return catalog::outsidePriceProblem(r.real(col));
}
std::string dateProblem(const tables::Row& r, int col) {
  if (!r.holdsInteger(col)) return "fecha que no es un número de día";
  return catalog::outsideDateProblem(r.integer(col));
}

}  // namespace

Status mergeUpdate(const tables::Installation& inst, ErrorReporter& errors, int list,
                   const std::function<void(const std::string&)>& showing, MergeResult* result) {
  if (list < 1 || list > 5) return Status::error(Status::Code::kInvalid, "la lista de precios debe ser del 1 al 5");
  // The downloaded file must be the update copy of the inputs before it is
  // opened, and it is only read: a wrong file is never "repaired" into an
  // empty table.
  const tables::TableDef& copyDef = tables::tableDef("INBAA");
  if (Status s = tables::checkTableFile(inst.fileOf(copyDef), copyDef, tables::FileCheck::kIdentity); !s)
    return Status::error(Status::Code::kCorrupt, "el archivo bajado no es una actualización de insumos: " + s.text());
  MergeResult counts;
  tables::Installation reading = inst;
  reading.readingOnly = true;
  auto copy = reading.table("INBAA", errors);
  auto inba = inst.table("INBA", errors);
  if (Status s = copy->open(); !s) return s;
  if (Status s = inba->open(); !s) return s;
  const tables::TableDef& def = inba->def();
  const int listCost = def.slot("COST", list), listDate = def.slot("FECH", list);

  // Every input of the copy, in the order it was written, read and checked
  // before anything is written: one bad row refuses the whole update. The
  // inputs' identities are read once, inside the transaction that writes.
  std::vector<Incoming> incoming;
  std::vector<std::string> problems;
  if (Status s = inba->begin(); !s) return s;
  std::unordered_map<int64_t, std::pair<int64_t, int64_t>> stored;  // account -> identity, version
  Status read = inba->scanColumns({"CTA", "_id", "_ver"}, [&](const tables::Row& r) {
    if (r.integer(0) != 0) stored[r.integer(0)] = {r.integer(1), r.integer(2)};  // the key leaves account 0 out
    return true;
  });
  if (read) {
    read = copy->scanColumns({"_id", "CTA", "TEXT", "COST[1]", "FECH[1]", "COST[2]", "COST[3]", "COST[4]", "COST[5]",
                              "FECH[2]", "FECH[3]", "FECH[4]", "FECH[5]"},
                             [&](const tables::Row& r) {
                               Incoming in;
                               in.id = r.integer(0);
                               in.account = r.integer(1);
                               in.text = r.text(2);
                               in.cost = r.real(3);
                               in.date = r.integer(4);
                               if (auto it = stored.find(in.account); it != stored.end() && in.account != 0) {
                                 in.storedId = it->second.first;
                                 in.storedVersion = it->second.second;
                               }
                               std::string why;
                               if (!r.holdsInteger(1) || in.account <= 0) why = "cuenta no válida";
                               if (why.empty()) why = priceProblem(r, 3);
                               if (why.empty()) why = dateProblem(r, 4);
                               // A new input comes whole: its other four lists are checked too.
                               for (int col = 5; col < 9 && why.empty() && !in.storedId; ++col)
                                 why = priceProblem(r, col);
                               for (int col = 9; col < 13 && why.empty() && !in.storedId; ++col)
                                 why = dateProblem(r, col);
                               if (!why.empty())
                                 problems.push_back("cuenta " + std::to_string(in.account) + ": " + why);
                               incoming.push_back(std::move(in));
                               return true;
                             });
  }
  if (!read) {
    inba->rollback();
    return read;
  }
  if (!problems.empty()) {
    inba->rollback();  // nothing was written
    std::string text = "la actualización trae " + std::to_string(problems.size()) +
                       " insumos con datos no válidos y no se colocó nada: ";
    for (size_t i = 0; i < problems.size() && i < 5; ++i) text += (i ? "; " : "") + problems[i];
    if (problems.size() > 5) text += "; ...";
    return Status::error(Status::Code::kInvalid, text);
  }

  const std::vector<std::string> listFields = {"COST[" + std::to_string(list) + "]",
                                               "FECH[" + std::to_string(list) + "]"};
  // The inputs already stored take only that list's price and date, all in
  // one statement; the new ones are added whole after them.
  std::vector<const Incoming*> changed;
  for (const Incoming& c : incoming)
    if (c.storedId) changed.push_back(&c);
  const Status updated =
      inba->updateStoredFieldsMany(listFields, changed.size(), [&](size_t i) -> tables::Table::StoredIdentity {
        const Incoming& c = *changed[i];
        inba->rec().setRealAt(listCost, c.cost);
        inba->rec().setIntegerAt(listDate, c.date);
        if (showing) showing(text::clip(c.text));
        return {c.storedId, c.storedVersion};
      });
  if (!updated) {
    inba->rollback();
    return updated;
  }
  counts.changed = static_cast<int>(changed.size());
  for (const Incoming& c : incoming) {
    if (c.storedId) continue;
    Status s;
    if ((s = copy->fetchById(c.id))) {
      // A new input: the whole record, every price list included.
      const tables::Record& in = copy->rec();
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
    if (showing) showing(text::clip(c.text));
  }
  if (Status s = inba->commit(); !s) {
    inba->rollback();
    return s;
  }
  if (result) *result = counts;
  return Status::ok();
}

}  // namespace velmora::services
