// Test support: runs one of our fake servers (a Python script that prints
// "PORT <n>" once it listens) as a child process on an ephemeral port for the
// life of the object, with the flags a test asks for and a log of one JSON
// line per request it saw; and reads the variables the test-server scripts
// set. Used by one test thread; header-only so that only tests link it.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace tarn::testing {

// The value of a variable the test script sets; a missing one is a failure
// of the test run, never a reason to skip.
inline std::string RequiredEnv(const char* name) {
  const char* v = std::getenv(name);
  if (v == nullptr || *v == '\0')
    throw std::runtime_error(std::string("environment variable ") + name +
                             " is not set: start the test servers (scripts/test) first");
  return v;
}

class FakeServerProcess {
 public:
  // scriptEnv: the variable naming the server script; args: its extra flags.
  FakeServerProcess(const char* scriptEnv, std::vector<std::string> args, const std::string& bind) {
    const std::string script = RequiredEnv(scriptEnv);
    std::string logTemplate = (std::filesystem::temp_directory_path() / "fake-server-log-XXXXXX").string();
    int fd = mkstemp(logTemplate.data());
    if (fd < 0) throw std::runtime_error("cannot create the request log");
    ::close(fd);
    log_ = logTemplate;

    int out[2];
    if (pipe(out) != 0) throw std::runtime_error("pipe failed");
    std::vector<std::string> argv = {"python3", script, "--bind", bind, "--log", log_};
    argv.insert(argv.end(), args.begin(), args.end());
    pid_ = fork();
    if (pid_ < 0) throw std::runtime_error("fork failed");
    if (pid_ == 0) {
      dup2(out[1], 1);
      ::close(out[0]);
      ::close(out[1]);
      std::vector<char*> raw;
      for (auto& a : argv) raw.push_back(a.data());
      raw.push_back(nullptr);
      execvp("python3", raw.data());
      _exit(127);
    }
    ::close(out[1]);
    std::string line;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (line.find('\n') == std::string::npos && std::chrono::steady_clock::now() < deadline) {
      pollfd p{out[0], POLLIN, 0};
      if (poll(&p, 1, 100) > 0) {
        char buf[64];
        ssize_t n = ::read(out[0], buf, sizeof buf);
        if (n <= 0) break;
        line.append(buf, static_cast<size_t>(n));
      }
    }
    ::close(out[0]);
    if (line.rfind("PORT ", 0) != 0) {
      stop();
      throw std::runtime_error("the fake server " + script + " did not start");
    }
    port_ = static_cast<uint16_t>(std::stoi(line.substr(5)));
  }

  ~FakeServerProcess() {
    stop();
    if (!log_.empty()) ::unlink(log_.c_str());
  }
  FakeServerProcess(const FakeServerProcess&) = delete;
  FakeServerProcess& operator=(const FakeServerProcess&) = delete;

  uint16_t port() const { return port_; }

  // One JSON line per request the server saw, in order.
  std::vector<std::string> requests() const {
    std::vector<std::string> lines;
    std::ifstream in(log_);
    for (std::string l; std::getline(in, l);) lines.push_back(l);
    return lines;
  }
  // The logged requests whose line contains every given fragment.
  std::vector<std::string> requestsWith(const std::vector<std::string>& fragments) const {
    std::vector<std::string> hits;
    for (const auto& l : requests()) {
      bool all = true;
      for (const auto& f : fragments) all = all && l.find(f) != std::string::npos;
      if (all) hits.push_back(l);
    }
    return hits;
  }
  void clearLog() const { std::ofstream(log_, std::ios::trunc); }
  // Waits until count requests with every fragment have reached the server
  // (each is logged before it is answered); false after about 20 s.
  bool waitForRequest(const std::vector<std::string>& fragments, size_t count = 1) const {
    for (int i = 0; i < 1000; ++i) {
      if (requestsWith(fragments).size() >= count) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
  }

 private:
  void stop() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    for (int i = 0; i < 50; ++i) {
      if (waitpid(pid_, nullptr, WNOHANG) == pid_) {
        pid_ = -1;
        return;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }

  pid_t pid_ = -1;
  uint16_t port_ = 0;
  std::string log_;
};

}  // namespace tarn::testing
