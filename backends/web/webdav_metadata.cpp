// Everything the back-end learns about remote objects comes from PROPFIND
// with a fixed property list, answered by a multistatus document.
#include <cstdlib>

#include "backends/web/webdav_backend.h"
#include "backends/web/xml.h"
#include "foundation/remote_path.h"

namespace tarn {
namespace {

constexpr const char* kPropfindBody =
    "<?xml version=\"1.0\" encoding=\"utf-8\"?><d:propfind xmlns:d=\"DAV:\"><d:prop><d:resourcetype/>"
    "<d:getcontentlength/><d:getlastmodified/><d:getetag/><d:creationdate/><d:quota-available-bytes/>"
    "<d:quota-used-bytes/></d:prop></d:propfind>";

std::string CleanEtag(std::string etag) {
  if (etag.size() >= 2 && etag.front() == '"' && etag.back() == '"') etag = etag.substr(1, etag.size() - 2);
  if (etag.size() >= 2 && etag.compare(0, 2, "W/") == 0) etag = etag.substr(2);
  return etag;
}

RemoteAttr AttrFromProp(const XmlNode& prop) {
  RemoteAttr a;
  const XmlNode* rt = prop.child("resourcetype");
  a.type = rt != nullptr && rt->child("collection") != nullptr ? RemoteAttr::kDirectory : RemoteAttr::kFile;
  std::string len = TrimSpace(prop.childText("getcontentlength"));
  if (!len.empty()) a.size = std::strtoull(len.c_str(), nullptr, 10);
  a.mtime = ParseHttpTime(TrimSpace(prop.childText("getlastmodified")));
  a.ctime = ParseHttpTime(TrimSpace(prop.childText("creationdate")));
  if (a.ctime.isZero()) a.ctime = a.mtime;
  a.etag = CleanEtag(TrimSpace(prop.childText("getetag")));
  return a;
}

const XmlNode* ChosenProp(const XmlNode& response) {
  for (const XmlNode* ps : response.childrenNamed("propstat")) {
    const std::string status = ps->childText("status");
    if (status.find(" 200 ") != std::string::npos || status.find("200") != std::string::npos)
      return ps->child("prop");
  }
  return nullptr;
}

}  // namespace

Status WebDavBackend::propfind(const std::string& path, int depth, std::vector<DirEntry>& entries, RemoteAttr* own,
                               FsStats* stats) {
  DavRequest req;
  req.verb = "PROPFIND";
  req.path = path;
  req.headers = {"Depth: " + std::to_string(depth), "Content-Type: application/xml; charset=utf-8"};
  req.body = kPropfindBody;
  DavResponse resp;
  Status st = send(req, resp);
  if (!st.ok()) return st;
  if (resp.status != 207) {
    Status mapped = HttpStatusError(resp.status, "PROPFIND", path);
    // Another success status carries no properties: taking it as an answer
    // would report every path as present with empty attributes.
    if (mapped.ok())
      return Status(Status::kProtocol, "PROPFIND " + path + " -> HTTP " + std::to_string(resp.status) +
                                           " (no multistatus)", static_cast<int32_t>(resp.status));
    return mapped;
  }
  if (caps_.server == "webdav" && !resp.server.empty()) caps_.server = "webdav/" + resp.server;

  auto root = ParseXml(resp.body);
  if (!root || root->name != "multistatus") return Status(Status::kProtocol, "PROPFIND: not a multistatus reply");

  const std::string reference = NormalizeRemotePath(PercentDecode(urlPath(path)));
  entries.clear();
  bool found = false;
  for (const XmlNode* response : root->childrenNamed("response")) {
    const std::string entryPath = NormalizeRemotePath(HrefToPath(TrimSpace(response->childText("href"))));
    const XmlNode* prop = ChosenProp(*response);
    if (prop == nullptr) continue;
    RemoteAttr attr = AttrFromProp(*prop);
    if (stats != nullptr) {
      std::string avail = TrimSpace(prop->childText("quota-available-bytes"));
      if (!avail.empty()) {
        long long available = std::strtoll(avail.c_str(), nullptr, 10);
        std::string usedText = TrimSpace(prop->childText("quota-used-bytes"));
        long long used = usedText.empty() ? 0 : std::strtoll(usedText.c_str(), nullptr, 10);
        if (available >= 0) {
          stats->known = true;
          stats->free = stats->available = static_cast<uint64_t>(available);
          stats->total = static_cast<uint64_t>(used < 0 ? 0 : used) + static_cast<uint64_t>(available);
        }
      }
    }
    if (entryPath == reference) {
      if (own != nullptr) *own = attr;
      found = true;
      continue;
    }
    if (depth != 1 || !IsUnderPath(reference, entryPath)) continue;
    std::string name = reference == "/" ? entryPath.substr(1) : entryPath.substr(reference.size() + 1);
    if (name.empty() || name.find('/') != std::string::npos) continue;
    entries.push_back(DirEntry{std::move(name), std::move(attr)});
  }
  if (depth == 0 && own != nullptr && !found) return Status(Status::kNotFound, path, 0);
  return Status();
}

Status WebDavBackend::stat(const std::string& path, RemoteAttr& out) {
  std::vector<DirEntry> entries;
  return propfind(path, 0, entries, &out, nullptr);
}

Status WebDavBackend::list(const std::string& path, std::vector<DirEntry>& out) {
  // The type "other" marks a folder that had no response of its own.
  RemoteAttr self;
  self.type = RemoteAttr::kOther;
  Status st = propfind(path, 1, out, &self, nullptr);
  if (!st.ok()) return st;
  if (self.isDir()) return Status();
  return Status(Status::kNotDirectory, path);
}

Status WebDavBackend::statfs(FsStats& out) {
  out = FsStats{};
  std::vector<DirEntry> entries;
  RemoteAttr root;
  Status st = propfind("/", 0, entries, &root, &out);
  if (st.ok()) caps_.freeSpace = out.known;
  return st;
}

}  // namespace tarn
