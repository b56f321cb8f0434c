// Shared by the SFTP tests that need the OpenSSH test server: its endpoint
// from the environment that testing/servers/sshd.sh writes (a missing
// variable fails the test), a data folder of this process's own (so that
// the host keys it records meet no file of an earlier server), per-test
// folders, and a way to break this process's connections to the server as a
// network failure would.
#pragma once

#include <arpa/inet.h>
#include <dirent.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "backends/ssh_nfs/sftp_backend.h"
#include "foundation/file_util.h"
#include "testing/backend_transfer.h"
#include "testing/tcp_relay.h"
#include "testing/temp_dir.h"

namespace tarn::sftp_test {

// The value of an environment variable set by the test script; a missing
// one is a test failure, never a skip.
inline std::string Env(const char* name) {
  const char* v = std::getenv(name);
  if (v == nullptr || *v == '\0') {
    ADD_FAILURE() << name << " is not set: the SFTP tests need the server of testing/servers/sshd.sh";
    return {};
  }
  return v;
}

inline std::string FileText(const std::string& path) {
  std::string text;
  EXPECT_TRUE(vx::ReadWholeFile(path, text)) << "cannot read " << path;
  return text;
}

// Points TARN_ROOT at a fresh folder removed at exit; runs before anything
// of the process asks for the data folder.
inline const std::string& PrivateDataRoot() {
  static const test::TempDir dir("tarn-sftp-test");
  static const bool set = ::setenv("TARN_ROOT", dir.path().c_str(), 1) == 0;
  EXPECT_TRUE(set);
  return dir.path();
}

// Password log-in on the main port, rooted at the server's data folder.
inline EndpointConfig ServerEndpoint() {
  PrivateDataRoot();
  EndpointConfig c = test::TestEndpoint("sftp", Env("SFTP_HOST"), Env("SFTP_USER"), Env("SFTP_PASSWORD"));
  c.port = uint32_t(std::atoi(Env("SFTP_PORT").c_str()));
  c.root = Env("SFTP_ROOT");
  c.keepaliveSec = 30;
  return c;
}

inline bool ServerConfigured() {
  for (const char* name : {"SFTP_HOST", "SFTP_PORT", "SFTP_USER", "SFTP_PASSWORD", "SFTP_ROOT"})
    if (Env(name).empty()) return false;
  return true;
}

// A folder of its own for the running test under the server's data folder,
// so that tests may run in parallel processes.
inline std::string MakeTestFolder() {
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string name = std::string(info->test_suite_name()) + "-" + info->name() + "-" + std::to_string(::getpid());
  SftpBackend admin(ServerEndpoint());
  Status st = admin.connect();
  EXPECT_TRUE(st.ok()) << st.toString();
  st = admin.mkdir("/" + name);
  EXPECT_TRUE(st.ok()) << st.toString();
  return name;
}

// Shuts down every TCP connection of this process to `port`, the way a
// broken network or a killed server process ends them.
inline int DropConnectionsTo(uint32_t port) {
  int dropped = 0;
  DIR* d = ::opendir("/proc/self/fd");
  if (d == nullptr) return 0;
  while (dirent* e = ::readdir(d)) {
    int fd = std::atoi(e->d_name);
    if (fd <= 2) continue;
    sockaddr_storage peer{};
    socklen_t len = sizeof(peer);
    if (::getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &len) != 0) continue;
    uint32_t peerPort = 0;
    if (peer.ss_family == AF_INET) peerPort = ntohs(reinterpret_cast<sockaddr_in*>(&peer)->sin_port);
    if (peer.ss_family == AF_INET6) peerPort = ntohs(reinterpret_cast<sockaddr_in6*>(&peer)->sin6_port);
    if (peerPort == port && ::shutdown(fd, SHUT_RDWR) == 0) ++dropped;
  }
  ::closedir(d);
  return dropped;
}

// OpenSSH's sshd with only an RSA host key, as many servers were set up
// before Ed25519: started in inetd mode (sshd -i) for each connection that
// reaches a port of this object's own. Needs root, as the test servers do.
// Owned by one test; connections() may be read from its thread.
class RsaOnlySshd {
 public:
  RsaOnlySshd() : dir_("tarn-rsa-sshd") {
    const std::string key = dir_.path() + "/rsa";
    const std::string keygen = "ssh-keygen -q -t rsa -b 2048 -N '' -f " + key;
    EXPECT_EQ(std::system(keygen.c_str()), 0);
    config_ = dir_.path() + "/sshd_config";
    EXPECT_TRUE(vx::WriteFileAtomic(config_, std::string("HostKey " + key + "\nUsePAM no\nLogLevel QUIET\n")));
    listen_ = testing::ListenOnLoopback(port_);
    EXPECT_GE(listen_, 0);
    thread_ = std::thread([this] { serve(); });
  }
  ~RsaOnlySshd() {
    stop_ = true;
    thread_.join();
    ::close(listen_);
    for (pid_t pid : children_) {
      ::kill(pid, SIGTERM);
      ::waitpid(pid, nullptr, 0);
    }
  }
  RsaOnlySshd(const RsaOnlySshd&) = delete;
  RsaOnlySshd& operator=(const RsaOnlySshd&) = delete;

  uint32_t port() const { return port_; }
  int connections() const { return connections_; }

 private:
  void serve() {
    while (!stop_) {
      pollfd p{listen_, POLLIN, 0};
      if (::poll(&p, 1, 20) <= 0) continue;
      int fd = ::accept4(listen_, nullptr, nullptr, SOCK_CLOEXEC);
      if (fd < 0) continue;
      ++connections_;
      pid_t pid = ::fork();
      if (pid == 0) {
        ::dup2(fd, 0);
        ::dup2(fd, 1);
        ::execl("/usr/sbin/sshd", "sshd", "-i", "-f", config_.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
      }
      ::close(fd);
      if (pid > 0) children_.push_back(pid);
    }
  }

  test::TempDir dir_;
  std::string config_;
  int listen_ = -1;
  uint32_t port_ = 0;
  std::atomic<bool> stop_{false};
  std::atomic<int> connections_{0};
  std::vector<pid_t> children_;  // only the serving thread adds, before the destructor joins it
  std::thread thread_;
};

}  // namespace tarn::sftp_test
