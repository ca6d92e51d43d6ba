// SPDX-License-Identifier: MIT
// Every registered transformer, found by name after one Transformers init, against the results
// its description gives (with rounding in the tick reverses and strict address fields).
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "conversion_test_support.h"
#include "transformers/transformers.h"
#include "values/inconsistency_exception.h"

namespace zel::test {
namespace {

enum class Units { kCelsiusMetric, kFahrenheitCubicFeet };

struct Conversion {
  const char* name;
  bool reverse;
  Value input;
  Value expected;
  Units units = Units::kFahrenheitCubicFeet;
};

void PrintTo(const Conversion& c, std::ostream* out) {
  *out << c.name << (c.reverse ? " reverse " : " forward ");
  zel::PrintTo(c.input, out);
}

Value f(float x) {
  return Value::numberWithFloat(x);
}
const Value nil;
constexpr bool fwd = false;
constexpr bool rev = true;
constexpr Units C = Units::kCelsiusMetric;

class Conversions : public testing::TestWithParam<Conversion> {
 protected:
  void SetUp() override {
    mTransformers = Transformers::init();
    const bool metricUnits = GetParam().units == Units::kCelsiusMetric;
    mTransformers->setCelsius(metricUnits);
    mTransformers->setMetric(metricUnits);
  }
  Value convert(const Conversion& c) {
    auto transformer = ValueTransformer::valueTransformerForName(c.name);
    return c.reverse ? transformer->reverseTransformedValue(c.input)
                     : transformer->transformedValue(c.input);
  }

  TemporaryConfigHome mConfigHome;
  std::shared_ptr<Transformers> mTransformers;
};

TEST_P(Conversions, GiveTheDescribedResult) {
  EXPECT_EQ(convert(GetParam()), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    TimeAndTicks, Conversions,
    testing::ValuesIn(std::vector<Conversion>{
        {"TicksStringSeconds", fwd, number(52), text("0.52")},
        {"TicksStringSeconds", fwd, text("1234"), text("12.34")},
        {"TicksStringSeconds", fwd, nil, text("0.00")},
        {"TicksStringSeconds", rev, text("1.005"), number(100)},  // 100.5 ticks, half to even
        {"TicksStringSeconds", rev, text("-1.25"), number(-125)},
        {"TicksStringSeconds", rev, text("0.53"), number(53)},
        {"TicksStringSeconds", rev, text("2.10"), number(210)},
        {"TicksStringSeconds", rev, text("-0.53"), number(-53)},
        {"TicksStringSeconds", rev, nil, nil},
        {"TicksStringMinutes", fwd, number(5999), text("0")},
        {"TicksStringMinutes", fwd, number(11999), text("1")},
        {"TicksStringMinutes", fwd, nil, text("0")},
        {"TicksStringMinutes", rev, text("1.5"), number(9000)},
        {"TicksStringMinutes", rev, text("0.53"), number(3180)},
        {"TicksStringMinutes", rev, text("0.00075"), number(4)},  // 4.5 ticks, half to even
        {"TicksStringMinutes", rev, nil, number(0)},
        {"TicksMinutes", fwd, number(11999), number(1)},
        {"TicksMinutes", fwd, number(-5999), number(0)},
        {"TicksMinutes", fwd, number(-6000), number(-1)},
        {"TicksMinutes", fwd, nil, nil},
        {"TicksMinutes", rev, number(2), number(12000)},
        {"TicksMinutes", rev, number(400000), number(-1894967296)},  // wraps in 32 bits
        {"TicksMinutes", rev, nil, nil},
        {"TicksTime", fwd, number(372300), text("01:02:03")},
        {"TicksTime", fwd, number(4500), text("45")},
        {"TicksTime", fwd, number(199), text("1")},
        {"TicksTime", fwd, nil, nil},
        {"TicksTime", rev, text("1:02:03"), number(372300)},
        {"TicksTime", rev, text("45"), number(4500)},
        {"TicksTime", rev, nil, nil},
        {"SecondsTime", fwd, number(59), text("59")},
        {"SecondsTime", fwd, number(60), text("01:00")},
        {"SecondsTime", fwd, number(3599), text("59:59")},
        {"SecondsTime", fwd, number(3600), text("01:00:00")},
        {"SecondsTime", fwd, number(360000), text("100:00:00")},
        {"SecondsTime", fwd, nil, nil},
        {"SecondsTime", rev, text("01:02:03"), number(3723)},
        {"SecondsTime", rev, text("1:02:03:04"), number(3723)},
        {"SecondsTime", rev, text("1::3"), number(3603)},
        {"SecondsTime", rev, text("a:b"), number(0)},
        {"SecondsTime", rev, text(""), number(0)},
        {"SecondsTime", rev, nil, nil},
        {"HHMMToSeconds", fwd, number(30600), text("08:30")},
        {"HHMMToSeconds", fwd, number(360000), text("100:00")},
        {"HHMMToSeconds", fwd, nil, nil},
        {"HHMMToSeconds", rev, text("08:30"), number(30600)},
        {"HHMMToSeconds", rev, text("1:30:45"), number(5400)},
        {"HHMMToSeconds", rev, text("8"), number(480)},
        {"HHMMToSeconds", rev, text(""), number(0)},
        {"HHMMToSeconds", rev, nil, nil},
    }));

INSTANTIATE_TEST_SUITE_P(Measurements, Conversions,
                         testing::ValuesIn(std::vector<Conversion>{
                             {"HundredDivider", fwd, number(2150), f(21.5f)},
                             {"HundredDivider", rev, f(21.5f), f(2150)},
                             {"HundredDivider", fwd, nil, nil},
                             {"HundredDivider", rev, nil, nil},
                             {"Temperature", fwd, number(2150), f(21.5f), C},
                             {"Temperature", rev, f(21.5f), f(2150), C},
                             {"Temperature", fwd, number(2150), f(70.69999695f)},
                             {"Temperature", fwd, number(-500), f(23)},
                             {"Temperature", rev, f(68), f(2000)},
                             {"Temperature", rev, f(212), f(10000)},
                             {"Temperature", rev, nil, nil},
                             {"TemperatureDelta", fwd, number(500), f(9)},
                             {"TemperatureDelta", rev, f(9), f(500)},
                             {"TemperatureDelta", fwd, number(500), f(5), C},
                             {"TemperatureString", fwd, number(2155), text("21.5 °C"), C},
                             {"TemperatureString", fwd, number(-1250), text("-12.5 °C"), C},
                             {"TemperatureString", fwd, number(5), text("0.1 °C"), C},
                             {"TemperatureString", fwd, nil, text("0.0 °C"), C},
                             {"TemperatureString", fwd, number(2155), text("70.8 °F")},
                             {"TemperatureString", fwd, number(-1250), text("9.5 °F")},
                             {"TemperatureString", fwd, nil, text("32.0 °F")},
                             {"FloatTemperatureString", fwd, f(21.5f), text("21.5 °C"), C},
                             {"FloatTemperatureString", fwd, f(21.5f), text("70.7 °F")},
                             {"FloatTemperatureString", fwd, f(-40), text("-40.0 °F")},
                             {"Flow", fwd, number(1), f(35.314667f)},
                             {"Flow", rev, number(100), f(2.8316846f)},
                             {"Flow", rev, Value::numberWithDouble(35.31466672148859), f(1)},
                             {"Flow", fwd, f(2.5f), f(2.5f), C},
                             {"Flow", rev, f(2.5f), f(2.5f), C},
                         }));

INSTANTIATE_TEST_SUITE_P(AddressesAndTypes, Conversions,
                         testing::ValuesIn(std::vector<Conversion>{
                             {"InsteonAddr", fwd, number(0x0102AB), text("01.02.AB")},
                             {"InsteonAddr", fwd, number(0x1234567), text("123.45.67")},
                             {"InsteonAddr", fwd, number(-1), text("FFFFFFFFFFFF.FF.FF")},
                             {"InsteonAddr", fwd, nil, text("00.00.00")},
                             {"InsteonAddr", rev, text("1a.2b.3c"), number(1715004)},
                             {"InsteonAddr", rev, text(" 1A . 2B.3C "), number(1715004)},
                             {"InsteonAddr", rev, text("1.2.3"), number(0x010203)},
                             {"InsteonAddr", rev, text("1AB.2B.3C"), nil},
                             {"InsteonAddr", rev, text("G0.00.00"), nil},
                             {"InsteonAddr", rev, text(".."), nil},
                             {"InsteonAddr", rev, text("1A2B3C"), nil},
                             {"InsteonAddr", rev, number(1), nil},
                             {"KNXAddr", fwd, number(4611), text("1/2/3")},
                             {"KNXAddr", fwd, number(65535), text("15/15/255")},
                             {"KNXAddr", fwd, number(65536), text("0/0/0")},
                             {"KNXAddr", fwd, nil, text("0/0/0")},
                             {"KNXAddr", rev, text("1/2/3"), number(4611)},
                             {"KNXAddr", rev, text(" 1 / 2 / 3 "), number(4611)},
                             {"KNXAddr", rev, text("1/20/3"), number(0)},
                             {"KNXAddr", rev, text("16/0/0"), number(0)},
                             {"KNXAddr", rev, text("1/2/256"), number(0)},
                             {"KNXAddr", rev, text("1/-2/3"), number(0)},
                             {"KNXAddr", rev, text("1/2/3x"), number(0)},
                             {"KNXAddr", rev, text("1/2"), number(0)},
                             {"KNXAddr", rev, number(4611), number(0)},
                             {"IPAddr", fwd, number(-1062731519), text("192.168.1.1")},
                             {"IPAddr", fwd, nil, text("0.0.0.0")},
                             {"IPAddr", rev, text("192.168.1.1"), number(-1062731519)},
                             {"IPAddr", rev, text("0.0.0.0"), nil},
                             {"IPAddr", rev, number(1), nil},
                             {"Type", fwd, number(0x54454D50), text("TEMP")},
                             {"Type", rev, text("TEMP"), number(1413827920)},
                             {"Type", rev, text("TÉMP"), number(0x54C94D50)},
                             {"Type", rev, text("TEM"), nil},
                         }));

struct Refusal {
  const char* name;
  bool reverse;
  Value input;
  const char* message;  // a key part of it
};

class Refusals : public testing::TestWithParam<Refusal> {
 protected:
  TemporaryConfigHome mConfigHome;
};

TEST_P(Refusals, RaiseAnInconsistencyNamingTheValuesClass) {
  Transformers::init();
  const Refusal& r = GetParam();
  auto transformer = ValueTransformer::valueTransformerForName(r.name);
  try {
    r.reverse ? transformer->reverseTransformedValue(r.input)
              : transformer->transformedValue(r.input);
    FAIL() << r.name << " converted a value it cannot read";
  } catch (const InconsistencyException& error) {
    EXPECT_NE(std::string(error.what()).find(r.message), std::string::npos) << error.what();
  }
}

const Value date = Value::dateWithTimeIntervalSince1970(0);

INSTANTIATE_TEST_SUITE_P(
    WrongKinds, Refusals,
    testing::ValuesIn(std::vector<Refusal>{
        {"TicksStringSeconds", fwd, date, "(NSDate) does not respond to -floatValue"},
        {"TicksStringMinutes", fwd, date, "(NSDate) does not respond to -intValue"},
        {"TicksStringMinutes", rev, date, "(NSDate) does not respond to -floatValue"},
        {"TicksMinutes", fwd, date, "(NSDate) does not respond to -intValue"},
        {"TicksMinutes", rev, date, "(NSDate) does not respond to -intValue"},
        {"TicksTime", fwd, date, "(NSDate) does not respond to -intValue"},
        {"TicksTime", rev, number(3), "(NSNumber) does not respond to -componentsSeparatedBy"},
        {"SecondsTime", rev, number(3), "(NSNumber) does not respond to -componentsSeparatedBy"},
        {"HHMMToSeconds", fwd, date, "(NSDate) does not respond to -intValue"},
        {"HHMMToSeconds", rev, date, "(NSDate) does not respond to -componentsSeparatedBy"},
        {"HundredDivider", fwd, date, "(NSDate) does not respond to -floatValue"},
        {"Temperature", rev, date, "(NSDate) does not respond to -floatValue"},
        {"TemperatureDelta", fwd, date, "(NSDate) does not respond to -floatValue"},
        {"Flow", fwd, date, "(NSDate) does not respond to -floatValue"},
        {"DateToDaySeconds", fwd, date, "(NSDate) does not respond to -intValue"},
        {"DateToDaySeconds", rev, number(1), "(NSNumber) is not an NSDate"},
        {"DateToDaySeconds", rev, text("13:45"), "(NSString) is not an NSDate"},
    }));

}  // namespace
}  // namespace zel::test
