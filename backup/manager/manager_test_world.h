// Test support for the backup manager: a manager over a temporary backup
// folder whose destinations are in-memory servers picked by the endpoint's
// host ("a" and "b"), with fast repository options, a clock the test moves
// by hand, and shorthands for requests. Test code only; the machine's paths
// lie under a temporary TARN_ROOT.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "backup/manager/backup_manager.h"
#include "backup/repo/repo_test_world.h"
#include "foundation/file_util.h"
#include "testing/memory_backend.h"
#include "testing/temp_dir.h"

namespace tarn::test {

using vx::json::Value;

inline constexpr int64_t kClockStart = 1700000000;
inline constexpr const char* kJobPassword = backup::kTestPassword;

inline Value Json(const std::string& text) {
  Value v;
  EXPECT_TRUE(vx::json::Parse(text, v)) << text;
  return v;
}

// Unix seconds that only the test moves. Counts its reads, so that a test
// can wait until the scheduler has looked at the time again.
class HandClock {
 public:
  int64_t now() {
    std::lock_guard<std::mutex> lock(mu_);
    ++reads_;
    cv_.notify_all();
    return now_;
  }
  void set(int64_t t) {
    std::lock_guard<std::mutex> lock(mu_);
    now_ = t;
  }
  // Waits for `more` reads after this call.
  bool waitReads(int more) {
    std::unique_lock<std::mutex> lock(mu_);
    const uint64_t target = reads_ + static_cast<uint64_t>(more);
    return cv_.wait_for(lock, std::chrono::milliseconds(Gate::kDefaultWaitMs), [&] { return reads_ >= target; });
  }

 private:
  std::mutex mu_;
  std::condition_variable cv_;
  int64_t now_ = kClockStart;  // guarded by mu_
  uint64_t reads_ = 0;         // guarded by mu_
};

// A configured drive on the in-memory server `host`, as a backup destination.
inline void AddMemoryDrive(ServiceState& state, const std::string& id, const std::string& host,
                           const std::string& root) {
  std::string added;
  const Status s = state.setMount(Json(R"({"id":")" + id + R"(","drive":"Q","endpoint":{"protocol":"memory","host":")" +
                                       host + R"(","root":")" + root + R"("}})"),
                                  added);
  ASSERT_TRUE(s.ok()) << s.toString();
}

class ManagerWorld {
 public:
  explicit ManagerWorld(ServiceState* owner = nullptr, BackupTiming timing = {}) : owner_(owner) {
    static TempDir* machine = [] {
      auto* dir = new TempDir("tarn-manager-root", 0755);
      ::setenv("TARN_ROOT", dir->path().c_str(), 1);
      return dir;
    }();
    (void)machine;
    servers_["a"] = std::make_shared<MemoryServer>();
    servers_["b"] = std::make_shared<MemoryServer>();
    if (!timing.now) timing.now = [c = clock] { return c->now(); };
    timing_ = timing;
    restart();
  }

  // A new manager over the same folder and servers, as after a service
  // restart; the old one stops first.
  void restart() {
    manager.reset();
    manager = std::make_unique<BackupManager>(owner_, folder.path(), timing_);
    manager->setRepoDefaults(backup::TestRepoOptions());
    auto servers = servers_;
    manager->setBackendFactory([servers](const EndpointConfig& ep) -> std::unique_ptr<IBackend> {
      auto it = servers.find(ep.host);
      if (it == servers.end()) return nullptr;
      return it->second->connection(ep);
    });
    std::string error;
    EXPECT_TRUE(manager->loadJobs(&error)) << error;
  }

  MemoryServer& server(const std::string& host) { return *servers_.at(host); }

  // A repository on a server's root, as a backup there would have left it,
  // with `versions` version records of the job.
  std::vector<backup::SnapshotInfo> makeRepository(const std::string& host, int versions,
                                                   const std::string& job = "j1") {
    auto repo = std::make_shared<backup::Repo>(servers_.at(host)->factory(), backup::TestRepoOptions());
    EXPECT_TRUE(repo->init(kJobPassword).ok());
    EXPECT_TRUE(repo->loadIndex().ok());
    std::vector<backup::SnapshotInfo> out;
    for (int i = 0; i < versions; ++i) {
      backup::SnapshotInfo info;
      info.time = kClockStart - 86400 * (versions - i);
      info.job = job;
      info.bytes = 1000 + i;
      EXPECT_TRUE(repo->writeSnapshot(info).ok());
      out.push_back(info);
    }
    return out;
  }

  Value call(const std::string& request, const IpcCaller* caller = nullptr) {
    return manager->handle(Json(request), caller);
  }

  // Stores a job of one source on host `host`; the reply of backupSet.
  Value setJob(const std::string& id, const std::string& host = "a", const std::string& extra = "",
               const std::string& source = "/srv") {
    return call(R"({"op":"backupSet","job":{"id":")" + id + R"(","sources":[")" + source + R"("],"password":")" +
                kJobPassword + R"(","endpoint":{"protocol":"memory","host":")" + host + R"(","root":"/r"})" +
                extra + "}}");
  }

  // The job state object of one job from backupList.
  Value jobState(const std::string& id) {
    const Value list = call(R"({"op":"backupList"})")["jobs"];
    for (size_t i = 0; i < list.size(); ++i) {
      if (list.at(i)["id"].asString() == id) return list.at(i);
    }
    return Value();
  }

  std::string jobFile(const std::string& id, const char* name) { return vx::JoinPath(manager->jobPath(id), name); }
  void writeJobFile(const std::string& id, const char* name, const std::string& text) {
    ASSERT_TRUE(vx::MakeDirs(manager->jobPath(id)));
    ASSERT_TRUE(vx::WriteFileAtomic(jobFile(id, name), text));
  }
  std::string readJobFile(const std::string& id, const char* name) {
    std::string text;
    (void)vx::ReadWholeFile(jobFile(id, name), text);
    return text;
  }

  // Waits for the job's task to end.
  void waitIdle(const std::string& id) { ASSERT_TRUE(manager->waitIdle(id, Gate::kDefaultWaitMs)); }

  std::shared_ptr<HandClock> clock = std::make_shared<HandClock>();
  TempDir folder{"tarn-backups"};
  std::unique_ptr<BackupManager> manager;

 private:
  ServiceState* owner_;
  BackupTiming timing_;
  std::map<std::string, std::shared_ptr<MemoryServer>> servers_;
};

}  // namespace tarn::test
