// SPDX-License-Identifier: MIT
// Where the system keeps its own files (run directory, group and user files, units, the
// installed executable). It is "/" unless the environment variable ZELHELPER_ROOT names another
// directory, which is how tests and the sandbox demo run the whole system without touching the
// machine. Paths named in requests are never relocated.
#pragma once

#include <string>
#include <string_view>

namespace zel {

// The root directory, without a trailing slash except for "/" itself. Read from the
// environment on every call, so a test may set ZELHELPER_ROOT before it starts a component.
std::string systemRoot();

// The absolute system path `path` (which begins with "/") under the root.
std::string underSystemRoot(std::string_view path);

// True when ZELHELPER_ROOT names a directory other than "/".
bool inSandboxRoot();

}  // namespace zel
