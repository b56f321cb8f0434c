#include "service/control_server.h"

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "foundation/file_util.h"
#include "foundation/mount_config.h"
#include "testing/eventually.h"
#include "testing/gate.h"
#include "testing/heap_peak.h"
#include "testing/temp_dir.h"

namespace tarn {
namespace {

using vx::json::Value;

constexpr uint32_t kNobody = 65534;
constexpr uint32_t kLongMs = 60000;

std::string Header(uint32_t size) {
  return std::string{static_cast<char>(size), static_cast<char>(size >> 8), static_cast<char>(size >> 16),
                     static_cast<char>(size >> 24)};
}

std::string Frame(const std::string& body) { return Header(static_cast<uint32_t>(body.size())) + body; }

// What one client process saw of its connections.
struct ClientsReport {
  uint32_t refusedAtConnect = 0;  // the backlog was full
  uint32_t tooLarge = 0;
  uint32_t needsRights = 0;  // a request larger than the caller may send
  uint32_t busy = 0;
  uint32_t otherReplies = 0;
  uint32_t held = 0;  // still open, without a reply, when told to end
};

// A process of `uid` with `groups` that opens `count` connections at once
// and sends `frame` on each (nothing when it is empty), all from one thread
// with non-blocking sockets; what it uses is made before the fork, and
// `frame` must outlive it. It ends once every connection has its reply or,
// for connections that stay quiet, once told to (finish). A holding process
// keeps back the last byte of each frame until told to end, and then sends
// it and waits for the replies.
class ClientProcess {
 public:
  static constexpr uint32_t kMaxReply = 512;
  static constexpr int kConnectTries = 10000;
  static constexpr long kConnectPauseNs = 1000000;

  ClientProcess(const std::string& path, uint32_t uid, std::vector<gid_t> groups, uint32_t count,
                std::string_view frame, bool hold = false)
      : frame_(frame), hold_(hold && !frame.empty()), fds_(count, -1), sent_(count, 0),
        replies_(count, std::string(kMaxReply, '\0')), got_(count, 0) {
    EXPECT_EQ(::pipe2(report_, O_CLOEXEC), 0);
    EXPECT_EQ(::pipe2(release_, O_CLOEXEC), 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::memcpy(addr.sun_path, path.data(), std::min(path.size(), sizeof(addr.sun_path) - 1));
    pid_ = ::fork();
    if (pid_ == 0) {
      // Copies of the service's own connections must not keep them open.
      const unsigned keep[2] = {static_cast<unsigned>(std::min(report_[1], release_[0])),
                                static_cast<unsigned>(std::max(report_[1], release_[0]))};
      ::close_range(STDERR_FILENO + 1, keep[0] - 1, 0);
      ::close_range(keep[0] + 1, keep[1] - 1, 0);
      ::close_range(keep[1] + 1, ~0u, 0);
      if (::setgroups(groups.size(), groups.data()) != 0 || ::setgid(uid) != 0 || ::setuid(uid) != 0) ::_exit(2);
      run(addr);
    }
  }
  ~ClientProcess() {
    if (pid_ > 0) finish();
  }

  ClientsReport finish() {
    ClientsReport r;
    if (pid_ <= 0) return r;
    EXPECT_EQ(::write(release_[1], "x", 1), 1);
    EXPECT_EQ(::read(report_[0], &r, sizeof r), static_cast<ssize_t>(sizeof r));
    int status = 0;
    ::waitpid(pid_, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    pid_ = -1;
    return r;
  }

 private:
  // In the child: system calls only.
  [[noreturn]] void run(const sockaddr_un& addr) {
    ClientsReport r;
    uint32_t open = 0;
    for (int& fd : fds_) {
      fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0);
      // A full backlog is waited out, as the service's own clients do.
      int rc = -1;
      for (int tries = 0; fd >= 0 && tries < kConnectTries; ++tries) {
        rc = ::connect(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr);
        if (rc == 0 || errno != EAGAIN) break;
        const timespec pause{0, kConnectPauseNs};
        ::nanosleep(&pause, nullptr);
      }
      if (rc != 0) {
        ++r.refusedAtConnect;
        if (fd >= 0) ::close(fd);
        fd = -1;
        continue;
      }
      ++open;
    }
    std::vector<pollfd> polls(fds_.size() + 1);
    bool released = false;
    // Quiet connections end when told to; holding ones send their last byte.
    const bool quiet = frame_.empty();
    while (open > 0 && !(quiet && released)) {
      const size_t limit = hold_ && !released ? frame_.size() - 1 : frame_.size();
      for (size_t i = 0; i < fds_.size(); ++i) {
        const short out = sent_[i] < limit ? POLLOUT : 0;
        polls[i] = {fds_[i], static_cast<short>(POLLIN | out), 0};
      }
      polls.back() = {(quiet || hold_) && !released ? release_[0] : -1, POLLIN, 0};
      if (::poll(polls.data(), polls.size(), -1) < 0) continue;
      released = released || polls.back().revents != 0;
      for (size_t i = 0; i < fds_.size(); ++i) {
        if (fds_[i] < 0 || polls[i].revents == 0) continue;
        if ((polls[i].revents & POLLOUT) != 0) {
          const ssize_t n = ::send(fds_[i], frame_.data() + sent_[i], limit - sent_[i], MSG_NOSIGNAL);
          // The service stopped reading: its reply follows.
          sent_[i] = n > 0 ? sent_[i] + static_cast<size_t>(n) : frame_.size();
        }
        if ((polls[i].revents & (POLLIN | POLLHUP | POLLERR)) == 0) continue;
        const ssize_t n = ::recv(fds_[i], replies_[i].data() + got_[i], kMaxReply - got_[i], 0);
        if (n > 0 && got_[i] + static_cast<size_t>(n) < kMaxReply) {
          got_[i] += static_cast<size_t>(n);
          continue;
        }
        if (n < 0 && errno == EAGAIN) continue;
        const std::string_view reply(replies_[i].data(), got_[i]);
        if (reply.find("too large") != std::string_view::npos) ++r.tooLarge;
        else if (reply.find("managed by an administrator") != std::string_view::npos) ++r.needsRights;
        else if (reply.find("busy") != std::string_view::npos) ++r.busy;
        else ++r.otherReplies;
        ::close(fds_[i]);
        fds_[i] = -1;
        --open;
      }
    }
    r.held = open;
    if (!released) {
      char x;
      [[maybe_unused]] ssize_t n = ::read(release_[0], &x, 1);
    }
    [[maybe_unused]] ssize_t n = ::write(report_[1], &r, sizeof r);
    ::_exit(0);
  }

  const std::string_view frame_;
  const bool hold_;
  std::vector<int> fds_;
  std::vector<size_t> sent_;
  std::vector<std::string> replies_;
  std::vector<size_t> got_;
  int report_[2] = {-1, -1};
  int release_[2] = {-1, -1};
  pid_t pid_ = -1;
};

gid_t Sudo() { return static_cast<gid_t>(GroupIdOf(kDefaultAdminGroup).value_or(0)); }

class ControlServerTest : public ::testing::Test {
 protected:
  void TearDown() override {
    // A test that failed half-way must not leave a handler held for stop to
    // wait on.
    handling_.release();
    if (server_) server_->stop();
  }

  void Start(ControlServer::Handler handler, ControlServerOptions options = {}) {
    server_ = std::make_unique<ControlServer>(std::move(handler), options);
    ASSERT_TRUE(server_->start(path_).ok());
  }

  // An echo of the op, so that a reply can be matched to its request.
  static Value Echo(const Value& request, const IpcCaller&) {
    Value reply = OkReply();
    reply.set("op", request["op"]);
    return reply;
  }

  vx::UniqueFd Connect() {
    vx::UniqueFd fd;
    EXPECT_TRUE(ConnectControlSocket(path_, DeadlineAfterMs(kLongMs), fd).ok());
    return fd;
  }

  // Sends raw bytes, optionally closes the sending side, and reads the reply.
  Value SendRaw(const std::string& bytes, bool halfClose = false) {
    vx::UniqueFd fd = Connect();
    EXPECT_TRUE(vx::WriteAll(fd.get(), bytes.data(), bytes.size()));
    if (halfClose) ::shutdown(fd.get(), SHUT_WR);
    std::string body;
    Status s = ReadFrame(fd.get(), DeadlineAfterMs(kLongMs), body);
    EXPECT_TRUE(s.ok()) << s.toString();
    Value reply;
    EXPECT_TRUE(vx::json::Parse(body, reply));
    return reply;
  }

  Value Call(const std::string& op) { return SendRaw(Frame("{\"op\":\"" + op + "\"}")); }

  test::TempDir dir_{"tarn-server", 0755};
  std::string path_ = dir_.file("run/Tarn");
  // A handler held here may still be on its way out of the gate when the
  // test's last request is answered: the gate outlives the server's threads.
  test::Gate handling_;
  std::unique_ptr<ControlServer> server_;
};

TEST_F(ControlServerTest, BadRequestsGetAnErrorReplyAndTheServerGoesOn) {
  Start([](const Value&, const IpcCaller&) -> Value { throw std::runtime_error("boom"); });
  struct Case {
    const char* name;
    std::string bytes;
    bool halfClose;
    const char* error;
  };
  const Case cases[] = {
      {"not JSON", Frame("{\"op\":"), false, "request is not valid JSON"},
      {"empty frame", Frame(""), false, "request is not valid JSON"},
      {"oversized", Header(kMaxControlFrameBytes + 1) + "{}", false, "request too large"},
      {"truncated", Header(100) + "{\"op\"", true, "truncated request"},
      {"handler throws", Frame("{\"op\":\"status\"}"), false, "internal error: boom"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Value reply = SendRaw(c.bytes, c.halfClose);
    EXPECT_FALSE(reply["ok"].asBool(true));
    EXPECT_EQ(reply["error"].asString(), c.error);
  }
}

TEST_F(ControlServerTest, OversizedRequestIsAnsweredWithoutBeingRead) {
  Start(Echo);
  vx::UniqueFd fd = Connect();
  // More than the socket buffers hold: were the server reading it all, the
  // reply would wait for the whole body.
  std::thread sender([&] {
    const std::string bytes = Header(kMaxControlFrameBytes + 1) + std::string(8 << 20, ' ');
    size_t sent = 0;
    while (sent < bytes.size()) {
      const ssize_t n = ::send(fd.get(), bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
      if (n <= 0) break;  // the server closed
      sent += static_cast<size_t>(n);
    }
  });
  std::string body;
  ASSERT_TRUE(ReadFrame(fd.get(), DeadlineAfterMs(kLongMs), body).ok());
  EXPECT_EQ(body, ErrorReply("request too large").dump());
  EXPECT_EQ(ReadFrame(fd.get(), DeadlineAfterMs(kLongMs), body).code, Status::kNetwork);
  sender.join();
}

TEST_F(ControlServerTest, StalledClientIsDroppedWithoutHoldingUpOthers) {
  ControlServerOptions options;
  options.frameTimeoutMs = 300;
  Start(Echo, options);
  vx::UniqueFd staller = Connect();
  ASSERT_TRUE(vx::WriteAll(staller.get(), "\x10\x00", 2));
  // Others are served while the staller sits on its half-sent frame.
  EXPECT_EQ(Call("status")["op"].asString(), "status");
  std::string body;
  EXPECT_EQ(ReadFrame(staller.get(), DeadlineAfterMs(kLongMs), body).code, Status::kNetwork);
}

TEST_F(ControlServerTest, ClientGoneBeforeItsReplyDoesNotHurtTheServer) {
  Start([&](const Value& request, const IpcCaller& caller) {
    if (request["op"].asString() == "slow") handling_.arriveAndWait();
    return Echo(request, caller);
  });
  {
    vx::UniqueFd fd = Connect();
    ASSERT_TRUE(WriteFrame(fd.get(), "{\"op\":\"slow\"}", DeadlineAfterMs(kLongMs)).ok());
    ASSERT_TRUE(handling_.waitArrived());
  }
  // The reply now goes to a closed socket, which would raise SIGPIPE.
  handling_.release();
  EXPECT_EQ(Call("after")["op"].asString(), "after");
}

TEST_F(ControlServerTest, ManyClientsAtOnceBeyondTheCapAreAllAnswered) {
  constexpr int kClients = 48;
  ControlServerOptions options;
  options.admission.connections = 4;
  std::atomic<int> active{0};
  std::atomic<int> most{0};
  Start(
      [&](const Value& request, const IpcCaller& caller) {
        const int now = ++active;
        int seen = most.load();
        while (now > seen && !most.compare_exchange_weak(seen, now)) {
        }
        Value reply = Echo(request, caller);
        --active;
        return reply;
      },
      options);
  std::vector<std::thread> clients;
  std::atomic<int> answered{0};
  for (int i = 0; i < kClients; ++i) {
    clients.emplace_back([&, i] {
      if (Call("c" + std::to_string(i))["op"].asString() == "c" + std::to_string(i)) ++answered;
    });
  }
  for (std::thread& t : clients) t.join();
  EXPECT_EQ(answered.load(), kClients);
  EXPECT_LE(most.load(), 4);
}

// A frame of `bytes` bytes of values as small as they come: "[0,0,...]".
std::string FrameOfZeros(uint32_t bytes) {
  std::string body = "[0";
  body.reserve(bytes);
  while (body.size() + 3 <= bytes) body += ",0";
  body += "]";
  return Frame(body);
}

TEST_F(ControlServerTest, HugeRequestsOfManyClientsStayInsideTheBudgetAndRootIsServed) {
  ASSERT_NE(Sudo(), 0u) << "the test needs the group " << kDefaultAdminGroup;
  ControlServerOptions options;
  options.frameTimeoutMs = kLongMs;  // the holding clients stay until told to end
  options.identify = [](const PeerCredentials& peer) { return IpcCallerFromPeer(peer, Sudo()); };
  Start(Echo, options);
  const AdmissionLimits& limits = options.admission;
  const std::string huge = FrameOfZeros(kMaxControlFrameBytes);
  const std::string largest = FrameOfZeros(kUnprivilegedRequest.frameBytes);
  test::HeapPeak heap;
  {
    // 64 connections each: a user without privilege sends the huge frame,
    // which it may not, or holds the largest frame it may send; a member of
    // the administrators group holds huge frames, each one byte short.
    ClientProcess senders(path_, kNobody, {}, 64, huge);
    ClientProcess users(path_, kNobody - 2, {}, 64, largest, true);
    ClientProcess members(path_, kNobody - 1, {Sudo()}, 64, huge, true);
    // Connections past a user's share are turned away at once, and a
    // member's huge requests are taken one share of bytes at a time: what
    // holds is each user's share of connections and one huge request.
    const uint32_t held = limits.userConnections + 1;
    const uint64_t bytes = limits.userConnections * (largest.size() - kFrameHeaderBytes) + huge.size() -
                           kFrameHeaderBytes;
    EXPECT_TRUE(test::Eventually([&] {
      const AdmissionStats s = server_->admissionStats();
      return s.connections == held && s.requestBytes == bytes;
    }));

    // Root is answered while the others hold their connections.
    const auto asked = std::chrono::steady_clock::now();
    EXPECT_EQ(Call("status")["op"].asString(), "status");
    std::printf("root answered in %.1f ms while other users held %llu connections\n",
                std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - asked).count(),
                static_cast<unsigned long long>(held));

    const ClientsReport s = senders.finish();
    const ClientsReport u = users.finish();
    const ClientsReport m = members.finish();
    // The huge frames of a user without privilege are refused unread, as
    // requests only an administrator sends; the held requests are refused as
    // too large once whole, by their values.
    EXPECT_GE(s.needsRights, limits.userConnections);
    EXPECT_EQ(s.tooLarge, 0u);
    EXPECT_EQ(u.tooLarge, limits.userConnections);
    EXPECT_EQ(m.tooLarge, 1u);
    for (const ClientsReport& r : {s, u, m}) {
      EXPECT_EQ(r.tooLarge + r.needsRights + r.busy, 64u);
      EXPECT_EQ(r.otherReplies + r.held + r.refusedAtConnect, 0u);
    }
  }
  const uint64_t peak = heap.peak();
  const AdmissionStats stats = server_->admissionStats();
  EXPECT_EQ(stats.requestBytes, 0u);
  EXPECT_LE(stats.peakRequestBytes, limits.requestBytes);
  // All the service held for 192 hostile connections: the bytes they sent
  // and what parsing made of them, within the budget for requests.
  EXPECT_LE(peak, limits.requestBytes);
  std::printf("heap of the service under the flood: at most %llu KiB (request budget %llu KiB)\n",
              static_cast<unsigned long long>(peak / 1024),
              static_cast<unsigned long long>(limits.requestBytes / 1024));
}

TEST_F(ControlServerTest, IdleConnectionsOfOtherUsersLeaveRootItsTurn) {
  ControlServerOptions options;
  options.frameTimeoutMs = kLongMs;  // the idle clients stay for the whole test
  Start(Echo, options);
  const AdmissionLimits& limits = options.admission;
  // Four users with fifty idle connections each: more than the shares of
  // all users together and more than the socket's backlog.
  std::vector<std::unique_ptr<ClientProcess>> clients;
  for (uint32_t k = 0; k < 4; ++k)
    clients.push_back(std::make_unique<ClientProcess>(path_, kNobody - k, std::vector<gid_t>{}, 50, ""));
  const uint32_t othersCap = limits.connections - limits.rootConnections;
  ASSERT_TRUE(test::Eventually([&] {
    const AdmissionStats s = server_->admissionStats();
    return s.connections == othersCap && s.refusedConnections == 4 * 50 - othersCap;
  }));

  const auto asked = std::chrono::steady_clock::now();
  EXPECT_EQ(Call("status")["op"].asString(), "status");
  std::printf("root answered in %.1f ms with %u idle connections of other users open\n",
              std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - asked).count(), othersCap);

  uint32_t held = 0, busy = 0;
  for (auto& c : clients) {
    const ClientsReport r = c->finish();
    held += r.held;
    busy += r.busy;
    EXPECT_LE(r.held, limits.userConnections);
    EXPECT_EQ(r.refusedAtConnect, 0u);
  }
  EXPECT_EQ(held, othersCap);
  EXPECT_EQ(busy, 4 * 50 - othersCap);
}

TEST_F(ControlServerTest, StopDropsSendersButLetsRunningRequestsReply) {
  // The two connections fill the service: the stop finds the accept thread
  // waiting for room, not in accept.
  ControlServerOptions options;
  options.admission.connections = 2;
  Start(
      [&](const Value& request, const IpcCaller& caller) {
        handling_.arriveAndWait();
        return Echo(request, caller);
      },
      options);
  vx::UniqueFd sender = Connect();
  ASSERT_TRUE(vx::WriteAll(sender.get(), "\x10", 1));
  vx::UniqueFd running = Connect();
  ASSERT_TRUE(WriteFrame(running.get(), "{\"op\":\"mount\"}", DeadlineAfterMs(kLongMs)).ok());
  ASSERT_TRUE(handling_.waitArrived());

  std::thread stopper([&] { server_->stop(); });
  // The half-sent request is dropped at once, not after its time-out.
  std::string body;
  EXPECT_EQ(ReadFrame(sender.get(), DeadlineAfterMs(kLongMs), body).code, Status::kNetwork);
  handling_.release();
  ASSERT_TRUE(ReadFrame(running.get(), DeadlineAfterMs(kLongMs), body).ok());
  EXPECT_EQ(body, "{\"ok\":true,\"op\":\"mount\"}");
  stopper.join();
  vx::UniqueFd late;
  EXPECT_EQ(ConnectControlSocket(path_, DeadlineAfterMs(kLongMs), late).code, Status::kNotFound);
}

TEST_F(ControlServerTest, CallerIsKnownByItsCredentials) {
  std::vector<IpcCaller> callers;
  std::mutex mu;
  Start([&](const Value& request, const IpcCaller& caller) {
    std::lock_guard<std::mutex> lock(mu);
    callers.push_back(caller);
    return Echo(request, caller);
  });
  EXPECT_TRUE(Call("as-root")["ok"].asBool());

  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0) ::_exit(2);
    vx::UniqueFd fd;
    std::string body;
    const bool ok = ConnectControlSocket(path_, DeadlineAfterMs(kLongMs), fd).ok() &&
                    WriteFrame(fd.get(), "{\"op\":\"as-nobody\"}", DeadlineAfterMs(kLongMs)).ok() &&
                    ReadFrame(fd.get(), DeadlineAfterMs(kLongMs), body).ok();
    ::_exit(ok ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

  std::lock_guard<std::mutex> lock(mu);
  ASSERT_EQ(callers.size(), 2u);
  EXPECT_TRUE(callers[0].privileged);
  EXPECT_EQ(callers[0].sid, "S-1-22-1-0");
  EXPECT_FALSE(callers[1].privileged);
  EXPECT_EQ(callers[1].sid, "S-1-22-1-65534");
  ASSERT_TRUE(callers[1].token.has_value());
  EXPECT_EQ(callers[1].token->uid, kNobody);
  EXPECT_EQ(callers[1].token->gid, kNobody);
  EXPECT_TRUE(callers[1].token->groups.empty());
}

// Every connection of this process as a plain user's.
IpcCaller AsNobody(const PeerCredentials& peer) {
  PeerCredentials user = peer;
  user.uid = user.gid = kNobody;
  return IpcCallerFromPeer(user);
}

// Requests on new connections whose replies wait until TakeReplies.
std::vector<vx::UniqueFd> AskWithoutReading(const std::string& path, int count) {
  std::vector<vx::UniqueFd> clients(static_cast<size_t>(count));
  for (vx::UniqueFd& fd : clients) {
    EXPECT_TRUE(ConnectControlSocket(path, DeadlineAfterMs(kLongMs), fd).ok());
    EXPECT_TRUE(WriteFrame(fd.get(), R"({"op":"getLog"})", DeadlineAfterMs(kLongMs)).ok());
  }
  return clients;
}

// How many of the replies carry a text of `textBytes`, and how many say "busy".
std::pair<int, int> TakeReplies(std::vector<vx::UniqueFd>& clients, uint64_t textBytes) {
  int answered = 0, busy = 0;
  for (vx::UniqueFd& fd : clients) {
    std::string body;
    Value reply;
    EXPECT_TRUE(ReadFrame(fd.get(), DeadlineAfterMs(kLongMs), body).ok() && vx::json::Parse(body, reply));
    answered += reply["text"].asString().size() == textBytes ? 1 : 0;
    busy += reply["code"].asString() == "busy" ? 1 : 0;
  }
  return {answered, busy};
}

// A reply waits in memory for its client to take it, up to the frame
// time-out: replies that plain users' clients never read count against the
// same share as their requests, and those past it are answered "busy".
TEST_F(ControlServerTest, UnreadRepliesStayWithinTheCallersShare) {
  constexpr uint64_t kTextBytes = 1 << 20;  // more than a socket's buffers take
  constexpr int kHeld = 3;
  constexpr int kClients = 8;
  ControlServerOptions options;
  options.frameTimeoutMs = kLongMs;
  options.admission.userRequestBytes = kHeld * kTextBytes + kTextBytes / 2;
  options.identify = AsNobody;
  Start(
      [](const Value& request, const IpcCaller& caller) {
        Value reply = Echo(request, caller);
        reply.set("text", std::string(kTextBytes, 'x'));
        return reply;
      },
      options);
  std::vector<vx::UniqueFd> clients = AskWithoutReading(path_, kClients);
  ASSERT_TRUE(test::Eventually([&] {
    const AdmissionStats s = server_->admissionStats();
    return s.refusedRequests == kClients - kHeld && s.requestBytes > kHeld * kTextBytes;
  }));
  EXPECT_LE(server_->admissionStats().peakRequestBytes, options.admission.userRequestBytes);
  EXPECT_EQ(TakeReplies(clients, kTextBytes), std::make_pair(kHeld, kClients - kHeld));
  EXPECT_TRUE(test::Eventually([&] { return server_->admissionStats().requestBytes == 0; }));
}

// A reply that may be large is made only once the room it may take is
// reserved in the caller's share: clients that ask for many such replies at
// once never have more of them made than their share holds.
TEST_F(ControlServerTest, LargeRepliesAreMadeOnlyWithinTheCallersShare) {
  constexpr uint64_t kBound = 1 << 20;
  constexpr int kMade = 2;
  constexpr int kClients = 3;
  ControlServerOptions options;
  options.frameTimeoutMs = kLongMs;
  options.admission.userRequestBytes = kMade * kBound + kBound / 2;
  options.replyBytes = [](const Value&) { return kBound; };
  options.identify = AsNobody;
  std::mutex mu;
  std::condition_variable cv;
  int making = 0;   // guarded by mu
  bool go = false;  // guarded by mu
  auto letGo = [&] {
    std::lock_guard<std::mutex> lock(mu);
    go = true;
    cv.notify_all();
  };
  Start(
      [&](const Value& request, const IpcCaller& caller) {
        std::unique_lock<std::mutex> lock(mu);
        ++making;
        cv.wait(lock, [&] { return go; });
        Value reply = Echo(request, caller);
        reply.set("text", std::string(kBound / 2, 'x'));
        return reply;
      },
      options);
  // A failed check must not leave handlers held for the stop to wait on.
  struct LetGo {
    std::function<void()> fn;
    ~LetGo() { fn(); }
  } atEnd{letGo};
  std::vector<vx::UniqueFd> clients = AskWithoutReading(path_, kClients);
  ASSERT_TRUE(test::Eventually([&] {
    std::lock_guard<std::mutex> lock(mu);
    return making > kMade || server_->admissionStats().refusedRequests == kClients - kMade;
  }));
  {
    std::lock_guard<std::mutex> lock(mu);
    EXPECT_EQ(making, kMade);
  }
  letGo();
  EXPECT_EQ(TakeReplies(clients, kBound / 2), std::make_pair(kMade, kClients - kMade));
  EXPECT_TRUE(test::Eventually([&] { return server_->admissionStats().requestBytes == 0; }));
}

}  // namespace
}  // namespace tarn
