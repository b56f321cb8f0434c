// The configuration file "config.json" and the machine-wide locations: JSON
// readers and writers of the records in mount_config.h, loading and saving
// with sealed secrets, and the validation that completes and bounds a drive
// before use. Free functions; no state except the data root, which is
// computed once per process under a once-flag. The service serialises its
// own loads and saves.
#pragma once

#include <string>
#include <string_view>

#include "foundation/json.h"
#include "foundation/mount_config.h"

namespace tarn {

// The fixed entropy of the sealed secrets in configuration files.
inline constexpr std::string_view kSecretEntropy = "kelp/vault/sealed/v2x";
inline constexpr std::string_view kSealedPrefix = "dpapi:";

inline constexpr uint32_t kMinBlockBytes = 65536;
inline constexpr uint32_t kMaxBlockBytes = 16777216;
inline constexpr uint64_t kMinCacheBytes = 67108864;
inline constexpr int32_t kMaxParallelChunks = 16;
inline constexpr int32_t kMaxConnections = 32;
inline constexpr uint32_t kMinRetryDelayMs = 100;
inline constexpr uint32_t kMinTimeoutMs = 1000;
inline constexpr uint32_t kMaxEndpointPort = 65535;

// True and the file's settings in `cfg` (drives validated, secrets opened);
// on failure `cfg` is untouched and `error` receives the reason.
bool LoadConfig(AppConfig& cfg, const std::string& path, std::string* error = nullptr);
// Writes the settings with sealed secrets through a temporary file. Fails,
// leaving the old file intact, when a secret cannot be sealed.
bool SaveConfig(const AppConfig& cfg, const std::string& path, std::string* error = nullptr);

// A drive's id names its cache folder: it must stay one name inside the
// cache root.
bool IsPlainDriveId(const std::string& id);

// Completes and bounds a drive in place; an empty result means usable.
std::string ValidateMountConfig(MountConfig& cfg);

AppConfig AppConfigFromJson(const vx::json::Value& v);
MountConfig MountConfigFromJson(const vx::json::Value& v);
EndpointConfig EndpointConfigFromJson(const vx::json::Value& v);
NetOptions NetOptionsFromJson(const vx::json::Value& v);
CacheOptions CacheOptionsFromJson(const vx::json::Value& v);
TransferOptions TransferOptionsFromJson(const vx::json::Value& v);
CompatOptions CompatOptionsFromJson(const vx::json::Value& v);
ProbedCaps ProbedCapsFromJson(const vx::json::Value& v);

vx::json::Value AppConfigToJson(const AppConfig& cfg, bool withSecrets);
vx::json::Value MountConfigToJson(const MountConfig& cfg, bool withSecrets);
vx::json::Value EndpointConfigToJson(const EndpointConfig& ep, bool withSecrets);
vx::json::Value NetOptionsToJson(const NetOptions& net);
vx::json::Value CacheOptionsToJson(const CacheOptions& cache);
vx::json::Value TransferOptionsToJson(const TransferOptions& transfer);
vx::json::Value CompatOptionsToJson(const CompatOptions& compat);
vx::json::Value ProbedCapsToJson(const ProbedCaps& probed);

// Stored form of a secret: "" for "", else "dpapi:" + base64 of the sealed
// bytes. False when sealing fails (`stored` untouched).
bool TryProtectSecret(std::string_view plain, std::string& stored);
// Plain text of a stored secret; a text without "dpapi:" is plain already.
// False when a sealed text does not open here (`plain` untouched).
bool TryUnprotectSecret(std::string_view stored, std::string& plain);
// The same, giving "" on failure. Callers that write files use the Try
// forms so that a failure never turns into a lost secret.
std::string ProtectSecret(std::string_view plain);
std::string UnprotectSecret(std::string_view stored);
// A stored secret of a file, opened in place for use. False when it does not
// open here: `secret` is then empty and the stored text goes to
// `sealedAside`, to be written back unchanged.
bool OpenStoredSecret(std::string& secret, std::string& sealedAside);
// A live secret sealed in place for a file; an empty one becomes the text set
// aside. False when sealing fails (`secret` untouched).
bool SealStoredSecret(std::string& secret, const std::string& sealedAside);

// /var/lib/tarn, or $TARN_ROOT/var/lib/tarn; computed and created once.
std::string DataRoot();
std::string ConfigPath();
std::string DefaultCacheDir();
std::string LogDir();
// The control channel's name; the socket layer maps it to its own path.
std::string PipeName();
// A machine-wide absolute path, moved below $TARN_ROOT when that is set.
// Unlike DataRoot, read at every call.
std::string MachinePath(std::string_view absolute);
// Where the service listens: /run/tarn/Tarn (the stand-in for PipeName).
std::string ControlSocketPath();
// Where a drive letter is mounted: /mnt/tarn/<letter>.
std::string MountPointPath(char16_t drive);

}  // namespace tarn
