// SPDX-License-Identifier: MIT
// NotificationCenter: the process-wide, synchronous broadcast of named notifications (the
// platform's NSNotificationCenter), reduced to what the system posts: a name and one object,
// here a text (the preference key that changed).
//
// postNotificationName calls every observer of that name on the posting thread, in the order
// they were added, before it returns. An observer may add or remove observers while it runs;
// such changes apply from the next post on. Any thread may use the centre.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace zel {

struct Notification {
  std::string name;
  std::string object;
};

class NotificationCenter {
 public:
  using Observer = std::function<void(const Notification&)>;
  using ObserverId = uint64_t;

  static NotificationCenter& defaultCenter();

  // Calls `observer` for every later post of `name`, until removeObserver with the id returned.
  ObserverId addObserver(std::string name, Observer observer);
  void removeObserver(ObserverId id);
  void postNotificationName(const std::string& name, const std::string& object);

 private:
  struct Entry {
    ObserverId id;
    std::string name;
    Observer observer;
  };
  std::mutex mMutex;
  std::vector<Entry> mEntries;
  ObserverId mNextId = 1;
};

// Observes `name` on the default centre for as long as it lives.
class ScopedObserver {
 public:
  ScopedObserver(std::string name, NotificationCenter::Observer observer)
      : mId(NotificationCenter::defaultCenter().addObserver(std::move(name), std::move(observer))) {
  }
  ~ScopedObserver() { NotificationCenter::defaultCenter().removeObserver(mId); }
  ScopedObserver(const ScopedObserver&) = delete;
  ScopedObserver& operator=(const ScopedObserver&) = delete;

 private:
  NotificationCenter::ObserverId mId;
};

}  // namespace zel
