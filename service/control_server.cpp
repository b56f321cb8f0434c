#include "service/control_server.h"

#include <exception>
#include <utility>

#include "foundation/log.h"

namespace tarn {
namespace {

const char* BusyConnections(Refusal why) {
  return why == Refusal::kUserShare ? "the service is busy: too many connections of this user; try again later"
                                    : "the service is busy with other users' connections; try again later";
}
const char* BusyRequests(Refusal why) {
  return why == Refusal::kUserShare ? "the service is busy: too many requests of this user in progress; try again later"
                                    : "the service is busy with other users' requests; try again later";
}
// A user without rights may send only the small requests that read.
constexpr const char* kNeedsRights =
    "drives and backups are managed by an administrator of this computer; others read the status, the transfers "
    "and the log";

void SendText(int fd, const std::string& text, ControlDeadline deadline) {
  // A client that went away without waiting for its reply is no fault of ours.
  Status s = WriteFrame(fd, text, deadline);
  if (!s.ok()) vx::log::write(vx::log::kDebug, "ipc: reply not delivered: %s", s.message.c_str());
}

void SendReply(int fd, const vx::json::Value& reply, ControlDeadline deadline) { SendText(fd, reply.dump(), deadline); }

IpcCaller IdentifyRootAlone(const PeerCredentials& peer) { return IpcCallerFromPeer(peer); }

}  // namespace

ControlServer::ControlServer(Handler handler, ControlServerOptions options)
    : handler_(std::move(handler)), options_(std::move(options)), admission_(options_.admission) {}

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
  // The accept thread may have ended without a last accept, which would
  // have closed the socket.
  listener_.closeSocket();
  {
    std::unique_lock<std::mutex> lock(mu_);
    cv_.wait(lock, [&] { return connections_.empty(); });
  }
  joinFinished();
}

void ControlServer::acceptLoop() {
  const auto identify = options_.identify ? options_.identify : IdentifyRootAlone;
  for (;;) {
    joinFinished();
    {
      // Only root's own connections fill the whole; others are turned away
      // below, so that root's never wait behind theirs.
      std::unique_lock<std::mutex> lock(mu_);
      cv_.wait(lock, [&] { return stopping_ || !admission_.full(); });
      if (stopping_) return;
    }
    vx::UniqueFd client;
    Status s = listener_.accept(client);
    if (s.code == Status::kCanceled) return;
    if (!s.ok()) {
      vx::log::write(vx::log::kError, "ipc: %s", s.message.c_str());
      return;
    }
    PeerCredentials peer;
    s = ReadPeerCredentials(client.get(), peer);
    if (!s.ok()) {
      vx::log::write(vx::log::kDebug, "ipc: client dropped: %s", s.message.c_str());
      continue;
    }
    IpcCaller caller = identify(peer);
    Refusal why = Refusal::kUserShare;
    if (!admission_.admitConnection(peer.uid, &why)) {
      LogRefusal(caller, "a connection");
      // The reply fits the empty socket buffer; nothing here waits.
      SendReply(client.get(), ErrorReplyWithCode(BusyConnections(why), "busy"), DeadlineAfterMs(0));
      continue;
    }
    std::lock_guard<std::mutex> lock(mu_);
    // A client accepted while stop runs would miss its shutdown: drop it.
    if (stopping_) {
      admission_.endConnection(peer.uid);
      return;
    }
    const uint64_t id = ++nextId_;
    Connection& c = connections_[id];
    c.fd = client.get();
    // The thread waits for mu_ before it looks at its entry, so the entry is
    // complete by then.
    c.thread = std::thread([this, id, fd = client.get(), caller = std::move(caller)]() mutable {
      serve(id, vx::UniqueFd(fd), std::move(caller));
    });
    client.release();
  }
}

Status ControlServer::readRequest(int fd, const IpcCaller& caller, std::string& body, uint64_t& reserved) {
  const ControlDeadline deadline = DeadlineAfterMs(options_.frameTimeoutMs);
  const RequestBounds& bounds = BoundsOf(caller);
  uint32_t size = 0;
  Status s = ReadFrameSize(fd, deadline, size);
  if (!s.ok()) return s;
  if (size > bounds.frameBytes) {
    if (size <= kMaxControlFrameBytes && !caller.privileged) {
      LogRefusal(caller, "a request of " + std::to_string(size) + " bytes");
      return Status(Status::kAccessDenied, kNeedsRights);
    }
    return Status(Status::kTooLarge, "request too large");
  }
  Refusal why = Refusal::kUserShare;
  if (!admission_.reserveRequest(caller.uid, size, &why)) {
    LogRefusal(caller, "a request of " + std::to_string(size) + " bytes");
    return Status(Status::kBusy, BusyRequests(why));
  }
  reserved = size;
  return ReadFrameBody(fd, deadline, size, body);
}

void ControlServer::sendHeld(int fd, const IpcCaller& caller, std::string text, uint64_t reserved,
                             ControlDeadline deadline) {
  if (text.size() > kMaxControlFrameBytes) text = ErrorReply("reply too large").dump();
  // A client that does not read keeps its reply in memory until the
  // deadline: the reply counts against the same share as requests do.
  const uint64_t bytes = text.size();
  Refusal why = Refusal::kUserShare;
  if (bytes <= reserved) {
    admission_.releaseRequest(caller.uid, reserved - bytes);
  } else if (!admission_.reserveRequest(caller.uid, bytes - reserved, &why)) {
    std::string().swap(text);
    admission_.releaseRequest(caller.uid, reserved);
    LogRefusal(caller, "a reply of " + std::to_string(bytes) + " bytes");
    SendReply(fd, ErrorReplyWithCode(BusyRequests(why), "busy"), deadline);
    return;
  }
  SendText(fd, text, deadline);
  std::string().swap(text);
  admission_.releaseRequest(caller.uid, bytes);
}

void ControlServer::serve(uint64_t id, vx::UniqueFd fd, IpcCaller caller) {
  std::string body;
  uint64_t reserved = 0;
  Status s = readRequest(fd.get(), caller, body, reserved);
  if (beginHandling(id)) {
    const ControlDeadline replyDeadline = DeadlineAfterMs(options_.frameTimeoutMs);
    if (s.ok()) {
      // Of the reply only its text stays; the request's bytes are done
      // with before the reply's are counted.
      uint64_t replyReserved = 0;
      std::string text = answer(body, caller, replyReserved).dump();
      std::string().swap(body);
      admission_.releaseRequest(caller.uid, reserved);
      reserved = 0;
      sendHeld(fd.get(), caller, std::move(text), replyReserved, replyDeadline);
    } else if (s.code == Status::kTooLarge) {
      SendReply(fd.get(), ErrorReply("request too large"), replyDeadline);
    } else if (s.code == Status::kBusy) {
      SendReply(fd.get(), ErrorReplyWithCode(s.message, "busy"), replyDeadline);
    } else if (s.code == Status::kAccessDenied) {
      SendReply(fd.get(), ErrorReplyWithCode(s.message, "admin"), replyDeadline);
    } else if (s.code == Status::kProtocol) {
      // The client may have closed only its sending side and still listen.
      SendReply(fd.get(), ErrorReply("truncated request"), replyDeadline);
    } else {
      vx::log::write(vx::log::kDebug, "ipc: client dropped: %s", s.message.c_str());
    }
  }
  std::string().swap(body);
  if (reserved != 0) admission_.releaseRequest(caller.uid, reserved);
  admission_.endConnection(caller.uid);
  // The descriptor is closed before the entry goes, so that stop never shuts
  // down a number that has been handed out again.
  fd.close();
  finish(id);
}

vx::json::Value ControlServer::answer(const std::string& body, const IpcCaller& caller, uint64_t& reserved) {
  vx::json::Value request;
  vx::json::Value refusal;
  if (!ParseRequest(body, caller, request, refusal)) return refusal;
  const uint64_t replyBytes = options_.replyBytes ? options_.replyBytes(request) : 0;
  Refusal why = Refusal::kUserShare;
  if (replyBytes != 0 && !admission_.reserveRequest(caller.uid, replyBytes, &why)) {
    LogRefusal(caller, "a reply of up to " + std::to_string(replyBytes) + " bytes");
    return ErrorReplyWithCode(BusyRequests(why), "busy");
  }
  reserved = replyBytes;
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
