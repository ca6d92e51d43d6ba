// SPDX-License-Identifier: MIT
// version, create-file, create-dir, permit, oct-to-dec, set-privileges, groups: the remote
// interface from the command line. They reach the running helper and never install it, as root
// neither: only `zelhelper install` installs, so no other command makes root run a blessing it was
// not asked for. A missing or outdated helper exits 3 (version only looks, and prints an outdated
// helper's version). Each prints the daemon's answer; a NO answer exits 1 and prints the reason
// the helper gives for it.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <functional>
#include <optional>
#include <string>

#include <fmt/core.h>

#include "cli/commands.h"
#include "cli/helper_groups_table.h"
#include "cli/new_group_notice.h"
#include "cli/request_path.h"
#include "client/helper_proxy.h"
#include "platform/exit_status.h"
#include "platform/identity_authority.h"
#include "platform/octal_looking.h"
#include "resources/labels.h"

namespace zel::cli {
namespace {

std::optional<uint32_t> parseNumber(const std::string& text) {
  uint32_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || error != std::errc() || end != text.data() + text.size())
    return std::nullopt;
  return value;
}

// The running helper, and its version in `version`; nothing, after saying how to install it,
// when no helper answers.
std::shared_ptr<ZelHelper> answeringHelper(uint32_t& version) {
  std::shared_ptr<ZelHelper> helper = connectToHelper(kMachServiceName);
  version = helper ? helper->version() : 0;
  if (version != 0)
    return helper;
  fmt::print(stderr,
             "zelhelper: no helper answers at {}; install it with: sudo zelhelper install\n",
             helperSocketPath(kMachServiceName));
  return nullptr;
}

// Runs `call` on the running helper when it is current; otherwise says how to install it and
// answers exit status 3.
int withCurrentHelper(const std::function<int(HelperProxy&)>& call) {
  uint32_t version = 0;
  std::shared_ptr<ZelHelper> helper = answeringHelper(version);
  if (!helper)
    return exit_status::kNoHelper;
  if (version < ZelHelper::kInterfaceVersion) {
    fmt::print(stderr,
               "zelhelper: the helper at {} is outdated (version {}, {} needed); re-install it "
               "with: sudo zelhelper install\n",
               helperSocketPath(kMachServiceName), version, ZelHelper::kInterfaceVersion);
    return exit_status::kNoHelper;
  }
  return call(static_cast<HelperProxy&>(*helper));
}

// True, after saying so, when the helper stopped answering during the last call: its answer
// was not the daemon's.
bool lost(const HelperProxy& helper) {
  if (helper.connected())
    return false;
  fmt::print(stderr, "zelhelper: the helper at {} stopped answering\n",
             helperSocketPath(kMachServiceName));
  return true;
}

// "kept (<rule>): ..." tells of a YES that left the item other than asked.
bool isKept(const std::string& reason) {
  return reason.starts_with("kept (");
}

void printReason(const std::string& reason) {
  fmt::print(stderr, "zelhelper: {}\n", reason);
}

void printNote(const std::string& reason) {
  fmt::print(stderr, "zelhelper: note: {}\n", reason);
}

struct ProvisioningArguments {
  std::string path;
  std::string group;
  std::string user;
};

using Provision = bool (ZelHelper::*)(const std::string&, const std::string&, const std::string&);

// The absolute path to send for a PATH argument, or nothing after reporting it (exit status 2).
std::optional<std::string> pathArgument(const std::string& argument, int& exitStatus) {
  std::string problem;
  std::optional<std::string> path = requestPath(argument, &problem);
  if (!path) {
    fmt::print(stderr, "zelhelper: {}\n", problem);
    exitStatus = exit_status::kBadInput;
  }
  return path;
}

int provision(const ProvisioningArguments& arguments, Provision operation) {
  int exitStatus = 0;
  const std::optional<std::string> path = pathArgument(arguments.path, exitStatus);
  if (!path)
    return exitStatus;
  const Account self = IdentityAuthority::localIdentityAuthority().accountOf(getuid());
  std::string user = arguments.user;
  if (user.empty()) {
    if (!self.entry) {
      fmt::print(stderr, "zelhelper: uid {} has no user name; name the user with --user\n",
                 getuid());
      return exit_status::kBadInput;
    }
    user = self.entry->name;
  }
  return withCurrentHelper([&](HelperProxy& helper) {
    const bool yes = std::invoke(operation, helper, *path, user, arguments.group);
    if (lost(helper))
      return exit_status::kNoHelper;
    fmt::print("{}\n", yes ? "YES" : "NO");
    const std::string reason = helper.lastReason();
    if (!yes) {
      if (!reason.empty())
        printReason(reason);
      return exit_status::kNo;
    }
    if (!reason.empty())
      printNote(reason);
    if (self.entry && user == self.entry->name)
      tellAboutGroupsOutsideThisSession();
    return exit_status::kSuccess;
  });
}

void addProvisioningCommand(CLI::App& app, int& exitStatus, const std::string& name,
                            const std::string& description, Provision operation) {
  auto arguments = std::make_shared<ProvisioningArguments>();
  CLI::App* command = app.add_subcommand(name, description);
  command
      ->add_option("PATH", arguments->path,
                   "path of the item; a relative one is resolved from the working directory "
                   "with your own rights")
      ->required();
  command
      ->add_option("--group,-g", arguments->group,
                   "the shared group: its full name, or the POSIX name (zel-...) of a group the "
                   "helper made; a new full name makes a new group")
      ->required();
  command->add_option("--user,-u", arguments->user,
                      "the user to put in the group (default: you, by your real uid)");
  command->footer(
      "Prints YES or NO; after NO, the helper's reason on standard error (exit 1). Tells you "
      "when you joined a group that this session does not have yet.");
  command->callback(
      [arguments, operation, &exitStatus] { exitStatus = provision(*arguments, operation); });
}

// Reads an octal-looking number argument, or reports it and sets exit status 2.
std::optional<uint32_t> numberArgument(const std::string& text, int& exitStatus) {
  auto number = parseNumber(text);
  if (!number) {
    fmt::print(stderr, "zelhelper: N must be a whole number from 0 to 4294967295, not '{}'\n",
               text);
    exitStatus = exit_status::kBadInput;
  }
  return number;
}

// After a set-privileges on a helper that gives no reasons: whether the item, as this process
// can see it, has the mode asked for.
int modeAsSeen(const std::string& path, mode_t asked) {
  struct stat item;
  if (stat(path.c_str(), &item) != 0) {
    fmt::print(stderr, "zelhelper: cannot see {}: {}\n", path, std::strerror(errno));
    return exit_status::kNo;
  }
  if ((item.st_mode & 07777) == (asked & 07777))
    return exit_status::kSuccess;
  fmt::print(stderr, "zelhelper: {} has mode {:04o}, not {:04o}\n", path, item.st_mode & 07777,
             asked & 07777);
  return exit_status::kNo;
}

int setPrivileges(const std::string& number, const std::string& pathText) {
  int exitStatus = 0;
  const std::optional<uint32_t> octalLooking = numberArgument(number, exitStatus);
  if (!octalLooking)
    return exitStatus;
  const std::optional<uint32_t> mode = valueOfOctalLooking(*octalLooking);
  if (!mode) {
    fmt::print(stderr, "zelhelper: N must be written with the digits 0 to 7, not '{}'\n", number);
    return exit_status::kBadInput;
  }
  const std::optional<std::string> path = pathArgument(pathText, exitStatus);
  if (!path)
    return exitStatus;
  return withCurrentHelper([&](HelperProxy& helper) {
    helper.setPrivileges(*octalLooking, *path);
    if (lost(helper))
      return exit_status::kNoHelper;
    // The helper gives a reason exactly when the mode is not what was asked, less the bits
    // its rules keep ("kept"). A helper that gives no reasons closes the connection when asked.
    const std::string reason = helper.lastReason();
    const bool givesReasons = helper.connected();
    if (isKept(reason)) {
      printNote(reason);
      return exit_status::kSuccess;
    }
    if (!reason.empty()) {
      printReason(reason);
      return exit_status::kNo;
    }
    return givesReasons ? exit_status::kSuccess : modeAsSeen(*path, *mode);
  });
}

int listGroups(HelperProxy& helper) {
  const std::optional<HelperGroupListing> listing = readHelperGroupListing(helper);
  // A helper that does not know the operation closes the connection, and answers again.
  if (!helper.connected() && helper.version() != 0) {
    fmt::print(stderr,
               "zelhelper: the helper at {} is older than this command; run 'sudo zelhelper "
               "install'\n",
               helperSocketPath(kMachServiceName));
    return exit_status::kNoHelper;
  }
  if (lost(helper))
    return exit_status::kNoHelper;
  if (!listing) {
    fmt::print(stderr,
               "zelhelper: the helper at {} sent a list of groups that this command cannot read\n",
               helperSocketPath(kMachServiceName));
    return exit_status::kNoHelper;
  }
  printHelperGroups(*listing);
  return exit_status::kSuccess;
}

}  // namespace

void addHelperCommands(CLI::App& app, int& exitStatus) {
  app.add_subcommand("version", "print the running helper's interface version")
      ->callback([&exitStatus] {
        // Only looks: an outdated helper's version is printed too.
        uint32_t version = 0;
        if (answeringHelper(version))
          fmt::print("{}\n", version);
        else
          exitStatus = exit_status::kNoHelper;
      });

  addProvisioningCommand(
      app, exitStatus, "create-file",
      "create an empty file owned by the group with mode 0770, or give an existing file them",
      &ZelHelper::createFile);
  addProvisioningCommand(
      app, exitStatus, "create-dir",
      "create a directory (and missing parents) owned by the group with mode 02770 (new items "
      "inside keep the group), or give an existing item the group and mode",
      &ZelHelper::createDirectory);
  addProvisioningCommand(app, exitStatus, "permit",
                         "give an existing item the group and mode 0770 (02770 for a directory)",
                         &ZelHelper::permitAccessToPath);

  auto octal = std::make_shared<std::string>();
  CLI::App* octToDec = app.add_subcommand(
      "oct-to-dec", "convert an octal-looking number (770) to the mode's value (504)");
  octToDec->add_option("N", *octal, "decimal digits 0-7, as in 770")->required();
  octToDec->callback([octal, &exitStatus] {
    const auto number = numberArgument(*octal, exitStatus);
    if (!number)
      return;
    exitStatus = withCurrentHelper([&](HelperProxy& helper) {
      const uint32_t value = helper.octToDec(*number);
      if (lost(helper))
        return exit_status::kNoHelper;
      fmt::print("{}\n", value);
      // The helper answers 0 for a number with an 8 or a 9 in it.
      return value == 0 && *number != 0 ? exit_status::kNo : 0;
    });
  });

  auto privileges = std::make_shared<std::pair<std::string, std::string>>();
  CLI::App* setPrivilegesCommand = app.add_subcommand(
      "set-privileges", "set an item's permissions from an octal-looking number (770 for 0770)");
  setPrivilegesCommand->add_option("N", privileges->first, "decimal digits 0-7, as in 770")
      ->required();
  setPrivilegesCommand
      ->add_option("PATH", privileges->second,
                   "path of the item; a relative one is resolved from the working directory "
                   "with your own rights")
      ->required();
  setPrivilegesCommand->footer(
      "Exit 0 when the item has the mode asked for (a note names bits the helper's rules keep), "
      "1 with the helper's reason when it has not.");
  setPrivilegesCommand->callback([privileges, &exitStatus] {
    exitStatus = setPrivileges(privileges->first, privileges->second);
  });

  app.add_subcommand("groups",
                     "list the groups the helper made: gid, POSIX name, full name, who asked for "
                     "it, whether every user may join it")
      ->footer(
          "Who asked for a group is shown to root, and to other users for their own groups and "
          "root's. The last line counts the groups you asked for against your quota (for root: "
          "the helper's groups against its limit).")
      ->callback([&exitStatus] { exitStatus = withCurrentHelper(listGroups); });
}

}  // namespace zel::cli
