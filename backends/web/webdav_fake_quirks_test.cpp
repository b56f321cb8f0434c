// Answers of WebDAV servers that the suite's real servers never give, from
// our fake server: 207 answers to COPY, MOVE and DELETE, locked members.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "backends/web/webdav_backend.h"
#include "testing/backend_transfer.h"
#include "testing/fake_dav/fake_dav_process.h"

namespace tarn {
namespace {

using tarn::testing::FakeDavProcess;
using test::Pattern;
using test::ReadStream;
using test::Upload;

std::unique_ptr<WebDavBackend> Connected(const FakeDavProcess& fake) {
  auto b = std::make_unique<WebDavBackend>(test::TestEndpoint("webdav", fake.plainUrl(), "alice", "pw"));
  Status st = b->connect();
  EXPECT_TRUE(st.ok()) << st.toString();
  return b;
}

// A 207 stands for the statuses it holds: a refusal inside fails the call
// with that refusal's meaning, and all successes are a success, whatever
// the call.
TEST(FakeDavQuirks, MultistatusAnswersStandForTheStatusesInside) {
  FakeDavProcess fake({"--multistatus", "--copy", "--locked", "/plain/d/locked"});
  auto b = Connected(fake);
  ASSERT_TRUE(b->mkdir("/d").ok());
  ASSERT_TRUE(b->mkdir("/d/e").ok());
  ASSERT_TRUE(Upload(*b, "/d/locked", Pattern(5, 1)).ok());
  const auto theirs = Pattern(7, 2);
  ASSERT_TRUE(Upload(*b, "/theirs", theirs).ok());
  ASSERT_TRUE(Upload(*b, "/a", Pattern(3, 3)).ok());
  struct Case {
    const char* what;
    std::function<Status()> call;
    int32_t code;
  } cases[] = {
      {"create over another client's file", [&] { return b->create("/theirs"); }, Status::kExists},
      {"create of a new name", [&] { return b->create("/new"); }, Status::kOk},
      {"move onto a file without overwrite", [&] { return b->rename("/a", "/theirs", false); }, Status::kExists},
      {"move onto a new name", [&] { return b->rename("/a", "/b", false); }, Status::kOk},
      {"delete of a locked file", [&] { return b->remove("/d/locked", false); }, Status::kBusy},
      {"delete of a file", [&] { return b->remove("/b", false); }, Status::kOk},
      {"move of a folder holding a locked file", [&] { return b->rename("/d", "/moved", false); }, Status::kBusy},
  };
  for (const Case& c : cases) {
    Status st = c.call();
    EXPECT_EQ(st.code, c.code) << c.what << ": " << st.toString();
  }
  EXPECT_EQ(ReadStream(*b, "/theirs"), theirs);
  RemoteAttr attr;
  EXPECT_TRUE(b->stat("/d/locked", attr).ok());
  EXPECT_TRUE(b->stat("/new", attr).ok());
  EXPECT_EQ(b->stat("/b", attr).code, Status::kNotFound);
}

}  // namespace
}  // namespace tarn
