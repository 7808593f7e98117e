#include "app/backup_commands.h"

#include <algorithm>
#include <ostream>

#include "services/installation_use.h"
#include "services/restore.h"

namespace velmora::app {

namespace fs = std::filesystem;

namespace {
// The "Zip Error" text on one line.
std::string oneLine(std::string text) {
  std::replace(text.begin(), text.end(), '|', ' ');
  return text;
}
}  // namespace

int runBackupCommand(const tables::Installation& inst, const services::BackupRequest& request,
                     std::ostream& out, std::ostream& err) {
  std::error_code ec;
  if (!fs::is_directory(request.destination, ec)) {
    err << "velmora: el destino del respaldo no es un directorio: " << request.destination.string() << "\n";
    return 1;
  }
  services::InstallationUse use;
  if (!use.share(inst.dataDir)) {
    err << "velmora: se está restaurando un respaldo en esta instalación; intente más tarde\n";
    return 1;
  }
  std::string archive;
  services::BackupEvents events;
  events.archiveStarted = [&](const std::string& name) {
    archive = services::ZipArchiver::archivePath(name).filename().string();
  };
  events.progress.file = [&](const std::string& file) {
    if (!file.empty()) out << archive << ": " << file << "\n" << std::flush;
  };
  services::ZipArchiver archiver;
  const auto made = services::runBackup(inst, request, archiver, events);
  int failures = 0;
  for (const auto& a : made) {
    if (a.result == services::ZipArchiver::kDone) {
      out << services::ZipArchiver::archivePath(a.name).string() << ": " << a.files.size() << " archivos\n";
    } else {
      ++failures;
      err << "velmora: Zip Error: " << oneLine(a.failure) << "\n";
    }
  }
  if (made.empty()) out << "No había nada que respaldar.\n";
  return failures ? 1 : 0;
}

int runRestoreCommand(const tables::Installation& inst, const std::string& archive, const std::string& work,
                      std::ostream& out, std::ostream& err) {
  services::InstallationUse use;
  const auto result = services::restoreBackup(inst, archive, work, use);
  if (!result.ok) {
    err << "velmora: " << result.message << "\n";
    return 1;
  }
  for (const auto& name : result.restored) out << "Restaurado: " << name << "\n";
  out << (result.work.empty() ? "Archivos del sistema restaurados." : "Obra " + result.work + " restaurada.") << "\n";
  if (!result.keptAside.empty()) out << "Los archivos reemplazados quedan en " << result.keptAside.string() << "\n";
  return 0;
}

}  // namespace velmora::app
