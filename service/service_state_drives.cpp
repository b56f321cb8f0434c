#include "engine/probe.h"
#include "foundation/config_file.h"
#include "foundation/file_util.h"
#include "foundation/log.h"
#include "service/service_state.h"

namespace tarn {
namespace {

using vx::json::Value;

constexpr const char* kNoEngine = "the drive engine is not available";

Status NoEngine() { return Status(Status::kUnsupported, kNoEngine); }

}  // namespace

bool ServiceState::isMountedLocked(const DriveSlot&) const { return false; }

bool ServiceState::hasUploadsLocked() const { return false; }

Status ServiceState::mountLocked(DriveSlot& slot) {
  slot.wanted = true;
  Status s = NoEngine();
  slot.lastError = s.message;
  return s;
}

Status ServiceState::unmountLocked(DriveSlot& slot, uint32_t) {
  slot.wanted = false;
  return Status();
}

Status ServiceState::mount(const std::string& id) {
  std::lock_guard<std::mutex> lock(mu_);
  DriveSlot* slot = findLocked(id);
  if (slot == nullptr) return Status(Status::kNotFound, "no such drive");
  return mountLocked(*slot);
}

Status ServiceState::unmount(const std::string& id) {
  std::lock_guard<std::mutex> lock(mu_);
  if (findLocked(id) == nullptr) return Status(Status::kNotFound, "no such drive");
  return NoEngine();
}

Status ServiceState::syncNow(const std::string& id) {
  std::lock_guard<std::mutex> lock(mu_);
  if (findLocked(id) == nullptr) return Status(Status::kNotFound, "no such drive");
  return NoEngine();
}

Status ServiceState::setOffline(const std::string& id, bool) {
  std::lock_guard<std::mutex> lock(mu_);
  if (findLocked(id) == nullptr) return Status(Status::kNotFound, "no such drive");
  return NoEngine();
}

Status ServiceState::clearCache(const std::string& id) {
  std::lock_guard<std::mutex> lock(mu_);
  if (findLocked(id) == nullptr) return Status(Status::kNotFound, "no such drive");
  return NoEngine();
}

Status ServiceState::stopUpload(const std::string& id, const std::string&) {
  std::lock_guard<std::mutex> lock(mu_);
  if (findLocked(id) == nullptr) return Status(Status::kNotFound, "no such drive");
  return NoEngine();
}

Status ServiceState::transfers(Value&) { return NoEngine(); }

Status ServiceState::probe(const Value& mount, std::string& summary, Value& report) {
  if (!mount.isObject()) return Status(Status::kInvalid, "mount is missing");
  MountConfig config = MountConfigFromJson(mount);
  {
    std::lock_guard<std::mutex> lock(mu_);
    keepStoredSecretsLocked(config);
  }
  // The probe talks to a server for up to minutes: no lock is held, and a
  // verdict against the settings is part of its report, not a refusal.
  const ProbeReport result = RunProbe(config, nullptr);
  vx::SecureWipe(config.endpoint.password);
  vx::SecureWipe(config.endpoint.privateKey);
  summary = result.toText();
  report = result.toJson();
  return Status();
}

void ServiceState::mountWanted() {
  std::lock_guard<std::mutex> lock(mu_);
  for (DriveSlot& slot : drives_) {
    if (!slot.config.autoMount) continue;
    Status s = mountLocked(slot);
    if (!s.ok()) vx::log::write(vx::log::kWarn, "%s: mount failed: %s", slot.config.name.c_str(), s.message.c_str());
  }
}

void ServiceState::networkChanged() {
  std::lock_guard<std::mutex> lock(mu_);
  for (DriveSlot& slot : drives_) {
    if (!slot.wanted || isMountedLocked(slot)) continue;
    Status s = mountLocked(slot);
    if (!s.ok()) vx::log::write(vx::log::kDebug, "%s: still not mounted: %s", slot.config.name.c_str(), s.message.c_str());
  }
}

void ServiceState::unmountAll(uint32_t flushMs) {
  std::lock_guard<std::mutex> lock(mu_);
  for (DriveSlot& slot : drives_) {
    if (isMountedLocked(slot)) unmountLocked(slot, flushMs);
  }
}

}  // namespace tarn
