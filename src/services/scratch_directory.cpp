#include "services/scratch_directory.h"

#include <random>

namespace velmora::services {

namespace fs = std::filesystem;

ScratchDirectory::ScratchDirectory(const fs::path& parent, const std::string& prefix) {
  std::random_device random;
  for (int attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
    const fs::path candidate = parent / (prefix + std::to_string(random()));
    std::error_code ec;
    if (fs::create_directory(candidate, ec)) path_ = candidate;  // false when it already existed
  }
}

ScratchDirectory::~ScratchDirectory() {
  std::error_code ec;
  if (made()) fs::remove_all(path_, ec);
}

}  // namespace velmora::services
