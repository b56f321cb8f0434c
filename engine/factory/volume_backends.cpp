// The volume's constructor: the one part of tarn::Volume that knows the
// concrete back-ends (a volume given no connection factory makes them with
// MakeBackend), so it lives here, above them. The rest of the volume is in
// engine/.
#include "engine/backend_factory.h"
#include "engine/volume.h"
#include "foundation/log.h"

namespace tarn {
namespace {

constexpr uint64_t kBytesPerKib = 1024;

// What a drive can do before its server has said anything: the interface's
// defaults, corrected for what each protocol is known to offer.
BackendCaps PresetCaps(const MountConfig& config) {
  BackendCaps caps;
  if (config.endpoint.protocol == "webdav") {
    caps.randomWrite = false;
    caps.setMtime = false;
  } else {
    caps.randomWrite = true;
    caps.resumableUpload = true;
    caps.truncate = true;
    caps.setMtime = true;
  }
  // A stored probe result already knows better than the preset, and uploads
  // may be chosen before the first connect succeeds.
  config.probed.applyTo(caps);
  return caps;
}

}  // namespace

Volume::Volume(MountConfig config, std::string cacheRoot, BackendFactory factory, VolumeTimings timings, Env* env)
    : config_(std::move(config)),
      cacheRoot_(std::move(cacheRoot)),
      backendFactory_(std::move(factory)),
      timings_(timings),
      env_(env != nullptr ? env : Env::Default()),
      limiter_(static_cast<uint64_t>(config_.net.speedLimitKbps) * kBytesPerKib),
      cancel_(std::make_shared<CancelToken>()) {
  auto caps = std::make_shared<const BackendCaps>(PresetCaps(config_));
  rangeIgnored_ = !caps->rangeRead;
  caps_.store(std::move(caps));
  offline_ = config_.cache.offlineMode;
  if (!backendFactory_) {
    backendFactory_ = [endpoint = config_.endpoint]() -> std::unique_ptr<IBackend> {
      std::string error;
      std::unique_ptr<IBackend> backend = MakeBackend(endpoint, &error);
      if (!backend) vx::log::write(vx::log::kError, "backend: %s", error.c_str());
      return backend;
    };
  }
}

}  // namespace tarn
