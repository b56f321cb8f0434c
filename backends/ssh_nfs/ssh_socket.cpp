#include "backends/ssh_nfs/ssh_socket.h"

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

namespace tarn {
namespace {

// Waits for a non-blocking connect; 0 when connected, else errno
// (ETIMEDOUT when the time-out ran out).
int WaitConnected(int fd, uint32_t timeoutMs) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return ETIMEDOUT;
    pollfd p{fd, POLLOUT, 0};
    int rc = ::poll(&p, 1, int(left.count()));
    if (rc < 0 && errno == EINTR) continue;
    if (rc < 0) return errno;
    if (rc == 0) return ETIMEDOUT;
    int err = 0;
    socklen_t len = sizeof(err);
    if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) != 0) return errno;
    return err;
  }
}

}  // namespace

std::string HostPort(const std::string& host, uint32_t port) {
  if (host.find(':') != std::string::npos) return "[" + host + "]:" + std::to_string(port);
  return host + ":" + std::to_string(port);
}

Status ConnectTcp(const std::string& host, uint32_t port, uint32_t timeoutMs, int& fd) {
  fd = -1;
  const std::string where = HostPort(host, port);
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_NUMERICSERV;
  addrinfo* list = nullptr;
  int gai = ::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &list);
  if (gai != 0) return Status(Status::kNetwork, "resolve " + host + ": " + ::gai_strerror(gai), gai);

  int lastErr = 0;
  for (addrinfo* ai = list; ai != nullptr; ai = ai->ai_next) {
    int s = ::socket(ai->ai_family, ai->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, ai->ai_protocol);
    if (s < 0) {
      lastErr = errno;
      continue;
    }
    int err = 0;
    if (::connect(s, ai->ai_addr, ai->ai_addrlen) != 0) err = errno == EINPROGRESS ? WaitConnected(s, timeoutMs) : errno;
    if (err == 0) {
      int flags = ::fcntl(s, F_GETFL);
      ::fcntl(s, F_SETFL, flags & ~O_NONBLOCK);
      int one = 1;
      ::setsockopt(s, IPPROTO_TCP, TCP_NODELAY, &one, sizeof(one));
      ::setsockopt(s, SOL_SOCKET, SO_KEEPALIVE, &one, sizeof(one));
      fd = s;
      break;
    }
    ::close(s);
    lastErr = err;
  }
  ::freeaddrinfo(list);
  if (fd >= 0) return Status();
  if (lastErr == ETIMEDOUT)
    return Status(Status::kTimeout, "connect " + where + ": no answer within " + std::to_string(timeoutMs) + " ms",
                  lastErr);
  return Status(Status::kNetwork, "connect " + where + ": " + std::strerror(lastErr), lastErr);
}

}  // namespace tarn
