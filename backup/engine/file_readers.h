// The threads that read and chunk files for the folder walk, so that reading,
// cutting and hashing the files of a folder do not all wait on one core.
// Each thread owns a FileChunker (and its read buffer) and runs one job at a
// time with the file-system rights the job was handed with, so that a walk
// made with a caller's rights reads every file with them.
//
// Owned by one folder walk; submit and wait are called by the walking thread
// only. Threads start with the first job and are joined by the destructor.
// With no threads, a job runs at once on the submitting thread.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "backup/engine/file_chunker.h"
#include "platform/caller_rights.h"

namespace tarn::backup {

// Reader threads of a walk unless told otherwise.
constexpr int kDefaultFileReaders = 4;

class FileReaders {
 public:
  // `rights` is the failure when the thread could not take on the rights the
  // job was handed with; the job must then leave its file unread.
  using Job = std::function<void(FileChunker& chunker, const Status& rights)>;

  FileReaders(const ChunkerParams& params, int threads);
  ~FileReaders();
  FileReaders(const FileReaders&) = delete;
  FileReaders& operator=(const FileReaders&) = delete;

  // Queues the job, to run with the calling thread's file-system rights.
  void submit(Job job);
  // Returns once every job submitted so far has finished.
  void wait();

 private:
  struct Queued {
    Job job;
    CallerToken rights;
    bool knownRights = false;  // false: the rights could not be read and the job runs as refused
  };
  void run();

  const ChunkerParams params_;
  const int threads_;
  FileChunker inlineChunker_;  // jobs of a pool without threads
  std::mutex mu_;
  std::condition_variable work_;      // a job was queued, or the pool stops
  std::condition_variable finished_;  // the last unfinished job finished
  std::deque<Queued> queue_;    // guarded by mu_
  size_t unfinished_ = 0;       // guarded by mu_; queued or running
  bool stopping_ = false;       // guarded by mu_
  std::vector<std::thread> workers_;  // guarded by mu_
};

}  // namespace tarn::backup
