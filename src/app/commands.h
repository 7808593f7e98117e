// The headless subcommands of the velmora binary. Each returns the process
// exit status and writes one clear line to `err` on failure.
#pragma once

#include <filesystem>
#include <iosfwd>
#include <string>
#include <vector>

#include "framework/error_reporter.h"
#include "services/installation_use.h"
#include "shell/session.h"
#include "tables/installation.h"

namespace velmora::app {

// Where the settings table lives for a data directory: the --settings option,
// else the VELMORA_SETTINGS environment variable, else DIR/.settings.
std::filesystem::path settingsDirFor(const std::filesystem::path& dataDir, const std::string& option = {});

// The installation `data` names: a folder, or a server address
// (postgresql://user@host:port/db?schema=name), when this station's own files
// go to a folder of its own. A folder whose settings hold a file SERVIDOR
// keeps its data tables on the server that file names.
tables::Installation installationAt(const std::string& data, const std::string& settingsOption = {});
// A session on that installation (the current folder when `dataDir` is
// empty), its messages through `errors`.
shell::Session sessionAt(const std::string& dataDir, const std::string& settingsOption, ErrorReporter& errors);

// False, with one line on `err`, when `inst` is a copy that `migra` began and
// did not finish: it may list works whose tables never arrived.
bool refuseUnfinishedCopy(const tables::Installation& inst, std::ostream& err);

// False, with one line on `err`, when the settings folder cannot be this
// installation's own: the root of a disk, a file, or a folder given by
// --settings or VELMORA_SETTINGS that holds files other than settings (a
// home folder, the data folder). The default DIR/.settings is always ours.
bool refuseSettingsFolder(const tables::Installation& inst, std::ostream& err);

// The server address a folder stands for (the file SERVIDOR in its
// settings), when the file is readable by other users: one line of warning
// on `err`, since the address may carry a password.
void warnIfServerFileShared(const tables::Installation& inst, std::ostream& err);

// `velmora enlaza --data DIR [--servidor ADDRESS]`: makes the folder DIR
// stand for the installation at ADDRESS (writes SERVIDOR in its settings,
// readable by its owner only), or shows the address it stands for.
int runLinkCommand(const std::string& data, const std::string& settingsOption, const std::string& address,
                   std::ostream& out, std::ostream& err);

// Before a command touches an installation: a restore that was cut short is
// undone (holding the installation alone for it), then the installation is
// used, shared, for the command's life, so that no restore swaps files under
// it. A folder that cannot hold the use file (read only) is used without it
// by a command that only reads. False, with one line on `err`, when the
// installation cannot be used now, is an unfinished copy or its settings
// folder is not its own.
bool useInstallation(const tables::Installation& inst, services::InstallationUse& use, bool writes, std::ostream& err);

// The tables whose files belong to the installation itself, one label per file.
std::vector<const tables::TableDef*> installationTables();

// `velmora check DIR`: opens every table, rebuilds damaged keys, and reports
// each table it had to create, rebuild or could not open; fails (1) when
// anything was wrong.
int runCheck(const tables::Installation& inst, ErrorReporter& errors, std::ostream& out, std::ostream& err);

}  // namespace velmora::app
