// Moving an installation between SQLite files and a database server (either
// way): its shared tables, its settings and every work's tables are copied
// record by record, audit fields included, and the copy is then read back
// and compared with the original, record by record.
#pragma once

#include <cstddef>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "framework/error_reporter.h"
#include "framework/status.h"
#include "tables/installation.h"

namespace velmora::services {

struct MigrationReport {
  size_t tables = 0;
  size_t records = 0;
  std::vector<std::string> works;            // the works copied, by code
  std::vector<std::string> refused;          // registered works whose code cannot name a folder: not copied
  size_t cleanedRecords = 0;                 // records whose texts held control characters, copied without them
  size_t files = 0;                          // pictures and settings files carried beside the tables
  std::vector<std::string> missingPictures;  // named by a supplier, absent from the source
  bool leftIncomplete = false;               // the target stays marked: the copy did not finish
  std::string restartedFrom;                 // the source of an unfinished copy that this one started over, if any
};

// What an installation is called in messages: its folder, or its server
// (never with the password) and schema.
std::string installationName(const tables::Installation& inst);

// Copies `from` into `to`, which must hold none of the data tables yet
// (settings it already has are kept), with the suppliers' pictures and the
// installation's settings files. `progress` hears of each table. The target
// is marked incomplete until every table compared equal; any failure stops
// the copy, says where and leaves the mark, so that no command uses the
// target. A target so marked is started over by the next copy into it.
Status migrateInstallation(const tables::Installation& from, const tables::Installation& to, ErrorReporter& errors,
                           MigrationReport* report, const std::function<void(const std::string&)>& progress);

// A server installation copied as one snapshot into table files in `folder`
// (its settings stay where they are): what a backup archives and a restore
// onto a server starts from. Gives that copy as an installation.
Status copyServerIntoFiles(const tables::Installation& server, const std::filesystem::path& folder,
                           tables::Installation* files);
// The same for the part a restore replaces: the shared tables, or with
// `work` set that work's tables.
Status copyServerPartIntoFiles(const tables::Installation& server, const std::filesystem::path& folder,
                               const std::string& work, tables::Installation* files);

// The parts of that copy: the shared tables and the settings `to` lacks; or
// the tables of one work.
Status copySharedTables(const tables::Installation& from, const tables::Installation& to, ErrorReporter& errors,
                        MigrationReport* report, const std::function<void(const std::string&)>& progress);
Status copyWorkTables(const tables::Installation& from, const tables::Installation& to, const std::string& code,
                      ErrorReporter& errors, MigrationReport* report,
                      const std::function<void(const std::string&)>& progress);

}  // namespace velmora::services
