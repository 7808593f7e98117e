#include "services/restore.h"

#include <sqlite3.h>
#include <zip.h>

#include <chrono>
#include <cstring>
#include <ctime>
#include <fstream>
#include <memory>

#include "framework/dates.h"
#include "services/backup.h"
#include "services/scratch_directory.h"
#include "tables/catalogue.h"
#include "works/work.h"

namespace velmora::services {

namespace fs = std::filesystem;

namespace {

constexpr const char* kSystemPrefix = "ARCHIVOS DEL SISTEMA AL ";
constexpr const char* kWorkPrefix = "ARCHIVOS DE LA OBRA ";
const std::string kSettingsFolder = settingsEntryName("");

// A name that can only land inside its directory: no folders (but the
// settings table's own), no drive, nothing that climbs.
bool safeEntryName(const std::string& name, bool system) {
  std::string rest = name;
  if (system && name.rfind(kSettingsFolder, 0) == 0) rest = name.substr(kSettingsFolder.size());
  return !rest.empty() && rest != "." && rest != ".." && rest.find_first_of("/\\:") == std::string::npos;
}

bool isTableName(const std::string& fileName) {
  for (const auto& def : tables::allTables())
    if (def.fileName == fileName) return true;
  return false;
}

// Empty when the table is sound; else what SQLite found.
std::string integrityProblem(const fs::path& file) {
  sqlite3* db = nullptr;
  std::string problem = "no se pudo abrir";
  if (sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &st, nullptr) == SQLITE_OK) {
      if (sqlite3_step(st) == SQLITE_ROW) {
        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
        problem = text && std::string(text) == "ok" ? "" : (text ? text : "dañada");
      } else {
        problem = sqlite3_errmsg(db);
      }
    } else {
      problem = sqlite3_errmsg(db);
    }
    sqlite3_finalize(st);
  }
  sqlite3_close(db);
  return problem;
}

// A rename, or a copy where the two places are on different disks.
bool moveFile(const fs::path& from, const fs::path& to) {
  std::error_code ec;
  fs::rename(from, to, ec);
  if (!ec) return true;
  const fs::path temp = to.string() + ".restaurando";
  if (!fs::copy_file(from, temp, fs::copy_options::overwrite_existing, ec)) return false;
  fs::rename(temp, to, ec);
  if (ec) {
    fs::remove(temp, ec);
    return false;
  }
  fs::remove(from, ec);
  return true;
}

std::string stamp() {
  const std::tm local = dates::localTime(std::time(nullptr));
  char text[32];
  std::strftime(text, sizeof text, "%Y%m%d-%H%M%S", &local);
  return text;
}

struct Staged {
  std::string entry;
  fs::path staged;
  fs::path target;
};

// The archive's entries written under `staging`, each read whole so that
// libzip checks its CRC. Empty message when all went well.
std::string extract(zip_t* za, bool system, const fs::path& staging, std::vector<Staged>& out,
                    const tables::Installation& inst, const fs::path& targetDir) {
  const zip_int64_t count = zip_get_num_entries(za, 0);
  std::vector<char> buffer(1 << 16);
  for (zip_int64_t i = 0; i < count; ++i) {
    const char* raw = zip_get_name(za, static_cast<zip_uint64_t>(i), ZIP_FL_ENC_GUESS);
    const std::string name = raw ? raw : "";
    if (name == InstallationUse::kFileName) continue;
    if (!safeEntryName(name, system)) return "el respaldo contiene un nombre no permitido: " + name;
    const bool settings = name.rfind(kSettingsFolder, 0) == 0;
    const std::string file = settings ? name.substr(kSettingsFolder.size()) : name;
    const fs::path staged = staging / (settings ? "settings-" + file : file);
    zip_file_t* zf = zip_fopen_index(za, static_cast<zip_uint64_t>(i), 0);
    if (!zf) return name + ": " + zip_strerror(za);
    std::ofstream outFile(staged, std::ios::binary | std::ios::trunc);
    zip_int64_t n = 0;
    while ((n = zip_fread(zf, buffer.data(), buffer.size())) > 0) outFile.write(buffer.data(), n);
    const std::string readError = n < 0 ? zip_file_strerror(zf) : "";
    const int closed = zip_fclose(zf);
    outFile.close();
    if (n < 0) return name + ": " + readError;
    if (closed != 0) return name + ": dañado (código " + std::to_string(closed) + ")";
    if (!outFile) return name + ": no se pudo escribir en " + staging.string();
    fs::path target = targetDir / file;
    if (settings) {
      for (const auto& def : tables::allTables())
        if (def.settingsRole && def.fileName == file) target = inst.fileOf(def);
      if (target == targetDir / file) return "el respaldo contiene un nombre no permitido: " + name;
    }
    out.push_back({name, staged, target});
  }
  if (out.empty()) return "el respaldo no contiene archivos";
  for (const Staged& s : out) {
    const bool table = isTableFile(s.staged);
    if (!table && isTableName(s.target.filename().string()) && fs::file_size(s.staged) > 0)
      return s.entry + ": no es una tabla";
    if (table) {
      const std::string problem = integrityProblem(s.staged);
      if (!problem.empty()) return s.entry + ": tabla dañada (" + problem + ")";
    }
  }
  return "";
}

}  // namespace

BackupContents contentsOf(const std::string& comment) {
  BackupContents c;
  if (comment.rfind(kSystemPrefix, 0) == 0) {
    c.valid = c.system = true;
  } else if (comment.rfind(kWorkPrefix, 0) == 0) {
    const std::string rest = comment.substr(std::strlen(kWorkPrefix));
    const size_t at = rest.rfind(" AL ");
    if (at != std::string::npos && at > 0) {
      c.valid = true;
      c.work = rest.substr(0, at);
    }
  }
  return c;
}

namespace {

// An archive open for reading, closed (without writing) when it goes.
using OpenArchive = std::unique_ptr<zip_t, decltype(&zip_discard)>;

OpenArchive openArchive(const fs::path& archive, std::string& why) {
  int err = 0;
  OpenArchive za(zip_open(archive.c_str(), ZIP_RDONLY | ZIP_CHECKCONS, &err), &zip_discard);
  if (!za) {
    zip_error_t e;
    zip_error_init_with_code(&e, err);
    why = archive.string() + ": " + zip_error_strerror(&e);
    zip_error_fini(&e);
  }
  return za;
}

std::string commentOf(zip_t* za) {
  int length = 0;
  const char* text = zip_get_archive_comment(za, &length, ZIP_FL_ENC_GUESS);
  return text ? std::string(text, static_cast<size_t>(length)) : "";
}

}  // namespace

bool readBackupComment(const fs::path& archive, std::string& comment, std::string& why) {
  const OpenArchive za = openArchive(archive, why);
  if (!za) return false;
  comment = commentOf(za.get());
  return true;
}

RestoreResult restoreBackup(const tables::Installation& inst, const fs::path& archive, const std::string& work,
                            InstallationUse& use) {
  RestoreResult result;
  const OpenArchive za = openArchive(archive, result.message);
  if (!za) {
    result.message = "no se puede leer el respaldo: " + result.message;
    return result;
  }
  const BackupContents contents = contentsOf(commentOf(za.get()));
  if (!contents.valid) {
    result.message = "el archivo no es un respaldo del sistema ni de una obra: " + archive.string();
    return result;
  }
  if (!work.empty() && contents.work != work) {
    result.message = contents.system ? "el respaldo es de los archivos del sistema, no de la obra " + work
                                     : "el respaldo es de la obra " + contents.work + ", no de la obra " + work;
    return result;
  }
  result.work = contents.work;
  const fs::path dataDir = fs::absolute(inst.dataDir);
  const fs::path targetDir = contents.system ? dataDir : works::workDirectory(dataDir, contents.work);
  std::error_code ec;
  fs::create_directories(targetDir, ec);
  if (ec) {
    result.message = "no se pudo crear " + targetDir.string() + ": " + ec.message();
    return result;
  }

  // Everything is read and checked before anything is touched.
  const ScratchDirectory stagingDir(targetDir, ".restaura-");
  if (!stagingDir.made()) {
    result.message = "no se pudo crear una carpeta de trabajo en " + targetDir.string();
    return result;
  }
  std::vector<Staged> staged;
  const std::string problem = extract(za.get(), contents.system, stagingDir.path(), staged, inst, targetDir);
  if (!problem.empty()) {
    result.message = "el respaldo está dañado y no se restauró nada: " + problem;
    return result;
  }

  const bool wasHeld = use.held();
  if (!use.takeAlone(dataDir)) {
    result.message = "la instalación está en uso: cierre el programa en las demás estaciones y vuelva a intentarlo";
    return result;
  }
  struct GiveBack {
    InstallationUse& use;
    bool wasHeld;
    ~GiveBack() {
      if (wasHeld) use.shareAgain();
      else use.release();
    }
  } giveBack{use, wasHeld};

  // The files replaced, with their journals (a journal left beside the new
  // file would be played into it), go aside; then the new files come in.
  result.keptAside = targetDir / ("ANTERIOR-" + stamp());
  std::vector<std::pair<fs::path, fs::path>> asideMoves;  // from, to
  std::vector<fs::path> placed;
  bool failed = false;
  for (const Staged& s : staged) {
    for (const char* suffix : {"", "-journal", "-wal", "-shm"}) {
      const fs::path current = s.target.string() + suffix;
      if (!fs::exists(current, ec)) continue;
      const fs::path aside = result.keptAside / (s.entry + suffix);
      fs::create_directories(aside.parent_path(), ec);
      if (!moveFile(current, aside)) {
        failed = true;
        break;
      }
      asideMoves.emplace_back(current, aside);
    }
    if (failed || !moveFile(s.staged, s.target)) {
      failed = true;
      result.message = "no se pudo colocar " + s.target.string() + "; la instalación quedó como estaba";
      break;
    }
    placed.push_back(s.target);
    result.restored.push_back(s.entry);
  }
  if (failed) {
    for (const fs::path& p : placed) fs::remove(p, ec);
    for (auto it = asideMoves.rbegin(); it != asideMoves.rend(); ++it) moveFile(it->second, it->first);
    fs::remove_all(result.keptAside, ec);
    result.restored.clear();
    result.keptAside.clear();
    return result;
  }
  if (asideMoves.empty()) {
    fs::remove_all(result.keptAside, ec);
    result.keptAside.clear();
  }
  result.ok = true;
  return result;
}

}  // namespace velmora::services
