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
#include <sys/stat.h>
#include <sys/wait.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <random>
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
  // Process numbers come round again, and a folder a failed run left
  // behind must not stand in the way of a later test of the same number.
  std::string name = std::string(info->test_suite_name()) + "-" + info->name() + "-" + std::to_string(::getpid()) +
                     "-" + std::to_string(std::random_device()() % 1000000);
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

// OpenSSH's sshd started in inetd mode (sshd -i) for each connection that
// reaches a port of this object's own, with the configuration the owner
// writes into dir() before start(). Needs root, as the test servers do.
// Owned by one test; connections() may be read from its thread.
class InetdSshd {
 public:
  explicit InetdSshd(const std::string& prefix, mode_t mode = 0700) : dir_(prefix, mode) {}
  ~InetdSshd() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    if (listen_ >= 0) ::close(listen_);
    for (pid_t pid : children_) {
      ::kill(pid, SIGTERM);
      ::waitpid(pid, nullptr, 0);
    }
  }
  InetdSshd(const InetdSshd&) = delete;
  InetdSshd& operator=(const InetdSshd&) = delete;

  const std::string& dir() const { return dir_.path(); }
  uint32_t port() const { return port_; }
  int connections() const { return connections_; }

 protected:
  void start(const std::string& config) {
    config_ = dir_.file("sshd_config");
    EXPECT_TRUE(vx::WriteFileAtomic(config_, config));
    listen_ = testing::ListenOnLoopback(port_);
    EXPECT_GE(listen_, 0);
    thread_ = std::thread([this] { serve(); });
  }

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

// With only an RSA host key, as many servers were set up before Ed25519.
class RsaOnlySshd : public InetdSshd {
 public:
  RsaOnlySshd() : InetdSshd("tarn-rsa-sshd") {
    const std::string key = dir() + "/rsa";
    const std::string keygen = "ssh-keygen -q -t rsa -b 2048 -N '' -f " + key;
    EXPECT_EQ(std::system(keygen.c_str()), 0);
    start("HostKey " + key + "\nUsePAM no\nLogLevel QUIET\n");
  }
};

// The test server's user and data, reached with its Ed25519 key, through
// OpenSSH's sftp-server that logs every request it answers, so that a test
// can count what a call costs.
class RequestLogSshd : public InetdSshd {
 public:
  RequestLogSshd() : InetdSshd("tarn-log-sshd", 0755) {
    const std::string host = dir() + "/host";
    EXPECT_EQ(std::system(("ssh-keygen -q -t ed25519 -N '' -f " + host).c_str()), 0);
    std::string key;
    EXPECT_TRUE(vx::ReadWholeFile(Env("SFTP_KEY_ED25519") + ".pub", key));
    EXPECT_TRUE(vx::WriteFileAtomic(dir() + "/authorized_keys", key));
    // The server runs as the user, who appends to this file.
    log_ = dir() + "/requests.log";
    EXPECT_TRUE(vx::WriteFileAtomic(log_, ""));
    EXPECT_EQ(::chmod(log_.c_str(), 0666), 0);
    EXPECT_EQ(::chmod((dir() + "/authorized_keys").c_str(), 0644), 0);
    start("HostKey " + host + "\nUsePAM no\nLogLevel QUIET\nStrictModes no\nPasswordAuthentication no\n" +
          "AllowUsers " + Env("SFTP_USER") + "\nAuthorizedKeysFile " + dir() + "/authorized_keys\n" +
          "Subsystem sftp /usr/lib/openssh/sftp-server -e -l DEBUG3 2>>" + log_ + "\n");
  }

  EndpointConfig endpoint() const {
    PrivateDataRoot();
    EndpointConfig c = test::TestEndpoint("sftp", "127.0.0.1", Env("SFTP_USER"), "");
    c.port = port();
    c.root = Env("SFTP_ROOT");
    c.privateKey = FileText(Env("SFTP_KEY_ED25519"));
    return c;
  }

  // The requests answered since the last call, by their kind ("open",
  // "write", "lstat", ...), in order.
  std::vector<std::string> takeRequests() {
    std::string text;
    EXPECT_TRUE(vx::ReadWholeFile(log_, text));
    std::vector<std::string> kinds;
    size_t at = std::min(seen_, text.size());
    seen_ = text.size();
    while (at < text.size()) {
      size_t end = text.find('\n', at);
      if (end == std::string::npos) end = text.size();
      std::string line = text.substr(at, end - at);
      at = end + 1;
      if (!line.empty() && line.back() == '\r') line.pop_back();
      // "debug3: request 9: open flags 26": each request logs its kind once;
      // the lines of its answer say "sent".
      const size_t tag = line.find(": request ");
      if (line.rfind("debug", 0) != 0 || tag == std::string::npos) continue;
      const size_t colon = line.find(": ", tag + 2);
      if (colon == std::string::npos) continue;
      std::string kind = line.substr(colon + 2, line.find(' ', colon + 2) - colon - 2);
      if (kind != "sent") kinds.push_back(kind);
    }
    return kinds;
  }

 private:
  std::string log_;
  size_t seen_ = 0;
};

}  // namespace tarn::sftp_test
