#include "service/service_body.h"

#include <sys/utsname.h>

#include <cstdio>
#include <filesystem>
#include <set>

#include "backends/ssh_nfs/sftp_known_hosts.h"
#include "foundation/config_file.h"
#include "foundation/data_protection.h"
#include "foundation/file_util.h"
#include "foundation/log.h"
#include "platform/address_watch.h"
#include "platform/open_file_limit.h"
#include "platform/secure_folder.h"
#include "platform/service_manager.h"
#include "service/dispatcher.h"

namespace tarn {
namespace {

constexpr const char* kLogName = "service";

// The stop waits for the requests being answered (a mount's answer and its
// reply's delivery), then for the drives, which flush side by side: all of
// it within the time systemd gives the stop before it kills the service.
static_assert(kMountAnswerMs + kControlFrameTimeoutMs + kUnmountFlushMs < kServiceStopTimeoutSec * 1000u,
              "the stop must end before the unit's TimeoutStopSec");

std::string MachineName() {
  utsname u{};
  return ::uname(&u) == 0 ? std::string(u.machine) : std::string("unknown");
}

std::string ParentOf(const std::string& path) { return std::filesystem::path(path).parent_path().string(); }

// The folders and files the service trusts: each checked, its mode mended
// when it is the service's own (`mended` names those), or the first that
// someone else could have changed refuses the start.
Status SecureOwnFiles(const ServiceOptions& o, std::vector<std::string>& mended) {
  const std::string log = vx::JoinPath(o.logDir, std::string(kLogName) + ".log");
  std::vector<std::string> folders = {o.logDir};
  folders.insert(folders.end(), o.ownFolders.begin(), o.ownFolders.end());
  std::vector<std::string> files = {o.configPath, log, log + vx::log::kRotatedSuffix};
  files.insert(files.end(), o.ownFiles.begin(), o.ownFiles.end());
  std::set<std::string> seen;
  for (const std::string& dir : folders) {
    if (dir.empty() || !seen.insert(dir).second) continue;
    bool changed = false;
    if (Status st = SecureServiceFolder(dir, &changed); !st.ok()) return st;
    if (changed) mended.push_back(dir);
  }
  for (const std::string& file : files) {
    if (file.empty() || !seen.insert(file).second) continue;
    bool changed = false;
    if (Status st = SecureServiceFile(file, &changed); !st.ok()) return st;
    if (changed) mended.push_back(file);
  }
  return Status();
}

// Someone accepts on the socket, or would if its queue were not full.
bool ServiceListens(const std::string& socketPath) {
  vx::UniqueFd probe;
  const Status st = ConnectControlSocket(socketPath, DeadlineAfterMs(0), probe);
  return st.ok() || st.code == Status::kTimeout;
}

}  // namespace

void StopEvent::signal() {
  std::lock_guard<std::mutex> lock(mu_);
  signalled_ = true;
  cv_.notify_all();
}

void StopEvent::wait() {
  std::unique_lock<std::mutex> lock(mu_);
  cv_.wait(lock, [&] { return signalled_; });
}

bool StopEvent::signalled() const {
  std::lock_guard<std::mutex> lock(mu_);
  return signalled_;
}

ServiceOptions ServiceOptions::Defaults() {
  ServiceOptions o;
  o.logDir = LogDir();
  o.configPath = ConfigPath();
  o.ownFolders = {DataRoot(), ParentOf(vx::MachineKeyPath())};
  o.ownFiles = {KnownHostsPath(), vx::MachineKeyPath()};
  o.socketPath = ControlSocketPath();
  return o;
}

int ServiceBody(const ServiceOptions& options, StopEvent& stop) {
  // A second start leaves the running service's log alone: opening it
  // could already rotate it.
  if (ServiceListens(options.socketPath)) return kExitAlreadyRunning;
  std::vector<std::string> mended;
  if (const Status trusted = SecureOwnFiles(options, mended); !trusted.ok()) {
    // The log may be what cannot be trusted: the reason goes where the
    // terminal or systemd's journal shows it.
    std::fprintf(stderr, "tarn: not starting: %s\n", trusted.message.c_str());
    return kExitUntrusted;
  }
  vx::log::open(options.logDir, kLogName, options.logRotateBytes);
  vx::log::write(vx::log::kInfo, "Tarn service %s (%s) starting", kServiceVersion, MachineName().c_str());
  for (const std::string& path : mended)
    vx::log::write(vx::log::kWarn, "files: %s was open to other users; now it is the service's alone", path.c_str());

  ServiceState state(options.configPath, vx::JoinPath(options.logDir, std::string(kLogName) + ".log"));
  std::string error;
  if (!vx::FileExists(options.configPath)) {
    vx::log::write(vx::log::kInfo, "config: no configuration yet; the first drive or setting writes %s",
                   options.configPath.c_str());
  } else if (!state.loadConfig(&error)) {
    vx::log::write(vx::log::kWarn, "config: %s", error.c_str());
  }
  if (options.backendsFor) state.setBackendsFor(options.backendsFor);
  const uint64_t descriptors = options.openFileLimit != 0 ? options.openFileLimit : OpenFileLimit();
  const ShareLimits openFiles = OpenFileSharesFor(descriptors);
  state.setOpenFileShares(std::make_shared<OpenFileShares>(openFiles));
  vx::log::write(vx::log::kInfo, "open files: %llu for each user on the drives, %llu for all of them (of %llu)",
                 static_cast<unsigned long long>(openFiles.perUser),
                 static_cast<unsigned long long>(openFiles.whole - openFiles.rootReserve),
                 static_cast<unsigned long long>(descriptors));

  std::unique_ptr<IBackupService> backups;
  if (options.makeBackups) backups = options.makeBackups(state);
  Dispatcher dispatcher(state);
  if (backups) {
    if (!backups->loadJobs(&error)) vx::log::write(vx::log::kError, "backups: %s", error.c_str());
    IBackupService* b = backups.get();
    state.setBackupRunning([b] { return b->anyRunning(); });
    dispatcher.setBackupHandler([b](const vx::json::Value& req, const IpcCaller* caller) { return b->handle(req, caller); });
  }

  ControlServerOptions serverOptions = options.server;
  serverOptions.replyBytes = Dispatcher::ReplyBytes;
  serverOptions.identify = [&state](const PeerCredentials& peer) {
    return IpcCallerFromPeer(peer, GroupIdOf(state.adminGroup()));
  };
  ControlServer server(
      [&dispatcher](const vx::json::Value& req, const IpcCaller& caller) { return dispatcher.dispatch(req, &caller); },
      serverOptions);
  Status listening = server.start(options.socketPath);
  if (!listening.ok()) {
    vx::log::write(vx::log::kError, "ipc: %s", listening.message.c_str());
    if (backups) backups->stopAll();
    return listening.code == Status::kBusy ? kExitAlreadyRunning : kExitIpcFailed;
  }

  state.deleteSetAsideCaches();

  AddressWatch network;
  Status watching = network.start([&state] { state.networkChanged(); });
  if (!watching.ok()) vx::log::write(vx::log::kWarn, "network: %s", watching.message.c_str());

  state.mountWanted();
  if (backups) backups->startScheduler();
  vx::log::write(vx::log::kInfo, "running");

  stop.wait();

  // Nothing may start new work on a drive once its unmount has begun: the
  // requests and the backup tasks end first, then the drives flush.
  vx::log::write(vx::log::kInfo, "stopping: flushing uploads");
  network.stop();
  server.stop();
  if (backups) backups->stopAll();
  state.unmountAll(kUnmountFlushMs);
  vx::log::write(vx::log::kInfo, "stopped");
  return 0;
}

}  // namespace tarn
