// Construction from the endpoint, the session lifecycle and the one request
// engine through which every WebDAV request goes.
#include "backends/web/webdav_backend.h"

#include <algorithm>
#include <chrono>
#include <map>
#include <mutex>
#include <thread>

#include "engine/clock.h"
#include "foundation/codec.h"
#include "foundation/log.h"
#include "foundation/remote_path.h"

namespace tarn {
namespace {

constexpr uint16_t kHttpsPort = 443;
constexpr uint16_t kHttpPort = 80;
constexpr uint32_t kCancelSliceMs = 100;
constexpr std::string_view kNextcloudMarker = "/remote.php/dav/files/";
constexpr std::string_view kOwncloudMarker = "/remote.php/webdav";
constexpr std::string_view kUploadsSegment = "/remote.php/dav/uploads/";
// Far more server locations than one service ever uses; past this many a
// new location is not remembered and each connection is challenged anew.
constexpr size_t kMaxRememberedLocations = 1024;

// The scheme each server location asked for, shared by every back-end of
// the process, so that a drive's new connections send what its server
// wants from the first request on: Basic only where it was asked for, and
// never again Basic where another scheme was asked for. Any thread.
class SchemeMemory {
 public:
  static SchemeMemory& Instance() {
    static SchemeMemory memory;
    return memory;
  }
  uint32_t recall(const std::string& location) {
    std::lock_guard<std::mutex> lock(mu_);
    auto it = schemes_.find(location);
    return it == schemes_.end() ? 0 : it->second;
  }
  void remember(const std::string& location, uint32_t scheme) {
    std::lock_guard<std::mutex> lock(mu_);
    auto it = schemes_.find(location);
    if (it == schemes_.end()) {
      if (schemes_.size() < kMaxRememberedLocations) schemes_.emplace(location, scheme);
    } else if (scheme != http::kAuthBasic || it->second == 0) {
      it->second = scheme;
    }
  }

 private:
  std::mutex mu_;
  std::map<std::string, uint32_t> schemes_;  // guarded by mu_
};

// The strongest scheme of a challenge: the order the platform's own HTTP
// stack prefers, Basic last.
uint32_t StrongestScheme(uint32_t offered) {
  for (uint32_t scheme : {http::kAuthNegotiate, http::kAuthNtlm, http::kAuthDigest, http::kAuthBasic})
    if ((offered & scheme) != 0) return scheme;
  return 0;
}

}  // namespace

uint16_t LeadingPort(std::string_view text) {
  uint32_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') break;
    value = value * 10 + static_cast<uint32_t>(c - '0');
    if (value > 65535) return 0;
  }
  return static_cast<uint16_t>(value);
}

WebDavBackend::WebDavBackend(const EndpointConfig& config) : config_(config) {
  // The interface's defaults are a plain WebDAV server's; the endpoint and
  // the server's answers refine them below and while connected.
  caps_.server = "webdav";
  // A ranged GET is a request of its own, which some servers serve by
  // reading the file up to its offset.
  caps_.streamSequential = true;
  secure_ = config_.tls;
  replyLimits_.slowTimeMs = config_.ioTimeoutMs != 0 ? config_.ioTimeoutMs : kDavDefaultIoTimeoutMs;

  std::string urlPathPart;
  const std::string& h = config_.host;
  if (h.find("://") != std::string::npos) {
    http::CrackedUrl url;
    if (http::CrackUrl(h, url)) {
      secure_ = url.secure;
      host_ = url.host;
      port_ = url.port;
      urlPathPart = url.path;
    }
  } else if (!h.empty() && h.front() == '[') {
    // A bracketed IPv6 address, maybe with a port after the bracket.
    size_t close = h.find(']');
    if (close == std::string::npos) {
      host_ = h;
    } else {
      host_ = h.substr(1, close - 1);
      if (close + 1 < h.size() && h[close + 1] == ':') port_ = LeadingPort(std::string_view(h).substr(close + 2));
    }
  } else if (size_t colon = h.rfind(':'); colon != std::string::npos && h.find(':') == colon) {
    host_ = h.substr(0, colon);
    port_ = LeadingPort(std::string_view(h).substr(colon + 1));
  } else {
    // No colon, or several: an IPv6 literal without brackets stays whole.
    host_ = h;
  }
  if (config_.port != 0) port_ = static_cast<uint16_t>(config_.port);
  if (port_ == 0) port_ = secure_ ? kHttpsPort : kHttpPort;

  // The root is a remote path; in the URL it is percent-encoded like every path.
  basePath_ = NormalizeRemotePath(urlPathPart + "/" + PercentEncode(config_.root));
  if (basePath_ == "/") basePath_.clear();

  if (!config_.user.empty()) {
    std::string credentials = config_.user + ":" + config_.password;
    basicAuth_ = "Authorization: Basic " + vx::Base64Encode(credentials.data(), credentials.size());
    authScheme_ = SchemeMemory::Instance().recall(authLocation());
  }

  if (size_t at = basePath_.find(kNextcloudMarker); at != std::string::npos) {
    std::string rest = basePath_.substr(at + kNextcloudMarker.size());
    std::string user = rest.substr(0, rest.find('/'));
    chunkRoot_ = basePath_.substr(0, at) + std::string(kUploadsSegment) + user;
    caps_.server = "nextcloud";
    chunkedUploads_ = true;
  } else if (size_t at2 = basePath_.find(kOwncloudMarker); at2 != std::string::npos) {
    chunkRoot_ = basePath_.substr(0, at2) + std::string(kUploadsSegment) + PercentEncode(config_.user);
    caps_.server = "owncloud";
    chunkedUploads_ = true;
  }
  if (chunkedUploads_) {
    caps_.resumableUpload = true;
    caps_.setMtime = true;
    // Their servers write an upload into a part file of their own.
    uploadsAside_ = false;
  }
}

WebDavBackend::~WebDavBackend() {
  // The empty file creates copy from is this back-end's own and would be
  // seen by other clients until a listing removes it an hour later.
  if (!emptySource_.empty()) {
    const CancelToken within(nullptr, SteadyNowMs() + kDavTempRemovalMs, SteadyNowMs);
    cancel_ = &within;
    // A connection the pool dropped (idle, or after a failure) is made
    // again for it.
    if (!connected_) (void)connect();
    if (connected_) discard(emptySource_);
    cancel_ = nullptr;
  }
  disconnect();
  session_.reset();
}

Status WebDavBackend::connect() {
  if (!session_) {
    http::SessionOptions options;
    options.userAgent = kDavUserAgent;
    options.connectTimeoutMs = config_.connectTimeoutMs != 0 ? config_.connectTimeoutMs : kDavDefaultConnectTimeoutMs;
    options.ioTimeoutMs = config_.ioTimeoutMs != 0 ? config_.ioTimeoutMs : kDavDefaultIoTimeoutMs;
    options.verifyTls = config_.verifyTls;
    options.lowSpeedBytes = kDavLowSpeedBytes;
    session_ = std::make_unique<http::HttpConnection>(options);
    session_->setCancelCheck([this] { return cancelled(); });
  }
  if (connected_) return Status();
  if (uint32_t err = session_->open(host_, port_, secure_); err != 0) return WinHttpError(err, "connect");
  connected_ = true;
  std::vector<DirEntry> entries;
  RemoteAttr root;
  Status st = propfind("/", 0, entries, &root, nullptr);
  if (!st.ok()) {
    disconnect();
    if (st.code == Status::kNotFound)
      return Status(Status::kNotFound, "root path not found on the server: " + config_.root, st.native);
    return st;
  }
  return Status();
}

void WebDavBackend::disconnect() {
  if (session_) session_->close();
  connected_ = false;
}

bool WebDavBackend::isConnected() const { return connected_; }

Status WebDavBackend::ping() {
  if (!connected_) return Status(Status::kNetwork, "not connected");
  std::vector<DirEntry> entries;
  RemoteAttr root;
  return propfind("/", 0, entries, &root, nullptr);
}

bool WebDavBackend::sleepCancellable(uint32_t ms) const {
  auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  for (;;) {
    if (cancelled()) return false;
    auto now = std::chrono::steady_clock::now();
    if (now >= until) return true;
    auto slice = std::min<std::chrono::steady_clock::duration>(until - now, std::chrono::milliseconds(kCancelSliceMs));
    std::this_thread::sleep_for(slice);
  }
}

std::string WebDavBackend::urlPath(std::string_view path, bool folder) const {
  if (IsRootPath(path)) return basePath_ + "/";
  std::string url = basePath_ + PercentEncode(path);
  if (folder && url.back() != '/') url += '/';
  return url;
}

std::string WebDavBackend::absoluteUrl(std::string_view path, bool folder) const {
  std::string url = secure_ ? "https://" : "http://";
  const bool literal6 = host_.find(':') != std::string::npos;
  if (literal6) url += '[';
  url += host_;
  if (literal6) url += ']';
  if (!((secure_ && port_ == kHttpsPort) || (!secure_ && port_ == kHttpPort))) {
    url += ':';
    url += std::to_string(port_);
  }
  url += urlPath(path, folder);
  return url;
}

namespace {

// The same URL path with a slash added, when a redirect's Location names it
// (as an absolute URL or a path); empty otherwise. Compared decoded, as the
// server may escape other bytes than we do.
std::string SlashedTarget(const std::string& object, std::string_view location) {
  if (!object.empty() && object.back() == '/') return {};
  const std::string target = HrefToPath(location);
  return target == PercentDecode(object) + "/" ? object + "/" : std::string();
}

}  // namespace

Status WebDavBackend::send(const DavRequest& request, DavResponse& response,
                           std::unique_ptr<http::HttpRequest>* handle) {
  response = DavResponse{};
  if (!connected_ || !session_) return Status(Status::kNetwork, "not connected");
  std::string object = !request.target.empty() ? request.target : urlPath(request.path, request.folder);

  std::unique_ptr<http::HttpRequest> r;
  bool challenged = false;
  bool redirected = false;
  bool unslashed = false;
  for (;;) {
    r = session_->openRequest(request.verb, object);
    // The caller's silence limit (a cached answer that waits) shortens it.
    const uint32_t io = request.timeoutMs != 0   ? request.timeoutMs
                        : config_.ioTimeoutMs != 0 ? config_.ioTimeoutMs
                                                   : kDavDefaultIoTimeoutMs;
    r->setReceiveTimeout(SilenceLimitMs(cancel_, io));
    if (const uint32_t scheme = sentScheme(); scheme == http::kAuthBasic) {
      r->addHeader(basicAuth_);
    } else if (scheme != 0) {
      r->setCredentials(scheme, config_.user, config_.password);
    }
    for (const auto& line : request.headers) r->addHeader(line);

    if (request.streamLength != 0) {
      if (uint32_t err = r->sendStreamed(request.streamLength); err != 0)
        return WinHttpError(err, "send", r->failureWords());
      if (handle != nullptr) *handle = std::move(r);
      return Status();
    }
    if (uint32_t err = r->send(request.body); err != 0) return WinHttpError(err, "send", r->failureWords());
    const uint32_t status = r->status();

    if (status == 401 && !challenged) {
      challenged = true;
      if (takeChallenge(*r)) {
        (void)DrainBody(*r, kDavMaxBodyBytes);
        continue;
      }
    }
    if (status == 301 && !redirected) {
      if (std::string slashed = SlashedTarget(object, r->header("Location")); !slashed.empty()) {
        redirected = true;
        object = std::move(slashed);
        (void)DrainBody(*r, kDavMaxBodyBytes);
        continue;
      }
    }
    // A folder URL that names a file: Apache refuses it with 400, lighttpd
    // refuses a PROPFIND of it with 403.
    if ((status == 400 || (status == 403 && request.verb == "PROPFIND")) && request.folder && !unslashed &&
        object.size() > 1 && object.back() == '/') {
      unslashed = true;
      object.pop_back();
      (void)DrainBody(*r, kDavMaxBodyBytes);
      continue;
    }
    break;
  }

  response.status = r->status();
  response.etag = r->header("ETag");
  response.contentType = r->header("Content-Type");
  response.server = r->header("Server");
  response.dav = r->header("DAV");
  if (r->hasHeader("Content-Length"))
    response.hasContentLength = ParseRemoteSize(TrimSpace(r->header("Content-Length")), response.contentLength);
  if (handle != nullptr) {
    *handle = std::move(r);
    return Status();
  }
  if (request.readBody) {
    // Only error documents and short replies come here: keep their start,
    // drop the rest with the connection.
    std::string piece(kDavBodyPieceBytes, '\0');
    while (response.body.size() < kDavMaxBodyBytes) {
      size_t got = 0;
      if (uint32_t err = r->read(reinterpret_cast<uint8_t*>(piece.data()), piece.size(), got); err != 0)
        return WinHttpError(err, "read", r->failureWords());
      if (got == 0) break;
      response.body.append(piece, 0, std::min(got, kDavMaxBodyBytes - response.body.size()));
    }
  }
  return Status();
}

uint32_t WebDavBackend::sentScheme() const {
  if (config_.user.empty()) return 0;
  if (authScheme_ != 0) return authScheme_;
  return secure_ ? http::kAuthBasic : 0;
}

std::string WebDavBackend::authLocation() const {
  // The user is part of it: another account on the same folder may be
  // asked differently, and a user name may hold any byte but NUL.
  return absoluteUrl("/") + '\0' + config_.user;
}

bool WebDavBackend::takeChallenge(const http::HttpRequest& reply) {
  if (config_.user.empty()) return false;
  const uint32_t sent = sentScheme();
  uint32_t offered = reply.authSchemes();
  // Where another scheme was asked for, the password never goes in clear.
  if (authScheme_ != 0 && authScheme_ != http::kAuthBasic) offered &= ~http::kAuthBasic;
  const uint32_t chosen = StrongestScheme(offered);
  if (chosen == 0 || chosen == sent) return false;
  authScheme_ = chosen;
  SchemeMemory::Instance().remember(authLocation(), chosen);
  vx::log::write(vx::log::kDebug, "webdav: server asks for authentication scheme %u", chosen);
  return true;
}

std::unique_ptr<IBackend> MakeWebDavBackend(const EndpointConfig& config) {
  return std::make_unique<WebDavBackend>(config);
}

}  // namespace tarn
