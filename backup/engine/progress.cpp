#include "backup/engine/progress.h"

#include "foundation/text.h"

namespace tarn::backup {

void Progress::setCurrent(const std::string& path) {
  std::lock_guard<std::mutex> lock(mu_);
  current_ = path;
}

std::string Progress::current() const {
  std::lock_guard<std::mutex> lock(mu_);
  return current_;
}

void RecordProblem(Progress& progress, std::vector<std::string>& problems, std::string_view path,
                   std::string_view message, int error) {
  progress.errors.fetch_add(1, std::memory_order_relaxed);
  if (problems.size() >= kMaxProblems) return;
  std::string text(path);
  text.append(": ");
  text.append(message);
  if (error != 0) {
    text.append(" (");
    text.append(vx::FormatWin32Error(static_cast<uint32_t>(error)));
    text.append(")");
  }
  problems.push_back(std::move(text));
}

}  // namespace tarn::backup
