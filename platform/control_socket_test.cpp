#include "platform/control_socket.h"

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>

#include "foundation/file_util.h"
#include "testing/heap_peak.h"
#include "testing/temp_dir.h"

namespace tarn {
namespace {

constexpr uint32_t kNobody = 65534;
constexpr uint32_t kShortMs = 100;
constexpr uint32_t kLongMs = 60000;

std::string Header(uint32_t size) {
  return std::string{static_cast<char>(size), static_cast<char>(size >> 8), static_cast<char>(size >> 16),
                     static_cast<char>(size >> 24)};
}

struct Pair {
  vx::UniqueFd a;
  vx::UniqueFd b;
  Pair() {
    int fds[2];
    EXPECT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds), 0);
    a = vx::UniqueFd(fds[0]);
    b = vx::UniqueFd(fds[1]);
  }
};

TEST(ControlFrame, BrokenFramesAreToldApart) {
  struct Case {
    const char* name;
    std::string bytes;
    bool close;  // the peer closes after sending
    int32_t code;
    const char* message;
  };
  const Case cases[] = {
      {"nothing sent", "", true, Status::kNetwork, "connection closed"},
      {"half a header", "\x05\x00", true, Status::kProtocol, "truncated frame"},
      {"short body", Header(10) + "abc", true, Status::kProtocol, "truncated frame"},
      {"stalled header", "\x05", false, Status::kTimeout, "timed out"},
      {"stalled body", Header(10) + "abc", false, Status::kTimeout, "timed out"},
      {"one byte over the limit", Header(kMaxControlFrameBytes + 1), false, Status::kTooLarge, "frame too large"},
      {"largest count", "\xff\xff\xff\xff", false, Status::kTooLarge, "frame too large"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Pair p;
    ASSERT_TRUE(vx::WriteAll(p.a.get(), c.bytes.data(), c.bytes.size()));
    if (c.close) p.a.close();
    std::string body = "untouched";
    Status s = ReadFrame(p.b.get(), DeadlineAfterMs(kShortMs), body);
    EXPECT_EQ(s.code, c.code);
    EXPECT_EQ(s.message, c.message);
    EXPECT_EQ(body, "untouched");
  }
}

TEST(ControlFrame, AnnouncedSizeCostsOnlyWhatArrives) {
  // A peer may announce the largest frame and send a few bytes of it.
  for (const size_t sent : {size_t{0}, size_t{100}, size_t{200000}}) {
    SCOPED_TRACE(sent);
    Pair p;
    const std::string bytes = Header(kMaxControlFrameBytes) + std::string(sent, ' ');
    std::thread peer([&] {
      EXPECT_TRUE(vx::WriteAll(p.a.get(), bytes.data(), bytes.size()));
      p.a.close();
    });
    std::string body;
    test::HeapPeak heap;
    EXPECT_EQ(ReadFrame(p.b.get(), DeadlineAfterMs(kLongMs), body).code, Status::kProtocol);
    peer.join();
    // The buffer grows at most to twice what came, and by 64 KiB at first.
    EXPECT_LE(heap.peak(), std::max<size_t>(2 * sent, 64 * 1024) + 16 * 1024);
  }
}

class ControlListenerTest : public ::testing::Test {
 protected:
  test::TempDir dir_{"tarn-socket", 0755};
  std::string folder_ = dir_.file("run");
  std::string path_ = folder_ + "/Tarn";
};

TEST_F(ControlListenerTest, ClientsReachTheListenerAndSeeEachOther) {
  ControlListener listener;
  ASSERT_TRUE(listener.open(path_).ok());
  struct stat st {};
  ASSERT_EQ(::stat(path_.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, kControlSocketMode);
  ASSERT_EQ(::stat(folder_.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, kControlFolderMode);

  vx::UniqueFd client;
  ASSERT_TRUE(ConnectControlSocket(path_, DeadlineAfterMs(kLongMs), client).ok());
  vx::UniqueFd server;
  ASSERT_TRUE(listener.accept(server).ok());
  PeerCredentials peer;
  ASSERT_TRUE(ReadPeerCredentials(server.get(), peer).ok());
  EXPECT_EQ(peer.uid, ::geteuid());
  EXPECT_EQ(peer.gid, ::getegid());
  EXPECT_EQ(peer.pid, ::getpid());
  EXPECT_EQ(static_cast<int>(peer.groups.size()), ::getgroups(0, nullptr));
}

TEST_F(ControlListenerTest, FolderOrPathThatOthersControlIsRefused) {
  struct Case {
    const char* name;
    void (*prepare)(const std::string& folder, const std::string& path, const std::string& base);
    int32_t code;
  };
  const Case cases[] = {
      {"folder of another user",
       [](const std::string& folder, const std::string&, const std::string&) {
         ASSERT_EQ(::mkdir(folder.c_str(), 0755), 0);
         ASSERT_EQ(::chown(folder.c_str(), kNobody, kNobody), 0);
       },
       Status::kAccessDenied},
      {"folder is a link",
       [](const std::string& folder, const std::string&, const std::string& base) {
         ASSERT_EQ(::mkdir((base + "/real").c_str(), 0755), 0);
         ASSERT_EQ(::symlink((base + "/real").c_str(), folder.c_str()), 0);
       },
       Status::kAccessDenied},
      {"a file at the path",
       [](const std::string& folder, const std::string& path, const std::string&) {
         ASSERT_EQ(::mkdir(folder.c_str(), 0755), 0);
         ASSERT_TRUE(vx::WriteFileAtomic(path, std::string("x")));
       },
       Status::kExists},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    test::TempDir base("tarn-socket", 0755);
    const std::string folder = base.file("run");
    c.prepare(folder, folder + "/Tarn", base.path());
    ControlListener listener;
    EXPECT_EQ(listener.open(folder + "/Tarn").code, c.code);
  }
}

TEST_F(ControlListenerTest, StaleSocketIsReplacedLiveOneIsKept) {
  ASSERT_EQ(::mkdir(folder_.c_str(), 0755), 0);
  // A socket file left by a service that died without cleaning up.
  vx::UniqueFd stale(::socket(AF_UNIX, SOCK_STREAM, 0));
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  std::snprintf(addr.sun_path, sizeof(addr.sun_path), "%s", path_.c_str());
  ASSERT_EQ(::bind(stale.get(), reinterpret_cast<sockaddr*>(&addr), sizeof(addr)), 0);
  ControlListener live;
  ASSERT_TRUE(live.open(path_).ok());
  {
    ControlListener second;
    EXPECT_EQ(second.open(path_).code, Status::kBusy);
  }
  // The refused listener leaves the live socket's file where it is.
  vx::UniqueFd client;
  EXPECT_TRUE(ConnectControlSocket(path_, DeadlineAfterMs(kLongMs), client).ok());
}

TEST_F(ControlListenerTest, CloseWakesAcceptAndTheSocketFileGoes) {
  auto listener = std::make_unique<ControlListener>();
  ASSERT_TRUE(listener->open(path_).ok());
  Status accepted;
  std::thread acceptor([&] {
    vx::UniqueFd client;
    accepted = listener->accept(client);
  });
  listener->close();
  acceptor.join();
  EXPECT_EQ(accepted.code, Status::kCanceled);
  listener.reset();
  vx::UniqueFd client;
  EXPECT_EQ(ConnectControlSocket(path_, DeadlineAfterMs(kLongMs), client).code, Status::kNotFound);
  EXPECT_FALSE(vx::FileExists(path_));
}

}  // namespace
}  // namespace tarn
