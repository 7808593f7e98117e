#include "tables/installation.h"

#include <libpq-fe.h>

#include <cctype>
#include <fstream>
#include <map>

#include "framework/whole_file.h"
#include "tables/catalogue.h"

namespace velmora::tables {

Status serverHoldsTable(const std::string& url, const std::string& schema, const std::string& table, bool* held);
Status writeServerCopyMark(const Installation& inst, const std::string* source);
Status readServerCopyMark(const Installation& inst, std::optional<std::string>* source);

namespace {
// The mark of a copy in progress into an installation in files.
constexpr const char* kCopyMarkFile = ".migra-incompleta";
}  // namespace

std::filesystem::path Installation::fileOf(const TableDef& def) const {
  if (def.settingsRole) return (settingsDir.empty() ? dataDir : settingsDir) / def.fileName;
  if (isWorkTable(def.label)) {
    if (!workDir.empty()) return workDir / def.fileName;
    // Until a work is chosen: ARCH1, ARCH2, ARCH3, ARCH5 after OBRA1, OBRA2, OBRA3, OBRA5.
    return dataDir / ("ARCH" + def.fileName.substr(4));
  }
  return dataDir / def.fileName;
}

std::string Installation::schemaOf(const TableDef& def) const {
  if (!isWorkTable(def.label) || serverSchema.empty()) return serverSchema;
  // The work's code names its folder and its schema alike.
  const std::string prefix = serverSchema == "velmora" ? "" : serverSchema + "_";
  return prefix + (workDir.empty() ? std::string("sin_obra") : "obra_" + workDir.filename().string());
}

bool Installation::workReachable() const {
  std::error_code ec;
  return onServer() || std::filesystem::is_directory(workDir, ec);
}

bool Installation::workWritable() const { return onServer() || canWriteIn(workDir); }

Status Installation::holdsTable(const TableDef& def, bool* held) const {
  if (onServer(def)) return serverHoldsTable(serverUrl, schemaOf(def), def.storeName, held);
  std::error_code ec;
  const std::filesystem::path file = fileOf(def);
  *held = std::filesystem::is_regular_file(file, ec) && std::filesystem::file_size(file, ec) > 0 && !ec;
  return Status::ok();
}

std::unique_ptr<Table> Installation::table(std::string_view label, ErrorReporter& errors) const {
  const TableDef& def = tableDef(label);
  auto t = std::make_unique<Table>(def, fileOf(def), errors);
  if (onServer(def)) t->useServer(serverUrl, schemaOf(def));
  t->setCreateMissing(createMissing);
  t->setReadingOnly(readingOnly);
  return t;
}

bool isServerAddress(std::string_view text) {
  return text.rfind("postgresql://", 0) == 0 || text.rfind("postgres://", 0) == 0;
}

std::optional<ServerAddress> parseServerAddress(std::string_view address) {
  if (!isServerAddress(address)) return std::nullopt;
  ServerAddress out{std::string(address), "velmora"};
  const size_t query = out.url.find('?');
  if (query != std::string::npos) {
    std::string kept;
    size_t at = query + 1;
    while (at <= out.url.size()) {
      size_t end = out.url.find('&', at);
      if (end == std::string::npos) end = out.url.size();
      const std::string part = out.url.substr(at, end - at);
      if (part.rfind("schema=", 0) == 0) out.schema = part.substr(7);
      else if (!part.empty()) kept += (kept.empty() ? "" : "&") + part;
      at = end + 1;
    }
    out.url = out.url.substr(0, query) + (kept.empty() ? "" : "?" + kept);
  }
  // The schema is spliced into names: a plain lower-case name only.
  if (out.schema.empty() || out.schema.size() > 40 || (out.schema[0] >= '0' && out.schema[0] <= '9'))
    return std::nullopt;
  for (char c : out.schema)
    if (!((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_')) return std::nullopt;
  return out;
}

std::string shownAddress(std::string_view address) {
  std::string shown(address);
  const size_t scheme = shown.find("://");
  if (scheme == std::string::npos) return shown;
  // The user part ends at the last "@" before the parameters: a password
  // written without escapes may hold "@" or "/" itself.
  const size_t at = shown.rfind('@', shown.find('?'));
  const size_t colon = shown.find(':', scheme + 3);
  if (at != std::string::npos && at > scheme && colon < at) shown.replace(colon + 1, at - colon - 1, "***");
  // A password given as a parameter of the address.
  for (size_t from = shown.find('?'); from != std::string::npos; from = shown.find('&', from + 1)) {
    const size_t name = from + 1;
    const size_t equals = shown.find('=', name);
    if (equals == std::string::npos) break;
    std::string key = shown.substr(name, equals - name);
    for (char& c : key) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (key != "password") continue;
    const size_t end = shown.find('&', equals);
    shown.replace(equals + 1, (end == std::string::npos ? shown.size() : end) - equals - 1, "***");
  }
  return shown;
}

std::string installationKey(const ServerAddress& server) {
  std::map<std::string, std::string> given;
  char* failure = nullptr;
  if (PQconninfoOption* options = PQconninfoParse(server.url.c_str(), &failure)) {
    for (PQconninfoOption* o = options; o->keyword; ++o)
      if (o->val && *o->val) given[o->keyword] = o->val;
    PQconninfoFree(options);
  }
  if (failure) PQfreemem(failure);
  std::string key = given["user"] + "@" + given["host"];
  if (!given["port"].empty()) key += ":" + given["port"];
  key += "/" + given["dbname"];
  if (!given["service"].empty()) key += "_" + given["service"];
  return key + "_" + server.schema;
}

Status markCopyIncomplete(const Installation& inst, const std::string& source) {
  if (inst.onServer()) return writeServerCopyMark(inst, &source);
  return writeWholeFile(inst.dataDir / kCopyMarkFile, source + "\n");
}

Status clearCopyIncomplete(const Installation& inst) {
  if (inst.onServer()) return writeServerCopyMark(inst, nullptr);
  std::error_code ec;
  std::filesystem::remove(inst.dataDir / kCopyMarkFile, ec);
  if (ec)
    return Status::error(Status::Code::kIoError,
                         "no se pudo quitar la marca de copia incompleta de " + inst.dataDir.string());
  return Status::ok();
}

Status copyIncompleteMark(const Installation& inst, std::optional<std::string>* source) {
  source->reset();
  if (inst.onServer()) return readServerCopyMark(inst, source);
  const std::filesystem::path mark = inst.dataDir / kCopyMarkFile;
  std::error_code ec;
  if (!std::filesystem::exists(mark, ec)) {
    if (ec) return Status::error(Status::Code::kIoError, "no se pudo leer la carpeta " + inst.dataDir.string());
    return Status::ok();
  }
  std::ifstream in(mark);
  std::string line;
  std::getline(in, line);
  *source = line;
  return Status::ok();
}

}  // namespace velmora::tables
