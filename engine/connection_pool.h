// A fixed set of back-end connections to one endpoint, lent out one
// operation at a time. Shared by a drive (or a backup repository) and every
// thread that reaches its server; any thread may call every operation. A
// leased back-end belongs to the lease holder's thread alone, which is what
// lets back-ends go without locks. The pool must outlive every lease and
// every run in progress.
//
// The pool also keeps what the last calls saw of the server: silent after a
// call that ended for lack of an answer (a time-out), answering again after
// any answer; usable after a connect made or a call answered, not after a
// connect failed or a call timed out. Calls made through run and connects
// are counted by the pool; a holder of a lease counts its own calls
// (noteOutcome).
//
// A lease can live long: a sequential read stream (IBackend::openRead) keeps
// the lease it was opened on for its whole life, since the stream belongs to
// that back-end object. Whoever destroys the pool (a stopping volume) must
// close such streams first; the destructor waits for every lease to return.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "engine/backend.h"
#include "foundation/cancel_token.h"
#include "foundation/retry.h"
#include "foundation/status.h"

namespace tarn {

// The message of a call that its deadline ended while it waited on the server.
inline constexpr const char* kNoAnswerInTime = "no answer from the server in time";
// The message of a call not sent because the server stopped answering.
inline constexpr const char* kServerSilent = "the server is not answering";

class ConnectionPool {
 public:
  using Factory = std::function<std::unique_ptr<IBackend>()>;
  using Operation = std::function<Status(IBackend&)>;
  // Told of each failed attempt that the loop goes on after, connects
  // included: a caller that keeps trying may show why it waits.
  using FailureObserver = std::function<void(const Status&)>;

  // How long run waits for a free connection (less when the call's retry
  // budget ends sooner), and the longest single wait on the condition
  // variable, so that cancellation and closing are seen without a
  // notification.
  static constexpr uint32_t kRunAcquireTimeoutMs = 60000;
  static constexpr uint32_t kWaitSliceMs = 200;

  // One leased slot. Moved, never copied; resetting or destroying a lease
  // that holds a slot gives the slot back.
  class Lease {
   public:
    Lease() = default;
    ~Lease() { reset(); }
    Lease(Lease&& other) noexcept { *this = std::move(other); }
    Lease& operator=(Lease&& other) noexcept;
    Lease(const Lease&) = delete;
    Lease& operator=(const Lease&) = delete;

    void reset();
    IBackend* backend() const { return backend_; }
    IBackend* operator->() const { return backend_; }
    size_t slot() const { return slot_; }
    explicit operator bool() const { return backend_ != nullptr; }

   private:
    friend class ConnectionPool;
    ConnectionPool* pool_ = nullptr;
    size_t slot_ = 0;
    IBackend* backend_ = nullptr;
  };

  // max(size, 1) empty slots; nothing is made or connected yet. The acquire
  // time-out of run is a parameter so that tests need not wait a minute.
  ConnectionPool(Factory factory, int size, uint32_t runAcquireTimeoutMs = kRunAcquireTimeoutMs);
  // Wakes waiters with "pool closing", then waits for leases still held by
  // other threads to come back before the back-ends go. Never call it while
  // the calling thread holds a lease of this pool.
  ~ConnectionPool();
  ConnectionPool(const ConnectionPool&) = delete;
  ConnectionPool& operator=(const ConnectionPool&) = delete;

  // Lends one connected back-end, waiting at most timeoutMs for a free slot.
  Status acquire(Lease& lease, const CancelToken* cancel, uint32_t timeoutMs);
  void release(size_t slot);

  // One remote operation under the retry loop, reconnecting the same leased
  // back-end after network failures and time-outs. The label names the
  // operation in warnings (empty: no warnings). A token with a deadline
  // bounds the loop's budget, and a loop its deadline ends is a time-out.
  Status run(const RetryPolicy& policy, const CancelToken* cancel, std::string_view label, const Operation& op,
             const FailureObserver& failed = nullptr);

  // What a server call's result says of the server: a time-out makes it
  // silent, any answer (success or a refusal the server sent) makes it
  // answering; failures to reach it at all and cancellations say nothing.
  // `connecting`: the result of a connect, which leaves the server unusable
  // when it failed in any way. A call on a connection made earlier that
  // fails to reach the server does not: the server may have closed that
  // connection while it stood idle, and the reconnect after it tells.
  void noteOutcome(const Status& status, bool connecting = false);
  bool silent() const { return silent_.load(std::memory_order_acquire); }
  // The drive can use the server, as far as the last outcome that tells
  // says; false before any.
  bool usable() const { return usable_.load(); }
  // How many times the server became usable after it was not: a failure
  // seen before the count moved belongs to a state that has ended.
  uint64_t returns() const { return returns_.load(); }
  // On: while the server is silent, run ends at once as timed out, before
  // or after its wait for a connection, and acquire fails so where it
  // would have to connect; only probe asks the server then.
  void refuseWhileSilent(bool on) { refuseWhileSilent_.store(on, std::memory_order_release); }
  // On, with refuseWhileSilent: the call that finds the server silent ends
  // the calls in flight on the other connections too (as timed out, like
  // those refused), rather than each waiting out its own time-out. Set it
  // before the first call.
  void endCallsWhenSilent(bool on) { endCallsWhenSilent_.store(on, std::memory_order_release); }
  // One ping under the policy, connecting where needed even while the
  // server is silent; a ping that cannot reach the server on a connection
  // made earlier goes again on a new one. Its outcome counts like any other.
  Status probe(const RetryPolicy& policy, const CancelToken* cancel);

  // Pings idle open connections and drops the dead ones.
  void keepalive();
  // Disconnects every idle back-end so that the next use reconnects.
  void disconnectIdle();
  bool anyConnected();
  // Threads inside acquire's wait for a slot.
  int waiting();
  // A slot is free now: an acquire would not wait.
  bool anyFree();
  size_t size() const { return slots_.size(); }

 private:
  struct Slot {
    std::unique_ptr<IBackend> backend;
    bool busy = false;
    // isConnected as last seen by the pool; stands in for a busy back-end,
    // which only its lease holder may touch.
    bool connected = false;
  };

  // Frees the slot and records the back-end's state for anyConnected.
  void releaseSlot(size_t slot, bool connected);
  // refuseWhileSilent is on and the server silent.
  bool refusing() const { return refuseWhileSilent_.load(std::memory_order_acquire) && silent(); }
  // acquire and run, for a probe (connects whatever the server's state) or not.
  Status acquireSlot(Lease& lease, const CancelToken* cancel, uint32_t timeoutMs, bool probe);
  Status runOn(const RetryPolicy& policy, const CancelToken* cancel, std::string_view label, const Operation& op,
               bool probe, const FailureObserver& failed = nullptr);

  Factory factory_;
  const uint32_t runAcquireTimeoutMs_;
  std::mutex mu_;
  std::condition_variable freed_;  // a slot became free, or the pool closes
  std::vector<Slot> slots_;        // guarded by mu_ (the vector's size is fixed)
  bool closing_ = false;           // guarded by mu_
  int waiters_ = 0;                // guarded by mu_; threads inside acquire's wait loop
  std::atomic<bool> silent_{false};
  std::atomic<bool> usable_{false};
  std::atomic<uint64_t> returns_{0};
  std::atomic<bool> refuseWhileSilent_{false};
  std::atomic<bool> endCallsWhenSilent_{false};
  // The tokens of the calls in run now, which a silence ends when
  // endCallsWhenSilent is on. Never held with mu_.
  std::mutex callsMu_;
  std::vector<CancelToken*> calls_;  // guarded by callsMu_
};

}  // namespace tarn
