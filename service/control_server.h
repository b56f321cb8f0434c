// The service's side of the control socket: one accept thread and one
// thread per connection, each reading one request, handing it with its
// caller's identity to the handler and writing the one reply.
//
// The owner (ServiceBody) starts and stops it from one thread; the handler
// runs on the connection threads, several at a time. Connections are capped:
// at the cap the accept thread waits for one to end, and further clients wait
// in the socket's backlog. A client that has not sent its whole request
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

namespace tarn {

inline constexpr uint32_t kMaxControlConnections = 64;
// How long a client may take to send its request or to take its reply.
inline constexpr uint32_t kControlFrameTimeoutMs = 10000;

struct ControlServerOptions {
  uint32_t maxConnections = kMaxControlConnections;
  uint32_t frameTimeoutMs = kControlFrameTimeoutMs;
  // Who a peer is; unset, root alone is privileged.
  std::function<IpcCaller(const PeerCredentials&)> identify;
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

 private:
  struct Connection {
    std::thread thread;
    int fd = -1;
    bool reading = true;  // still waiting for the request
  };

  void acceptLoop();
  void serve(uint64_t id, vx::UniqueFd fd);
  vx::json::Value answer(const std::string& body, const PeerCredentials& peer);
  // Leaves the request phase; false when stop has already dropped the client.
  bool beginHandling(uint64_t id);
  void finish(uint64_t id);
  void joinFinished();

  const Handler handler_;
  const ControlServerOptions options_;
  ControlListener listener_;
  std::thread acceptThread_;

  std::mutex mu_;
  std::condition_variable cv_;                 // a connection ended
  std::map<uint64_t, Connection> connections_;  // guarded by mu_
  std::vector<std::thread> finished_;          // guarded by mu_; ended, not yet joined
  uint64_t nextId_ = 0;                        // guarded by mu_
  bool stopping_ = false;                      // guarded by mu_
};

}  // namespace tarn
