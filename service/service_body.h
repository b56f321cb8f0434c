// The service's life from start to stop, the same for `tarn service` (under
// systemd) and `tarn run` (in the foreground): check the folders and files
// it trusts, open the log, load the settings and drives, start the backup
// side, open the control socket, follow address changes, mount the wanted
// drives, start the backup scheduler; then wait for the stop event and take
// everything down in the order that keeps data safe.
//
// ServiceBody runs on the thread that calls it; whoever decides to stop (a
// signal-waiting thread, a test) signals the StopEvent from any thread.
#pragma once

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "foundation/json.h"
#include "foundation/log.h"
#include "platform/control_request.h"
#include "service/control_server.h"
#include "service/service_state.h"

namespace tarn {

// Exit code of a service that could not open its control socket.
inline constexpr int kExitIpcFailed = 3;
// Exit code of a service that found another one listening on its socket.
inline constexpr int kExitAlreadyRunning = 5;
// Exit code of a service that found a folder or file of its own that
// someone else could have changed.
inline constexpr int kExitUntrusted = 6;

// Set once; waiters return from then on.
class StopEvent {
 public:
  void signal();
  void wait();
  bool signalled() const;

 private:
  mutable std::mutex mu_;
  std::condition_variable cv_;
  bool signalled_ = false;  // guarded by mu_
};

// What the service needs of the backup manager, which it owns.
class IBackupService {
 public:
  virtual ~IBackupService() = default;
  // Reads the jobs; false with the reason when they cannot be read.
  virtual bool loadJobs(std::string* error) = 0;
  virtual void startScheduler() = 0;
  // Cancels and joins every task.
  virtual void stopAll() = 0;
  virtual bool anyRunning() = 0;
  virtual vx::json::Value handle(const vx::json::Value& request, const IpcCaller* caller) = 0;
};

struct ServiceOptions {
  std::string logDir;
  // The log's size past which it is moved aside.
  uint64_t logRotateBytes = vx::log::kRotateBytes;
  // The descriptors the service may hold, which bound what users hold open
  // on the drives; 0: the process's limit (raised to its hard limit first).
  uint64_t openFileLimit = 0;
  std::string configPath;
  // What else the service keeps, besides the log's and the configuration's
  // folders and files: folders (made when missing) and files (when there).
  // At start each must be the service's own, below folders nobody else may
  // change; modes open to others are mended, anything else refuses the
  // start with the reason.
  std::vector<std::string> ownFolders;
  std::vector<std::string> ownFiles;
  std::string socketPath;
  ControlServerOptions server;
  // Makes the backup manager over the state; none: backup requests fail.
  std::function<std::unique_ptr<IBackupService>(ServiceState&)> makeBackups;
  // The drives' back-ends; none: made by each drive's protocol.
  ServiceState::BackendsFor backendsFor;

  // The machine-wide locations.
  static ServiceOptions Defaults();
};

// Returns the process exit code: 0 after an orderly stop.
int ServiceBody(const ServiceOptions& options, StopEvent& stop);

}  // namespace tarn
