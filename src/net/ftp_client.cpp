#include "net/ftp_client.h"

#include <QFile>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSaveFile>
#include <QTcpServer>
#include <QTcpSocket>

#include "framework/dates.h"

namespace velmora::net {

namespace {

// The texts of the error replies.
QString errorText(int code) {
  switch (code) {
    case 120: return "Service will only become ready sometime later";
    case 421: return "FTP Server closing Control Connection. (Server closing down)";
    case 426: return "Connection closed, transfer aborted";
    case 450: return "File unavailable";
    case 451: return "Local error in processing";
    case 452: return "Insufficient storage space in system";
    case 500: return "Command unrecognized";
    case 501: return "Syntax error in parameters or arguments";
    case 502: return "Command not implemented";
    case 503: return "Bad sequence of commands";
    case 504: return "Command not implemented for that parameter";
    case 530: return "Not logged in";
    case 532: return "Need account for storing files";
    case 550: return "File unavailable";
    case 552: return "Exceeded storage allocation";
    case 553: return "File name not allowed";
    default: return {};
  }
}

QString trimmedReply(const FtpReply& reply) { return QString::fromUtf8(reply.text).trimmed(); }

}  // namespace

QString functionName(FtpCommand command) {
  switch (command) {
    case FtpCommand::kNone: return {};
    case FtpCommand::kChangeDir: return "ChangeDir";
    case FtpCommand::kGetDirListing: return "GetDirListing";
    case FtpCommand::kGetRemoteFile: return "GetRemoteFile";
    case FtpCommand::kPutFile: return "PutFile";
    case FtpCommand::kAppendToFile: return "AppendToFile";
    case FtpCommand::kGetCurrentDirName: return "GetCurrentDirName";
    case FtpCommand::kChangeDirUp: return "ChangeDirUp";
    case FtpCommand::kDeleteFile: return "DeleteFile";
    case FtpCommand::kRename: return "Rename";
    case FtpCommand::kRemoveDir: return "RemoveDir";
    case FtpCommand::kMakeDir: return "MakeDir";
    case FtpCommand::kNoOp: return "NoOp";
    case FtpCommand::kQuit: return "Quit";
    case FtpCommand::kIdleTimeout: return "IdleTimeout";
  }
  return {};
}

QString commandName(FtpCommand command) {
  return command == FtpCommand::kIdleTimeout ? functionName(command) : functionName(command).toLower();
}

FtpClient::FtpClient(QObject* parent) : QObject(parent), control_(new QTcpSocket(this)) {
  dataPort_ = static_cast<quint16>(QRandomGenerator::global()->bounded(int(lowerDataPort), int(upperDataPort) + 1));
  idle_.setSingleShot(true);
  connectTimer_.setSingleShot(true);
  connect(&idle_, &QTimer::timeout, this, &FtpClient::idleTimedOut);
  dataCloseTimer_.setSingleShot(true);
  connect(&dataCloseTimer_, &QTimer::timeout, this, [this] {
    // The server said the transfer is complete but keeps its data connection
    // open: what arrived is judged now.
    if (!busy_ || dataDone_) return;
    log("The data connection stayed open after the transfer was complete; it was closed.");
    if (data_) onDataReadable();
    if (busy_) dataEnded();
  });
  connect(&connectTimer_, &QTimer::timeout, this, [this] {
    control_->abort();
    connecting_ = false;
    fail(kConnectFailed, "Could not connect to " + host + ": time-out");
  });
  connect(control_, &QTcpSocket::connected, this, &FtpClient::onControlConnected);
  connect(control_, &QTcpSocket::readyRead, this, &FtpClient::onControlData);
  connect(control_, &QTcpSocket::disconnected, this, &FtpClient::onControlClosed);
  connect(control_, &QTcpSocket::errorOccurred, this, [this](QAbstractSocket::SocketError) {
    if (connecting_) {
      connectTimer_.stop();
      connecting_ = false;
      fail(kConnectFailed, "Could not connect to " + host + ": " + control_->errorString());
    }
  });
}

FtpClient::~FtpClient() = default;

// ---- commands ----

bool FtpClient::changeDir(const QString& d) { return start({FtpCommand::kChangeDir, "CWD " + d}); }
bool FtpClient::getDirListing(const QString& d) {
  return start({FtpCommand::kGetDirListing, (fullListing ? "LIST " : "NLST ") + d, Data::kListing});
}
bool FtpClient::getRemoteFile(const QString& remote, const QString& local, qint64 size) {
  return start({FtpCommand::kGetRemoteFile, "RETR " + remote, Data::kReceive, remote, local, {}, size});
}
bool FtpClient::putFile(const QString& local, const QString& remote) {
  return start({FtpCommand::kPutFile, "STOR " + remote, Data::kSend, remote, local});
}
bool FtpClient::appendToFile(const QString& local, const QString& remote) {
  return start({FtpCommand::kAppendToFile, "APPE " + remote, Data::kSend, remote, local});
}
bool FtpClient::getCurrentDirName() { return start({FtpCommand::kGetCurrentDirName, "PWD"}); }
bool FtpClient::changeDirUp() { return start({FtpCommand::kChangeDirUp, "CDUP"}); }
bool FtpClient::deleteFile(const QString& r) { return start({FtpCommand::kDeleteFile, "DELE " + r}); }
bool FtpClient::rename(const QString& from, const QString& to) {
  return start({FtpCommand::kRename, "RNFR " + from, Data::kNone, from, {}, to});
}
bool FtpClient::removeDir(const QString& d) { return start({FtpCommand::kRemoveDir, "RMD " + d}); }
bool FtpClient::makeDir(const QString& d) { return start({FtpCommand::kMakeDir, "MKD " + d}); }
bool FtpClient::noOp() { return start({FtpCommand::kNoOp, "NOOP"}); }
bool FtpClient::quit() { return start({FtpCommand::kQuit, "QUIT"}); }

bool FtpClient::start(Request request) {
  if (busy_) {
    // The running command is left alone.
    log("Warning. Another command is still in progress. This command was ignored");
    const QString function = functionName(request.command);
    emit errorTrap("Can't do a " + function + " command, as the FTP object is already busy", function);
    return false;
  }
  busy_ = true;
  request_ = std::move(request);
  command_ = request_.command;
  ftpError_ = error_ = 0;
  errorString_.clear();
  dataPrepared_ = typeSent_ = typeRetried_ = commandSent_ = controlDone_ = dataDone_ = transferring_ = false;
  expectedSize_ = received_ = 0;
  lastPercent_ = -1;
  dataMoved_ = false;
  dataRetries_ = 0;
  dataCloseTimer_.stop();
  sizeKnown_ = sizeAsked_ = false;
  if (request_.data == Data::kReceive) {
    // The size the file must have: given, or the last listing's row.
    if (request_.size >= 0) {
      expectedSize_ = request_.size;
      sizeKnown_ = true;
    }
    for (const auto& row : listing_) {
      if (!sizeKnown_ && row.understood && QString::fromStdString(row.name) == request_.remote && row.size >= 0) {
        expectedSize_ = row.size;
        sizeKnown_ = true;
      }
    }
  }
  if (openNewControlConnection) {
    closeAll();
    loggedIn_ = false;
  }
  if (request_.data == Data::kListing) {
    listing_.clear();
    parser_ = std::make_unique<ListingParser>(fullListing, today_ ? today_ : dates::today());
  }
  if (request_.data == Data::kReceive) {
    // Written beside the target and renamed over it only when complete.
    target_ = std::make_unique<QSaveFile>(request_.local);
    if (!target_->open(QIODevice::WriteOnly)) {
      target_.reset();
      fail(kLocalFile, "Cannot create destination file");
      return false;
    }
  }
  if (request_.data == Data::kSend) {
    source_ = std::make_unique<QFile>(request_.local);
    if (!source_->open(QIODevice::ReadOnly)) {
      source_.reset();
      fail(kLocalFile, "Cannot open source file");
      return false;
    }
  }
  proceed();
  return true;
}

void FtpClient::proceed() {
  if (control_->state() != QAbstractSocket::ConnectedState) {
    if (connecting_) return;
    connecting_ = true;
    loggedIn_ = false;
    stage_ = Stage::kConnecting;
    replies_.reset();
    connectTimer_.start(connectTimeoutMs);
    control_->connectToHost(host, controlPort);
    return;
  }
  if (!loggedIn_) {
    stage_ = Stage::kUser;
    send("USER " + (user.isEmpty() ? QString("anonymous") : user));
    return;
  }
  if (request_.data != Data::kNone && !dataPrepared_) {
    if (passiveMode) {
      stage_ = Stage::kPassiveWait;
      send("PASV");
    } else {
      prepareActive();
    }
    return;
  }
  if (request_.data != Data::kNone && !typeSent_) {
    stage_ = Stage::kType;
    send(QString("TYPE ") + (binaryTransfer ? "I" : "A"));
    return;
  }
  if (request_.data == Data::kReceive && !sizeKnown_ && !sizeAsked_) {
    sizeAsked_ = true;
    stage_ = Stage::kSize;
    send("SIZE " + request_.remote);
    return;
  }
  stage_ = Stage::kCommand;
  commandSent_ = true;
  send(request_.line);
}

void FtpClient::send(const QString& line) {
  log(line.startsWith("PASS ") ? QString("PASS ********") : line);
  control_->write((line + "\r\n").toUtf8());
  touch();
}

// ---- the control connection ----

void FtpClient::onControlConnected() { touch(); }

void FtpClient::onControlData() {
  touch();
  std::vector<FtpReply> complete;
  std::vector<std::string> problems;
  const bool fits = replies_.feed(control_->readAll().toStdString(), complete, problems);
  for (const auto& p : problems) log(QString::fromStdString(p));
  for (const auto& reply : complete) {
    log(trimmedReply(reply));
    onReply(reply);
  }
  if (!fits) {
    fail(kReplyTooLong,
         "Error. All of the memory of the ReplySoFar String has been used. It is too small for the reply we received");
  }
}

void FtpClient::onControlClosed() {
  const bool wasConnecting = connecting_;
  connecting_ = false;
  connectTimer_.stop();
  loggedIn_ = false;
  if (!busy_ || wasConnecting) return;  // a failed open is reported by errorOccurred
  if (request_.command == FtpCommand::kQuit) {
    controlDone_ = true;
    finishIfBothDone();
  } else if (stage_ == Stage::kPassiveWait) {
    fail(kAbortedAwaitingPassive, "Command aborted. Check if the server supports the Passive mode.");
  } else {
    fail(kAborted, "Command aborted.");
  }
}

void FtpClient::onReply(const FtpReply& reply) {
  const int code = reply.code;
  if (!busy_) return;  // a late reply after a failure (or a greeting never asked for)
  if (stage_ == Stage::kConnecting) {
    connectTimer_.stop();
    connecting_ = false;
    if (code == 220) {
      stage_ = Stage::kPrepared;
      proceed();
    } else if (!handleErrorReply(code)) {
      unknownReply(reply);
    }
    return;
  }
  if (stage_ == Stage::kUser || stage_ == Stage::kUserAccepted) {
    if (code == 331 && stage_ == Stage::kUser) {
      stage_ = Stage::kUserAccepted;
      send("PASS " + (password.isEmpty() ? QString("velmora@localhost") : password));
    } else if (code == 230 || code == 202) {
      loggedIn_ = true;
      stage_ = Stage::kPrepared;
      proceed();
    } else if (code == 332) {
      fail(332, "332 \"need account\" - no code for this yet.");
    } else if (code == 530) {
      fail(530, stage_ == Stage::kUser ? "User " + (user.isEmpty() ? QString("anonymous") : user) + " access denied"
                                       : QString("Login incorrect"));
    } else if (!handleErrorReply(code)) {
      unknownReply(reply);
    }
    return;
  }
  if (stage_ == Stage::kPassiveWait) {
    if (code == 227) {
      preparePassive(reply);
    } else if (ignorePassiveFailure) {
      log("Warning - PASV (Passive) Command Failed. Will ignore and continue");
      dataPrepared_ = true;
      proceed();
    } else if (!handleErrorReply(code)) {
      unknownReply(reply);
    }
    return;
  }
  if (stage_ == Stage::kPort) {
    if (code == 200) {
      stage_ = Stage::kPrepared;
      dataPrepared_ = true;
      proceed();
    } else if (!handleErrorReply(code)) {
      unknownReply(reply);
    }
    return;
  }
  if (stage_ == Stage::kSize) {
    // 213 gives the size; any other answer leaves it to the transfer's own.
    static const QRegularExpression digits("^213\\s+(\\d+)");
    const auto m = digits.match(trimmedReply(reply));
    if (code == 213 && m.hasMatch()) {
      expectedSize_ = m.captured(1).toLongLong();
      sizeKnown_ = true;
    }
    stage_ = Stage::kPrepared;
    proceed();
    return;
  }
  if (stage_ == Stage::kType) {
    if (code == 200) {
      stage_ = Stage::kPrepared;
      typeSent_ = true;
      proceed();
    } else if (code == 500 || code == 501) {
      log("Warning - TYPE Command Failed. Will ignore and continue");
      typeSent_ = true;
      proceed();
    } else if ((code == 504 || code == 530) && !typeRetried_) {
      typeRetried_ = true;
      binaryTransfer = true;
      send("TYPE I");
    } else if (code == 504 || code == 530) {
      log("Warning - TYPE Command Failed. Will ignore and continue");
      typeSent_ = true;
      proceed();
    } else if (!handleErrorReply(code)) {
      unknownReply(reply);
    }
    return;
  }
  handleCommandReply(code, reply);
}

void FtpClient::handleCommandReply(int code, const FtpReply& reply) {
  const FtpCommand command = request_.command;
  if (request_.data != Data::kNone) {
    if (code == 425) {
      // No data connection: prepare it again, a few times.
      if (++dataRetries_ > maxDataRetries) {
        fail(425, "Can't open data connection");
        return;
      }
      closeData();
      dataPrepared_ = typeSent_ = commandSent_ = false;
      proceed();
      return;
    }
    if (code == 125 || code == 150) {
      transferStarting(reply);
      return;
    }
    if (code == 226 || code == 250) {
      controlDone_ = true;
      if (!dataDone_) dataCloseTimer_.start(dataCloseTimeoutMs);
      finishIfBothDone();
      return;
    }
  } else {
    bool ok = false;
    switch (command) {
      case FtpCommand::kChangeDir:
      case FtpCommand::kChangeDirUp: ok = code == 250 || code == 200; break;
      case FtpCommand::kGetCurrentDirName:
      case FtpCommand::kMakeDir: ok = code == 257; break;
      case FtpCommand::kDeleteFile:
      case FtpCommand::kRemoveDir: ok = code == 250; break;
      case FtpCommand::kNoOp: ok = code == 200; break;
      case FtpCommand::kQuit: ok = code == 221; break;
      case FtpCommand::kRename:
        if (code == 350 && stage_ == Stage::kCommand) {
          stage_ = Stage::kRenameTo;
          send("RNTO " + request_.second);
          return;
        }
        ok = code == 250 && stage_ == Stage::kRenameTo;
        break;
      default: break;
    }
    if (ok) {
      if (code == 257) {
        static const QRegularExpression quoted("\"((?:[^\"]|\"\")*)\"");
        const auto m = quoted.match(QString::fromUtf8(reply.text));
        if (m.hasMatch()) currentDirectory_ = m.captured(1).replace("\"\"", "\"");
      }
      if (command == FtpCommand::kChangeDir) currentDirectory_ = request_.line.mid(4);
      if (command == FtpCommand::kQuit) {
        loggedIn_ = false;
        control_->disconnectFromHost();
      }
      controlDone_ = true;
      finishIfBothDone();
      return;
    }
  }
  if (!handleErrorReply(code)) {
    unknownReply(reply);
  }
}

void FtpClient::unknownReply(const FtpReply& reply) {
  fail(kUnknownReply,
       "Unknown Reply from FTP Server. Reply =" + trimmedReply(reply) + " Command =" + commandName(command_));
}

bool FtpClient::handleErrorReply(int code) {
  const QString text = errorText(code);
  if (text.isEmpty()) return false;
  fail(code, text);
  return true;
}

// ---- the data connection ----

void FtpClient::preparePassive(const FtpReply& reply) {
  static const QRegularExpression numbers("(\\d+),(\\d+),(\\d+),(\\d+),(\\d+),(\\d+)");
  const auto m = numbers.match(QString::fromUtf8(reply.text));
  if (!m.hasMatch()) {
    unknownReply(reply);
    return;
  }
  const QHostAddress offered(QString("%1.%2.%3.%4").arg(m.captured(1), m.captured(2), m.captured(3), m.captured(4)));
  const quint16 port = static_cast<quint16>(m.captured(5).toUInt() * 256 + m.captured(6).toUInt());
  // The data connection goes to the server we are talking to, whatever
  // address the reply names (it may be private, or someone else's).
  QHostAddress address = control_->peerAddress();
  if (offered.toIPv4Address() != address.toIPv4Address()) {
    log("Warning - PASV address " + offered.toString() + " is not the server's; using " + address.toString());
  }
  openData(address, port);
  dataPrepared_ = true;
  proceed();
}

void FtpClient::prepareActive() {
  delete listener_;
  listener_ = new QTcpServer(this);
  const int span = upperDataPort - lowerDataPort + 1;
  for (int tries = 0; tries < span; ++tries) {
    if (listener_->listen(control_->localAddress(), dataPort_)) break;
    log(QString("Could not listen on Port = %1 Will try the next one").arg(dataPort_));
    dataPort_ = dataPort_ >= upperDataPort ? lowerDataPort : static_cast<quint16>(dataPort_ + 1);
  }
  if (!listener_->isListening()) {
    fail(kConnectFailed, "Could not listen on any data port");
    return;
  }
  connect(listener_, &QTcpServer::newConnection, this, [this] {
    if (data_) return;
    data_ = listener_->nextPendingConnection();
    connect(data_, &QTcpSocket::readyRead, this, &FtpClient::onDataReadable);
    connect(data_, &QTcpSocket::disconnected, this, &FtpClient::onDataClosed);
    connect(data_, &QTcpSocket::bytesWritten, this, &FtpClient::sendFileData);
    onDataConnected();
  });
  const quint32 ip = control_->localAddress().toIPv4Address();
  stage_ = Stage::kPort;
  send(QString("PORT %1,%2,%3,%4,%5,%6")
           .arg(ip >> 24)
           .arg((ip >> 16) & 0xFF)
           .arg((ip >> 8) & 0xFF)
           .arg(ip & 0xFF)
           .arg(dataPort_ >> 8)
           .arg(dataPort_ & 0xFF));
}

void FtpClient::openData(const QHostAddress& address, quint16 port) {
  closeData();
  data_ = new QTcpSocket(this);
  data_->setReadBufferSize(0);
  connect(data_, &QTcpSocket::connected, this, &FtpClient::onDataConnected);
  connect(data_, &QTcpSocket::readyRead, this, &FtpClient::onDataReadable);
  connect(data_, &QTcpSocket::disconnected, this, &FtpClient::onDataClosed);
  connect(data_, &QTcpSocket::bytesWritten, this, &FtpClient::sendFileData);
  connect(data_, &QTcpSocket::errorOccurred, this, [this](QAbstractSocket::SocketError e) {
    if (e != QAbstractSocket::RemoteHostClosedError && busy_ && data_ &&
        data_->state() != QAbstractSocket::ConnectedState)
      fail(kConnectFailed, "Could not open the data connection: " + data_->errorString());
  });
  data_->connectToHost(address, port);
}

void FtpClient::onDataConnected() {
  dataMoved_ = true;
  if (request_.data == Data::kSend && transferring_) sendFileData();
}

void FtpClient::onDataReadable() {
  if (!data_ || !busy_) return;
  dataMoved_ = true;
  const QByteArray bytes = data_->readAll();
  if (bytes.isEmpty()) return;
  received_ += bytes.size();
  if (request_.data == Data::kListing && parser_) {
    if (!parser_->feed(std::string_view(bytes.constData(), static_cast<size_t>(bytes.size())), listing_))
      fail(parser_->errorCode(), QString::fromStdString(parser_->errorText()));
  } else if (request_.data == Data::kReceive && target_) {
    if (target_->write(bytes) != bytes.size()) {
      fail(kLocalFile, "Data cannot be written to destination file");
      return;
    }
    reportProgress(false);
  }
}

void FtpClient::onDataClosed() {
  if (!busy_ || dataDone_) return;
  onDataReadable();
  if (!busy_) return;
  // A file cut short of its known size can never complete: said at once.
  if (request_.data == Data::kReceive && sizeKnown_ && received_ != expectedSize_) {
    fail(kIncomplete, "Error occured while receiving a file, not all data was received");
    return;
  }
  dataEnded();
}

// The data connection is over (closed, or ended after the server's 226):
// a listing is parsed to its end; a file waits for the control connection's
// verdict in finishIfBothDone.
void FtpClient::dataEnded() {
  dataCloseTimer_.stop();
  transferring_ = false;
  if (request_.data == Data::kListing && parser_) {
    if (!parser_->finish(listing_)) {
      fail(parser_->errorCode(), QString::fromStdString(parser_->errorText()));
      return;
    }
  }
  dataDone_ = true;
  if (data_) {
    data_->disconnect(this);
    data_->abort();
  }
  if (!controlDone_) log("Data object is finished - need to wait for Control object.");
  finishIfBothDone();
}

void FtpClient::sendFileData() {
  if (request_.data != Data::kSend || !transferring_ || !data_ || !source_ ||
      data_->state() != QAbstractSocket::ConnectedState)
    return;
  dataMoved_ = true;
  // Keeps a few blocks in flight; the rest follows as they are written.
  while (data_->bytesToWrite() < 256 * 1024 && !source_->atEnd()) {
    const QByteArray block = source_->read(64 * 1024);
    if (block.isEmpty()) break;
    data_->write(block);
  }
  if (source_->atEnd() && data_->bytesToWrite() == 0) {
    source_.reset();
    data_->disconnectFromHost();
  }
}

void FtpClient::transferStarting(const FtpReply& reply) {
  transferring_ = true;
  if (request_.data == Data::kSend) {
    sendFileData();
    return;
  }
  if (request_.data != Data::kReceive) return;
  static const QRegularExpression size("\\((\\d+) bytes\\)");
  const auto m = size.match(QString::fromUtf8(reply.text));
  qint64 expected = -1;
  if (m.hasMatch() && !onlyUseSizesInDirList) expected = m.captured(1).toLongLong();
  // The size known before the transfer stands; the announcement is only a
  // last resort (a server may announce anything).
  if (!sizeKnown_ && expected >= 0) {
    expectedSize_ = expected;
    sizeKnown_ = true;
  }
  reportProgress(true);
}

void FtpClient::finishIfBothDone() {
  if (!controlDone_ || (request_.data != Data::kNone && !dataDone_)) return;
  if (request_.data == Data::kReceive && target_) {
    // Saved only whole: every byte of a size known, after the server's 226.
    if (!sizeKnown_) {
      fail(kIncomplete, "The size of the file is unknown; it was not saved");
      return;
    }
    if (received_ != expectedSize_) {
      fail(kIncomplete, "Error occured while receiving a file, not all data was received");
      return;
    }
    if (!target_->commit()) {
      target_.reset();
      fail(kLocalFile, "Data cannot be written to destination file");
      return;
    }
    target_.reset();
    reportProgress(true);
  }
  busy_ = false;
  dataCloseTimer_.stop();
  closeData();
  touch();
  emit done(command_);
}

void FtpClient::abort(const QString& why) {
  if (busy_) fail(kAborted, why);
  closeAll();
}

void FtpClient::controlFinished() {
  controlDone_ = true;
  finishIfBothDone();
}

void FtpClient::fail(int code, const QString& text) {
  dataCloseTimer_.stop();
  ftpError_ = code;
  error_ = code < 0 ? code : 0;
  errorString_ = text;
  busy_ = false;
  transferring_ = false;
  closeData();
  if (target_) target_->cancelWriting();  // the old file stays as it was
  target_.reset();
  source_.reset();
  emit errorTrap(text, functionName(request_.command));
}

void FtpClient::closeData() {
  if (data_) {
    data_->disconnect(this);
    data_->abort();
    data_->deleteLater();
  }
  data_ = nullptr;
  if (listener_) {
    listener_->close();
    listener_->deleteLater();
    listener_ = nullptr;
  }
}

void FtpClient::closeAll() {
  closeData();
  connectTimer_.stop();
  connecting_ = false;
  control_->abort();
  replies_.reset();
  loggedIn_ = false;
}

// ---- time-out and progress ----

void FtpClient::touch() {
  const int limit = busy_ ? replyTimeoutMs : idleTimeoutMs;
  if (limit > 0) idle_.start(limit);
}

void FtpClient::idleTimedOut() {
  // The control connection is quiet while a file flows on the data one: that
  // is no idleness. A data connection that moved nothing since the last
  // time-out is, so a stalled transfer ends instead of waiting for ever.
  if (dataMoved_ && data_ && data_->state() == QAbstractSocket::ConnectedState) {
    dataMoved_ = false;
    log("Ignored timeout - the Data connection or DLL are still busy transferring data.");
    touch();
    return;
  }
  if (control_->state() == QAbstractSocket::UnconnectedState && !connecting_) return;
  closeAll();
  emit progress(0);
  expectedSize_ = received_ = 0;
  busy_ = false;
  if (target_) target_->cancelWriting();
  target_.reset();
  source_.reset();
  error_ = kIdle;
  ftpError_ = 0;
  command_ = FtpCommand::kIdleTimeout;
  errorString_ = "The FTP connection was idle and was closed.";
  emit errorTrap("The FTP connection was idle and was closed", "IdleTimeout");
}

void FtpClient::reportProgress(bool force) {
  const int percent = expectedSize_ > 0 ? static_cast<int>(std::min<qint64>(100, received_ * 100 / expectedSize_))
                                        : (force && dataDone_ ? 100 : 0);
  if (percent == lastPercent_) return;
  if (!force && sinceProgress_.isValid() && sinceProgress_.elapsed() < progressIntervalMs) return;
  sinceProgress_.start();
  lastPercent_ = percent;
  emit progress(percent);
}

void FtpClient::log(const QString& line) { emit logLine(line); }

}  // namespace velmora::net
