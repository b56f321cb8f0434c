#include "platform/address_watch.h"

#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "foundation/log.h"
#include "foundation/text.h"

namespace tarn {
namespace {

constexpr size_t kReceiveBytes = 16384;

// True when the messages in `data` announce a new address.
bool HasNewAddress(const uint8_t* data, size_t size) {
  size_t left = size;
  for (auto* h = reinterpret_cast<const nlmsghdr*>(data); NLMSG_OK(h, left); h = NLMSG_NEXT(h, left)) {
    if (h->nlmsg_type == RTM_NEWADDR) return true;
  }
  return false;
}

}  // namespace

AddressWatch::~AddressWatch() { stop(); }

Status AddressWatch::start(Callback onAddressAdded) {
  vx::UniqueFd fd(::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC | SOCK_NONBLOCK, NETLINK_ROUTE));
  if (!fd.valid()) return Status(Status::kIo, "netlink: " + vx::FormatWin32Error(errno), errno);
  sockaddr_nl addr{};
  addr.nl_family = AF_NETLINK;
  addr.nl_groups = RTMGRP_IPV4_IFADDR | RTMGRP_IPV6_IFADDR;
  if (::bind(fd.get(), reinterpret_cast<const sockaddr*>(&addr), sizeof(addr)) != 0)
    return Status(Status::kIo, "netlink bind: " + vx::FormatWin32Error(errno), errno);
  vx::UniqueFd wake(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
  if (!wake.valid()) return Status(Status::kIo, "eventfd: " + vx::FormatWin32Error(errno), errno);
  netlink_ = std::move(fd);
  wake_ = std::move(wake);
  callback_ = std::move(onAddressAdded);
  thread_ = std::thread([this] { run(); });
  return Status();
}

void AddressWatch::stop() {
  if (!thread_.joinable()) return;
  const uint64_t one = 1;
  [[maybe_unused]] ssize_t n = ::write(wake_.get(), &one, sizeof(one));
  thread_.join();
  netlink_.close();
  wake_.close();
}

void AddressWatch::run() {
  std::vector<uint8_t> buffer(kReceiveBytes);
  for (;;) {
    pollfd p[2] = {{netlink_.get(), POLLIN, 0}, {wake_.get(), POLLIN, 0}};
    if (::poll(p, 2, -1) < 0) {
      if (errno == EINTR) continue;
      vx::log::write(vx::log::kError, "network: poll: %s", vx::FormatWin32Error(errno).c_str());
      return;
    }
    if (p[1].revents != 0) return;
    // Drain the queue first so that a burst of messages makes one call.
    bool added = false;
    for (;;) {
      const ssize_t n = ::recv(netlink_.get(), buffer.data(), buffer.size(), 0);
      if (n > 0) {
        added = added || HasNewAddress(buffer.data(), static_cast<size_t>(n));
        continue;
      }
      if (n < 0 && errno == EINTR) continue;
      if (n < 0 && errno == ENOBUFS) {
        added = true;  // messages were lost: one of them may have been an address
        continue;
      }
      if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK)
        vx::log::write(vx::log::kWarn, "network: receive: %s", vx::FormatWin32Error(errno).c_str());
      break;
    }
    if (added) callback_();
  }
}

}  // namespace tarn
