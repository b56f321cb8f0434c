// The most heap a process held above its size at a starting point, for
// tests that bound what hostile input may make the code under test allocate.
// One at a time per process; the allocations of every thread count.
#pragma once

#include <atomic>
#include <cstdint>
#include <thread>

namespace tarn::test {

class HeapPeak {
 public:
  HeapPeak();
  ~HeapPeak();
  HeapPeak(const HeapPeak&) = delete;
  HeapPeak& operator=(const HeapPeak&) = delete;

  // The peak so far, in bytes above the start.
  uint64_t peak() const;

 private:
  int64_t base_ = 0;
  // Without a sanitizer's allocator to count each allocation, a thread
  // samples the heap, and may miss a short peak.
  std::atomic<bool> done_{false};
  std::thread sampler_;
};

}  // namespace tarn::test
