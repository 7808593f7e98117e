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

class ZipArchiver {
 public:
  static constexpr int kDone = 0, kFailed = 3;
  // Execute's action: create the archive anew from the included files.
  static constexpr int kCreate = 2;
  // Option bits: store names without their directory; the comment was set;
  // copy live table files as snapshots.
  static constexpr uint32_t kJunkPaths = 1, kCommented = 32, kSnapshotTables = 0x80000;
  // Negative results of Execute.
  static constexpr int kBadInclude = -1, kUnknownAction = -2, kNothingToPack = -3, kStopped = -4, kSnapshotFailed = -5,
                       kZipFailure = -100;  // kZipFailure - libzip's code

  // Clears the archiver and sets level 6; progress goes to `progress`.
  void init(ZipProgress progress = {});
  void setArchive(const std::string& name);
  // Empties the include list, then appends `pattern`.
  void setInclude(const std::string& pattern);
  // Appends one pattern (a file, or a directory with a wildcard).
  void addInclude(const std::string& pattern);
  // Packs `file` under the archive name `entryName`, beside the include list.
  void addFile(const std::filesystem::path& file, const std::string& entryName);
  // Leaves out files of this name wherever the include list finds them.
  void exclude(const std::string& fileName) { excluded_.push_back(fileName); }
  void setComment(const std::string& text);
  // 0 to 9; any other value gives 6. Returns the level in force.
  int setLevel(int level);
  // 0 clears every option bit; otherwise the bits given are added.
  void setOptions(uint32_t bits);
  // Packs: kDone, or kFailed with failureText() saying why.
  int execute(int action);
  // Asks a running execute() to stop; safe from any thread.
  void requestStop() { stop_ = true; }

  const std::string& archive() const { return archive_; }
  const std::string& includeList() const { return include_; }
  const std::string& comment() const { return comment_; }
  int level() const { return level_; }
  uint32_t options() const { return options_; }
  int lastResult() const { return lastResult_; }
  // The "Zip Error" text of the last failure.
  std::string failureText() const;
  // Why the last execute() failed, in Spanish, on one line.
  std::string reason() const;
  // The folders a run keeps its snapshots and unfinished archive in, beside
  // the archive; one left by a killed run is cleared by the next.
  static constexpr const char* kScratchPrefix = ".velmora-respaldo-";
  // The names packed by the last execute(), in order.
  const std::vector<std::string>& packed() const { return packed_; }

  // The archive name execute() writes: `name` with ".zip" when it has no extension.
  static std::filesystem::path archivePath(const std::string& name);
  // The include list split into its patterns (quotes removed); false
  // when a quote is not closed.
  static bool splitInclude(const std::string& list, std::vector<std::string>& patterns);

 private:
  struct Source;
  struct Planned;
  int pack(int action);
  // The files the include list and the added files name, each once.
  std::vector<std::pair<std::filesystem::path, std::string>> entriesOf(const std::vector<std::string>& patterns) const;
  // What each entry is read from (a live table's snapshot in `temp`) and
  // the bytes in all.
  int planEntries(const std::vector<std::pair<std::filesystem::path, std::string>>& entries,
                  const std::filesystem::path& temp, std::vector<Planned>* planned, uint64_t* total);
  // The archive written whole at `made` (beside `target`).
  int writeArchive(const std::vector<Planned>& planned, uint64_t total, const std::filesystem::path& made,
                   const std::filesystem::path& target);
  int fail(int code);

  ZipProgress progress_;
  std::string archive_, include_, comment_;
  std::vector<std::pair<std::filesystem::path, std::string>> extraFiles_;
  std::vector<std::string> excluded_;
  int level_ = 6;
  uint32_t options_ = 0;
  int lastResult_ = 0;
  std::string detail_;
  std::vector<std::string> packed_;
  std::atomic<bool> stop_{false};
};

}  // namespace velmora::services
