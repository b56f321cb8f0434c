// Keeps a drive's operations on paths out of the way of its renames. An
// operation on a path at or below the source or the target of a rename
// under way waits until that rename has ended, and then goes on where the
// rename moved the path; a rename begins only once the operations and the
// renames already under way there have ended. So a file created while its
// folder moves is made in the folder's new place, never in the old one
// after the server moved it (where it would fail) nor on the server before
// the move and in the cache after it (where its content would be stranded
// under the old name).
//
// Owned by the volume; any thread may call it. An operation holds its Pass
// for its whole run and must not enter again while it holds one: a rename
// may be waiting for it. The mutex is never held while the caller works.
// Every wait is logged (DEBUG) before it begins.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace tarn {

class RenameFence {
  struct Move;

 public:
  // The right to work on some paths; given back when it is destroyed.
  class Pass {
   public:
    Pass() = default;
    Pass(Pass&& other) noexcept;
    Pass& operator=(Pass&& other) noexcept;
    Pass(const Pass&) = delete;
    Pass& operator=(const Pass&) = delete;
    ~Pass();

    // A rename's pass: the rename took effect, so those waiting for it go on
    // below its target.
    void moved();

   private:
    friend class RenameFence;
    void release();

    RenameFence* fence_ = nullptr;
    std::vector<std::string> paths_;  // an operation's
    std::shared_ptr<Move> move_;      // a rename's
  };

  // `id` begins the fence's log lines (the drive's id).
  explicit RenameFence(std::string id) : id_(std::move(id)) {}
  RenameFence(const RenameFence&) = delete;
  RenameFence& operator=(const RenameFence&) = delete;

  // An operation on the paths given (each changed to where renames that
  // ended meanwhile moved it).
  Pass enter(std::initializer_list<std::string*> paths);
  // A rename of `from` to `to` (both moved as for enter); returns once
  // nothing that began before it is under way at or below either path.
  Pass beginRename(std::string& from, std::string& to);

 private:
  struct Move {
    std::string from;
    std::string to;
    uint64_t order = 0;
    bool ended = false;  // guarded by the fence's mu_
    bool moved = false;  // guarded by the fence's mu_
  };

  // Callers hold mu_.
  void waitAndFollowLocked(std::unique_lock<std::mutex>& lock, std::initializer_list<std::string*> paths);
  bool busyLocked(const Move& move) const;
  void endLocked(Pass& pass);

  const std::string id_;
  std::mutex mu_;
  std::condition_variable changed_;               // an operation or a rename ended
  std::vector<std::shared_ptr<Move>> moves_;      // guarded by mu_; renames under way, in order
  std::multiset<std::string> working_;            // guarded by mu_; paths of operations under way
  uint64_t nextOrder_ = 0;                        // guarded by mu_
};

}  // namespace tarn
