// SPDX-License-Identifier: MIT
// The library's plain functions: type codes, octal, dates, timecode, sizes, IPv4, colours.
#include <gtest/gtest.h>

#include <cmath>

#include <unicode/locid.h>

#include "platform/log.h"
#include "tests/values/value_test_support.h"
#include "transformers/code_text.h"
#include "transformers/colour.h"
#include "transformers/display_text.h"
#include "transformers/ip_addr.h"
#include "transformers/octal.h"

namespace zel::test {
namespace {

TEST(CodeText, ConversionsShareOneBufferThatEndsAtAZeroByte) {
  const char* shown = FourCCToCString(0x41424344);
  EXPECT_STREQ(shown, "ABCD");
  EXPECT_EQ(FourCCToString(0x41004344), "A");
  EXPECT_STREQ(shown, "A");  // overwritten by the later conversion
  for (const char* text : {"ABC", "ABCDE", "", "AB€D"})
    EXPECT_EQ(StringToFourCC(text), 0u) << text;
}

TEST(Octal, ConvertsBothWaysAndRejectsDigitsEightAndNine) {
  for (auto [octalLooking, value] : {std::pair{770u, 504u}, {1000u, 512u}, {0u, 0u}}) {
    EXPECT_EQ(OctalToDecimal(octalLooking), value);
    EXPECT_EQ(DecimalToOctal(value), octalLooking);
  }
  EXPECT_EQ(DecimalToOctal(1073741823), 3482810481u);  // 7777777777 wraps modulo 2^32
  LogCapture log(LogChannel::kNSLog);
  EXPECT_EQ(OctalToDecimal(780), 0u);
  EXPECT_EQ(OctalToDecimal(19), 0u);
  ASSERT_EQ(log.lines().size(), 2u);
  EXPECT_EQ(log.lines()[0], "OctalToDecimal converting non Octal number: 780");
}

TEST(DateText, IsMediumDateAndTimeAlwaysInGMT) {
  UErrorCode status = U_ZERO_ERROR;
  icu::Locale::setDefault(icu::Locale::getUS(), status);
  setEnv("TZ", "Asia/Tokyo");
  // ICU writes a narrow no-break space before AM/PM.
  EXPECT_EQ(SecondsToDateString(4294967295u), "Feb 7, 2106, 6:28:15\u202FAM");
}

TEST(Timecode, ShowsHoursMinutesSecondsAndFramesAtThirtyPerSecond) {
  const std::pair<TimeRecord, const char*> cases[] = {{{3723, 1}, "01:02:03.00"},
                                                      {{1001, 30000}, "00:00:00.01"},
                                                      {{360000, 1}, "100:00:00.00"},
                                                      {{12345, 0}, ""}};
  for (auto [time, text] : cases)
    EXPECT_EQ(TimeToTimecodeString(time), text) << time.timeValue << "/" << time.timeScale;
}

TEST(ByteSize, PicksTheUnitOnTheUnroundedQuotient) {
  const std::pair<double, const char*> cases[] = {
      {1023, "1023 bytes"},     {1024, "1.0 KB"},       {1048575, "1024.0 KB"},
      {1048576, "1.0 MB"},      {1073741824, "1.0 GB"}, {1099511627776, "1024.0 GB"},
      {std::nan(""), "nan GB"},
  };
  for (auto [size, text] : cases)
    EXPECT_EQ(ByteSizeToString(size), text) << size;
}

TEST(IPAddr, ReadsOnlyFourDecimalOctets) {
  EXPECT_EQ(StringToIPAddr(" 10. 0 .0.1"), 0x0A000001u);
  for (const char* text :
       {"1.2.3", "1.2.3.4.5", "1.2.3.256", "1.2.3.+4", "1.2.3.", "1.2.3.4x", "99999999999.1.1.1"})
    EXPECT_EQ(StringToIPAddr(text), 0u) << text;
}

TEST(AnglesAndColours, ConvertThroughPiAndGivePureRedTheHueOne) {
  EXPECT_EQ(DegreesToRadians(180), 3.141592653589793);
  EXPECT_EQ(RadiansToDegrees(3.141592653589793), 180);
  // r, g, b and h, s, v; red is tested first, and hue 1 reads as 0.
  const float cases[][6] = {{1, 0, 1, 0.8333333f, 1, 1},
                            {0, 0, 1, 0.6666667f, 1, 1},
                            {0.5f, 0.5f, 0.5f, 0, 0, 0.5f},
                            {1, 0, 0, 1, 1, 1}};
  for (const auto& c : cases) {
    float h, s, v, r, g, b;
    RGBToHSV(&h, &s, &v, c[0], c[1], c[2]);
    EXPECT_EQ(std::vector({h, s, v}), std::vector(c + 3, c + 6));
    HSVToRGB(&r, &g, &b, c[3], c[4], c[5]);
    EXPECT_EQ(std::vector({r, g, b}), std::vector(c, c + 3));
  }
}

}  // namespace
}  // namespace zel::test
