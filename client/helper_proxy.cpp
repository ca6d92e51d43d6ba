// SPDX-License-Identifier: MIT
#include "client/helper_proxy.h"

#include <fmt/format.h>

#include "platform/log.h"

namespace zel {

std::shared_ptr<ZelHelper> connectToHelper(std::string_view machServiceName) {
  auto connection = HelperConnection::open(helperSocketPath(machServiceName));
  if (!connection)
    return nullptr;
  return std::make_shared<HelperProxy>(std::move(connection));
}

HelperProxy::HelperProxy(std::unique_ptr<HelperConnection> connection)
    : mConnection(std::move(connection)) {}

template <remote::Op Number, typename... Args>
remote::Decoded<typename remote::OperationFor<Number>::Result> HelperProxy::call(
    const Args&... args) {
  using Operation = remote::OperationFor<Number>;
  std::string problem;
  auto frame = remote::encodeCall<Number>(problem, args...);
  if (!frame) {
    NSLog(fmt::format("ZelHelper cannot send {}: {}", Operation::kName, problem));
    return {};
  }
  auto body = mConnection->roundTrip(*frame);
  // A helper older than lastReason closes the connection on it; that says nothing about the
  // answers to the other calls.
  if (!body && Number != remote::Op::kLastReason)
    mAllAnswered = false;
  if (!body)
    return {};
  return remote::decodeReply<Number>(*body).value_or(remote::Decoded<typename Operation::Result>{});
}

uint32_t HelperProxy::version() {
  return call<remote::Op::kVersion>();
}

bool HelperProxy::createFile(const std::string& path, const std::string& user,
                             const std::string& group) {
  return call<remote::Op::kCreateFile>(path, user, group);
}

bool HelperProxy::createDirectory(const std::string& path, const std::string& user,
                                  const std::string& group) {
  return call<remote::Op::kCreateDirectory>(path, user, group);
}

bool HelperProxy::permitAccessToPath(const std::string& path, const std::string& user,
                                     const std::string& group) {
  return call<remote::Op::kPermitAccessToPath>(path, user, group);
}

uint32_t HelperProxy::octToDec(uint32_t octalLooking) {
  return call<remote::Op::kOctToDec>(octalLooking);
}

void HelperProxy::setPrivileges(uint32_t octalLooking, const std::string& path) {
  call<remote::Op::kSetPrivileges>(octalLooking, path);
}

std::string HelperProxy::lastReason() {
  return call<remote::Op::kLastReason>();
}

std::string HelperProxy::helperGroups(uint32_t fromGid) {
  return call<remote::Op::kHelperGroups>(fromGid);
}

}  // namespace zel
