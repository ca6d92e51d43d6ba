// SPDX-License-Identifier: MIT
#include "daemon/dispatcher.h"

#include <exception>
#include <functional>

#include <fmt/format.h>

#include "daemon/daemon_log.h"
#include "platform/log.h"
#include "platform/message_ids.h"

namespace zel {

std::string dispatchCall(ZelHelper& helper, const remote::AnyCall& call, const Caller& caller,
                         std::string& lastReason) {
  if (!std::holds_alternative<remote::Call<remote::OperationFor<remote::Op::kLastReason>>>(call))
    lastReason.clear();
  CallerScope scope(caller, &lastReason);
  return std::visit(
      [&](const auto& decoded) {
        using Operation = typename std::decay_t<decltype(decoded)>::Of;
        using Result = remote::Decoded<typename Operation::Result>;
        auto invoke = [&](const auto&... arguments) {
          if constexpr (std::is_void_v<typename Operation::Result>) {
            std::invoke(Operation::kMethod, helper, arguments...);
            return Result{};
          } else {
            return std::invoke(Operation::kMethod, helper, arguments...);
          }
        };
        // Operations answer failures through their results; should one throw all the same,
        // its caller gets that failure answer (0, NO or nothing) and the daemon lives on.
        Result result{};
        try {
          result = std::apply(invoke, decoded.arguments);
        } catch (const std::exception& error) {
          systemLog(fmt::format("ZelHelper {} failed: {}", Operation::kName, error.what()),
                    log_field::callerEvent(caller, message_id::kOperationFailed, LOG_ERR,
                                           Operation::kName));
        }
        return remote::encodeReply<Operation::kNumber>(result);
      },
      call);
}

}  // namespace zel
