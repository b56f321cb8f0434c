// A TCP relay on 127.0.0.1 between a back-end test and a test server that
// can stop passing bytes on demand, so that a test sees a server that went
// silent in the middle of a session; that can cut every connection in place
// of passing on the client's n-th send, so that a test sees the network fail
// between two requests; that can run a test's step before passing on what
// the client sent, so that another client acts between two requests; and
// that counts the bytes of both directions. Owned by the test; pause,
// cutAtClientSend, onClientSend and the counters may be used from the
// test's thread while the relay thread runs.
#pragma once

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <string_view>
#include <thread>
#include <vector>

namespace tarn::testing {

// A listening socket on 127.0.0.1 at a port the system picks, and that port.
inline int ListenOnLoopback(uint32_t& port) {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof(a);
  if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&a), len) != 0 || ::listen(fd, 8) != 0 ||
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
    if (fd >= 0) ::close(fd);
    port = 0;
    return -1;
  }
  port = ntohs(a.sin_port);
  return fd;
}

class TcpRelay {
 public:
  explicit TcpRelay(uint32_t targetPort) : target_(targetPort) {
    listen_ = ListenOnLoopback(port_);
    thread_ = std::thread([this] { loop(); });
  }
  ~TcpRelay() {
    stop_ = true;
    thread_.join();
    for (auto& p : pairs_) {
      ::close(p.a);
      ::close(p.b);
    }
    ::close(listen_);
  }
  TcpRelay(const TcpRelay&) = delete;
  TcpRelay& operator=(const TcpRelay&) = delete;

  uint32_t port() const { return port_; }
  void pause(bool on) { paused_ = on; }
  // Counting from now, the client's n-th send (as one read of the relay
  // sees it) is not passed on: every connection is closed instead. 0 turns
  // it off.
  void cutAtClientSend(int n) {
    sendsLeft_ = n;
    cut_ = false;
  }
  // Runs on the relay's thread with each piece the client sent (as one
  // read of the relay sees it), before the piece is passed on.
  void onClientSend(std::function<void(std::string_view)> hook) {
    std::lock_guard<std::mutex> lock(hookMu_);
    hook_ = std::move(hook);
  }
  // True once an armed cut happened.
  bool cut() const { return cut_; }
  // Bytes passed so far from the server to the client and back.
  uint64_t bytesFromServer() const { return fromServer_; }
  uint64_t bytesFromClient() const { return fromClient_; }

 private:
  struct Pair {
    int a, b;
  };
  static constexpr int kSliceMs = 20;

  static sockaddr_in Loopback(uint32_t port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(uint16_t(port));
    return a;
  }

  // Only the relay thread touches pairs_ until the destructor joins it.
  void loop() {
    while (!stop_) {
      std::vector<pollfd> fds{{listen_, POLLIN, 0}};
      bool relay = !paused_;
      if (relay)
        for (const auto& p : pairs_) {
          fds.push_back({p.a, POLLIN, 0});
          fds.push_back({p.b, POLLIN, 0});
        }
      const size_t polled = relay ? pairs_.size() : 0;
      if (::poll(fds.data(), fds.size(), kSliceMs) <= 0) continue;
      std::vector<Pair> kept;
      for (size_t i = 0; i < polled; ++i) {
        const Pair p = pairs_[i];
        bool open = forward(fds[1 + 2 * i].revents, p.a, p.b, &fromClient_, &sendsLeft_) &&
                    forward(fds[2 + 2 * i].revents, p.b, p.a, &fromServer_, nullptr);
        if (open) {
          kept.push_back(p);
        } else {
          ::close(p.a);
          ::close(p.b);
        }
      }
      if (relay) pairs_.swap(kept);
      if (fds[0].revents & POLLIN) accept();
    }
  }

  void accept() {
    int a = ::accept4(listen_, nullptr, nullptr, SOCK_CLOEXEC);
    if (a < 0) return;
    int b = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in t = Loopback(target_);
    if (::connect(b, reinterpret_cast<sockaddr*>(&t), sizeof(t)) != 0) {
      ::close(a);
      ::close(b);
      return;
    }
    pairs_.push_back({a, b});
  }

  bool forward(short revents, int from, int to, std::atomic<uint64_t>* counter, std::atomic<int>* sendsLeft) {
    if (revents == 0) return true;
    char buf[65536];
    ssize_t n = ::recv(from, buf, sizeof(buf), 0);
    if (n <= 0) return false;
    if (sendsLeft != nullptr && *sendsLeft > 0 && --*sendsLeft == 0) {
      cutAll();
      return false;
    }
    if (sendsLeft != nullptr) {
      std::function<void(std::string_view)> hook;
      {
        std::lock_guard<std::mutex> lock(hookMu_);
        hook = hook_;
      }
      if (hook) hook(std::string_view(buf, size_t(n)));
    }
    *counter += uint64_t(n);
    for (ssize_t sent = 0; sent < n;) {
      ssize_t m = ::send(to, buf + sent, size_t(n - sent), MSG_NOSIGNAL);
      if (m <= 0) return false;
      sent += m;
    }
    return true;
  }

  // Shuts every relayed connection down; the loop then closes them.
  void cutAll() {
    cut_ = true;  // before the client can see the cut
    for (const auto& p : pairs_) {
      ::shutdown(p.a, SHUT_RDWR);
      ::shutdown(p.b, SHUT_RDWR);
    }
  }

  uint32_t target_;
  int listen_ = -1;
  uint32_t port_ = 0;
  std::atomic<bool> stop_{false};
  std::atomic<bool> paused_{false};
  std::atomic<uint64_t> fromServer_{0};
  std::atomic<uint64_t> fromClient_{0};
  std::atomic<int> sendsLeft_{0};
  std::atomic<bool> cut_{false};
  std::vector<Pair> pairs_;
  std::mutex hookMu_;
  std::function<void(std::string_view)> hook_;  // guarded by hookMu_
  std::thread thread_;
};

}  // namespace tarn::testing
