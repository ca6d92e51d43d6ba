// SPDX-License-Identifier: MIT
// Holds back the NSLog lines of the client-side operations that a command runs, so that a
// command that succeeds prints only its result. When it fails, release() writes them to
// standard error, each as "zelhelper: <line>", ahead of the command's own message.
#pragma once

#include "platform/log.h"

namespace zel::cli {

class HeldLog {
 public:
  HeldLog() : mCapture(LogChannel::kNSLog) {}
  void release() const;

 private:
  LogCapture mCapture;
};

}  // namespace zel::cli
