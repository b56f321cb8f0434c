// The server's key exchange offer is read from untrusted bytes.
#include "backends/ssh_nfs/ssh_kex_probe.h"

#include <gtest/gtest.h>

namespace tarn {
namespace {

std::string List(const std::string& names) {
  const uint32_t n = uint32_t(names.size());
  return std::string{char(n >> 24), char(n >> 16), char(n >> 8), char(n)} + names;
}

TEST(SshKexProbe, HostKeyOffersAreReadWithinTheirMessage) {
  const std::string head = std::string(1, char(20)) + std::string(16, 'c');
  struct Case {
    const char* what;
    std::string payload;
    bool ok;
    std::vector<std::string> keys;
  } cases[] = {
      {"an offer", head + List("curve25519-sha256") + List("rsa-sha2-512,rsa-sha2-256") + List("aes128-ctr"), true,
       {"rsa-sha2-512", "rsa-sha2-256"}},
      {"empty names skipped", head + List("k") + List(",a,,b,"), true, {"a", "b"}},
      {"no host keys", head + List("k") + List(""), true, {}},
      {"another message", std::string(1, char(21)) + std::string(16, 'c') + List("k") + List("a"), false, {}},
      {"short cookie", std::string(1, char(20)) + std::string(5, 'c'), false, {}},
      {"list longer than the message", head + List("k") + List("abc").substr(0, 6), false, {}},
      {"length past the end", head + std::string("\xff\xff\xff\xff", 4), false, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<std::string> keys{"stale"};
    EXPECT_EQ(ParseKexInitHostKeys(c.payload, keys), c.ok);
    if (c.ok) {
      EXPECT_EQ(keys, c.keys);
    }
  }
}

}  // namespace
}  // namespace tarn
