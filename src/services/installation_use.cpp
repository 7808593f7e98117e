#include "services/installation_use.h"

#include "shell/platform.h"

namespace velmora::services {

bool InstallationUse::share(const std::filesystem::path& dataDir) {
  if (held()) return true;
  handle_ = platform::lockFile(dataDir / kFileName, false);
  alone_ = false;
  return held();
}

bool InstallationUse::takeAlone(const std::filesystem::path& dataDir) {
  if (!held()) {
    handle_ = platform::lockFile(dataDir / kFileName, true);
    alone_ = held();
    return alone_;
  }
  if (alone_) return true;
  if (platform::relockFile(handle_, true)) {
    alone_ = true;
    return true;
  }
  // A failed change may have dropped the shared lock: take it again.
  platform::relockFile(handle_, false);
  return false;
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
