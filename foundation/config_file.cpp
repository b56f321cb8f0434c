#include "foundation/config_file.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <mutex>

#include "foundation/codec.h"
#include "foundation/data_protection.h"
#include "foundation/file_util.h"
#include "foundation/log.h"
#include "foundation/remote_path.h"
#include "foundation/share_link.h"
#include "foundation/text.h"

namespace tarn {
namespace {

using vx::json::Value;

constexpr double kTwoTo64 = 18446744073709551616.0;
constexpr int64_t kMaxExactInt = int64_t{1} << 53;
constexpr char16_t kNonAsciiDrive = u'?';

// Numbers are range-checked as doubles before any conversion: a huge,
// negative or non-finite value keeps the default instead of invoking UB.
uint32_t ReadU32(const Value& v, uint32_t def) {
  if (!v.isNumber() || !std::isfinite(v.number)) return def;
  const double t = std::trunc(v.number);
  if (t < 0 || t > static_cast<double>(UINT32_MAX)) return def;
  return static_cast<uint32_t>(t);
}

uint64_t ReadU64(const Value& v, uint64_t def) {
  if (!v.isNumber() || !std::isfinite(v.number)) return def;
  const double t = std::trunc(v.number);
  if (t < 0 || t >= kTwoTo64) return def;
  return static_cast<uint64_t>(t);
}

// Rounded half away from zero (the JSON value's integer reading).
int32_t ReadRoundedI32(const Value& v, int32_t def) {
  if (!v.isNumber()) return def;
  const int64_t n = v.asInt64(def);
  if (n < INT32_MIN || n > INT32_MAX) return def;
  return static_cast<int32_t>(n);
}

uint32_t ReadRoundedU32(const Value& v, uint32_t def) {
  if (!v.isNumber()) return def;
  const int64_t n = v.asInt64(-1);
  if (n < 0 || n > static_cast<int64_t>(UINT32_MAX)) return def;
  return static_cast<uint32_t>(n);
}

bool ReadBool(const Value& v, bool def) { return v.isBool() ? v.boolean : def; }

std::string ReadText(const Value& v, const std::string& def) { return v.asString(def); }

std::string DriveText(char16_t drive) {
  if (drive < 0x80) return std::string(1, static_cast<char>(drive));
  return vx::WideToUtf8(std::u16string(1, drive));
}

char16_t AsciiUpper(char16_t c) { return (c >= u'a' && c <= u'z') ? c - u'a' + u'A' : c; }

uint32_t NextPowerOfTwo(uint32_t v) {
  uint32_t p = 1;
  while (p < v) p <<= 1;
  return p;
}

bool IsDriveProtocol(const std::string& p) {
  return p == "webdav" || p == "sftp" || p == "nfs" || p == "memory";
}

void OpenDriveSecret(const std::string& driveId, const char* what, std::string& secret, std::string& sealedAside) {
  if (!OpenStoredSecret(secret, sealedAside))
    vx::log::write(vx::log::kWarn, "config: %s: cannot open the stored %s; kept as stored", driveId.c_str(), what);
}

bool SealDriveSecret(const std::string& driveId, const char* what, std::string& secret,
                     const std::string& sealedAside, std::string* error) {
  if (SealStoredSecret(secret, sealedAside)) return true;
  if (error != nullptr) *error = "cannot seal the " + std::string(what) + " of drive " + driveId;
  return false;
}

}  // namespace

// ---- readers -------------------------------------------------------------

EndpointConfig EndpointConfigFromJson(const Value& v) {
  EndpointConfig ep;
  ep.protocol = ReadText(v["protocol"], "webdav");
  ep.host = ReadText(v["host"], "");
  ep.port = ReadRoundedU32(v["port"], 0);
  ep.root = ReadText(v["root"], "/");
  ep.user = ReadText(v["user"], "");
  ep.password = ReadText(v["password"], "");
  ep.privateKey = ReadText(v["privateKey"], "");
  ep.tls = ReadBool(v["tls"], true);
  ep.verifyTls = ReadBool(v["verifyTls"], true);
  ep.extra = ReadText(v["extra"], "");
  return ep;
}

NetOptions NetOptionsFromJson(const Value& v) {
  NetOptions n;
  n.connectTimeoutMs = ReadU32(v["connectTimeoutMs"], n.connectTimeoutMs);
  n.ioTimeoutMs = ReadU32(v["ioTimeoutMs"], n.ioTimeoutMs);
  n.retries = ReadRoundedI32(v["retries"], n.retries);
  n.retryMinMs = ReadU32(v["retryMinMs"], n.retryMinMs);
  n.retryMaxMs = ReadU32(v["retryMaxMs"], n.retryMaxMs);
  n.keepaliveSec = ReadU32(v["keepaliveSec"], n.keepaliveSec);
  n.connections = ReadRoundedI32(v["connections"], n.connections);
  n.speedLimitKbps = ReadU32(v["speedLimitKbps"], n.speedLimitKbps);
  n.uploadsRetryForever = ReadBool(v["uploadsRetryForever"], n.uploadsRetryForever);
  n.reconnectOnWake = ReadBool(v["reconnectOnWake"], n.reconnectOnWake);
  return n;
}

CacheOptions CacheOptionsFromJson(const Value& v) {
  CacheOptions c;
  c.dir = ReadText(v["dir"], "");
  c.maxBytes = ReadU64(v["maxBytes"], c.maxBytes);
  c.blockBytes = ReadU32(v["blockBytes"], c.blockBytes);
  c.readaheadBlocks = ReadU32(v["readaheadBlocks"], c.readaheadBlocks);
  c.readaheadMaxBlocks = ReadU32(v["readaheadMaxBlocks"], c.readaheadMaxBlocks);
  c.metaTtlMs = ReadU32(v["metaTtlMs"], c.metaTtlMs);
  c.dirTtlMs = ReadU32(v["dirTtlMs"], c.dirTtlMs);
  c.negativeTtlMs = ReadU32(v["negativeTtlMs"], c.negativeTtlMs);
  c.writebackDelayMs = ReadU32(v["writebackDelayMs"], c.writebackDelayMs);
  c.wholeFileBelow = ReadU64(v["wholeFileBelow"], c.wholeFileBelow);
  c.offlineMode = ReadBool(v["offlineMode"], c.offlineMode);
  c.keepDirtyForever = ReadBool(v["keepDirtyForever"], c.keepDirtyForever);
  return c;
}

TransferOptions TransferOptionsFromJson(const Value& v) {
  TransferOptions t;
  t.chunkBytes = ReadU64(v["chunkBytes"], t.chunkBytes);
  t.parallelChunks = ReadRoundedI32(v["parallelChunks"], t.parallelChunks);
  t.resume = ReadBool(v["resume"], t.resume);
  t.verifyAfterUpload = ReadBool(v["verifyAfterUpload"], t.verifyAfterUpload);
  t.progressIntervalMs = ReadU32(v["progressIntervalMs"], t.progressIntervalMs);
  return t;
}

CompatOptions CompatOptionsFromJson(const Value& v) {
  CompatOptions c;
  const std::string unicode = ReadText(v["unicode"], "nfc");
  c.unicode = unicode == "none"  ? CompatOptions::kUnicodeNone
              : unicode == "nfd" ? CompatOptions::kUnicodeNfd
                                 : CompatOptions::kUnicodeNfc;
  c.caseCollision = ReadText(v["caseCollision"], "allow") == "allow" ? CompatOptions::kCaseAllow
                                                                     : CompatOptions::kCaseRefuse;
  c.allowReservedNames = ReadBool(v["allowReservedNames"], c.allowReservedNames);
  c.allowTrailingDotSpace = ReadBool(v["allowTrailingDotSpace"], c.allowTrailingDotSpace);
  c.setMtime = ReadBool(v["setMtime"], c.setMtime);
  c.hideDotFiles = ReadBool(v["hideDotFiles"], c.hideDotFiles);
  c.readOnly = ReadBool(v["readOnly"], c.readOnly);
  return c;
}

ProbedCaps ProbedCapsFromJson(const Value& v) {
  ProbedCaps p;
  p.valid = ReadBool(v["valid"], p.valid);
  p.caseSensitive = ReadBool(v["caseSensitive"], p.caseSensitive);
  p.setMtime = ReadBool(v["setMtime"], p.setMtime);
  p.rangeRead = ReadBool(v["rangeRead"], p.rangeRead);
  p.randomWrite = ReadBool(v["randomWrite"], p.randomWrite);
  p.renameOverwrite = ReadBool(v["renameOverwrite"], p.renameOverwrite);
  p.freeSpace = ReadBool(v["freeSpace"], p.freeSpace);
  p.maxNameBytes = ReadU32(v["maxNameBytes"], p.maxNameBytes);
  // Any kind: a bool gives 0 or 1, a string is parsed. A time that a JSON
  // number cannot hold exactly would not survive the next save: it reads as 0.
  p.probedAt = v["probedAt"].asInt64(0);
  if (p.probedAt > kMaxExactInt || p.probedAt < -kMaxExactInt) p.probedAt = 0;
  p.server = ReadText(v["server"], "");
  return p;
}

MountConfig MountConfigFromJson(const Value& v) {
  MountConfig m;
  m.id = ReadText(v["id"], "");
  m.name = ReadText(v["name"], "");
  const std::string drive = ReadText(v["drive"], "P");
  // Only ASCII can be a drive letter; any other first byte stands as '?' so
  // that the record still fails validation and writes back as it reads.
  const unsigned char first = drive.empty() ? 'P' : static_cast<unsigned char>(drive[0]);
  m.drive = first < 0x80 ? AsciiUpper(first) : kNonAsciiDrive;
  m.autoMount = ReadBool(v["autoMount"], m.autoMount);
  m.endpoint = EndpointConfigFromJson(v["endpoint"]);
  m.net = NetOptionsFromJson(v["net"]);
  m.cache = CacheOptionsFromJson(v["cache"]);
  m.transfer = TransferOptionsFromJson(v["transfer"]);
  m.compat = CompatOptionsFromJson(v["compat"]);
  m.probed = ProbedCapsFromJson(v["probed"]);
  CopyNetToEndpoint(m);
  return m;
}

AppConfig AppConfigFromJson(const Value& v) {
  AppConfig a;
  a.cacheRoot = ReadText(v["cacheRoot"], "");
  a.logLevel = ReadText(v["logLevel"], a.logLevel);
  a.language = ReadText(v["language"], "");
  a.startTrayAtLogon = ReadBool(v["startTrayAtLogon"], a.startTrayAtLogon);
  a.mountDriver = ReadText(v["mountDriver"], a.mountDriver);
  a.adminGroup = ReadText(v["adminGroup"], a.adminGroup);
  const Value& mounts = v["mounts"];
  if (mounts.isArray()) {
    for (size_t i = 0; i < mounts.size(); ++i) a.mounts.push_back(MountConfigFromJson(mounts.at(i)));
  }
  return a;
}

// ---- writers -------------------------------------------------------------

Value EndpointConfigToJson(const EndpointConfig& ep, bool withSecrets) {
  Value o = Value::object();
  o.set("protocol", ep.protocol);
  o.set("host", ep.host);
  o.set("port", ep.port);
  o.set("root", ep.root);
  o.set("user", ep.user);
  if (withSecrets) {
    o.set("password", ep.password);
    o.set("privateKey", ep.privateKey);
  } else {
    o.set("hasPassword", !ep.password.empty());
    o.set("hasPrivateKey", !ep.privateKey.empty());
  }
  o.set("tls", ep.tls);
  o.set("verifyTls", ep.verifyTls);
  o.set("extra", ep.extra);
  return o;
}

Value NetOptionsToJson(const NetOptions& n) {
  Value o = Value::object();
  o.set("connectTimeoutMs", n.connectTimeoutMs);
  o.set("ioTimeoutMs", n.ioTimeoutMs);
  o.set("retries", n.retries);
  o.set("retryMinMs", n.retryMinMs);
  o.set("retryMaxMs", n.retryMaxMs);
  o.set("keepaliveSec", n.keepaliveSec);
  o.set("connections", n.connections);
  o.set("speedLimitKbps", n.speedLimitKbps);
  o.set("uploadsRetryForever", n.uploadsRetryForever);
  o.set("reconnectOnWake", n.reconnectOnWake);
  return o;
}

Value CacheOptionsToJson(const CacheOptions& c) {
  Value o = Value::object();
  o.set("dir", c.dir);
  o.set("maxBytes", c.maxBytes);
  o.set("blockBytes", c.blockBytes);
  o.set("readaheadBlocks", c.readaheadBlocks);
  o.set("readaheadMaxBlocks", c.readaheadMaxBlocks);
  o.set("metaTtlMs", c.metaTtlMs);
  o.set("dirTtlMs", c.dirTtlMs);
  o.set("negativeTtlMs", c.negativeTtlMs);
  o.set("writebackDelayMs", c.writebackDelayMs);
  o.set("wholeFileBelow", c.wholeFileBelow);
  o.set("offlineMode", c.offlineMode);
  o.set("keepDirtyForever", c.keepDirtyForever);
  return o;
}

Value TransferOptionsToJson(const TransferOptions& t) {
  Value o = Value::object();
  o.set("chunkBytes", t.chunkBytes);
  o.set("parallelChunks", t.parallelChunks);
  o.set("resume", t.resume);
  o.set("verifyAfterUpload", t.verifyAfterUpload);
  o.set("progressIntervalMs", t.progressIntervalMs);
  return o;
}

Value CompatOptionsToJson(const CompatOptions& c) {
  Value o = Value::object();
  o.set("unicode", c.unicode == CompatOptions::kUnicodeNone  ? "none"
                   : c.unicode == CompatOptions::kUnicodeNfd ? "nfd"
                                                             : "nfc");
  o.set("caseCollision", c.caseCollision == CompatOptions::kCaseAllow ? "allow" : "refuse");
  o.set("allowReservedNames", c.allowReservedNames);
  o.set("allowTrailingDotSpace", c.allowTrailingDotSpace);
  o.set("setMtime", c.setMtime);
  o.set("hideDotFiles", c.hideDotFiles);
  o.set("readOnly", c.readOnly);
  return o;
}

Value ProbedCapsToJson(const ProbedCaps& p) {
  Value o = Value::object();
  o.set("valid", p.valid);
  o.set("caseSensitive", p.caseSensitive);
  o.set("setMtime", p.setMtime);
  o.set("rangeRead", p.rangeRead);
  o.set("randomWrite", p.randomWrite);
  o.set("renameOverwrite", p.renameOverwrite);
  o.set("freeSpace", p.freeSpace);
  o.set("maxNameBytes", p.maxNameBytes);
  o.set("probedAt", p.probedAt);
  o.set("server", p.server);
  return o;
}

Value MountConfigToJson(const MountConfig& m, bool withSecrets) {
  Value o = Value::object();
  o.set("id", m.id);
  o.set("name", m.name);
  o.set("drive", DriveText(m.drive));
  o.set("autoMount", m.autoMount);
  o.set("endpoint", EndpointConfigToJson(m.endpoint, withSecrets));
  o.set("net", NetOptionsToJson(m.net));
  o.set("cache", CacheOptionsToJson(m.cache));
  o.set("transfer", TransferOptionsToJson(m.transfer));
  o.set("compat", CompatOptionsToJson(m.compat));
  o.set("probed", ProbedCapsToJson(m.probed));
  return o;
}

Value AppConfigToJson(const AppConfig& a, bool withSecrets) {
  Value o = Value::object();
  o.set("version", 1);
  o.set("cacheRoot", a.cacheRoot);
  o.set("logLevel", a.logLevel);
  o.set("language", a.language);
  o.set("startTrayAtLogon", a.startTrayAtLogon);
  o.set("mountDriver", a.mountDriver);
  o.set("adminGroup", a.adminGroup);
  Value mounts = Value::array();
  for (const MountConfig& m : a.mounts) mounts.append(MountConfigToJson(m, withSecrets));
  o.set("mounts", std::move(mounts));
  return o;
}

// ---- secrets -------------------------------------------------------------

bool TryProtectSecret(std::string_view plain, std::string& stored) {
  if (plain.empty()) {
    stored.clear();
    return true;
  }
  std::vector<uint8_t> bytes(plain.begin(), plain.end());
  std::vector<uint8_t> sealed;
  const bool ok = vx::ProtectData(bytes, kSecretEntropy, sealed);
  vx::SecureWipe(bytes);
  if (!ok) return false;
  stored = std::string(kSealedPrefix) + vx::Base64Encode(sealed);
  return true;
}

bool TryUnprotectSecret(std::string_view stored, std::string& plain) {
  if (stored.size() < kSealedPrefix.size() || stored.substr(0, kSealedPrefix.size()) != kSealedPrefix) {
    plain = std::string(stored);
    return true;
  }
  std::vector<uint8_t> sealed;
  if (!vx::Base64Decode(stored.substr(kSealedPrefix.size()), sealed)) return false;
  std::vector<uint8_t> bytes;
  if (!vx::UnprotectData(sealed, kSecretEntropy, bytes)) return false;
  plain.assign(bytes.begin(), bytes.end());
  vx::SecureWipe(bytes);
  return true;
}

std::string ProtectSecret(std::string_view plain) {
  std::string stored;
  return TryProtectSecret(plain, stored) ? stored : std::string();
}

std::string UnprotectSecret(std::string_view stored) {
  std::string plain;
  return TryUnprotectSecret(stored, plain) ? plain : std::string();
}

// A secret that does not open here must not be sent to a server as a
// password: the live secret stays empty and the stored text is set aside for
// the next save to write back unchanged.
bool OpenStoredSecret(std::string& secret, std::string& sealedAside) {
  sealedAside.clear();
  std::string plain;
  if (TryUnprotectSecret(secret, plain)) {
    secret = std::move(plain);
    return true;
  }
  sealedAside = std::move(secret);
  secret.clear();
  return false;
}

// Every live secret is sealed, whatever it looks like ("dpapi:" may begin a
// plain password); only an empty one is replaced by a text set aside.
bool SealStoredSecret(std::string& secret, const std::string& sealedAside) {
  if (secret.empty()) {
    secret = sealedAside;
    return true;
  }
  std::string stored;
  if (!TryProtectSecret(secret, stored)) return false;
  vx::SecureWipe(secret);
  secret = std::move(stored);
  return true;
}

// ---- file ----------------------------------------------------------------

bool LoadConfig(AppConfig& cfg, const std::string& path, std::string* error) {
  std::string text;
  if (!vx::ReadWholeFile(path, text)) {
    if (error != nullptr) *error = "cannot read " + path;
    return false;
  }
  // A file written readable by an older version is closed at once, not at
  // its next change.
  if (!vx::RestrictToOwner(path))
    vx::log::write(vx::log::kWarn, "config: cannot make %s readable by its owner alone: %s", path.c_str(),
                   vx::FormatWin32Error(uint32_t(errno)).c_str());
  Value root;
  if (!vx::json::Parse(text, root)) {
    if (error != nullptr) *error = "config is not valid JSON";
    return false;
  }
  AppConfig loaded = AppConfigFromJson(root);
  for (MountConfig& m : loaded.mounts) {
    OpenDriveSecret(m.id, "password", m.endpoint.password, m.endpoint.sealedPassword);
    OpenDriveSecret(m.id, "private key", m.endpoint.privateKey, m.endpoint.sealedPrivateKey);
    ValidateMountConfig(m);  // an invalid drive stays listed as it was left
  }
  cfg = std::move(loaded);
  return true;
}

bool SaveConfig(const AppConfig& cfg, const std::string& path, std::string* error) {
  AppConfig copy = cfg;
  bool sealed = true;
  for (MountConfig& m : copy.mounts) {
    if (!SealDriveSecret(m.id, "password", m.endpoint.password, m.endpoint.sealedPassword, error) ||
        !SealDriveSecret(m.id, "private key", m.endpoint.privateKey, m.endpoint.sealedPrivateKey, error)) {
      sealed = false;
      break;
    }
  }
  if (!sealed) {
    for (MountConfig& m : copy.mounts) {
      vx::SecureWipe(m.endpoint.password);
      vx::SecureWipe(m.endpoint.privateKey);
    }
    return false;
  }
  const std::string text = AppConfigToJson(copy, true).dump(2);
  // Nothing in it is for users (status replies carry what they may see),
  // and a sealed secret's length tells the length of its password.
  if (!vx::WritePrivateFileAtomic(path, text)) {
    if (error != nullptr) *error = "cannot write " + path;
    return false;
  }
  return true;
}

// ---- validation ----------------------------------------------------------

bool IsPlainDriveId(const std::string& id) {
  return !id.empty() && id != "." && id != ".." && id.find('/') == std::string::npos &&
         id.find('\0') == std::string::npos;
}

std::string ValidateMountConfig(MountConfig& cfg) {
  if (cfg.id.empty()) cfg.id = RandomId();
  cfg.drive = AsciiUpper(cfg.drive);
  if (cfg.drive < u'D' || cfg.drive > u'Z') return "drive letter must be D..Z";

  EndpointConfig& ep = cfg.endpoint;
  std::string linkError = ParseShareLink(ep);
  if (!linkError.empty()) return linkError;
  if (cfg.name.empty()) cfg.name = ep.host;
  if (ep.host.empty()) return "host is empty";
  if (!IsDriveProtocol(ep.protocol)) return "unknown protocol: " + ep.protocol;
  // The record also serves backup destinations and holds 32 bits; a drive's
  // port is a TCP port.
  if (ep.port > kMaxEndpointPort) return "port must be 0..65535";
  ep.root = NormalizeRemotePath(ep.root);
  if (ep.protocol == "webdav" && ep.user.empty()) ep.user = DavFilesUser(ep.root);

  CacheOptions& c = cfg.cache;
  if (c.blockBytes < kMinBlockBytes) c.blockBytes = kMinBlockBytes;
  if (c.blockBytes > kMaxBlockBytes) c.blockBytes = kMaxBlockBytes;
  c.blockBytes = NextPowerOfTwo(c.blockBytes);
  if (c.readaheadBlocks == 0) c.readaheadBlocks = 1;
  if (c.readaheadMaxBlocks < c.readaheadBlocks) c.readaheadMaxBlocks = c.readaheadBlocks;
  if (c.maxBytes < kMinCacheBytes) c.maxBytes = kMinCacheBytes;

  TransferOptions& t = cfg.transfer;
  if (t.chunkBytes < c.blockBytes) t.chunkBytes = c.blockBytes;
  t.chunkBytes -= t.chunkBytes % c.blockBytes;
  if (t.parallelChunks < 1) t.parallelChunks = 1;
  if (t.parallelChunks > kMaxParallelChunks) t.parallelChunks = kMaxParallelChunks;

  NetOptions& n = cfg.net;
  if (n.connections < 1) n.connections = 1;
  if (n.connections > kMaxConnections) n.connections = kMaxConnections;
  if (n.retries < 1) n.retries = 1;
  if (n.retryMinMs < kMinRetryDelayMs) n.retryMinMs = kMinRetryDelayMs;
  if (n.retryMaxMs < n.retryMinMs) n.retryMaxMs = n.retryMinMs;
  if (n.connectTimeoutMs < kMinTimeoutMs) n.connectTimeoutMs = kMinTimeoutMs;
  if (n.ioTimeoutMs < kMinTimeoutMs) n.ioTimeoutMs = kMinTimeoutMs;
  CopyNetToEndpoint(cfg);
  return std::string();
}

// ---- locations -----------------------------------------------------------

std::string DataRoot() {
  static std::once_flag once;
  static std::string root;
  std::call_once(once, [] {
    root = MachinePath("/var/lib/tarn");
    vx::MakeDirs(root);  // a failure shows up in the first file operation
  });
  return root;
}

std::string ConfigPath() { return vx::JoinPath(DataRoot(), "config.json"); }
std::string DefaultCacheDir() { return vx::JoinPath(DataRoot(), "cache"); }
std::string LogDir() { return DataRoot(); }
std::string PipeName() { return "\\\\.\\pipe\\Tarn"; }

std::string MachinePath(std::string_view absolute) {
  const char* prefix = std::getenv("TARN_ROOT");
  return std::string(prefix != nullptr ? prefix : "") + std::string(absolute);
}

std::string ControlSocketPath() { return MachinePath("/run/tarn/Tarn"); }

std::string MountPointPath(char16_t drive) {
  return MachinePath("/mnt/tarn/") + vx::WideToUtf8(std::u16string(1, drive));
}

}  // namespace tarn
