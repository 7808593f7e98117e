#include "services/migration.h"

#include <algorithm>
#include <filesystem>

#include "framework/text.h"
#include "tables/catalogue.h"
#include "works/work.h"
#include "works/work_code.h"

namespace velmora::services {

namespace {

// The data tables an installation holds outside its works, or the station's
// own (its settings, its downloads): one label per stored table (a second
// label reads the same one).
std::vector<const tables::TableDef*> sharedTables(bool station) {
  std::vector<const tables::TableDef*> out;
  for (const auto& def : tables::allTables()) {
    if (tables::isWorkTable(def.label) || (def.settingsRole || def.stationFile) != station) continue;
    const bool seen =
        std::any_of(out.begin(), out.end(), [&](const tables::TableDef* d) { return d->fileName == def.fileName; });
    if (!seen) out.push_back(&def);
  }
  return out;
}

Status copyTable(const tables::Installation& from, const tables::Installation& to, const tables::TableDef& def,
                 ErrorReporter& errors, MigrationReport* report) {
  const std::string where = def.label + " (" + def.fileName + ")";
  auto source = from.table(def.label, errors);
  source->setReadingOnly(true);
  auto target = to.table(def.label, errors);
  target->setKeepAudit(true);
  if (Status s = source->open(); !s) return Status::error(s.code(), where + ": " + s.text());
  if (Status s = target->open(); !s) return Status::error(s.code(), where + ": " + s.text());
  if (target->count() > 0) return Status::error(Status::Code::kInvalid, where + ": el destino ya tiene registros");
  if (Status s = target->begin(); !s) return Status::error(s.code(), where + ": " + s.text());
  // What was read is kept, to compare the copy with.
  Status written;
  std::vector<tables::Record> original;
  const Status read = source->scanRecords([&](const tables::Record& r) {
    original.push_back(r);
    target->rec() = r;
    written = target->insert();
    return written.isOk();
  });
  if (!read || !written) {
    target->rollback();
    const Status& failed = !read ? read : written;
    return Status::error(failed.code(), where + ": " + failed.text());
  }
  if (Status s = target->commit(); !s) return Status::error(s.code(), where + ": " + s.text());

  // Read back: the same records in the same order, every field equal.
  size_t at = 0;
  bool same = true;
  if (Status s = target->scanRecords([&](const tables::Record& r) {
        same = at < original.size() && original[at] == r;
        ++at;
        return same;
      });
      !s)
    return Status::error(s.code(), where + ": " + s.text());
  if (!same || at != original.size())
    return Status::error(Status::Code::kCorrupt, where + ": la copia no es igual al original en el registro " +
                                                     std::to_string(at) + "; no use el destino");
  ++report->tables;
  report->records += original.size();
  return Status::ok();
}

}  // namespace

Status copySharedTables(const tables::Installation& from, const tables::Installation& to, ErrorReporter& errors,
                        MigrationReport* report, const std::function<void(const std::string&)>& progress) {
  std::error_code made;
  std::filesystem::create_directories(to.settingsDir, made);
  std::filesystem::create_directories(to.dataDir, made);  // on a server, the station's folder
  for (bool station : {true, false}) {
    for (const tables::TableDef* def : sharedTables(station)) {
      bool inSource = false, inTarget = false;
      if (Status s = from.holdsTable(*def, &inSource); !s) return s;
      if (!inSource) continue;
      if (station) {
        if (Status s = to.holdsTable(*def, &inTarget); !s) return s;
        if (inTarget) continue;  // the station's own tables stay
      }
      progress(def->label);
      if (Status s = copyTable(from, to, *def, errors, report); !s) return s;
    }
  }
  return Status::ok();
}

Status copyWorkTables(const tables::Installation& from, const tables::Installation& to, const std::string& code,
                      ErrorReporter& errors, MigrationReport* report,
                      const std::function<void(const std::string&)>& progress) {
  if (!works::isValidWorkCode(code)) return Status::error(Status::Code::kInvalid, works::invalidWorkCodeText(code));
  tables::Installation workFrom = from, workTo = to;
  workFrom.workDir = works::workDirectory(from.dataDir, code);
  workTo.workDir = works::workDirectory(to.dataDir, code);
  if (!workFrom.workReachable()) return Status::ok();  // a work never opened has no tables
  if (!to.onServer())
    if (Status s = works::prepareWorkDirectory(to.dataDir, code); !s) return s;
  for (const char* label : {"COBR", "IOBR", "INOB", "HORA"}) {
    const tables::TableDef& def = tables::tableDef(label);
    bool held = false;
    if (Status s = workFrom.holdsTable(def, &held); !s)
      return Status::error(s.code(), "obra " + code + ", " + s.text());
    if (!held) continue;
    progress(code + "/" + def.label);
    if (Status s = copyTable(workFrom, workTo, def, errors, report); !s)
      return Status::error(s.code(), "obra " + code + ", " + s.text());
  }
  report->works.push_back(code);
  return Status::ok();
}

namespace {
// Copies `copy(files, quiet reporter, report)` from one snapshot of `server`
// into table files in `folder`, which `files` then names.
Status copySnapshot(const tables::Installation& server, const std::filesystem::path& folder,
                    tables::Installation* files, const std::function<Status(ErrorReporter&, MigrationReport*)>& copy) {
  *files = {};
  files->dataDir = folder;
  files->settingsDir = server.settingsDir;
  ErrorReporter quiet;
  quiet.setSilent(true);
  MigrationReport copied;
  return tables::readConsistently(server, [&] { return copy(quiet, &copied); });
}
void noProgress(const std::string&) {}
}  // namespace

Status copyServerIntoFiles(const tables::Installation& server, const std::filesystem::path& folder,
                           tables::Installation* files) {
  return copySnapshot(server, folder, files, [&](ErrorReporter& quiet, MigrationReport* copied) {
    return migrateInstallation(server, *files, quiet, copied, noProgress);
  });
}

Status copyServerPartIntoFiles(const tables::Installation& server, const std::filesystem::path& folder,
                               const std::string& work, tables::Installation* files) {
  return copySnapshot(server, folder, files, [&](ErrorReporter& quiet, MigrationReport* copied) {
    return work.empty() ? copySharedTables(server, *files, quiet, copied, noProgress)
                        : copyWorkTables(server, *files, work, quiet, copied, noProgress);
  });
}

Status migrateInstallation(const tables::Installation& from, const tables::Installation& to, ErrorReporter& errors,
                           MigrationReport* report, const std::function<void(const std::string&)>& progress) {
  *report = {};
  for (const tables::TableDef* def : sharedTables(false)) {
    bool held = false;
    if (Status s = to.holdsTable(*def, &held); !s) return s;
    if (held)
      return Status::error(Status::Code::kInvalid,
                           "el destino ya tiene la tabla " + def->label + "; use una instalación vacía");
  }
  std::vector<std::string> codes;
  bool hasWorks = false;
  if (Status s = from.holdsTable(tables::tableDef("OBRA"), &hasWorks); !s) return s;
  if (hasWorks) {  // an empty installation has no works
    auto obra = from.table("OBRA", errors);
    obra->setReadingOnly(true);
    if (Status s = obra->open(); !s) return Status::error(s.code(), "OBRA: " + s.text());
    if (Status s = obra->scanColumns({"CTA"},
                                     [&](const tables::Row& r) {
                                       codes.push_back(text::clip(r.text(0)));
                                       return true;
                                     });
        !s)
      return s;
  }
  if (Status s = copySharedTables(from, to, errors, report, progress); !s) return s;
  for (const std::string& code : codes) {
    // A code that would climb out of the folder is never made a path.
    if (!works::isValidWorkCode(code)) {
      report->refused.push_back(code);
      continue;
    }
    if (Status s = copyWorkTables(from, to, code, errors, report, progress); !s) return s;
  }
  return Status::ok();
}

}  // namespace velmora::services
