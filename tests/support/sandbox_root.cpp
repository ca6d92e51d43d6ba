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
  std::string pattern = (fs::temp_directory_path() / "zelhelper-root-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr)
    throw std::runtime_error("mkdtemp failed");
  mPath = pattern;
  chmod(mPath.c_str(), 0755);
  for (const char* dir : {"etc", "run", "var/lib", "usr/local/libexec", "etc/systemd/system"})
    fs::create_directories(at(dir));
  fs::create_directories(scratch());
  chmod(scratch().c_str(), 01777);

  std::string passwd = "root:x:0:0:root:/root:/bin/sh\n";
  std::string group = "root:x:0:\n";
  std::string shadow = "root:*:19000:0:99999:7:::\n";
  std::string gshadow = "root:*::\n";
  for (const SandboxUser& user : {kAlice, kBob}) {
    passwd += fmt::format("{0}:x:{1}:{2}:{0}:/home/{0}:/bin/sh\n", user.name, user.uid, user.gid);
    group += fmt::format("{}:x:{}:\n", user.name, user.gid);
    shadow += fmt::format("{}:*:19000:0:99999:7:::\n", user.name);
    gshadow += fmt::format("{}:!::\n", user.name);
  }
  writeFile("etc/passwd", passwd);
  writeFile("etc/group", group);
  writeFile("etc/shadow", shadow);
  writeFile("etc/gshadow", gshadow);

  if (const char* previous = std::getenv("ZELHELPER_ROOT"))
    mPreviousRoot = previous;
  setenv("ZELHELPER_ROOT", mPath.c_str(), 1);
}

SandboxRoot::~SandboxRoot() {
  if (mPreviousRoot)
    setenv("ZELHELPER_ROOT", mPreviousRoot->c_str(), 1);
  else
    unsetenv("ZELHELPER_ROOT");
  std::error_code ignored;
  fs::remove_all(mPath, ignored);
}

std::string SandboxRoot::at(const std::string& relative) const {
  return mPath + "/" + relative;
}

std::string SandboxRoot::readFile(const std::string& relative) const {
  std::ifstream in(at(relative));
  return {std::istreambuf_iterator<char>(in), {}};
}

void SandboxRoot::writeFile(const std::string& relative, const std::string& contents) const {
  std::ofstream(at(relative), std::ios::trunc) << contents;
}

}  // namespace zel::test
