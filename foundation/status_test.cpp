#include "foundation/status.h"

#include <gtest/gtest.h>

namespace tarn {
namespace {

// The native number is for programs: users read words, and a message that
// needs a number says it itself ("HTTP 405").
TEST(Status, TextsJoinCodeAndMessageWithoutTheNativeNumber) {
  struct Case {
    Status status;
    const char* text;
    const char* words;
  } cases[] = {
      {Status(), "ok", "done"},
      {Status(1, "no such file", 404), "not-found: no such file", "no such file"},
      {Status(2, "PROPFIND / -> HTTP 405", 405), "exists: PROPFIND / -> HTTP 405", "PROPFIND / -> HTTP 405"},
      {Status(16, ""), "canceled", "canceled"},
      {Status(14, "", 12029), "network", "network failure"},
      {Status(17, "", -1), "io", "input/output error"},
      {Status(10, "bad name"), "invalid: bad name", "bad name"},
      {Status(1, "/d/e.txt", 2), "not-found: /d/e.txt", "/d/e.txt: not found"},
      {Status(19, ""), "?", "?"},
      {Status(1, "deleted"), "not-found: deleted", "deleted"},
      {Status(-1, "x"), "?: x", "x"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(c.status.toString(), c.text);
    EXPECT_EQ(c.status.words(), c.words);
  }
}

TEST(Status, TextWordsLeaveOutOnlyALeadingCode) {
  struct Case {
    const char* text;
    const char* words;
  } cases[] = {
      {"auth-failed: credentials rejected", "credentials rejected"},
      {"network: send: Connection refused", "send: Connection refused"},
      {"the drive is not saved: not-found: /x", "the drive is not saved: not-found: /x"},
      {"ok: 3 files", "ok: 3 files"},
      {"not-found", "not-found"},
      {"timeout: ", "timeout: "},
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(StatusTextWords(c.text), c.words) << c.text;
}

// Callers decide on retries by retryable() alone.
TEST(Status, OnlyNetworkAndTimeoutAreRetried) {
  for (int32_t code = -1; code <= 19; ++code)
    EXPECT_EQ(Status(code, "").retryable(), code == Status::kNetwork || code == Status::kTimeout) << code;
}

TEST(Timestamp, FileTimeAndTimespecConversions) {
  EXPECT_TRUE(Timestamp::fromFileTime(0).isZero());
  EXPECT_EQ(Timestamp().toFileTime(), 0u);
  // The epoch itself cannot be told from the zero timestamp.
  Timestamp epoch = Timestamp::fromFileTime(Timestamp::kUnixEpochFileTime);
  EXPECT_TRUE(epoch.isZero());
  EXPECT_EQ(epoch.toFileTime(), 0u);

  Timestamp before = Timestamp::fromFileTime(Timestamp::kUnixEpochFileTime - 1);
  EXPECT_EQ(before.seconds, -1);
  EXPECT_EQ(before.nanoseconds, 999999900u);
  EXPECT_EQ(before.toFileTime(), Timestamp::kUnixEpochFileTime - 1);
  EXPECT_EQ(Timestamp::fromFileTime(133000000001234567ULL).toFileTime(), 133000000001234567ULL);
  EXPECT_EQ(Timestamp::fromFileTime(1).seconds, -11644473600);

  Timestamp t = Timestamp::fromTimespec(5, 123456789);  // truncated to 100 ns
  EXPECT_EQ(t.seconds, 5);
  EXPECT_EQ(t.nanoseconds, 123456700u);
  EXPECT_GT(Timestamp::now().seconds, 1600000000);
}

TEST(FormatBytes, UnitsAndRounding) {
  struct Case {
    uint64_t bytes;
    const char* text;
  } cases[] = {
      {0, "0 B"},
      {1023, "1023 B"},
      {1024, "1.0 KiB"},
      {1536, "1.5 KiB"},
      {1048575, "1024.0 KiB"},
      {1048576, "1.0 MiB"},
      {1ULL << 50, "1.0 PiB"},
      {1ULL << 60, "1024.0 PiB"},  // stays in PiB past 1024
      {UINT64_MAX, "16384.0 PiB"},
  };
  for (const auto& c : cases) EXPECT_EQ(FormatBytes(c.bytes), c.text) << c.bytes;
}

}  // namespace
}  // namespace tarn
