#include "engine/rename_fence.h"

#include <algorithm>
#include <utility>

#include "foundation/log.h"
#include "foundation/remote_path.h"

namespace tarn {

RenameFence::Pass::Pass(Pass&& other) noexcept
    : fence_(std::exchange(other.fence_, nullptr)), paths_(std::move(other.paths_)), move_(std::move(other.move_)) {}

RenameFence::Pass& RenameFence::Pass::operator=(Pass&& other) noexcept {
  if (this != &other) {
    release();
    fence_ = std::exchange(other.fence_, nullptr);
    paths_ = std::move(other.paths_);
    move_ = std::move(other.move_);
  }
  return *this;
}

RenameFence::Pass::~Pass() { release(); }

void RenameFence::Pass::moved() {
  if (fence_ == nullptr || !move_) return;
  std::lock_guard<std::mutex> lock(fence_->mu_);
  move_->moved = true;
}

void RenameFence::Pass::release() {
  if (fence_ == nullptr) return;
  RenameFence* fence = std::exchange(fence_, nullptr);
  {
    std::lock_guard<std::mutex> lock(fence->mu_);
    fence->endLocked(*this);
  }
  fence->changed_.notify_all();
}

void RenameFence::endLocked(Pass& pass) {
  for (const std::string& path : pass.paths_) working_.erase(working_.find(path));
  pass.paths_.clear();
  if (pass.move_) {
    pass.move_->ended = true;
    std::erase(moves_, pass.move_);
    pass.move_.reset();
  }
}

void RenameFence::waitAndFollowLocked(std::unique_lock<std::mutex>& lock, std::initializer_list<std::string*> paths) {
  for (;;) {
    auto covers = [&](const std::shared_ptr<Move>& m) {
      return std::any_of(paths.begin(), paths.end(),
                         [&](const std::string* p) { return IsUnderPath(m->from, *p) || IsUnderPath(m->to, *p); });
    };
    auto it = std::find_if(moves_.begin(), moves_.end(), covers);
    if (it == moves_.end()) return;
    std::shared_ptr<Move> move = *it;
    vx::log::write(vx::log::kDebug, "%s: %s waits for the rename of %s to %s", id_.c_str(),
                   (*paths.begin())->c_str(), move->from.c_str(), move->to.c_str());
    changed_.wait(lock, [&] { return move->ended; });
    if (!move->moved) continue;
    for (std::string* p : paths)
      if (IsUnderPath(move->from, *p)) *p = RebasePath(*p, move->from, move->to);
  }
}

RenameFence::Pass RenameFence::enter(std::initializer_list<std::string*> paths) {
  Pass pass;
  std::unique_lock<std::mutex> lock(mu_);
  waitAndFollowLocked(lock, paths);
  for (const std::string* p : paths) {
    working_.insert(*p);
    pass.paths_.push_back(*p);
  }
  pass.fence_ = this;
  return pass;
}

bool RenameFence::busyLocked(const Move& move) const {
  auto near = [&](const std::string& path) { return IsUnderPath(move.from, path) || IsUnderPath(move.to, path); };
  if (std::any_of(working_.begin(), working_.end(), near)) return true;
  // Renames begun earlier below either path end first; later ones wait for
  // this one at their entry.
  return std::any_of(moves_.begin(), moves_.end(), [&](const std::shared_ptr<Move>& other) {
    return other->order < move.order && (near(other->from) || near(other->to));
  });
}

RenameFence::Pass RenameFence::beginRename(std::string& from, std::string& to) {
  Pass pass;
  std::unique_lock<std::mutex> lock(mu_);
  waitAndFollowLocked(lock, {&from, &to});
  auto move = std::make_shared<Move>();
  move->from = from;
  move->to = to;
  move->order = ++nextOrder_;
  moves_.push_back(move);
  if (busyLocked(*move))
    vx::log::write(vx::log::kDebug, "%s: rename of %s to %s waits for what is under way there", id_.c_str(),
                   from.c_str(), to.c_str());
  changed_.wait(lock, [&] { return !busyLocked(*move); });
  pass.move_ = std::move(move);
  pass.fence_ = this;
  return pass;
}

}  // namespace tarn
