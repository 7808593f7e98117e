#include "ui/browse/live_changes.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <algorithm>
#include <map>

namespace velmora::ui {

LiveChanges* LiveChanges::forServer(const std::string& url) {
  static std::map<std::string, LiveChanges*> hubs;
  if (auto kept = hubs.find(url); kept != hubs.end()) return kept->second;
  auto* hub = new LiveChanges(url);
  if (!hub->listen()) {
    delete hub;
    hubs[url] = nullptr;  // not asked again: the lists work without it
    return nullptr;
  }
  hub->setParent(QCoreApplication::instance());
  hub->retry_.setSingleShot(true);
  connect(&hub->retry_, &QTimer::timeout, hub, &LiveChanges::retry);
  hubs[url] = hub;
  return hub;
}

bool LiveChanges::listen() {
  std::string why;
  if (!listener_.start(url_, &why, kListenWaitSeconds)) return false;
  notifier_ = new QSocketNotifier(listener_.socket(), QSocketNotifier::Read, this);
  connect(notifier_, &QSocketNotifier::activated, this, &LiveChanges::hear);
  return true;
}

void LiveChanges::hear() {
  for (const std::string& table : listener_.takeChanges()) emit changed(QString::fromStdString(table));
  if (listener_.isListening()) return;
  // The server went away: its socket is dead, and listening starts again.
  notifier_->setEnabled(false);
  notifier_->deleteLater();  // this call came from it
  notifier_ = nullptr;
  nextWait_ = kFirstRetry;
  retry_.start(nextWait_);
}

void LiveChanges::retry() {
  if (listen()) {
    nextWait_ = kFirstRetry;
    emit changed(everything());
    return;
  }
  nextWait_ = std::min(nextWait_ * 2, kLastRetry);
  retry_.start(nextWait_);
}

}  // namespace velmora::ui
