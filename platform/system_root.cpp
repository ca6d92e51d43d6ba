// SPDX-License-Identifier: MIT
#include "platform/system_root.h"

#include <cstdlib>

namespace zel {

std::string systemRoot() {
  const char* root = std::getenv("ZELHELPER_ROOT");
  std::string result = (root != nullptr && *root != '\0') ? root : "/";
  while (result.size() > 1 && result.back() == '/')
    result.pop_back();
  return result;
}

std::string underSystemRoot(std::string_view path) {
  std::string root = systemRoot();
  if (root == "/")
    return std::string(path);
  return root + std::string(path);
}

bool inSandboxRoot() {
  return systemRoot() != "/";
}

}  // namespace zel
