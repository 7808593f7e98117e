// InstallationUse: who is using an installation. Every program working on a
// data directory holds a shared lock on its use file; a restore needs the
// lock alone, so it never swaps table files under a running program. The
// system drops the lock of a program that ends, however it ends.
//
// An installation whose folder cannot be written (a read-only copy, a CD)
// has no use file to lock; nobody can restore into it either, so readers go
// on without the lock.
#pragma once

#include <cstdint>
#include <filesystem>

namespace velmora::services {

class InstallationUse {
 public:
  static constexpr const char* kFileName = ".velmora-en-uso";

  enum class Outcome {
    kHeld,        // the lock is held as asked
    kBusy,        // another program's lock conflicts (a restore, or users)
    kNoLockFile,  // the use file can be neither created nor opened
  };

  InstallationUse() = default;
  InstallationUse(const InstallationUse&) = delete;
  InstallationUse& operator=(const InstallationUse&) = delete;
  ~InstallationUse() { release(); }

  // Uses the installation beside others; kBusy while a restore holds it.
  Outcome share(const std::filesystem::path& dataDir);
  // Holds the installation alone (from a shared use too); kBusy while any
  // other program uses it. A use that cannot become exclusive stays shared.
  Outcome takeAlone(const std::filesystem::path& dataDir);
  // Back from alone to shared.
  void shareAgain();
  void release();
  bool held() const { return handle_ >= 0; }
  bool alone() const { return alone_; }
  // Whether this use made the use file (it did not exist before): a failed
  // restore into a folder that was not an installation removes it again.
  bool createdFile() const { return createdFile_; }

 private:
  Outcome lock(const std::filesystem::path& dataDir, bool exclusive);

  intptr_t handle_ = -1;
  bool alone_ = false;
  bool createdFile_ = false;
};

}  // namespace velmora::services
