// SPDX-License-Identifier: MIT
#include "platform/journal.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/un.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "platform/fd_io.h"
#include "platform/system_root.h"
#include "platform/unique_fd.h"

namespace zel {
namespace {

std::string serialise(const std::vector<JournalField>& fields) {
  std::string entry;
  for (const auto& [name, value] : fields) {
    if (value.empty())
      continue;
    entry.append(name).append(1, '=').append(value).append(1, '\n');
  }
  return entry;
}

// The journal reads an entry larger than a datagram from a memfd that nobody can change any
// more.
bool sendAsMemfd(int socketFd, const sockaddr_un& address, const std::string& entry) {
  UniqueFd memory(memfd_create("zelhelper-journal", MFD_CLOEXEC | MFD_ALLOW_SEALING));
  if (!memory)
    return false;
  if (!writeAll(memory.get(), entry).empty())
    return false;
  if (fcntl(memory.get(), F_ADD_SEALS, F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_WRITE | F_SEAL_SEAL) !=
      0)
    return false;
  alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
  msghdr message{};
  message.msg_name = const_cast<sockaddr_un*>(&address);
  message.msg_namelen = sizeof address;
  message.msg_control = control;
  message.msg_controllen = sizeof control;
  cmsghdr* header = CMSG_FIRSTHDR(&message);
  header->cmsg_level = SOL_SOCKET;
  header->cmsg_type = SCM_RIGHTS;
  header->cmsg_len = CMSG_LEN(sizeof(int));
  const int descriptor = memory.get();
  std::memcpy(CMSG_DATA(header), &descriptor, sizeof descriptor);
  return sendmsg(socketFd, &message, MSG_NOSIGNAL) >= 0;
}

}  // namespace

bool sendToJournal(const std::vector<JournalField>& fields) {
  static const UniqueFd socketFd(socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0));
  if (!socketFd)
    return false;
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  const std::string path = underSystemRoot("/run/systemd/journal/socket");
  if (path.size() >= sizeof address.sun_path)
    return false;
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);

  const std::string entry = serialise(fields);
  iovec data{const_cast<char*>(entry.data()), entry.size()};
  msghdr message{};
  message.msg_name = &address;
  message.msg_namelen = sizeof address;
  message.msg_iov = &data;
  message.msg_iovlen = 1;
  if (sendmsg(socketFd.get(), &message, MSG_NOSIGNAL) >= 0)
    return true;
  return (errno == EMSGSIZE || errno == ENOBUFS) && sendAsMemfd(socketFd.get(), address, entry);
}

}  // namespace zel
