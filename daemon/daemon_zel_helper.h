// SPDX-License-Identifier: MIT
// The daemon's ZelHelper: the one root object that serves every request. Its methods act with
// root's rights, checked against the caller of the request in progress (daemon/caller.h), and
// are defined with the rules they apply: provisioning.cpp (createFile, createDirectory,
// permitAccessToPath), privileges.cpp (octToDec, setPrivileges), helper_groups.cpp
// (helperGroups), daemon_zel_helper.cpp (version, lastReason).
//
// Thread: the daemon's one serving thread, one call at a time.
#pragma once

#include "protocol/zel_helper.h"

namespace zel {

class DaemonZelHelper : public ZelHelper {
 public:
  uint32_t version() override;
  bool createFile(const std::string& path, const std::string& user,
                  const std::string& group) override;
  bool createDirectory(const std::string& path, const std::string& user,
                       const std::string& group) override;
  bool permitAccessToPath(const std::string& path, const std::string& user,
                          const std::string& group) override;
  uint32_t octToDec(uint32_t octalLooking) override;
  void setPrivileges(uint32_t octalLooking, const std::string& path) override;
  std::string lastReason() override;
  std::string helperGroups(uint32_t fromGid) override;
};

}  // namespace zel
