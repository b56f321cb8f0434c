// The world of the console's tests: a real service (ServiceBody in this
// process, on a machine of its own under TARN_ROOT) with drives of an
// in-memory server beside the real back-ends, and the built executable run
// as a user runs it. Test code only, driven from the test's thread.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "cli/console_commands.h"
#include "cli/console_runner.h"
#include "cli/terminal.h"
#include "client/service_client.h"
#include "engine/backend_factory.h"
#include "foundation/file_util.h"
#include "service/service_body.h"
#include "testing/memory_backend.h"
#include "testing/temp_dir.h"

namespace tarn::app {

// The server of the drives whose protocol is "memory".
inline const std::shared_ptr<tarn::test::MemoryServer>& Memory() {
  static const auto server = std::make_shared<tarn::test::MemoryServer>();
  return server;
}

inline ServiceState::BackendsFor Backends() {
  return [](const MountConfig& config) -> Volume::BackendFactory {
    if (config.endpoint.protocol == "memory") return Memory()->factory(config.endpoint);
    return [endpoint = config.endpoint] { return MakeBackend(endpoint); };
  };
}

class ConsoleCommandsTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    machine_ = new test::TempDir("tarn-console", 0755);
    ::setenv("TARN_ROOT", machine_->path().c_str(), 1);
    ::unsetenv(kPasswordVariable);
    exe_ = new std::string(CopyExecutable(TARN_EXE, machine_->path()));
    service_ = new ServiceThread();
    service_->start(MakeServiceBackups, Backends());
  }

  static void TearDownTestSuite() {
    delete service_;
    delete machine_;
    delete exe_;
  }

  // Runs the tarn executable as root or as nobody, without a terminal or,
  // with `onTerminal`, on a terminal of its own.
  static RunResult RunTarn(const std::vector<std::string>& args, bool asNobody = false,
                           const char* password = nullptr, const std::string& root = machine_->path(),
                           bool onTerminal = false) {
    std::vector<std::pair<std::string, std::string>> env;
    if (password != nullptr) env.emplace_back(kPasswordVariable, password);
    return RunConsole(*exe_, args, root, env, asNobody, onTerminal);
  }

  // Adds a drive of the in-memory server at `letter`, with the members
  // `more` adds to its settings, and mounts it with the console; its id.
  static std::string MountMemoryDrive(const std::string& letter, const std::string& more = "") {
    vx::json::Value drive;
    EXPECT_TRUE(vx::json::Parse(R"({"drive":")" + letter + R"(","name":"Mem)" + letter +
                                    R"(","endpoint":{"protocol":"memory","host":"mem"})" + more + "}",
                                drive));
    std::string id;
    std::string error;
    EXPECT_TRUE(RequestSetMount(drive, id, error)) << error;
    const RunResult r = RunTarn({"mount", letter});
    EXPECT_EQ(r.exitCode, kExitOk) << r.output;
    return id;
  }
  static std::string OnDrive(const std::string& letter, const std::string& name) {
    return machine_->file("mnt/tarn/" + letter + "/" + name);
  }
  // Writes a file through the drive's folder, as a program does.
  static bool WriteOnDrive(const std::string& letter, const std::string& name, const std::string& content) {
    vx::UniqueFd fd(::open(OnDrive(letter, name).c_str(), O_CREAT | O_TRUNC | O_WRONLY | O_CLOEXEC, 0644));
    return fd.valid() && vx::WriteAll(fd.get(), content.data(), content.size()) && fd.close();
  }

  inline static test::TempDir* machine_ = nullptr;
  inline static std::string* exe_ = nullptr;
  inline static ServiceThread* service_ = nullptr;
};

// The in-memory server answers again, however a test ends.
struct ServerBack {
  ~ServerBack() {
    Memory()->setDown(false);
    Memory()->setSilent(0);
    Memory()->clearFaults();
  }
};


}  // namespace tarn::app
