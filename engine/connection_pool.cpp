#include "engine/connection_pool.h"

#include <algorithm>
#include <chrono>
#include <limits>

#include "engine/clock.h"
#include "foundation/log.h"

namespace tarn {
namespace {

constexpr size_t kNoSlot = std::numeric_limits<size_t>::max();

// The caller's token as the parent of a call's own: borrowed, since the
// caller keeps it for the whole call.
std::shared_ptr<const CancelToken> Borrowed(const CancelToken* token) {
  return std::shared_ptr<const CancelToken>(std::shared_ptr<const CancelToken>(), token);
}

}  // namespace

ConnectionPool::Lease& ConnectionPool::Lease::operator=(Lease&& other) noexcept {
  if (this != &other) {
    reset();
    pool_ = other.pool_;
    slot_ = other.slot_;
    backend_ = other.backend_;
    other.pool_ = nullptr;
    other.slot_ = 0;
    other.backend_ = nullptr;
  }
  return *this;
}

void ConnectionPool::Lease::reset() {
  if (pool_ != nullptr && backend_ != nullptr) pool_->release(slot_);
  pool_ = nullptr;
  slot_ = 0;
  backend_ = nullptr;
}

ConnectionPool::ConnectionPool(Factory factory, int size, uint32_t runAcquireTimeoutMs)
    : factory_(std::move(factory)), runAcquireTimeoutMs_(runAcquireTimeoutMs),
      slots_(static_cast<size_t>(std::max(size, 1))) {}

ConnectionPool::~ConnectionPool() {
  std::unique_lock<std::mutex> lock(mu_);
  closing_ = true;
  freed_.notify_all();
  // Waiters touch the mutex and the condition variable on their way out, so
  // they must all be gone before either is destroyed.
  freed_.wait(lock, [&] { return waiters_ == 0; });
  // A slot still leased belongs to a call in progress on another thread;
  // destroying its back-end under it would be a use after free.
  freed_.wait(lock, [&] {
    return std::none_of(slots_.begin(), slots_.end(), [](const Slot& s) { return s.busy; });
  });
  for (Slot& slot : slots_)
    if (!slot.busy && slot.backend) slot.backend->disconnect();
  lock.unlock();
  slots_.clear();
  factory_ = nullptr;
}

int ConnectionPool::waiting() {
  std::lock_guard<std::mutex> lock(mu_);
  return waiters_;
}

bool ConnectionPool::anyFree() {
  std::lock_guard<std::mutex> lock(mu_);
  return std::any_of(slots_.begin(), slots_.end(), [](const Slot& s) { return !s.busy; });
}

Status ConnectionPool::acquire(Lease& lease, const CancelToken* cancel, uint32_t timeoutMs) {
  return acquireSlot(lease, cancel, timeoutMs, false);
}

Status ConnectionPool::acquireSlot(Lease& lease, const CancelToken* cancel, uint32_t timeoutMs, bool probe) {
  size_t chosen = kNoSlot;
  IBackend* backend = nullptr;
  {
    std::unique_lock<std::mutex> lock(mu_);
    uint64_t deadline = SteadyNowMs() + timeoutMs;
    if (closing_) return Status(Status::kCanceled, "pool closing");
    ++waiters_;
    auto leave = [&](Status status) {
      --waiters_;
      if (closing_) freed_.notify_all();
      return status;
    };
    for (;;) {
      if (IsCancelled(cancel)) return leave(Status(Status::kCanceled, ""));
      // Warm connections first, so that new ones open only when all are busy.
      for (size_t i = 0; i < slots_.size() && chosen == kNoSlot; ++i)
        if (!slots_[i].busy && slots_[i].backend && slots_[i].backend->isConnected()) chosen = i;
      for (size_t i = 0; i < slots_.size() && chosen == kNoSlot; ++i)
        if (!slots_[i].busy) chosen = i;
      if (chosen != kNoSlot) break;
      uint64_t now = SteadyNowMs();
      if (now >= deadline) return leave(Status(Status::kTimeout, "no free connection"));
      uint64_t wait = std::min<uint64_t>(kWaitSliceMs, deadline - now);
      freed_.wait_for(lock, std::chrono::milliseconds(wait));
      if (closing_) return leave(Status(Status::kCanceled, "pool closing"));
    }
    leave(Status());
    Slot& slot = slots_[chosen];
    slot.busy = true;
    if (!slot.backend && factory_) slot.backend = factory_();
    backend = slot.backend.get();
  }
  if (backend == nullptr) {
    releaseSlot(chosen, false);
    return Status(Status::kUnsupported, "no backend");
  }
  if (!backend->isConnected() && !probe && refusing()) {
    releaseSlot(chosen, false);
    return Status(Status::kTimeout, kServerSilent);
  }
  if (!backend->isConnected()) {
    // A back-end that watches the token ends a connect its caller gave up on.
    backend->setCancelToken(cancel);
    Status status = backend->connect();
    backend->setCancelToken(nullptr);
    noteOutcome(status, true);
    if (!status.ok()) {
      releaseSlot(chosen, backend->isConnected());
      return status;
    }
  }
  {
    std::lock_guard<std::mutex> lock(mu_);
    slots_[chosen].connected = true;
  }
  lease.reset();
  lease.pool_ = this;
  lease.slot_ = chosen;
  lease.backend_ = backend;
  return Status();
}

// Releases notify under the lock: a destructor waiting for the last busy
// slot may destroy the condition variable as soon as the lock is free.
void ConnectionPool::releaseSlot(size_t slot, bool connected) {
  std::lock_guard<std::mutex> lock(mu_);
  if (slot >= slots_.size()) return;
  slots_[slot].busy = false;
  slots_[slot].connected = connected;
  freed_.notify_one();
}

void ConnectionPool::release(size_t slot) {
  std::lock_guard<std::mutex> lock(mu_);
  if (slot >= slots_.size()) return;
  Slot& s = slots_[slot];
  // The releasing thread is the lease holder, so it may still ask its back-end.
  s.connected = s.backend && s.backend->isConnected();
  s.busy = false;
  freed_.notify_one();
}

Status ConnectionPool::run(const RetryPolicy& policy, const CancelToken* cancel, std::string_view label,
                           const Operation& op, const FailureObserver& failed) {
  return runOn(policy, cancel, label, op, false, failed);
}

Status ConnectionPool::probe(const RetryPolicy& policy, const CancelToken* cancel) {
  const Operation ping = [this](IBackend& backend) {
    Status st = backend.ping();
    if (st.code != Status::kNetwork) return st;
    // The server may have closed a connection that stood idle, which says
    // nothing of it now: a new connection does.
    backend.disconnect();
    Status made = backend.connect();
    noteOutcome(made, true);
    return made.ok() ? backend.ping() : made;
  };
  return runOn(policy, cancel, "", ping, true);
}

Status ConnectionPool::runOn(const RetryPolicy& policy, const CancelToken* cancel, std::string_view label,
                             const Operation& op, bool probe, const FailureObserver& failed) {
  RetryPolicy timed = WithinDeadline(policy, cancel);
  if (timed.clockMs == nullptr) timed.clockMs = SteadyNowMs;
  // Counts the budget alone: with every connection stuck on a silent
  // server, the wait for one ends when the call's time is up.
  const Backoff budget(timed);
  Lease lease;
  // Ends the retry loop: a code it does not retry, told apart afterwards.
  bool refused = false;
  // Set when a connect found the server out of reach and the policy ends
  // there: the connect's failure is the call's.
  Status unreachable;
  auto outOfReach = [&](const Status& status) {
    if (status.code != Status::kNetwork || !timed.endWhenUnreachable) return false;
    unreachable = status;
    return true;
  };
  auto refuse = [&] {
    refused = !probe && refusing();
    return refused;
  };
  // The call's own token, which a silence found by another call ends; the
  // caller's alone where silences end no call in flight.
  CancelToken own(Borrowed(cancel));
  const bool endable = !probe && endCallsWhenSilent_.load(std::memory_order_acquire);
  const CancelToken* token = endable ? &own : cancel;
  if (endable) {
    std::lock_guard<std::mutex> lock(callsMu_);
    calls_.push_back(&own);
  }
  auto attempt = [&]() -> Status {
    if (refuse() || !unreachable.ok()) return Status(Status::kCanceled, "");
    if (!lease) {
      Status status = acquireSlot(lease, token, budget.budgetLeftMs(runAcquireTimeoutMs_), probe);
      if (!lease && outOfReach(status)) return Status(Status::kCanceled, "");
      if (!status.ok() && status.retryable() && failed) failed(status);
      if (!status.ok()) return refuse() ? Status(Status::kCanceled, "") : status;
    }
    // A call that got its connection only after others found the server
    // silent does not ask it either.
    if (refuse()) return Status(Status::kCanceled, "");
    lease->setCancelToken(token);
    Status status = op(*lease.backend());
    lease->setCancelToken(nullptr);
    noteOutcome(status);
    if (status.retryable()) lease.backend()->disconnect();
    if (status.retryable() && failed) failed(status);
    return status;
  };
  auto reconnect = [&]() -> Status {
    // The next attempt ends the loop.
    if (!lease || lease.backend()->isConnected() || (!probe && refusing())) return Status();
    lease->setCancelToken(token);
    Status status = lease.backend()->connect();
    lease->setCancelToken(nullptr);
    noteOutcome(status, true);
    if (status.retryable() && failed) failed(status);
    (void)outOfReach(status);
    return status;
  };
  const std::string text(label);
  Status result = RetryCall(timed, cancel, attempt, reconnect, text.empty() ? nullptr : text.c_str());
  lease.reset();
  if (endable) {
    std::lock_guard<std::mutex> lock(callsMu_);
    std::erase(calls_, &own);
  }
  // Ended by the silence another call found, not by its caller.
  const bool silenced = result.code == Status::kCanceled && endable && own.isCancelled() && !IsCancelled(cancel);
  if (refused || silenced) return Status(Status::kTimeout, kServerSilent);
  if (!unreachable.ok()) return unreachable;
  if (result.code == Status::kCanceled && cancel != nullptr && cancel->timedOut())
    return Status(Status::kTimeout, kNoAnswerInTime);
  return result;
}

void ConnectionPool::noteOutcome(const Status& status, bool connecting) {
  if (status.code == Status::kCanceled) return;
  const bool timedOut = status.code == Status::kTimeout;
  const bool answered = !timedOut && status.code != Status::kNetwork;
  if (timedOut || answered) silent_.store(timedOut, std::memory_order_release);
  if (timedOut && endCallsWhenSilent_.load(std::memory_order_acquire) && refusing()) {
    std::lock_guard<std::mutex> lock(callsMu_);
    for (CancelToken* call : calls_) call->cancel();
  }
  // A call that could not reach the server on a connection made earlier
  // tells nothing of the server now.
  if (!connecting && !timedOut && !answered) return;
  if (connecting ? status.ok() : answered) {
    // Counted before the flag shows: whoever sees the server usable sees
    // the count of its return too.
    if (!usable_.load()) {
      returns_.fetch_add(1);
      usable_.store(true);
    }
  } else {
    usable_.store(false);
  }
}

void ConnectionPool::keepalive() {
  std::vector<size_t> picked;
  {
    std::lock_guard<std::mutex> lock(mu_);
    for (size_t i = 0; i < slots_.size(); ++i) {
      Slot& slot = slots_[i];
      if (!slot.busy && slot.backend && slot.backend->isConnected()) {
        slot.busy = true;
        picked.push_back(i);
      }
    }
  }
  for (size_t i : picked) {
    // The slot is marked busy, so this thread alone may touch its back-end.
    IBackend* backend = slots_[i].backend.get();
    Status status = backend->ping();
    noteOutcome(status);
    if (!status.ok()) {
      vx::log::write(vx::log::kDebug, "keepalive: connection %zu dropped (%s)", i, status.toString().c_str());
      backend->disconnect();
    }
    releaseSlot(i, backend->isConnected());
  }
}

void ConnectionPool::disconnectIdle() {
  std::lock_guard<std::mutex> lock(mu_);
  for (Slot& slot : slots_) {
    if (slot.busy || !slot.backend) continue;
    slot.backend->disconnect();
    slot.connected = false;
  }
}

bool ConnectionPool::anyConnected() {
  std::lock_guard<std::mutex> lock(mu_);
  for (const Slot& slot : slots_) {
    if (!slot.backend) continue;
    if (slot.busy ? slot.connected : slot.backend->isConnected()) return true;
  }
  return false;
}

}  // namespace tarn
