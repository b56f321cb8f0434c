// Test support for the repository's own tests: an in-memory server with a
// repository on it, options that keep tests fast (small packs, cheap key
// derivation, quick retries), and RepoTestPeer, the tests' view of the
// repository's private object layer and state. Test code only.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "backup/repo/repo.h"
#include "testing/memory_backend.h"

namespace tarn::backup {

inline constexpr const char* kTestPassword = "correct horse";

inline RepoOptions TestRepoOptions() {
  RepoOptions o;
  o.packTargetSize = kMinPackTargetSize;
  o.kdfIterations = 1000;
  o.retry.maxAttempts = 3;
  o.retry.baseDelayMs = 1;
  o.retry.maxDelayMs = 2;
  o.retry.jitter = 0;
  o.refusedRetry = o.retry;
  o.refusedRetry.maxAttempts = 2;
  return o;
}

// The endpoint of a real test server ("webdav", "sftp" or "nfs") rooted
// where tests may make folders, from the variables testing/servers/*.sh
// write; a missing variable fails the test. (S3: testing/s3/swift_endpoint.h.)
inline EndpointConfig TestServerEndpoint(const std::string& protocol) {
  auto env = [](const char* name) -> std::string {
    const char* v = std::getenv(name);
    if (v == nullptr || *v == '\0') {
      ADD_FAILURE() << name << " is not set: start the test servers first";
      return {};
    }
    return v;
  };
  EndpointConfig ep;
  ep.protocol = protocol;
  ep.connectTimeoutMs = 5000;
  ep.ioTimeoutMs = 20000;
  if (protocol == "webdav") {
    ep.host = env("TARN_DAV_URL");
    ep.user = env("TARN_DAV_USER");
    ep.password = env("TARN_DAV_PASSWORD");
  } else if (protocol == "sftp") {
    ep.host = env("SFTP_HOST");
    ep.port = uint32_t(std::atoi(env("SFTP_PORT").c_str()));
    ep.user = env("SFTP_USER");
    ep.password = env("SFTP_PASSWORD");
    ep.root = env("SFTP_ROOT");
  } else {
    ep.host = env("TARN_NFS_HOST");
    ep.root = env("TARN_NFS_EXPORT");
  }
  return ep;
}

inline std::vector<uint8_t> RandomBlob(size_t size, uint32_t seed) {
  std::mt19937 gen(seed);
  std::vector<uint8_t> v(size);
  for (auto& b : v) b = uint8_t(gen());
  return v;
}

inline test::FaultRule Fault(test::MemOp op, int firstCall, int times = 1,
                             Status status = Status(Status::kIo, "injected failure"), std::string path = "") {
  test::FaultRule rule;
  rule.op = op;
  rule.path = std::move(path);
  rule.firstCall = firstCall;
  rule.times = times;
  rule.status = std::move(status);
  return rule;
}

class RepoTestPeer {
 public:
  static constexpr auto kWait = std::chrono::seconds(60);

  static Status ensureDir(Repo& r, const std::string& path) { return r.ensureDir(path); }
  static Status putObject(Repo& r, const std::string& path, const std::vector<uint8_t>& bytes) {
    return r.putObject(path, bytes);
  }
  static Status storeIndexPlain(Repo& r, const std::vector<uint8_t>& plain, BlobId& name) {
    return r.storeIndexObject(plain, name);
  }
  static Status writeIndex(Repo& r) { return r.writeIndex(); }
  static const GcmCipher& cipher(Repo& r) { return r.cipher; }
  static size_t poolSize(Repo& r) { return r.pool.size(); }

  static size_t workerCount(Repo& r) {
    std::lock_guard<std::mutex> lock(r.queueMutex);
    return r.workers.size();
  }
  static std::vector<PackInfo> packs(Repo& r) {
    std::lock_guard<std::mutex> lock(r.queueMutex);
    return r.packs;
  }
  static size_t indexSize(Repo& r) {
    std::lock_guard<std::mutex> lock(r.queueMutex);
    return r.index.size();
  }
  static size_t indexObjectCount(Repo& r) {
    std::lock_guard<std::mutex> lock(r.queueMutex);
    return r.indexObjects.size();
  }
  static bool location(Repo& r, const BlobId& id, BlobLocation& out) {
    std::lock_guard<std::mutex> lock(r.queueMutex);
    auto it = r.index.find(id);
    if (it == r.index.end()) return false;
    out = it->second;
    return true;
  }
  static void setLocation(Repo& r, const BlobId& id, const BlobLocation& loc) {
    std::lock_guard<std::mutex> lock(r.queueMutex);
    r.index[id] = loc;
  }
  // Fills the in-memory index directly: `count` packs of `entries` blobs.
  static void fillIndex(Repo& r, uint32_t count, uint32_t entries) {
    std::lock_guard<std::mutex> lock(r.queueMutex);
    for (uint32_t p = 0; p < count; ++p) {
      PackInfo info;
      info.id.bytes[0] = uint8_t(p);
      info.id.bytes[1] = uint8_t(p >> 8);
      info.length = entries * 100;
      uint32_t position = uint32_t(r.packs.size());
      r.packs.push_back(info);
      for (uint32_t e = 0; e < entries; ++e) {
        BlobId id;
        id.bytes[0] = uint8_t(p);
        id.bytes[1] = uint8_t(p >> 8);
        id.bytes[2] = uint8_t(e);
        id.bytes[3] = uint8_t(e >> 8);
        id.bytes[31] = 1;
        r.index[id] = BlobLocation{position, e * 100, 100, 72, kBlobData};
      }
    }
  }

  // Wait on the repository's own condition variable, which every change of
  // the queue and of stopping notifies.
  static bool waitQueued(Repo& r, size_t n) {
    std::unique_lock<std::mutex> lock(r.queueMutex);
    return r.queueCv.wait_for(lock, kWait, [&] { return r.uploadQueue.size() == n; });
  }
  static const PipelineBudget& budget(Repo& r) { return r.budget; }
  // Waits until at least `stores` stores wait for room in the budget.
  static bool waitStoresWaiting(Repo& r, int stores) {
    return r.budget.waitForWaiting(stores, std::chrono::duration_cast<std::chrono::milliseconds>(kWait));
  }
  static bool waitStopping(Repo& r) {
    std::unique_lock<std::mutex> lock(r.queueMutex);
    return r.queueCv.wait_for(lock, kWait, [&] { return r.stopping; });
  }
};

// A repository on an in-memory server, made, created or reopened fresh.
struct RepoWorld {
  std::shared_ptr<test::MemoryServer> server = std::make_shared<test::MemoryServer>();
  RepoOptions options = TestRepoOptions();

  std::shared_ptr<Repo> make() { return std::make_shared<Repo>(server->factory(), options); }
  std::shared_ptr<Repo> create() {
    auto repo = make();
    Status st = repo->init(kTestPassword);
    EXPECT_TRUE(st.ok()) << st.toString();
    st = repo->loadIndex();
    EXPECT_TRUE(st.ok()) << st.toString();
    return repo;
  }
  std::shared_ptr<Repo> reopen() {
    auto repo = make();
    Status st = repo->open(kTestPassword);
    EXPECT_TRUE(st.ok()) << st.toString();
    st = repo->loadIndex();
    EXPECT_TRUE(st.ok()) << st.toString();
    return repo;
  }
  // Stores a blob and returns its id.
  BlobId store(Repo& repo, const std::vector<uint8_t>& data, uint8_t type = kBlobData) {
    BlobId id;
    Status st = repo.storeBlob(type, data.data(), data.size(), id);
    EXPECT_TRUE(st.ok()) << st.toString();
    return id;
  }
  // The names of the objects in a folder.
  std::vector<std::string> names(const std::string& folder) {
    auto conn = server->connection();
    EXPECT_TRUE(conn->connect().ok());
    std::vector<DirEntry> entries;
    (void)conn->list(folder, entries);
    std::vector<std::string> out;
    for (const DirEntry& e : entries) out.push_back(e.name);
    return out;
  }
  // Every pack object under /data with its path.
  std::vector<std::string> packPaths() {
    std::vector<std::string> out;
    for (const std::string& sub : names("/data"))
      for (const std::string& name : names("/data/" + sub)) out.push_back("/data/" + sub + "/" + name);
    return out;
  }
};

}  // namespace tarn::backup
