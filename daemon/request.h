// One remote operation in progress: its name, the path it acts on, and the safety rules of its
// caller, with the logging of refusals and failed changes in the operation's own log channel.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "daemon/safety_rules.h"
#include "platform/file_error.h"
#include "platform/log.h"

namespace zel {

class Request {
 public:
  Request(std::string_view operation, const std::string& path, LogChannel channel)
      : mOperation(operation),
        mPath(path),
        mChannel(channel),
        mRules(SafetyRules::forCurrentCaller()) {}

  const SafetyRules& rules() const { return mRules; }

  // Logs the refusal when there is one; true when the request is refused.
  bool refused(const std::optional<std::string>& rule) const {
    if (rule)
      mRules.logRefusal(mChannel, mOperation, mPath, *rule);
    return rule.has_value();
  }

  // Logs a change that failed: as a refusal when a rule vetoed it through its descriptor,
  // otherwise with `message`. Answers false, the operation's result.
  bool failed(const FileError& error, std::string_view message) const {
    if (error.refused) {
      refused(error.description);
    } else if (mChannel == LogChannel::kNSLog) {
      NSLog(message);
    } else {
      systemLog(message);
    }
    return false;
  }

 private:
  std::string_view mOperation;
  const std::string& mPath;
  LogChannel mChannel;
  SafetyRules mRules;
};

}  // namespace zel
