#include "service/control_server.h"

#include <grp.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "testing/gate.h"
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

class ControlServerTest : public ::testing::Test {
 protected:
  void TearDown() override {
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
  test::Gate handling;
  Start([&](const Value& request, const IpcCaller& caller) {
    if (request["op"].asString() == "slow") handling.arriveAndWait();
    return Echo(request, caller);
  });
  {
    vx::UniqueFd fd = Connect();
    ASSERT_TRUE(WriteFrame(fd.get(), "{\"op\":\"slow\"}", DeadlineAfterMs(kLongMs)).ok());
    ASSERT_TRUE(handling.waitArrived());
  }
  // The reply now goes to a closed socket, which would raise SIGPIPE.
  handling.release();
  EXPECT_EQ(Call("after")["op"].asString(), "after");
}

TEST_F(ControlServerTest, ManyClientsAtOnceBeyondTheCapAreAllAnswered) {
  constexpr int kClients = 48;
  ControlServerOptions options;
  options.maxConnections = 4;
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

TEST_F(ControlServerTest, StopDropsSendersButLetsRunningRequestsReply) {
  test::Gate handling;
  Start([&](const Value& request, const IpcCaller& caller) {
    handling.arriveAndWait();
    return Echo(request, caller);
  });
  vx::UniqueFd sender = Connect();
  ASSERT_TRUE(vx::WriteAll(sender.get(), "\x10", 1));
  vx::UniqueFd running = Connect();
  ASSERT_TRUE(WriteFrame(running.get(), "{\"op\":\"mount\"}", DeadlineAfterMs(kLongMs)).ok());
  ASSERT_TRUE(handling.waitArrived());

  std::thread stopper([&] { server_->stop(); });
  // The half-sent request is dropped at once, not after its time-out.
  std::string body;
  EXPECT_EQ(ReadFrame(sender.get(), DeadlineAfterMs(kLongMs), body).code, Status::kNetwork);
  handling.release();
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

}  // namespace
}  // namespace tarn
