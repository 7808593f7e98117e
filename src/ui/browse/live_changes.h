// LiveChanges: what other stations commit on a server installation, heard
// once per server for the whole program and told to every open list and
// window, which read their rows again when their table changed.
#pragma once

#include <QObject>
#include <QString>
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

 signals:
  // A station committed a change to `channel` (Table::changeChannel).
  void changed(const QString& channel);

 private:
  LiveChanges() = default;
  void hear();

  tables::ChangeListener listener_;
  QSocketNotifier* notifier_ = nullptr;
};

// Calls `refresh` whenever another station (or this one) commits a change to
// `table`, while `receiver` lives; nothing for a table in a file.
template <typename Refresh>
void followChanges(const tables::Table& table, QObject* receiver, Refresh refresh) {
  if (!table.onServer()) return;
  LiveChanges* live = LiveChanges::forServer(table.serverUrl());
  if (!live) return;
  const QString channel = QString::fromStdString(table.changeChannel());
  QObject::connect(live, &LiveChanges::changed, receiver, [channel, refresh](const QString& changed) {
    if (changed == channel) refresh();
  });
}

}  // namespace velmora::ui
