// SPDX-License-Identifier: MIT
// The MESSAGE_ID of each kind of line the system logs, as the journal keys them: 128-bit ids as
// 32 lowercase hex digits, fixed for good (a changed id orphans every saved query and the
// catalog entry). packaging/zelhelper.catalog explains each one; a new kind gets a new id there
// too.
#pragma once

#include <string_view>

namespace zel::message_id {

// Lines the helper adds, with priorities by meaning.
inline constexpr std::string_view kRefusal = "385de3b29d24475e934888362407b780";  // LOG_WARNING
inline constexpr std::string_view kOperationFailed = "13441d0615b64095a08aabb819faf0d5";  // ERR
inline constexpr std::string_view kAudit = "775a2c877f6247f4af846290ede0d7bd";  // LOG_NOTICE
inline constexpr std::string_view kLinesLeftOut = "865db80b147845178041ca6d53a0cc27";
inline constexpr std::string_view kConnectionLimited = "f328ed9a8a884d21aa130c5cbeee1827";
inline constexpr std::string_view kConnectionMalformed = "77ed0231e98447f2b6f926aaca35258d";
inline constexpr std::string_view kServerFailure = "552220e7365e417e8efffc00e8e6b27d";
inline constexpr std::string_view kStartedWithoutSocket = "25bd159ab587461abf8c5ee5dd31e5a3";

// The system's own messages, with their texts and LOG_NOTICE.
inline constexpr std::string_view kNoIdentity = "92d0f5b9758e4b5fbab2d62b51853930";
inline constexpr std::string_view kGroupNotFound = "ceb2b5fc5b6b4f04831ad917ce18c09c";
inline constexpr std::string_view kGroupNotCreated = "343f87d0e9b64aa6a53e711e5fed2ad6";
inline constexpr std::string_view kNewGroupNotCommitted = "cb7a87878a264a6eb629ecb61d182b58";
inline constexpr std::string_view kMembershipNotCommitted = "ce6bda56897b457cb10f1082ee161b57";
inline constexpr std::string_view kFileSystemUnreadable = "9f27ba576f66406eb85a930f830faa9a";
inline constexpr std::string_view kChangingFileAttributes = "68ec4b573c51418996939b58f738d2d9";
inline constexpr std::string_view kPrivilegesNotSet = "5b4052e9cb2d492db8c19206cf95cbd0";
inline constexpr std::string_view kItemMissing = "bba63313d7ad4bde923c6198bc4b696c";
inline constexpr std::string_view kVolumeMissing = "ef050837801444d2a3f01e87e99eecb4";
inline constexpr std::string_view kNonOctalNumber = "2adaeb16d9594a538285aa8cbde783e9";
inline constexpr std::string_view kAttributesUnreadable = "19f993ee40724ded87c19ca88e94ada9";

}  // namespace zel::message_id
