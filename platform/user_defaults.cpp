#include "platform/user_defaults.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include "platform/log.h"
#include "platform/value.h"
#include "resources/labels.h"

namespace zel {
namespace {

using nlohmann::json;

std::string configHome() {
  // Relative values are ignored, as the XDG base directory rules ask.
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && xdg[0] == '/')
    return xdg;
  if (const char* home = std::getenv("HOME"); home && home[0] == '/')
    return std::string(home) + "/.config";
  const passwd* entry = getpwuid(getuid());
  return std::string(entry ? entry->pw_dir : "") + "/.config";
}

std::string directory() {
  return configHome() + "/" + std::string(kClientIdentifier);
}

class Fd {
 public:
  explicit Fd(int fd) : mFd(fd) {}
  ~Fd() {
    if (mFd >= 0)
      close(mFd);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return mFd; }

 private:
  int mFd;
};

// What a read of the file found: a JSON object, nothing (missing file), or a reason it is unusable.
struct Contents {
  json object = json::object();
  std::optional<std::string> problem;
};

Contents readContents(const std::string& path) {
  Fd fd(open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.get() < 0) {
    if (errno == ENOENT)
      return {};
    return {json::object(), std::strerror(errno)};
  }
  std::string text;
  char buffer[4096];
  for (ssize_t n; (n = read(fd.get(), buffer, sizeof buffer)) != 0;) {
    if (n < 0) {
      if (errno == EINTR)
        continue;
      return {json::object(), std::strerror(errno)};
    }
    text.append(buffer, static_cast<size_t>(n));
  }
  json parsed = json::parse(text, nullptr, false);
  if (parsed.is_discarded() || !parsed.is_object())
    return {json::object(), "not a JSON object"};
  return {std::move(parsed), std::nullopt};
}

bool writeAll(int fd, const std::string& text) {
  for (size_t done = 0; done < text.size();) {
    const ssize_t n = write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno != EINTR)
      return false;
    if (n > 0)
      done += static_cast<size_t>(n);
  }
  return true;
}

// Writes `text` to a new file beside `path` and renames it over `path`, then flushes the directory
// `dirFd`; on failure the old file stays as it was.
std::optional<std::string> replaceAtomically(int dirFd, const std::string& path,
                                             const std::string& text) {
  std::string temporary = path + ".XXXXXX";
  Fd fd(mkostemp(temporary.data(), O_CLOEXEC));
  if (fd.get() < 0)
    return std::strerror(errno);
  if (!writeAll(fd.get(), text) || fsync(fd.get()) != 0 ||
      rename(temporary.c_str(), path.c_str()) != 0) {
    const std::string reason = std::strerror(errno);
    unlink(temporary.c_str());
    return reason;
  }
  fsync(dirFd);  // makes the rename itself durable
  return std::nullopt;
}

bool truthy(const json& value) {
  if (value.is_boolean())
    return value.get<bool>();
  if (value.is_number())
    return value.get<double>() != 0;
  if (value.is_string()) {
    std::string text = value.get<std::string>();
    for (char& c : text)
      c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text == "yes" || text == "true" || intValueOfText(text) != 0;
  }
  return false;
}

}  // namespace

UserDefaults& UserDefaults::standardUserDefaults() {
  static UserDefaults defaults;
  return defaults;
}

std::string UserDefaults::path() const {
  return directory() + "/defaults.json";
}

bool UserDefaults::boolForKey(const std::string& key) {
  const std::string file = path();
  const Contents contents = readContents(file);
  if (contents.problem) {
    report(fmt::format("Preferences in {} cannot be read ({}); every preference reads as NO", file,
                       *contents.problem));
    return false;
  }
  const auto found = contents.object.find(key);
  return found != contents.object.end() && truthy(*found);
}

bool UserDefaults::setBool(bool value, const std::string& key) {
  const std::string dir = directory();
  const std::string file = dir + "/defaults.json";
  std::error_code error;
  std::filesystem::create_directories(configHome(), error);
  auto failed = [&](const std::string& reason) {
    report(fmt::format("Preference \"{}\" not stored: {} ({})", key, file, reason));
    return false;
  };
  if (mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST)
    return failed(std::strerror(errno));
  Fd dirFd(open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dirFd.get() < 0 || flock(dirFd.get(), LOCK_EX) != 0)
    return failed(std::strerror(errno));
  Contents contents = readContents(file);
  if (contents.problem)
    return failed(*contents.problem + "; the file is left as it is");
  contents.object[key] = value;
  if (auto problem = replaceAtomically(dirFd.get(), file, contents.object.dump(2) + "\n"))
    return failed(*problem);
  return true;
}

void UserDefaults::report(const std::string& message) {
  {
    std::lock_guard lock(mMutex);
    if (!mReported.insert(message).second)
      return;
  }
  NSLog(message);
}

}  // namespace zel
