// The service's side of the control socket: one accept thread and one
// thread per connection, each reading one request, handing it with its
// caller's identity to the handler and writing the one reply.
//
// The owner (ServiceBody) starts and stops it from one thread; the handler
// runs on the connection threads, several at a time. What clients may hold
// at once is bounded (ControlAdmission): each user has a share of the
// connections and of the request bytes, and part of both is kept for root.
// A connection past its user's share is answered "busy" by the accept
// thread at once; only root's connections ever wait in the backlog. A
// request is read into memory that grows with the bytes received, after its
// size has been reserved, and is parsed within bounds that fit the largest
// request its caller may make; a reply is held for its client within the
// same share of bytes, and a reply that can be large is reserved there
// before it is made. A client that has not sent its whole request
// within the frame time-out is dropped; nothing is locked while a request is
// being read, so a stalled client delays nobody else.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "foundation/json.h"
#include "foundation/status.h"
#include "platform/control_request.h"
#include "platform/control_socket.h"
#include "service/control_admission.h"

namespace tarn {

// How long a client may take to send its request or to take its reply.
inline constexpr uint32_t kControlFrameTimeoutMs = 10000;

struct ControlServerOptions {
  AdmissionLimits admission;
  uint32_t frameTimeoutMs = kControlFrameTimeoutMs;
  // Who a peer is; unset, root alone is privileged.
  std::function<IpcCaller(const PeerCredentials&)> identify;
  // The most memory the reply to a request may take while it is made, for
  // requests whose replies can be large: reserved in the caller's share
  // before the handler runs. Unset or 0: the reply counts once it is made.
  std::function<uint64_t(const vx::json::Value& request)> replyBytes;
};

class ControlServer {
 public:
  // Exceptions that escape the handler become the reply "internal error: ".
  using Handler = std::function<vx::json::Value(const vx::json::Value& request, const IpcCaller& caller)>;

  explicit ControlServer(Handler handler, ControlServerOptions options = {});
  ~ControlServer();
  ControlServer(const ControlServer&) = delete;
  ControlServer& operator=(const ControlServer&) = delete;

  Status start(const std::string& socketPath);
  // Stops accepting, drops clients that are still sending their request, and
  // returns once every request being handled has had its reply written.
  void stop();

  AdmissionStats admissionStats() const { return admission_.stats(); }

 private:
  struct Connection {
    std::thread thread;
    int fd = -1;
    bool reading = true;  // still waiting for the request
  };

  void acceptLoop();
  void serve(uint64_t id, vx::UniqueFd fd, IpcCaller caller);
  // Reads the request within the caller's bounds, holding its bytes in the
  // admission's count until `reserved` is given back.
  Status readRequest(int fd, const IpcCaller& caller, std::string& body, uint64_t& reserved);
  // The handler's reply; `reserved` gets what was reserved for it ahead.
  vx::json::Value answer(const std::string& body, const IpcCaller& caller, uint64_t& reserved);
  // Writes a handler's reply text while its bytes are held in the caller's
  // share, in place of the `reserved` bytes held for it so far; one that
  // does not fit is answered "busy".
  void sendHeld(int fd, const IpcCaller& caller, std::string text, uint64_t reserved, ControlDeadline deadline);
  // Leaves the request phase; false when stop has already dropped the client.
  bool beginHandling(uint64_t id);
  void finish(uint64_t id);
  void joinFinished();

  const Handler handler_;
  const ControlServerOptions options_;
  ControlListener listener_;
  ControlAdmission admission_;
  std::thread acceptThread_;

  std::mutex mu_;
  std::condition_variable cv_;                 // a connection ended
  std::map<uint64_t, Connection> connections_;  // guarded by mu_
  std::vector<std::thread> finished_;          // guarded by mu_; ended, not yet joined
  uint64_t nextId_ = 0;                        // guarded by mu_
  bool stopping_ = false;                      // guarded by mu_
};

}  // namespace tarn
