// SPDX-License-Identifier: MIT
// Feeds arbitrary bytes to the frame assembler, in pieces of varying size, and every complete
// frame to the call decoder: a call that decodes must encode back to exactly its bytes, and
// nothing may crash, leak or read out of bounds.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "protocol/remote_interface.h"
#include "protocol/wire.h"

namespace {

using namespace zel;

std::string reencode(const remote::AnyCall& call) {
  return std::visit(
      [](const auto& decoded) {
        using Operation = typename std::decay_t<decltype(decoded)>::Of;
        std::string problem;
        auto frame = std::apply(
            [&](const auto&... arguments) {
              return remote::encodeCall<Operation::kNumber>(problem, arguments...);
            },
            decoded.arguments);
        // A decoded argument the encoder refuses makes no frame: the two disagree.
        return frame ? frame->substr(wire::kHeaderSize) : std::string();
      },
      call);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  // The first byte chooses how the stream is cut, as reads from a socket would cut it.
  const std::size_t piece = input.empty() ? 1 : static_cast<uint8_t>(input[0]) % 64 + 1;
  wire::FrameAssembler assembler;
  std::string body;
  for (std::size_t at = 0; at < input.size(); at += piece) {
    assembler.append(input.substr(at, piece));
    wire::FrameAssembler::Status status;
    while ((status = assembler.next(body)) == wire::FrameAssembler::Status::kComplete) {
      std::string problem;
      if (auto call = remote::decodeCall(body, problem)) {
        if (reencode(*call) != body)
          std::abort();
      } else if (problem.empty()) {
        std::abort();  // a refusal must say why
      }
    }
    if (status == wire::FrameAssembler::Status::kTooLarge)
      return 0;
  }
  return 0;
}
