// Where a drive or a backup destination lives and how to log in. A plain
// value; every back-end keeps its own copy.
#pragma once

#include <cstdint>
#include <string>

namespace tarn {

struct EndpointConfig {
  std::string protocol;  // "webdav", "sftp", "nfs", "s3" ("memory" in tests)
  std::string host;      // may hold a share link until validation
  uint32_t port = 0;     // 0: the protocol's default; at most 65535 after validation
  std::string root;
  std::string user;
  std::string password;    // plain text in memory, sealed only in files
  std::string privateKey;  // plain text in memory, sealed only in files
  // The file's sealed text of a secret that did not open on this computer (a
  // configuration copied from another one). Never used as a secret: the live
  // one above stays empty. Written back unchanged while the live one is
  // empty, so the computer that sealed it still finds it; whoever clears a
  // secret on purpose clears this too.
  std::string sealedPassword;
  std::string sealedPrivateKey;
  bool tls = true;
  bool verifyTls = true;
  std::string extra;  // protocol-specific options, opaque here
  // Copies of the drive's net settings; not stored with the endpoint.
  uint32_t connectTimeoutMs = 15000;
  uint32_t ioTimeoutMs = 30000;
  uint32_t keepaliveSec = 30;
};

// Why the endpoint cannot log in as stored: a secret sealed on another
// computer stays shut here, and sending the empty one in its place would
// only earn a refusal. Empty when nothing stands in the way.
inline std::string UnopenedSecretProblem(const EndpointConfig& ep) {
  if (ep.password.empty() && !ep.sealedPassword.empty())
    return "the stored password cannot be opened on this computer (it was saved on another one); enter it again";
  if (ep.privateKey.empty() && !ep.sealedPrivateKey.empty())
    return "the stored private key cannot be opened on this computer (it was saved on another one); enter it again";
  return {};
}

// Both name the same folder of the same server: what one learned of the
// server holds for the other.
inline bool SameServer(const EndpointConfig& a, const EndpointConfig& b) {
  return a.protocol == b.protocol && a.host == b.host && a.port == b.port && a.root == b.root;
}

}  // namespace tarn
