// SPDX-License-Identifier: MIT
// Authorization: the rights to install and remove the helper, granted to root, and to an
// ordinary user with an administrator's consent.
//
// A process asks for a set of named rights at once and gets an Authorization that holds them,
// or a status and nothing. Every right is granted at once to a process whose effective uid is 0.
// For any other process the administrator's consent is asked once, through polkit: the
// installed command's root side is started with pkexec (platform/consent_channel.h), and the
// Authorization holds it, so that the services that act on the Authorization
// (platform/service_management.h) have their steps done there, as root. The services check
// that the Authorization holds the right they need.
//
// Thread: any for root's Authorization, which does not change once created; one thread at a
// time for one that holds a root side.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace zel {

using OSStatus = int32_t;
inline constexpr OSStatus errAuthorizationSuccess = 0;
inline constexpr OSStatus errAuthorizationDenied = -60005;                 // consent refused
inline constexpr OSStatus errAuthorizationCanceled = -60006;               // the dialog dismissed
inline constexpr OSStatus errAuthorizationInteractionNotAllowed = -60007;  // no one to ask
inline constexpr OSStatus errAuthorizationInternal = -60008;  // no polkit, or it failed

using AuthorizationFlags = uint32_t;
inline constexpr AuthorizationFlags kAuthorizationFlagInteractionAllowed = 1;
inline constexpr AuthorizationFlags kAuthorizationFlagExtendRights = 2;
inline constexpr AuthorizationFlags kAuthorizationFlagPreAuthorize = 16;

// One requested right: its name; value and flags are carried for the caller's table and have
// no meaning here.
struct AuthorizationItem {
  const char* name;
  size_t valueLength;
  void* value;
  uint32_t flags;
};

struct AuthorizationRights {
  uint32_t count;
  const AuthorizationItem* items;
};

// No environment is ever given; the type exists so that callers say so.
struct AuthorizationEnvironment;
inline constexpr const AuthorizationEnvironment* kAuthorizationEmptyEnvironment = nullptr;

class ConsentChannel;

// The rights granted by one AuthorizationCreate, and for an ordinary user the root side that
// acts on them (ended when the Authorization goes).
class Authorization {
 public:
  explicit Authorization(std::vector<std::string> rights);
  Authorization(std::vector<std::string> rights, std::unique_ptr<ConsentChannel> rootSide);
  ~Authorization();
  bool holds(std::string_view right) const;
  // Null for root, which acts itself.
  ConsentChannel* rootSide() const { return mRootSide.get(); }

 private:
  std::vector<std::string> mRights;
  std::unique_ptr<ConsentChannel> mRootSide;
};

// Grants every right of `rights` (none when `rights` is null): to a process running with
// effective uid 0 at once, starting nothing; to any other once an administrator consents
// through polkit, asking interactively only with kAuthorizationFlagInteractionAllowed. Stores a
// new Authorization in *authorization and answers errAuthorizationSuccess, or answers one of
// the statuses above and leaves *authorization empty.
OSStatus AuthorizationCreate(const AuthorizationRights* rights,
                             const AuthorizationEnvironment* environment, AuthorizationFlags flags,
                             std::unique_ptr<Authorization>* authorization);

}  // namespace zel
