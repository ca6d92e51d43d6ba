// SPDX-License-Identifier: MIT
// The helper proxy: a ZelHelper whose eight instance methods run in the daemon. It holds its
// connection for as long as it lives.
//
// The proxy never throws. When the daemon is gone or does not answer in time
// (client/helper_connection.h), or an argument cannot travel (a string over 4096 bytes, with a
// NUL byte or not UTF-8; logged through NSLog), a call answers 0, NO or nothing. A later call
// connects again. Calls may come from any thread; they are sent one at a time.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "client/helper_connection.h"
#include "protocol/remote_interface.h"
#include "protocol/zel_helper.h"

namespace zel {

// Connects to the service named `machServiceName` (at helperSocketPath(machServiceName)) and
// returns its proxy, or nullptr when nothing trustworthy answers there.
std::shared_ptr<ZelHelper> connectToHelper(std::string_view machServiceName);

class HelperProxy final : public ZelHelper {
 public:
  explicit HelperProxy(std::unique_ptr<HelperConnection> connection);

  uint32_t version() override;
  bool createFile(const std::string& path, const std::string& user,
                  const std::string& group) override;
  bool createDirectory(const std::string& path, const std::string& user,
                       const std::string& group) override;
  bool permitAccessToPath(const std::string& path, const std::string& user,
                          const std::string& group) override;
  uint32_t octToDec(uint32_t octalLooking) override;
  void setPrivileges(uint32_t octalLooking, const std::string& path) override;
  // Empty from a helper that does not know the operation (it closes the connection).
  std::string lastReason() override;
  // Empty, and no longer connected(), from a helper that does not know the operation.
  std::string helperGroups(uint32_t fromGid) override;

  // False once a call other than lastReason went unanswered: that answer was not the
  // daemon's.
  bool connected() const { return mAllAnswered; }

 private:
  template <remote::Op Number, typename... Args>
  remote::Decoded<typename remote::OperationFor<Number>::Result> call(const Args&... args);

  std::unique_ptr<HelperConnection> mConnection;
  std::atomic<bool> mAllAnswered{true};
};

}  // namespace zel
