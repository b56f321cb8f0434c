#include "foundation/mount_config.h"

#include <random>

#include "foundation/codec.h"
#include "foundation/error.h"
#include "foundation/hash.h"
#include "foundation/text.h"

namespace tarn {
namespace {

constexpr size_t kIdBytes = 8;

RetryPolicy PolicyFrom(const NetOptions& net, bool forever) {
  RetryPolicy p;
  p.maxAttempts = net.retries > 1 ? net.retries : 1;
  p.baseDelayMs = net.retryMinMs;
  p.maxDelayMs = net.retryMaxMs > net.retryMinMs ? net.retryMaxMs : net.retryMinMs;
  p.factor = kRetryFactor;
  p.jitter = kRetryJitter;
  p.forever = forever;
  // A wait on the server ends within its time-outs, retries included.
  if (!forever) p.budgetMs = net.connectTimeoutMs + net.ioTimeoutMs;
  return p;
}

}  // namespace

ProbedCaps ProbedCaps::fromReport(const BackendCaps& caps) {
  ProbedCaps p;
  p.valid = true;
  p.caseSensitive = caps.caseSensitive;
  p.setMtime = caps.setMtime;
  p.rangeRead = caps.rangeRead;
  p.randomWrite = caps.randomWrite;
  p.renameOverwrite = caps.renameOverwrite;
  p.freeSpace = caps.freeSpace;
  p.maxNameBytes = caps.maxNameBytes;
  p.server = caps.server;
  p.probedAt = vx::UnixNow();
  return p;
}

void ProbedCaps::applyTo(BackendCaps& caps) const {
  if (!valid) return;
  caps.caseSensitive = caseSensitive;
  caps.setMtime = setMtime;
  caps.rangeRead = rangeRead;
  caps.renameOverwrite = renameOverwrite;
  caps.freeSpace = freeSpace;
  if (!randomWrite) caps.randomWrite = false;
  if (maxNameBytes < caps.maxNameBytes) caps.maxNameBytes = maxNameBytes;
}

MountConfig* AppConfig::findMount(const std::string& id) {
  for (MountConfig& m : mounts)
    if (m.id == id) return &m;
  return nullptr;
}

const MountConfig* AppConfig::findMount(const std::string& id) const {
  for (const MountConfig& m : mounts)
    if (m.id == id) return &m;
  return nullptr;
}

RetryPolicy RetryPolicyFor(const NetOptions& net) { return PolicyFrom(net, false); }

RetryPolicy UploadRetryPolicyFor(const NetOptions& net) {
  return PolicyFrom(net, net.uploadsRetryForever);
}

std::string RandomId() {
  std::vector<uint8_t> bytes;
  try {
    bytes = vx::RandomBytes(kIdBytes);
  } catch (const vx::Error&) {
    // The identifier only has to be unique among a few drives; the standard
    // device is good enough when the crypto generator is unavailable.
    std::random_device rd;
    bytes.resize(kIdBytes);
    for (uint8_t& b : bytes) b = static_cast<uint8_t>(rd());
  }
  return vx::HexEncode(bytes, false);
}

void CopyNetToEndpoint(MountConfig& cfg) {
  cfg.endpoint.connectTimeoutMs = cfg.net.connectTimeoutMs;
  cfg.endpoint.ioTimeoutMs = cfg.net.ioTimeoutMs;
  cfg.endpoint.keepaliveSec = cfg.net.keepaliveSec;
}

}  // namespace tarn
