#include "app/backup_commands.h"

#include <algorithm>
#include <ostream>

#include "app/commands.h"
#include "services/installation_use.h"
#include "services/migration.h"
#include "services/restore.h"
#include "services/restore_journal.h"
#include "works/work_code.h"

namespace velmora::app {

namespace fs = std::filesystem;

namespace {
std::string oneLine(std::string text) {
  std::replace(text.begin(), text.end(), '|', ' ');
  std::replace(text.begin(), text.end(), '\n', ' ');
  return text;
}
}  // namespace

int runBackupCommand(const tables::Installation& inst, const services::BackupRequest& request, std::ostream& out,
                     std::ostream& err) {
  std::error_code ec;
  if (!fs::is_directory(request.destination, ec)) {
    err << "velmora: el destino del respaldo no es un directorio: " << request.destination.string() << "\n";
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
    if (a.status) {
      out << services::ZipArchiver::archivePath(a.name).string() << ": " << a.files.size() << " archivos\n";
    } else {
      ++failures;
      err << "velmora: no se hizo el respaldo " << services::ZipArchiver::archivePath(a.name).filename().string()
          << ": " << oneLine(a.status.text()) << "\n";
    }
  }
  if (made.empty()) out << "No había nada que respaldar.\n";
  return failures ? 1 : 0;
}

int runRestoreCommand(const tables::Installation& inst, const std::string& archive, const std::string& work,
                      std::ostream& out, std::ostream& err) {
  services::InstallationUse use;
  if (!refuseSettingsFolder(inst, err) || !refuseUnfinishedCopy(inst, err)) return 1;
  if (services::restoreInterrupted(inst)) {
    // An earlier restore cut short is undone first, as any command does.
    if (!useInstallation(inst, use, true, err)) return 1;
    use.release();
  }
  services::RestoreReport result;
  if (Status s = services::restoreBackup(inst, archive, work, use, &result); !s) {
    err << "velmora: " << s.text() << "\n";
    return 1;
  }
  for (const auto& name : result.restored) out << "Restaurado: " << name << "\n";
  out << (result.work.empty() ? "Archivos del sistema restaurados." : "Obra " + result.work + " restaurada.") << "\n";
  if (!result.keptAside.empty()) out << "Los archivos reemplazados quedan en " << result.keptAside.string() << "\n";
  return 0;
}

int runMigrateCommand(const tables::Installation& from, const tables::Installation& to, ErrorReporter& errors,
                      std::ostream& out, std::ostream& err) {
  if (to.onServer() && to.serverSchema.empty()) {
    err << "velmora: la dirección del servidor no es válida: " << tables::shownAddress(to.serverUrl) << "\n";
    return 2;
  }
  if (!refuseSettingsFolder(to, err)) return 1;
  out << "copiando " << services::installationName(from) << " en " << services::installationName(to) << "\n"
      << std::flush;
  services::MigrationReport report;
  const Status s = services::migrateInstallation(from, to, errors, &report, [&](const std::string& table) {
    out << "  " << table << "\n" << std::flush;  // a copy cut short shows how far it went
  });
  if (!report.restartedFrom.empty())
    out << "el destino era una copia que no terminó (desde " << report.restartedFrom << "); se empezó de nuevo\n";
  if (!s) {
    err << "velmora: " << oneLine(s.text())
        << (report.leftIncomplete ? "; el destino queda marcado como copia incompleta hasta que otra copia termine"
                                  : "")
        << "\n";
    return 1;
  }
  if (report.cleanedRecords > 0)
    out << report.cleanedRecords << (report.cleanedRecords == 1 ? " registro tenía" : " registros tenían")
        << " caracteres de control en sus textos; se copiaron sin ellos\n";
  for (const std::string& name : report.missingPictures)
    out << "la imagen " << name << " de un proveedor no está en el origen; no se copió\n";
  out << report.tables << " tablas, " << report.records << " registros, " << report.works.size() << " obras y "
      << report.files << " archivos copiados; la copia es igual al original\n";
  for (const std::string& code : report.refused)
    err << "velmora: la obra \"" << code << "\" no se copió: " << works::invalidWorkCodeText(code) << "\n";
  return report.refused.empty() ? 0 : 1;
}

}  // namespace velmora::app
