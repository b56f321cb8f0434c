#include "testing/heap_peak.h"

#include <malloc.h>

#include <algorithm>
#include <cstddef>

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define TARN_COUNTED_HEAP 1
extern "C" int __sanitizer_install_malloc_and_free_hooks(void (*onMalloc)(const volatile void*, size_t),
                                                         void (*onFree)(const volatile void*));
extern "C" size_t __sanitizer_get_allocated_size(const volatile void* p);
#endif

namespace tarn::test {
namespace {

std::atomic<int64_t> gPeak{0};

void RaisePeak(int64_t now) {
  int64_t peak = gPeak.load();
  while (now > peak && !gPeak.compare_exchange_weak(peak, now)) {
  }
}

#if defined(TARN_COUNTED_HEAP)
std::atomic<int64_t> gHeld{0};

// Every allocation and release is counted as it happens, so the peak cannot
// slip between two samples. Blocks from before the hooks are subtracted when
// they go, which can only lower the figure by what was held at the start.
void CountMalloc(const volatile void*, size_t size) {
  RaisePeak(gHeld.fetch_add(static_cast<int64_t>(size)) + static_cast<int64_t>(size));
}

void CountFree(const volatile void* p) { gHeld.fetch_sub(static_cast<int64_t>(__sanitizer_get_allocated_size(p))); }
#endif

}  // namespace

HeapPeak::HeapPeak() {
#if defined(TARN_COUNTED_HEAP)
  [[maybe_unused]] static const int installed = __sanitizer_install_malloc_and_free_hooks(CountMalloc, CountFree);
  base_ = gHeld.load();
  gPeak = base_;
#else
  base_ = static_cast<int64_t>(mallinfo2().uordblks);
  gPeak = base_;
  sampler_ = std::thread([this] {
    while (!done_.load()) {
      RaisePeak(static_cast<int64_t>(mallinfo2().uordblks));
      std::this_thread::yield();
    }
  });
#endif
}

HeapPeak::~HeapPeak() {
  done_ = true;
  if (sampler_.joinable()) sampler_.join();
}

uint64_t HeapPeak::peak() const { return static_cast<uint64_t>(std::max<int64_t>(gPeak.load() - base_, 0)); }

}  // namespace tarn::test
