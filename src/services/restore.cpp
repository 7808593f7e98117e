#include "services/restore.h"

#include <zip.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <memory>

#include "framework/dates.h"
#include "framework/text.h"
#include "services/backup.h"
#include "services/backup_names.h"
#include "services/migration.h"
#include "services/restore_journal.h"
#include "services/update_run.h"
#include "shell/scratch_directory.h"
#include "tables/catalogue.h"
#include "tables/table_file.h"
#include "works/work.h"

namespace velmora::services {

namespace fs = std::filesystem;

namespace {

constexpr const char* kUnpackPrefix = ".restaura-";
constexpr const char* kServerUnpackPrefix = ".restauracion-servidor-";
constexpr const char* kKeptAsidePrefix = "ANTERIOR-";
constexpr const char* kHalfCopySuffix = ".restaurando";

// Room left on the disk beyond what the archive unpacks.
constexpr uint64_t kSpaceMargin = 64ull << 20;

struct Planned {
  zip_uint64_t index = 0;
  std::string entry;                      // its name in the archive
  const tables::TableDef* def = nullptr;  // the table it must be; null for a document
  fs::path target;
  uint64_t size = 0;
  fs::path staged;
};

// Where an entry goes, or why it is refused. `skip` for entries a backup
// holds that are not put back (the use file, a kept direct cost).
std::string planEntry(const std::string& name, bool system, const tables::Installation& inst, const fs::path& targetDir,
                      Planned& p, bool& skip) {
  const EntryPlace place = placeOfEntry(name, system);
  skip = place.kind == EntryPlace::Kind::kSkipped;
  if (place.kind == EntryPlace::Kind::kRefused) return place.why;
  p.entry = name;
  p.def = place.def;
  p.target = place.settings ? inst.fileOf(*place.def) : targetDir / place.file;
  std::error_code ec;
  if (fs::exists(fs::symlink_status(p.target, ec)) && !fs::is_regular_file(fs::symlink_status(p.target, ec)))
    return "el respaldo contiene " + name + ", que en la instalación no es un archivo";
  return "";
}

// Held while a restore has the installation alone: gives it back as the
// caller held it (shared, or not at all), and removes a use file the
// restore made when it did not succeed.
struct GiveBackUse {
  InstallationUse& use;
  bool wasHeld;
  fs::path dataDir;
  const bool& succeeded;
  ~GiveBackUse() {
    if (wasHeld) {
      use.shareAgain();
      return;
    }
    const bool removeFile = use.createdFile() && !succeeded;
    use.release();
    std::error_code ec;
    if (removeFile) fs::remove(dataDir / InstallationUse::kFileName, ec);
  }
};

// Tests stop the process after a given rename to check that the journal
// makes a restore cut short recoverable.
void afterRename() {
#ifndef _WIN32
  static int renames = 0;
  const char* stopAt = std::getenv("VELMORA_TEST_KILL_AFTER_RENAME");
  if (stopAt && ++renames == std::atoi(stopAt)) std::raise(SIGKILL);
#endif
}

// "ANTERIOR-<date-time>", with "-2", "-3"... when a restore in the same
// second already took that name: each restore keeps its own originals.
fs::path makeKeptAsideFolder(const fs::path& parent) {
  const std::tm local = dates::localTime(std::time(nullptr));
  char stamp[32];
  std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
  for (int n = 1; n < 1000; ++n) {
    const fs::path candidate =
        parent / (kKeptAsidePrefix + std::string(stamp) + (n > 1 ? "-" + std::to_string(n) : ""));
    std::error_code ec;
    if (fs::create_directory(candidate, ec)) return candidate;
  }
  return {};
}

// Unpacks one planned entry into `p.staged`, never more than its declared
// size; a table's first page must be a database header that agrees with it.
std::string extractEntry(zip_t* za, Planned& p) {
  zip_file_t* zf = zip_fopen_index(za, p.index, 0);
  if (!zf) return p.entry + ": " + zipErrorText(zip_error_code_zip(zip_get_error(za)), 0);
  std::ofstream out(p.staged, std::ios::binary | std::ios::trunc);
  std::vector<char> buffer(1 << 16);
  uint64_t done = 0;
  std::string problem;
  for (;;) {
    // One byte beyond the declared size is asked for, to notice more.
    const uint64_t want = std::min<uint64_t>(buffer.size(), p.size - done + 1);
    const zip_int64_t n = zip_fread(zf, buffer.data(), want);
    if (n < 0) {
      problem = p.entry + ": dañado (" + zipErrorText(zip_error_code_zip(zip_file_get_error(zf)), 0) + ")";
      break;
    }
    if (n == 0) break;
    if (done == 0 && p.def) {
      const auto header =
          tables::readTableHeader(reinterpret_cast<const unsigned char*>(buffer.data()), static_cast<size_t>(n));
      if (!header.isDatabase) {
        problem = p.entry + ": no es una tabla";
        break;
      }
      if (header.statedSize != 0 && header.statedSize != p.size) {
        problem = p.entry + ": su tamaño no es el de la tabla que contiene";
        break;
      }
    }
    done += static_cast<uint64_t>(n);
    if (done > p.size) {
      problem = p.entry + ": contiene más datos de los que declara";
      break;
    }
    out.write(buffer.data(), n);
  }
  const int closed = zip_fclose(zf);
  out.close();
  if (problem.empty() && closed != 0) problem = p.entry + ": dañado (código " + std::to_string(closed) + ")";
  if (problem.empty() && done != p.size) problem = p.entry + ": incompleto";
  if (problem.empty() && !out) problem = p.entry + ": no se pudo escribir en la carpeta de trabajo";
  if (problem.empty() && p.def && p.size == 0) problem = p.entry + ": la tabla está vacía";
  if (problem.empty() && p.def) {
    // Named by its entry: the staged file's own name means nothing to the user.
    const Status s = tables::checkTableFile(p.staged, *p.def, tables::FileCheck::kWhole, p.entry);
    if (!s) problem = s.text();
  }
  return problem;
}

// An archive open for reading, closed (without writing) when it goes.
using OpenArchive = std::unique_ptr<zip_t, decltype(&zip_discard)>;

OpenArchive openArchive(const fs::path& archive, std::string& why) {
  int err = 0;
  OpenArchive za(zip_open(archive.c_str(), ZIP_RDONLY | ZIP_CHECKCONS, &err), &zip_discard);
  if (!za) {
    why = archive.filename().string() + ": " + zipErrorText(err, 0);
  }
  return za;
}

std::string commentOf(zip_t* za) {
  int length = 0;
  const char* text = zip_get_archive_comment(za, &length, ZIP_FL_ENC_GUESS);
  return text ? std::string(text, static_cast<size_t>(length)) : "";
}

// Every entry's place and size, checked against the names and limits, before
// a byte is unpacked.
std::string planArchive(zip_t* za, bool system, const tables::Installation& inst, const fs::path& targetDir,
                        std::vector<Planned>& plan, uint64_t& total) {
  const zip_int64_t count = zip_get_num_entries(za, 0);
  total = 0;
  for (zip_int64_t i = 0; i < count; ++i) {
    zip_stat_t st;
    zip_stat_init(&st);
    if (zip_stat_index(za, static_cast<zip_uint64_t>(i), ZIP_FL_ENC_GUESS, &st) != 0 || !st.name ||
        !(st.valid & ZIP_STAT_SIZE))
      return "el respaldo está dañado: " + zipErrorText(zip_error_code_zip(zip_get_error(za)), 0);
    const std::string name = st.name;
    Planned p;
    bool skip = false;
    if (std::string why = planEntry(name, system, inst, targetDir, p, skip); !why.empty()) return why;
    if (skip) continue;
    for (const Planned& other : plan)
      if (other.entry == name || other.target == p.target) return "el respaldo contiene dos veces " + name;
    p.index = static_cast<zip_uint64_t>(i);
    p.size = st.size;
    const uint64_t limit = p.def ? kRestoreTableLimit : kRestoreDocumentLimit;
    if (p.size > limit)
      return name + ": declara " + std::to_string(p.size) + " bytes, más del límite de " + std::to_string(limit);
    total += p.size;
    if (total > kRestoreArchiveLimit)
      return "el respaldo declara más de " + std::to_string(kRestoreArchiveLimit) + " bytes en total";
    plan.push_back(std::move(p));
  }
  if (plan.empty()) return "el respaldo no contiene archivos";
  return "";
}

// The work an archive's comment names, as written ("ARCHIVOS DE LA OBRA
// <code> AL <date>"), for messages about a code that is refused.
std::string namedWork(const std::string& comment) {
  std::string rest = comment.substr(workCommentPrefix().size());
  if (const size_t at = rest.rfind(" AL "); at != std::string::npos) rest.resize(at);
  return rest;
}

// Why a work's folder may not take its tables: the installation's settings
// folder, a symbolic link (written through, it would put the tables wherever
// it points), or something that is not a folder. Empty when it may.
std::string unfitWorkFolder(const tables::Installation& inst, const fs::path& folder, const std::string& work) {
  std::error_code ec;
  const fs::file_status st = fs::symlink_status(folder, ec);
  if (fs::is_symlink(st))
    return "la carpeta de la obra " + work + " es un enlace simbólico; no se restaura a través de él";
  if (fs::exists(st) && !fs::is_directory(st))
    return "en el lugar de la carpeta de la obra " + work + " hay un archivo";
  const fs::path settings = fs::absolute(inst.settingsDir.empty() ? inst.dataDir : inst.settingsDir).lexically_normal();
  const fs::path below = settings.lexically_relative(fs::absolute(folder).lexically_normal());
  if (!below.empty() && *below.begin() != "..")
    return "la carpeta de la obra " + work + " es la de la configuración de la instalación";
  return "";
}

}  // namespace

bool readBackupComment(const fs::path& archive, std::string& comment, std::string& why) {
  const OpenArchive za = openArchive(archive, why);
  if (!za) return false;
  comment = commentOf(za.get());
  return true;
}

namespace {

// A restore's outcome as the steps build it: refused or failed with a
// message, or done with its report.
struct RestoreResult {
  bool ok = false;
  bool inUse = false;
  std::string message;
  std::string work;
  fs::path keptAside;
  std::vector<std::string> restored;
};

RestoreResult restoreArchive(const tables::Installation& inst, const fs::path& archive, const std::string& work,
                             InstallationUse& use) {
  RestoreResult result;
  if (!work.empty() && !works::isValidWorkCode(work)) {
    result.message = works::invalidWorkCodeText(work);
    return result;
  }
  const OpenArchive za = openArchive(archive, result.message);
  if (!za) {
    result.message = "no se puede leer el respaldo: " + result.message;
    return result;
  }
  const std::string comment = commentOf(za.get());
  const BackupContents contents = contentsOf(comment);
  if (!contents.valid) {
    result.message =
        comment.rfind(workCommentPrefix(), 0) == 0
            ? "el respaldo nombra una obra que no se puede restaurar: " + works::invalidWorkCodeText(namedWork(comment))
            : "el archivo no es un respaldo del sistema ni de una obra: " + archive.filename().string();
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

  std::vector<Planned> plan;
  uint64_t total = 0;
  if (std::string why = planArchive(za.get(), contents.system, inst, targetDir, plan, total); !why.empty()) {
    result.message = "no se restauró nada: " + why;
    return result;
  }

  // The folders it needs, an empty installation's included.
  std::error_code ec;
  for (const Planned& p : plan) fs::create_directories(p.target.parent_path(), ec);
  fs::create_directories(targetDir, ec);
  if (ec || !fs::is_directory(targetDir, ec)) {
    result.message = "no se pudo crear la carpeta " + targetDir.string();
    return result;
  }
  const fs::space_info space = fs::space(targetDir, ec);
  if (!ec && space.available < total + kSpaceMargin) {
    result.message = "no hay espacio en el disco para restaurar: se necesitan " +
                     std::to_string((total + kSpaceMargin) >> 20) + " MB y hay " +
                     std::to_string(space.available >> 20) + " MB libres";
    return result;
  }

  const bool wasHeld = use.held();
  switch (use.takeAlone(dataDir)) {
    case InstallationUse::Outcome::kHeld: break;
    case InstallationUse::Outcome::kBusy:
      result.inUse = true;
      result.message = "la instalación está en uso: cierre el programa en las demás estaciones y vuelva a intentarlo";
      return result;
    case InstallationUse::Outcome::kNoLockFile:
      result.message = "no se puede escribir en la instalación " + dataDir.string();
      return result;
  }
  const GiveBackUse giveBack{use, wasHeld, dataDir, result.ok};

  // Everything is unpacked and checked before anything is touched.
  const shell::ScratchDirectory staging(targetDir, kUnpackPrefix);
  if (!staging.made()) {
    result.message = "no se pudo crear una carpeta de trabajo en " + targetDir.string();
    return result;
  }
  int n = 0;
  for (Planned& p : plan) {
    p.staged = staging.path() / std::to_string(n++);
    if (std::string problem = extractEntry(za.get(), p); !problem.empty()) {
      result.message = "el respaldo está dañado y no se restauró nada: " + problem;
      return result;
    }
  }

  // The swap, under the journal: the files replaced (with their journals: one
  // left beside the new file would be played into it) go aside, the new
  // files come in.
  result.keptAside = makeKeptAsideFolder(targetDir);
  if (result.keptAside.empty()) {
    result.message = "no se pudo crear la carpeta de los archivos reemplazados en " + targetDir.string();
    return result;
  }
  std::vector<SwapStep> steps;
  for (const Planned& p : plan) {
    std::vector<std::string> suffixes = {"-journal", "-wal", "-shm"};
    if (p.def && p.def->label == "COBR") suffixes.push_back(".costo");  // the kept direct cost goes aside too
    for (const std::string& suffix : suffixes) {
      const fs::path current = p.target.string() + suffix;
      if (fs::exists(current, ec)) steps.push_back({current, result.keptAside / (p.entry + suffix), {}});
    }
    const bool hadOriginal = fs::exists(p.target, ec);
    steps.push_back({p.target, hadOriginal ? result.keptAside / p.entry : fs::path(), p.staged});
  }
  if (Status s = writeRestoreJournal(inst, steps); !s) {
    fs::remove_all(result.keptAside, ec);
    result.keptAside.clear();
    result.message = s.text() + "; la instalación quedó como estaba";
    return result;
  }
  for (const SwapStep& step : steps) {
    bool moved = true;
    if (!step.aside.empty()) {
      fs::create_directories(step.aside.parent_path(), ec);
      moved = moveFile(step.target, step.aside);
      if (moved) afterRename();
    }
    if (moved && !step.staged.empty()) {
      moved = moveFile(step.staged, step.target);
      if (moved) afterRename();
    }
    if (!moved) {
      const Status undone = undoInterruptedRestore(inst);
      result.message = "no se pudo colocar " + step.target.filename().string() +
                       (undone ? "; la instalación quedó como estaba" : "; " + undone.text());
      result.keptAside.clear();
      return result;
    }
  }
  clearRestoreJournal(inst);
  for (const Planned& p : plan) result.restored.push_back(p.entry);
  if (fs::is_empty(result.keptAside, ec)) {
    fs::remove(result.keptAside, ec);
    result.keptAside.clear();
  }
  result.ok = true;
  return result;
}

// On a server: the installation as it stands is copied into table files in
// a scratch folder, the archive is restored there as into any installation
// in files (with all its checks), and the part it restored replaces the
// server's in one transaction. The station's settings table, a file of its
// own, is restored in the copy too and put in place after the server's
// commit; the tables replaced stay in the station's folder as files.
Status restoreOntoServer(const tables::Installation& inst, const fs::path& archive, const std::string& work,
                         InstallationUse& use, RestoreReport* report) {
  // The station's own folder is held alone, as in files: its settings table
  // may be swapped.
  std::error_code ec;
  fs::create_directories(inst.dataDir, ec);
  const bool wasHeld = use.held();
  if (use.takeAlone(inst.dataDir) == InstallationUse::Outcome::kBusy)
    return Status::error(Status::Code::kLocked,
                         "la estación está en uso: cierre el programa en esta estación y vuelva a intentarlo");
  bool done = false;
  const GiveBackUse giveBack{use, wasHeld, inst.dataDir, done};
  shell::ScratchDirectory scratch(inst.dataDir, kServerUnpackPrefix);
  if (!scratch.made()) return Status::error(Status::Code::kIoError, "no se pudo preparar la copia de las tablas");
  // Only the part the archive replaces is copied: the system tables, or its
  // work's. An archive that names neither gets an empty copy, and the
  // restore there refuses it.
  std::string comment, unreadable;
  const BackupContents contents =
      readBackupComment(archive, comment, unreadable) ? contentsOf(comment) : BackupContents{};
  tables::Installation files{scratch.path(), inst.settingsDir, {}};
  if (contents.valid) {
    if (Status s = copyServerPartIntoFiles(inst, scratch.path(), contents.work, &files); !s)
      return Status::error(s.code(), "no se pudo leer el servidor: " + s.text());
  }
  // The station's settings table is restored in the copy too, and put in
  // place only once the server has taken the rest.
  const tables::TableDef& settings = tables::tableDef("VGA");
  const fs::path stationSettings = inst.fileOf(settings);
  files.settingsDir = scratch.path() / "configuracion";
  fs::create_directories(files.settingsDir, ec);
  if (fs::exists(stationSettings, ec)) fs::copy_file(stationSettings, files.fileOf(settings), ec);
  if (ec) return Status::error(Status::Code::kIoError, "no se pudo copiar " + stationSettings.string());
  InstallationUse scratchUse;
  RestoreResult r = restoreArchive(files, archive, work, scratchUse);
  if (!r.ok) return Status::error(r.inUse ? Status::Code::kLocked : Status::Code::kInvalid, r.message);

  tables::Installation target = inst;
  if (!r.work.empty()) target.workDir = works::workDirectory(inst.dataDir, r.work);
  const std::string schema = target.schemaOf(tables::tableDef(r.work.empty() ? "OBRA" : "COBR"));

  // The tables replaced stay in the station's folder as table files, where a
  // restore in files keeps them, until the user removes them.
  fs::path keptAside;
  if (!r.keptAside.empty()) {
    const fs::path parent = inst.dataDir / r.keptAside.parent_path().lexically_relative(scratch.path());
    fs::create_directories(parent, ec);
    keptAside = makeKeptAsideFolder(parent);
    if (!keptAside.empty()) fs::rename(r.keptAside, keptAside, ec);  // onto the new empty folder
    if (keptAside.empty() || ec) {
      if (!keptAside.empty()) fs::remove(keptAside, ec);
      return Status::error(Status::Code::kIoError, "no se pudo guardar la copia de las tablas reemplazadas en " +
                                                       parent.string() + "; el servidor quedó como estaba");
    }
  }
  ErrorReporter quiet;
  quiet.setSilent(true);
  MigrationReport written;
  const Status s = tables::replaceServerSchemas(inst, {schema}, [&] {
    return r.work.empty() ? copySharedTables(files, inst, quiet, &written, [](const std::string&) {})
                          : copyWorkTables(files, inst, r.work, quiet, &written, [](const std::string&) {});
  });
  if (!s) {
    if (!keptAside.empty()) fs::remove_all(keptAside, ec);
    return Status::error(s.code(), "el servidor quedó como estaba: " + s.text());
  }
  const std::string settingsEntry = settingsEntryName(settings.fileName);
  if (std::find(r.restored.begin(), r.restored.end(), settingsEntry) != r.restored.end()) {
    // A journal left beside the station's file would be played into the new one.
    const fs::path journal = stationSettings.string() + "-journal";
    const fs::path journalAside = keptAside / (settingsEntry + "-journal");
    if (fs::exists(journal, ec) && !keptAside.empty()) {
      fs::create_directories(journalAside.parent_path(), ec);
      if (!ec) fs::rename(journal, journalAside, ec);
    }
    if (!ec) fs::create_directories(stationSettings.parent_path(), ec);
    if (!ec) fs::rename(files.fileOf(settings), stationSettings, ec);
    if (ec)
      return Status::error(Status::Code::kIoError, "el servidor se restauró, pero no se pudo colocar " +
                                                       stationSettings.string() + ": " + ec.message());
  }
  *report = {std::move(r.work), std::move(keptAside), std::move(r.restored)};
  done = true;
  return Status::ok();
}

}  // namespace

namespace {

// A work archive goes only into the folder of a work the register names,
// exactly as it is named there: never into a folder the archive makes up.
// A register that cannot be read refuses the restore too, saying why.
Status checkWorkRegistered(const tables::Installation& inst, const std::string& code) {
  const auto notRegistered = [&](const std::string& why) {
    return Status::error(Status::Code::kInvalid,
                         "no se restauró nada: la obra " + code + " " + why +
                             "; dé de alta la obra o restaure primero los archivos del sistema");
  };
  tables::Installation reading = inst;
  reading.createMissing = false;
  reading.readingOnly = true;
  bool hasRegister = false;
  if (Status asked = reading.holdsTable(tables::tableDef("OBRA"), &hasRegister); !asked)
    return Status::error(asked.code(), "no se restauró nada: no se pudo leer el registro de obras: " + asked.text());
  if (!hasRegister) return notRegistered("no está registrada: no hay registro de obras");
  ErrorReporter quiet;
  quiet.setSilent(true);
  auto obra = reading.table("OBRA", quiet);
  bool registered = false;
  Status s = obra->open();
  if (s)
    s = obra->readAll(obra->keyIndex("CTA_KEY"), [&](const tables::Record& r) {
      registered = text::clip(r.text("CTA")) == code;
      return !registered;
    });
  if (!s)
    return Status::error(s.code(), "no se restauró nada: no se pudo leer el registro de obras (" + s.text() + ")");
  return registered ? Status::ok() : notRegistered("no está en el registro de obras de esta instalación");
}

}  // namespace

Status restoreBackup(const tables::Installation& inst, const fs::path& archive, const std::string& work,
                     InstallationUse& use, RestoreReport* report) {
  std::string comment, unreadable;
  if (readBackupComment(archive, comment, unreadable)) {
    const BackupContents contents = contentsOf(comment);
    if (contents.valid && !contents.system && (work.empty() || contents.work == work)) {
      if (Status s = checkWorkRegistered(inst, contents.work); !s) return s;
      // On a server too: the station keeps the replaced tables in the work's folder.
      const fs::path folder = works::workDirectory(fs::absolute(inst.dataDir), contents.work);
      if (std::string why = unfitWorkFolder(inst, folder, contents.work); !why.empty())
        return Status::error(Status::Code::kInvalid, "no se restauró nada: " + why);
    }
  }
  if (inst.onServer()) return restoreOntoServer(inst, archive, work, use, report);
  RestoreResult r = restoreArchive(inst, archive, work, use);
  if (!r.ok) return Status::error(r.inUse ? Status::Code::kLocked : Status::Code::kInvalid, r.message);
  *report = {std::move(r.work), std::move(r.keptAside), std::move(r.restored)};
  return Status::ok();
}

namespace {

// The data folder and the folders in it that may be works' (the folders a
// restore works in), never through a link.
std::vector<fs::path> restoreFolders(const fs::path& dataDir) {
  std::vector<fs::path> folders = {dataDir};
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(dataDir, ec)) {
    const std::string name = entry.path().filename().string();
    if (entry.is_symlink(ec) || !entry.is_directory(ec) || name.empty() || name[0] == '.' ||
        name.rfind(kKeptAsidePrefix, 0) == 0)
      continue;
    folders.push_back(entry.path());
  }
  return folders;
}

// A folder that holds nothing but empty folders.
bool holdsNoFile(const fs::path& dir) {
  std::error_code ec;
  for (const auto& entry : fs::recursive_directory_iterator(dir, ec))
    if (entry.is_symlink(ec) || !entry.is_directory(ec)) return false;
  return !ec;
}

// What only a restore under way could be using: found without any lock.
struct RestoreRemains {
  std::vector<fs::path> emptyKeptAside, halfCopies;
  bool empty() const { return emptyKeptAside.empty() && halfCopies.empty(); }
};

RestoreRemains remainsIn(const std::vector<fs::path>& folders) {
  RestoreRemains found;
  std::error_code ec;
  for (const fs::path& folder : folders) {
    for (const auto& entry : fs::directory_iterator(folder, ec)) {
      const std::string name = entry.path().filename().string();
      if (entry.is_symlink(ec)) continue;
      if (name.rfind(kKeptAsidePrefix, 0) == 0 && entry.is_directory(ec) && holdsNoFile(entry.path()))
        found.emptyKeptAside.push_back(entry.path());
      else if (name.ends_with(kHalfCopySuffix) && entry.is_regular_file(ec)) found.halfCopies.push_back(entry.path());
    }
  }
  return found;
}

}  // namespace

void clearLeftoversOfCutRuns(const tables::Installation& inst, InstallationUse& use) {
  const fs::path dataDir = fs::absolute(inst.dataDir);
  const std::vector<fs::path> folders = restoreFolders(dataDir);
  // Scratch folders tell by their lock whether a run still holds them.
  for (const fs::path& folder : folders) shell::ScratchDirectory::clearLeftovers(folder, kUnpackPrefix);
  for (const char* prefix : {kServerUnpackPrefix, kServerBackupScratchPrefix, kDownloadScratchPrefix})
    shell::ScratchDirectory::clearLeftovers(dataDir, prefix);
  std::vector<fs::path> withSettings = folders;
  if (!inst.settingsDir.empty()) withSettings.push_back(fs::absolute(inst.settingsDir));
  // The rest is a restore's under way, or a cut one's: told apart only by
  // holding the installation alone, which is tried only when there is
  // something to clear (a program starting meanwhile would find it busy).
  if (remainsIn(withSettings).empty() || use.takeAlone(dataDir) != InstallationUse::Outcome::kHeld) return;
  const RestoreRemains remains = remainsIn(withSettings);
  std::error_code ec;
  for (const fs::path& dir : remains.emptyKeptAside) fs::remove_all(dir, ec);
  for (const fs::path& file : remains.halfCopies) fs::remove(file, ec);
  use.shareAgain();
}

}  // namespace velmora::services
