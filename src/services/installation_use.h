// InstallationUse: who is using an installation. Every program working on a
// data directory holds a shared lock on its use file; a restore needs the
// lock alone, so it never swaps table files under a running program. The
// system drops the lock of a program that ends, however it ends.
#pragma once

#include <cstdint>
#include <filesystem>

namespace velmora::services {

class InstallationUse {
 public:
  static constexpr const char* kFileName = ".velmora-en-uso";

  InstallationUse() = default;
  InstallationUse(const InstallationUse&) = delete;
  InstallationUse& operator=(const InstallationUse&) = delete;
  ~InstallationUse() { release(); }

  // Uses the installation beside others; false while a restore holds it.
  bool share(const std::filesystem::path& dataDir);
  // Holds the installation alone (from a shared use too); false while any
  // other program uses it. A use that cannot become exclusive stays shared.
  bool takeAlone(const std::filesystem::path& dataDir);
  // Back from alone to shared.
  void shareAgain();
  void release();
  bool held() const { return handle_ >= 0; }

 private:
  intptr_t handle_ = -1;
  bool alone_ = false;
};

}  // namespace velmora::services
