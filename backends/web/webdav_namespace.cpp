// Namespace operations: one request each, answers mapped by HttpStatusError.
#include <cstdlib>

#include "backends/web/webdav_backend.h"
#include "backends/web/xml.h"

namespace tarn {
namespace {

// The status code of a "HTTP/1.1 200 OK" line; 0 when there is none.
uint32_t StatusLineCode(const std::string& line) {
  size_t sp = line.find(' ');
  if (sp == std::string::npos) return 0;
  return static_cast<uint32_t>(std::strtoul(line.c_str() + sp + 1, nullptr, 10));
}

// True when a propstat that holds the modification time says 2xx.
bool MtimeAccepted(const std::string& body) {
  auto root = ParseXml(body);
  if (!root || root->name != "multistatus") return false;
  for (const XmlNode* response : root->childrenNamed("response")) {
    for (const XmlNode* ps : response->childrenNamed("propstat")) {
      const XmlNode* prop = ps->child("prop");
      uint32_t code = StatusLineCode(TrimSpace(ps->childText("status")));
      if (prop != nullptr && prop->child("lastmodified") != nullptr && code >= 200 && code <= 299) return true;
    }
  }
  return false;
}

Status Simple(WebDavBackend& b, const std::string& verb, const std::string& path,
              std::vector<std::string> headers = {}) {
  DavRequest req;
  req.verb = verb;
  req.path = path;
  req.headers = std::move(headers);
  DavResponse resp;
  Status st = b.send(req, resp);
  if (!st.ok()) return st;
  return HttpStatusError(resp.status, verb, path);
}

}  // namespace

Status WebDavBackend::mkdir(const std::string& path) { return Simple(*this, "MKCOL", path); }

Status WebDavBackend::remove(const std::string& path, bool) { return Simple(*this, "DELETE", path); }

Status WebDavBackend::rename(const std::string& from, const std::string& to, bool overwrite) {
  return Simple(*this, "MOVE", from,
                {"Destination: " + absoluteUrl(to), overwrite ? "Overwrite: T" : "Overwrite: F"});
}

Status WebDavBackend::setTimes(const std::string& path, const Timestamp& mtime, const Timestamp&) {
  if (!chunkedUploads_ || mtime.isZero()) return Status(Status::kUnsupported, "server keeps its own mtime");
  DavRequest req;
  req.verb = "PROPPATCH";
  req.path = path;
  req.headers = {"Content-Type: application/xml; charset=utf-8"};
  req.body =
      "<?xml version=\"1.0\" encoding=\"utf-8\"?><d:propertyupdate xmlns:d=\"DAV:\"><d:set><d:prop><d:lastmodified>" +
      std::to_string(mtime.seconds) + "</d:lastmodified></d:prop></d:set></d:propertyupdate>";
  DavResponse resp;
  Status st = send(req, resp);
  if (!st.ok()) return st;
  if (resp.status == 207)
    return MtimeAccepted(resp.body) ? Status() : Status(Status::kUnsupported, "PROPPATCH refused");
  return HttpStatusError(resp.status, "PROPPATCH", path);
}

Status WebDavBackend::writeAt(const std::string&, uint64_t, const uint8_t*, uint64_t) {
  return Status(Status::kUnsupported, "WebDAV cannot write at an offset");
}

Status WebDavBackend::truncate(const std::string&, uint64_t) {
  return Status(Status::kUnsupported, "WebDAV cannot truncate");
}

}  // namespace tarn
