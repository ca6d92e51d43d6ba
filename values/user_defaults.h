// SPDX-License-Identifier: MIT
// UserDefaults: the user's persistent preferences (the platform's NSUserDefaults), one JSON object
// in $XDG_CONFIG_HOME/<client identifier>/defaults.json (XDG_CONFIG_HOME defaults to ~/.config).
//
// boolForKey: true for a stored true, a non-zero number, or a text "YES"/"true" (any case) or
// with a non-zero leading integer; false for anything else. A missing file or key reads as false
// silently. A file that cannot be read or is not a JSON object reads as false and is reported
// once through NSLog; it never throws.
//
// setBool: stores the key and keeps every other key of the file. The new file is written beside
// the old one, flushed to disk and renamed over it, so a crash leaves either the old or the new
// file whole. It is written only into a directory of the effective user, reached without
// following a symbolic link (missing directories are made, 0700, only inside the effective
// user's own), so that root running with a user's XDG_CONFIG_HOME writes nowhere that user
// points it to; otherwise the call stores nothing, reports why and answers false. Writers in
// several processes are serialised by a lock on the directory. A file that
// exists but is unreadable or corrupt is left as it is (reported, never overwritten): the call
// then stores nothing and answers false. Any thread may use the store; the path is looked up on
// every call, so a changed XDG_CONFIG_HOME applies at once.
#pragma once

#include <mutex>
#include <set>
#include <string>

namespace zel {

class UserDefaults {
 public:
  static UserDefaults& standardUserDefaults();

  std::string path() const;
  bool boolForKey(const std::string& key);
  // True when the value is on disk.
  bool setBool(bool value, const std::string& key);

 private:
  // Logs `message` through NSLog unless it was logged before.
  void report(const std::string& message);

  std::mutex mMutex;
  std::set<std::string> mReported;
};

}  // namespace zel
