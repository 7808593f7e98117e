#include "services/installation_use.h"

#include "shell/platform.h"

namespace velmora::services {

namespace fs = std::filesystem;

InstallationUse::Outcome InstallationUse::lock(const fs::path& dataDir, bool exclusive) {
  const fs::path file = dataDir / kFileName;
  std::error_code ec;
  const bool existed = fs::exists(file, ec);
  const intptr_t handle = platform::openLockFile(file);
  if (handle == -1) return Outcome::kNoLockFile;
  if (!platform::relockFile(handle, exclusive)) {
    platform::unlockFile(handle);
    if (!existed) fs::remove(file, ec);
    return Outcome::kBusy;
  }
  handle_ = handle;
  alone_ = exclusive;
  createdFile_ = !existed;
  return Outcome::kHeld;
}

InstallationUse::Outcome InstallationUse::share(const fs::path& dataDir) {
  if (held()) return Outcome::kHeld;
  return lock(dataDir, false);
}

InstallationUse::Outcome InstallationUse::takeAlone(const fs::path& dataDir) {
  if (!held()) return lock(dataDir, true);
  if (alone_) return Outcome::kHeld;
  if (platform::relockFile(handle_, true)) {
    alone_ = true;
    return Outcome::kHeld;
  }
  // A failed change may have dropped the shared lock: take it again.
  platform::relockFile(handle_, false);
  return Outcome::kBusy;
}

void InstallationUse::shareAgain() {
  if (held() && alone_) platform::relockFile(handle_, false);
  alone_ = false;
}

void InstallationUse::release() {
  if (held()) platform::unlockFile(handle_);
  handle_ = -1;
  alone_ = false;
}

}  // namespace velmora::services
