#include "services/zip_archiver.h"

#include "shell/scratch_directory.h"
#include "tables/table_file.h"

#include <zip.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>

namespace velmora::services {

namespace fs = std::filesystem;

namespace {

std::string trimRight(std::string s) {
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.pop_back();
  return s;
}

bool hasWildcard(const std::string& s) { return s.find_first_of("*?") != std::string::npos; }

// "*" any run of characters, "?" any one; letters compared as they are.
bool matches(const char* pattern, const char* name) {
  if (*pattern == '\0') return *name == '\0';
  if (*pattern == '*') return matches(pattern + 1, name) || (*name && matches(pattern, name + 1));
  return *name && (*pattern == '?' || *pattern == *name) && matches(pattern + 1, name + 1);
}

time_t modificationTime(const fs::path& file) {
  std::error_code ec;
  const auto when = fs::last_write_time(file, ec);
  if (ec) return 0;
  return std::chrono::system_clock::to_time_t(std::chrono::file_clock::to_sys(when));
}

// The files one pattern names: a file, every file of a directory, or
// the files of a directory that match a wildcard ("*.*" is every file).
std::vector<fs::path> filesOf(const std::string& included) {
  std::vector<fs::path> found;
  std::error_code ec;
  const fs::path p(included);
  if (!hasWildcard(p.filename().string())) {
    if (fs::is_regular_file(p, ec)) {
      found.push_back(p);
      return found;
    }
    if (!fs::is_directory(p, ec)) return found;
  }
  const fs::path dir = hasWildcard(p.filename().string()) ? p.parent_path() : p;
  const std::string wildcard = hasWildcard(p.filename().string()) ? p.filename().string() : "*";
  for (const auto& entry : fs::directory_iterator(dir.empty() ? fs::path(".") : dir, ec)) {
    if (!entry.is_regular_file(ec)) continue;
    const std::string name = entry.path().filename().string();
    if (wildcard == "*.*" || matches(wildcard.c_str(), name.c_str())) found.push_back(entry.path());
  }
  std::sort(found.begin(), found.end());
  return found;
}

// The journal of a live table comes and goes with its writer's transaction;
// the table's snapshot already holds what it protects. So do SQLite's
// super-journals ("DATA1-mj1A2B3C4D") of a transaction over attached files.
bool isJournalOfTable(const fs::path& file) {
  const std::string name = file.string();
  const std::string base = file.filename().string();
  const size_t mj = base.rfind("-mj");
  if (mj != std::string::npos && mj > 0 && mj + 3 < base.size() &&
      base.find_first_not_of("0123456789ABCDEFabcdef", mj + 3) == std::string::npos)
    return true;
  for (const std::string suffix : {"-journal", "-wal", "-shm"}) {
    if (name.size() > suffix.size() && name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0)
      return isTableFile(name.substr(0, name.size() - suffix.size()));
  }
  return false;
}

}  // namespace

std::string zipErrorText(int zipError, int systemError) {
  std::string text;
  switch (zipError) {
    case ZIP_ER_OK: text = "sin error"; break;
    case ZIP_ER_RENAME: text = "no se pudo renombrar el archivo temporal"; break;
    case ZIP_ER_CLOSE: text = "no se pudo cerrar el archivo"; break;
    case ZIP_ER_SEEK:
    case ZIP_ER_READ: text = "error al leer"; break;
    case ZIP_ER_WRITE: text = "error al escribir"; break;
    case ZIP_ER_CRC: text = "el control CRC no coincide"; break;
    case ZIP_ER_NOENT: text = "no existe el archivo"; break;
    case ZIP_ER_EXISTS: text = "el archivo ya existe"; break;
    case ZIP_ER_OPEN: text = "no se pudo abrir el archivo"; break;
    case ZIP_ER_TMPOPEN: text = "no se pudo crear el archivo temporal"; break;
    case ZIP_ER_ZLIB:
    case ZIP_ER_COMPRESSED_DATA: text = "los datos comprimidos están dañados"; break;
    case ZIP_ER_MEMORY: text = "no hay memoria suficiente"; break;
    case ZIP_ER_NOZIP: text = "no es un archivo zip"; break;
    case ZIP_ER_INCONS: text = "el archivo zip es inconsistente"; break;
    case ZIP_ER_CANCELLED: text = "se detuvo a petición del usuario"; break;
    case ZIP_ER_RDONLY: text = "el archivo es de solo lectura"; break;
    default: text = "error de zip " + std::to_string(zipError); break;
  }
  switch (systemError) {
    case 0: break;
    case ENOSPC: text += ": no queda espacio en el disco"; break;
    case EACCES:
    case EPERM: text += ": no hay permiso"; break;
    case EROFS: text += ": el disco es de solo lectura"; break;
    case ENOENT: text += ": no existe el archivo o la carpeta"; break;
#ifdef EDQUOT
    case EDQUOT: text += ": se agotó la cuota de disco"; break;
#endif
    case EIO: text += ": error de entrada y salida del disco"; break;
    default: text += " (código " + std::to_string(systemError) + ")"; break;
  }
  return text;
}

bool isTableFile(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  char head[16] = {};
  return in.read(head, sizeof head) && std::memcmp(head, "SQLite format 3", 16) == 0;
}

// One file being packed: libzip reads it through this source, which tells
// the archiver where it is and stops the read when asked to.
struct ZipArchiver::Source {
  ZipArchiver* owner;
  fs::path path;     // what is read (the snapshot of a table)
  std::string name;  // the name in the archive
  uint64_t size = 0;
  time_t mtime = 0;
  uint64_t* packedBytes;  // of the whole archive
  uint64_t totalBytes;
  FILE* file = nullptr;
  uint64_t done = 0;
  int shownFirst = -1, shownSecond = -1;
  zip_error_t error;

  static zip_int64_t call(void* state, void* data, zip_uint64_t len, zip_source_cmd_t cmd) {
    return static_cast<Source*>(state)->handle(data, len, cmd);
  }

  zip_int64_t handle(void* data, zip_uint64_t len, zip_source_cmd_t cmd) {
    switch (cmd) {
      case ZIP_SOURCE_OPEN:
        file = std::fopen(path.c_str(), "rb");
        if (!file) {
          zip_error_set(&error, ZIP_ER_OPEN, errno);
          return -1;
        }
        done = 0;
        owner->packed_.push_back(name);
        if (owner->progress_.file) owner->progress_.file(name);
        report();
        return 0;
      case ZIP_SOURCE_READ: {
        if (owner->stop_) {
          zip_error_set(&error, ZIP_ER_CANCELLED, 0);
          return -1;
        }
        const size_t n = std::fread(data, 1, len, file);
        if (n == 0 && std::ferror(file)) {
          zip_error_set(&error, ZIP_ER_READ, errno);
          return -1;
        }
        done += n;
        *packedBytes += n;
        report();
        return static_cast<zip_int64_t>(n);
      }
      case ZIP_SOURCE_CLOSE:
        if (file) std::fclose(file);
        file = nullptr;
        return 0;
      case ZIP_SOURCE_STAT: {
        auto* st = static_cast<zip_stat_t*>(data);
        zip_stat_init(st);
        st->size = size;
        st->mtime = mtime;
        st->valid = ZIP_STAT_SIZE | ZIP_STAT_MTIME;
        return sizeof(*st);
      }
      case ZIP_SOURCE_ERROR: return zip_error_to_data(&error, data, len);
      case ZIP_SOURCE_FREE:
        if (file) std::fclose(file);
        zip_error_fini(&error);
        delete this;
        return 0;
      case ZIP_SOURCE_SUPPORTS:
        return zip_source_make_command_bitmap(ZIP_SOURCE_OPEN, ZIP_SOURCE_READ, ZIP_SOURCE_CLOSE, ZIP_SOURCE_STAT,
                                              ZIP_SOURCE_ERROR, ZIP_SOURCE_FREE, -1);
      default: zip_error_set(&error, ZIP_ER_OPNOTSUPP, 0); return -1;
    }
  }

  void report() {
    if (!owner->progress_.bars) return;
    const int first = size ? static_cast<int>(done * 100 / size) : 100;
    const int second = totalBytes ? static_cast<int>(*packedBytes * 100 / totalBytes) : 100;
    if (first == shownFirst && second == shownSecond) return;
    shownFirst = first;
    shownSecond = second;
    owner->progress_.bars(first, second);
  }
};

Status ZipArchiver::pack(const ZipJob& job, ZipProgress progress) {
  job_ = job;
  job_.comment = trimRight(job_.comment).substr(0, 1023);
  job_.level = levelInForce(job_.level);
  progress_ = std::move(progress);
  code_ = 0;
  why_.clear();
  packed_.clear();
  stop_ = false;
  if (progress_.bars) progress_.bars(0, 0);
  Status result = run();
  if (progress_.bars) progress_.bars(0, 0);
  if (progress_.file) progress_.file("");
  return result;
}

fs::path ZipArchiver::archivePath(const std::string& name) {
  fs::path p(trimRight(name));
  if (!p.has_extension()) p += ".zip";
  return p;
}

std::string ZipArchiver::failureText() const {
  std::string text = "An error prevented zipping files to " + trimRight(job_.archive) + "|An internal errorcode of " +
                     std::to_string(code_) +
                     " was reported.|If the error persists, delete the zip file and run the process again.";
  if (!why_.empty()) text += "|" + why_;
  return text;
}

Status ZipArchiver::fail(int code, std::string why) {
  code_ = code;
  why_ = why;
  if (code == kStopped) return Status::error(Status::Code::kCancelled, "Se detuvo a petición del usuario.");
  return Status::error(code == kNothingToPack ? Status::Code::kInvalid : Status::Code::kIoError, std::move(why));
}

std::vector<std::pair<fs::path, std::string>> ZipArchiver::entries() const {
  // Each file once, under its name.
  std::vector<std::pair<fs::path, std::string>> entries;
  for (const fs::path& pattern : job_.include) {
    for (const fs::path& f : filesOf(pattern.string())) {
      if (std::find(job_.excluded.begin(), job_.excluded.end(), f.filename().string()) != job_.excluded.end()) continue;
      if (job_.snapshotTables && isJournalOfTable(f)) continue;
      const std::string name =
          job_.keepFolders ? fs::absolute(f).lexically_relative(fs::current_path()).string() : f.filename().string();
      bool seen = false;
      for (const auto& e : entries) seen = seen || e.second == name;
      if (!seen) entries.emplace_back(f, name);
    }
  }
  for (const auto& extra : job_.files) {
    std::error_code ec;
    if (fs::is_regular_file(extra.first, ec)) entries.push_back(extra);
  }
  return entries;
}

struct ZipArchiver::Planned {
  fs::path read;
  std::string name;
  uint64_t size;
  time_t mtime;
};

Status ZipArchiver::planEntries(const std::vector<std::pair<fs::path, std::string>>& entries, const fs::path& temp,
                                std::vector<Planned>* plannedOut, uint64_t* totalOut) {
  std::vector<Planned>& planned = *plannedOut;
  uint64_t& total = *totalOut;
  int n = 0;
  for (const auto& [file, name] : entries) {
    if (stop_) return fail(kStopped, {});
    fs::path read = file;
    if (job_.snapshotTables && isTableFile(file)) {
      read = temp / std::to_string(n++);
      if (Status st = tables::snapshotTableFile(file, read, std::chrono::seconds(30)); !st)
        return fail(kSnapshotFailed, st.text());
    }
    std::error_code ec;
    const uint64_t size = fs::file_size(read, ec);
    if (ec) return fail(kSnapshotFailed, file.filename().string() + ": no se pudo leer");
    planned.push_back({read, name, size, modificationTime(file)});
    total += size;
  }
  return Status::ok();
}

Status ZipArchiver::writeArchive(const std::vector<Planned>& planned, uint64_t total, const fs::path& made,
                                 const fs::path& target) {
  int err = 0;
  zip_t* za = zip_open(made.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &err);
  if (!za) return fail(kZipFailure - err, target.filename().string() + ": " + zipErrorText(err, 0));
  if (!job_.comment.empty())
    zip_set_archive_comment(za, job_.comment.c_str(), static_cast<zip_uint16_t>(job_.comment.size()));
  uint64_t packedBytes = 0;
  for (const Planned& p : planned) {
    auto* s = new Source{this, p.read, p.name, p.size, p.mtime, &packedBytes, total};
    zip_error_init(&s->error);
    zip_source_t* src = zip_source_function(za, &Source::call, s);
    if (!src) {
      zip_error_fini(&s->error);
      delete s;
      zip_discard(za);
      return fail(kZipFailure - ZIP_ER_MEMORY, zipErrorText(ZIP_ER_MEMORY, 0));
    }
    const zip_int64_t index = zip_file_add(za, p.name.c_str(), src, ZIP_FL_ENC_UTF_8 | ZIP_FL_OVERWRITE);
    if (index < 0) {
      zip_source_free(src);
      const int code = zip_error_code_zip(zip_get_error(za));
      const std::string why = p.name + ": " + zipErrorText(code, zip_error_code_system(zip_get_error(za)));
      zip_discard(za);
      return fail(kZipFailure - code, why);
    }
    zip_set_file_compression(za, static_cast<zip_uint64_t>(index), job_.level == 0 ? ZIP_CM_STORE : ZIP_CM_DEFLATE,
                             static_cast<zip_uint32_t>(job_.level));
  }
  // libzip writes the archive under a temporary name and renames it only
  // when it is complete; then it comes out of the scratch folder, replacing
  // an older archive of the same name only now.
  if (zip_close(za) != 0) {
    const int code = zip_error_code_zip(zip_get_error(za));
    const std::string why = zipErrorText(code, zip_error_code_system(zip_get_error(za)));
    zip_discard(za);
    return fail(stop_ ? kStopped : kZipFailure - code, why);
  }
  return Status::ok();
}

Status ZipArchiver::run() {
  const std::vector<std::pair<fs::path, std::string>> included = entries();
  if (included.empty()) return fail(kNothingToPack, "No hay archivos que respaldar.");

  // Live tables are copied first, each as one consistent snapshot, into a
  // folder of this run's own beside the archive (readable by its owner only:
  // the settings table holds password digests). The archive is made there
  // too and renamed into place when complete, so a run that is killed leaves
  // only that folder, which the next run clears.
  const fs::path target = archivePath(job_.archive);
  const shell::ScratchDirectory scratch(fs::absolute(target).parent_path(), kScratchPrefix);
  if (!scratch.made()) return fail(kSnapshotFailed, "No se pudo crear una carpeta de trabajo junto al respaldo.");
  std::vector<Planned> planned;
  uint64_t total = 0;
  if (Status s = planEntries(included, scratch.path(), &planned, &total); !s) return s;
  const fs::path made = scratch.path() / target.filename();
  if (Status s = writeArchive(planned, total, made, target); !s) return s;
  std::error_code renameError;
  fs::rename(made, target, renameError);
  if (renameError)
    return fail(kZipFailure - ZIP_ER_RENAME, target.filename().string() + ": no se pudo colocar el respaldo terminado");
  return Status::ok();
}

}  // namespace velmora::services
