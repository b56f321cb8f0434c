// NfsBackend inside the drive engine's connection pool: a connection that
// breaks is reported as a network failure, dropped, and made again on the
// same back-end object. Needs the server of nfs_backend_test.cpp.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "backends/ssh_nfs/nfs_backend.h"
#include "engine/connection_pool.h"

namespace tarn {
namespace {

namespace fs = std::filesystem;

TEST(NfsPoolTest, PoolReconnectsAfterDroppedConnection) {
  const char* host = std::getenv("TARN_NFS_HOST");
  const char* exportPath = std::getenv("TARN_NFS_EXPORT");
  const char* exportDir = std::getenv("TARN_NFS_EXPORT_DIR");
  ASSERT_TRUE(host != nullptr && exportPath != nullptr && exportDir != nullptr)
      << "TARN_NFS_HOST, TARN_NFS_EXPORT and TARN_NFS_EXPORT_DIR must be set (testing/servers/nfs_ganesha.sh)";
  EndpointConfig config;
  config.protocol = "nfs";
  config.host = host;
  config.root = exportPath;
  config.connectTimeoutMs = 5000;
  config.ioTimeoutMs = 10000;
  const std::string name = "pool-" + std::to_string(::getpid());
  const fs::path local = fs::path(exportDir) / name;
  std::ofstream(local) << "pooled";

  ConnectionPool pool([&config] { return MakeNfsBackend(config); }, 1);
  RetryPolicy policy;
  policy.maxAttempts = 3;
  policy.baseDelayMs = 10;
  policy.maxDelayMs = 20;

  int attempts = 0;
  RemoteAttr attr;
  Status s = pool.run(policy, nullptr, "", [&](IBackend& b) {
    if (++attempts == 1) dynamic_cast<NfsBackend&>(b).simulateNetworkFault();
    return b.stat("/" + name, attr);
  });
  EXPECT_TRUE(s.ok()) << s.toString();
  EXPECT_EQ(attempts, 2) << "one failed attempt, one after reconnecting";
  EXPECT_EQ(attr.size, 6u);

  // A connection that died while idle is found by the keepalive ping.
  {
    ConnectionPool::Lease lease;
    ASSERT_TRUE(pool.acquire(lease, nullptr, 1000).ok());
    dynamic_cast<NfsBackend&>(*lease.backend()).simulateNetworkFault();
  }
  pool.keepalive();
  EXPECT_FALSE(pool.anyConnected());
  attempts = 0;
  s = pool.run(policy, nullptr, "", [&](IBackend& b) {
    ++attempts;
    return b.stat("/" + name, attr);
  });
  EXPECT_TRUE(s.ok()) << s.toString();
  EXPECT_EQ(attempts, 1);
  fs::remove(local);
}

}  // namespace
}  // namespace tarn
