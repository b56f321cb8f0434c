#include "client/drive_link.h"

#include <gtest/gtest.h>

#include <string>

namespace tarn::app {
namespace {

MountStatus Drive(std::string protocol, std::string host, uint32_t port, std::string root, std::string user = "",
                  bool tls = true) {
  MountStatus m;
  m.protocol = std::move(protocol);
  m.host = std::move(host);
  m.port = port;
  m.root = std::move(root);
  m.user = std::move(user);
  m.tls = tls;
  return m;
}

TEST(DriveLink, TheLinkKeepsSchemePortAndTheLoginOfItsKind) {
  struct Case {
    MountStatus drive;
    const char* link;
  };
  const Case cases[] = {
      {Drive("webdav", "dav.example.com", 0, "/files", "ann"), "https://dav.example.com/files"},
      {Drive("webdav", "dav.example.com", 443, "/files"), "https://dav.example.com/files"},
      {Drive("webdav", "127.0.0.1", 8081, "/dav", "", false), "http://127.0.0.1:8081/dav"},
      {Drive("webdav", "127.0.0.1", 8082, "/dav", "", false), "http://127.0.0.1:8082/dav"},
      {Drive("webdav", "127.0.0.1", 80, "/dav", "", false), "http://127.0.0.1/dav"},
      {Drive("webdav", "dav.example.com", 8443, "/My Files"), "https://dav.example.com:8443/My%20Files"},
      {Drive("webdav", "::1", 8443, "/dav"), "https://[::1]:8443/dav"},
      {Drive("webdav", "https://cloud.example.com:9443/remote.php/dav/files/ann", 0, ""),
       "https://cloud.example.com:9443/remote.php/dav/files/ann"},
      {Drive("sftp", "host.example", 2222, "/home/ann", "ann"), "sftp://ann@host.example:2222/home/ann"},
      {Drive("sftp", "host.example", 22, "", "ann"), "sftp://ann@host.example"},
      {Drive("sftp", "host.example", 0, "home/ann", "ann"), "sftp://ann@host.example/home/ann"},
      {Drive("nfs", "10.0.0.5", 0, "/export/team"), "nfs://10.0.0.5/export/team"},
      {Drive("nfs", "10.0.0.5", 20490, "/export"), "nfs://10.0.0.5:20490/export"},
      {Drive("webdav", "ftp://old.example", 0, "/x"), "ftp://old.example/x"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.link);
    EXPECT_EQ(DriveLink(c.drive), c.link);
  }
}

}  // namespace
}  // namespace tarn::app
