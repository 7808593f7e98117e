#include "services/backup.h"

#include "framework/dates.h"
#include "framework/picture.h"
#include "framework/text.h"
#include "services/backup_names.h"
#include "services/installation_use.h"
#include "services/migration.h"
#include "services/restore_journal.h"
#include "shell/scratch_directory.h"
#include "tables/catalogue.h"
#include "works/work.h"

namespace velmora::services {

namespace fs = std::filesystem;

std::string systemComment() { return systemCommentPrefix() + picture::formatDate(dates::today(), "d6"); }

std::string workComment(const std::string& code) {
  return workCommentPrefix() + code + " AL " + picture::formatDate(dates::today(), "d6");
}

Status registeredWorks(const tables::Installation& inst, ErrorReporter& errors, std::vector<std::string>* codes) {
  codes->clear();
  auto obra = inst.table("OBRA", errors);
  if (Status s = obra->open(); !s) return s;
  obra->setOrder(obra->keyIndex("CTA_KEY"));
  for (;;) {
    const tables::Found next = obra->next();
    if (!next.found()) return next.failure();
    std::string code = text::clip(obra->rec().text("CTA"));
    if (!code.empty()) codes->push_back(std::move(code));
  }
}

namespace {

BackupArchive makeArchive(ZipArchiver& archiver, const BackupEvents& events, const std::string& name,
                          const fs::path& folder, const std::string& comment,
                          const std::vector<std::pair<fs::path, std::string>>& extra, int level) {
  ZipJob job;
  job.archive = name;
  job.include = {folder / "*.*"};
  job.files = extra;
  job.excluded = {
      InstallationUse::kFileName,          // who is using it now, not data
      kRestoreJournalName,                 // a restore cut short, undone at the next start
      shell::ScratchDirectory::kLockName,  // the copy of a server's tables being archived
  };
  job.comment = comment;
  job.level = level;
  if (events.archiveStarted) events.archiveStarted(name);
  BackupArchive done{name, comment};
  done.status = archiver.pack(job, events.progress);
  if (!done.status) done.failure = archiver.failureText();
  done.files = archiver.packed();
  if (events.archiveEnded) events.archiveEnded(done);
  return done;
}

// A server installation is first copied, as one snapshot, into table files
// in a scratch folder; the archives are made from them, laid out as those of
// an installation in files, so that either kind restores them.
std::vector<BackupArchive> backupFromServer(const tables::Installation& inst, const BackupRequest& request,
                                            ZipArchiver& archiver, const BackupEvents& events) {
  const auto failed = [&](const std::string& why) {
    const BackupArchive refused{
        (request.destination / "OBRAS").string(), systemComment(), Status::error(Status::Code::kIoError, why), why, {}};
    if (events.archiveEnded) events.archiveEnded(refused);
    return std::vector<BackupArchive>{refused};
  };
  shell::ScratchDirectory scratch(inst.dataDir, kServerBackupScratchPrefix);
  if (!scratch.made()) return failed("no se pudo preparar la copia de las tablas del servidor");
  tables::Installation files;
  if (Status s = copyServerIntoFiles(inst, scratch.path(), &files); !s)
    return failed("no se pudo copiar el servidor: " + s.text());
  return runBackup(files, request, archiver, events);
}

}  // namespace

std::vector<BackupArchive> runBackup(const tables::Installation& inst, const BackupRequest& request,
                                     ZipArchiver& archiver, const BackupEvents& events) {
  if (inst.onServer()) return backupFromServer(inst, request, archiver, events);
  std::vector<BackupArchive> made;
  const fs::path dataDir = fs::absolute(inst.dataDir);
  const std::string destination = request.destination.string();
  if (request.system && !(events.stopped && events.stopped())) {
    // The settings table lives outside the data directory's own files.
    std::vector<std::pair<fs::path, std::string>> extra;
    for (const auto& def : tables::allTables()) {
      const fs::path file = fs::absolute(inst.fileOf(def));
      if (def.settingsRole && file.parent_path() != dataDir) extra.emplace_back(file, settingsEntryName(def.fileName));
    }
    made.push_back(makeArchive(archiver, events, (fs::path(destination) / "OBRAS").string(), dataDir, systemComment(),
                               extra, request.level));
  }
  for (const std::string& code : request.works) {
    if (events.stopped && events.stopped()) break;
    if (!works::isValidWorkCode(code)) {
      // A code that would name a folder outside the data directory (or the
      // archive outside the destination) is never made into a path.
      const std::string why = works::invalidWorkCodeText(code);
      BackupArchive refused{code, {}, Status::error(Status::Code::kInvalid, why), why, {}};
      if (events.archiveEnded) events.archiveEnded(refused);
      made.push_back(std::move(refused));
      continue;
    }
    made.push_back(makeArchive(archiver, events, (fs::path(destination) / code).string(),
                               works::workDirectory(dataDir, code), workComment(code), {}, request.level));
  }
  return made;
}

}  // namespace velmora::services
