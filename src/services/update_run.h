// ACTUAL's course over the FTP client: change to the server directory, list
// it, then fetch one file at a time by the fetch rule until nothing is left,
// telling the window (or the terminal) each status.
//
// A file is fetched into a scratch folder of the data directory and put in
// place only once the client has saved it whole; a copy byte for byte equal
// to the local file is dropped (the local file is only marked as checked).
// The whole run has a deadline, and every wait on the server a limit.
#pragma once

#include <QObject>
#include <QString>
#include <QTimer>
#include <filesystem>
#include <memory>
#include <vector>

#include "net/ftp_client.h"
#include "services/online_update.h"
#include "shell/scratch_directory.h"

namespace velmora::services {

// The scratch folder of a download in the data folder.
inline constexpr const char* kDownloadScratchPrefix = ".velmora-descarga-";

// The limits of a run, in milliseconds.
struct UpdateLimits {
  int replyMs = 30000;     // each reply of the server
  int dataCloseMs = 5000;  // a data connection left open after its 226
  int runMs = 3600000;     // the whole run
};

class UpdateRun : public QObject {
  Q_OBJECT
 public:
  UpdateRun(std::filesystem::path dataDir, ServerSettings settings, UpdateLimits limits = {},
            QObject* parent = nullptr);

  net::FtpClient& client() { return client_; }
  // Starts the update (" Actualiza"); false when the server address is unusable.
  bool start();
  const std::vector<std::string>& fetched() const { return fetched_; }
  const std::vector<std::string>& refused() const { return refused_; }
  const std::vector<std::string>& arrivedAside() const { return aside_; }
  // Fetched again but equal to the local copy: nothing was replaced.
  const std::vector<std::string>& unchanged() const { return unchanged_; }
  // Listing lines of no known form: the run cannot be complete with them.
  const std::vector<std::string>& unreadable() const { return unreadable_; }
  // Why a run that did not complete stopped, in Spanish, and the command
  // it stopped at.
  const std::string& failure() const { return failure_; }
  const std::string& failedCommand() const { return failedCommand_; }

 signals:
  void status(const QString& text);
  void fileStarted(const QString& name, qint64 size);
  void fileFetched(const QString& name);
  // The scan reached the end ("Actualización Completa"), or an error stopped it.
  void finished(bool complete);

 private:
  void onDone(net::FtpCommand command);
  void onError(const QString& text, const QString& function);
  void scan();
  void placeFetched();
  void end(bool complete, const QString& text);
  void fail(const std::string& spanish, const QString& statusText, const QString& command);

  std::filesystem::path dataDir_;
  ServerSettings settings_;
  UpdateLimits limits_;
  net::FtpClient client_;
  QTimer deadline_;
  std::unique_ptr<shell::ScratchDirectory> scratch_;
  std::vector<net::ListingRow> rows_;  // the server directory, in the order it is scanned
  std::vector<std::string> fetched_, refused_, aside_, unchanged_, unreadable_;
  QString current_;
  std::string failure_, failedCommand_;
  bool ended_ = false, stopping_ = false;
};

}  // namespace velmora::services
