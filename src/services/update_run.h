// ACTUAL's course over the FTP client: change to the server directory, list
// it, then fetch one file at a time by the size and date rule until nothing
// is left, telling the window (or the terminal) each status.
#pragma once

#include <QObject>
#include <QString>
#include <filesystem>
#include <vector>

#include "net/ftp_client.h"
#include "services/online_update.h"

namespace velmora::services {

class UpdateRun : public QObject {
  Q_OBJECT
 public:
  UpdateRun(std::filesystem::path dataDir, ServerSettings settings, QObject* parent = nullptr);

  net::FtpClient& client() { return client_; }
  // Starts the update (" Actualiza"); false when the server address is unusable.
  bool start();
  const std::vector<std::string>& fetched() const { return fetched_; }
  const std::vector<std::string>& refused() const { return refused_; }
  const std::vector<std::string>& arrivedAside() const { return aside_; }

 signals:
  void status(const QString& text);
  void fileStarted(const QString& name, qint64 size);
  void fileFetched(const QString& name);
  // The scan reached the end ("Actualización Completa"), or an error stopped it.
  void finished(bool complete);

 private:
  void onDone(const QString& command);
  void onError(const QString& text, const QString& function);
  void scan();

  std::filesystem::path dataDir_;
  ServerSettings settings_;
  net::FtpClient client_;
  std::vector<net::ListingRow> rows_;  // the server directory, in the order it is scanned
  std::vector<std::string> fetched_, refused_, aside_;
  QString current_;
};

}  // namespace velmora::services
