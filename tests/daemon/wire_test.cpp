// SPDX-License-Identifier: MIT
// The wire's limits at their boundaries, and the remote interface table encoding every
// operation so that the daemon's decoder reads back what the proxy wrote.
#include <gtest/gtest.h>

#include "protocol/remote_interface.h"
#include "protocol/wire.h"

namespace zel {
namespace {

struct StringCase {
  const char* name;
  std::string text;
  bool accepted;
};

void PrintTo(const StringCase& value, std::ostream* out) {
  *out << value.name;
}

class WireStrings : public ::testing::TestWithParam<StringCase> {};

TEST_P(WireStrings, AreAcceptedOnlyWithinTheLimits) {
  EXPECT_EQ(!wire::stringProblem(GetParam().text).has_value(), GetParam().accepted);
}

INSTANTIATE_TEST_SUITE_P(Texts, WireStrings,
                         ::testing::Values(StringCase{"Empty", "", true},
                                           StringCase{"AtLimit", std::string(4096, 'a'), true},
                                           StringCase{"OverLimit", std::string(4097, 'a'), false},
                                           StringCase{"TwoByte", "/tmp/\xc3\xa9t\xc3\xa9", true},
                                           StringCase{"FourByte", "/tmp/\xf0\x9f\x98\x80", true},
                                           StringCase{"LastCodePoint", "\xf4\x8f\xbf\xbf", true},
                                           StringCase{"BeyondLastCodePoint", "\xf4\x90\x80\x80",
                                                      false},
                                           StringCase{"OverlongSlash", "\xc0\xaf", false},
                                           StringCase{"OverlongThreeByte", "\xe0\x80\xaf", false},
                                           StringCase{"Surrogate", "\xed\xbf\xbf", false},
                                           StringCase{"LoneContinuation", "\x80", false},
                                           StringCase{"CutAtEnd", "ab\xf0\x9f\x98", false},
                                           StringCase{"Nul", std::string("a\0b", 3), false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(FrameAssembler, TakesAFrameOfTheLimitAndRejectsOneBeyondAtItsHeader) {
  wire::FrameAssembler in;
  std::string body;
  wire::Writer atLimit;
  for (std::size_t i = 0; i < wire::kMaxFrameBody; ++i)
    atLimit.u8(1);
  const std::string frame = std::move(atLimit).frame();
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

// What the proxy encodes, the daemon decodes to the same operation and arguments.
TEST(RemoteInterface, EveryCallRoundTrips) {
  std::string problem;
  auto decode = [&](const std::optional<std::string>& frame) {
    EXPECT_TRUE(frame) << problem;
    return remote::decodeCall(std::string_view(*frame).substr(wire::kHeaderSize), problem);
  };
  using remote::Op;
  const std::string path = "/tmp/\xc3\xa9";
  auto version = decode(remote::encodeCall<Op::kVersion>(problem));
  ASSERT_TRUE(version) << problem;
  EXPECT_EQ(remote::nameOf(*version), "version");

  auto file = decode(remote::encodeCall<Op::kCreateFile>(problem, path, std::string("alice"),
                                                         std::string("staff")));
  ASSERT_TRUE(file) << problem;
  EXPECT_EQ(std::get<remote::Call<remote::OperationFor<Op::kCreateFile>>>(*file).arguments,
            std::make_tuple(path, std::string("alice"), std::string("staff")));

  auto privileges = decode(remote::encodeCall<Op::kSetPrivileges>(problem, 4755u, path));
  ASSERT_TRUE(privileges) << problem;
  EXPECT_EQ(std::get<remote::Call<remote::OperationFor<Op::kSetPrivileges>>>(*privileges).arguments,
            std::make_tuple(4755u, path));
}

TEST(RemoteInterface, RepliesRoundTripAndMalformedRepliesAreRejected) {
  using remote::Op;
  auto body = [](const std::string& frame) { return frame.substr(wire::kHeaderSize); };
  EXPECT_EQ(remote::decodeReply<Op::kOctToDec>(body(remote::encodeReply<Op::kOctToDec>(504))),
            504u);
  EXPECT_EQ(remote::decodeReply<Op::kCreateFile>(body(remote::encodeReply<Op::kCreateFile>(true))),
            true);
  EXPECT_TRUE(remote::decodeReply<Op::kSetPrivileges>(""));
  EXPECT_FALSE(remote::decodeReply<Op::kSetPrivileges>("x"));
  EXPECT_FALSE(remote::decodeReply<Op::kCreateFile>("\x02"));
  EXPECT_FALSE(remote::decodeReply<Op::kVersion>("\x03\x00"));
}

}  // namespace
}  // namespace zel
