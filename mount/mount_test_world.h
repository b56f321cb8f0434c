// What the mount host's tests share: a started volume on the in-memory
// server or on a real test server, mounted by a FUSE host at a fresh
// folder, and a way to run shell commands against it. Each test owns its
// world and uses it from its own thread; the host's threads serve the
// kernel meanwhile.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <atomic>
#include <chrono>
#include <cstring>
#include <memory>
#include <string>
#include <thread>

#include "engine/volume.h"
#include "mount/fuse_mount_host.h"
#include "testing/memory_backend.h"
#include "testing/temp_dir.h"

namespace tarn::test {

// A test server variable; a missing one fails the test, as every
// real-server test does.
inline std::string ServerEnv(const char* name) {
  const char* v = std::getenv(name);
  if (v == nullptr || *v == '\0') {
    ADD_FAILURE() << name << " is not set: start the test servers first";
    return {};
  }
  return v;
}

// A file's whole content as a reader of the drive sees it, or "<errno text>".
inline std::string ReadFile(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY);
  if (fd < 0) return "<" + std::string(std::strerror(errno)) + ">";
  std::string out;
  char buf[65536];
  ssize_t n;
  while ((n = ::read(fd, buf, sizeof buf)) > 0) out.append(buf, static_cast<size_t>(n));
  ::close(fd);
  return out;
}

// A drive on one of the real test servers: "webdav" (Apache), "nginx" and
// "lighttpd" (WebDAV too), "sftp", "nfs".
inline MountConfig ServerDrive(const std::string& server) {
  MountConfig c;
  c.id = "mount-" + server;
  const bool otherDav = server == "nginx" || server == "lighttpd";
  const std::string protocol = otherDav ? "webdav" : server;
  c.endpoint.protocol = protocol;
  c.net.connectTimeoutMs = 5000;
  c.net.ioTimeoutMs = 20000;
  c.net.retries = 2;
  c.net.retryMinMs = 10;
  c.net.retryMaxMs = 100;
  if (otherDav) {
    const std::string prefix = server == "nginx" ? "TARN_DAV_NGINX_" : "TARN_DAV_LIGHTTPD_";
    c.endpoint.host = ServerEnv((prefix + "URL").c_str());
    c.endpoint.user = ServerEnv((prefix + "USER").c_str());
    c.endpoint.password = ServerEnv((prefix + "PASSWORD").c_str());
  } else if (protocol == "webdav") {
    c.endpoint.host = ServerEnv("TARN_DAV_URL");
    c.endpoint.user = ServerEnv("TARN_DAV_USER");
    c.endpoint.password = ServerEnv("TARN_DAV_PASSWORD");
  } else if (protocol == "sftp") {
    c.endpoint.host = ServerEnv("SFTP_HOST");
    c.endpoint.port = static_cast<uint32_t>(std::atoi(ServerEnv("SFTP_PORT").c_str()));
    c.endpoint.user = ServerEnv("SFTP_USER");
    c.endpoint.password = ServerEnv("SFTP_PASSWORD");
    c.endpoint.root = ServerEnv("SFTP_ROOT");
  } else {
    c.endpoint.host = ServerEnv("TARN_NFS_HOST");
    c.endpoint.root = ServerEnv("TARN_NFS_EXPORT");
  }
  return c;
}

// A drive of the in-memory server with quick uploads.
inline MountConfig MemoryMountDrive() {
  MountConfig c;
  c.id = "mount-memory";
  c.endpoint.protocol = "memory";
  c.endpoint.host = "mem";
  c.net.retries = 2;
  c.net.retryMinMs = 1;
  c.net.retryMaxMs = 1;
  c.cache.blockBytes = 64 * 1024;
  c.transfer.chunkBytes = 1024 * 1024;
  return c;
}

// Runs `script` with bash in `dir`; the exit code, or -1 when it did not end
// normally. The script's output goes to the test's output.
inline int RunShell(const std::string& dir, const std::string& script) {
  const std::string command = "cd '" + dir + "' && bash -euo pipefail -c '" + script + "'";
  const int rc = std::system(command.c_str());
  return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
}

// Rewrites `folder`/config the way git does, `rounds` times: open
// config.lock with O_EXCL, read config, write it and one line more, close,
// rename config.lock over config, read config back. Returns the rounds whose
// reads did not give what the last round wrote, one line each.
inline std::string LockFileRounds(const std::string& folder, int rounds) {
  auto slurp = [](const std::string& path) {
    std::string out;
    const int fd = ::open(path.c_str(), O_RDONLY);
    if (fd < 0) return std::string("<") + std::strerror(errno) + ">";
    char buf[4096];
    for (ssize_t n; (n = ::read(fd, buf, sizeof buf)) > 0;) out.append(buf, static_cast<size_t>(n));
    ::close(fd);
    return out;
  };
  const std::string config = folder + "/config";
  const std::string lock = folder + "/config.lock";
  std::string expected = "[core]\n";
  std::string wrong;
  {
    const int fd = ::open(config.c_str(), O_CREAT | O_TRUNC | O_WRONLY, 0644);
    if (fd < 0 || ::write(fd, expected.data(), expected.size()) != static_cast<ssize_t>(expected.size()))
      return "cannot write " + config;
    ::close(fd);
  }
  for (int round = 0; round < rounds; ++round) {
    const int fd = ::open(lock.c_str(), O_CREAT | O_EXCL | O_WRONLY, 0644);
    if (fd < 0) return wrong + "round " + std::to_string(round) + ": cannot create config.lock\n";
    const std::string read = slurp(config);
    if (read != expected) wrong += "round " + std::to_string(round) + ": read " + std::to_string(read.size()) + " bytes\n";
    expected += "\tline" + std::to_string(round) + " = x\n";
    const bool written = ::write(fd, expected.data(), expected.size()) == static_cast<ssize_t>(expected.size());
    if (::close(fd) != 0 || !written || ::rename(lock.c_str(), config.c_str()) != 0)
      return wrong + "round " + std::to_string(round) + ": cannot replace config\n";
    const std::string back = slurp(config);
    if (back != expected)
      wrong += "round " + std::to_string(round) + ": read back " + std::to_string(back.size()) + " bytes\n";
  }
  return wrong;
}

class MountWorld {
 public:
  // An empty factory: the volume makes its back-ends by the drive's protocol.
  // `shares` bound the users' open files; `env` holds the cache (null: the
  // disk).
  explicit MountWorld(MountConfig cfg, Volume::BackendFactory factory = {}, FuseTuning tuning = {},
                      std::shared_ptr<OpenFileShares> shares = nullptr, Env* env = nullptr)
      : config(std::move(cfg)), host(tuning, std::move(shares)) {
    config.cache.writebackDelayMs = kWritebackMs;
    if (config.endpoint.protocol == "memory" && !factory) {
      BackendCaps caps = server->caps();
      caps.setMtime = true;
      server->setCaps(caps);
      factory = server->factory();
    }
    volume = std::make_shared<Volume>(config, dir_.file("cache"), std::move(factory), VolumeTimings(), env);
  }
  ~MountWorld() {
    host.unmount(0);
    volume->stop(0);
  }
  MountWorld(const MountWorld&) = delete;
  MountWorld& operator=(const MountWorld&) = delete;

  // Starts the volume and mounts it; false (with a test failure) otherwise.
  bool mount() {
    std::string error;
    Status st = volume->start(&error);
    EXPECT_TRUE(st.ok()) << st.toString() << " " << error;
    if (!st.ok()) return false;
    st = host.mount(volume, mountPoint());
    EXPECT_TRUE(st.ok()) << st.toString();
    return st.ok();
  }
  // Unmounts waiting for every upload, then stops the volume.
  void unmountAndStop() {
    Status st = host.unmount(kFlushMs);
    EXPECT_TRUE(st.ok()) << st.toString();
    volume->stop(kFlushMs);
  }

  // Runs `script` with RunShell while answering its waits for the drive's
  // uploads (UPLOAD_WAIT in testdata/shell_work.sh): when the script makes
  // scratch()/want-idle, the uploads are waited for and scratch()/idle made.
  int runShellWithUploadWaits(const std::string& script) {
    std::atomic<bool> ended{false};
    std::thread answerer([&] {
      const std::string want = scratch() + "/want-idle";
      const std::string idle = scratch() + "/idle";
      while (!ended.load()) {
        if (::unlink(want.c_str()) == 0) {
          // Closes still being committed queue their uploads first.
          volume->rescanDirty();
          EXPECT_TRUE(volume->waitUploadsIdle(kFlushMs));
          const int fd = ::open(idle.c_str(), O_CREAT | O_WRONLY, 0644);
          if (fd >= 0) ::close(fd);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(kAnswerPollMs));
      }
    });
    const int rc = RunShell(".", "UPLOAD_WAIT=1 " + script);
    ended = true;
    answerer.join();
    return rc;
  }

  std::string mountPoint() const { return dir_.file("drive"); }
  std::string file(const std::string& name) const { return mountPoint() + "/" + name; }
  std::string scratch() const { return dir_.path(); }

  static constexpr uint32_t kWritebackMs = 100;
  static constexpr uint32_t kAnswerPollMs = 10;
  static constexpr uint32_t kFlushMs = 60000;

 private:
  TempDir dir_{"tarn-mount", 0755};  // first made, last gone

 public:
  std::shared_ptr<MemoryServer> server = std::make_shared<MemoryServer>();
  MountConfig config;
  std::shared_ptr<Volume> volume;
  FuseMountHost host;
};

}  // namespace tarn::test
