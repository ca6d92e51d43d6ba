// SPDX-License-Identifier: MIT
#include "protocol/remote_interface.h"

#include <fmt/format.h>

namespace zel::remote {
namespace {

template <typename Operation>
AnyCall readCall(wire::Reader& in) {
  Call<Operation> call;
  // A comma fold runs left to right, so arguments are read in their wire order.
  std::apply(
      [&](auto&... argument) { ((argument = get<std::decay_t<decltype(argument)>>(in)), ...); },
      call.arguments);
  return call;
}

template <std::size_t... I>
std::optional<AnyCall> readCallOf(uint8_t number, wire::Reader& in, std::index_sequence<I...>) {
  std::optional<AnyCall> call;
  static_cast<void>(
      ((number == I + 1 ? (call = readCall<std::tuple_element_t<I, RemoteInterface>>(in), true)
                        : false) ||
       ...));
  return call;
}

}  // namespace

std::optional<AnyCall> decodeCall(std::string_view body, std::string& problem) {
  wire::Reader in(body);
  const uint8_t number = in.u8();
  if (in.failed()) {
    problem = "empty call";
    return std::nullopt;
  }
  auto call = readCallOf(number, in, std::make_index_sequence<kOperationCount>{});
  if (!call) {
    problem = fmt::format("unknown operation {}", number);
    return std::nullopt;
  }
  in.expectEnd();
  if (in.failed()) {
    problem = fmt::format("malformed {} call: {}", nameOf(*call), in.error());
    return std::nullopt;
  }
  return call;
}

std::string_view nameOf(const AnyCall& call) {
  return std::visit([](const auto& c) { return std::decay_t<decltype(c)>::Of::kName; }, call);
}

}  // namespace zel::remote
