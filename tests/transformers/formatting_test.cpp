// SPDX-License-Identifier: MIT
// The library's plain functions: type codes, octal numbers, dates, timecode, byte sizes, IPv4
// addresses, angles and colours.
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
  for (uint32_t code : {0x54C94D50u, 0xFFFEFDFCu})  // bytes above 0x7F survive the text
    EXPECT_EQ(StringToFourCC(FourCCToString(code)), code);
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
  EXPECT_EQ(log.lines(),
            (std::vector<std::string>{"OctalToDecimal converting non Octal number: 780",
                                      "OctalToDecimal converting non Octal number: 19"}));
}

TEST(DateText, IsMediumDateAndTimeAlwaysInGMT) {
  UErrorCode status = U_ZERO_ERROR;
  icu::Locale::setDefault(icu::Locale::getUS(), status);
  ScopedEnv zone("TZ", "Asia/Tokyo");
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
  EXPECT_EQ(IPAddrToString(0xFFFFFFFF), "255.255.255.255");
  EXPECT_EQ(StringToIPAddr(" 10. 0 .0.1"), 0x0A000001u);
  for (const char* text :
       {"1.2.3", "1.2.3.4.5", "1.2.3.256", "1.2.3.+4", "1.2.3.", "1.2.3.4x", "99999999999.1.1.1"})
    EXPECT_EQ(StringToIPAddr(text), 0u) << text;
}

TEST(AnglesAndColours, ConvertThroughPiAndGivePureRedTheHueOne) {
  EXPECT_EQ(DegreesToRadians(180), 3.141592653589793);
  EXPECT_EQ(RadiansToDegrees(3.141592653589793), 180);
  using RGB = std::tuple<float, float, float>;
  // Red is tested first; hue 1 and hue 0 are the same red.
  const std::pair<RGB, RGB> rgbAndHSV[] = {{{1, 0, 1}, {0.8333333f, 1, 1}},
                                           {{0, 0, 1}, {0.6666667f, 1, 1}},
                                           {{0.5f, 0.5f, 0.5f}, {0, 0, 0.5f}},
                                           {{1, 0, 0}, {1, 1, 1}}};
  for (const auto& [rgb, hsv] : rgbAndHSV) {
    float h, s, v, r, g, b;
    RGBToHSV(&h, &s, &v, std::get<0>(rgb), std::get<1>(rgb), std::get<2>(rgb));
    EXPECT_EQ(RGB(h, s, v), hsv);
    HSVToRGB(&r, &g, &b, std::get<0>(hsv), std::get<1>(hsv), std::get<2>(hsv));
    EXPECT_EQ(RGB(r, g, b), rgb);
  }
  float r, g, b;
  HSVToRGB(&r, &g, &b, 0, 1, 1);
  EXPECT_EQ(RGB(r, g, b), RGB(1, 0, 0));
}

}  // namespace
}  // namespace zel::test
