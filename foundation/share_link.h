// Share links and endpoint text: turning a pasted link in an endpoint's host
// field into its parts, and the web address and display text of an
// endpoint. Free functions without state; any thread.
#pragma once

#include <string>
#include <string_view>

#include "foundation/endpoint_config.h"
#include "foundation/mount_config.h"

namespace tarn {

inline constexpr uint32_t kHttpsPort = 443;
inline constexpr uint32_t kHttpPort = 80;
inline constexpr uint32_t kSftpPort = 22;
inline constexpr uint32_t kNfsPort = 2049;
inline constexpr uint32_t kMaxPort = 65535;

// When `ep.host` holds a link ("scheme://..."), fills protocol, TLS flag,
// user, password, host, port and root from it. Values already set in the
// endpoint (user, password, port) win over the link's. Returns an error
// text, empty when the host was no link or the link was taken.
std::string ParseShareLink(EndpointConfig& ep);

// The user of a WebDAV files path ".../remote.php/dav/files/<user>/...".
std::string DavFilesUser(std::string_view path);

// "https://host[:port]/root" of a WebDAV endpoint, or empty when the
// endpoint is not a usable WebDAV endpoint. The root is percent-encoded so
// that ParseShareLink reads the same root back.
std::string EndpointUrl(EndpointConfig ep);

// "protocol://[user@]host[:port]root" for logs and status lines.
std::string DisplayUrl(const MountConfig& cfg);

// The endpoint as the link a user gives for it: https:// or http:// for
// WebDAV, the user of any protocol that has one, default ports left out;
// other protocols as DisplayUrl shows them.
std::string EndpointLink(const EndpointConfig& ep);

}  // namespace tarn
