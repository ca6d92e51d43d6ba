// SPDX-License-Identifier: MIT
// The table that `zelhelper groups` prints: a header line (GID, NAME, FULL NAME, ASKED BY, OPEN),
// one line per group in columns two spaces apart, then the listing's summary line. Every text is
// escaped against control characters (platform/log.h).
#pragma once

#include "protocol/helper_group_listing.h"

namespace zel::cli {

// Prints `listing` on standard output.
void printHelperGroups(const HelperGroupListing& listing);

}  // namespace zel::cli
