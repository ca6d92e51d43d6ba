// SPDX-License-Identifier: MIT
// ZelHelper: the helper's root object and its class operations, as both ends of the socket see
// them.
//
// The instance methods are the remote interface (protocol/remote_interface.h). In the daemon,
// one DaemonZelHelper (daemon/daemon_zel_helper.h) serves every request with root's rights,
// checked against the caller of the request in progress. In a client, a helper proxy forwards
// them to the daemon (client/helper_proxy.h); a null proxy means "no helper" and callers treat
// it as answering 0, NO or nothing. No operation throws.
//
// Thread: the daemon calls the instance methods from its one serving thread, one at a time.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace zel {

class Authorization;

class ZelHelper {
 public:
  // The interface version this build answers; a helper answering less is outdated.
  static constexpr uint32_t kInterfaceVersion = 3;

  ZelHelper() = default;
  virtual ~ZelHelper() = default;
  ZelHelper(const ZelHelper&) = delete;
  ZelHelper& operator=(const ZelHelper&) = delete;

  // The remote interface, in the order of its operation numbers.
  virtual uint32_t version() = 0;
  virtual bool createFile(const std::string& path, const std::string& user,
                          const std::string& group) = 0;
  virtual bool createDirectory(const std::string& path, const std::string& user,
                               const std::string& group) = 0;
  virtual bool permitAccessToPath(const std::string& path, const std::string& user,
                                  const std::string& group) = 0;
  virtual uint32_t octToDec(uint32_t octalLooking) = 0;
  virtual void setPrivileges(uint32_t octalLooking, const std::string& path) = 0;
  // Why this connection's last request answered NO or left the item other than asked
  // ("refused (rule:create-in): ..."); empty after a request that did what was asked.
  virtual std::string lastReason() = 0;
  // One page of the listing of the helper groups that still exist, from `fromGid` up
  // (protocol/helper_group_listing.h reads them all). Who asked for a group is shown to root, and
  // to another caller for its own groups and root's. Changes nothing.
  virtual std::string helperGroups(uint32_t fromGid) = 0;

  // +putUser:inGroup: — makes `user` a member of the group whose full name is `group`,
  // creating the group when none has that full name. Defined in the daemon
  // (daemon/group_membership.cpp), so only the daemon can call it.
  static bool putUser(const std::string& user, const std::string& group);

  // Client-side class operations (client/helper_installation.cpp): connect, install,
  // re-install and remove the helper. They run synchronously on the caller's thread, log every
  // failure through NSLog and never throw.
  //
  // create: a proxy of the running helper when it answers version 3 or more; otherwise
  // whatever install answers.
  static std::shared_ptr<ZelHelper> create();
  // install: asks for both service rights (granted to root, and to an ordinary user once an
  // administrator consents through polkit), removes the installed job, blesses this executable
  // (for an ordinary user, the installed command) and answers getHelper; nullptr on any failure.
  static std::shared_ptr<ZelHelper> install();
  // getHelper: blesses this executable again with `authRef` and connects; nullptr when the
  // bless fails or nothing answers.
  static std::shared_ptr<ZelHelper> getHelper(const Authorization* authRef);
  // remove: removes the helper job and returns once it has stopped; false when there was none
  // or it could not be removed.
  static bool remove(const Authorization* authRef);
};

}  // namespace zel
