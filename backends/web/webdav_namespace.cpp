// Namespace operations: one request each, answers mapped by HttpStatusError.

#include "backends/web/webdav_backend.h"
#include "backends/web/webdav_multistatus.h"
#include "foundation/remote_path.h"

namespace tarn {
namespace {

// True when a propstat that holds the modification time says 2xx.
bool MtimeAccepted(const XmlNode& response) {
  for (const XmlNode* ps : response.childrenNamed("propstat")) {
    const XmlNode* prop = ps->child("prop");
    uint32_t code = StatusLineCode(ps->childText("status"));
    if (prop != nullptr && prop->child("lastmodified") != nullptr && code >= 200 && code <= 299) return true;
  }
  return false;
}

Status Simple(WebDavBackend& b, const std::string& verb, const std::string& path, bool folder,
              std::vector<std::string> headers = {}) {
  DavRequest req;
  req.verb = verb;
  req.path = path;
  req.folder = folder;
  req.headers = std::move(headers);
  DavResponse resp;
  Status st = b.send(req, resp);
  // A 207 tells how each member went: a failure there fails the call.
  if (st.ok()) st = TakeMultistatusOutcome(resp, verb, path);
  if (!st.ok()) return st;
  return HttpStatusError(resp.status, verb, path);
}

}  // namespace

Status WebDavBackend::mkdir(const std::string& path) {
  // Some servers answer MKCOL of an existing folder with 201: look first.
  RemoteAttr existing;
  Status st = stat(path, existing);
  if (st.ok()) return Status(Status::kExists, "MKCOL " + path + ": already exists");
  if (st.code != Status::kNotFound) return st;
  return Simple(*this, "MKCOL", path, true);
}

Status WebDavBackend::remove(const std::string& path, bool isDir) {
  // A server deletes a folder with everything in it: what another client
  // put there since this side last looked would go too.
  if (isDir) {
    if (Status st = checkEmptyFolder("DELETE", path); !st.ok()) return st;
  }
  return Simple(*this, "DELETE", path, isDir);
}

Status WebDavBackend::checkEmptyFolder(const char* verb, const std::string& path) {
  DirListing entries;
  Status st = listPacked(path, entries);
  if (!st.ok()) return st;
  if (entries.count() == 0) return Status();
  return Status(Status::kNotEmpty, std::string(verb) + " " + path + ": the folder is not empty");
}

Status WebDavBackend::rename(const std::string& from, const std::string& to, bool overwrite) {
  // A folder moves with the slash on both URLs: some servers refuse a
  // collection URL without it, and Apache with mod_dir answers a folder
  // Destination without it with a 301 that names no place.
  RemoteAttr source;
  Status st = stat(from, source);
  if (!st.ok()) return st;
  const bool folder = source.isDir();
  // A replacing MOVE deletes the whole target first: a folder there goes
  // only as POSIX lets it, empty and for a folder. A name that differs in
  // case alone may find the source itself.
  if (overwrite && !EqualsIgnoreCase(from, to)) {
    RemoteAttr target;
    st = stat(to, target);
    if (st.ok() && target.isDir()) {
      if (!folder) return Status(Status::kIsDirectory, "MOVE " + from + ": a folder stands at " + to);
      if (st = checkEmptyFolder("MOVE", to); !st.ok()) return st;
    } else if (st.ok() && folder) {
      return Status(Status::kNotDirectory, "MOVE " + from + ": a file stands at " + to);
    } else if (!st.ok() && st.code != Status::kNotFound) {
      return st;
    }
  }
  return move(from, to, folder, overwrite);
}

Status WebDavBackend::move(const std::string& from, const std::string& to, bool folder, bool overwrite) {
  DavRequest req;
  req.verb = "MOVE";
  req.path = from;
  req.folder = folder;
  req.headers = {"Destination: " + absoluteUrl(to, folder), overwrite ? "Overwrite: T" : "Overwrite: F"};
  DavResponse resp;
  Status st = send(req, resp);
  if (st.ok()) st = TakeMultistatusOutcome(resp, "MOVE", from);
  if (!st.ok()) return st;
  if (resp.status >= 200 && resp.status <= 299) {
    // lighttpd moves a file into a folder that stands at the destination,
    // whatever Overwrite says: it goes back where it was.
    if (folder || overwrite || !wentIntoFolder(resp.status, to)) return Status();
    (void)move(JoinRemotePath(to, BaseName(from)), from, false, false);
    return Status(Status::kExists, "MOVE " + from + " -> HTTP 204 (a folder stands at the target)", 204);
  }
  // Refusals say little of their reason: rclone answers 403 for a missing
  // source or target folder, Apache 500 for a missing target folder, Apache
  // with mod_dir 301 for a file onto a folder, others 409 for a target in
  // the way. A look at both ends tells.
  const std::string base = "MOVE " + from + " -> HTTP " + std::to_string(resp.status);
  const auto native = static_cast<int32_t>(resp.status);
  RemoteAttr attr;
  if (resp.status != 412 && resp.status != 423 && resp.status < 502) {
    if (stat(from, attr).code == Status::kNotFound)
      return Status(Status::kNotFound, base + " (source missing)", native);
    if (Status target = stat(to, attr); target.ok()) {
      if (!overwrite) return Status(Status::kExists, base + " (target exists)", native);
      if (attr.isDir() != folder)
        return attr.isDir() ? Status(Status::kIsDirectory, base + " (target is a folder)", native)
                            : Status(Status::kNotDirectory, base + " (target is not a folder)", native);
    } else if (target.code == Status::kNotFound && stat(ParentPath(to), attr).code == Status::kNotFound) {
      return Status(Status::kNotFound, base + " (parent missing)", native);
    }
  }
  return HttpStatusError(resp.status, "MOVE", from);
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
  std::unique_ptr<http::HttpRequest> r;
  Status st = send(req, resp, &r);
  if (!st.ok()) return st;
  if (resp.status != 207) return HttpStatusError(resp.status, "PROPPATCH", path);
  bool accepted = false;
  MultistatusReader reader("PROPPATCH", [&accepted](const XmlNode& response) {
    accepted = accepted || MtimeAccepted(response);
    return Status();
  });
  st = ReadMultistatus(*r, reader, replyLimits_);
  if (st.ok() || st.code == Status::kProtocol)
    return accepted && st.ok() ? Status() : Status(Status::kUnsupported, "PROPPATCH refused");
  return st;
}

Status WebDavBackend::writeAt(const std::string&, uint64_t, const uint8_t*, uint64_t) {
  return Status(Status::kUnsupported, "WebDAV cannot write at an offset");
}

Status WebDavBackend::truncate(const std::string&, uint64_t) {
  return Status(Status::kUnsupported, "WebDAV cannot truncate");
}

}  // namespace tarn
