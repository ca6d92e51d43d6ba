// SPDX-License-Identifier: MIT
// Every transformer, found by name, against the results its description gives, and refusing a
// value of a kind it cannot read; DateToDaySeconds also against the clock. Then the library's plain
// functions: type codes, octal, dates, timecode, sizes, IPv4, colours.
#include <gtest/gtest.h>

#include <cmath>
#include <ctime>
#include <vector>

#include <unicode/locid.h>

#include "platform/log.h"
#include "tests/values/value_test_support.h"
#include "transformers/code_text.h"
#include "transformers/colour.h"
#include "transformers/display_text.h"
#include "transformers/ip_addr.h"
#include "transformers/octal.h"
#include "transformers/transformers.h"
#include "values/calendar.h"
#include "values/inconsistency_exception.h"

namespace zel::test {
namespace {

struct Conversion {
  const char* name;
  bool reverse;
  Value input;
  Value expected;
  bool celsiusAndMetric = false;
  const char* refusal = nullptr;  // a key part of the inconsistency raised instead of a result
};

const auto f = [](float x) { return Value::numberWithFloat(x); };
const Value nil;
const Value date = Value::dateWithTimeIntervalSince1970(0);
constexpr bool fwd = false, rev = true;
constexpr bool C = true, F = false;  // Celsius and metric, or Fahrenheit and cubic feet

class Conversions : public testing::TestWithParam<Conversion> {
 protected:
  void SetUp() override {
    Transformers::init()->setCelsius(GetParam().celsiusAndMetric);
    Transformers::shared()->setMetric(GetParam().celsiusAndMetric);
  }
  TemporaryConfigHome mConfigHome;
};

TEST_P(Conversions, GiveTheDescribedResult) {
  const Conversion& c = GetParam();
  auto transformer = ValueTransformer::valueTransformerForName(c.name);
  try {
    const Value result = c.reverse ? transformer->reverseTransformedValue(c.input)
                                   : transformer->transformedValue(c.input);
    EXPECT_EQ(c.refusal, nullptr) << c.name << " converted a value it cannot read";
    EXPECT_EQ(result, c.expected) << c.name << (c.reverse ? " reverse" : " forward");
  } catch (const InconsistencyException& error) {
    ASSERT_NE(c.refusal, nullptr) << error.what();
    EXPECT_NE(std::string(error.what()).find(c.refusal), std::string::npos) << error.what();
  }
}

INSTANTIATE_TEST_SUITE_P(
    TimeAndTicks, Conversions,
    testing::ValuesIn(std::vector<Conversion>{
        {"TicksStringSeconds", fwd, number(52), text("0.52")},
        {"TicksStringSeconds", fwd, nil, text("0.00")},
        {"TicksStringSeconds", rev, text("1.005"), number(100)},  // 100.5 ticks, half to even
        {"TicksStringSeconds", rev, text("0.53"), number(53)},
        {"TicksStringSeconds", rev, nil, nil},
        {"TicksStringMinutes", fwd, number(11999), text("1")},
        {"TicksStringMinutes", fwd, nil, text("0")},
        {"TicksStringMinutes", rev, text("0.53"), number(3180)},
        {"TicksStringMinutes", rev, nil, number(0)},
        {"TicksMinutes", fwd, number(-5999), number(0)},
        {"TicksMinutes", fwd, nil, nil},
        {"TicksMinutes", rev, number(400000), number(-1894967296)},  // wraps in 32 bits
        {"TicksMinutes", rev, nil, nil},
        {"TicksTime", fwd, number(372300), text("01:02:03")},
        {"TicksTime", fwd, nil, nil},
        {"TicksTime", rev, text("1:02:03"), number(372300)},
        {"TicksTime", rev, nil, nil},
        {"SecondsTime", fwd, number(59), text("59")},
        {"SecondsTime", fwd, number(60), text("01:00")},
        {"SecondsTime", fwd, number(3600), text("01:00:00")},
        {"SecondsTime", fwd, nil, nil},
        {"SecondsTime", rev, text("1:02:03:04"), number(3723)},
        {"SecondsTime", rev, text("2:03"), number(123)},
        {"SecondsTime", rev, nil, nil},
        {"HHMMToSeconds", fwd, number(30600), text("08:30")},
        {"HHMMToSeconds", fwd, nil, nil},
        {"HHMMToSeconds", rev, text("1:30:45"), number(5400)},
        {"HHMMToSeconds", rev, text("8"), number(480)},
        {"HHMMToSeconds", rev, nil, nil},
        {"DateToDaySeconds", fwd, nil, nil},
        {"DateToDaySeconds", rev, nil, nil},
        {"TicksMinutes", fwd, date, nil, F, "(NSDate) does not respond to -intValue"},
        {"TicksTime", rev, number(3), nil, F, "(NSNumber) does not respond to -componentsSep"},
        {"DateToDaySeconds", rev, number(1), nil, F, "(NSNumber) is not an NSDate"},
        {"HundredDivider", fwd, date, nil, F, "(NSDate) does not respond to -floatValue"},
    }));

INSTANTIATE_TEST_SUITE_P(Measurements, Conversions,
                         testing::ValuesIn(std::vector<Conversion>{
                             {"HundredDivider", fwd, number(2150), f(21.5f)},
                             {"HundredDivider", fwd, nil, nil},
                             {"HundredDivider", rev, f(21.5f), f(2150)},
                             {"Temperature", fwd, number(2150), f(21.5f), C},
                             {"Temperature", fwd, number(2150), f(70.69999695f)},
                             {"Temperature", rev, f(21.5f), f(2150), C},
                             {"Temperature", rev, f(68), f(2000)},
                             {"TemperatureDelta", fwd, number(500), f(9)},
                             {"TemperatureDelta", fwd, number(500), f(5), C},
                             {"TemperatureDelta", rev, f(9), f(500)},
                             {"TemperatureDelta", rev, f(9), f(900), C},
                             {"TemperatureString", fwd, number(2155), text("21.5 °C"), C},
                             {"TemperatureString", fwd, number(2155), text("70.8 °F")},
                             {"FloatTemperatureString", fwd, f(21.5f), text("70.7 °F")},
                             {"Flow", fwd, number(1), f(35.314667f)},
                             {"Flow", fwd, f(2.5f), f(2.5f), C},
                             {"Flow", rev, number(100), f(2.8316846f)},
                             {"Flow", rev, f(2.5f), f(2.5f), C},
                         }));

INSTANTIATE_TEST_SUITE_P(AddressesAndTypes, Conversions,
                         testing::ValuesIn(std::vector<Conversion>{
                             {"InsteonAddr", fwd, number(0x0102AB), text("01.02.AB")},
                             {"InsteonAddr", fwd, number(-1), text("FFFFFFFFFFFF.FF.FF")},
                             {"InsteonAddr", rev, text(" 1a . 2B.3c "), number(1715004)},
                             {"InsteonAddr", rev, text("1.2.3"), number(0x010203)},
                             {"InsteonAddr", rev, text("1AB.2B.3C"), nil},
                             {"InsteonAddr", rev, text("G0.00.00"), nil},
                             {"InsteonAddr", rev, text(".."), nil},
                             {"InsteonAddr", rev, text("1A2B3C"), nil},
                             {"InsteonAddr", rev, number(1), nil},
                             {"KNXAddr", fwd, number(65535), text("15/15/255")},
                             {"KNXAddr", rev, text("1/2/3"), number(4611)},
                             {"KNXAddr", rev, text(" 15 / 15 / 255 "), number(65535)},
                             {"KNXAddr", rev, text("16/0/0"), number(0)},
                             {"KNXAddr", rev, text("1/16/3"), number(0)},
                             {"KNXAddr", rev, text("1/2/256"), number(0)},
                             {"KNXAddr", rev, text("1/2/3x"), number(0)},
                             {"KNXAddr", rev, text("1/2"), number(0)},
                             {"KNXAddr", rev, number(4611), number(0)},
                             {"IPAddr", fwd, number(-1062731519), text("192.168.1.1")},
                             {"IPAddr", rev, text("0.0.0.0"), nil},
                             {"IPAddr", rev, number(1), nil},
                             {"Type", rev, text("TÉMP"), number(0x54C94D50)},
                             {"Type", rev, text("TEM"), nil},
                         }));

// DateToDaySeconds against the C library's calendar: on any day, in zones with daylight saving,
// each looked up anew when TZ changes; a negative count reads as unsigned hours.
TEST(DateToDaySeconds, GivesTodayAtTheLocalTimeAndReadsItBackInEachZone) {
  DateToDaySecondsTransformer transformer;
  setEnv("TZ", "UTC");
  const double midnight = std::floor(currentDate() / 86400) * 86400;
  const double negative = transformer.transformedValue(number(-1)).timeIntervalSince1970();
  // Midnight may pass between the two readings of the clock.
  EXPECT_TRUE(negative - midnight == 4294967295.0 || negative - midnight == 4294967295.0 + 86400);
  for (const char* zone : {"America/New_York", "UTC", "Australia/Lord_Howe"}) {
    SCOPED_TRACE(zone);
    setEnv("TZ", zone);
    for (int32_t seconds : {3661, 86399}) {
      const Value date = transformer.transformedValue(number(seconds));
      const auto shown = static_cast<time_t>(date.timeIntervalSince1970());
      EXPECT_EQ(shown, date.timeIntervalSince1970());
      EXPECT_LT(std::abs(date.timeIntervalSince1970() - currentDate()), 86400);  // today
      tm local{};
      localtime_r(&shown, &local);
      EXPECT_EQ(local.tm_hour * 3600 + local.tm_min * 60 + local.tm_sec, seconds);
    }
    // Days 67 and 298 of 2026 (8 March, 25 October) change daylight-saving time in some zones.
    for (int day : {67, 298}) {
      tm local{};
      local.tm_sec = 30, local.tm_min = 45, local.tm_hour = 13, local.tm_mday = day;
      local.tm_year = 126, local.tm_isdst = -1;
      const Value date = Value::dateWithTimeIntervalSince1970(static_cast<double>(mktime(&local)));
      EXPECT_EQ(transformer.reverseTransformedValue(date), Value::numberWithLong(49530)) << day;
    }
  }
}

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
