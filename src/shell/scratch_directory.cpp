#include "shell/scratch_directory.h"

#include <chrono>
#include <random>

#include "shell/platform.h"

namespace velmora::shell {

namespace fs = std::filesystem;

namespace {}

void ScratchDirectory::clearLeftovers(const fs::path& parent, const std::string& prefix) {
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(parent, ec)) {
    const std::string name = entry.path().filename().string();
    if (name.rfind(prefix, 0) != 0 || !entry.is_directory(ec) || entry.is_symlink(ec)) continue;
    const fs::path lockFile = entry.path() / kLockName;
    bool leftover = false;
    if (fs::exists(lockFile, ec)) {
      const intptr_t held = platform::lockFile(lockFile, true);
      leftover = held != -1;
      if (held != -1) platform::unlockFile(held);
    } else {
      // Made a moment ago and not yet locked, or left by a run killed
      // before it could lock: only an old one is a leftover.
      const auto age = fs::file_time_type::clock::now() - fs::last_write_time(entry.path(), ec);
      leftover = !ec && age > std::chrono::minutes(10);
    }
    if (leftover) fs::remove_all(entry.path(), ec);
  }
}

ScratchDirectory::ScratchDirectory(const fs::path& parent, const std::string& prefix) {
  clearLeftovers(parent, prefix);
  std::random_device random;
  for (int attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
    const fs::path candidate = parent / (prefix + std::to_string(random()));
    std::error_code ec;
    if (!fs::create_directory(candidate, ec)) continue;  // false when it already existed
    fs::permissions(candidate, fs::perms::owner_all, fs::perm_options::replace, ec);
    lock_ = platform::lockFile(candidate / kLockName, false);
    path_ = candidate;
  }
}

ScratchDirectory::~ScratchDirectory() {
  if (lock_ != -1) platform::unlockFile(lock_);
  std::error_code ec;
  if (made()) fs::remove_all(path_, ec);
}

}  // namespace velmora::shell
