// `respalda` and `restaura`: the backup archives and putting one back, headless.
#pragma once

#include <iosfwd>
#include <string>

#include "framework/error_reporter.h"
#include "services/backup.h"
#include "tables/installation.h"

namespace velmora::app {

// A line per file packed; fails (1) when any archive failed, each failure on `err`.
int runBackupCommand(const tables::Installation& inst, const services::BackupRequest& request, std::ostream& out,
                     std::ostream& err);

int runRestoreCommand(const tables::Installation& inst, const std::string& archive, const std::string& work,
                      std::ostream& out, std::ostream& err);

// `velmora migra --desde A --hacia B`: copies installation A (files or a
// server) into the empty B and compares the copy record by record; one line
// per table on `out`. 0 when the copy is whole and equal.
int runMigrateCommand(const tables::Installation& from, const tables::Installation& to, ErrorReporter& errors,
                      std::ostream& out, std::ostream& err);

}  // namespace velmora::app
