#include "engine/backend_factory.h"

#include <gtest/gtest.h>

#include <functional>

#include "backends/ssh_nfs/nfs_backend.h"
#include "backends/ssh_nfs/sftp_backend.h"
#include "backends/web/s3_backend.h"
#include "backends/web/webdav_backend.h"

namespace tarn {
namespace {

EndpointConfig Endpoint(const std::string& protocol) {
  EndpointConfig config;
  config.protocol = protocol;
  config.host = "127.0.0.1";
  config.port = 1;
  config.root = "/data";
  config.user = "u";
  config.password = "p";
  config.extra = "uid=1";
  config.ioTimeoutMs = 1234;
  return config;
}

TEST(MakeBackend, EachProtocolGetsItsOwnUnconnectedBackend) {
  struct Case {
    const char* protocol;
    std::function<bool(IBackend*)> isItsClass;
  } cases[] = {
      {"webdav", [](IBackend* b) { return dynamic_cast<WebDavBackend*>(b) != nullptr; }},
      {"sftp", [](IBackend* b) { return dynamic_cast<SftpBackend*>(b) != nullptr; }},
      {"nfs", [](IBackend* b) { return dynamic_cast<NfsBackend*>(b) != nullptr; }},
      {"s3", [](IBackend* b) { return dynamic_cast<S3Backend*>(b) != nullptr; }},
  };
  for (const Case& c : cases) {
    std::string error = "untouched";
    EndpointConfig config = Endpoint(c.protocol);
    std::unique_ptr<IBackend> backend = MakeBackend(config, &error);
    ASSERT_NE(backend, nullptr) << c.protocol;
    EXPECT_TRUE(c.isItsClass(backend.get())) << c.protocol;
    EXPECT_FALSE(backend->isConnected()) << c.protocol;
    EXPECT_EQ(error, "untouched") << c.protocol;
    // The back-end keeps its own copy of the whole endpoint.
    config.root = "/changed";
    EXPECT_EQ(backend->config().root, "/data") << c.protocol;
    EXPECT_EQ(backend->config().ioTimeoutMs, 1234u) << c.protocol;
    EXPECT_EQ(backend->config().extra, "uid=1") << c.protocol;
  }
}

TEST(MakeBackend, UnknownProtocolsGiveNoBackend) {
  for (const char* protocol : {"WebDAV", "S3", " nfs", "nfs ", "", "memory", "ftp"}) {
    std::string error;
    EXPECT_EQ(MakeBackend(Endpoint(protocol), &error), nullptr) << "'" << protocol << "'";
    EXPECT_EQ(error, std::string("unknown protocol: ") + protocol);
    EXPECT_EQ(MakeBackend(Endpoint(protocol), nullptr), nullptr) << "'" << protocol << "'";
  }
}

}  // namespace
}  // namespace tarn
