// Requests to the service leave the UI thread: RunWorker runs the work on a
// detached thread of its own and hands the result back to the UI thread as a
// queued invocation on a receiver. The result is moved into that invocation,
// so it is owned at every moment: by the worker, by the queued event, or by
// the callback. A receiver that is gone takes its queued events with it, and
// a worker that finishes afterwards finds its ResultGate closed and drops
// the result where it is; nothing leaks and nothing touches the receiver.
//
// A window owns one ResultGate for its whole life and closes it in its
// destructor, before QObject's destructor removes the events still queued.
// Workers share the gate; post and close may be called from any thread.
#pragma once

#include <QMetaObject>
#include <QObject>

#include <chrono>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>

namespace tarn::app {

class ResultGate {
 public:
  explicit ResultGate(QObject* receiver) : receiver_(receiver) {}
  ResultGate(const ResultGate&) = delete;
  ResultGate& operator=(const ResultGate&) = delete;

  // Queues `fn` on the receiver's thread; false, with `fn` destroyed here,
  // once the gate is closed.
  template <typename Fn>
  bool post(Fn&& fn) {
    std::lock_guard<std::mutex> lock(mu_);
    if (receiver_ == nullptr) return false;
    // Under the lock, so that the receiver cannot finish closing meanwhile.
    QMetaObject::invokeMethod(receiver_, std::forward<Fn>(fn), Qt::QueuedConnection);
    return true;
  }

  // Called by the receiver as it goes; later posts are dropped.
  void close();

 private:
  std::mutex mu_;
  QObject* receiver_;  // guarded by mu_; null once closed
};

// Workers of the process that have not finished: counted from their start
// until their result was posted or dropped and freed.
void WorkerStarted();
void WorkerFinished();
// Waits until no worker is left, at most `limit`; true when none is. Tests
// use it to know that every result reached its end.
bool WaitForWorkers(std::chrono::milliseconds limit);

// Runs `work` on a detached thread and `done` with its result on the gate's
// receiver, unless the receiver has gone by then.
template <typename Work, typename Done>
void RunWorker(std::shared_ptr<ResultGate> gate, Work work, Done done) {
  struct Job {
    std::shared_ptr<ResultGate> gate;
    Work work;
    Done done;
  };
  auto job = std::make_unique<Job>(Job{std::move(gate), std::move(work), std::move(done)});
  WorkerStarted();
  std::thread([job = std::move(job)]() mutable {
    {
      std::unique_ptr<Job> mine = std::move(job);
      auto result = mine->work();
      mine->gate->post(
          [done = std::move(mine->done), result = std::move(result)]() mutable { done(std::move(result)); });
    }
    WorkerFinished();
  }).detach();
}

}  // namespace tarn::app
