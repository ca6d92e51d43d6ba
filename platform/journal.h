// SPDX-License-Identifier: MIT
// The journal's native protocol, spoken directly: one entry is one datagram to the AF_UNIX
// socket <root>/run/systemd/journal/socket (platform/system_root.h), each field written
// "NAME=value\n"; an entry too large for a datagram travels as a sealed memfd passed with
// SCM_RIGHTS.
//
// Names are journal field names (upper case, digits, underscores). Values must hold no newline
// (the log escapes every value before it gets here), so the length-prefixed form is never
// needed. Empty values are left out.
//
// Thread: callers serialise calls (the log sends under its lock). The socket is opened on the
// first call (close-on-exec) and kept for the life of the process; the address is read on every
// call, so it follows ZELHELPER_ROOT.
#pragma once

#include <string_view>
#include <utility>
#include <vector>

namespace zel {

using JournalField = std::pair<std::string_view, std::string_view>;

// True when the journal took the entry; false when its socket is missing or sending failed,
// and the caller logs the line elsewhere.
bool sendToJournal(const std::vector<JournalField>& fields);

}  // namespace zel
