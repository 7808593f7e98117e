// LiveChanges: what other stations commit on a server installation, heard
// once per server for the whole program and told to every open list and
// window, which read their rows again when their table changed.
//
// A lost server (a restart, a cut network) is listened for again with a
// bounded back-off; once it answers, every list reads its rows again, since
// what was committed meanwhile was told to nobody.
#pragma once

#include <QObject>
#include <QString>
#include <QTimer>
#include <chrono>
#include <string>

#include "tables/change_listener.h"
#include "tables/table.h"

class QSocketNotifier;

namespace velmora::ui {

class LiveChanges : public QObject {
  Q_OBJECT
 public:
  // The hub of the server at `url`, made and started on first use; nothing
  // when it cannot listen there (the lists then show what they read).
  static LiveChanges* forServer(const std::string& url);

  // The channel that stands for every table: told after listening again.
  static QString everything() { return QStringLiteral("*"); }
  // Waits between attempts to listen again: doubled from the first up to
  // the last, then kept.
  static constexpr std::chrono::milliseconds kFirstRetry{250};
  static constexpr std::chrono::milliseconds kLastRetry{8000};
  // Listening again runs on the windows' thread: a server that does not
  // answer at all holds it this long at most.
  static constexpr int kListenWaitSeconds = 2;

 signals:
  // A station committed a change to `channel` (Table::changeChannel), or
  // everything() when anything may have changed.
  void changed(const QString& channel);

 private:
  explicit LiveChanges(std::string url) : url_(std::move(url)) {}
  bool listen();
  void hear();
  void retry();

  std::string url_;
  tables::ChangeListener listener_;
  QSocketNotifier* notifier_ = nullptr;
  QTimer retry_;
  std::chrono::milliseconds nextWait_ = kFirstRetry;
};

// Commits come in bursts (a recalculation, an import): a list reads its
// rows once per burst, this long after the first commit of it was heard.
inline constexpr std::chrono::milliseconds kBurstWindow{150};

// Calls `refresh` after another station (or this one) commits changes to
// `table`, once per burst, while `receiver` lives; nothing for a table in a
// file.
template <typename Refresh>
void followChanges(const tables::Table& table, QObject* receiver, Refresh refresh) {
  if (!table.onServer()) return;
  LiveChanges* live = LiveChanges::forServer(table.serverUrl());
  if (!live) return;
  const QString channel = QString::fromStdString(table.changeChannel());
  auto* pending = new QTimer(receiver);
  pending->setSingleShot(true);
  pending->setInterval(kBurstWindow);
  QObject::connect(pending, &QTimer::timeout, receiver, refresh);
  QObject::connect(live, &LiveChanges::changed, pending, [channel, pending](const QString& changed) {
    if ((changed == channel || changed == LiveChanges::everything()) && !pending->isActive()) pending->start();
  });
}

}  // namespace velmora::ui
