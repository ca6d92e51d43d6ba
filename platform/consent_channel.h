// SPDX-License-Identifier: MIT
// The consent channel: how an ordinary user's process has the helper installed and removed by
// root, once an administrator consents through polkit.
//
// open() runs `pkexec <installed command> consent-steps`, where the installed command is the
// `zelhelper` that platform/command.h finds for that name (the package's /usr/bin/zelhelper),
// which the package's polkit action names with that one argument. Its root side
// (cli/consent_steps.cpp) writes the line "ready" once it runs as root; then the channel sends
// it steps, one line each, and it answers each with one line: "ok", or "error " and what failed.
// Destroying the channel ends the root side's input; the root side then exits and is waited for.
//
// pkexec's outcome before "ready" gives open()'s status: exit 126 (the dialog was dismissed)
// errAuthorizationCanceled; 127 saying that no authentication agent was found or none could be
// made errAuthorizationInteractionNotAllowed; 127 saying "Not authorized"
// errAuthorizationDenied; no pkexec, no installed command, or anything else
// errAuthorizationInternal. Without kAuthorizationFlagInteractionAllowed, pkexec is told not to
// ask on the terminal itself (--disable-internal-agent).
//
// Nothing the root side writes counts beyond those lines: any other line ends the channel.
//
// Thread: one at a time; open() blocks while the administrator is asked, perform() while the
// root side acts.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

#include "platform/authorization.h"
#include "platform/command.h"

namespace zel {

// The lines of the conversation; no step carries a path or any other argument.
inline constexpr std::string_view kConsentReady = "ready";
inline constexpr std::string_view kConsentStepRemove = "remove";
inline constexpr std::string_view kConsentStepBless = "bless";
inline constexpr std::string_view kConsentDone = "ok";
inline constexpr std::string_view kConsentFailedPrefix = "error ";
// The longest line either side reads.
inline constexpr size_t kConsentLineLimit = 4096;

class ConsentChannel {
 public:
  static OSStatus open(AuthorizationFlags flags, std::unique_ptr<ConsentChannel>* channel);
  ~ConsentChannel();
  ConsentChannel(const ConsentChannel&) = delete;
  ConsentChannel& operator=(const ConsentChannel&) = delete;

  // Has the root side do `step`: an empty string once it has, otherwise what failed. After an
  // answer that is no answer, the channel is ended and every later step fails.
  std::string perform(std::string_view step);

 private:
  explicit ConsentChannel(StartedCommand rootSide) : mRootSide(std::move(rootSide)) {}
  // Ends the root side's input and waits for it.
  CommandResult end();

  StartedCommand mRootSide;
};

}  // namespace zel
