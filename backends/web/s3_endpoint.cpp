// Construction: the endpoint (server, port, TLS, bucket, key prefix, region,
// addressing style) and the capability record of an S3 store.
#include <algorithm>

#include "backends/web/s3_backend.h"
#include "foundation/remote_path.h"

namespace tarn {
namespace {

constexpr uint16_t kHttpsPort = 443;
constexpr uint16_t kHttpPort = 80;
constexpr std::string_view kS3LabelPrefix = "s3-";
constexpr std::string_view kS3ExternalLabel = "external-1";

bool EndsWith(std::string_view text, std::string_view tail) {
  return text.size() >= tail.size() && text.substr(text.size() - tail.size()) == tail;
}

bool OnPublicService(std::string_view server) {
  return EndsWith(server, kS3PublicDomain) ||
         EndsWith(server, std::string(kS3PublicDomain) + std::string(kS3ChinaSuffix));
}

}  // namespace

std::string ToLower(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

bool IsOneOf(std::string_view text, std::initializer_list<std::string_view> options) {
  return std::find(options.begin(), options.end(), text) != options.end();
}

std::string S3RegionFromHost(std::string_view host) {
  size_t at = host.find(kS3PublicDomain);
  if (at == std::string_view::npos || at == 0) return {};
  std::string_view before = host.substr(0, at);
  size_t dot = before.rfind('.');
  std::string_view label = dot == std::string_view::npos ? before : before.substr(dot + 1);
  if (label.substr(0, kS3LabelPrefix.size()) == kS3LabelPrefix) label.remove_prefix(kS3LabelPrefix.size());
  if (label == kS3ExternalLabel) return kS3DefaultRegion;
  if (label.find('-') != std::string_view::npos && !label.empty() && label.back() >= '0' && label.back() <= '9')
    return std::string(label);
  return {};
}

S3Endpoint S3Backend::parseEndpoint(const EndpointConfig& config) {
  S3Endpoint ep;
  ep.tls = config.tls;
  std::string_view text = config.host;
  if (size_t scheme = text.find("://"); scheme != std::string_view::npos) {
    ep.tls = ToLower(text.substr(0, scheme)) != "http";
    text.remove_prefix(scheme + 3);
  }
  if (size_t slash = text.find('/'); slash != std::string_view::npos) text = text.substr(0, slash);

  std::string server;
  uint16_t port = 0;
  const size_t firstColon = text.find(':');
  if (!text.empty() && text.front() == '[') {
    // A bracketed IPv6 address keeps its colons; a port may follow "]:".
    size_t close = text.find(']');
    server = std::string(close == std::string_view::npos ? text : text.substr(0, close + 1));
    if (close != std::string_view::npos && close + 1 < text.size() && text[close + 1] == ':')
      port = LeadingPort(text.substr(close + 2));
  } else if (firstColon != std::string_view::npos && text.find(':', firstColon + 1) != std::string_view::npos) {
    // Several colons without brackets: an IPv6 literal, never host and port.
    server = "[" + std::string(text) + "]";
  } else if (firstColon != std::string_view::npos) {
    server = std::string(text.substr(0, firstColon));
    port = LeadingPort(text.substr(firstColon + 1));
  } else {
    server = std::string(text);
  }
  if (config.port != 0) port = static_cast<uint16_t>(config.port);
  if (port == 0) port = ep.tls ? kHttpsPort : kHttpPort;
  ep.port = port;
  server = ToLower(server);

  std::vector<std::string> parts = SplitPath(NormalizeRemotePath(config.root));
  if (!parts.empty()) {
    ep.bucket = parts.front();
    for (size_t i = 1; i < parts.size(); ++i) {
      if (i > 1) ep.prefix += '/';
      ep.prefix += parts[i];
    }
  }

  std::string style = "auto";
  std::string_view extra = config.extra;
  while (!extra.empty()) {
    size_t comma = extra.find(',');
    std::string_view item = extra.substr(0, comma);
    extra = comma == std::string_view::npos ? std::string_view() : extra.substr(comma + 1);
    size_t eq = item.find('=');
    if (eq == std::string_view::npos) continue;
    std::string name = ToLower(TrimSpace(item.substr(0, eq)));
    std::string value = TrimSpace(item.substr(eq + 1));
    if (name == "region")
      ep.region = value;
    else if (name == "style")
      style = ToLower(value);
  }

  const bool publicService = OnPublicService(server);
  if (ep.region.empty() && publicService) ep.region = S3RegionFromHost(server);
  if (ep.region.empty()) ep.region = kS3DefaultRegion;

  if (style == "virtual")
    ep.virtualHosted = true;
  else if (style == "path")
    ep.virtualHosted = false;
  // A bucket with a full stop would not match the service's certificate.
  else
    ep.virtualHosted = publicService && (!ep.tls || ep.bucket.find('.') == std::string::npos);

  ep.host = ep.virtualHosted && !ep.bucket.empty() ? ep.bucket + "." + server : server;
  return ep;
}

S3Backend::S3Backend(EndpointConfig config) : config_(std::move(config)) {
  endpoint_ = parseEndpoint(config_);
  caps_.renameDirs = false;
  caps_.maxNameBytes = kS3MaxNameBytes;
  caps_.maxPathBytes = kS3MaxPathBytes;
  caps_.maxFileBytes = kS3MaxObjectBytes;
  caps_.server = "s3";
  // A rename is a copy and a delete, and folders exist through their keys.
  caps_.nativeRename = false;
  caps_.implicitFolders = true;
  const bool defaultPort =
      (endpoint_.tls && endpoint_.port == kHttpsPort) || (!endpoint_.tls && endpoint_.port == kHttpPort);
  hostHeader_ = defaultPort ? endpoint_.host : endpoint_.host + ":" + std::to_string(endpoint_.port);
}

S3Backend::~S3Backend() {
  disconnect();
  session_.reset();
}

std::unique_ptr<IBackend> MakeS3Backend(const EndpointConfig& config) { return std::make_unique<S3Backend>(config); }

}  // namespace tarn
