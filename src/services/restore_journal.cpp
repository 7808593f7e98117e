#include "services/restore_journal.h"

#include <cstdio>
#include <fstream>
#include <sstream>

#include "tables/catalogue.h"

#ifndef _WIN32
#include <fcntl.h>
#include <unistd.h>
#endif

namespace velmora::services {

namespace fs = std::filesystem;

namespace {

constexpr const char* kHeader = "VELMORA-RESTAURACION 1";

fs::path journalOf(const tables::Installation& inst) { return inst.dataDir / kRestoreJournalName; }

fs::path settingsDirOf(const tables::Installation& inst) {
  return inst.settingsDir.empty() ? inst.dataDir : inst.settingsDir;
}

// "D\t<path under the data directory>" or "S\t<path under the settings
// directory>"; "-" for no path.
std::string encode(const tables::Installation& inst, const fs::path& p) {
  if (p.empty()) return "-\t-";
  const fs::path abs = fs::absolute(p).lexically_normal();
  const fs::path data = fs::absolute(inst.dataDir).lexically_normal();
  const fs::path underData = abs.lexically_relative(data);
  if (!underData.empty() && *underData.begin() != "..") return "D\t" + underData.generic_string();
  return "S\t" + abs.lexically_relative(fs::absolute(settingsDirOf(inst)).lexically_normal()).generic_string();
}

bool decode(const tables::Installation& inst, const std::string& root, const std::string& rel, fs::path& out) {
  if (root == "-" && rel == "-") {
    out.clear();
    return true;
  }
  const fs::path p(rel);
  if (rel.empty() || p.is_absolute() || p.has_root_name()) return false;
  for (const auto& part : p)
    if (part == ".." || part == ".") return false;
  if (root == "D") out = inst.dataDir / p;
  else if (root == "S") out = settingsDirOf(inst) / p;
  else return false;
  return true;
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
  std::ostringstream text;
  text << kHeader << "\n";
  for (const SwapStep& s : steps)
    text << encode(inst, s.target) << "\t" << encode(inst, s.aside) << "\t" << encode(inst, s.staged) << "\n";
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

Status undoInterruptedRestore(const tables::Installation& inst) {
  std::error_code ec;
  // A journal still being written: the swap had not begun.
  fs::remove(journalOf(inst).string() + ".nuevo", ec);
  const fs::path journal = journalOf(inst);
  if (!fs::exists(journal, ec)) return Status::ok();
  std::ifstream in(journal, std::ios::binary);
  std::string line;
  std::vector<SwapStep> steps;
  bool complete = false;
  const auto refused =
      Status::error(Status::Code::kCorrupt, "el diario de una restauración interrumpida está dañado (" +
                                                std::string(kRestoreJournalName) + "); no se movió ningún archivo");
  if (!std::getline(in, line) || line != kHeader) return refused;
  while (std::getline(in, line)) {
    if (line == "FIN") {
      complete = true;
      break;
    }
    std::vector<std::string> f;
    std::stringstream parts(line);
    for (std::string field; std::getline(parts, field, '\t');) f.push_back(field);
    SwapStep s;
    if (f.size() != 6 || !decode(inst, f[0], f[1], s.target) || !decode(inst, f[2], f[3], s.aside) ||
        !decode(inst, f[4], f[5], s.staged) || s.target.empty())
      return refused;
    steps.push_back(std::move(s));
  }
  if (!complete) return refused;

  // Backwards: each file placed goes, each file set aside comes back.
  for (auto it = steps.rbegin(); it != steps.rend(); ++it) {
    const bool asideThere = !it->aside.empty() && fs::exists(it->aside, ec);
    if (it->aside.empty() || asideThere) fs::remove(it->target, ec);
    if (asideThere && !moveFile(it->aside, it->target))
      return Status::error(Status::Code::kIoError, "no se pudo devolver " + it->target.filename().string() +
                                                       " a su lugar; sigue en " + it->aside.string());
  }
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
