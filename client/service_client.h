// The client side of the control socket: one JSON request per connection,
// each with its own time-out, and the records a status reply is read into.
// Used by the console commands and the desktop application; every function
// may be called from any thread and blocks until the reply or the time-out.
//
// Requests that carry secrets (a drive's settings) are sent only to a
// service running as root: a socket put in place by anyone else never sees
// a password.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/json.h"

namespace tarn::app {

// The error text of a request when nothing listens on the socket.
inline constexpr std::string_view kServiceNotRunning = "the service is not running";
inline constexpr std::string_view kRequestFailed = "request failed";

inline constexpr uint32_t kStatusTimeoutMs = 5000;
inline constexpr uint32_t kMountTimeoutMs = 60000;
inline constexpr uint32_t kControlTimeoutMs = 30000;
inline constexpr uint32_t kRemoveMountTimeoutMs = 60000;
inline constexpr uint32_t kStopUploadTimeoutMs = 60000;
inline constexpr uint32_t kSettingsTimeoutMs = 5000;
inline constexpr uint32_t kCheckUpdateTimeoutMs = 5000;
inline constexpr uint32_t kApplyUpdateTimeoutMs = 10000;
inline constexpr uint32_t kProbeTimeoutMs = 180000;
inline constexpr uint32_t kSetMountTimeoutMs = 60000;
inline constexpr uint32_t kGetLogTimeoutMs = 5000;
inline constexpr uint32_t kTransfersTimeoutMs = 5000;
inline constexpr uint32_t kBackupTimeoutMs = 60000;

// Driver installation is polled once a second, at most this many times.
inline constexpr int kDriverPollAttempts = 900;
inline constexpr uint32_t kDriverPollIntervalMs = 1000;

struct MountStatus {
  std::string id;
  std::u16string name;
  char16_t drive = 0;
  std::string protocol;
  std::string host;
  uint32_t port = 0;  // 0: the protocol's own
  std::string root;
  std::string user;
  bool tls = true;
  std::string mountPoint;
  bool mounted = false;
  bool mounting = false;  // a mount goes on
  bool online = false;
  bool offlineMode = false;
  std::string lastError;
  uint64_t cacheBytes = 0;
  int32_t pendingUploads = 0;
  int64_t journalOps = 0;  // changes made offline (new, moved, deleted names) not yet sent
  int64_t openChangedFiles = 0;  // open files whose changes go up at their close
  vx::json::Value config;
};

struct ServiceStatus {
  bool ok = false;  // the service answered
  std::string error;
  std::vector<MountStatus> mounts;
  std::string version;
  bool autoUpdate = false;
  std::string language;  // the settings' language code; empty: automatic
  // The caller may add, change, mount and unmount drives (a service that
  // does not say lets everyone try).
  bool mayManageDrives = true;
  // The caller may change the service's own settings (the language among
  // them): root alone. A service that does not say lets everyone try.
  bool mayChangeSettings = true;
  struct Update {
    bool checking = false;
    int64_t lastCheck = 0;
    std::string latest;
    std::string error;
    bool applying = false;
  } update;
  struct Driver {
    std::string name;  // empty: no usable driver
    std::string version;
    bool installing = false;
    std::string error;
  } driver;
};

// Reads a status reply; the ok flag and error come from the reply.
void ParseServiceStatus(const vx::json::Value& reply, ServiceStatus& out);

// Sends `request` and waits up to `timeoutMs` for the reply. True when the
// reply's "ok" is true; else false with its "error" ("request failed" when
// it has none) or the reason no reply came. With `carriesSecrets`, the
// request is sent only when the service runs as root.
bool CallService(const vx::json::Value& request, vx::json::Value& reply, std::string& error, uint32_t timeoutMs,
                 bool carriesSecrets = false);

// A backup request: "op", "id" (when `jobId` is not empty) and the members
// `fill` adds. On failure `code` (when given) receives the reply's "code".
bool RequestBackup(const std::string& op, const std::string& jobId,
                   const std::function<void(vx::json::Value&)>& fill, vx::json::Value& reply, std::string& error,
                   std::string* code = nullptr, uint32_t timeoutMs = kBackupTimeoutMs);

// The calling process's umask, which a "backupRestore" carries: what the
// service makes for the caller is then no more open than the caller's own
// programs would make it.
uint32_t CallerUmask();

bool RequestStatus(ServiceStatus& out);
bool RequestMount(const std::string& id, std::string& error);
bool RequestUnmount(const std::string& id, std::string& error);
// `unsent` receives the changes that wait for the drive's next mount.
bool RequestUnmount(const std::string& id, std::string& error, int64_t& unsent);
// `op` is "syncNow", "setOffline" or "clearCache".
bool RequestControl(const std::string& op, const std::string& id, bool on, std::string& error);
// Changes of a drive not yet sent to its server.
struct UnsentFiles {
  int64_t files = 0;
  int64_t bytes = 0;
  int64_t openFiles = 0;  // of `files`, those still open
};
// Removes the drive with its cache, with whatever it has not sent.
bool RequestRemoveMount(const std::string& id, std::string& error);
// The same; with `keepUnsent`, a drive that has changes not yet sent is
// kept, and `code` is kUnsentCode. `unsent` receives those changes: what a
// removal threw away, or what kept the drive.
inline constexpr std::string_view kUnsentCode = "unsent";
bool RequestRemoveMount(const std::string& id, std::string& error, bool keepUnsent, UnsentFiles& unsent,
                        std::string& code);
bool RequestStopUpload(const std::string& id, const std::string& path, std::string& error);
bool RequestSetAppSettings(const vx::json::Value& settings, std::string& error);
bool RequestCheckUpdate(bool apply, std::string& error);
bool RequestApplyUpdate(std::string& error);
// `report`, when given, receives the reply's report: its "items" each of a
// "level", a "check" and a "message".
bool RequestProbe(const vx::json::Value& mount, std::string& summary, bool& reportOk, std::string& error,
                  vx::json::Value* report = nullptr);
// What the service found when it logged in to a drive's server before
// saving the drive.
struct LoginCheck {
  bool tried = false;   // the server took the log-in
  std::string problem;  // when not tried: why the server could not be asked
  std::string serverKey;  // the key the server showed (an SSH host key), as IBackend::serverKey gives it
};
// With `login`, the service logs in first and saves nothing when the server
// refuses; a server out of reach leaves the drive saved, untried.
bool RequestSetMount(const vx::json::Value& mount, std::string& id, std::string& error, LoginCheck* login = nullptr);
bool RequestGetLog(int lines, std::string& text, std::string& error);
bool RequestTransfers(vx::json::Value& transfers, std::string& error);

// Asks the service to install the mount driver and waits for the outcome.
bool WaitForDriverInstall(std::string& error);

}  // namespace tarn::app
