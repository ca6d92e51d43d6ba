#include "daemon/dispatcher.h"

#include <functional>

namespace zel {

std::string dispatchCall(ZelHelper& helper, const remote::AnyCall& call, const Caller& caller) {
  CallerScope scope(caller);
  return std::visit(
      [&](const auto& decoded) {
        using Operation = typename std::decay_t<decltype(decoded)>::Of;
        auto invoke = [&](const auto&... arguments) {
          return std::invoke(Operation::kMethod, helper, arguments...);
        };
        if constexpr (std::is_void_v<typename Operation::Result>) {
          std::apply(invoke, decoded.arguments);
          return remote::encodeReply<Operation::kNumber>(remote::Nothing{});
        } else {
          return remote::encodeReply<Operation::kNumber>(std::apply(invoke, decoded.arguments));
        }
      },
      call);
}

}  // namespace zel
