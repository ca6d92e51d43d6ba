// version, create-file, create-dir, permit, oct-to-dec, set-privileges: the remote interface
// from the command line, through the helper proxy. Each prints the daemon's answer; a NO
// answer exits 1, no helper at the socket exits 3.
#include <unistd.h>

#include <charconv>
#include <cstdint>
#include <fstream>
#include <functional>
#include <optional>
#include <string>

#include <fmt/core.h>

#include "cli/commands.h"
#include "client/helper_proxy.h"
#include "platform/system_root.h"
#include "resources/labels.h"

namespace zel::cli {
namespace {

constexpr int kNo = 1;
constexpr int kBadInput = 2;
constexpr int kNoHelper = 3;

// The login name of `uid` in the local user file, as the daemon's group step will look it up.
std::optional<std::string> loginNameOf(uid_t uid) {
  std::ifstream passwd(underSystemRoot("/etc/passwd"));
  for (std::string line; std::getline(passwd, line);) {
    const auto nameEnd = line.find(':');
    const auto uidStart = line.find(':', nameEnd == std::string::npos ? 0 : nameEnd + 1);
    if (nameEnd == std::string::npos || uidStart == std::string::npos)
      continue;
    const auto uidEnd = line.find(':', uidStart + 1);
    const std::string_view field =
        std::string_view(line).substr(uidStart + 1, uidEnd - uidStart - 1);
    uid_t parsed = 0;
    const auto [end, error] = std::from_chars(field.data(), field.data() + field.size(), parsed);
    if (error == std::errc() && end == field.data() + field.size() && parsed == uid)
      return line.substr(0, nameEnd);
  }
  return std::nullopt;
}

std::optional<uint32_t> parseNumber(const std::string& text) {
  uint32_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || error != std::errc() || end != text.data() + text.size())
    return std::nullopt;
  return value;
}

// Connects, runs `call` on the proxy, and turns "nobody there" into exit status 3.
int withHelper(const std::function<int(HelperProxy&)>& call) {
  const std::string socket = helperSocketPath(kMachServiceName);
  auto helper = connectToHelper(kMachServiceName);
  if (!helper) {
    fmt::print(stderr,
               "zelhelper: no helper answers at {}; install it with: sudo zelhelper install\n",
               socket);
    return kNoHelper;
  }
  auto& proxy = static_cast<HelperProxy&>(*helper);
  const int status = call(proxy);
  if (!proxy.connected()) {
    fmt::print(stderr, "zelhelper: the helper at {} stopped answering\n", socket);
    return kNoHelper;
  }
  return status;
}

int printAnswer(bool yes) {
  fmt::print("{}\n", yes ? "YES" : "NO");
  return yes ? 0 : kNo;
}

struct ProvisioningArguments {
  std::string path;
  std::string group;
  std::string user;
};

using Provision = bool (ZelHelper::*)(const std::string&, const std::string&, const std::string&);

void addProvisioningCommand(CLI::App& app, int& exitStatus, const std::string& name,
                            const std::string& description, Provision operation) {
  auto arguments = std::make_shared<ProvisioningArguments>();
  CLI::App* command = app.add_subcommand(name, description);
  command->add_option("PATH", arguments->path, "absolute path of the item")->required();
  command->add_option("--group,-g", arguments->group, "the shared group's full name")->required();
  command->add_option("--user,-u", arguments->user,
                      "the user to put in the group (default: you, by your real uid)");
  command->callback([arguments, operation, &exitStatus] {
    if (arguments->user.empty()) {
      const auto login = loginNameOf(getuid());
      if (!login) {
        fmt::print(stderr, "zelhelper: uid {} has no name in {}; name the user with --user\n",
                   getuid(), underSystemRoot("/etc/passwd"));
        exitStatus = kBadInput;
        return;
      }
      arguments->user = *login;
    }
    exitStatus = withHelper([&](HelperProxy& helper) {
      return printAnswer(
          std::invoke(operation, helper, arguments->path, arguments->user, arguments->group));
    });
  });
}

// Reads an octal-looking number argument, or reports it and sets exit status 2.
std::optional<uint32_t> numberArgument(const std::string& text, int& exitStatus) {
  auto number = parseNumber(text);
  if (!number) {
    fmt::print(stderr, "zelhelper: N must be a whole number from 0 to 4294967295, not '{}'\n",
               text);
    exitStatus = kBadInput;
  }
  return number;
}

}  // namespace

void addHelperCommands(CLI::App& app, int& exitStatus) {
  app.add_subcommand("version", "print the running helper's interface version")
      ->callback([&exitStatus] {
        exitStatus = withHelper([](HelperProxy& helper) {
          fmt::print("{}\n", helper.version());
          return 0;
        });
      });

  addProvisioningCommand(
      app, exitStatus, "create-file",
      "create an empty file owned by the group with mode 0770, or give an existing file them",
      &ZelHelper::createFile);
  addProvisioningCommand(
      app, exitStatus, "create-dir",
      "create a directory (and missing parents) owned by the group with mode 0770, or give an "
      "existing item them",
      &ZelHelper::createDirectory);
  addProvisioningCommand(app, exitStatus, "permit", "give an existing item the group and mode 0770",
                         &ZelHelper::permitAccessToPath);

  auto octal = std::make_shared<std::string>();
  CLI::App* octToDec = app.add_subcommand(
      "oct-to-dec", "convert an octal-looking number (770) to the mode's value (504)");
  octToDec->add_option("N", *octal, "decimal digits 0-7, as in 770")->required();
  octToDec->callback([octal, &exitStatus] {
    const auto number = numberArgument(*octal, exitStatus);
    if (!number)
      return;
    exitStatus = withHelper([&](HelperProxy& helper) {
      const uint32_t value = helper.octToDec(*number);
      fmt::print("{}\n", value);
      // The helper answers 0 for a number with an 8 or a 9 in it.
      return value == 0 && *number != 0 ? kNo : 0;
    });
  });

  auto privileges = std::make_shared<std::pair<std::string, std::string>>();
  CLI::App* setPrivileges = app.add_subcommand(
      "set-privileges", "set an item's permissions from an octal-looking number (770 for 0770)");
  setPrivileges->add_option("N", privileges->first, "decimal digits 0-7, as in 770")->required();
  setPrivileges->add_option("PATH", privileges->second, "absolute path of the item")->required();
  setPrivileges->callback([privileges, &exitStatus] {
    const auto number = numberArgument(privileges->first, exitStatus);
    if (!number)
      return;
    exitStatus = withHelper([&](HelperProxy& helper) {
      helper.setPrivileges(*number, privileges->second);
      return 0;
    });
  });
}

}  // namespace zel::cli
