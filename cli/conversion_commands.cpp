// SPDX-License-Identifier: MIT
// convert and units: the value conversion library on the command line.
#include <charconv>
#include <cstdio>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>

#include <fmt/core.h>

#include "cli/commands.h"
#include "platform/exit_status.h"
#include "resources/labels.h"
#include "transformers/transformers.h"
#include "values/date_formatter.h"
#include "values/inconsistency_exception.h"
#include "values/user_defaults.h"

namespace zel::cli {
namespace {

// A reason to refuse the command, printed as one line.
struct UsageError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

struct ConvertOptions {
  std::string name;
  std::optional<std::string> value;
  bool reverse = false;
  bool list = false;
  bool number = false;
  bool string = false;
  bool date = false;
  bool nil = false;
};

struct UnitsOptions {
  std::optional<std::string> celsius;
  std::optional<std::string> metric;
};

bool isDigit(char c) {
  return c >= '0' && c <= '9';
}

// True when all of `text` is a decimal number: sign, digits with an optional point, exponent.
bool isDecimalNumber(std::string_view text, bool& integral) {
  size_t i = 0;
  if (i < text.size() && (text[i] == '+' || text[i] == '-'))
    ++i;
  size_t digits = 0;
  for (; i < text.size() && isDigit(text[i]); ++i)
    ++digits;
  integral = true;
  if (i < text.size() && text[i] == '.') {
    integral = false;
    for (++i; i < text.size() && isDigit(text[i]); ++i)
      ++digits;
  }
  if (digits == 0)
    return false;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    integral = false;
    ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
      ++i;
    const size_t exponentStart = i;
    while (i < text.size() && isDigit(text[i]))
      ++i;
    if (i == exponentStart)
      return false;
  }
  return i == text.size();
}

// An integer that fits 32 bits is made like numberWithInt, a larger one like numberWithLong;
// anything else (a point, an exponent, beyond 64 bits) is a double.
std::optional<Value> numberFromText(const std::string& text) {
  bool integral = false;
  if (!isDecimalNumber(text, integral))
    return std::nullopt;
  const char* begin = text.data() + (text[0] == '+' ? 1 : 0);
  const char* end = text.data() + text.size();
  if (integral) {
    int64_t n = 0;
    if (std::from_chars(begin, end, n).ec == std::errc()) {
      if (n >= INT32_MIN && n <= INT32_MAX)
        return Value::numberWithInt(static_cast<int32_t>(n));
      return Value::numberWithLong(n);
    }
  }
  double x = 0;
  const auto result = std::from_chars(begin, end, x);
  if (result.ec != std::errc())
    throw UsageError(fmt::format("{} is out of the range of numbers", text));
  return Value::numberWithDouble(x);
}

Value inputValue(const ConvertOptions& options) {
  if (options.nil) {
    if (options.value)
      throw UsageError("--nil takes no VALUE");
    return {};
  }
  if (!options.value)
    throw UsageError("convert needs a VALUE (or --nil)");
  const std::string& text = *options.value;
  if (options.string)
    return Value::stringWithUTF8String(text);
  if (options.date) {
    if (auto date = dateFromISO8601String(text))
      return Value::dateWithTimeIntervalSince1970(*date);
    throw UsageError(
        fmt::format("\"{}\" is not an ISO 8601 date such as 2026-12-06T01:01:01+00:00", text));
  }
  if (auto number = numberFromText(text))
    return *number;
  if (options.number)
    throw UsageError(fmt::format("\"{}\" is not a decimal number", text));
  return Value::stringWithUTF8String(text);
}

std::string outputText(const Value& value) {
  switch (value.valueClass()) {
    case ValueClass::kNil:
      return "nil";
    case ValueClass::kDate:
      return iso8601StringFromDate(value.timeIntervalSince1970());
    case ValueClass::kNumber:
    case ValueClass::kString:
      break;
  }
  return value.description();
}

void listNames(std::FILE* out) {
  for (const std::string& name : ValueTransformer::valueTransformerNames())
    fmt::print(out, "{}\n", name);
}

int runConvert(const ConvertOptions& options) {
  Transformers::init();
  if (options.list) {
    if (!options.name.empty())
      throw UsageError("--list takes no NAME");
    listNames(stdout);
    return exit_status::kSuccess;
  }
  if (options.name.empty())
    throw UsageError("convert needs a transformer NAME and a VALUE (or --list)");
  const auto transformer = ValueTransformer::valueTransformerForName(options.name);
  if (!transformer) {
    fmt::print(stderr, "zelhelper: no transformer is named \"{}\"; the names are:\n", options.name);
    listNames(stderr);
    return exit_status::kBadInput;
  }
  if (options.reverse && !transformer->allowsReverseTransformation())
    throw UsageError(fmt::format("{} converts forward only; it has no --reverse", options.name));
  const Value input = inputValue(options);
  try {
    const Value output = options.reverse ? transformer->reverseTransformedValue(input)
                                         : transformer->transformedValue(input);
    fmt::print("{}\n", outputText(output));
  } catch (const InconsistencyException& error) {
    fmt::print(stderr, "zelhelper: {}: {}\n", InconsistencyException::kName, error.what());
    if (input.valueClass() == ValueClass::kNumber && !options.number)
      fmt::print(stderr, "zelhelper: VALUE was read as a number; --string passes it as a text\n");
    return exit_status::kBadInput;
  }
  return exit_status::kSuccess;
}

std::optional<bool> yesNo(const std::optional<std::string>& answer) {
  if (!answer)
    return std::nullopt;
  return *answer == "yes";
}

// Sets a preference through its setter, which reports no outcome; reading the store back tells
// whether it was kept.
bool setPreference(Transformers& transformers, void (Transformers::*setter)(bool), bool value,
                   const char* key) {
  (transformers.*setter)(value);
  return UserDefaults::standardUserDefaults().boolForKey(key) == value;
}

int runUnits(const UnitsOptions& options) {
  const auto transformers = Transformers::init();
  bool stored = true;
  if (auto celsius = yesNo(options.celsius))
    stored = setPreference(*transformers, &Transformers::setCelsius, *celsius, "celsius") && stored;
  if (auto metric = yesNo(options.metric))
    stored = setPreference(*transformers, &Transformers::setMetric, *metric, "metric") && stored;
  fmt::print("celsius: {}\nmetric: {}\n", transformers->celsius() ? "yes" : "no",
             transformers->metric() ? "yes" : "no");
  if (!stored) {
    fmt::print(stderr, "zelhelper: the preference was not stored in {}\n",
               UserDefaults::standardUserDefaults().path());
    return exit_status::kNo;
  }
  return exit_status::kSuccess;
}

// Runs a command body; a refused command prints its reason on one line.
template <typename Body>
void run(int& exitStatus, Body body) {
  try {
    exitStatus = body();
  } catch (const UsageError& error) {
    fmt::print(stderr, "zelhelper: {}\n", error.what());
    exitStatus = exit_status::kBadInput;
  }
}

void addConvertCommand(CLI::App& app, int& exitStatus) {
  auto options = std::make_shared<ConvertOptions>();
  CLI::App* convert = app.add_subcommand(
      "convert", "Run a named value transformer on a value and print the result");
  convert->footer(
      "The result prints as a number, a text, an ISO 8601 date or nil. A VALUE that begins with "
      "'-' follows '--'. Temperatures and flow follow 'zelhelper units'.\n"
      "Examples:\n"
      "  zelhelper convert --list\n"
      "  zelhelper convert Temperature -- -500\n"
      "  zelhelper convert TicksStringSeconds --reverse 0.53\n"
      "  zelhelper convert DateToDaySeconds --reverse --date 2026-12-06T13:45:30");
  convert->add_option("NAME", options->name, "Registered transformer name (see --list)");
  convert->add_option("VALUE", options->value,
                      "Input: a number when all of it is a decimal number, else a text");
  convert->add_flag("--reverse", options->reverse, "Convert a display value back to stored form");
  convert->add_flag("--list", options->list, "Print the registered names, one a line");
  auto* number = convert->add_flag("--number", options->number, "Read VALUE as a number");
  auto* string = convert->add_flag("--string", options->string, "Read VALUE as a text");
  auto* date = convert->add_flag("--date", options->date,
                                 "Read VALUE as an ISO 8601 date (2026-12-06T01:01:01+01:00; "
                                 "local time without an offset)");
  auto* nil = convert->add_flag("--nil", options->nil, "Convert nil (no VALUE)");
  number->excludes(string, date, nil);
  string->excludes(date, nil);
  date->excludes(nil);
  convert->callback(
      [options, &exitStatus] { run(exitStatus, [&] { return runConvert(*options); }); });
}

void addUnitsCommand(CLI::App& app, int& exitStatus) {
  auto options = std::make_shared<UnitsOptions>();
  CLI::App* units = app.add_subcommand("units", "Show or set the units of temperatures and flow");
  units->footer(
      "Celsius (else Fahrenheit) for temperatures, metric (else cubic feet) for flow; kept in "
      "$XDG_CONFIG_HOME/" +
      std::string(kClientIdentifier) +
      "/defaults.json, which is written only into a directory of your own, never through a "
      "symbolic link.");
  units->add_option("--celsius", options->celsius, "Show temperatures in degrees Celsius")
      ->check(CLI::IsMember({"yes", "no"}));
  units->add_option("--metric", options->metric, "Show flow in metric units")
      ->check(CLI::IsMember({"yes", "no"}));
  units->callback([options, &exitStatus] { run(exitStatus, [&] { return runUnits(*options); }); });
}

}  // namespace

void addConversionCommands(CLI::App& app, int& exitStatus) {
  addConvertCommand(app, exitStatus);
  addUnitsCommand(app, exitStatus);
}

}  // namespace zel::cli
