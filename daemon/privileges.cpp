// octToDec and setPrivileges: POSIX permissions written as octal-looking numbers (770 for 0770).
#include <fmt/format.h>
#include <fmt/printf.h>

#include "daemon/request.h"
#include "daemon/zel_helper.h"
#include "platform/file_manager.h"
#include "platform/log.h"

namespace zel {
namespace {

// The mode whose octal digits are the decimal digits of `octalLooking`; nothing, after the
// conversion message, when it has an 8 or a 9.
std::optional<uint32_t> modeOfOctalLooking(uint32_t octalLooking) {
  std::string decimal = fmt::format("{}", octalLooking);
  if (decimal.find('9') != std::string::npos || decimal.find('8') != std::string::npos) {
    NSLog(fmt::sprintf("octToDec non octal number: %lu", static_cast<unsigned long>(octalLooking)));
    return std::nullopt;
  }
  uint32_t mode = 0;
  for (uint32_t rest = octalLooking, weight = 1; rest != 0; rest /= 10, weight *= 8)
    mode += (rest % 10) * weight;
  return mode;
}

}  // namespace

uint32_t ZelHelper::octToDec(uint32_t octalLooking) {
  return modeOfOctalLooking(octalLooking).value_or(0);
}

void ZelHelper::setPrivileges(uint32_t octalLooking, const std::string& path) {
  Request request("setPrivileges", path, LogChannel::kNSLog);
  if (request.refused(SafetyRules::refusalOfPath(path)))
    return;
  const FileManager& files = FileManager::defaultManager();
  FileError error;
  std::optional<ItemAttributes> item = files.attributesOfItemAtPath(path, &error);
  if (!item)
    NSLog(fmt::format("ZelHelper Error getting {} attributes: {}", path, error.description));
  // A number that is not octal-looking changes nothing: a typo must not clear the mode.
  std::optional<uint32_t> mode = modeOfOctalLooking(octalLooking);
  if (!mode)
    return;
  uint32_t current = item ? item->posixPermissions : 0;
  if (static_cast<int32_t>(current) == static_cast<int32_t>(*mode))
    return;
  auto check = [&request](const ItemAttributes& target, const ResolvedAttributes& change) {
    return request.rules().refusalToSetPermissions(target, change.posixPermissions.value());
  };
  if (!files.setAttributes(FileAttributes{std::nullopt, *mode}, path, &error, check))
    request.failed(
        error, fmt::format("ZelHelper Error setting {} privileges: {}", path, error.description));
}

}  // namespace zel
