#include "backup/repo/pipeline_budget.h"

namespace tarn::backup {

bool PipelineBudget::fitsLocked(uint64_t bytes) const {
  const uint64_t held = sealing_ + open_ + closed_;
  return held + bytes <= limit_ || (sealing_ == 0 && closed_ == 0);
}

bool PipelineBudget::fits(uint64_t bytes) const {
  std::lock_guard<std::mutex> lock(mu_);
  return fitsLocked(bytes);
}

bool PipelineBudget::admit(uint64_t bytes, std::chrono::milliseconds slice) {
  std::unique_lock<std::mutex> lock(mu_);
  if (!fitsLocked(bytes)) {
    ++waiting_;
    changed_.notify_all();
    const bool room = changed_.wait_for(lock, slice, [&] { return fitsLocked(bytes); });
    --waiting_;
    if (!room) return false;
  }
  sealing_ += bytes;
  return true;
}

void PipelineBudget::appended(uint64_t admitted, uint64_t stored) {
  std::lock_guard<std::mutex> lock(mu_);
  sealing_ -= admitted;
  open_ += stored;
  changed_.notify_all();
}

void PipelineBudget::closed(uint64_t open, uint64_t closed) {
  std::lock_guard<std::mutex> lock(mu_);
  open_ -= open;
  closed_ += closed;
  changed_.notify_all();
}

void PipelineBudget::uploaded(uint64_t closed) {
  std::lock_guard<std::mutex> lock(mu_);
  closed_ -= closed;
  changed_.notify_all();
}

uint64_t PipelineBudget::held() const {
  std::lock_guard<std::mutex> lock(mu_);
  return sealing_ + open_ + closed_;
}

int PipelineBudget::waiting() const {
  std::lock_guard<std::mutex> lock(mu_);
  return waiting_;
}

bool PipelineBudget::waitForWaiting(int stores, std::chrono::milliseconds timeout) const {
  std::unique_lock<std::mutex> lock(mu_);
  return changed_.wait_for(lock, timeout, [&] { return waiting_ >= stores; });
}

}  // namespace tarn::backup
