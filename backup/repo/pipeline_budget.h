// The bytes a repository's store pipeline holds, and a store's wait for
// room. A blob's bytes enter when a store hands it on and stay counted until
// its pack's upload ends, in three stages: the seal stage (its plaintext,
// then its sealed form, until it is appended), an open pack, and a closed
// pack queued or uploading. Only a store waits: the stages behind it free
// what it waits for, so a closing pack is counted at once and never waits
// here. As bytes enter only through a store, what the pipeline holds stays
// within the limit but for one blob let in alone.
//
// Owned by the repository and used by all its threads. Its mutex is a leaf:
// nothing else is called while it is held, so any of the repository's locks
// may be held around a call.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace tarn::backup {

class PipelineBudget {
 public:
  explicit PipelineBudget(uint64_t limit) : limit_(limit) {}
  PipelineBudget(const PipelineBudget&) = delete;
  PipelineBudget& operator=(const PipelineBudget&) = delete;

  // Lets `bytes` into the seal stage when fits() says so. Otherwise waits
  // up to `slice` for room and returns false when there was none then, so
  // that the caller can look for a cancellation between slices.
  bool admit(uint64_t bytes, std::chrono::milliseconds slice);
  // Whether a store of `bytes` is let in now: when they fit beside what is
  // held, or when nothing but open packs holds anything, since those fill
  // only by what is let in.
  bool fits(uint64_t bytes) const;

  // A blob let in as `admitted` bytes left the seal stage: appended to an
  // open pack as `stored` bytes, or dropped (stored 0).
  void appended(uint64_t admitted, uint64_t stored);
  // An open pack that held `open` bytes closed as a pack of `closed` bytes
  // (its header added), or was discarded (closed 0).
  void closed(uint64_t open, uint64_t closed);
  // A closed pack of `closed` bytes is done with: uploaded, or dropped.
  void uploaded(uint64_t closed);

  uint64_t limit() const { return limit_; }
  uint64_t held() const;
  // Stores waiting for room now.
  int waiting() const;
  // Waits up to `timeout` until at least `stores` stores wait for room.
  bool waitForWaiting(int stores, std::chrono::milliseconds timeout) const;

 private:
  bool fitsLocked(uint64_t bytes) const;

  const uint64_t limit_;
  mutable std::mutex mu_;
  // Room was freed, or a store began to wait.
  mutable std::condition_variable changed_;
  uint64_t sealing_ = 0;  // guarded by mu_; let in, not yet appended
  uint64_t open_ = 0;     // guarded by mu_; appended to open packs
  uint64_t closed_ = 0;   // guarded by mu_; closed packs not done with
  int waiting_ = 0;       // guarded by mu_
};

}  // namespace tarn::backup
