// The FTP client: its reply assembly and listing parsers on their own, then
// the client against a scripted server and against a real one (pyftpdlib).
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QTimer>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "fake_ftp_server.h"
#include "framework/dates.h"
#include "ftp_server.h"
#include "net/ftp_client.h"
#include "net/ftp_listing.h"
#include "net/ftp_reply.h"

// Readable QString values in failure messages.
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

namespace velmora::testing {
namespace {

namespace fs = std::filesystem;
using net::FtpClient;
using net::ListingParser;
using net::ListingRow;
using net::ReplyAssembler;

// ---- reply assembly ----

TEST(ReplyAssembler, OneLineMultiLineAndPieces) {
  struct Case {
    std::vector<std::string> pieces;
    std::vector<int> codes;
  };
  const std::vector<Case> cases = {
      {{"220 Bienvenido\r\n"}, {220}},
      {{"2", "2", "0", " ", "h", "o", "l", "a", "\r", "\n"}, {220}},  // byte by byte
      {{"230-Linea uno\r\n", "otra linea\r\n230-sigue\r\n", "230 fin\r\n"}, {230}},
      {{"150 Abriendo\r\n226 Listo\r\n"}, {150, 226}},
      {{"220 sin fin"}, {}},  // waits for its line break
  };
  for (const auto& c : cases) {
    ReplyAssembler a;
    std::vector<net::FtpReply> replies;
    std::vector<std::string> log;
    for (const auto& p : c.pieces) EXPECT_TRUE(a.feed(p, replies, log));
    std::vector<int> codes;
    for (const auto& r : replies) codes.push_back(r.code);
    EXPECT_EQ(codes, c.codes) << c.pieces.front();
    EXPECT_TRUE(log.empty());
  }
}

TEST(ReplyAssembler, IllegalCharactersAndTheLimit) {
  ReplyAssembler a;
  std::vector<net::FtpReply> replies;
  std::vector<std::string> log;
  EXPECT_TRUE(a.feed("220x mal\r\n220 bien\r\n", replies, log));
  ASSERT_EQ(replies.size(), 1u);
  EXPECT_EQ(log, (std::vector<std::string>{"Error. Illegal 3rd character received", "Illegal character = [x]"}));
  log.clear();
  replies.clear();
  EXPECT_TRUE(a.feed("230-uno\r\n230*dos\r\n331 luego\r\n", replies, log));
  EXPECT_EQ(log.front(), "Error. Illegal character after 2nd reply code received");
  ASSERT_EQ(replies.size(), 1u);
  EXPECT_EQ(replies[0].code, 331);
  // A multi-line reply that never ends outgrows the limit.
  std::string endless = "220-";
  while (endless.size() <= ReplyAssembler::kLimit) endless += "una linea mas de texto\r\n";
  EXPECT_FALSE(a.feed(endless, replies, log));
  EXPECT_EQ(a.held(), 0u);
}

// ---- listings ----

std::vector<ListingRow> parse(const std::string& text, bool full = true, int32_t today = 0, int* error = nullptr) {
  ListingParser p(full, today ? today : dates::dayNumber(2026, 12, 10));
  std::vector<ListingRow> rows;
  bool ok = p.feed(text, rows) && p.finish(rows);
  if (error) *error = ok ? 0 : p.errorCode();
  return rows;
}

TEST(ListingParser, WindowsAndUnixStyles) {
  auto rows = parse(
      "01-15-26  10:30AM       <DIR>          Precios 2026\r\n"
      "12-01-26  03:05PM              32768 DATA4A\r\n");
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0].name, "Precios 2026");
  EXPECT_EQ(rows[0].attributes, ListingParser::kDirectory);
  EXPECT_EQ(rows[0].size, -1);
  EXPECT_EQ(rows[1].size, 32768);
  EXPECT_EQ(rows[1].date, dates::dayNumber(2026, 12, 1));
  EXPECT_EQ(rows[1].time, (15 * 3600 + 5 * 60) * 100 + 1);

  // Unix, with and without a group, a "total" first line, times and years.
  rows = parse(
      "total 12\n"
      "-rw-r--r--   1 ftp      ftp         32768 Dec 09 14:20 DATA4A\n"
      "drwxr-xr-x   2 ftp      ftp          4096 Jan 05  2024 viejos\n"
      "-rw-r--r--   1 ftp      ftp            10 Dec 25 08:00 NAVIDAD.TXT\n");
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0].date, dates::dayNumber(2026, 12, 9));
  EXPECT_EQ(rows[1].attributes, ListingParser::kDirectory);
  EXPECT_EQ(rows[1].date, dates::dayNumber(2024, 1, 5));
  EXPECT_EQ(rows[1].time, -1);
  // More than a day after today: last year's.
  EXPECT_EQ(rows[2].date, dates::dayNumber(2025, 12, 25));

  // Years, and lines with and without the group column in one listing.
  rows = parse(
      "-rw-r--r--   1 ftp      ftp         32768 Dec 09  2025 DATA4A\n"
      "-rw-r--r--   1 ftp                  65536 Nov 30  2025 DATA4B\n"
      "-rw-r--r--   1 1000     1000         4096 Oct 01  2024 VIEJO.TXT\n");
  ASSERT_EQ(rows.size(), 3u);
  for (const auto& r : rows) EXPECT_TRUE(r.understood) << r.name;
  EXPECT_EQ(rows[1].name, "DATA4B");
  EXPECT_EQ(rows[1].size, 65536);
  EXPECT_EQ(rows[1].date, dates::dayNumber(2025, 11, 30));
  EXPECT_EQ(rows[2].size, 4096);

  rows = parse("-rw-r--r-- 1 ftp 512 Nov 30 2025 nombre con blancos.txt\n");
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].name, "nombre con blancos.txt");
  EXPECT_EQ(rows[0].size, 512);
}

TEST(ListingParser, ErrorsFallbackAndNames) {
  int error = 0;
  parse("ls: /act: No such file or directory\r\n", true, 0, &error);
  EXPECT_EQ(error, 550);
  parse("Permission Denied\r\n", true, 0, &error);
  EXPECT_EQ(error, 550);
  parse("algo raro\r\n", true, 0, &error);
  EXPECT_EQ(error, ListingParser::kUnknownFormat);
  auto rows = parse("uno dos tres cuatro cinco seis.txt\r\n", true, 0, &error);
  EXPECT_EQ(error, 0);
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].name, "seis.txt");
  EXPECT_FALSE(rows[0].understood);  // a name only: it cannot be judged
  rows = parse("DATA4A\r\nLEEME.TXT\r\n\r\n", false);
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[1].name, "LEEME.TXT");
}

// ---- the client ----

struct Outcome {
  bool finished = false;
  bool ok = false;
  QString text;
};

// Issues a command and runs the event loop until it ends.
Outcome run(FtpClient& client, const std::function<bool()>& issue, int timeoutMs = 10000) {
  Outcome out;
  QEventLoop loop;
  auto a = QObject::connect(&client, &FtpClient::done, &loop, [&](net::FtpCommand) {
    out = {true, true, {}};
    loop.quit();
  });
  auto b = QObject::connect(&client, &FtpClient::errorTrap, &loop, [&](const QString& text, const QString&) {
    out = {true, false, text};
    loop.quit();
  });
  QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
  issue();
  if (!out.finished) loop.exec();
  QObject::disconnect(a);
  QObject::disconnect(b);
  return out;
}

class ClientTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = fs::temp_directory_path() /
          ("velmora_net_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    client.host = "127.0.0.1";
    client.controlPort = fake.port();
    client.user = "velmora";
    client.password = "secreto";
    QObject::connect(&client, &FtpClient::logLine, [this](const QString& l) { log << l; });
  }
  void TearDown() override { fs::remove_all(dir); }
  QString local(const char* name) const { return QString::fromStdString((dir / name).string()); }
  static std::string read(const QString& file) {
    std::ifstream in(file.toStdString(), std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }

  fs::path dir;
  FakeFtpServer fake;
  FtpClient client;
  QStringList log;
};

TEST_F(ClientTest, RepliesInPiecesAndMultiLineGreetingStillLogIn) {
  fake.sendInPieces = true;
  fake.greeting = "220-Bienvenido\r\n220-al servidor\r\n220 de prueba\r\n";
  const Outcome o = run(client, [&] { return client.changeDir("/act"); });
  EXPECT_TRUE(o.ok) << o.text.toStdString();
  EXPECT_TRUE(client.loggedIn());
  EXPECT_EQ(fake.received.mid(0, 3), (QStringList{"USER velmora", "PASS secreto", "CWD /act"}));
  // The password never reaches the log.
  EXPECT_FALSE(log.join("\n").contains("secreto"));
  EXPECT_TRUE(log.contains("PASS ********"));
}

TEST_F(ClientTest, RetrievalWithAndWithoutSizeAndRejectedType) {
  fake.files["LEEME.TXT"] = QByteArray(70000, 'x');
  fake.listing = "-rw-r--r-- 1 ftp ftp 70000 Dec 09 14:20 LEEME.TXT\r\n";
  fake.overrides["TYPE"] = {"504 Tipo no soportado\r\n", "500 Tampoco\r\n"};
  ASSERT_TRUE(run(client, [&] { return client.getDirListing("."); }).ok);
  ASSERT_EQ(client.listing().size(), 1u);
  fake.sizeInReply = false;
  fake.overrides["TYPE"] = {"504 Tipo no soportado\r\n", "500 Tampoco\r\n"};
  std::vector<int> percents;
  QObject::connect(&client, &FtpClient::progress, [&](int p) { percents.push_back(p); });
  const Outcome o = run(client, [&] { return client.getRemoteFile("LEEME.TXT", local("LEEME.TXT")); });
  ASSERT_TRUE(o.ok) << o.text.toStdString();
  EXPECT_EQ(client.expectedFileSize(), 70000);  // from the listing row
  EXPECT_EQ(read(local("LEEME.TXT")).size(), 70000u);
  EXPECT_EQ(percents.back(), 100);
  EXPECT_TRUE(log.contains("Warning - TYPE Command Failed. Will ignore and continue"));
  EXPECT_TRUE(fake.received.contains("TYPE I"));
}

TEST_F(ClientTest, ACutTransferLeavesTheOldFile) {
  std::ofstream(dir / "DATA4A") << "la copia anterior";
  fake.files["DATA4A"] = QByteArray(50000, 'n');
  fake.cutAfter = 20000;
  const Outcome o = run(client, [&] { return client.getRemoteFile("DATA4A", local("DATA4A")); });
  EXPECT_FALSE(o.ok);
  EXPECT_EQ(o.text, "Error occured while receiving a file, not all data was received");
  EXPECT_EQ(read(local("DATA4A")), "la copia anterior");
  for (const auto& e : fs::directory_iterator(dir)) EXPECT_EQ(e.path().filename(), "DATA4A");  // no temporary left
}

TEST_F(ClientTest, PassiveAddressOfAnotherHostIsNotTrusted) {
  fake.passiveAddress = "10,99,99,99";  // not the server we talk to
  fake.listing = "DATA4A\r\n";
  client.fullListing = false;
  const Outcome o = run(
      client, [&] { return client.getDirListing("."); }, 8000);
  ASSERT_TRUE(o.ok) << o.text.toStdString();
  ASSERT_EQ(client.listing().size(), 1u);
  EXPECT_EQ(client.listing()[0].name, "DATA4A");
}

TEST_F(ClientTest, ServerRefusalsAndUnknownReplies) {
  struct Case {
    const char* verb;
    std::deque<QByteArray> replies;
    QString text;
    int code;
  };
  const std::vector<Case> cases = {
      {"PASS", {"530 No\r\n"}, "Login incorrect", 530},
      {"USER", {"530 No\r\n"}, "User velmora access denied", 530},
      {"CWD", {"550 No existe\r\n"}, "File unavailable", 550},
      {"CWD",
       {"299 Que?\r\n"},
       "Unknown Reply from FTP Server. Reply =299 Que? Command =changedir",
       FtpClient::kUnknownReply},
  };
  for (const auto& c : cases) {
    FakeFtpServer server;
    server.overrides[c.verb] = c.replies;
    FtpClient fresh;
    fresh.user = "velmora";
    fresh.host = "127.0.0.1";
    fresh.controlPort = server.port();
    const Outcome o = run(fresh, [&] { return fresh.changeDir("/act"); });
    EXPECT_FALSE(o.ok) << c.verb;
    EXPECT_EQ(o.text, c.text);
    EXPECT_EQ(fresh.ftpError(), c.code);
    EXPECT_FALSE(fresh.busy());
  }
}

TEST_F(ClientTest, PassiveRefusedThen425ThenSuccess) {
  fake.overrides["PASV"] = {"500 PASV no\r\n"};
  fake.listing = "DATA4A\r\n";
  client.fullListing = false;
  Outcome o = run(client, [&] { return client.getDirListing("."); });
  EXPECT_FALSE(o.ok);
  EXPECT_EQ(o.text, "Command unrecognized");
  // 425: the data connection is prepared again and the listing goes through.
  fake.overrides["NLST"] = {"425 Sin conexion de datos\r\n"};
  o = run(client, [&] { return client.getDirListing("."); });
  EXPECT_TRUE(o.ok) << o.text.toStdString();
  EXPECT_EQ(fake.received.filter("PASV").size(), 3);
}

TEST_F(ClientTest, ABusyClientRefusesASecondCommandAndTheFirstGoesOn) {
  QStringList errors;
  QObject::connect(&client, &FtpClient::errorTrap, [&](const QString& text, const QString&) { errors << text; });
  ASSERT_TRUE(client.changeDir("/act"));
  EXPECT_FALSE(client.getDirListing("."));
  EXPECT_EQ(errors, QStringList{"Can't do a GetDirListing command, as the FTP object is already busy"});
  EXPECT_TRUE(client.busy());
  const Outcome o = run(client, [] { return true; });  // the first command goes on to its end
  EXPECT_TRUE(o.ok) << o.text.toStdString();
  EXPECT_EQ(errors.size(), 1);
  EXPECT_TRUE(log.contains("Warning. Another command is still in progress. This command was ignored"));
}

TEST_F(ClientTest, SilenceEndsInTheIdleTimeOut) {
  fake.silent = true;
  client.replyTimeoutMs = 300;
  const Outcome o = run(client, [&] { return client.changeDir("/act"); });
  EXPECT_FALSE(o.ok);
  EXPECT_EQ(o.text, "The FTP connection was idle and was closed");
  EXPECT_EQ(client.error(), FtpClient::kIdle);
  EXPECT_EQ(client.command(), net::FtpCommand::kIdleTimeout);
  EXPECT_EQ(client.errorString(), "The FTP connection was idle and was closed.");
}

// A file that keeps flowing outlasts the control connection's idle limit; a
// transfer that stops moving ends in the time-out instead of waiting for ever.
TEST_F(ClientTest, IdleTimeOutWaitsForAFlowingTransferButNotAStalledOne) {
  client.replyTimeoutMs = 250;
  fake.files["LENTO.TXT"] = QByteArray(10000, 'l');
  fake.trickleMs = 100;  // a second of data, four idle limits long
  Outcome o = run(client, [&] { return client.getRemoteFile("LENTO.TXT", local("LENTO.TXT")); });
  ASSERT_TRUE(o.ok) << o.text.toStdString();
  EXPECT_EQ(read(local("LENTO.TXT")).size(), 10000u);
  EXPECT_TRUE(log.contains("Ignored timeout - the Data connection or DLL are still busy transferring data."));

  fake.trickleMs = 0;
  fake.cutAfter = 3000;
  fake.stall = true;
  o = run(
      client, [&] { return client.getRemoteFile("LENTO.TXT", local("PARADO.TXT")); }, 5000);
  EXPECT_FALSE(o.ok);
  EXPECT_EQ(o.text, "The FTP connection was idle and was closed");
  EXPECT_FALSE(std::filesystem::exists(dir / "PARADO.TXT"));
}

TEST_F(ClientTest, TheControlConnectionClosedMidCommand) {
  client.fullListing = false;
  fake.hangUpOn = "PASV";  // the server hangs up while the passive reply is awaited
  Outcome o = run(client, [&] { return client.getDirListing("."); });
  EXPECT_EQ(o.text, "Command aborted. Check if the server supports the Passive mode.");
  EXPECT_EQ(client.ftpError(), FtpClient::kAbortedAwaitingPassive);

  FakeFtpServer other;
  other.hangUpOn = "CWD";
  client.controlPort = other.port();
  o = run(client, [&] { return client.changeDir("/act"); });
  EXPECT_EQ(o.text, "Command aborted.");
  EXPECT_EQ(client.ftpError(), FtpClient::kAborted);
}

TEST_F(ClientTest, AReplyOverTheLimitIsAnError) {
  QByteArray huge = "220-";
  while (huge.size() <= static_cast<int>(ReplyAssembler::kLimit)) huge += "mucho texto de bienvenida\r\n";
  fake.greeting = huge;
  const Outcome o = run(client, [&] { return client.changeDir("/act"); });
  EXPECT_FALSE(o.ok);
  EXPECT_EQ(client.ftpError(), FtpClient::kReplyTooLong);
}

// Servers that lie about a transfer: the old file stays unless every byte
// of the listed size arrived and the server said 226.
TEST_F(ClientTest, AFileIsSavedOnlyWholeAndConfirmed) {
  fake.listing = "-rw-r--r-- 1 ftp ftp 40000 Dec 09 14:20 DATA4A\r\n";
  fake.files["DATA4A"] = QByteArray(40000, 'n');
  ASSERT_TRUE(run(client, [&] { return client.getDirListing("."); }).ok);
  std::ofstream(dir / "DATA4A") << "la copia anterior";
  // Half the data, the close, and only then "150 (40000 bytes)" and "226".
  fake.dataFirst = true;
  fake.cutAfter = 20000;
  Outcome o = run(client, [&] { return client.getRemoteFile("DATA4A", local("DATA4A")); });
  EXPECT_FALSE(o.ok);
  EXPECT_EQ(client.ftpError(), FtpClient::kIncomplete);
  EXPECT_EQ(read(local("DATA4A")), "la copia anterior");
  // Nothing at all before the data connection closes.
  fake.cutAfter = 0;
  o = run(client, [&] { return client.getRemoteFile("DATA4A", local("DATA4A")); });
  EXPECT_FALSE(o.ok);
  EXPECT_EQ(read(local("DATA4A")), "la copia anterior");
  // Every byte, then a 226 with the data connection left open: saved soon after.
  fake.dataFirst = false;
  fake.cutAfter = -1;
  fake.keepDataOpen = true;
  client.dataCloseTimeoutMs = 300;
  o = run(
      client, [&] { return client.getRemoteFile("DATA4A", local("DATA4A")); }, 5000);
  EXPECT_TRUE(o.ok) << o.text.toStdString();
  EXPECT_EQ(read(local("DATA4A")).size(), 40000u);
}

TEST_F(ClientTest, A425ForEverEndsAfterAFewRetries) {
  fake.listing = "DATA4A\r\n";
  client.fullListing = false;
  fake.overrides["NLST"] = std::deque<QByteArray>(50, "425 Sin conexion de datos\r\n");
  const Outcome o = run(client, [&] { return client.getDirListing("."); });
  EXPECT_FALSE(o.ok);
  EXPECT_EQ(client.ftpError(), 425);
  EXPECT_EQ(fake.received.filter("NLST").size(), client.maxDataRetries + 1);
}

TEST_F(ClientTest, AWholeReplyOverTheLimitIsAnErrorToo) {
  for (int size : {98305, 102400}) {
    FakeFtpServer server;
    server.greeting = "220 " + QByteArray(size - 6, 'x') + "\r\n";
    FtpClient fresh;
    fresh.host = "127.0.0.1";
    fresh.controlPort = server.port();
    const Outcome o = run(fresh, [&] { return fresh.changeDir("/act"); });
    EXPECT_FALSE(o.ok) << size;
    EXPECT_EQ(fresh.ftpError(), FtpClient::kReplyTooLong) << size;
  }
}

// ---- a real server ----

class RealServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root = fs::temp_directory_path() / ("velmora_ftp_" + std::to_string(::getpid()));
    fs::remove_all(root);
    fs::create_directories(root / "act");
    std::ofstream(root / "act" / "PRECIOS.TXT") << "precios nuevos\n";
    server = std::make_unique<RealFtpServer>(root);
    ASSERT_TRUE(server->ready()) << server->output().toStdString();
    client.host = "127.0.0.1";
    client.controlPort = server->port();
    client.user = RealFtpServer::kUser;
    client.password = RealFtpServer::kPassword;
  }
  void TearDown() override {
    server.reset();
    fs::remove_all(root);
  }
  fs::path root;
  std::unique_ptr<RealFtpServer> server;
  FtpClient client;
};

TEST_F(RealServerTest, EveryCommandPassiveAndActive) {
  const auto ok = [&](const std::function<bool()>& issue) {
    const Outcome o = run(client, issue);
    EXPECT_TRUE(o.ok) << net::commandName(client.command()).toStdString() << ": " << o.text.toStdString();
    return o.ok;
  };
  ASSERT_TRUE(ok([&] { return client.changeDir("/act"); }));
  ASSERT_TRUE(ok([&] { return client.getCurrentDirName(); }));
  EXPECT_EQ(client.currentDirectory(), "/act");
  ASSERT_TRUE(ok([&] { return client.getDirListing("."); }));
  ASSERT_EQ(client.listing().size(), 1u);
  EXPECT_EQ(client.listing()[0].name, "PRECIOS.TXT");
  EXPECT_EQ(client.listing()[0].size, 15);

  const QString local = QString::fromStdString((root / "bajado.txt").string());
  ASSERT_TRUE(ok([&] { return client.getRemoteFile("PRECIOS.TXT", local); }));
  std::ofstream(root / "extra.txt") << "mas\n";
  const QString extra = QString::fromStdString((root / "extra.txt").string());
  ASSERT_TRUE(ok([&] { return client.makeDir("nuevo"); }));
  ASSERT_TRUE(ok([&] { return client.putFile(local, "nuevo/subido.txt"); }));
  ASSERT_TRUE(ok([&] { return client.appendToFile(extra, "nuevo/subido.txt"); }));
  QFile uploaded(QString::fromStdString((root / "act" / "nuevo" / "subido.txt").string()));
  ASSERT_TRUE(uploaded.open(QIODevice::ReadOnly));
  EXPECT_EQ(uploaded.readAll(), "precios nuevos\nmas\n");

  client.passiveMode = false;  // active mode: PORT and a listening data port
  ASSERT_TRUE(ok([&] { return client.rename("nuevo/subido.txt", "nuevo/renombrado.txt"); }));
  ASSERT_TRUE(ok([&] { return client.getDirListing("nuevo"); }));
  ASSERT_EQ(client.listing().size(), 1u);
  EXPECT_EQ(client.listing()[0].name, "renombrado.txt");
  ASSERT_TRUE(ok([&] { return client.deleteFile("nuevo/renombrado.txt"); }));
  ASSERT_TRUE(ok([&] { return client.removeDir("nuevo"); }));
  ASSERT_TRUE(ok([&] { return client.changeDirUp(); }));
  ASSERT_TRUE(ok([&] { return client.noOp(); }));
  ASSERT_TRUE(ok([&] { return client.quit(); }));
  EXPECT_FALSE(client.loggedIn());
}

}  // namespace
}  // namespace velmora::testing

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
