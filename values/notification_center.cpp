// SPDX-License-Identifier: MIT
#include "values/notification_center.h"

namespace zel {

NotificationCenter& NotificationCenter::defaultCenter() {
  static NotificationCenter center;
  return center;
}

NotificationCenter::ObserverId NotificationCenter::addObserver(std::string name,
                                                               Observer observer) {
  std::lock_guard lock(mMutex);
  const ObserverId id = mNextId++;
  mEntries.push_back(Entry{id, std::move(name), std::move(observer)});
  return id;
}

void NotificationCenter::removeObserver(ObserverId id) {
  std::lock_guard lock(mMutex);
  std::erase_if(mEntries, [id](const Entry& entry) { return entry.id == id; });
}

void NotificationCenter::postNotificationName(const std::string& name, const std::string& object) {
  std::vector<Observer> observers;
  {
    // Observers run unlocked so that they may post, add or remove observers themselves.
    std::lock_guard lock(mMutex);
    for (const Entry& entry : mEntries)
      if (entry.name == name)
        observers.push_back(entry.observer);
  }
  const Notification notification{name, object};
  for (const Observer& observer : observers)
    observer(notification);
}

}  // namespace zel
