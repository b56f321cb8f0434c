// Fuzzes the two readers of user input in the configuration: the JSON
// drive reader with validation, and share links with the round trip of the
// web address they produce.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "foundation/config_file.h"
#include "foundation/remote_path.h"
#include "foundation/share_link.h"

namespace {

void CheckLinkRoundTrip(const std::string& text) {
  tarn::EndpointConfig ep;
  ep.host = text;
  if (!tarn::ParseShareLink(ep).empty()) return;
  const std::string url = tarn::EndpointUrl(ep);
  if (url.empty()) return;
  tarn::EndpointConfig back;
  back.host = url;
  if (!tarn::ParseShareLink(back).empty()) std::abort();
  tarn::EndpointConfig again = ep;
  tarn::ParseShareLink(again);  // the address is built from a parsed copy
  if (back.host != again.host || back.port != again.port || back.tls != again.tls ||
      back.root != tarn::NormalizeRemotePath(again.root))
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  CheckLinkRoundTrip(text);

  vx::json::Value v;
  if (!vx::json::Parse(text, v)) return 0;
  tarn::AppConfig cfg = tarn::AppConfigFromJson(v);
  cfg.mounts.push_back(tarn::MountConfigFromJson(v));
  for (tarn::MountConfig& m : cfg.mounts) {
    const std::string verdict = tarn::ValidateMountConfig(m);
    if (verdict.empty() && (m.drive < u'D' || m.drive > u'Z' || m.endpoint.port > 65535 ||
                            m.endpoint.host.empty() || m.cache.blockBytes < 65536 ||
                            m.transfer.chunkBytes % m.cache.blockBytes != 0))
      std::abort();
    (void)tarn::DisplayUrl(m);
  }
  // What is written reads back the same.
  const std::string once = tarn::AppConfigToJson(cfg, true).dump(2);
  vx::json::Value parsed;
  if (!vx::json::Parse(once, parsed)) std::abort();
  if (tarn::AppConfigToJson(tarn::AppConfigFromJson(parsed), true).dump(2) != once) std::abort();
  return 0;
}
