#include "shell/platform.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#endif

namespace velmora::platform {

#ifdef _WIN32
bool fullWindowDragging() {
  BOOL on = FALSE;
  SystemParametersInfoA(SPI_GETDRAGFULLWINDOWS, 0, &on, 0);
  return on != FALSE;
}
void setFullWindowDragging(bool on) {
  SystemParametersInfoA(SPI_SETDRAGFULLWINDOWS, on ? TRUE : FALSE, nullptr, SPIF_SENDCHANGE);
}

intptr_t openLockFile(const std::filesystem::path& file) {
  HANDLE h = CreateFileW(file.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE)
    h = CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                    FILE_ATTRIBUTE_NORMAL, nullptr);
  return h == INVALID_HANDLE_VALUE ? -1 : reinterpret_cast<intptr_t>(h);
}
bool relockFile(intptr_t handle, bool exclusive) {
  HANDLE h = reinterpret_cast<HANDLE>(handle);
  OVERLAPPED o{};
  UnlockFileEx(h, 0, 1, 0, &o);
  const DWORD flags = LOCKFILE_FAIL_IMMEDIATELY | (exclusive ? LOCKFILE_EXCLUSIVE_LOCK : 0);
  return LockFileEx(h, flags, 0, 1, 0, &o) != FALSE;
}
void unlockFile(intptr_t handle) { CloseHandle(reinterpret_cast<HANDLE>(handle)); }
#else
bool fullWindowDragging() { return false; }
void setFullWindowDragging(bool) {}

// flock locks belong to the open file, so each handle is a lock of its own.
intptr_t openLockFile(const std::filesystem::path& file) {
  int fd = ::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
  return fd;
}
bool relockFile(intptr_t handle, bool exclusive) {
  return ::flock(static_cast<int>(handle), (exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB) == 0;
}
void unlockFile(intptr_t handle) { ::close(static_cast<int>(handle)); }
#endif

intptr_t lockFile(const std::filesystem::path& file, bool exclusive) {
  const intptr_t handle = openLockFile(file);
  if (handle == -1) return -1;
  if (!relockFile(handle, exclusive)) {
    unlockFile(handle);
    return -1;
  }
  return handle;
}

}  // namespace velmora::platform
