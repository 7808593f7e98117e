// The journal of a restore's file swap. Before its first rename a restore
// writes every move it is about to make into DIR/.velmora-restauracion;
// the journal goes only when every move is made. A journal found later means
// a restore was cut short (killed, power lost): undoing it puts back every
// file it had set aside and removes what it had placed, so the installation
// is again as it was before that restore. Every command does this at its
// start, and so does `check`, before anything reads a table.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "framework/status.h"
#include "tables/installation.h"

namespace velmora::services {

inline constexpr const char* kRestoreJournalName = ".velmora-restauracion";

// One file brought in by a restore: the file it replaces goes from `target`
// to `aside` (empty when there was none), then `staged` is renamed to `target`.
struct SwapStep {
  std::filesystem::path target, aside, staged;
};

// Moves a file: a rename, or where the two places are on different disks a
// copy beside the target renamed in, then the source removed, so the target
// is never half written.
bool moveFile(const std::filesystem::path& from, const std::filesystem::path& to);

// Writes the journal whole (beside it, then renamed) and flushes it to disk.
Status writeRestoreJournal(const tables::Installation& inst, const std::vector<SwapStep>& steps);
// The swap is complete: the journal goes.
void clearRestoreJournal(const tables::Installation& inst);
bool restoreInterrupted(const tables::Installation& inst);
// Undoes the swap that the journal describes, then removes the journal.
// The caller holds the installation alone. The journal names the data and
// settings folders the restore worked in, and the undo acts on those, not on
// the folders `inst` names (a command run with another settings folder must
// not take that folder's settings table for the restored one). Each file
// placed is removed only when it is the one the restore placed. A journal
// whose paths leave its folders, that names anything but the settings table
// in the settings folder, or that was written for another data folder is
// refused, and nothing is moved.
Status undoInterruptedRestore(const tables::Installation& inst);

}  // namespace velmora::services
