#include "backends/web/webdav_multistatus.h"

#include <gtest/gtest.h>

#include <string>

namespace tarn {
namespace {

std::string Reply(const std::string& responses) {
  return "<?xml version=\"1.0\" encoding=\"utf-8\"?><d:multistatus xmlns:d=\"DAV:\">" + responses +
         "</d:multistatus>";
}

std::string Member(const std::string& href, const std::string& status) {
  return "<d:response><d:href>" + href + "</d:href><d:status>HTTP/1.1 " + status + "</d:status></d:response>";
}

// What a 207 answer to COPY, MOVE or DELETE stands for: a failure of any
// member fails the request, and a reply that tells nothing is no success.
TEST(MultistatusOutcome, AnyFailureInsideIsTheAnswer) {
  struct Case {
    const char* what;
    std::string body;
    uint32_t outcome;
  } cases[] = {
      {"a refused target", Reply(Member("/dav/x", "412 Precondition Failed")), 412},
      {"every member done", Reply(Member("/dav/d/a", "204 No Content") + Member("/dav/d", "201 Created")), 200},
      {"a lock, and the folder that failed with it",
       Reply(Member("/dav/d", "424 Failed Dependency") + Member("/dav/d/a", "423 Locked")), 423},
      {"only a failed dependency", Reply(Member("/dav/d", "424 Failed Dependency")), 424},
      {"the first of two failures", Reply(Member("/dav/a", "403 Forbidden") + Member("/dav/b", "423 Locked")), 403},
      {"a status in a propstat",
       Reply("<d:response><d:href>/dav/x</d:href><d:propstat><d:prop/><d:status>HTTP/1.1 507 Insufficient "
             "Storage</d:status></d:propstat></d:response>"),
       507},
      {"a success beside a failure", Reply(Member("/dav/a", "201 Created") + Member("/dav/b", "409 Conflict")), 409},
      {"no member at all", Reply(""), 207},
      {"members without a status", Reply("<d:response><d:href>/dav/x</d:href></d:response>"), 207},
      {"another document", "<html><body>done</body></html>", 207},
      {"a cut reply", Reply(Member("/dav/x", "204 No Content")).substr(0, 60), 207},
      {"no body", "", 207},
  };
  for (const Case& c : cases) EXPECT_EQ(MultistatusOutcome(c.body), c.outcome) << c.what;
}

TEST(MultistatusOutcome, AnUnreadableReplyFailsTheCall) {
  DavResponse resp;
  resp.status = 207;
  resp.body = "<html/>";
  Status st = TakeMultistatusOutcome(resp, "COPY", "/x");
  EXPECT_EQ(st.code, Status::kProtocol);
  EXPECT_EQ(st.message, "COPY /x -> HTTP 207 (a multistatus reply that cannot be read)");
  resp.status = 207;
  resp.body = Reply(Member("/dav/x", "412 Precondition Failed"));
  ASSERT_TRUE(TakeMultistatusOutcome(resp, "COPY", "/x").ok());
  EXPECT_EQ(resp.status, 412u);
  // Other answers are left as they came.
  resp.status = 201;
  ASSERT_TRUE(TakeMultistatusOutcome(resp, "COPY", "/x").ok());
  EXPECT_EQ(resp.status, 201u);
}

}  // namespace
}  // namespace tarn
