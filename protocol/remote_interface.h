// SPDX-License-Identifier: MIT
// The helper's remote interface, defined once: the table RemoteInterface lists each operation's
// number, name and ZelHelper method, and the argument and result types come from the method's
// signature. The daemon's dispatcher (daemon/dispatcher.h) and the client's proxy
// (client/helper_proxy.h) are both derived from this table, so they cannot disagree.
//
// Encoding (protocol/wire.h): a call is the operation number, then each argument in order; a
// reply is the result, or nothing for a void operation.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <variant>

#include "protocol/wire.h"
#include "protocol/zel_helper.h"

namespace zel::remote {

enum class Op : uint8_t {
  kVersion = 1,
  kCreateFile = 2,
  kCreateDirectory = 3,
  kPermitAccessToPath = 4,
  kOctToDec = 5,
  kSetPrivileges = 6,
  kLastReason = 7,
  kHelperGroups = 8,
};

template <std::size_t N>
struct OperationName {
  constexpr OperationName(const char (&text)[N]) { std::copy_n(text, N, chars); }
  char chars[N];
};

template <typename Method>
struct MethodTraits;
template <typename R, typename... Args>
struct MethodTraits<R (ZelHelper::*)(Args...)> {
  using Result = R;
  using Arguments = std::tuple<std::decay_t<Args>...>;
};

template <Op Number, OperationName Name, auto Method>
struct Operation {
  static constexpr Op kNumber = Number;
  static constexpr std::string_view kName{Name.chars};
  static constexpr auto kMethod = Method;
  using Result = typename MethodTraits<decltype(Method)>::Result;
  using Arguments = typename MethodTraits<decltype(Method)>::Arguments;
};

// The table, in operation-number order.
using RemoteInterface = std::tuple<
    Operation<Op::kVersion, "version", &ZelHelper::version>,
    Operation<Op::kCreateFile, "createFile", &ZelHelper::createFile>,
    Operation<Op::kCreateDirectory, "createDirectory", &ZelHelper::createDirectory>,
    Operation<Op::kPermitAccessToPath, "permitAccessToPath", &ZelHelper::permitAccessToPath>,
    Operation<Op::kOctToDec, "octToDec", &ZelHelper::octToDec>,
    Operation<Op::kSetPrivileges, "setPrivileges", &ZelHelper::setPrivileges>,
    Operation<Op::kLastReason, "lastReason", &ZelHelper::lastReason>,
    Operation<Op::kHelperGroups, "helperGroups", &ZelHelper::helperGroups>>;

inline constexpr std::size_t kOperationCount = std::tuple_size_v<RemoteInterface>;

template <Op Number>
using OperationFor = std::tuple_element_t<static_cast<std::size_t>(Number) - 1, RemoteInterface>;

static_assert(
    []<std::size_t... I>(std::index_sequence<I...>) {
      return ((std::tuple_element_t<I, RemoteInterface>::kNumber == static_cast<Op>(I + 1)) && ...);
    }(std::make_index_sequence<kOperationCount>{}),
    "RemoteInterface must list operations 1..n in order");

// A void result travels as an empty reply and decodes to this.
using Nothing = std::monostate;
template <typename T>
using Decoded = std::conditional_t<std::is_void_v<T>, Nothing, T>;

// The value types that may cross the wire.
inline void put(wire::Writer& out, uint32_t value) {
  out.u32(value);
}
inline void put(wire::Writer& out, bool value) {
  out.boolean(value);
}
inline void put(wire::Writer& out, const std::string& value) {
  out.string(value);
}
inline void put(wire::Writer&, Nothing) {}

template <typename T>
T get(wire::Reader& in) {
  if constexpr (std::is_same_v<T, uint32_t>)
    return in.u32();
  else if constexpr (std::is_same_v<T, bool>)
    return in.boolean();
  else if constexpr (std::is_same_v<T, std::string>)
    return in.string();
  else if constexpr (std::is_same_v<T, Nothing>)
    return Nothing{};
  else
    static_assert(!sizeof(T), "type cannot cross the wire");
}

// Why an argument may not be sent, or nullopt. Only strings carry limits.
template <typename T>
std::optional<std::string> argumentProblem(const T& value) {
  if constexpr (std::is_same_v<T, std::string>)
    return wire::stringProblem(value);
  else
    return std::nullopt;
}

// A decoded call of one operation: its arguments, ready to apply.
template <typename Operation>
struct Call {
  using Of = Operation;
  typename Operation::Arguments arguments;
};

template <typename Table>
struct CallVariantOf;
template <typename... Operations>
struct CallVariantOf<std::tuple<Operations...>> {
  using type = std::variant<Call<Operations>...>;
};
using AnyCall = typename CallVariantOf<RemoteInterface>::type;

// Encodes a call frame; nullopt with `problem` set when an argument breaks the wire's limits.
template <Op Number, typename... Args>
std::optional<std::string> encodeCall(std::string& problem, const Args&... args) {
  using Operation = OperationFor<Number>;
  using Arguments = typename Operation::Arguments;
  static_assert(std::is_same_v<Arguments, std::tuple<Args...>>,
                "arguments must match the operation's signature");
  std::optional<std::string> why;
  ((why = why ? why : argumentProblem(args)), ...);
  if (why) {
    problem = *why;
    return std::nullopt;
  }
  wire::Writer out;
  out.u8(static_cast<uint8_t>(Number));
  (put(out, args), ...);
  return std::move(out).frame();
}

// Decodes a call body; nullopt with `problem` set when it is malformed in any way.
std::optional<AnyCall> decodeCall(std::string_view body, std::string& problem);

// The name of a decoded call's operation, for log lines.
std::string_view nameOf(const AnyCall& call);

// Encodes a reply frame holding `result`.
template <Op Number>
std::string encodeReply(const Decoded<typename OperationFor<Number>::Result>& result) {
  wire::Writer out;
  put(out, result);
  return std::move(out).frame();
}

// Decodes a reply body; nullopt when it is malformed.
template <Op Number>
std::optional<Decoded<typename OperationFor<Number>::Result>> decodeReply(std::string_view body) {
  wire::Reader in(body);
  auto result = get<Decoded<typename OperationFor<Number>::Result>>(in);
  in.expectEnd();
  if (in.failed())
    return std::nullopt;
  return result;
}

}  // namespace zel::remote
