// A real FTP server (pyftpdlib) on a free loopback port, serving a temporary
// root, started and stopped by the test.
#pragma once

#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <filesystem>
#include <string>

namespace velmora::testing {

class RealFtpServer {
 public:
  static constexpr const char* kUser = "velmora";
  static constexpr const char* kPassword = "secreto";

  explicit RealFtpServer(const std::filesystem::path& root) : root_(root) {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost);
    port_ = probe.serverPort();
    probe.close();
    process_.setProcessChannelMode(QProcess::MergedChannels);
    process_.start("/usr/bin/python3", {"-m", "pyftpdlib", "-i", "127.0.0.1", "-p", QString::number(port_), "-d",
                                        QString::fromStdString(root.string()), "-w", "-u", kUser, "-P", kPassword});
    for (int i = 0; i < 100 && !ready(); ++i) QThread::msleep(50);
  }
  ~RealFtpServer() {
    process_.kill();
    process_.waitForFinished(3000);
  }
  bool ready() {
    QTcpSocket s;
    s.connectToHost(QHostAddress::LocalHost, port_);
    return s.waitForConnected(200);
  }
  quint16 port() const { return port_; }
  QString output() { return QString::fromUtf8(process_.readAll()); }

 private:
  std::filesystem::path root_;
  quint16 port_ = 0;
  QProcess process_;
};

}  // namespace velmora::testing
