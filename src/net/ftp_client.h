// FtpClient: an event-driven FTP client on the owner's thread. The control
// connection sends the commands and reads the replies; the data connection
// (passive or active) carries listings and files. One command runs at a
// time; each ends with done() or errorTrap(). Nothing blocks: connecting,
// replies and transfers all arrive as socket events.
#pragma once

#include <QElapsedTimer>
#include <QHostAddress>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <memory>
#include <vector>

#include "net/ftp_listing.h"
#include "net/ftp_reply.h"

class QFile;
class QSaveFile;
class QTcpServer;
class QTcpSocket;

namespace velmora::net {

// The client's commands, and the idle close it reports like one.
enum class FtpCommand {
  kNone,
  kChangeDir,
  kGetDirListing,
  kGetRemoteFile,
  kPutFile,
  kAppendToFile,
  kGetCurrentDirName,
  kChangeDirUp,
  kDeleteFile,
  kRename,
  kRemoveDir,
  kMakeDir,
  kNoOp,
  kQuit,
  kIdleTimeout,
};
// The command as status lines name it: "changedir", "getdirlisting"…
QString commandName(FtpCommand command);
// The method behind it, as the error trap names it: "ChangeDir"…
QString functionName(FtpCommand command);

class FtpClient : public QObject {
  Q_OBJECT
 public:
  // Client error codes (FTP reply codes are positive).
  static constexpr int kBusy = -58, kIdle = -57, kAborted = -656, kAbortedAwaitingPassive = -657, kConnectFailed = -650,
                       kLocalFile = -651, kIncomplete = -652, kReplyTooLong = -653, kUnknownReply = -655;

  explicit FtpClient(QObject* parent = nullptr);
  ~FtpClient() override;

  // Settings; they apply to the next command.
  QString host;
  quint16 controlPort = 21;
  QString user;      // empty: "anonymous"
  QString password;  // empty: an anonymous e-mail-style password
  bool passiveMode = true;
  bool fullListing = true;
  bool binaryTransfer = true;
  bool openNewControlConnection = false;
  bool ignorePassiveFailure = false;
  bool onlyUseSizesInDirList = false;
  quint16 lowerDataPort = 1792, upperDataPort = 4400;
  int connectTimeoutMs = 12000;
  // How long a command may wait for the server's reply (while the data
  // connection moves nothing), and how long an open connection may stay
  // unused before it is closed.
  int replyTimeoutMs = 30000;
  int idleTimeoutMs = 180000;
  // After the server said a transfer is complete: how long its data
  // connection may stay open before the transfer is ended anyway.
  int dataCloseTimeoutMs = 5000;
  // How often a refused data connection (425) is prepared again.
  int maxDataRetries = 3;
  int progressIntervalMs = 150;

  // The commands: false (with errorTrap) when one is already running.
  bool changeDir(const QString& directory);
  bool getDirListing(const QString& directory);
  // A file is saved only when it arrived whole: as many bytes as its size
  // (`size`, else the last listing's row, else the server's SIZE reply,
  // else the size announced with the transfer) and the server's 226. Until
  // then the local file stays as it was.
  bool getRemoteFile(const QString& remote, const QString& local, qint64 size = -1);
  bool putFile(const QString& local, const QString& remote);
  bool appendToFile(const QString& local, const QString& remote);
  bool getCurrentDirName();
  bool changeDirUp();
  bool deleteFile(const QString& remote);
  bool rename(const QString& from, const QString& to);
  bool removeDir(const QString& directory);
  bool makeDir(const QString& directory);
  bool noOp();
  bool quit();
  // Ends the running command at once (errorTrap with kAborted and `why`).
  void abort(const QString& why);

  bool busy() const { return busy_; }
  bool loggedIn() const { return loggedIn_; }
  FtpCommand command() const { return command_; }  // the last command
  int ftpError() const { return ftpError_; }
  int error() const { return error_; }
  const QString& errorString() const { return errorString_; }
  const QString& currentDirectory() const { return currentDirectory_; }
  // The rows of the last listing (emptied when a listing starts).
  const std::vector<ListingRow>& listing() const { return listing_; }
  qint64 expectedFileSize() const { return expectedSize_; }
  // For tests of the day-dependent listing rule.
  void setToday(int32_t day) { today_ = day; }

 signals:
  void done(velmora::net::FtpCommand command);
  void errorTrap(const QString& text, const QString& function);
  void progress(int percent);         // of the file being received, 0 to 100
  void logLine(const QString& line);  // what was sent and received; passwords masked

 private:
  enum class Data { kNone, kListing, kReceive, kSend };
  // Where the control connection stands in the running command.
  enum class Stage {
    kIdle,
    kConnecting,
    kUser,          // USER sent
    kUserAccepted,  // PASS sent
    kPassiveWait,   // PASV sent
    kPort,          // PORT sent
    kType,          // TYPE sent
    kSize,          // SIZE sent
    kPrepared,      // a step answered; the next one goes out
    kCommand,       // the command itself sent
    kRenameTo,      // RNTO sent
  };
  struct Request {
    FtpCommand command = FtpCommand::kNone;
    QString line;  // what is sent once ready
    Data data = Data::kNone;
    QString remote, local, second;
    qint64 size = -1;
  };

  bool start(Request request);
  void proceed();
  void send(const QString& line);
  void onControlConnected();
  void onControlData();
  void onControlClosed();
  void onReply(const FtpReply& reply);
  void handleCommandReply(int code, const FtpReply& reply);
  bool handleErrorReply(int code);
  void unknownReply(const FtpReply& reply);
  void preparePassive(const FtpReply& reply);
  void prepareActive();
  void openData(const QHostAddress& address, quint16 port);
  void onDataConnected();
  void onDataReadable();
  void onDataClosed();
  void dataEnded();
  void sendFileData();
  void transferStarting(const FtpReply& reply);
  void controlFinished();
  void finishIfBothDone();
  void fail(int code, const QString& text);
  void closeData();
  void closeAll();
  void touch();
  void idleTimedOut();
  void reportProgress(bool force);
  void log(const QString& line);

  QTcpSocket* control_;
  QPointer<QTcpSocket> data_;
  QTcpServer* listener_ = nullptr;
  QTimer idle_, connectTimer_, dataCloseTimer_;
  ReplyAssembler replies_;
  std::unique_ptr<ListingParser> parser_;
  std::unique_ptr<QSaveFile> target_;
  std::unique_ptr<QFile> source_;

  Request request_;
  FtpCommand command_ = FtpCommand::kNone;
  Stage stage_ = Stage::kIdle;
  QString errorString_, currentDirectory_;
  bool busy_ = false, loggedIn_ = false, connecting_ = false, dataPrepared_ = false, typeSent_ = false,
       typeRetried_ = false, commandSent_ = false, controlDone_ = false, dataDone_ = false, transferring_ = false,
       dataMoved_ = false;  // the data connection carried something since the last idle check
  int ftpError_ = 0, error_ = 0;
  int dataRetries_ = 0;
  bool sizeKnown_ = false, sizeAsked_ = false;
  quint16 dataPort_ = 0;
  qint64 expectedSize_ = 0, received_ = 0;
  int lastPercent_ = -1;
  QElapsedTimer sinceProgress_;
  std::vector<ListingRow> listing_;
  int32_t today_ = 0;
};

}  // namespace velmora::net
