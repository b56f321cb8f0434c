#include "backends/web/webdav_multistatus.h"

#include <algorithm>
#include <cstdlib>

#include "backends/web/webdav_backend.h"
#include "engine/clock.h"
#include "foundation/remote_path.h"

namespace tarn {
namespace {

// Quota figures are signed: some servers report a negative "unknown".
void TakeQuota(const XmlNode& prop, FsStats& stats) {
  std::string avail = TrimSpace(prop.childText("quota-available-bytes"));
  if (avail.empty()) return;
  long long available = std::strtoll(avail.c_str(), nullptr, 10);
  std::string usedText = TrimSpace(prop.childText("quota-used-bytes"));
  long long used = usedText.empty() ? 0 : std::strtoll(usedText.c_str(), nullptr, 10);
  if (available < 0) return;
  stats.known = true;
  stats.free = stats.available = static_cast<uint64_t>(available);
  stats.total = static_cast<uint64_t>(used < 0 ? 0 : used) + static_cast<uint64_t>(available);
}

}  // namespace

uint32_t StatusLineCode(std::string_view line) {
  const std::string text = TrimSpace(line);
  const size_t sp = text.find(' ');
  if (sp == std::string::npos) return 0;
  return static_cast<uint32_t>(std::strtoul(text.c_str() + sp + 1, nullptr, 10));
}

uint32_t MultistatusOutcome(std::string_view body) {
  constexpr uint32_t kFailedDependency = 424;
  constexpr uint32_t kAllDone = 200;
  uint32_t failed = 0;
  bool told = false;
  auto take = [&failed, &told](uint32_t code) {
    if (code == 0) return;
    told = true;
    if (code >= 200 && code <= 299) return;
    if (failed == 0 || (failed == kFailedDependency && code != kFailedDependency)) failed = code;
  };
  MultistatusReader reader("multistatus", [&take](const XmlNode& response) {
    take(StatusLineCode(response.childText("status")));
    for (const XmlNode* ps : response.childrenNamed("propstat")) take(StatusLineCode(ps->childText("status")));
    return Status();
  });
  if (!reader.feed(body).ok() || !reader.finish().ok() || !told) return kDavMultiStatus;
  return failed != 0 ? failed : kAllDone;
}

Status TakeMultistatusOutcome(DavResponse& response, const std::string& verb, const std::string& path) {
  if (response.status != kDavMultiStatus) return Status();
  response.status = MultistatusOutcome(response.body);
  if (response.status != kDavMultiStatus) return Status();
  return Status(Status::kProtocol, verb + " " + path + " -> HTTP 207 (a multistatus reply that cannot be read)",
                static_cast<int32_t>(kDavMultiStatus));
}

const XmlNode* ChosenProp(const XmlNode& response) {
  for (const XmlNode* ps : response.childrenNamed("propstat")) {
    if (ps->childText("status").find("200") != std::string::npos) return ps->child("prop");
  }
  return nullptr;
}

Status AttrFromProp(const XmlNode& prop, RemoteAttr& a) {
  a = RemoteAttr{};
  const XmlNode* rt = prop.child("resourcetype");
  a.type = rt != nullptr && rt->child("collection") != nullptr ? RemoteAttr::kDirectory : RemoteAttr::kFile;
  // lighttpd sends a folder's size on its disk, which is no content.
  std::string len = a.isDir() ? std::string() : TrimSpace(prop.childText("getcontentlength"));
  if (!len.empty() && !ParseRemoteSize(len, a.size)) return Status(Status::kProtocol, "size out of range (" + len + ")");
  a.mtime = ParseHttpTime(TrimSpace(prop.childText("getlastmodified")));
  a.ctime = ParseHttpTime(TrimSpace(prop.childText("creationdate")));
  if (a.ctime.isZero()) a.ctime = a.mtime;
  a.etag = NormalizeEtag(prop.childText("getetag"));
  return Status();
}

MultistatusReader::MultistatusReader(std::string operation, OnResponse onResponse)
    : operation_(std::move(operation)), onResponse_(std::move(onResponse)),
      parser_([this](const XmlNode& child) {
        if (child.name != "response") return true;
        ++responses_;
        stopped_ = onResponse_(child);
        return stopped_.ok();
      }) {}

Status MultistatusReader::notMultistatus() const {
  return Status(Status::kProtocol, operation_ + ": not a multistatus reply");
}

Status MultistatusReader::feed(std::string_view piece) {
  if (failed_) return stopped_;
  const bool fed = parser_.feed(piece);
  // Another document (an HTML error page) is refused at its first element.
  if (const XmlNode* root = parser_.root(); fed && root != nullptr && root->name != "multistatus") {
    failed_ = true;
    stopped_ = notMultistatus();
  } else if (!fed) {
    failed_ = true;
    if (stopped_.ok()) {
      stopped_ = parser_.heldTooMuch()
                     ? Status(Status::kProtocol, operation_ + ": an entry of the reply is larger than " +
                                                     std::to_string(kMaxXmlHeldBytes) + " bytes")
                     : notMultistatus();
    }
  }
  return stopped_;
}

Status MultistatusReader::finish() {
  if (failed_) return stopped_;
  if (parser_.finish() == nullptr) {
    failed_ = true;
    stopped_ = notMultistatus();
  }
  return stopped_;
}

Status ReadMultistatus(http::HttpRequest& request, MultistatusReader& reader, const DavReplyLimits& limits) {
  const auto now = [&limits] { return limits.nowMs ? limits.nowMs() : SteadyNowMs(); };
  const uint64_t start = now();
  const std::string& op = reader.operation();
  std::string piece(kDavBodyPieceBytes, '\0');
  uint64_t bytes = 0;
  while (!reader.complete()) {
    size_t got = 0;
    if (uint32_t err = request.read(reinterpret_cast<uint8_t*>(piece.data()), piece.size(), got); err != 0)
      return WinHttpError(err, "read", request.failureWords());
    if (got == 0) break;
    bytes += got;
    if (Status st = reader.feed(std::string_view(piece.data(), got)); !st.ok()) return st;
    if (reader.responses() > limits.maxEntries)
      return Status(Status::kProtocol, op + ": the reply lists more than " + std::to_string(limits.maxEntries) +
                                           " entries");
    if (bytes > limits.maxBytes)
      return Status(Status::kProtocol, op + ": the reply is longer than " + std::to_string(limits.maxBytes) +
                                           " bytes");
    const uint64_t elapsed = now() - start;
    if (elapsed > limits.slowTimeMs + bytes * 1000 / std::max<uint64_t>(limits.minBytesPerSecond, 1))
      return Status(Status::kTimeout, op + ": the reply arrives slower than " +
                                          std::to_string(limits.minBytesPerSecond) + " bytes per second (" +
                                          std::to_string(bytes) + " bytes in " + std::to_string(elapsed) + " ms)");
  }
  if (Status st = reader.finish(); !st.ok()) return st;
  (void)DrainBody(request, kDavMaxBodyBytes);
  return Status();
}

PropfindReader::PropfindReader(std::string reference, int depth, bool wantStats, uint64_t maxListingBytes)
    : MultistatusReader("PROPFIND", [this](const XmlNode& response) { return take(response); }),
      reference_(std::move(reference)), depth_(depth), wantStats_(wantStats), maxListingBytes_(maxListingBytes) {}

Status PropfindReader::take(const XmlNode& response) {
  const std::string href = TrimSpace(response.childText("href"));
  // Read as the server wrote it: the requests carry no query, so a "?"
  // some servers leave raw in an href is a name's, "=" after it or not.
  const std::string entryPath = NormalizeRemotePath(HrefToRawPath(href));
  const bool self = entryPath == reference_;
  std::string name;
  if (!self) {
    // Only the object and its direct children count; deeper or unrelated
    // hrefs are skipped before their properties are even read.
    if (depth_ != 1 || !IsUnderPath(reference_, entryPath)) return Status();
    name = reference_ == "/" ? entryPath.substr(1) : entryPath.substr(reference_.size() + 1);
    if (name.empty() || name.find('/') != std::string::npos) return Status();
  }
  const XmlNode* prop = ChosenProp(response);
  if (prop == nullptr) return Status();
  RemoteAttr attr;
  if (Status st = AttrFromProp(*prop, attr); !st.ok()) {
    if (self) return Status(st.code, "PROPFIND " + entryPath + ": " + st.message);
    // One entry the server describes wrongly takes no other with it.
    if (skipped_++ == 0) firstSkipped_ = name + ": " + st.message;
    return Status();
  }
  if (wantStats_) TakeQuota(*prop, stats_);
  if (self) {
    own_ = std::move(attr);
    found_ = true;
  } else if (entries_.add(name, attr) && entries_.bytes() > maxListingBytes_) {
    return Status(Status::kProtocol, "PROPFIND: the listing takes more than " + std::to_string(maxListingBytes_) +
                                         " bytes of memory");
  }
  return Status();
}

}  // namespace tarn
