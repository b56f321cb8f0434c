// The server side of a block cache Fetcher for tests: serves `content`,
// records every request, and can fail a chosen call, deliver short, or hold
// its first call at a gate. The bytes are taken before the gate, as a real
// transfer would have them. Any thread may call the fetcher; a test sets
// the fields while no fetch runs, or under `mu`.
#pragma once

#include <cstdint>
#include <cstring>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "engine/cache_file.h"
#include "testing/gate.h"

namespace tarn::test {

struct FakeRemote {
  std::mutex mu;
  std::string content;                                  // guarded by mu
  std::vector<std::pair<uint64_t, uint64_t>> requests;  // guarded by mu
  Status failWith;                                      // guarded by mu
  int failOnCall = 0;                                   // guarded by mu; 1-based, 0 never
  uint64_t shortBy = 0;                                 // guarded by mu
  Gate* gate = nullptr;                                 // guarded by mu; first call only

  Fetcher fetcher() {
    return [this](CacheFile*, uint64_t off, uint8_t* buf, uint64_t len, uint64_t& got, const CancelToken*) {
      std::string bytes;
      Gate* g = nullptr;
      Status fail;
      {
        std::lock_guard<std::mutex> lock(mu);
        requests.emplace_back(off, len);
        if (failOnCall == static_cast<int>(requests.size())) fail = failWith;
        g = std::exchange(gate, nullptr);
        if (off < content.size()) bytes = content.substr(off, len - std::min(len, shortBy));
      }
      if (g != nullptr) g->arriveAndWait();
      if (!fail.ok()) return fail;
      std::memcpy(buf, bytes.data(), bytes.size());
      got = bytes.size();
      return Status();
    };
  }

  size_t calls() {
    std::lock_guard<std::mutex> lock(mu);
    return requests.size();
  }
};

}  // namespace tarn::test
