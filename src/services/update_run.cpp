#include "services/update_run.h"

#include <algorithm>
#include <fstream>

#include "framework/whole_file.h"

namespace velmora::services {

namespace fs = std::filesystem;

UpdateRun::UpdateRun(fs::path dataDir, ServerSettings settings, UpdateLimits limits, QObject* parent)
    : QObject(parent), dataDir_(std::move(dataDir)), settings_(std::move(settings)), limits_(limits) {
  client_.passiveMode = true;
  client_.fullListing = true;
  client_.replyTimeoutMs = limits_.replyMs;
  client_.dataCloseTimeoutMs = limits_.dataCloseMs;
  connect(&client_, &net::FtpClient::done, this, &UpdateRun::onDone);
  connect(&client_, &net::FtpClient::errorTrap, this, &UpdateRun::onError);
  deadline_.setSingleShot(true);
  connect(&deadline_, &QTimer::timeout, this, [this] {
    const QString command = net::commandName(client_.command());
    stopping_ = true;  // the client's own error for the abort is not the news
    client_.abort("The update took longer than its limit");
    fail("la actualización pasó de su tiempo límite",
         "Error = La actualización pasó de su tiempo límite Comando = " + command, command);
  });
}

// A failure: the window shows the client's own status line; the terminal
// gets the reason in Spanish.
void UpdateRun::fail(const std::string& spanish, const QString& statusText, const QString& command) {
  if (ended_) return;
  failure_ = spanish;
  failedCommand_ = command.toStdString();
  end(false, statusText);
}

void UpdateRun::end(bool complete, const QString& text) {
  if (ended_) return;
  ended_ = true;
  deadline_.stop();
  scratch_.reset();  // what a cut transfer left there goes with it
  emit status(text);
  emit finished(complete);
}

bool UpdateRun::start() {
  std::string host;
  uint16_t port = 21;
  if (!splitHostPort(settings_.host, host, port) || host.empty()) {
    fail("la dirección del servidor no es válida", "Error = Dirección del servidor no válida Comando = changedir",
         "changedir");
    return false;
  }
  scratch_ = std::make_unique<shell::ScratchDirectory>(dataDir_, kDownloadScratchPrefix);
  if (!scratch_->made()) {
    fail("no se puede escribir en el directorio del programa",
         "Error = No se puede escribir en el directorio del programa Comando = changedir", "changedir");
    return false;
  }
  client_.host = QString::fromStdString(host);
  client_.controlPort = port;
  client_.user = QString::fromStdString(settings_.user);
  client_.password = QString::fromStdString(settings_.password);
  client_.openNewControlConnection = true;
  client_.binaryTransfer = true;
  const std::string directory = settings_.directory.empty() ? "/" : settings_.directory;
  deadline_.start(limits_.runMs);
  emit status("Conectando al servidor Velmora");
  return client_.changeDir(QString::fromStdString(directory));
}

void UpdateRun::onDone(net::FtpCommand command) {
  if (ended_) return;
  if (command == net::FtpCommand::kChangeDir) {
    client_.openNewControlConnection = false;  // the rest runs on this login
    client_.getDirListing(".");
    return;
  }
  if (command == net::FtpCommand::kGetDirListing) {
    // Lines of no known form cannot be judged: set apart, and reported.
    rows_.clear();
    for (const auto& row : client_.listing()) {
      if (row.understood) rows_.push_back(row);
      else unreadable_.push_back(row.line);
    }
    // Fetched first: the names from last to first.
    std::stable_sort(rows_.begin(), rows_.end(), [](const auto& a, const auto& b) { return a.name > b.name; });
  }
  if (command == net::FtpCommand::kGetRemoteFile && !current_.isEmpty()) {
    placeFetched();
    if (ended_) return;
  }
  scan();
}

// The file saved whole in the scratch folder goes in place, unless it is the
// local file again.
void UpdateRun::placeFetched() {
  const std::string name = current_.toStdString();
  const fs::path staged = scratch_->path() / name;
  const fs::path local = localPathFor(dataDir_, name);
  fetched_.push_back(name);
  current_.clear();
  std::error_code ec;
  if (fs::exists(local, ec) && sameFileBytes(staged, local)) {
    fs::remove(staged, ec);
    // Checked today: the next run does not fetch it again for its date.
    fs::last_write_time(local, fs::file_time_type::clock::now(), ec);
    unchanged_.push_back(name);
    return;
  }
  fs::create_directories(local.parent_path(), ec);
  fs::rename(staged, local, ec);
  if (ec) {
    fail("no se pudo colocar " + name,
         "Error = No se pudo colocar " + QString::fromStdString(name) + " Comando = getremotefile", "getremotefile");
    return;
  }
  if (keptAside(name)) aside_.push_back(name);
  emit fileFetched(QString::fromStdString(name));
}

void UpdateRun::scan() {
  emit status("Actualizando archivos");
  const int next = nextFileToFetch(rows_, dataDir_, fetched_, &refused_);
  if (next < 0) {
    if (!unreadable_.empty()) {
      const QString n = QString::number(unreadable_.size());
      fail("el listado del servidor tiene " + n.toStdString() + " renglones que no se entienden",
           "Error = El listado del servidor tiene " + n + " renglones que no se entienden Comando = getdirlisting",
           "getdirlisting");
      return;
    }
    end(true, "Actualización Completa");
    return;
  }
  const auto& row = rows_[static_cast<size_t>(next)];
  current_ = QString::fromStdString(row.name);
  emit fileStarted(current_, row.size);
  client_.getRemoteFile(current_, QString::fromStdString((scratch_->path() / row.name).string()), row.size);
}

void UpdateRun::onError(const QString& text, const QString&) {
  if (stopping_) return;
  fail(ftpTextInSpanish(text.trimmed().toStdString()),
       "Error = " + text.trimmed() + " Comando = " + net::commandName(client_.command()),
       net::commandName(client_.command()));
}

}  // namespace velmora::services
