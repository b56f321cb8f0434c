#include "backup/engine/file_readers.h"

#include <cerrno>

namespace tarn::backup {

FileReaders::FileReaders(const ChunkerParams& params, int threads)
    : params_(params), threads_(threads), inlineChunker_(params) {}

FileReaders::~FileReaders() {
  std::vector<std::thread> joining;
  {
    std::lock_guard<std::mutex> lock(mu_);
    stopping_ = true;
    work_.notify_all();
    joining.swap(workers_);
  }
  for (std::thread& t : joining) t.join();
}

void FileReaders::submit(Job job) {
  if (threads_ <= 0) {
    job(inlineChunker_, Status());
    return;
  }
  Queued queued{std::move(job), {}, false};
  queued.knownRights = CurrentThreadRights(queued.rights);
  std::lock_guard<std::mutex> lock(mu_);
  if (workers_.empty())
    for (int i = 0; i < threads_; ++i) workers_.emplace_back([this] { run(); });
  queue_.push_back(std::move(queued));
  ++unfinished_;
  work_.notify_one();
}

void FileReaders::wait() {
  std::unique_lock<std::mutex> lock(mu_);
  finished_.wait(lock, [&] { return unfinished_ == 0; });
}

void FileReaders::run() {
  FileChunker chunker(params_);
  CallerToken own;
  const bool knowOwn = CurrentThreadRights(own);
  std::unique_lock<std::mutex> lock(mu_);
  for (;;) {
    work_.wait(lock, [&] { return stopping_ || !queue_.empty(); });
    if (stopping_) return;
    Queued queued = std::move(queue_.front());
    queue_.pop_front();
    lock.unlock();
    {
      ScopedCallerRights rights;
      Status switched;
      if (!queued.knownRights)
        switched = Status(Status::kAccessDenied, "cannot read the rights of the walk", EPERM);
      else if (!knowOwn || !(queued.rights == own))
        switched = rights.enter(queued.rights);
      queued.job(chunker, switched);
      queued.job = nullptr;
    }
    lock.lock();
    if (--unfinished_ == 0) finished_.notify_all();
  }
}

}  // namespace tarn::backup
