#include "backends/ssh_nfs/ssh_kex_probe.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstring>

#include "backends/ssh_nfs/ssh_socket.h"

namespace tarn {
namespace {

constexpr uint8_t kMsgKexInit = 20;
constexpr size_t kCookieBytes = 16;
// RFC 4253: an identification line holds at most 255 bytes, and a packet
// any implementation must take at most 35000.
constexpr size_t kMaxLineBytes = 255;
constexpr int kMaxLinesBeforeVersion = 64;
constexpr uint32_t kMaxPacketBytes = 35000;
constexpr std::string_view kProbeVersion = "SSH-2.0-tarn_probe\r\n";

class Reader {
 public:
  Reader(int fd, uint32_t timeoutMs)
      : fd_(fd), deadline_(std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs)) {}

  bool read(uint8_t* out, size_t n) {
    while (n > 0) {
      auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline_ - std::chrono::steady_clock::now()).count();
      pollfd p{fd_, POLLIN, 0};
      if (left <= 0 || ::poll(&p, 1, int(left)) <= 0) return false;
      ssize_t got = ::recv(fd_, out, n, 0);
      if (got <= 0) return false;
      out += got;
      n -= size_t(got);
    }
    return true;
  }

 private:
  int fd_;
  std::chrono::steady_clock::time_point deadline_;
};

uint32_t U32(const uint8_t* p) { return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3]; }

// The next name-list of the payload at `at`; false when it runs past the end.
bool NameList(std::string_view payload, size_t& at, std::string_view& list) {
  if (payload.size() - at < 4) return false;
  const uint32_t n = U32(reinterpret_cast<const uint8_t*>(payload.data() + at));
  at += 4;
  if (payload.size() - at < n) return false;
  list = payload.substr(at, n);
  at += n;
  return true;
}

}  // namespace

bool ParseKexInitHostKeys(std::string_view payload, std::vector<std::string>& out) {
  out.clear();
  if (payload.size() < 1 + kCookieBytes || uint8_t(payload[0]) != kMsgKexInit) return false;
  size_t at = 1 + kCookieBytes;
  std::string_view kex, hostKeys;
  if (!NameList(payload, at, kex) || !NameList(payload, at, hostKeys)) return false;
  while (!hostKeys.empty()) {
    const size_t comma = hostKeys.find(',');
    if (comma != 0) out.emplace_back(hostKeys.substr(0, comma));
    hostKeys = comma == std::string_view::npos ? std::string_view() : hostKeys.substr(comma + 1);
  }
  return true;
}

Status ReadServerHostKeyAlgorithms(const std::string& host, uint32_t port, uint32_t timeoutMs,
                                   std::vector<std::string>& out) {
  out.clear();
  int fd = -1;
  Status st = ConnectTcp(host, port, timeoutMs, fd);
  if (!st.ok()) return st;
  const std::string step = "read the key exchange offer of " + HostPort(host, port);
  Reader in(fd, timeoutMs);
  auto fail = [&](const char* why) {
    ::close(fd);
    return Status(Status::kProtocol, step + ": " + why);
  };
  // Servers may send other lines before their version line.
  bool version = false;
  for (int line = 0; line < kMaxLinesBeforeVersion && !version; ++line) {
    std::string text;
    uint8_t c = 0;
    while (text.size() <= kMaxLineBytes && in.read(&c, 1) && c != '\n') text.push_back(char(c));
    if (c != '\n') return fail("no version line");
    version = text.rfind("SSH-", 0) == 0;
  }
  if (!version) return fail("no version line");
  if (::send(fd, kProbeVersion.data(), kProbeVersion.size(), MSG_NOSIGNAL) != ssize_t(kProbeVersion.size()))
    return fail("the server closed the connection");
  uint8_t head[5];
  if (!in.read(head, sizeof(head))) return fail("no key exchange offer");
  const uint32_t length = U32(head);
  const uint8_t padding = head[4];
  if (length < 1u + padding || length > kMaxPacketBytes) return fail("malformed key exchange offer");
  std::string packet(length - 1, '\0');
  if (!in.read(reinterpret_cast<uint8_t*>(packet.data()), packet.size())) return fail("no key exchange offer");
  ::close(fd);
  if (!ParseKexInitHostKeys(std::string_view(packet).substr(0, packet.size() - padding), out))
    return Status(Status::kProtocol, step + ": malformed key exchange offer");
  return Status();
}

}  // namespace tarn
