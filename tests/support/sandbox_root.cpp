// SPDX-License-Identifier: MIT
#include "tests/support/sandbox_root.h"

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include <fmt/format.h>

namespace zel::test {
namespace fs = std::filesystem;

SandboxRoot::SandboxRoot() {
  mPath = (fs::temp_directory_path() / "zelhelper-root-XXXXXX").string();
  if (mkdtemp(mPath.data()) == nullptr)
    throw std::runtime_error("mkdtemp failed");
  chmod(mPath.c_str(), 0755);
  for (const char* dir : {"run", "var/lib", "usr/local/libexec", "etc/systemd/system", "scratch"})
    fs::create_directories(at(dir));
  chmod(scratch().c_str(), 01777);

  std::string passwd = "root:x:0:0:root:/root:/bin/sh\n", group = "root:x:0:\n";
  std::string shadow = "root:*:19000:0:99999:7:::\n", gshadow = "root:*::\n";
  for (const SandboxUser& user : {kAlice, kBob}) {
    passwd += fmt::format("{0}:x:{1}:{2}:{0}:/home/{0}:/bin/sh\n", user.name, user.uid, user.gid);
    group += fmt::format("{}:x:{}:\n", user.name, user.gid);
    shadow += fmt::format("{}:*:19000:0:99999:7:::\n", user.name);
    gshadow += fmt::format("{}:!::\n", user.name);
  }
  for (const auto& [file, text] :
       {std::pair{"passwd", passwd}, {"group", group}, {"shadow", shadow}, {"gshadow", gshadow}})
    writeFile(fmt::format("etc/{}", file), text);

  setenv("ZELHELPER_ROOT", mPath.c_str(), 1);
}

SandboxRoot::~SandboxRoot() {
  unsetenv("ZELHELPER_ROOT");
  std::error_code ignored;
  fs::remove_all(mPath, ignored);
}

std::string SandboxRoot::readFile(const std::string& relative) const {
  std::ifstream in(at(relative));
  return {std::istreambuf_iterator<char>(in), {}};
}

void SandboxRoot::writeFile(const std::string& relative, const std::string& contents) const {
  std::ofstream(at(relative), std::ios::trunc) << contents;
}

}  // namespace zel::test
