// A scripted FTP server on a loopback port, for what real servers will not
// do on demand: replies in pieces or over the limit, rejected commands,
// wrong passive addresses, transfers cut short, silence.
#pragma once

#include <QByteArray>
#include <QMap>
#include <QObject>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <deque>
#include <functional>
#include <map>

namespace velmora::testing {

class FakeFtpServer : public QObject {
 public:
  // Replies given in place of the normal one, per verb, used in order.
  std::map<QString, std::deque<QByteArray>> overrides;
  QByteArray greeting = "220 Servidor de prueba\r\n";
  bool sendInPieces = false;             // every reply one byte at a time
  bool silent = false;                   // nothing after the greeting
  QByteArray listing;                    // what LIST sends
  QMap<QString, QByteArray> files;       // what RETR sends
  bool sizeInReply = true;               // "150 ... (N bytes)"
  int cutAfter = -1;                     // RETR: close the data connection after so many bytes
  bool stall = false;                    // with cutAfter: keep the data connection open, silent
  int trickleMs = 0;                     // RETR: the data in ten pieces this far apart
  bool dataFirst = false;                // RETR: the data (cut at cutAfter) and its close before "150" and "226"
  bool keepDataOpen = false;             // RETR: "226" sent, the data connection left open
  QString passiveAddress = "127,0,0,1";  // what the 227 reply names
  QString hangUpOn;                      // closes the control connection when this verb arrives
  QStringList received;                  // every command line received

  FakeFtpServer() {
    server_.listen(QHostAddress::LocalHost);
    connect(&server_, &QTcpServer::newConnection, this, [this] {
      control_ = server_.nextPendingConnection();
      reply(greeting);
      connect(control_, &QTcpSocket::readyRead, this, [this] { onCommand(); });
    });
  }
  quint16 port() const { return server_.serverPort(); }
  void closeControl() {
    if (control_) control_->disconnectFromHost();
  }

 private:
  void reply(const QByteArray& text) {
    if (!control_) return;
    if (!sendInPieces) {
      control_->write(text);
      return;
    }
    for (int i = 0; i < text.size(); ++i) {
      QTimer::singleShot(i, this, [this, c = text.mid(i, 1)] {
        if (control_) control_->write(c);
      });
    }
  }
  void onCommand() {
    buffer_ += control_->readAll();
    for (int at; (at = buffer_.indexOf("\r\n")) >= 0;) {
      const QString line = QString::fromUtf8(buffer_.left(at));
      buffer_.remove(0, at + 2);
      received << line;
      if (silent) continue;
      const QString verb = line.section(' ', 0, 0).toUpper();
      const QString arg = line.section(' ', 1);
      if (verb == hangUpOn) {
        control_->disconnectFromHost();
        return;
      }
      auto o = overrides.find(verb);
      if (o != overrides.end() && !o->second.empty()) {
        const QByteArray text = o->second.front();
        o->second.pop_front();
        if (verb == "PASV" && text.startsWith("227")) openPassive(false);
        reply(text);
        continue;
      }
      answer(verb, arg);
    }
  }
  void answer(const QString& verb, const QString& arg) {
    if (verb == "USER") reply("331 Clave, por favor\r\n");
    else if (verb == "PASS") reply("230 Adentro\r\n");
    else if (verb == "CWD") reply("250 Directorio cambiado\r\n");
    else if (verb == "PWD") reply("257 \"/act\" es el directorio\r\n");
    else if (verb == "TYPE") reply("200 Tipo listo\r\n");
    else if (verb == "NOOP") reply("200 NOOP ok\r\n");
    else if (verb == "QUIT") reply("221 Adios\r\n");
    else if (verb == "PASV") {
      openPassive(true);
    } else if (verb == "LIST" || verb == "NLST") {
      transfer("150 Enviando listado\r\n", listing, -1);
    } else if (verb == "RETR") {
      if (!files.contains(arg)) {
        reply("550 No existe\r\n");
        return;
      }
      const QByteArray content = files.value(arg);
      const QByteArray start = sizeInReply
                                   ? QByteArray("150 Abriendo (") + QByteArray::number(content.size()) + " bytes)\r\n"
                                   : QByteArray("150 Abriendo\r\n");
      if (dataFirst) {
        sendThenReply(content.left(cutAfter >= 0 ? cutAfter : content.size()),
                      start + "226 Transferencia completa\r\n");
        return;
      }
      if (keepDataOpen) {
        reply(start);
        whenConnected([this, content](QTcpSocket* s) {
          s->write(content);
          QTimer::singleShot(50, this, [this] { reply("226 Transferencia completa\r\n"); });
        });
        return;
      }
      transfer(start, content, cutAfter);
    } else {
      reply("502 No implementado\r\n");
    }
  }
  void openPassive(bool sendReply) {
    delete data_;
    data_ = new QTcpServer(this);
    data_->listen(QHostAddress::LocalHost);
    const quint16 p = data_->serverPort();
    if (sendReply) {
      reply(QString("227 Entering Passive Mode (%1,%2,%3)\r\n").arg(passiveAddress).arg(p >> 8).arg(p & 0xFF).toUtf8());
    }
  }
  void whenConnected(const std::function<void(QTcpSocket*)>& send) {
    if (!data_) return;
    if (data_->hasPendingConnections()) send(data_->nextPendingConnection());
    else connect(data_, &QTcpServer::newConnection, this, [this, send] { send(data_->nextPendingConnection()); });
  }
  // The data and its close first, the replies after.
  void sendThenReply(const QByteArray& part, const QByteArray& replies) {
    whenConnected([this, part, replies](QTcpSocket* s) {
      s->write(part);
      s->flush();
      s->disconnectFromHost();
      QTimer::singleShot(100, this, [this, replies] { reply(replies); });
    });
  }
  // The start reply, then the data once the client's data connection is in.
  void transfer(const QByteArray& start, const QByteArray& content, int cut) {
    reply(start);
    const auto send = [this, content, cut](QTcpSocket* s) {
      if (trickleMs > 0 && cut < 0) {
        const int piece = (content.size() + 9) / 10;
        for (int i = 0; i < 10; ++i) {
          QTimer::singleShot(i * trickleMs, s, [s, part = content.mid(i * piece, piece)] { s->write(part); });
        }
        QTimer::singleShot(10 * trickleMs, s, [this, s] {
          s->disconnectFromHost();
          reply("226 Transferencia completa\r\n");
        });
        return;
      }
      const QByteArray part = cut >= 0 ? content.left(cut) : content;
      if (stall) {
        s->write(part);  // and nothing more: the connection stays open
        return;
      }
      s->write(part);
      connect(s, &QTcpSocket::bytesWritten, s, [s] {
        if (s->bytesToWrite() == 0) s->disconnectFromHost();
      });
      if (part.isEmpty()) s->disconnectFromHost();
      if (cut < 0) QTimer::singleShot(50, this, [this] { reply("226 Transferencia completa\r\n"); });
    };
    if (!data_) return;
    if (data_->hasPendingConnections()) {
      send(data_->nextPendingConnection());
    } else {
      connect(data_, &QTcpServer::newConnection, this, [this, send] { send(data_->nextPendingConnection()); });
    }
  }

  QTcpServer server_;
  QPointer<QTcpServer> data_;
  QPointer<QTcpSocket> control_;
  QByteArray buffer_;
};

}  // namespace velmora::testing
