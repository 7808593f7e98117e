// The headless subcommands of the velmora binary. Each returns the process
// exit status and writes one clear line to `err` on failure.
#pragma once

#include <filesystem>
#include <iosfwd>
#include <string>
#include <vector>

#include "framework/error_reporter.h"
#include "tables/installation.h"

namespace velmora::app {

// Where the settings table lives for a data directory: the --settings option,
// else the VELMORA_SETTINGS environment variable, else DIR/.settings.
std::filesystem::path settingsDirFor(const std::filesystem::path& dataDir,
                                     const std::string& option = {});

tables::Installation installationAt(const std::filesystem::path& dataDir,
                                    const std::string& settingsOption = {});

// The tables whose files belong to the installation itself, one label per file.
std::vector<const tables::TableDef*> installationTables();

// `velmora check DIR`: opens every table, rebuilds damaged keys, and reports
// each table it had to create, rebuild or could not open; fails (1) when
// anything was wrong.
int runCheck(const tables::Installation& inst, ErrorReporter& errors, std::ostream& out,
             std::ostream& err);

}  // namespace velmora::app
