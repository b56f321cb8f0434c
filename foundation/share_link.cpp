#include "foundation/share_link.h"

#include <arpa/inet.h>

#include <algorithm>

#include "foundation/remote_path.h"

namespace tarn {
namespace {

constexpr std::string_view kSchemeSep = "://";
constexpr std::string_view kDavFilesMarker = "/remote.php/dav/files/";
constexpr std::string_view kDavFilesRoot = "/remote.php/dav/files";

bool IsLinkSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

std::string_view TrimLinkSpace(std::string_view s) {
  while (!s.empty() && IsLinkSpace(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsLinkSpace(s.back())) s.remove_suffix(1);
  return s;
}

std::string AsciiLower(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

struct Scheme {
  const char* name;
  const char* protocol;
  int tls;  // 1 on, 0 off, -1 unchanged
  uint32_t defaultPort;
};

constexpr Scheme kSchemes[] = {
    {"https", "webdav", 1, kHttpsPort}, {"davs", "webdav", 1, kHttpsPort},
    {"webdavs", "webdav", 1, kHttpsPort}, {"http", "webdav", 0, kHttpPort},
    {"dav", "webdav", 0, kHttpPort},     {"webdav", "webdav", 0, kHttpPort},
    {"sftp", "sftp", -1, kSftpPort},     {"ssh", "sftp", -1, kSftpPort},
    {"nfs", "nfs", -1, kNfsPort},
};

// Leading white space and a sign are accepted; reading stops at the first
// non-digit. Saturates instead of overflowing; a negative value reads as
// out of range.
uint64_t ReadPort(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && IsLinkSpace(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  uint64_t v = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    v = v * 10 + static_cast<uint64_t>(text[i] - '0');
    if (v > kMaxPort) v = kMaxPort + 1;  // stays out of range, never overflows
  }
  if (negative && v != 0) return kMaxPort + 1;
  return v;
}

// An IPv6 address, with or without a zone ("%eth0").
bool IsIpv6Literal(std::string_view text) {
  const std::string address(text.substr(0, text.find('%')));
  in6_addr parsed{};
  return ::inet_pton(AF_INET6, address.c_str(), &parsed) == 1;
}

}  // namespace

// A host that would change the meaning of the address it is written into.
bool IsUrlSafeHost(std::string_view host) {
  for (unsigned char c : host) {
    if (c <= 0x20 || c == 0x7F) return false;
    if (std::string_view("/?#@[]").find(static_cast<char>(c)) != std::string_view::npos) return false;
  }
  return true;
}

std::string ParseShareLink(EndpointConfig& ep) {
  const std::string_view link = TrimLinkSpace(ep.host);
  const size_t sep = link.find(kSchemeSep);
  if (link.size() < 3 || sep == std::string_view::npos) return std::string();

  const std::string scheme = AsciiLower(link.substr(0, sep));
  const Scheme* found = nullptr;
  for (const Scheme& s : kSchemes)
    if (scheme == s.name) found = &s;
  if (found == nullptr) return "unsupported link: " + scheme + "://";

  // Everything below works on a copy of the link: `ep.host` is replaced.
  const std::string rest(link.substr(sep + kSchemeSep.size()));
  ep.protocol = found->protocol;
  if (found->tls >= 0) ep.tls = found->tls == 1;

  std::string_view authority = rest;
  std::string_view path;
  const size_t cut = rest.find_first_of("/?#");
  if (cut != std::string::npos) {
    authority = std::string_view(rest).substr(0, cut);
    path = std::string_view(rest).substr(cut);
    const size_t q = path.find_first_of("?#");
    if (q != std::string_view::npos) path = path.substr(0, q);
  }

  std::string_view server = authority;
  const size_t at = authority.rfind('@');
  if (at != std::string_view::npos) {
    const std::string_view info = authority.substr(0, at);
    server = authority.substr(at + 1);
    const size_t colon = info.find(':');
    const std::string_view user = info.substr(0, colon);
    if (ep.user.empty()) ep.user = PercentDecode(user);
    if (colon != std::string_view::npos && ep.password.empty())
      ep.password = PercentDecode(info.substr(colon + 1));
  }

  std::string_view host = server;
  std::string_view portText;
  const std::string badServer = "bad server address in the link: " + std::string(server);
  if (!server.empty() && server.front() == '[') {
    const size_t close = server.find(']');
    if (close == std::string_view::npos) return badServer;
    host = server.substr(1, close - 1);
    if (close + 1 < server.size() && server[close + 1] == ':') portText = server.substr(close + 2);
    else if (close + 1 < server.size()) return badServer;
    if (!host.empty() && !IsIpv6Literal(host)) return badServer;
  } else {
    const size_t colon = server.rfind(':');
    if (colon != std::string_view::npos && server.find(':') == colon) {
      host = server.substr(0, colon);
      portText = server.substr(colon + 1);
    } else if (colon != std::string_view::npos && !IsIpv6Literal(server)) {
      // Several ':' are either a bare IPv6 address, kept whole, or a typing
      // error that no host name can hold.
      return badServer;
    }
    // A name that would be saved and then never reached, or change the
    // meaning of every address made from it.
    if (!IsUrlSafeHost(host)) return badServer;
  }
  if (host.empty()) return "the link has no server name";
  ep.host = std::string(host);

  if (!portText.empty()) {
    const uint64_t port = ReadPort(portText);
    if (port == 0 || port > kMaxPort) return "bad port in the link: " + std::string(portText);
    if (ep.port == 0 && port != found->defaultPort) ep.port = static_cast<uint32_t>(port);
  }

  const std::string p = NormalizeRemotePath(PercentDecode(path));
  const std::string r = NormalizeRemotePath(ep.root);
  if (r == "/" || r == kDavFilesRoot || r == p) {
    ep.root = p;
  } else if (p != "/" && r.size() > p.size() && r.compare(0, p.size(), p) == 0 && r[p.size()] == '/') {
    ep.root = r;
  } else {
    ep.root = NormalizeRemotePath(p + "/" + r);
  }
  return std::string();
}

std::string DavFilesUser(std::string_view path) {
  if (path.size() < kDavFilesMarker.size()) return std::string();
  const size_t pos = path.find(kDavFilesMarker);
  if (pos == std::string_view::npos) return std::string();
  std::string_view rest = path.substr(pos + kDavFilesMarker.size());
  return std::string(rest.substr(0, rest.find('/')));
}

std::string EndpointUrl(EndpointConfig ep) {
  if (!ParseShareLink(ep).empty() || ep.protocol != "webdav" || ep.host.empty() ||
      !IsUrlSafeHost(ep.host))
    return std::string();
  std::string url = ep.tls ? "https://" : "http://";
  if (ep.host.find(':') != std::string::npos)
    url += "[" + ep.host + "]";
  else
    url += ep.host;
  const uint32_t defaultPort = ep.tls ? kHttpsPort : kHttpPort;
  if (ep.port != 0 && ep.port != defaultPort) url += ":" + std::to_string(ep.port);
  const std::string root = NormalizeRemotePath(ep.root);
  if (root != "/") url += PercentEncode(root);
  return url;
}

std::string DisplayUrl(const MountConfig& cfg) {
  const EndpointConfig& ep = cfg.endpoint;
  std::string out = ep.protocol + "://";
  if (!ep.user.empty()) out += ep.user + "@";
  out += ep.host;
  if (ep.port != 0) out += ":" + std::to_string(ep.port);
  out += ep.root.empty() ? std::string("/") : ep.root;
  return out;
}

std::string EndpointLink(const EndpointConfig& ep) {
  std::string scheme = ep.protocol;
  uint32_t defaultPort = 0;
  if (ep.protocol == "webdav") {
    scheme = ep.tls ? "https" : "http";
    defaultPort = ep.tls ? kHttpsPort : kHttpPort;
  } else if (ep.protocol == "sftp") {
    defaultPort = kSftpPort;
  } else if (ep.protocol == "nfs") {
    defaultPort = kNfsPort;
  }
  std::string out = scheme + "://";
  if (!ep.user.empty()) out += ep.user + "@";
  out += ep.host.find(':') != std::string::npos && defaultPort != 0 ? "[" + ep.host + "]" : ep.host;
  if (ep.port != 0 && ep.port != defaultPort) out += ":" + std::to_string(ep.port);
  if (ep.root.empty() || ep.root.front() != '/') out += "/";
  return out + ep.root;
}

}  // namespace tarn
