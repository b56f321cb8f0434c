// The mount host over libfuse 3's low-level session: mounts the volume's
// file system (fuse_fs.h) at a folder, runs libfuse's multi-threaded loop
// on a thread of its own, and takes the mount down again. Made by
// MakeMountHost; tests make it directly to look at its open handles.
//
// Locks: mu_ is held for the whole of mount and unmount, so they run one at
// a time; isMounted and mountPoint read atomics and a copy under pathMu_.
#pragma once

#include <sys/types.h>

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "mount/fuse_connection.h"
#include "mount/fuse_fs.h"
#include "mount/mount_host.h"

namespace tarn {

class FuseMountHost : public IMountHost {
 public:
  explicit FuseMountHost(FuseTuning tuning = {}, std::shared_ptr<OpenFileShares> shares = nullptr);
  ~FuseMountHost() override;

  Status mount(std::shared_ptr<Volume> volume, const std::string& mountPoint) override;
  Status unmount(uint32_t flushTimeoutMs) override;
  bool isMounted() const override;
  std::string mountPoint() const override;

  // Open files and folders the kernel has not released; 0 when unmounted.
  size_t openHandles();

 private:
  // Takes the kernel's mount away; ends open handles' connection too.
  void takeDownLocked();
  // Waits until a stat of the mount point reaches the new file system.
  bool waitAnswerLocked(uint32_t timeoutMs);
  void endSessionLocked();
  void raiseReadaheadLocked();

  const FuseTuning tuning_;
  const std::shared_ptr<OpenFileShares> shares_;
  std::mutex mu_;
  std::unique_ptr<FuseFs> fs_;       // guarded by mu_
  fuse_session* session_ = nullptr;  // guarded by mu_
  std::thread loop_;                 // guarded by mu_
  dev_t device_ = 0;                 // guarded by mu_; the mount's device once it answered
  FuseConnection connection_;        // guarded by mu_; of device_
  std::atomic<bool> mounted_{false};
  std::mutex loopMu_;
  std::condition_variable loopCv_;      // the loop ended
  std::atomic<bool> loopEnded_{false};  // set under loopMu_
  mutable std::mutex pathMu_;
  std::string mountPoint_;  // guarded by pathMu_
};

}  // namespace tarn
