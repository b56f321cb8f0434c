// Tells the service when the machine gains a network address (a cable
// plugged in, Wi-Fi joined, a VPN up), so that drives waiting for their
// server try again at once instead of at their next retry.
//
// One watch per service: start and stop are called by the owner's thread;
// the callback runs on the watch's own thread, once per burst of address
// messages, and never after stop has returned. A lost notification (the
// kernel's queue overflowed) counts as a change.
#pragma once

#include <functional>
#include <thread>

#include "foundation/file_util.h"
#include "foundation/status.h"

namespace tarn {

class AddressWatch {
 public:
  using Callback = std::function<void()>;

  AddressWatch() = default;
  ~AddressWatch();
  AddressWatch(const AddressWatch&) = delete;
  AddressWatch& operator=(const AddressWatch&) = delete;

  // Subscribes to IPv4 and IPv6 address changes in the calling thread's
  // network namespace.
  Status start(Callback onAddressAdded);
  void stop();

 private:
  void run();

  Callback callback_;
  vx::UniqueFd netlink_;
  vx::UniqueFd wake_;  // eventfd written by stop()
  std::thread thread_;
};

}  // namespace tarn
