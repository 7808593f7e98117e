// Putting a backup back: the system files, or one work. Nothing is touched
// until the whole archive is read and checked: the archive's comment names a
// valid work code, every entry bears a name that a backup of that kind holds,
// sizes fit their limits and the free disk space, and each table is sound and
// is the table its name says (its role, table name and columns). Then, with
// the installation held alone, the files are swapped in under a journal (see
// restore_journal.h), the ones they replace kept in a folder of their own.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "framework/status.h"
#include "services/backup_names.h"
#include "services/installation_use.h"
#include "tables/installation.h"

namespace velmora::services {

// Limits on what an archive may unpack: a table file, any other file, all.
inline constexpr uint64_t kRestoreTableLimit = 2ull << 30;
inline constexpr uint64_t kRestoreDocumentLimit = 64ull << 20;
inline constexpr uint64_t kRestoreArchiveLimit = 8ull << 30;

// What a restore that went through did.
struct RestoreReport {
  std::string work;                 // the work restored; empty for the system files
  std::filesystem::path keptAside;  // where the replaced files are
  std::vector<std::string> restored;
};

// Reads the comment of an archive; false when it cannot be opened.
bool readBackupComment(const std::filesystem::path& archive, std::string& comment, std::string& why);

// Restores `archive` into `inst`, creating the data, settings and work
// folders it needs. With `work` set the archive must hold that work. `use` is
// the caller's use of the installation (held shared by a running program, or
// not held); the restore holds it alone while it swaps files and gives it
// back as it found it. The Status says in Spanish why a restore was refused
// or failed (kLocked while another program uses the installation).
Status restoreBackup(const tables::Installation& inst, const std::filesystem::path& archive, const std::string& work,
                     InstallationUse& use, RestoreReport* report);

// Clears what runs cut short (killed, power lost) left in an installation:
// the unpacking folders of restores (`.restaura-*`, `.restauracion-
// servidor-*`) and the scratch folders of backups and downloads that no
// living run holds, in the data folder and the works' folders; and, only
// when `use` can hold the installation alone for a moment (no other program
// uses it, so no restore is under way), the empty folders a restore had made
// for the files it replaces (`ANTERIOR-*`) and half-copied files
// (`*.restaurando`). `use` is left held as shared when it was taken alone.
// Nothing else is ever removed.
void clearLeftoversOfCutRuns(const tables::Installation& inst, InstallationUse& use);

}  // namespace velmora::services
