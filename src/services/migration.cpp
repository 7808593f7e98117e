#include "services/migration.h"

#include <algorithm>
#include <filesystem>
#include <optional>

#include "framework/text.h"
#include "framework/whole_file.h"
#include "shell/records.h"
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
  int64_t records = 0;
  if (Status s = target->count(&records); !s) return s;
  if (records > 0) return Status::error(Status::Code::kInvalid, where + ": el destino ya tiene registros");
  if (Status s = target->begin(); !s) return Status::error(s.code(), where + ": " + s.text());
  // What was read is kept, to compare the copy with.
  Status written;
  std::vector<tables::Record> original;
  const Status read = source->scanRecords([&](const tables::Record& r) {
    original.push_back(r);
    // A text stored with a control character before they were kept out
    // goes without it: the server would cut it at a NUL byte.
    if (original.back().cleanStoredTexts()) ++report->cleanedRecords;
    target->rec() = original.back();
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

// Whether `inst` holds `def`'s table with records in it, in `*held`. The
// table is opened for writing, as the copy will: a copy killed while writing
// it left a journal that only a writer can roll back.
Status holdsRecords(const tables::Installation& inst, const tables::TableDef& def, ErrorReporter& errors, bool* held) {
  *held = false;
  if (Status s = inst.holdsTable(def, held); !s || !*held) return s;
  auto t = inst.table(def.label, errors);
  if (Status s = t->open(); !s) return s;
  int64_t records = 0;
  if (Status s = t->count(&records); !s) return s;
  *held = records > 0;
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
      bool inSource = false;
      if (Status s = from.holdsTable(*def, &inSource); !s) return s;
      if (!inSource) continue;
      if (station) {
        bool inTarget = false;
        if (Status s = holdsRecords(to, *def, errors, &inTarget); !s) return s;
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

// The works registered in an installation, by code (none when it has no
// register yet).
Status registeredCodes(const tables::Installation& inst, ErrorReporter& errors, std::vector<std::string>* codes) {
  codes->clear();
  bool hasWorks = false;
  if (Status s = inst.holdsTable(tables::tableDef("OBRA"), &hasWorks); !s) return s;
  if (!hasWorks) return Status::ok();  // an empty installation has no works
  auto obra = inst.table("OBRA", errors);
  obra->setReadingOnly(true);
  if (Status s = obra->open(); !s) return Status::error(s.code(), "OBRA: " + s.text());
  return obra->scanColumns({"CTA"}, [&](const tables::Row& r) {
    codes->push_back(text::clip(r.text(0)));
    return true;
  });
}

// Every table of `from` copied into `to`, which holds none of them.
Status copyInstallation(const tables::Installation& from, const tables::Installation& to, ErrorReporter& errors,
                        MigrationReport* report, const std::function<void(const std::string&)>& progress) {
  std::vector<std::string> codes;
  if (Status s = registeredCodes(from, errors, &codes); !s) return s;
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

// Removes a table file with its journal.
void removeTableFile(const std::filesystem::path& file) {
  std::error_code ec;
  std::filesystem::remove(file, ec);
  std::filesystem::remove(file.string() + "-journal", ec);
}

// A copy into files that did not finish, taken back to nothing: the shared
// tables and the tables of every work it may have begun (the source's, and
// those the copied register names). The station's own tables stay: a
// settings table that had records is the station's, an empty one is filled
// again by the copy.
Status restartFileCopy(const tables::Installation& from, const tables::Installation& to, ErrorReporter& errors) {
  std::vector<std::string> codes, copied;
  if (Status s = registeredCodes(from, errors, &codes); !s) return s;
  if (registeredCodes(to, errors, &copied))  // a register cut half-way may not be readable
    codes.insert(codes.end(), copied.begin(), copied.end());
  for (const std::string& code : codes) {
    if (!works::isValidWorkCode(code)) continue;
    tables::Installation work = to;
    work.workDir = works::workDirectory(to.dataDir, code);
    for (const char* label : {"COBR", "IOBR", "INOB", "HORA"}) removeTableFile(work.fileOf(tables::tableDef(label)));
    std::error_code ec;
    if (std::filesystem::is_directory(work.workDir, ec))
      std::filesystem::remove(work.workDir, ec);  // only when nothing else is in it
  }
  for (const tables::TableDef* def : sharedTables(false)) removeTableFile(to.fileOf(*def));
  for (const tables::TableDef* def : sharedTables(false)) {
    bool held = false;
    if (Status s = to.holdsTable(*def, &held); !s) return s;
    if (held)
      return Status::error(Status::Code::kIoError, "no se pudo quitar la tabla " + def->label +
                                                       " de la copia anterior en " + to.dataDir.string());
  }
  return Status::ok();
}

// Copies a file whole (beside the target, then renamed); nothing when the
// source is not a file.
Status carryFile(const std::filesystem::path& source, const std::filesystem::path& target, size_t* carried) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(source, ec)) return Status::ok();
  std::string bytes;
  if (Status s = readWholeFile(source, size_t(256) << 20, &bytes); !s) return s;
  std::filesystem::create_directories(target.parent_path(), ec);
  if (Status s = writeWholeFile(target, bytes); !s) return s;
  ++*carried;
  return Status::ok();
}

// What an installation keeps beside its tables: the suppliers' promotion
// pictures named from the data folder, and its own settings files (the
// maker's address, the window places), which the target keeps when it has
// its own. The address of a server (SERVIDOR) is never carried: it would turn
// the copy into the station of that server.
Status carryInstallationFiles(const tables::Installation& from, const tables::Installation& to, ErrorReporter& errors,
                              MigrationReport* report) {
  const auto settingsOf = [](const tables::Installation& inst) {
    return inst.settingsDir.empty() ? inst.dataDir : inst.settingsDir;
  };
  std::error_code ec;
  for (const char* name : {"velmora.conf"})
    if (!std::filesystem::exists(settingsOf(to) / name, ec))
      if (Status s = carryFile(settingsOf(from) / name, settingsOf(to) / name, &report->files); !s) return s;
  if (!std::filesystem::exists(to.dataDir / "KAVEL.INI", ec))
    if (Status s = carryFile(from.dataDir / "KAVEL.INI", to.dataDir / "KAVEL.INI", &report->files); !s) return s;

  bool hasPictures = false;
  if (Status s = to.holdsTable(tables::tableDef("PATR"), &hasPictures); !s) return s;
  if (!hasPictures) return Status::ok();
  auto patr = to.table("PATR", errors);
  patr->setReadingOnly(true);
  if (Status s = patr->open(); !s) return Status::error(s.code(), "PATR: " + s.text());
  std::vector<std::string> pictures;
  if (Status s = patr->scanRecords([&](const tables::Record& r) {
        for (const std::string& name : shell::supplierOf(r).promotions) pictures.push_back(text::clip(name));
        return true;
      });
      !s)
    return Status::error(s.code(), "PATR: " + s.text());
  for (const std::string& name : pictures) {
    const std::filesystem::path relative = std::filesystem::path(name).lexically_normal();
    // A picture named by its full path is found there by both; one that
    // climbs out of the data folder is not the installation's to copy.
    if (name.empty() || relative.is_absolute() || relative.has_root_name() || *relative.begin() == "..") continue;
    if (!std::filesystem::is_regular_file(from.dataDir / relative, ec)) {
      report->missingPictures.push_back(name);
      continue;
    }
    if (Status s = carryFile(from.dataDir / relative, to.dataDir / relative, &report->files); !s) return s;
  }
  return Status::ok();
}

}  // namespace

std::string installationName(const tables::Installation& inst) {
  return inst.onServer() ? tables::shownAddress(inst.serverUrl) + " (esquema " + inst.serverSchema + ")"
                         : inst.dataDir.string();
}

Status migrateInstallation(const tables::Installation& from, const tables::Installation& to, ErrorReporter& errors,
                           MigrationReport* report, const std::function<void(const std::string&)>& progress) {
  *report = {};
  std::optional<std::string> unfinished;
  if (Status s = tables::copyIncompleteMark(from, &unfinished); !s) return s;
  if (unfinished)
    return Status::error(Status::Code::kInvalid,
                         "el origen " + installationName(from) + " es una copia que no terminó");
  if (Status s = tables::copyIncompleteMark(to, &unfinished); !s) return s;
  report->leftIncomplete = unfinished.has_value();
  const std::string source = installationName(from);
  if (unfinished) {
    // A copy of ours that did not finish: nothing in it is the user's.
    report->restartedFrom = *unfinished;
    if (Status s = to.onServer() ? tables::restartServerCopy(to, source) : restartFileCopy(from, to, errors); !s)
      return s;
  } else {
    for (const tables::TableDef* def : sharedTables(false)) {
      bool held = false;
      if (Status s = to.holdsTable(*def, &held); !s) return s;
      if (held)
        return Status::error(Status::Code::kInvalid,
                             "el destino ya tiene la tabla " + def->label + "; use una instalación vacía");
    }
  }
  std::error_code made;
  std::filesystem::create_directories(to.dataDir, made);  // on a server, the station's folder
  // Marked before the first table arrives, cleared only once every table
  // compared equal: a copy cut at any moment is never taken for a whole one.
  if (Status s = tables::markCopyIncomplete(to, source); !s) return s;
  report->leftIncomplete = true;
  if (Status s = copyInstallation(from, to, errors, report, progress); !s) return s;
  if (Status s = carryInstallationFiles(from, to, errors, report); !s) return s;
  if (Status s = tables::clearCopyIncomplete(to); !s) return s;
  report->leftIncomplete = false;
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
    return copyInstallation(server, *files, quiet, copied, noProgress);
  });
}

Status copyServerPartIntoFiles(const tables::Installation& server, const std::filesystem::path& folder,
                               const std::string& work, tables::Installation* files) {
  return copySnapshot(server, folder, files, [&](ErrorReporter& quiet, MigrationReport* copied) {
    return work.empty() ? copySharedTables(server, *files, quiet, copied, noProgress)
                        : copyWorkTables(server, *files, work, quiet, copied, noProgress);
  });
}

}  // namespace velmora::services
