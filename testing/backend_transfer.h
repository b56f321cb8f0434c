// Test support for the back-end tests against real and fake servers:
// reproducible file contents, an endpoint with the tests' time-outs, and
// whole-file uploads and stream reads through any back-end. Header-only, so
// that only tests link it; one test thread uses it at a time.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "engine/backend.h"

namespace tarn::test {

inline std::vector<uint8_t> Pattern(size_t size, uint32_t seed = 0) {
  std::vector<uint8_t> v(size);
  std::mt19937 gen(seed);
  for (auto& b : v) b = static_cast<uint8_t>(gen());
  return v;
}

inline EndpointConfig TestEndpoint(const std::string& protocol, const std::string& host, const std::string& user,
                                   const std::string& password) {
  EndpointConfig ep;
  ep.protocol = protocol;
  ep.host = host;
  ep.user = user;
  ep.password = password;
  ep.connectTimeoutMs = 5000;
  ep.ioTimeoutMs = 20000;
  return ep;
}

// Writes of `piece` bytes straddle the back-end's own sends.
inline Status Upload(IBackend& b, const std::string& path, const std::vector<uint8_t>& data,
                     RemoteAttr* out = nullptr, size_t piece = 3 * 1024 * 1024 + 11) {
  std::unique_ptr<IWriteStream> w;
  Status st = b.openWrite(path, 0, data.size(), w);
  for (size_t at = 0; st.ok() && at < data.size(); at += piece)
    st = w->write(data.data() + at, std::min(piece, data.size() - at));
  return st.ok() ? w->finish(out) : st;
}

// What a stream from `offset` delivers up to the end; a failure fails the test.
inline std::vector<uint8_t> ReadStream(IBackend& b, const std::string& path, uint64_t offset = 0,
                                       size_t piece = 65536) {
  std::unique_ptr<IReadStream> r;
  Status st = b.openRead(path, offset, r);
  std::vector<uint8_t> out, buf(piece);
  for (uint64_t got = 1; st.ok() && got > 0;) {
    st = r->read(buf.data(), buf.size(), got);
    if (st.ok()) out.insert(out.end(), buf.begin(), buf.begin() + static_cast<long>(got));
  }
  EXPECT_TRUE(st.ok()) << st.message;
  return out;
}

}  // namespace tarn::test
