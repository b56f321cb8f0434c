#include "backup/engine/progress.h"

namespace tarn::backup {

void Progress::setCurrent(const std::string& path) {
  std::lock_guard<std::mutex> lock(mu_);
  current_ = path;
}

std::string Progress::current() const {
  std::lock_guard<std::mutex> lock(mu_);
  return current_;
}

}  // namespace tarn::backup
