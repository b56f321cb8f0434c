// What the SFTP back-end's calls cost in requests, counted by a server that
// logs each one: a drive pays them for every small file it stores.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "backends/ssh_nfs/sftp_backend.h"
#include "backends/ssh_nfs/sftp_test_server.h"
#include "testing/backend_transfer.h"

namespace tarn {
namespace {

using Requests = std::vector<std::string>;

class SftpRequests : public ::testing::Test {
 protected:
  void SetUp() override {
    EndpointConfig cfg = server_.endpoint();
    cfg.root += "/" + sftp_test::MakeTestFolder();
    b_ = std::make_unique<SftpBackend>(cfg);
    Status st = b_->connect();
    ASSERT_TRUE(st.ok()) << st.toString();
    // The first object made in a folder on a connection tidies the folder.
    ASSERT_TRUE(b_->create("/warm").ok());
    server_.takeRequests();
  }

  sftp_test::RequestLogSshd server_;
  std::unique_ptr<SftpBackend> b_;
};

// A drive stores a new small file as: a look that misses, create, the
// bytes, a look at the result and its modification time. Setting the time
// keeps the access time that the look just before it found.
TEST_F(SftpRequests, SmallFileFromLookToTimesSet) {
  const auto data = test::Pattern(4000, 5);
  RemoteAttr attr;
  EXPECT_EQ(b_->stat("/small", attr).code, Status::kNotFound);
  ASSERT_TRUE(b_->create("/small").ok());
  ASSERT_TRUE(b_->writeAt("/small", 0, data.data(), data.size()).ok());
  ASSERT_TRUE(b_->stat("/small", attr).ok());
  const Timestamp mtime{1600000000, 0};
  ASSERT_TRUE(b_->setTimes("/small", mtime, Timestamp()).ok());
  EXPECT_EQ(server_.takeRequests(),
            (Requests{"lstat", "open", "close", "open", "write", "close", "lstat", "setstat"}));

  RemoteAttr after;
  ASSERT_TRUE(b_->stat("/small", after).ok());
  EXPECT_EQ(after.mtime.seconds, mtime.seconds);
  EXPECT_EQ(after.atime.seconds, attr.atime.seconds);
  EXPECT_EQ(after.size, data.size());
}

// Only a look at the same path, as the call right before, stands in for
// setTimes' own; a look after another call or at another path is stale.
TEST_F(SftpRequests, SetTimesLooksWhenTheLastLookIsNotItsOwn) {
  ASSERT_TRUE(b_->create("/a").ok());
  ASSERT_TRUE(b_->create("/b").ok());
  const Timestamp atime{1500000000, 0};
  ASSERT_TRUE(b_->setTimes("/a", Timestamp{1500000000, 0}, atime).ok());
  server_.takeRequests();

  struct Case {
    const char* name;
    std::function<void()> before;
    Requests requests;
  } cases[] = {
      {"look at another path", [&] { RemoteAttr x; (void)b_->stat("/b", x); }, {"lstat", "stat", "setstat"}},
      {"a call between", [&] { RemoteAttr x; (void)b_->stat("/a", x); (void)b_->create("/c"); },
       {"lstat", "open", "close", "stat", "setstat"}},
      {"a look on an earlier connection",
       [&] {
         RemoteAttr x;
         (void)b_->stat("/a", x);
         b_->disconnect();
         ASSERT_TRUE(b_->connect().ok());
       },
       {"lstat", "stat", "stat", "setstat"}},
  };
  int64_t mtime = 1600000000;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    c.before();
    ASSERT_TRUE(b_->setTimes("/a", Timestamp{++mtime, 0}, Timestamp()).ok());
    EXPECT_EQ(server_.takeRequests(), c.requests);
    RemoteAttr a;
    ASSERT_TRUE(b_->stat("/a", a).ok());
    EXPECT_EQ(a.atime.seconds, atime.seconds);
    EXPECT_EQ(a.mtime.seconds, mtime);
    server_.takeRequests();
  }
}

}  // namespace
}  // namespace tarn
