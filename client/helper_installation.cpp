// SPDX-License-Identifier: MIT
// ZelHelper's class operations: connecting to the helper, installing, re-installing and
// removing it, in the order and with the log lines the client relies on.
#include "client/helper_installation.h"

#include <fmt/format.h>
#include <fmt/printf.h>

#include "client/helper_proxy.h"
#include "client/helper_rights.h"
#include "platform/log.h"
#include "platform/service_management.h"
#include "protocol/zel_helper.h"
#include "resources/labels.h"

namespace zel {
namespace {

void logError(const std::optional<ServiceError>& error) {
  if (error)
    NSLog(fmt::sprintf("%s", error->description()));
}

bool bless(const Authorization* authRef) {
  std::optional<ServiceError> error;
  bool blessed = SMJobBless(kSMDomainSystemLaunchd, kHelperLabel, authRef, &error);
  logError(error);
  if (!blessed)
    NSLog("ZelHelper Error blessing helper");
  return blessed;
}

}  // namespace

std::shared_ptr<ZelHelper> ZelHelper::create() {
  std::string machServiceName = std::string(kHelperLabel) + ".mach";
  std::shared_ptr<ZelHelper> proxy = connectToHelper(machServiceName);
  uint32_t version = proxy ? proxy->version() : 0;
  if (version < kInterfaceVersion)
    return install();
  return proxy;
}

std::shared_ptr<ZelHelper> installWithAuthorization(OSStatus status, const Authorization* authRef) {
  if (status != errAuthorizationSuccess)
    NSLog(fmt::sprintf("ZelHelper Error creating authRef, return code %ld", long{status}));
  if (authRef == nullptr) {
    NSLog("ZelHelper Error authRef nil");
    return nullptr;
  }
  ZelHelper::remove(authRef);
  if (!bless(authRef))
    return nullptr;
  return ZelHelper::getHelper(authRef);
}

std::shared_ptr<ZelHelper> ZelHelper::install() {
  std::unique_ptr<Authorization> authRef;
  OSStatus status = createHelperAuthorization(&authRef);
  return installWithAuthorization(status, authRef.get());
}

std::shared_ptr<ZelHelper> ZelHelper::getHelper(const Authorization* authRef) {
  if (!bless(authRef))
    return nullptr;
  return connectToHelper(fmt::sprintf("%s.mach", kHelperLabel));
}

bool ZelHelper::remove(const Authorization* authRef) {
  std::optional<ServiceError> error;
  bool removed = SMJobRemove(kSMDomainSystemLaunchd, kHelperLabel, authRef, true, &error);
  logError(error);
  return removed;
}

}  // namespace zel
