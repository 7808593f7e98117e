// Putting a backup back: the system files, or one work. The archive is read
// whole and checked first (every entry's CRC, every table's integrity); only
// then, with the installation held alone, are the files swapped in, the ones
// they replace kept aside in a folder of their own.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "services/installation_use.h"
#include "tables/installation.h"

namespace velmora::services {

// What an archive holds, read from its comment.
struct BackupContents {
  bool valid = false;
  bool system = false;
  std::string work;  // the work's code when it holds a work
};
BackupContents contentsOf(const std::string& comment);

struct RestoreResult {
  bool ok = false;
  std::string message;  // why it was refused or failed, in Spanish
  std::string work;     // the work restored; empty for the system files
  std::filesystem::path keptAside;  // where the replaced files are
  std::vector<std::string> restored;
};

// Reads the comment of an archive; false when it cannot be opened.
bool readBackupComment(const std::filesystem::path& archive, std::string& comment, std::string& why);

// Restores `archive` into `inst`. With `work` set the archive must hold that
// work. `use` is the caller's use of the installation (held shared by a
// running program, or not held); the restore holds it alone while it swaps
// files and gives it back as it found it.
RestoreResult restoreBackup(const tables::Installation& inst, const std::filesystem::path& archive,
                            const std::string& work, InstallationUse& use);

}  // namespace velmora::services
