#include "app/update_commands.h"

#include <unistd.h>
#include <QCoreApplication>
#include <cstdio>
#include <ostream>

#include "services/online_update.h"
#include "services/update_run.h"

namespace velmora::app {

int runServerCommand(const tables::Installation& inst, ErrorReporter& errors, const ServerOptions& options,
                     std::ostream& out, std::ostream& err) {
  services::ServerSettings s;
  if (Status st = services::readServerSettings(inst, errors, s); !st) {
    err << "velmora: no se pudo leer la tabla del servidor: " << st.text() << "\n";
    return 1;
  }
  const bool changing = options.changes();
  if (options.host) {
    std::string host;
    uint16_t port = 21;
    if (!services::splitHostPort(*options.host, host, port) || host.empty()) {
      err << "velmora: el servidor debe ser HOST o HOST:PUERTO (puerto de 1 a 65535): " << *options.host << "\n";
      return 2;
    }
    s.host = *options.host;
  }
  if (options.user) s.user = *options.user;
  if (options.password) s.password = *options.password;
  if (options.directory) s.directory = *options.directory;
  if (changing) {
    if (Status st = services::writeServerSettings(inst, errors, s); !st) {
      err << "velmora: no se pudo guardar el servidor: " << st.text() << "\n";
      return 1;
    }
  }
  // The password is never shown, only whether there is one.
  out << "SERVIDOR: " << s.host << "\nUSUARIO: " << s.user << "\nCLAVE: " << (s.password.empty() ? "" : "********")
      << "\nDIRECTORIO: " << (s.directory.empty() ? "/" : s.directory) << "\n";
  return 0;
}

int runUpdateCommand(int argc, char** argv, const tables::Installation& inst, ErrorReporter& errors,
                     const UpdateOptions& options, std::ostream& out, std::ostream& err) {
  QCoreApplication app(argc, argv);
  services::ServerSettings settings;
  if (Status st = services::readServerSettings(inst, errors, settings); !st) {
    err << "velmora: no se pudo leer la tabla del servidor: " << st.text() << "\n";
    return 1;
  }
  const bool terminal = isatty(fileno(stdout)) != 0;
  services::UpdateRun run(inst.dataDir, settings,
                          {options.replySeconds * 1000, options.dataCloseSeconds * 1000, options.runSeconds * 1000});
  QString lastStatus;
  QString file;
  QObject::connect(&run, &services::UpdateRun::status, [&](const QString& text) { lastStatus = text; });
  QObject::connect(&run, &services::UpdateRun::fileStarted, [&](const QString& name, qint64 size) {
    file = name;
    out << "Bajando " << name.toStdString() << " (" << size << " bytes)\n" << std::flush;
  });
  QObject::connect(&run.client(), &net::FtpClient::progress, [&](int percent) {
    if (terminal && !file.isEmpty()) out << "\r  " << file.toStdString() << " " << percent << "%   " << std::flush;
  });
  QObject::connect(&run, &services::UpdateRun::fileFetched, [&](const QString& name) {
    if (terminal) out << "\r";
    out << "  " << name.toStdString() << ": listo\n" << std::flush;
  });
  int status = 1;
  QObject::connect(&run, &services::UpdateRun::finished, [&](bool complete) {
    status = complete ? 0 : 1;
    app.quit();
  });
  if (run.start()) app.exec();
  for (const auto& name : run.refused()) out << "Nombre rechazado (fuera del directorio): " << name << "\n";
  for (const auto& name : run.unchanged()) out << "  " << name << ": igual a la copia local, no se reemplazó\n";
  for (const auto& line : run.unreadable()) out << "Renglón del listado que no se entiende: " << line << "\n";
  for (const auto& name : run.arrivedAside())
    out << "Tabla recibida aparte, sin reemplazar la que está en uso: " << services::kArrivalsFolder << "/" << name
        << "\n";
  if (status == 0) {
    out << lastStatus.toStdString() << "\n";
  } else {
    err << "velmora: la actualización no se completó: " << run.failure()
        << (run.failedCommand().empty() ? "" : " (orden " + run.failedCommand() + ")") << "\n";
  }
  return status;
}

int runMergeCommand(const tables::Installation& inst, ErrorReporter& errors, int list, std::ostream& out,
                    std::ostream& err) {
  if (auto problem = services::priceListProblem(inst, errors, list)) {
    err << "velmora: " << *problem << "\n";
    return 2;
  }
  services::MergeResult result;
  if (Status st = services::mergeUpdate(inst, errors, list, {}, &result); !st) {
    err << "velmora: no se colocó la actualización (los insumos quedan como estaban): " << st.text() << "\n";
    return 1;
  }
  out << result.changed << " insumos con precio nuevo en la lista " << list << ", " << result.added
      << " insumos nuevos\n";
  return 0;
}

}  // namespace velmora::app
