// ScratchDirectory: a new empty directory of one run's own, readable by its
// owner only (it may hold copies of tables with password digests), removed
// with all it holds when the run is over. A run that is killed leaves it
// behind; while a run lives it holds a lock inside, so a later run can tell
// a leftover from a directory in use and clear only the leftovers.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

namespace velmora::shell {

class ScratchDirectory {
 public:
  // Under `parent`, named `prefix` and a random number; leftovers of killed
  // runs with the same prefix in `parent` are removed first.
  ScratchDirectory(const std::filesystem::path& parent, const std::string& prefix);
  ~ScratchDirectory();
  ScratchDirectory(const ScratchDirectory&) = delete;
  ScratchDirectory& operator=(const ScratchDirectory&) = delete;

  // The lock a living run keeps inside: never data.
  static constexpr const char* kLockName = ".en-uso";

  bool made() const { return !path_.empty(); }
  const std::filesystem::path& path() const { return path_; }

  // Removes the directories `prefix`* in `parent` that no living run holds.
  static void clearLeftovers(const std::filesystem::path& parent, const std::string& prefix);

 private:
  std::filesystem::path path_;
  intptr_t lock_ = -1;
};

}  // namespace velmora::shell
