// Everything the back-end learns about remote objects comes from PROPFIND
// with a fixed property list, answered by a multistatus document that is
// read as it streams in.
#include <ctime>

#include "backends/web/webdav_backend.h"
#include "backends/web/webdav_multistatus.h"
#include "foundation/log.h"
#include "foundation/remote_path.h"

namespace tarn {
namespace {

constexpr const char* kPropfindBody =
    "<?xml version=\"1.0\" encoding=\"utf-8\"?><d:propfind xmlns:d=\"DAV:\"><d:prop><d:resourcetype/>"
    "<d:getcontentlength/><d:getlastmodified/><d:getetag/><d:creationdate/><d:quota-available-bytes/>"
    "<d:quota-used-bytes/></d:prop></d:propfind>";

}  // namespace

Status WebDavBackend::propfind(const std::string& path, int depth, DirListing& entries, RemoteAttr* own,
                               FsStats* stats) {
  DavRequest req;
  req.verb = "PROPFIND";
  req.path = path;
  // Only a listing knows that it asks about a folder.
  req.folder = depth == 1;
  req.headers = {"Depth: " + std::to_string(depth), "Content-Type: application/xml; charset=utf-8"};
  req.body = kPropfindBody;
  DavResponse resp;
  std::unique_ptr<http::HttpRequest> r;
  Status st = send(req, resp, &r);
  if (!st.ok()) return st;
  if (resp.status != 207) {
    // A missing path is an everyday answer: its error page is read, so that
    // the connection stays for the next request.
    (void)DrainBody(*r, kDavMaxBodyBytes);
    Status mapped = HttpStatusError(resp.status, "PROPFIND", path);
    // Another success status carries no properties: taking it as an answer
    // would report every path as present with empty attributes.
    if (mapped.ok())
      return Status(Status::kProtocol, "PROPFIND " + path + " -> HTTP " + std::to_string(resp.status) +
                                           " (no multistatus)", static_cast<int32_t>(resp.status));
    return mapped;
  }
  if (caps_.server == "webdav" && !resp.server.empty()) {
    caps_.server = "webdav/" + resp.server;
    // Its DAV module skips dot names when it lists. In front of another
    // server the only cost is a look-up by name now and then.
    if (resp.server.starts_with("nginx")) caps_.listsHiddenNames = false;
    // These write a PUT into a file of their own and put it in place once
    // the body is whole; others may write it into the target as it comes.
    uploadsAside_ = !(resp.server.starts_with("Apache") || resp.server.starts_with("nginx") ||
                      resp.server.starts_with("lighttpd"));
  }

  PropfindReader reader(NormalizeRemotePath(PercentDecode(urlPath(path))), depth, stats != nullptr,
                        replyLimits_.maxListingBytes);
  if (st = ReadMultistatus(*r, reader, replyLimits_); !st.ok()) return st;
  if (reader.skipped() != 0)
    vx::log::write(vx::log::kWarn, "webdav: PROPFIND %s: %s left out, the server describes %s wrongly (%s)",
                   path.c_str(), Counted(reader.skipped(), "entry", "entries").c_str(),
                   reader.skipped() == 1 ? "it" : "them", reader.firstSkipped().c_str());
  entries = std::move(reader.entries());
  entries.shrinkToFit();
  if (own != nullptr && reader.found()) *own = reader.own();
  if (stats != nullptr) *stats = reader.stats();
  if (depth == 0 && own != nullptr && !reader.found()) return Status(Status::kNotFound, path, 0);
  return Status();
}

Status WebDavBackend::propfind(const std::string& path, int depth, std::vector<DirEntry>& entries, RemoteAttr* own,
                               FsStats* stats) {
  DirListing listing;
  Status st = propfind(path, depth, listing, own, stats);
  if (st.ok()) entries = listing.entries();
  return st;
}

Status WebDavBackend::stat(const std::string& path, RemoteAttr& out) {
  DirListing entries;
  return propfind(path, 0, entries, &out, nullptr);
}

Status WebDavBackend::list(const std::string& path, std::vector<DirEntry>& out) {
  DirListing listing;
  Status st = listPacked(path, listing);
  if (st.ok()) out = listing.entries();
  return st;
}

Status WebDavBackend::listPacked(const std::string& path, DirListing& out) {
  // The type "other" marks a folder that had no response of its own.
  RemoteAttr self;
  self.type = RemoteAttr::kOther;
  Status st = propfind(path, 1, out, &self, nullptr);
  if (!st.ok()) return st;
  if (!self.isDir()) return Status(Status::kNotDirectory, path);
  // What a create cut short left is no object of the drive; once it is an
  // hour old its client has given up on it.
  const int64_t stale = int64_t(std::time(nullptr)) - kDavStaleTempSeconds;
  std::vector<std::string> abandoned;
  for (size_t i = 0; i < out.size(); ++i) {
    if (!IsHiddenTempName(out.name(i))) continue;
    if (out.attr(i).mtime.seconds < stale) abandoned.push_back(JoinRemotePath(path, out.name(i)));
    out.remove(i);
  }
  // Listings handed on hold no removed entries.
  if (out.count() != out.size()) out = DirListing(out.entries());
  for (const std::string& temp : abandoned) (void)remove(temp, false);
  return Status();
}

Status WebDavBackend::statfs(FsStats& out) {
  out = FsStats{};
  DirListing entries;
  RemoteAttr root;
  Status st = propfind("/", 0, entries, &root, &out);
  if (st.ok()) caps_.freeSpace = out.known;
  return st;
}

}  // namespace tarn
