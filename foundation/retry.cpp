#include "foundation/retry.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <random>
#include <thread>

#include "foundation/log.h"

namespace tarn {
namespace {

std::mt19937& ThreadGenerator() {
  thread_local std::mt19937 gen{std::random_device{}()};
  return gen;
}

// Uniform in [0, 1) from 53 random bits of two consecutive outputs.
double UniformUnit() {
  std::mt19937& gen = ThreadGenerator();
  const uint64_t hi = gen() >> 5;  // 27 bits
  const uint64_t lo = gen() >> 6;  // 26 bits
  return static_cast<double>((hi << 26) | lo) / 9007199254740992.0;  // 2^53
}

Status Cancelled() { return Status(Status::kCanceled, std::string(), 0); }

}  // namespace

int64_t RetryPolicy::delayFor(int32_t attempt) const {
  const int32_t k = attempt < 1 ? 1 : attempt;
  double raw = static_cast<double>(baseDelayMs) * std::pow(factor, static_cast<double>(k - 1));
  // NaN (a zero base times an infinite power) or a huge power both settle at the cap.
  double d = std::isnan(raw) ? static_cast<double>(maxDelayMs)
                             : std::fmin(static_cast<double>(maxDelayMs), raw);
  if (jitter > 0) {
    const double u = -jitter + UniformUnit() * (2.0 * jitter);
    d *= (1.0 + u);
  }
  if (!(d > 0)) return 0;
  // The cap is at most 2^32 ms and jitter is a ratio, but a caller may pass a
  // wild jitter: saturate instead of converting an out-of-range double.
  constexpr double kMax = 9.2e18;
  if (d >= kMax) return static_cast<int64_t>(kMax);
  return static_cast<int64_t>(d);
}

RetryPolicy WithinDeadline(RetryPolicy policy, const CancelToken* token) {
  const uint64_t left = MsToDeadline(token, UINT64_MAX);
  if (left < policy.budgetMs || (policy.budgetMs == 0 && left != UINT64_MAX))
    policy.budgetMs = static_cast<uint32_t>(std::clamp<uint64_t>(left, 1, UINT32_MAX));
  return policy;
}

void SleepCancellable(uint32_t ms, const CancelToken* token) {
  uint32_t left = ms;
  while (left > 0) {
    if (IsCancelled(token)) return;
    const uint32_t slice = left < kSleepSliceMs ? left : kSleepSliceMs;
    std::this_thread::sleep_for(std::chrono::milliseconds(slice));
    left -= slice;
  }
}

Backoff::Backoff(const RetryPolicy& policy) : policy_(policy) { start_ = attemptStart_ = now(); }

uint64_t Backoff::now() const {
  if (policy_.clockMs != nullptr) return policy_.clockMs();
  return static_cast<uint64_t>(
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
          .count());
}

bool Backoff::fitsAnother() const {
  if (policy_.budgetMs == 0) return true;
  const uint64_t ended = now();
  const uint64_t next = static_cast<uint64_t>(std::max<int64_t>(0, policy_.delayFor(attempts_ + 1)));
  return (ended - start_) + next + (ended - attemptStart_) <= policy_.budgetMs;
}

uint32_t Backoff::budgetLeftMs(uint32_t capMs) const {
  if (policy_.budgetMs == 0) return capMs;
  const uint64_t spent = now() - start_;
  if (spent >= policy_.budgetMs) return 0;
  return static_cast<uint32_t>(std::min<uint64_t>(capMs, policy_.budgetMs - spent));
}

bool Backoff::sleepNext(const CancelToken* token) {
  if (attempts_ < INT32_MAX) ++attempts_;
  if (!policy_.forever && attempts_ >= policy_.maxAttempts) return false;
  if (IsCancelled(token)) return false;
  const int64_t d = policy_.delayFor(attempts_);
  const uint32_t delay = d > static_cast<int64_t>(UINT32_MAX) ? UINT32_MAX : static_cast<uint32_t>(d);
  uint32_t left = delay;
  while (left > 0) {
    if (IsCancelled(token)) return false;
    const uint32_t slice = left < kSleepSliceMs ? left : kSleepSliceMs;
    std::this_thread::sleep_for(std::chrono::milliseconds(slice));
    left -= slice;
  }
  return !IsCancelled(token);
}

void RetryCall(Status& out, const RetryPolicy& policy, const CancelToken* token,
               const RetryOperation& op, const RetryOperation& reconnect, const char* label) {
  Backoff backoff(policy);
  for (;;) {
    if (IsCancelled(token)) {
      out = Cancelled();
      return;
    }
    backoff.attemptBegins();
    Status last = op();
    if (!last.retryable()) {
      out = std::move(last);
      return;
    }
    if (!backoff.fitsAnother()) {
      if (label != nullptr)
        vx::log::write(vx::log::kWarn, "%s: %s (attempt %d; no time left for another)", label,
                       last.toString().c_str(), static_cast<int>(backoff.attempts() + 1));
      out = std::move(last);
      return;
    }
    if (label != nullptr) {
      vx::log::write(vx::log::kWarn, "%s: %s (attempt %d)", label, last.toString().c_str(),
                     static_cast<int>(backoff.attempts() + 1));
    }
    if (!backoff.sleepNext(token)) {
      out = IsCancelled(token) ? Cancelled() : std::move(last);
      return;
    }
    if (reconnect) {
      Status rc = reconnect();
      if (!rc.ok() && label != nullptr)
        vx::log::write(vx::log::kWarn, "%s: reconnect failed: %s", label, rc.toString().c_str());
    }
  }
}

}  // namespace tarn
