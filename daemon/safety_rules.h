// SPDX-License-Identifier: MIT
// The rules on items for callers other than root; root is never refused by these.
//
// Each refusal* function answers the refusal (the rule's identifier and a sentence for the
// caller), or nothing. The sentences say no more than the caller could see for itself. Checks
// read the item through the descriptors of the request's one walk (platform/path_walk.h); the
// caller's groups are those of `subject`, which counts it as a member of the group the group
// step would add it to.
//
// Thread: the daemon's serving thread.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>

#include "daemon/caller.h"
#include "daemon/refusal.h"
#include "platform/access_judge.h"
#include "platform/identity_authority.h"
#include "platform/log.h"
#include "platform/path_walk.h"

namespace zel {

class Request;

// The rules of the walk itself (rule:path, rule:link, rule:search, rule:file-system), for every
// caller; nothing for a walk that reached its item, found a component missing or failed.
std::optional<Refusal> refusalOfWalk(const PathWalk& walk);

// Owned by root, with an open helper group as its group.
bool isSharedItem(const Request& request, const struct stat& status);

// An existing item given the request's group (`groupId`): only the caller's own items other
// than "/" and homes, or shared items of that group.
std::optional<Refusal> refusalToTakeOver(const Request& request, const PathWalk& walk,
                                         const WalkedItem& item, gid_t groupId);
// A new item in `directory`: only where the caller could write and search itself (so in a
// shared directory whose group may write and search, as a member).
std::optional<Refusal> refusalToCreateIn(const AccessSubject& subject, const WalkedItem& directory);
// A new mode `asked` for the item: only the caller's own items, or shared items of its groups
// (and then no bit added and nothing outside 0770 set); never the set-user-ID bit, and the
// set-group-ID bit only on a directory of one of its groups; items with an ACL only for their
// owner.
std::optional<Refusal> refusalToSetPermissions(const Request& request, const AccessSubject& subject,
                                               const WalkedItem& item, mode_t asked);

// The mode an item gets when `asked` is applied by the request's caller: on a shared item it
// does not own, the bits outside 0770 and the bits asked for that the item lacks stay as they
// are.
mode_t modeWithinRules(const Request& request, const WalkedItem& item, mode_t asked);
// Why a shared item's mode is left at `mode`, other than asked.
Refusal keptModeReason(mode_t mode);

}  // namespace zel
