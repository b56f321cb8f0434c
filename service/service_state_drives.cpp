#include <utility>

#include "engine/probe.h"
#include "foundation/config_file.h"
#include "foundation/file_util.h"
#include "foundation/log.h"
#include "foundation/text.h"
#include "mount/mount_driver.h"
#include "service/service_state.h"

namespace tarn {
namespace {

using vx::json::Value;

constexpr const char* kNoSuchDrive = "no such drive";
constexpr const char* kNotMounted = "the drive is not mounted";

const char* Name(const MountConfig& c) { return c.name.c_str(); }

// The first failure of a report, for the log.
std::string FirstFailure(const ProbeReport& report) {
  for (const ProbeItem& item : report.items) {
    if (item.level == ProbeItem::kFailure) return item.check + ": " + item.message;
  }
  return "failed";
}

Value TransferJson(const MountConfig& c, const TransferInfo& t) {
  Value v = Value::object();
  v.set("mount", c.id);
  v.set("drive", vx::WideToUtf8(std::u16string(1, c.drive)));
  v.set("path", t.path);
  v.set("upload", t.upload);
  v.set("done", t.done);
  v.set("total", t.total);
  v.set("state", t.state);
  v.set("error", t.error);
  v.set("attempt", t.attempt);
  v.set("startedMs", t.startedMs);
  v.set("updatedMs", t.updatedMs);
  return v;
}

}  // namespace

// ---- under the lock ------------------------------------------------------

bool ServiceState::isMountedLocked(const DriveSlot& slot) const { return slot.host && slot.host->isMounted(); }

Volume* ServiceState::mountedVolumeLocked(DriveSlot* slot, Status& why) {
  if (slot == nullptr) {
    why = Status(Status::kNotFound, kNoSuchDrive);
    return nullptr;
  }
  if (!isMountedLocked(*slot)) {
    why = Status(Status::kInvalid, kNotMounted);
    return nullptr;
  }
  return slot->volume.get();
}

Status ServiceState::mountLocked(DriveSlot& slot) {
  slot.wanted = true;
  if (isMountedLocked(slot)) return Status();
  // A mount taken away from outside leaves its volume running; the new one
  // resumes what it had not sent.
  Status s = releaseDriveLocked(slot, 0);
  if (s.ok()) s = startDriveLocked(slot);
  slot.lastError = s.ok() ? std::string() : s.message;
  return s;
}

Status ServiceState::startDriveLocked(DriveSlot& slot) {
  if (DetectMountDriver(settings_.mountDriver).name.empty()) return Status(Status::kUnsupported, kNoMountDriver);
  if (!slot.config.probed.valid) probeLocked(slot);
  auto volume = std::make_shared<Volume>(slot.config, cacheRootLocked(),
                                         backendsFor_ ? backendsFor_(slot.config) : Volume::BackendFactory());
  std::string error;
  // A server out of reach does not fail the start: the drive serves its
  // cache and the status shows why it is not online.
  Status s = volume->start(&error);
  if (!s.ok()) return s;
  std::unique_ptr<IMountHost> host = MakeMountHost();
  s = host->mount(volume, MountPointPath(slot.config.drive));
  if (!s.ok()) {
    volume->stop(0);
    return s;
  }
  slot.volume = std::move(volume);
  slot.host = std::move(host);
  return Status();
}

void ServiceState::probeLocked(DriveSlot& slot) {
  ProbeReport report;
  if (backendsFor_) {
    std::unique_ptr<IBackend> backend = backendsFor_(slot.config)();
    if (backend) {
      ProbeServer(report, *backend, slot.config.compat, nullptr);
    } else {
      report.add(ProbeItem::kFailure, "backend", "no backend");
    }
  } else {
    report = RunProbe(slot.config, nullptr);
  }
  if (!report.ok) {
    vx::log::write(vx::log::kWarn, "%s: probe failed: %s", Name(slot.config), FirstFailure(report).c_str());
    return;
  }
  const ProbedCaps before = slot.config.probed;
  slot.config.probed = ProbedCaps::fromReport(report.caps);
  // Kept only when the file keeps it, so that memory and file agree.
  if (!saveLocked().ok()) slot.config.probed = before;
}

Status ServiceState::releaseDriveLocked(DriveSlot& slot, uint32_t flushMs) {
  if (slot.host) {
    // The host does not wait: the volume's stop below makes every queued
    // upload due at once and waits for them, which a wait here would not.
    Status s = slot.host->unmount(0);
    if (!s.ok()) return s;
    slot.host.reset();
  }
  if (slot.volume) {
    slot.volume->stop(flushMs);
    VolumeStatus left;
    slot.volume->status(left);
    if (left.pendingUploads != 0)
      vx::log::write(vx::log::kWarn, "%s: %u uploads still pending; they go on at the next mount",
                     Name(slot.config), left.pendingUploads);
    slot.volume.reset();
  }
  return Status();
}

Value ServiceState::mountStatusLocked(const DriveSlot& slot) const {
  const MountConfig& c = slot.config;
  VolumeStatus vs;
  vs.offlineMode = c.cache.offlineMode;
  if (slot.volume) slot.volume->status(vs);
  Value m = Value::object();
  m.set("id", c.id);
  m.set("name", c.name);
  m.set("drive", vx::WideToUtf8(std::u16string(1, c.drive)));
  // Where the drive is, even after its letter changed in the settings.
  m.set("mountPoint", slot.host ? slot.host->mountPoint() : MountPointPath(c.drive));
  m.set("mounted", isMountedLocked(slot));
  m.set("online", vs.online);
  m.set("offlineMode", vs.offlineMode);
  m.set("lastError", slot.lastError.empty() ? vs.lastError : slot.lastError);
  m.set("cacheBytes", vs.cacheBytes);
  m.set("pendingUploads", vs.pendingUploads);
  if (slot.volume) {
    const std::shared_ptr<const BackendCaps> caps = slot.volume->caps();
    m.set("server", caps->server);
    m.set("randomWrite", caps->randomWrite);
    m.set("caseSensitive", caps->caseSensitive);
  }
  m.set("config", MountConfigToJson(c, false));
  return m;
}

// ---- requests --------------------------------------------------------------

Status ServiceState::mount(const std::string& id) {
  std::lock_guard<std::mutex> lock(mu_);
  DriveSlot* slot = findLocked(id);
  if (slot == nullptr) return Status(Status::kNotFound, kNoSuchDrive);
  Status s = mountLocked(*slot);
  if (!s.ok()) vx::log::write(vx::log::kWarn, "%s: mount failed: %s", Name(slot->config), s.message.c_str());
  return s;
}

Status ServiceState::unmount(const std::string& id) {
  std::lock_guard<std::mutex> lock(mu_);
  DriveSlot* slot = findLocked(id);
  if (slot == nullptr) return Status(Status::kNotFound, kNoSuchDrive);
  slot->wanted = false;
  return releaseDriveLocked(*slot, kUnmountFlushMs);
}

Status ServiceState::syncNow(const std::string& id) {
  std::lock_guard<std::mutex> lock(mu_);
  Status why;
  Volume* volume = mountedVolumeLocked(findLocked(id), why);
  if (volume == nullptr) return why;
  volume->rescanDirty();
  return Status();
}

Status ServiceState::setOffline(const std::string& id, bool offline) {
  std::lock_guard<std::mutex> lock(mu_);
  DriveSlot* slot = findLocked(id);
  if (slot == nullptr) return Status(Status::kNotFound, kNoSuchDrive);
  // A setting of the drive: it holds for the next mount and the next start
  // of the service too.
  const bool before = slot->config.cache.offlineMode;
  slot->config.cache.offlineMode = offline;
  Status saved = saveLocked();
  if (!saved.ok()) {
    slot->config.cache.offlineMode = before;
    return saved;
  }
  if (slot->volume) slot->volume->setOffline(offline);
  vx::log::write(vx::log::kInfo, "%s: offline mode %s", Name(slot->config), offline ? "on" : "off");
  return Status();
}

Status ServiceState::clearCache(const std::string& id) {
  std::lock_guard<std::mutex> lock(mu_);
  Status why;
  Volume* volume = mountedVolumeLocked(findLocked(id), why);
  if (volume == nullptr) return why;
  volume->clearCache();
  return Status();
}

Status ServiceState::stopUpload(const std::string& id, const std::string& path) {
  std::lock_guard<std::mutex> lock(mu_);
  Status why;
  Volume* volume = mountedVolumeLocked(findLocked(id), why);
  if (volume == nullptr) return why;
  return volume->stopUpload(path);
}

Status ServiceState::transfers(Value& list) {
  std::lock_guard<std::mutex> lock(mu_);
  list = Value::array();
  for (const DriveSlot& slot : drives_) {
    if (!slot.volume) continue;
    for (const TransferInfo& t : slot.volume->transfers()) list.append(TransferJson(slot.config, t));
  }
  return Status();
}

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

// ---- the service's own calls -----------------------------------------------

void ServiceState::mountWanted() {
  std::lock_guard<std::mutex> lock(mu_);
  for (DriveSlot& slot : drives_) {
    if (!slot.config.autoMount) continue;
    Status s = mountLocked(slot);
    if (!s.ok()) vx::log::write(vx::log::kWarn, "%s: mount failed: %s", Name(slot.config), s.message.c_str());
  }
}

void ServiceState::networkChanged() {
  std::lock_guard<std::mutex> lock(mu_);
  for (DriveSlot& slot : drives_) {
    if (isMountedLocked(slot)) {
      // Connections made over the old addresses may be dead: open them anew
      // and send what waits.
      slot.volume->kick();
    } else if (slot.wanted) {
      Status s = mountLocked(slot);
      if (!s.ok())
        vx::log::write(vx::log::kDebug, "%s: still not mounted: %s", Name(slot.config), s.message.c_str());
    }
  }
}

void ServiceState::unmountAll(uint32_t flushMs) {
  std::lock_guard<std::mutex> lock(mu_);
  for (DriveSlot& slot : drives_) {
    Status s = releaseDriveLocked(slot, flushMs);
    if (!s.ok()) vx::log::write(vx::log::kError, "%s: unmount failed: %s", Name(slot.config), s.message.c_str());
  }
}

}  // namespace tarn
