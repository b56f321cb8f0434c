// RunProbe with the back-ends it makes: an unknown protocol, and the real
// WebDAV (Apache, nginx, lighttpd), SFTP and NFS test servers
// (testing/servers), each writable, with what the probe learns about it
// and warns of, left as it was found. A missing server variable fails the
// test.
#include <gtest/gtest.h>

#include <cstdlib>
#include <algorithm>
#include <functional>
#include <ostream>

#include "engine/probe.h"

namespace tarn {
namespace {

std::string Env(const char* name) {
  const char* v = std::getenv(name);
  if (v == nullptr || *v == '\0') {
    ADD_FAILURE() << name << " is not set: the probe tests need the servers of testing/servers";
    return {};
  }
  return v;
}

MountConfig Drive(const std::string& protocol) {
  MountConfig config;
  config.id = "probe";
  config.endpoint.protocol = protocol;
  config.net.connectTimeoutMs = 5000;
  config.net.ioTimeoutMs = 20000;
  return config;
}

struct Server {
  const char* name;
  std::function<MountConfig()> drive;
  // What the probe must find out about this server.
  bool randomWrite, setMtime;
  uint32_t maxNameBytes;
  // The checks that warn, in order: each about what does not work there.
  std::vector<std::string> warnings;
};

MountConfig DavDrive(const char* prefix) {
  MountConfig c = Drive("webdav");
  const std::string p = prefix;
  c.endpoint.host = Env((p + "URL").c_str());  // a link: validation takes it apart
  c.endpoint.user = Env((p + "USER").c_str());
  c.endpoint.password = Env((p + "PASSWORD").c_str());
  return c;
}

void PrintTo(const Server& server, std::ostream* out) { *out << server.name; }

const Server kServers[] = {
    // No WebDAV server here reports its free space or keeps times.
    {"webdav", [] { return DavDrive("TARN_DAV_"); }, false, false, 255, {"space", "mtime"}},
    {"nginx", [] { return DavDrive("TARN_DAV_NGINX_"); }, false, false, 255, {"space", "mtime"}},
    // lighttpd makes a file of a long name but refuses content under it.
    {"lighttpd", [] { return DavDrive("TARN_DAV_LIGHTTPD_"); }, false, false, 200, {"space", "mtime", "long-name"}},
    {"sftp",
     [] {
       MountConfig c = Drive("sftp");
       c.endpoint.host = Env("SFTP_HOST");
       c.endpoint.port = static_cast<uint32_t>(std::atoi(Env("SFTP_PORT").c_str()));
       c.endpoint.user = Env("SFTP_USER");
       c.endpoint.password = Env("SFTP_PASSWORD");
       c.endpoint.root = Env("SFTP_ROOT");
       return c;
     },
     true, true, 255, {}},
    {"nfs",
     [] {
       MountConfig c = Drive("nfs");
       c.endpoint.host = Env("TARN_NFS_HOST");
       c.endpoint.root = Env("TARN_NFS_EXPORT");
       return c;
     },
     true, true, 255, {}},
};

TEST(RunProbe, UnknownProtocolGivesOneFailure) {
  MountConfig config;
  config.endpoint.protocol = "ftp";
  config.endpoint.host = "example.org";
  ProbeReport report = RunProbe(config, nullptr);
  ASSERT_EQ(report.items.size(), 1u);
  EXPECT_EQ(report.items[0].check, "backend");
  EXPECT_EQ(report.items[0].level, ProbeItem::kFailure);
  EXPECT_EQ(report.items[0].message, "unknown protocol: ftp");
  EXPECT_FALSE(report.ok);
}

class ProbeServers : public ::testing::TestWithParam<Server> {};

TEST_P(ProbeServers, FindsWhatTheServerCanDoAndCleansUp) {
  const Server& server = GetParam();
  ProbeReport report = RunProbe(server.drive(), nullptr);
  const std::string text = report.toText();
  ASSERT_TRUE(report.ok) << text;
  EXPECT_TRUE(report.writable) << text;
  EXPECT_TRUE(report.caps.rangeRead);
  EXPECT_TRUE(report.caps.caseSensitive);
  EXPECT_EQ(report.caps.randomWrite, server.randomWrite);
  EXPECT_EQ(report.caps.setMtime, server.setMtime);
  EXPECT_EQ(report.caps.maxNameBytes, server.maxNameBytes);
  std::vector<std::string> warnings;
  for (const ProbeItem& item : report.items)
    if (item.level == ProbeItem::kWarning) warnings.push_back(item.check);
  EXPECT_EQ(warnings, server.warnings) << text;
  for (const char* check : {"connect", "list", "mkdir", "write", "stat", "range", "random-write", "rename"}) {
    bool okItem = false;
    for (const ProbeItem& item : report.items) okItem |= item.check == check && item.level == ProbeItem::kOk;
    EXPECT_TRUE(okItem) << check << "\n" << text;
  }
  ASSERT_FALSE(report.items.empty());
  EXPECT_EQ(report.items.back().check, "cleanup");
  EXPECT_EQ(report.items.back().message, "scratch directory removed");

  // The two forms carry the same findings.
  EXPECT_EQ(static_cast<size_t>(std::count(text.begin(), text.end(), '\n')), report.items.size());
  vx::json::Value json;
  ASSERT_TRUE(vx::json::Parse(report.toJson().dump(), json));
  EXPECT_TRUE(json["ok"].asBool());
  EXPECT_EQ(json["items"].size(), report.items.size());
  EXPECT_EQ(json["caps"]["randomWrite"].asBool(), report.caps.randomWrite);
  EXPECT_EQ(json["caps"]["setMtime"].asBool(), report.caps.setMtime);
}

INSTANTIATE_TEST_SUITE_P(Real, ProbeServers, ::testing::ValuesIn(kServers),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tarn
