#include "service/service_state.h"

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <utility>

#include "engine/backend_factory.h"
#include "engine/volume.h"
#include "foundation/config_file.h"
#include "foundation/file_util.h"
#include "foundation/log.h"
#include "foundation/text.h"
#include "mount/mount_driver.h"
#include "platform/control_request.h"
#include "platform/secure_folder.h"
#include "service/cache_folder.h"

namespace tarn {
namespace {

using vx::json::Value;

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
constexpr const char* kLogLevels[] = {"debug", "info", "warn", "error"};

// The service log writes from the configured level on; an unknown name
// (a hand-edited file) leaves it as it is.
void ApplyLogLevel(const std::string& name) {
  for (uint32_t level = 0; level < std::size(kLogLevels); ++level)
    if (name == kLogLevels[level]) vx::log::setThreshold(level);
}


// The log's last lines without the byte-order mark its first line may carry.
std::string LastLines(const std::string& text, int lines) {
  std::string out = vx::LastLines(text, lines);
  if (out.compare(0, kByteOrderMark.size(), kByteOrderMark) == 0) out.erase(0, kByteOrderMark.size());
  return out;
}

// A removed drive's cache is set aside under this prefix and deleted later:
// a large cache takes many seconds to delete.
constexpr std::string_view kSetAsidePrefix = ".removed-";

// Moves what the drive engine keeps in a drive's cache folder out of the
// way at once: its own folder whole, into the cache root; of a folder the
// user chose, which may hold other files, only the engine's own, into a
// folder of their own inside it. Returns the folder to delete, empty when
// there is nothing.
std::string SetCacheAside(const std::string& dir, bool ownFolder, const std::string& cacheRoot,
                          const std::string& driveName) {
  const std::string aside =
      vx::JoinPath(ownFolder ? cacheRoot : dir, std::string(kSetAsidePrefix) + RandomId());
  std::error_code ec;
  if (ownFolder) {
    std::filesystem::rename(dir, aside, ec);
    if (ec == std::errc::no_such_file_or_directory) return std::string();
  } else if (std::filesystem::create_directory(aside, ec)) {
    for (const std::string& name : VolumeCacheEntries()) {
      const std::string from = vx::JoinPath(dir, name);
      if (!ec && std::filesystem::exists(from, ec)) std::filesystem::rename(from, vx::JoinPath(aside, name), ec);
    }
  }
  if (ec) {
    vx::log::write(vx::log::kWarn, "%s: cannot remove the cache %s: %s", driveName.c_str(), dir.c_str(),
                   ec.message().c_str());
  }
  return aside;
}

// Deletes what SetCacheAside moved, and a folder the user chose once that
// leaves it empty.
void DeleteSetAside(const std::string& aside, const std::string& chosenFolder, const std::string& driveName) {
  std::error_code ec;
  std::filesystem::remove_all(aside, ec);
  if (ec) {
    vx::log::write(vx::log::kWarn, "%s: cannot remove the cache %s: %s", driveName.c_str(), aside.c_str(),
                   ec.message().c_str());
  }
  if (!chosenFolder.empty()) ::rmdir(chosenFolder.c_str());
}

Status SettingError(const std::string& message) { return Status(Status::kInvalid, message); }

bool HasControl(std::string_view text) {
  return std::any_of(text.begin(), text.end(),
                     [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; });
}

// The texts of a drive that go into config.json, the replies and the log
// must be one line of valid UTF-8.
std::string CheckDriveTexts(const MountConfig& m) {
  const std::pair<const char*, const std::string*> texts[] = {
      {"name", &m.name},          {"id", &m.id},           {"endpoint host", &m.endpoint.host},
      {"endpoint root", &m.endpoint.root}, {"endpoint user", &m.endpoint.user}, {"endpoint extra", &m.endpoint.extra},
      {"cache dir", &m.cache.dir},
  };
  for (const auto& [field, text] : texts) {
    if (!vx::IsValidUtf8(*text)) return std::string("the drive's ") + field + " is not valid UTF-8";
    if (HasControl(*text)) return std::string("the drive's ") + field + " holds a line feed or another control character";
  }
  if (vx::Utf8ToWide(m.name).size() > kMaxDriveNameChars)
    return "the drive's name is longer than " + std::to_string(kMaxDriveNameChars) + " characters";
  return {};
}

}  // namespace

ServiceState::ServiceState(std::string configPath, std::string logPath)
    : configPath_(std::move(configPath)), logPath_(std::move(logPath)) {}

ServiceState::~ServiceState() {
  unmountAll(0);
  std::vector<std::thread> deletions;
  {
    std::lock_guard<std::mutex> lock(mu_);
    joinEndedLocked();
    deletions.swap(cacheDeletions_);
  }
  for (std::thread& t : deletions) t.join();
}

bool ServiceState::loadConfig(std::string* error) {
  AppConfig loaded;
  if (!LoadConfig(loaded, configPath_, error)) return false;
  std::lock_guard<std::mutex> lock(mu_);
  drives_.clear();
  for (MountConfig& m : loaded.mounts) {
    DriveSlot& slot = drives_.emplace_back();
    slot.serial = ++nextSerial_;
    slot.config = std::move(m);
  }
  loaded.mounts.clear();
  settings_ = std::move(loaded);
  setAdminGroupLocked();
  ApplyLogLevel(settings_.logLevel);
  return true;
}

void ServiceState::deleteSetAsideCaches() {
  std::lock_guard<std::mutex> lock(mu_);
  const std::string root = cacheRootLocked();
  cacheDeletions_.emplace_back([root] {
    // Deleting in a folder that others may change could be led elsewhere.
    if (const Status opened = OpenCacheRoot(root); !opened.ok()) {
      vx::log::write(vx::log::kWarn, "cache: %s", opened.message.c_str());
      return;
    }
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(root, ec)) {
      if (entry.path().filename().string().starts_with(kSetAsidePrefix)) DeleteSetAside(entry.path().string(), "", "cache");
    }
  });
}

void ServiceState::setBackupRunning(std::function<bool()> anyRunning) { backupRunning_ = std::move(anyRunning); }

void ServiceState::setBackendsFor(BackendsFor backendsFor) { backendsFor_ = std::move(backendsFor); }

// ---- reports -------------------------------------------------------------

Value ServiceState::status() {
  Value mounts = drivesStatus();
  std::lock_guard<std::mutex> lock(mu_);
  Value reply = Value::object();
  reply.set("ok", true);
  reply.set("version", kServiceVersion);
  // There is no update server: nothing updates by itself.
  reply.set("autoUpdate", false);
  // The desktop application's language, for users who cannot read the file.
  reply.set("language", settings_.language);
  // There is no update server: the record stays idle.
  Value update = Value::object();
  update.set("checking", false);
  update.set("lastCheck", 0);
  update.set("latest", "");
  update.set("error", "");
  update.set("applying", false);
  reply.set("update", std::move(update));
  const MountDriver found = DetectMountDriver(settings_.mountDriver);
  Value driver = Value::object();
  driver.set("name", found.name);
  driver.set("version", found.version);
  driver.set("installing", false);
  driver.set("error", found.name.empty() ? kNoMountDriver : "");
  reply.set("driver", std::move(driver));
  reply.set("mounts", std::move(mounts));
  return reply;
}

uint64_t LogTailBytes(int lines) {
  return std::min<uint64_t>(static_cast<uint64_t>(std::clamp(lines, 1, kMaxLogLines)) * vx::log::kMaxLine,
                            kMaxLogReplyBytes);
}

std::string ServiceState::getLog(int lines) {
  lines = std::clamp(lines, 1, kMaxLogLines);
  // Only the end is read: a log that could not rotate may be of any size.
  const uint64_t tail = LogTailBytes(lines);
  std::string text;
  if (!vx::ReadFileTail(logPath_, tail + 1, text)) return std::string();
  if (text.size() > tail) {
    // The read began inside a line.
    const size_t firstEnd = text.find('\n');
    text.erase(0, firstEnd == std::string::npos ? text.size() : firstEnd + 1);
  }
  return LastLines(text, lines);
}

// ---- registry ------------------------------------------------------------

Status ServiceState::setMount(const Value& mount, std::string& id) {
  if (!mount.isObject()) return Status(Status::kInvalid, "mount is missing");
  MountConfig incoming = MountConfigFromJson(mount);
  std::string error = CheckDriveTexts(incoming);
  if (!error.empty()) return Status(Status::kInvalid, error);
  std::lock_guard<std::mutex> lock(mu_);
  keepStoredSecretsLocked(incoming);
  error = ValidateMountConfig(incoming);
  if (!error.empty()) return Status(Status::kInvalid, error);
  if (!IsPlainDriveId(incoming.id)) return Status(Status::kInvalid, "drive id must be a plain name");
  // Two drives of one letter share one mount point: the second could never
  // mount while the first is.
  for (const DriveSlot& other : drives_) {
    if (other.config.id != incoming.id && other.config.drive == incoming.drive)
      return Status(Status::kInvalid, "the drive letter " + vx::WideToUtf8(std::u16string(1, incoming.drive)) +
                                          " is used by the drive " + other.config.name + " (" + other.config.id + ")");
  }

  DriveSlot* slot = findLocked(incoming.id);
  const bool added = slot == nullptr;
  MountConfig before;
  if (added) {
    DriveSlot& fresh = drives_.emplace_back();
    fresh.serial = ++nextSerial_;
    fresh.config = incoming;
  } else if (slot->removing) {
    return Status(Status::kBusy, "the drive is being removed");
  } else {
    if (!SameServer(slot->config.endpoint, incoming.endpoint)) incoming.probed = ProbedCaps();
    before = std::move(slot->config);
    slot->config = incoming;
  }
  Status saved = saveLocked();
  if (!saved.ok()) {
    if (added) {
      drives_.pop_back();
    } else {
      findLocked(incoming.id)->config = std::move(before);
    }
    return saved;
  }
  id = incoming.id;
  vx::log::write(vx::log::kInfo, "%s: settings saved", incoming.name.c_str());
  return Status();
}

Status ServiceState::tryLogin(const Value& mount, std::string* serverKey) {
  if (!mount.isObject()) return Status(Status::kInvalid, "mount is missing");
  MountConfig config = MountConfigFromJson(mount);
  std::string problem = CheckDriveTexts(config);
  if (problem.empty()) {
    std::lock_guard<std::mutex> lock(mu_);
    keepStoredSecretsLocked(config);
    problem = ValidateMountConfig(config);
  }
  if (!problem.empty()) return Status(Status::kInvalid, problem);
  if (problem = UnopenedSecretProblem(config.endpoint); !problem.empty()) return Status(Status::kAuthFailed, problem);
  std::unique_ptr<IBackend> backend = backendsFor_ ? backendsFor_(config)() : MakeBackend(config.endpoint, &problem);
  vx::SecureWipe(config.endpoint.password);
  vx::SecureWipe(config.endpoint.privateKey);
  if (!backend) return Status(Status::kUnsupported, problem);
  Status s = backend->connect();
  if (serverKey != nullptr) *serverKey = backend->serverKey();
  backend->disconnect();
  return s;
}

Status ServiceState::removeMount(const std::string& id, bool clearCache, bool keepUnsent, UnsentChanges* unsent) {
  std::unique_lock<std::mutex> lock(mu_);
  DriveSlot* slot = findLocked(id);
  if (slot == nullptr || slot->removing) return Status(Status::kNotFound, "no such drive");
  const uint64_t serial = slot->serial;
  // What goes with the drive is counted before anything is taken away: the
  // caller may rather keep it. The cache folder is read without the lock.
  const UnsentChanges counted = unsentLocked(lock, *slot);
  if (unsent != nullptr) *unsent = counted;
  slot = findSerialLocked(serial);
  if (slot == nullptr || slot->removing) return Status(Status::kNotFound, "no such drive");
  if (keepUnsent && counted.files != 0)
    return Status(Status::kConflict, "the drive has changes not yet sent: " + counted.text());
  // The user chose to drop the drive with its unsent changes: no flushing.
  slot->removing = true;
  slot->wanted = false;
  slot->mountAsked = false;
  slot->releaseAsked = true;
  slot->releaseFlushUntil = {};
  slot->released = Status();
  if (slot->mountCancel) slot->mountCancel->cancel();
  wakeWorkerLocked(*slot);
  changed_.wait(lock, [&] { return !findSerialLocked(serial)->working; });
  slot = findSerialLocked(serial);
  slot->removing = false;
  if (!slot->released.ok()) return slot->released;
  Status saved = saveLocked(slot);
  if (!saved.ok()) return saved;
  const MountConfig removed = std::move(slot->config);
  drives_.erase(drives_.begin() + (slot - drives_.data()));
  if (counted.files != 0) {
    vx::log::write(vx::log::kWarn, "%s: removed with its changes not yet sent, which are lost: %s", removed.name.c_str(),
                   counted.text().c_str());
  } else {
    vx::log::write(vx::log::kInfo, "%s: removed", removed.name.c_str());
  }
  if (clearCache && (!removed.cache.dir.empty() || IsPlainDriveId(removed.id))) {
    const bool ownFolder = removed.cache.dir.empty();
    const std::string dir = ownFolder ? vx::JoinPath(cacheRootLocked(), removed.id) : removed.cache.dir;
    const Status own = CheckOwnFolder(ownFolder ? cacheRootLocked() : dir);
    const std::string aside = own.ok() ? SetCacheAside(dir, ownFolder, cacheRootLocked(), removed.name) : std::string();
    if (!own.ok() && own.native != ENOENT)
      vx::log::write(vx::log::kWarn, "%s: the cache is left where it is: %s", removed.name.c_str(), own.message.c_str());
    if (!aside.empty()) {
      cacheDeletions_.emplace_back([aside, chosen = ownFolder ? std::string() : dir, name = removed.name] {
        DeleteSetAside(aside, chosen, name);
      });
    }
  }
  return Status();
}

Status ServiceState::setAppSettings(const Value& settings) {
  if (!settings.isObject()) return SettingError("settings are missing");
  std::lock_guard<std::mutex> lock(mu_);
  AppConfig next = settings_;
  for (size_t i = 0; i < settings.keys.size(); ++i) {
    const std::string& key = settings.keys[i];
    const Value& v = settings.items[i];
    if (key == "op") continue;
    if (key == "autoUpdate") {
      return SettingError("autoUpdate: there is no update server: updates come with the system's packages");
    } else if (key == "startTrayAtLogon") {
      if (!v.isBool()) return SettingError(key + " must be true or false");
      next.startTrayAtLogon = v.boolean;
    } else if (key == "language" || key == "mountDriver" || key == "cacheRoot" || key == "logLevel" ||
               key == "adminGroup") {
      if (!v.isString()) return SettingError(key + " must be a text");
      if (key == "language") next.language = v.string;
      if (key == "mountDriver") next.mountDriver = v.string;
      if (key == "cacheRoot") {
        if (!v.string.empty() && v.string.front() != '/') return SettingError("cacheRoot must be an absolute path");
        next.cacheRoot = v.string;
      }
      if (key == "logLevel") {
        bool known = false;
        for (const char* level : kLogLevels) known = known || v.string == level;
        if (!known) return SettingError("logLevel must be debug, info, warn or error");
        next.logLevel = v.string;
      }
      if (key == "adminGroup") {
        if (!v.string.empty() && !GroupIdOf(v.string)) return SettingError("adminGroup: no such group: " + v.string);
        next.adminGroup = v.string;
      }
    } else {
      return SettingError("unknown setting: " + key);
    }
  }
  const AppConfig before = settings_;
  settings_ = std::move(next);
  Status saved = saveLocked();
  if (!saved.ok()) settings_ = before;
  setAdminGroupLocked();
  ApplyLogLevel(settings_.logLevel);
  return saved;
}

std::string ServiceState::adminGroup() const {
  std::lock_guard<std::mutex> lock(adminGroupMu_);
  return adminGroup_;
}

void ServiceState::setAdminGroupLocked() {
  std::lock_guard<std::mutex> lock(adminGroupMu_);
  adminGroup_ = settings_.adminGroup;
}

bool ServiceState::mountEndpoint(const std::string& id, EndpointConfig& out) {
  std::lock_guard<std::mutex> lock(mu_);
  const DriveSlot* slot = findLocked(id);
  if (slot == nullptr) return false;
  out = slot->config.endpoint;
  return true;
}

std::string ServiceState::cacheRoot() {
  std::lock_guard<std::mutex> lock(mu_);
  return cacheRootLocked();
}

bool ServiceState::isBusy() {
  // Asked before taking mu_: the backup manager locks itself and then may
  // call into this object.
  if (backupRunning_ && backupRunning_()) return true;
  std::vector<std::shared_ptr<Volume>> volumes;
  {
    std::lock_guard<std::mutex> lock(mu_);
    for (const DriveSlot& slot : drives_)
      if (slot.volume) volumes.push_back(slot.volume);
  }
  // A wait of no time tells whether the upload queue is empty.
  return std::any_of(volumes.begin(), volumes.end(), [](const auto& v) { return !v->waitUploadsIdle(0); });
}

// ---- under the lock ------------------------------------------------------

ServiceState::DriveSlot* ServiceState::findLocked(const std::string& id) {
  for (DriveSlot& slot : drives_) {
    if (slot.config.id == id) return &slot;
  }
  return nullptr;
}

ServiceState::DriveSlot* ServiceState::findSerialLocked(uint64_t serial) {
  for (DriveSlot& slot : drives_) {
    if (slot.serial == serial) return &slot;
  }
  return nullptr;
}

std::string ServiceState::cacheRootLocked() const {
  return settings_.cacheRoot.empty() ? DefaultCacheDir() : settings_.cacheRoot;
}

Status ServiceState::saveLocked(const DriveSlot* without) {
  AppConfig all = settings_;
  for (const DriveSlot& slot : drives_) {
    if (&slot != without) all.mounts.push_back(slot.config);
  }
  std::string error;
  if (!SaveConfig(all, configPath_, &error)) {
    vx::log::write(vx::log::kError, "config: %s", error.c_str());
    return Status(Status::kIo, error);
  }
  return Status();
}

void ServiceState::keepStoredSecretsLocked(MountConfig& incoming) const {
  for (const DriveSlot& slot : drives_) {
    if (incoming.id.empty() || slot.config.id != incoming.id) continue;
    // A secret sealed on another computer travels along unopened, so that
    // the file keeps it.
    const EndpointConfig& stored = slot.config.endpoint;
    if (incoming.endpoint.password.empty()) {
      incoming.endpoint.password = stored.password;
      incoming.endpoint.sealedPassword = stored.sealedPassword;
    }
    if (incoming.endpoint.privateKey.empty()) {
      incoming.endpoint.privateKey = stored.privateKey;
      incoming.endpoint.sealedPrivateKey = stored.sealedPrivateKey;
    }
    return;
  }
}

}  // namespace tarn
