// SPDX-License-Identifier: MIT
// The wire's limits at their boundaries, and malformed calls and replies refused by the decoders
// (that what the proxy writes the daemon reads back, every call through the daemon shows).
#include <gtest/gtest.h>

#include "protocol/remote_interface.h"
#include "protocol/wire.h"
#include "tests/protocol/raw_client.h"

namespace zel::test {
namespace {

TEST(WireStrings, AreAcceptedOnlyWithinTheLimitsAsValidUtf8WithoutNul) {
  const std::string accepted[] = {"", std::string(4096, 'a'), "/tmp/\xc3\xa9t\xc3\xa9",
                                  "/tmp/\xf0\x9f\x98\x80", "\xf4\x8f\xbf\xbf"};
  // Too long, beyond the last code point, overlong twice, a surrogate, a stray continuation byte,
  // cut off, and with a NUL.
  const std::string refused[] = {std::string(4097, 'a'), "\xf4\x90\x80\x80",    "\xc0\xaf",
                                 "\xe0\x80\xaf",         "\xed\xbf\xbf",        "\x80",
                                 "ab\xf0\x9f\x98",       std::string("a\0b", 3)};
  for (const std::string& text : accepted)
    EXPECT_FALSE(wire::stringProblem(text)) << text;
  for (const std::string& text : refused)
    EXPECT_TRUE(wire::stringProblem(text)) << text;
}

TEST(FrameAssembler, TakesAFrameOfTheLimitAndRejectsOneBeyondAtItsHeader) {
  wire::FrameAssembler in;
  std::string body;
  const std::string frame = le32(wire::kMaxFrameBody) + std::string(wire::kMaxFrameBody, '\1');
  for (std::size_t at = 0; at < frame.size(); at += 1000) {
    EXPECT_EQ(in.next(body), wire::FrameAssembler::Status::kIncomplete);
    in.append(std::string_view(frame).substr(at, 1000));
  }
  ASSERT_EQ(in.next(body), wire::FrameAssembler::Status::kComplete);
  EXPECT_EQ(body.size(), wire::kMaxFrameBody);
  EXPECT_FALSE(in.midFrame());

  in.append(std::string("\x01\x00\x01\x00", 4));  // 65537, and no body yet
  EXPECT_EQ(in.next(body), wire::FrameAssembler::Status::kTooLarge);
}

TEST(RemoteInterface, MalformedCallsAreRefusedWithTheirReason) {
  for (const auto& [body, reason] : std::vector<std::pair<std::string, std::string>>{
           {"", "empty call"},
           {"\x09", "unknown operation 9"},
           {std::string("\x01\x00", 2), "1 trailing bytes"},
           {std::string("\x02").append(le32(100)).append("/tmp"), "body ends"},
           {"\x02" + str("/" + std::string(4096, 'a')) + str("alice") + str("staff"),
            "string of 4097 bytes exceeds 4096"}}) {
    std::string problem;
    EXPECT_FALSE(remote::decodeCall(body, problem));
    EXPECT_NE(problem.find(reason), std::string::npos) << problem;
  }
}

// What the proxy would misread as a reply of that operation.
TEST(RemoteInterface, MalformedRepliesAreRejected) {
  using remote::Op;
  EXPECT_TRUE(remote::decodeReply<Op::kSetPrivileges>(""));
  EXPECT_FALSE(remote::decodeReply<Op::kSetPrivileges>("x"));
  EXPECT_FALSE(remote::decodeReply<Op::kCreateFile>("\x02"));
  EXPECT_FALSE(remote::decodeReply<Op::kVersion>("\x03\x00"));
}

}  // namespace
}  // namespace zel::test
