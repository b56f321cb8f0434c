// The configuration records of the application and of one network drive,
// with the small operations derived from them (retry policies, stored probe
// results, drive lookup, new identifiers). Plain value types: copyable, no
// shared state; whoever holds one owns it. Not synchronised: a record is
// used by one thread at a time or copied.
//
// Local paths ("dir", "cacheRoot") and the display name are UTF-8 here; the
// drive letter is one UTF-16 unit because it is compared as a letter of the
// Windows alphabet.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "foundation/backend_types.h"
#include "foundation/endpoint_config.h"
#include "foundation/retry.h"

namespace tarn {

inline constexpr uint32_t kDefaultConnectTimeoutMs = 15000;
inline constexpr uint32_t kDefaultIoTimeoutMs = 30000;
inline constexpr uint32_t kDefaultKeepaliveSec = 30;
inline constexpr double kRetryFactor = 2.0;
inline constexpr double kRetryJitter = 0.25;

struct NetOptions {
  uint32_t connectTimeoutMs = kDefaultConnectTimeoutMs;
  uint32_t ioTimeoutMs = kDefaultIoTimeoutMs;
  int32_t retries = 5;
  uint32_t retryMinMs = 500;
  uint32_t retryMaxMs = 30000;
  uint32_t keepaliveSec = kDefaultKeepaliveSec;
  int32_t connections = 4;
  uint32_t speedLimitKbps = 0;
  bool uploadsRetryForever = true;
  bool reconnectOnWake = true;
};

struct CacheOptions {
  std::string dir;
  uint64_t maxBytes = 4294967296ull;
  uint32_t blockBytes = 1048576;
  uint32_t readaheadBlocks = 4;
  uint32_t readaheadMaxBlocks = 32;
  uint32_t metaTtlMs = 10000;
  uint32_t dirTtlMs = 10000;
  uint32_t negativeTtlMs = 2000;
  uint32_t writebackDelayMs = 2000;
  uint64_t wholeFileBelow = 4194304;
  bool offlineMode = false;
  bool keepDirtyForever = true;
};

struct TransferOptions {
  uint64_t chunkBytes = 16777216;
  int32_t parallelChunks = 2;
  bool resume = true;
  bool verifyAfterUpload = true;
  uint32_t progressIntervalMs = 500;
};

struct CompatOptions {
  enum : uint32_t { kUnicodeNone = 0, kUnicodeNfc = 1, kUnicodeNfd = 2 };
  enum : uint32_t { kCaseRefuse = 0, kCaseAllow = 1 };

  // Kept as configured; a drive never rewrites names by it: a name listed
  // in another form than the server's would open nothing on Linux.
  uint32_t unicode = kUnicodeNfc;
  // A drive on Linux tells case apart as a server that does can: names that
  // differ only in case are refused only where the user asks for it (a
  // share that Windows users see too).
  uint32_t caseCollision = kCaseAllow;
  bool allowReservedNames = false;
  bool allowTrailingDotSpace = false;
  bool setMtime = true;
  bool hideDotFiles = false;
  bool readOnly = false;
};

struct ProbedCaps {
  bool valid = false;
  bool caseSensitive = true;
  bool setMtime = true;
  bool rangeRead = true;
  bool randomWrite = false;
  bool renameOverwrite = true;
  bool freeSpace = true;
  uint32_t maxNameBytes = 255;
  int64_t probedAt = 0;
  std::string server;

  // The record to store after a successful probe, stamped with the time now.
  static ProbedCaps fromReport(const BackendCaps& caps);
  // Lays a valid stored result over a back-end's own record; random writes
  // are only ever switched off, never on.
  void applyTo(BackendCaps& caps) const;
};

// A drive's name is shown in one line of the status and the tray's menu.
inline constexpr size_t kMaxDriveNameChars = 128;

struct MountConfig {
  std::string id;
  std::string name;  // at most kMaxDriveNameChars characters
  char16_t drive = u'P';
  bool autoMount = true;
  EndpointConfig endpoint;
  NetOptions net;
  CacheOptions cache;
  TransferOptions transfer;
  CompatOptions compat;
  ProbedCaps probed;
};

// The group whose members manage drives and backups, as Debian names its
// administrators.
inline constexpr const char* kDefaultAdminGroup = "sudo";

struct AppConfig {
  std::vector<MountConfig> mounts;
  std::string cacheRoot;
  std::string logLevel = "info";
  std::string language;
  bool startTrayAtLogon = true;
  std::string mountDriver = "auto";
  // Empty: root alone manages drives and backups.
  std::string adminGroup = kDefaultAdminGroup;

  // First drive whose id equals `id` byte for byte, or null.
  MountConfig* findMount(const std::string& id);
  const MountConfig* findMount(const std::string& id) const;
};

RetryPolicy RetryPolicyFor(const NetOptions& net);
RetryPolicy UploadRetryPolicyFor(const NetOptions& net);

// 8 random bytes as 16 lower-case hex digits.
std::string RandomId();

// Copies the net section's time-outs and keepalive into the endpoint, the
// only place a back-end sees them.
void CopyNetToEndpoint(MountConfig& cfg);

}  // namespace tarn
