// A one-way cancellation flag with an optional parent. Shared by
// std::shared_ptr; any thread may cancel, any thread may ask. The parent is
// held by shared_ptr so that a drive replacing its root token on restart
// cannot leave child tokens pointing at freed memory.
#pragma once

#include <atomic>
#include <memory>

namespace tarn {

class CancelToken {
 public:
  CancelToken() = default;
  explicit CancelToken(std::shared_ptr<const CancelToken> parent) : parent_(std::move(parent)) {}
  CancelToken(const CancelToken&) = delete;
  CancelToken& operator=(const CancelToken&) = delete;

  void cancel() { cancelled_.store(true, std::memory_order_release); }
  bool isCancelled() const {
    for (const CancelToken* t = this; t != nullptr; t = t->parent_.get())
      if (t->cancelled_.load(std::memory_order_acquire)) return true;
    return false;
  }
  const std::shared_ptr<const CancelToken>& parent() const { return parent_; }

 private:
  std::atomic<bool> cancelled_{false};
  const std::shared_ptr<const CancelToken> parent_;
};

inline bool IsCancelled(const CancelToken* token) { return token != nullptr && token->isCancelled(); }

}  // namespace tarn
