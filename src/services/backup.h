// The backup of an installation: one archive with the system files (every
// file of the data directory, and the settings table wherever it lives) and
// one archive per registered work with the files of its directory.
#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "framework/error_reporter.h"
#include "services/backup_names.h"
#include "services/zip_archiver.h"
#include "tables/installation.h"

namespace velmora::services {

// The scratch folder in a station's folder where a server's tables are
// copied to be archived.
inline constexpr const char* kServerBackupScratchPrefix = ".respaldo-servidor-";

struct BackupRequest {
  std::filesystem::path destination;
  bool system = true;              // " Respalda Archivos del Sistema"
  std::vector<std::string> works;  // the codes of the works to archive, in order
  int level = 9;
};

// One archive of a backup, as it ended.
struct BackupArchive {
  std::string name;  // the archive name handed to the archiver
  std::string comment;
  Status status;        // ok, or why not in Spanish on one line (kCancelled when stopped)
  std::string failure;  // the "Zip Error" text when it failed
  std::vector<std::string> files;
};

struct BackupEvents {
  ZipProgress progress;
  std::function<void(const std::string& archive)> archiveStarted;
  std::function<void(const BackupArchive&)> archiveEnded;
  // Asked before each archive: true leaves the rest unmade.
  std::function<bool()> stopped;
};

// The archive comments, with today's date.
std::string systemComment();
std::string workComment(const std::string& code);

// The codes of the registered works, in the order of OBR:CTA_KEY. A register
// that cannot be read whole is a failure, never a shorter list (a backup
// would leave works out without a word).
Status registeredWorks(const tables::Installation& inst, ErrorReporter& errors, std::vector<std::string>* codes);

// Makes every archive the request asks for, one after another; a failed
// archive is reported through `events` and the next one is made. `archiver`
// is the caller's, so that it can be asked to stop from another thread. It
// reads no table, so it may run on any thread.
std::vector<BackupArchive> runBackup(const tables::Installation& inst, const BackupRequest& request,
                                     ZipArchiver& archiver, const BackupEvents& events = {});

}  // namespace velmora::services
