// Stand-ins for the operations whose bodies are built in zel_helper.cpp: weak, so the real
// definitions replace them as soon as they are linked in. Each answers "nothing done".
#include "daemon/zel_helper.h"
#include "platform/log.h"

namespace zel {
namespace {
void unavailable(const char* operation) {
  systemLog(std::string("ZelHelper ") + operation + " is not available in this build");
}
}  // namespace

__attribute__((weak)) bool ZelHelper::createFile(const std::string&, const std::string&,
                                                 const std::string&) {
  unavailable("createFile");
  return false;
}
__attribute__((weak)) bool ZelHelper::createDirectory(const std::string&, const std::string&,
                                                      const std::string&) {
  unavailable("createDirectory");
  return false;
}
__attribute__((weak)) bool ZelHelper::permitAccessToPath(const std::string&, const std::string&,
                                                         const std::string&) {
  unavailable("permitAccessToPath");
  return false;
}
__attribute__((weak)) uint32_t ZelHelper::octToDec(uint32_t) {
  unavailable("octToDec");
  return 0;
}
__attribute__((weak)) void ZelHelper::setPrivileges(uint32_t, const std::string&) {
  unavailable("setPrivileges");
}

}  // namespace zel
