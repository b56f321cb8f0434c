#include "service/control_server.h"

#include <exception>
#include <utility>

#include "foundation/log.h"

namespace tarn {
namespace {

void SendReply(int fd, const vx::json::Value& reply, ControlDeadline deadline) {
  std::string text = reply.dump();
  if (text.size() > kMaxControlFrameBytes) text = ErrorReply("reply too large").dump();
  // A client that went away without waiting for its reply is no fault of ours.
  Status s = WriteFrame(fd, text, deadline);
  if (!s.ok()) vx::log::write(vx::log::kDebug, "ipc: reply not delivered: %s", s.message.c_str());
}

}  // namespace

ControlServer::ControlServer(Handler handler, ControlServerOptions options)
    : handler_(std::move(handler)), options_(options) {}

ControlServer::~ControlServer() { stop(); }

Status ControlServer::start(const std::string& socketPath) {
  Status s = listener_.open(socketPath);
  if (!s.ok()) return s;
  acceptThread_ = std::thread([this] { acceptLoop(); });
  return Status();
}

void ControlServer::stop() {
  {
    std::lock_guard<std::mutex> lock(mu_);
    stopping_ = true;
    for (auto& [id, c] : connections_) {
      if (c.reading) ShutdownConnection(c.fd);
    }
    cv_.notify_all();
  }
  listener_.close();
  if (acceptThread_.joinable()) acceptThread_.join();
  {
    std::unique_lock<std::mutex> lock(mu_);
    cv_.wait(lock, [&] { return connections_.empty(); });
  }
  joinFinished();
}

void ControlServer::acceptLoop() {
  for (;;) {
    joinFinished();
    {
      std::unique_lock<std::mutex> lock(mu_);
      cv_.wait(lock, [&] { return stopping_ || connections_.size() < options_.maxConnections; });
      if (stopping_) return;
    }
    vx::UniqueFd client;
    Status s = listener_.accept(client);
    if (s.code == Status::kCanceled) return;
    if (!s.ok()) {
      vx::log::write(vx::log::kError, "ipc: %s", s.message.c_str());
      return;
    }
    std::lock_guard<std::mutex> lock(mu_);
    // A client accepted while stop runs would miss its shutdown: drop it.
    if (stopping_) return;
    const uint64_t id = ++nextId_;
    Connection& c = connections_[id];
    c.fd = client.get();
    // The thread waits for mu_ before it looks at its entry, so the entry is
    // complete by then.
    c.thread = std::thread([this, id, fd = client.get()] { serve(id, vx::UniqueFd(fd)); });
    client.release();
  }
}

void ControlServer::serve(uint64_t id, vx::UniqueFd fd) {
  const ControlDeadline readDeadline = DeadlineAfterMs(options_.frameTimeoutMs);
  PeerCredentials peer;
  Status s = ReadPeerCredentials(fd.get(), peer);
  std::string body;
  if (s.ok()) s = ReadFrame(fd.get(), readDeadline, body);
  if (!beginHandling(id)) {
    fd.close();
    finish(id);
    return;
  }
  if (s.ok()) {
    SendReply(fd.get(), answer(body, peer), DeadlineAfterMs(options_.frameTimeoutMs));
  } else if (s.code == Status::kTooLarge) {
    SendReply(fd.get(), ErrorReply("request too large"), DeadlineAfterMs(options_.frameTimeoutMs));
  } else if (s.code == Status::kProtocol) {
    // The client may have closed only its sending side and still listen.
    SendReply(fd.get(), ErrorReply("truncated request"), DeadlineAfterMs(options_.frameTimeoutMs));
  } else {
    vx::log::write(vx::log::kDebug, "ipc: client dropped: %s", s.message.c_str());
  }
  // The descriptor is closed before the entry goes, so that stop never shuts
  // down a number that has been handed out again.
  fd.close();
  finish(id);
}

vx::json::Value ControlServer::answer(const std::string& body, const PeerCredentials& peer) {
  vx::json::Value request;
  if (!vx::json::Parse(body, request)) return ErrorReply("request is not valid JSON");
  const IpcCaller caller = options_.identify ? options_.identify(peer) : IpcCallerFromPeer(peer);
  try {
    return handler_(request, caller);
  } catch (const std::exception& e) {
    vx::log::write(vx::log::kError, "ipc: %s: %s", request["op"].asString().c_str(), e.what());
    return ErrorReply(std::string("internal error: ") + e.what());
  } catch (...) {
    vx::log::write(vx::log::kError, "ipc: %s: unknown exception", request["op"].asString().c_str());
    return ErrorReply("internal error: unknown exception");
  }
}

bool ControlServer::beginHandling(uint64_t id) {
  std::lock_guard<std::mutex> lock(mu_);
  connections_[id].reading = false;
  return !stopping_;
}

void ControlServer::finish(uint64_t id) {
  std::lock_guard<std::mutex> lock(mu_);
  auto it = connections_.find(id);
  finished_.push_back(std::move(it->second.thread));
  connections_.erase(it);
  cv_.notify_all();
}

void ControlServer::joinFinished() {
  std::vector<std::thread> done;
  {
    std::lock_guard<std::mutex> lock(mu_);
    done.swap(finished_);
  }
  for (std::thread& t : done) t.join();
}

}  // namespace tarn
