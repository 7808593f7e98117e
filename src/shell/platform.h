// The few calls that differ between Windows and other systems.
#pragma once

#include <cstdint>
#include <filesystem>

namespace velmora::platform {

// Opens a lock file, creating it when missing; an existing one in a folder
// that cannot be written is opened for reading, which still locks. -1 when
// it can be neither created nor opened.
intptr_t openLockFile(const std::filesystem::path& file);
// An advisory lock on a file (created when missing), shared or exclusive,
// held until released or until the process ends, however it ends. Returns a
// handle, or -1 when the file cannot be opened or another process holds a
// lock that conflicts.
intptr_t lockFile(const std::filesystem::path& file, bool exclusive);
// Changes the mode of a lock held; false (the lock kept as it was, or lost
// when changing it failed halfway) when another process's lock conflicts.
bool relockFile(intptr_t handle, bool exclusive);
void unlockFile(intptr_t handle);

// Whether windows are dragged with their full contents (Windows only; false
// elsewhere), and switching it. Both do nothing where there is no such setting.
bool fullWindowDragging();
void setFullWindowDragging(bool on);

}  // namespace velmora::platform
