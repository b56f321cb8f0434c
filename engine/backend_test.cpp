#include "engine/backend.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "testing/memory_backend.h"

namespace tarn {
namespace {

// The base's read of one copy, on a server whose stat names files by id:
// the bytes while the path holds that file (also changed in place), a
// conflict once another file took the name or the name is gone. The
// in-memory back-end's own readCopy is left aside.
TEST(BackendReadCopy, TheBaseReadsACopyWhileThePathHoldsItsFile) {
  auto server = std::make_shared<test::MemoryServer>();
  std::unique_ptr<test::MemoryBackend> b = server->connection();
  ASSERT_TRUE(b->connect().ok());
  server->putFile("/f", "first copy");
  RemoteAttr copy;
  ASSERT_TRUE(b->stat("/f", copy).ok());
  auto read = [&](Status* st) {
    std::string out(5, '\0');
    uint64_t got = 0;
    *st = b->IBackend::readCopy("/f", copy, 6, reinterpret_cast<uint8_t*>(out.data()), out.size(), got);
    out.resize(got);
    return out;
  };
  Status st;
  EXPECT_EQ(read(&st), "copy");
  EXPECT_TRUE(st.ok()) << st.toString();
  server->putFile("/f", "same file");  // in place: the same id
  EXPECT_EQ(read(&st), "ile");
  EXPECT_TRUE(st.ok()) << st.toString();
  server->putFile("/g", "another one");
  ASSERT_TRUE(b->rename("/g", "/f", true).ok());
  EXPECT_EQ(read(&st), "");
  EXPECT_EQ(st.code, Status::kConflict);
  ASSERT_TRUE(b->remove("/f", false).ok());
  EXPECT_EQ(read(&st), "");
  EXPECT_EQ(st.code, Status::kConflict);
}

// Without file ids the version text tells copies apart, and without that
// the size and the time.
TEST(BackendReadCopy, CopiesAreToldApartByIdThenVersionThenSizeAndTime) {
  RemoteAttr a;
  a.size = 10;
  a.mtime = Timestamp{100, 0};
  a.etag = "e1";
  a.fileId = 7;
  struct Case {
    const char* what;
    void (*change)(RemoteAttr&);
    bool same;
  } cases[] = {
      {"unchanged", [](RemoteAttr&) {}, true},
      {"changed in place", [](RemoteAttr& r) { r.etag = "e2", r.size = 11; }, true},
      {"another file", [](RemoteAttr& r) { r.fileId = 8; }, false},
      {"another version, no ids", [](RemoteAttr& r) { r.fileId = 0, r.etag = "e2"; }, false},
      {"same version, no ids", [](RemoteAttr& r) { r.fileId = 0, r.mtime = Timestamp{200, 0}; }, true},
      {"no versions, another time", [](RemoteAttr& r) { r.fileId = 0, r.etag.clear(), r.mtime = Timestamp{100, 1}; },
       false},
      {"no versions, another size", [](RemoteAttr& r) { r.fileId = 0, r.etag.clear(), r.size = 9; }, false},
      {"no versions, same size and time", [](RemoteAttr& r) { r.fileId = 0, r.etag.clear(); }, true},
      {"a folder now", [](RemoteAttr& r) { r.type = RemoteAttr::kDirectory; }, false},
  };
  for (const Case& c : cases) {
    RemoteAttr now = a;
    c.change(now);
    RemoteAttr copy = a;
    if (now.fileId == 0) copy.fileId = 0;
    if (now.etag.empty()) copy.etag.clear();
    EXPECT_EQ(SameServerCopy(copy, now), c.same) << c.what;
  }
}

}  // namespace
}  // namespace tarn
