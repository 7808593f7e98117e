#include "services/restore_journal.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "framework/whole_file.h"
#include "tables/catalogue.h"

#ifndef _WIN32
#include <fcntl.h>
#include <unistd.h>
#endif

namespace velmora::services {

namespace fs = std::filesystem;

namespace {

constexpr const char* kHeader = "VELMORA-RESTAURACION 2";
// Journals of the first form name the settings table relative to whatever
// settings folder the undoing command is given; only their steps in the data
// folder can be undone for sure.
constexpr const char* kFirstHeader = "VELMORA-RESTAURACION 1";

fs::path journalOf(const tables::Installation& inst) { return inst.dataDir / kRestoreJournalName; }

fs::path absoluteFolder(const fs::path& dir) { return fs::absolute(dir).lexically_normal(); }

fs::path settingsDirOf(const tables::Installation& inst) {
  return absoluteFolder(inst.settingsDir.empty() ? inst.dataDir : inst.settingsDir);
}

// The folders a journal was written for: the steps' paths are relative to
// them, and an undo acts on these folders, never on the ones the undoing
// command happens to be given.
struct JournalFolders {
  fs::path data, settings;
};

// "D\t<path under the data folder>" or "S\t<path under the settings
// folder>"; "-" for no path.
std::string encode(const JournalFolders& folders, const fs::path& p) {
  if (p.empty()) return "-\t-";
  const fs::path abs = fs::absolute(p).lexically_normal();
  const fs::path underData = abs.lexically_relative(folders.data);
  if (!underData.empty() && *underData.begin() != "..") return "D\t" + underData.generic_string();
  return "S\t" + abs.lexically_relative(folders.settings).generic_string();
}

// A path of the journal, which is read as untrusted text: relative, nothing
// that climbs.
bool decode(const JournalFolders& folders, const std::string& root, const std::string& rel, fs::path& out) {
  if (root == "-" && rel == "-") {
    out.clear();
    return true;
  }
  const fs::path p(rel);
  if (rel.empty() || p.is_absolute() || p.has_root_name()) return false;
  for (const auto& part : p)
    if (part == ".." || part == ".") return false;
  if (root == "D") out = folders.data / p;
  else if (root == "S" && !folders.settings.empty()) out = folders.settings / p;
  else return false;
  return true;
}

// A restore places in the settings folder nothing but the settings table
// and its journals; a journal step that names anything else there is not
// one a restore wrote.
bool isSettingsTableFile(const fs::path& p) {
  const std::string table = tables::tableDef("VGA").fileName;
  const std::string name = p.filename().string();
  for (const char* suffix : {"", "-journal", "-wal", "-shm"})
    if (name == table + suffix) return true;
  return false;
}

bool sameFolder(const fs::path& a, const fs::path& b) {
  std::error_code ec;
  if (fs::equivalent(a, b, ec)) return true;
  return fs::weakly_canonical(a, ec) == fs::weakly_canonical(b, ec);
}

void syncFile(const fs::path& file) {
#ifndef _WIN32
  const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd >= 0) {
    ::fsync(fd);
    ::close(fd);
  }
#else
  (void)file;
#endif
}

}  // namespace

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

Status writeRestoreJournal(const tables::Installation& inst, const std::vector<SwapStep>& steps) {
  const JournalFolders folders{absoluteFolder(inst.dataDir), settingsDirOf(inst)};
  for (const fs::path& folder : {folders.data, folders.settings})
    if (folder.string().find_first_of("\t\n\r") != std::string::npos)
      return Status::error(Status::Code::kInvalid,
                           "la carpeta " + folder.string() + " lleva un tabulador o un salto de línea en su nombre");
  std::ostringstream text;
  text << kHeader << "\n";
  text << "DATOS\t" << folders.data.generic_string() << "\n";
  text << "CONFIGURACION\t" << folders.settings.generic_string() << "\n";
  for (const SwapStep& s : steps)
    text << encode(folders, s.target) << "\t" << encode(folders, s.aside) << "\t" << encode(folders, s.staged) << "\n";
  text << "FIN\n";
  const fs::path journal = journalOf(inst);
  const fs::path temp = journal.string() + ".nuevo";
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    out << text.str();
    out.close();
    if (!out) return Status::error(Status::Code::kIoError, "no se pudo escribir el diario de la restauración");
  }
  syncFile(temp);
  std::error_code ec;
  fs::rename(temp, journal, ec);
  if (ec) {
    fs::remove(temp, ec);
    return Status::error(Status::Code::kIoError, "no se pudo escribir el diario de la restauración");
  }
  syncFile(inst.dataDir);
  return Status::ok();
}

void clearRestoreJournal(const tables::Installation& inst) {
  std::error_code ec;
  fs::remove(journalOf(inst), ec);
  syncFile(inst.dataDir);
}

bool restoreInterrupted(const tables::Installation& inst) {
  std::error_code ec;
  return fs::exists(journalOf(inst), ec) || fs::exists(journalOf(inst).string() + ".nuevo", ec);
}

namespace {

// Reads the journal whole. Its steps are checked before anything moves: a
// journal this program could not have written is refused with why.
Status readJournal(const tables::Installation& inst, std::vector<SwapStep>* steps) {
  const auto refused = [](const std::string& why) {
    return Status::error(Status::Code::kCorrupt,
                         "la restauración interrumpida no se deshizo: " + why + "; no se movió ningún archivo");
  };
  const std::string damaged = "su diario (" + std::string(kRestoreJournalName) + ") está dañado";
  std::ifstream in(journalOf(inst), std::ios::binary);
  std::string line;
  if (!std::getline(in, line) || (line != kHeader && line != kFirstHeader)) return refused(damaged);
  JournalFolders folders{absoluteFolder(inst.dataDir), {}};
  if (line == kHeader) {
    // The folders it was written for: the data folder must be this one (a
    // copy of an installation must not undo into the original's settings).
    std::string data, settings;
    if (!std::getline(in, data) || data.rfind("DATOS\t", 0) != 0 || !std::getline(in, settings) ||
        settings.rfind("CONFIGURACION\t", 0) != 0)
      return refused(damaged);
    const fs::path writtenFor(data.substr(6));
    folders.settings = fs::path(settings.substr(14));
    if (!writtenFor.is_absolute() || !folders.settings.is_absolute()) return refused(damaged);
    if (!sameFolder(writtenFor, folders.data))
      return refused("se hizo en la instalación " + writtenFor.string() + ", no en esta");
  }
  bool complete = false;
  bool touchesSettings = false;
  while (std::getline(in, line)) {
    if (line == "FIN") {
      complete = true;
      break;
    }
    std::vector<std::string> f;
    std::stringstream parts(line);
    for (std::string field; std::getline(parts, field, '\t');) f.push_back(field);
    if (f.size() != 6) return refused(damaged);
    SwapStep s;
    if (f[0] == "S" && folders.settings.empty())
      return refused("su diario es de una versión anterior y no dice en qué carpeta de configuración se restauró " +
                     fs::path(f[1]).filename().string());
    // Only the settings table and its journals are placed in the settings
    // folder; what is set aside and unpacked stays in the data folder.
    if ((f[0] == "S" && !isSettingsTableFile(fs::path(f[1]))) || f[2] == "S" || f[4] == "S") return refused(damaged);
    if (!decode(folders, f[0], f[1], s.target) || !decode(folders, f[2], f[3], s.aside) ||
        !decode(folders, f[4], f[5], s.staged) || s.target.empty())
      return refused(damaged);
    touchesSettings = touchesSettings || f[0] == "S";
    steps->push_back(std::move(s));
  }
  if (!complete) return refused(damaged);
  std::error_code ec;
  if (touchesSettings && !fs::is_directory(folders.settings, ec))
    return refused("la carpeta de configuración " + folders.settings.string() + " donde se restauró ya no existe");
  return Status::ok();
}

// Puts one step back: the file it placed goes (only when it is the one the
// restore placed), the file it set aside returns. A state that no part of
// the step could have left is refused, with the original kept aside.
Status undoStep(const SwapStep& step) {
  std::error_code ec;
  // A copy between disks cut short: never a whole file.
  fs::remove(step.target.string() + ".restaurando", ec);
  if (!step.aside.empty()) fs::remove(step.aside.string() + ".restaurando", ec);
  const bool targetThere = fs::exists(step.target, ec);
  const bool stagedThere = !step.staged.empty() && fs::exists(step.staged, ec);
  // The new file is in place once it has left the staging folder, or when
  // a copy between disks was cut before it removed its source.
  const bool placed = !step.staged.empty() && targetThere && (!stagedThere || sameFileBytes(step.staged, step.target));
  if (placed && !fs::remove(step.target, ec))
    return Status::error(Status::Code::kIoError, "no se pudo quitar " + step.target.string());
  if (step.aside.empty() || !fs::exists(step.aside, ec)) return Status::ok();
  if (fs::exists(step.target, ec)) {
    // A copy between disks cut before it removed its source: the same file twice.
    if (!sameFileBytes(step.target, step.aside))
      return Status::error(Status::Code::kIoError, "no se pudo devolver " + step.target.filename().string() +
                                                       ": en su lugar hay otro archivo; el original sigue en " +
                                                       step.aside.string());
    fs::remove(step.aside, ec);
    return Status::ok();
  }
  if (!moveFile(step.aside, step.target))
    return Status::error(Status::Code::kIoError, "no se pudo devolver " + step.target.filename().string() +
                                                     " a su lugar; sigue en " + step.aside.string());
  return Status::ok();
}

}  // namespace

Status undoInterruptedRestore(const tables::Installation& inst) {
  std::error_code ec;
  // A journal still being written: the swap had not begun.
  fs::remove(journalOf(inst).string() + ".nuevo", ec);
  if (!fs::exists(journalOf(inst), ec)) return Status::ok();
  std::vector<SwapStep> steps;
  if (Status s = readJournal(inst, &steps); !s) return s;

  // Backwards: each file placed goes, each file set aside comes back.
  for (auto it = steps.rbegin(); it != steps.rend(); ++it)
    if (Status s = undoStep(*it); !s) return s;
  // The folders of set-aside files, now empty, and the staging folder go too.
  for (const SwapStep& s : steps) {
    for (fs::path dir = s.aside.parent_path(); !s.aside.empty() && dir.has_relative_path(); dir = dir.parent_path()) {
      const bool keptAsideFolder = dir.filename().string().rfind("ANTERIOR-", 0) == 0;
      if (!fs::is_empty(dir, ec) || !fs::remove(dir, ec) || keptAsideFolder) break;
    }
    if (!s.staged.empty() && s.staged.parent_path().filename().string().rfind(".restaura-", 0) == 0)
      fs::remove_all(s.staged.parent_path(), ec);
  }
  clearRestoreJournal(inst);
  return Status::ok();
}

}  // namespace velmora::services
