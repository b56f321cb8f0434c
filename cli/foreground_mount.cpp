#include "cli/foreground_mount.h"

#include <signal.h>

#include <cstdio>
#include <memory>

#include "engine/clock.h"
#include "engine/probe.h"
#include "engine/volume.h"
#include "cli/console_commands.h"
#include "foundation/config_file.h"
#include "foundation/codec.h"
#include "foundation/file_util.h"
#include "foundation/hash.h"
#include "foundation/json.h"
#include "foundation/log.h"
#include "mount/mount_host.h"
#include "mount/open_file_shares.h"
#include "platform/open_file_limit.h"

namespace tarn::app {
namespace {

constexpr long kPollMs = 200;
constexpr size_t kForegroundIdBytes = 8;

int Fail(const std::string& message) {
  std::fprintf(stderr, "tarn: %s\n", message.c_str());
  return kExitFailed;
}

}  // namespace

// Changes a stop left unsent are found and sent by the next start.
std::string ForegroundDriveId(const EndpointConfig& ep) {
  const std::string where = ep.protocol + "://" + ep.user + "@" + ep.host + ":" + std::to_string(ep.port) + ep.root;
  const std::vector<uint8_t> hash = vx::Sha256(where.data(), where.size());
  return "fg" + vx::HexEncode(hash.data(), kForegroundIdBytes);
}

bool IsForegroundMount(const std::vector<std::string>& args) {
  return args.size() >= 2 && args[0] == "mount" && args[1] == "--foreground";
}

int RunForegroundMount(const std::vector<std::string>& args) {
  for (const std::string& a : args) {
    if (a == "--help" || a == "-h") return RunConsoleCommand({"mount", "--help"});
  }
  if (args.size() != 4) return ReportUsage("give the drive file and the folder", "tarn mount --help");
  const std::string& drivePath = args[2];
  const std::string& folder = args[3];
  std::string text;
  if (!vx::ReadWholeFile(drivePath, text)) return Fail("cannot read " + drivePath);
  vx::json::Value json;
  std::string error;
  // The file stands for arguments: what is wrong in it is wrong arguments.
  const bool parsed = vx::json::Parse(text, json, &error);
  vx::SecureWipe(text);
  if (!parsed) return ReportUsage(drivePath + ": " + error, "tarn mount --help");
  // A backup job has an endpoint too: its sources tell it apart.
  if (json.has("sources"))
    return ReportUsage(drivePath + " is a backup job, not a drive (\"tarn backup set " + drivePath + "\" takes it)",
                       "tarn mount --help");
  MountConfig config = MountConfigFromJson(json);
  const bool idGiven = !config.id.empty();
  error = ValidateMountConfig(config);
  if (!error.empty()) return ReportUsage(drivePath + ": " + error, "tarn mount --help");
  if (!idGiven) config.id = ForegroundDriveId(config.endpoint);
  if (!IsPlainDriveId(config.id))
    return ReportUsage(drivePath + ": \"id\" must be one plain name: it names the cache folder", "tarn mount --help");

  // Blocked before any thread starts, so every thread inherits the mask and
  // the signals wait for sigwait below.
  sigset_t stop;
  sigemptyset(&stop);
  sigaddset(&stop, SIGINT);
  sigaddset(&stop, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stop, nullptr);

  vx::log::setConsole(true);
  (void)RaiseOpenFileLimit();
  // The check and the first connect share one budget: a server that
  // accepts and never answers costs it once, not once each.
  const auto within = std::make_shared<CancelToken>(nullptr, SteadyNowMs() + RetryPolicyFor(config.net).budgetMs,
                                                    &SteadyNowMs);
  // As the service does for a drive never probed: what the server cannot
  // keep (long names above all) is refused at once, not after the upload.
  if (!config.probed.valid) TakeProbeReport(config, RunProbe(config, within.get()));
  auto volume = std::make_shared<Volume>(config, DefaultCacheDir(), Volume::BackendFactory());
  Status st = volume->start(&error, within.get());
  if (!st.ok()) return Fail(st.toString());
  // Other users reach a foreground mount as they reach the service's.
  auto shares = std::make_shared<OpenFileShares>(OpenFileSharesFor(OpenFileLimit()));
  std::unique_ptr<IMountHost> host = MakeMountHost(shares);
  st = host->mount(volume, folder);
  if (!st.ok()) {
    volume->stop(0);
    return Fail(st.toString());
  }
  // Ends on a stop signal, or once the mount was taken away from outside
  // (fusermount3 -u), after flushing like any unmount.
  const timespec poll{0, kPollMs * 1000000L};
  while (host->isMounted() && sigtimedwait(&stop, nullptr, &poll) < 0) {
  }
  host->unmount(kForegroundFlushMs);
  volume->stop(kForegroundFlushMs);
  return kExitOk;
}

}  // namespace tarn::app
