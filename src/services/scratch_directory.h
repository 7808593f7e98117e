// ScratchDirectory: a new empty directory of one run's own, removed with all
// it holds when the run is over, however it ends.
#pragma once

#include <filesystem>
#include <string>

namespace velmora::services {

class ScratchDirectory {
 public:
  // Under `parent`, named `prefix` and a random number.
  ScratchDirectory(const std::filesystem::path& parent, const std::string& prefix);
  ~ScratchDirectory();
  ScratchDirectory(const ScratchDirectory&) = delete;
  ScratchDirectory& operator=(const ScratchDirectory&) = delete;

  bool made() const { return !path_.empty(); }
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

}  // namespace velmora::services
