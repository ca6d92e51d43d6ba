// SPDX-License-Identifier: MIT
// ZelHelperMgr: the client's one shared manager. It holds a helper proxy (connected, and
// installed or re-installed where needed, by ZelHelper::create), the POSIX name of the user
// who runs the process and the shared group name given when it was created.
//
// The shared manager is the most recently initialised manager; the process-wide reference to
// it is the only one that keeps it alive, and each init replaces (and so destroys) the one
// before. Managers are created from one thread at a time.
//
// The three properties may be read from any thread: each read returns its own reference to
// the stored value, or nullptr (nil). The file operations act in this process, with its own
// rights, not through the helper; they report nothing.
#pragma once

#include <atomic>
#include <memory>
#include <string>

#include "protocol/zel_helper.h"

namespace zel {

class ZelHelperMgr {
 public:
  // Creates a manager, which becomes the shared manager, and sets it up with `groupName`.
  // Blocks for as long as ZelHelper::create does.
  static void createWithGroupName(const std::string& groupName);

  // A new manager that is already the shared manager when it connects to the helper through
  // ZelHelper::create; its names are nil until setupWithGroupName.
  static std::shared_ptr<ZelHelperMgr> init();

  // The shared manager, or nullptr before the first init.
  static std::shared_ptr<ZelHelperMgr> shared();

  // Stores `groupName` and the login name of this process's real uid, as the local user file
  // (<root>/etc/passwd) names it. When it names no such user, the login name is left as it
  // was and the fact is logged.
  void setupWithGroupName(const std::string& groupName);

  // Creates the directory and its missing parents, except under "/Volumes/<name>/" while
  // nothing exists at /Volumes/<name> (logged through systemLog).
  void createDirectory(const std::string& path);
  // Creates an empty file when nothing exists at `path`.
  void createFile(const std::string& path);
  // Always true; does nothing.
  bool permitAccessToPath(const std::string& path);

  std::shared_ptr<ZelHelper> helper() const { return mHelper.load(); }
  std::shared_ptr<const std::string> posixUserName() const { return mPosixUserName.load(); }
  std::shared_ptr<const std::string> groupName() const { return mGroupName.load(); }

  ZelHelperMgr(const ZelHelperMgr&) = delete;
  ZelHelperMgr& operator=(const ZelHelperMgr&) = delete;
  // Releases the group name, the user name and the helper proxy, in this order.
  ~ZelHelperMgr() = default;

 private:
  ZelHelperMgr() = default;

  std::atomic<std::shared_ptr<ZelHelper>> mHelper;
  std::atomic<std::shared_ptr<const std::string>> mPosixUserName;
  std::atomic<std::shared_ptr<const std::string>> mGroupName;
};

}  // namespace zel
