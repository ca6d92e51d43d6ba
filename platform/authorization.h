// SPDX-License-Identifier: MIT
// Authorization: the rights to install and remove the helper, granted to root.
//
// A process asks for a set of named rights at once and gets an Authorization that holds them,
// or a status and nothing. There is no dialog on Linux: every right is granted to a process
// whose effective uid is 0 and refused to any other (errAuthorizationDenied), whatever the
// flags say. The services that act on an Authorization (platform/service_management.h) check
// that it holds the right they need.
//
// Thread: any; an Authorization does not change once created.
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
inline constexpr OSStatus errAuthorizationDenied = -60005;

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

// The rights granted by one AuthorizationCreate.
class Authorization {
 public:
  explicit Authorization(std::vector<std::string> rights) : mRights(std::move(rights)) {}
  bool holds(std::string_view right) const;

 private:
  std::vector<std::string> mRights;
};

// Grants every right of `rights` (none when `rights` is null) to a process running with
// effective uid 0: stores a new Authorization in *authorization and answers
// errAuthorizationSuccess. Otherwise answers errAuthorizationDenied and leaves
// *authorization empty.
OSStatus AuthorizationCreate(const AuthorizationRights* rights,
                             const AuthorizationEnvironment* environment, AuthorizationFlags flags,
                             std::unique_ptr<Authorization>* authorization);

}  // namespace zel
