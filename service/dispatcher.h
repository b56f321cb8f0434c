// Turns one control request into its reply: looks the "op" up in the op
// table, refuses changes from callers without privilege, and calls the
// service state (or, for every op that begins with "backup", the backup
// manager). Built by ServiceBody before the control socket opens and used by
// every connection thread at once; it keeps no state of its own after that.
//
// Anyone may read the status, the transfers and the log; drives are changed
// by privileged callers (root and the administrators group), the service's
// own settings by root alone. An in-process call (no caller) is the service
// itself.
#pragma once

#include <functional>

#include "foundation/json.h"
#include "platform/control_request.h"
#include "service/service_state.h"

namespace tarn {

class Dispatcher {
 public:
  // The backup manager's request handler; it applies its own rights rule.
  using BackupHandler = std::function<vx::json::Value(const vx::json::Value& request, const IpcCaller* caller)>;

  explicit Dispatcher(ServiceState& state) : state_(state) {}

  // Set once, before the first request; without one, backup requests fail.
  void setBackupHandler(BackupHandler handler) { backups_ = std::move(handler); }

  vx::json::Value dispatch(const vx::json::Value& request, const IpcCaller* caller);

  // The most memory the reply to `request` takes while it is made, for the
  // ops whose replies can be large; 0 for the others.
  static uint64_t ReplyBytes(const vx::json::Value& request);

 private:
  ServiceState& state_;
  BackupHandler backups_;
};

}  // namespace tarn
