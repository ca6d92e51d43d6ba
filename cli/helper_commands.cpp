// version, create-file, create-dir, permit, oct-to-dec, set-privileges: the remote interface
// from the command line. All but version reach the helper through the shared ZelHelperMgr,
// which installs a missing or outdated helper first when run as root; version only looks.
// Each prints the daemon's answer; a NO answer exits 1, no helper at the socket exits 3.
#include <unistd.h>

#include <charconv>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include <fmt/core.h>

#include "cli/commands.h"
#include "cli/held_log.h"
#include "client/helper_proxy.h"
#include "client/zel_helper_mgr.h"
#include "platform/system_root.h"
#include "resources/labels.h"

namespace zel::cli {
namespace {

constexpr int kNo = 1;
constexpr int kBadInput = 2;
constexpr int kNoHelper = 3;

std::optional<uint32_t> parseNumber(const std::string& text) {
  uint32_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || error != std::errc() || end != text.data() + text.size())
    return std::nullopt;
  return value;
}

// The shared manager, new, set up with `group` when given. Creating it installs a missing or
// outdated helper when run as root; what that logged is shown only when it failed there. An
// ordinary user is told instead, by withHelper, how to install the helper.
std::shared_ptr<ZelHelperMgr> sharedManager(const std::optional<std::string>& group) {
  HeldLog log;
  if (group) {
    ZelHelperMgr::createWithGroupName(*group);
  } else {
    ZelHelperMgr::init();
  }
  std::shared_ptr<ZelHelperMgr> manager = ZelHelperMgr::shared();
  if (!manager->helper() && geteuid() == 0)
    log.release();
  return manager;
}

// Runs `call` on `helper`, turning "nobody there" into exit status 3.
int withHelper(std::shared_ptr<ZelHelper> helper, const std::function<int(HelperProxy&)>& call) {
  const std::string socket = helperSocketPath(kMachServiceName);
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
    const auto manager = sharedManager(arguments->group);
    if (arguments->user.empty()) {
      const auto login = manager->posixUserName();
      if (!login) {
        fmt::print(stderr, "zelhelper: uid {} has no name in {}; name the user with --user\n",
                   getuid(), underSystemRoot("/etc/passwd"));
        exitStatus = kBadInput;
        return;
      }
      arguments->user = *login;
    }
    exitStatus = withHelper(manager->helper(), [&](HelperProxy& helper) {
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
        // Only looks: never installs.
        exitStatus = withHelper(connectToHelper(kMachServiceName), [](HelperProxy& helper) {
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
    exitStatus = withHelper(sharedManager(std::nullopt)->helper(), [&](HelperProxy& helper) {
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
    exitStatus = withHelper(sharedManager(std::nullopt)->helper(), [&](HelperProxy& helper) {
      helper.setPrivileges(*number, privileges->second);
      return 0;
    });
  });
}

}  // namespace zel::cli
