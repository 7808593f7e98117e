#include "ui/browse/live_changes.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <map>

namespace velmora::ui {

LiveChanges* LiveChanges::forServer(const std::string& url) {
  static std::map<std::string, LiveChanges*> hubs;
  if (auto kept = hubs.find(url); kept != hubs.end()) return kept->second;
  auto* hub = new LiveChanges;
  std::string why;
  if (!hub->listener_.start(url, &why)) {
    delete hub;
    hubs[url] = nullptr;  // not asked again: the lists work without it
    return nullptr;
  }
  hub->setParent(QCoreApplication::instance());
  hub->notifier_ = new QSocketNotifier(hub->listener_.socket(), QSocketNotifier::Read, hub);
  connect(hub->notifier_, &QSocketNotifier::activated, hub, &LiveChanges::hear);
  hubs[url] = hub;
  return hub;
}

void LiveChanges::hear() {
  for (const std::string& table : listener_.takeChanges()) emit changed(QString::fromStdString(table));
}

}  // namespace velmora::ui
