// ZipArchiver: packs the files of an include list into one zip archive, with
// a comment and a compression level, relaying its progress to whoever shows
// it. Live table files are packed as consistent snapshots, and the archive is
// written under a temporary name and renamed only when complete, so a failed
// or stopped run never leaves a partial archive under the final name.
#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "framework/status.h"

namespace velmora::services {

// Where the archiver reports while it packs. Any member may be empty.
struct ZipProgress {
  // First bar: the file being packed, in percent; second bar: the archive.
  std::function<void(int first, int second)> bars;
  // The name of the file that starts being packed.
  std::function<void(const std::string& name)> file;
};

// Whether a file is a table (a SQLite database), by its first bytes.
bool isTableFile(const std::filesystem::path& file);
// libzip's error code (and the system's errno behind it, or 0) in Spanish.
std::string zipErrorText(int zipError, int systemError);

// One archive to make: what goes in, and how it is written.
struct ZipJob {
  std::string archive;  // ".zip" is added when the name has no extension
  // Files, or a folder with a wildcard ("/datos/*.*"); each file goes in once.
  std::vector<std::filesystem::path> include;
  // Files packed under the entry name given, beside the include list.
  std::vector<std::pair<std::filesystem::path, std::string>> files;
  // File names left out wherever the include list finds them.
  std::vector<std::string> excluded;
  std::string comment;  // trailing blanks dropped, at most 1,023 bytes kept
  int level = 6;        // 0 (stored) to 9; any other value gives 6
  // An entry keeps its folders as seen from the current directory, instead
  // of its file name alone.
  bool keepFolders = false;
  // Live table files are packed as consistent snapshots (their journals
  // left out).
  bool snapshotTables = true;
};

class ZipArchiver {
 public:
  // Makes `job`'s archive, reporting to `progress`: ok, kCancelled when a
  // stop was asked for, or the failure with why in Spanish on one line.
  Status pack(const ZipJob& job, ZipProgress progress = {});
  // Asks a running pack() to stop; safe from any thread. A new pack()
  // starts without it.
  void requestStop() { stop_ = true; }

  // The "Zip Error" text of the last failure.
  std::string failureText() const;
  // The names packed by the last pack(), in order.
  const std::vector<std::string>& packed() const { return packed_; }

  // The folders a run keeps its snapshots and unfinished archive in, beside
  // the archive; one left by a killed run is cleared by the next.
  static constexpr const char* kScratchPrefix = ".velmora-respaldo-";
  // The archive name pack() writes: `name` with ".zip" when it has no extension.
  static std::filesystem::path archivePath(const std::string& name);
  // The compression level pack() uses for `level`.
  static int levelInForce(int level) { return level >= 0 && level <= 9 ? level : 6; }

 private:
  struct Source;
  struct Planned;
  // The internal codes the "Zip Error" text names; a libzip failure is
  // kZipFailure minus libzip's code.
  static constexpr int kNothingToPack = -3, kStopped = -4, kSnapshotFailed = -5, kZipFailure = -100;

  Status run();
  // The files the include list and the added files name, each once.
  std::vector<std::pair<std::filesystem::path, std::string>> entries() const;
  // What each entry is read from (a live table's snapshot in `temp`) and
  // the bytes in all.
  Status planEntries(const std::vector<std::pair<std::filesystem::path, std::string>>& entries,
                     const std::filesystem::path& temp, std::vector<Planned>* planned, uint64_t* total);
  // The archive written whole at `made` (beside `target`).
  Status writeArchive(const std::vector<Planned>& planned, uint64_t total, const std::filesystem::path& made,
                      const std::filesystem::path& target);
  Status fail(int code, std::string why);

  ZipJob job_;
  ZipProgress progress_;
  int code_ = 0;
  std::string why_;
  std::vector<std::string> packed_;
  std::atomic<bool> stop_{false};
};

}  // namespace velmora::services
