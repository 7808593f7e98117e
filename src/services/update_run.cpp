#include "services/update_run.h"

#include <QDir>
#include <algorithm>

namespace velmora::services {

namespace fs = std::filesystem;

UpdateRun::UpdateRun(fs::path dataDir, ServerSettings settings, QObject* parent)
    : QObject(parent), dataDir_(std::move(dataDir)), settings_(std::move(settings)) {
  client_.passiveMode = true;
  client_.fullListing = true;
  connect(&client_, &net::FtpClient::done, this, &UpdateRun::onDone);
  connect(&client_, &net::FtpClient::errorTrap, this, &UpdateRun::onError);
}

bool UpdateRun::start() {
  std::string host;
  uint16_t port = 21;
  if (!splitHostPort(settings_.host, host, port) || host.empty()) {
    emit status("Error = Dirección del servidor no válida Comando = changedir");
    emit finished(false);
    return false;
  }
  client_.host = QString::fromStdString(host);
  client_.controlPort = port;
  client_.user = QString::fromStdString(settings_.user);
  client_.password = QString::fromStdString(settings_.password);
  client_.openNewControlConnection = true;
  client_.binaryTransfer = true;
  const std::string directory = settings_.directory.empty() ? "/" : settings_.directory;
  emit status("Conectando al servidor Velmora");
  return client_.changeDir(QString::fromStdString(directory));
}

void UpdateRun::onDone(const QString& command) {
  const QString c = command.toLower();
  if (c == "changedir") {
    client_.openNewControlConnection = false;  // the rest runs on this login
    client_.getDirListing(".");
    return;
  }
  if (c == "getdirlisting") {
    // Fetched first: the names from last to first.
    rows_ = client_.listing();
    std::stable_sort(rows_.begin(), rows_.end(), [](const auto& a, const auto& b) { return a.name > b.name; });
  }
  if (c == "getremotefile" && !current_.isEmpty()) {
    const std::string name = current_.toStdString();
    fetched_.push_back(name);
    if (keptAside(name)) aside_.push_back(name);
    emit fileFetched(current_);
    current_.clear();
  }
  scan();
}

void UpdateRun::scan() {
  emit status("Actualizando archivos");
  const int next = nextFileToFetch(rows_, dataDir_, fetched_, &refused_);
  if (next < 0) {
    emit status("Actualización Completa");
    emit finished(true);
    return;
  }
  const auto& row = rows_[static_cast<size_t>(next)];
  current_ = QString::fromStdString(row.name);
  const fs::path local = localPathFor(dataDir_, row.name);
  std::error_code ec;
  fs::create_directories(local.parent_path(), ec);
  emit fileStarted(current_, row.size);
  client_.getRemoteFile(current_, QString::fromStdString(local.string()));
}

void UpdateRun::onError(const QString& text, const QString&) {
  emit status("Error = " + text.trimmed() + " Comando = " + client_.command().trimmed());
  emit finished(false);
}

}  // namespace velmora::services
