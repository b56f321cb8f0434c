// The session (connect, ping), keys of remote paths, HEAD of one object,
// the ListObjectsV2 loop, and stat, list and statfs over them. The store has
// no folders: a folder is a common prefix of keys or a "/" marker object.
#include <cstdio>
#include <set>

#include "backends/web/s3_backend.h"
#include "backends/web/xml.h"
#include "foundation/remote_path.h"

namespace tarn {

std::string DecodeListKey(bool urlEncoded, std::string_view key) {
  if (!urlEncoded) return std::string(key);
  std::string plus(key);
  for (char& c : plus)
    if (c == '+') c = ' ';
  return PercentDecode(plus);
}

Timestamp IsoTimeToTimestamp(const std::string& text) {
  int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
  int64_t seconds = 0;
  if (std::sscanf(text.c_str(), "%d-%d-%dT%d:%d:%d", &y, &mo, &d, &h, &mi, &s) != 6 ||
      !UtcToUnixSeconds(y, mo, d, h, mi, s, seconds))
    return Timestamp{};
  return Timestamp{seconds, 0};
}

std::string S3Backend::objectKey(std::string_view path) const {
  if (IsRootPath(path)) return endpoint_.prefix;
  std::string_view rest = path;
  if (rest.front() == '/') rest.remove_prefix(1);
  return endpoint_.prefix.empty() ? std::string(rest) : endpoint_.prefix + "/" + std::string(rest);
}

std::string S3Backend::folderPrefix(std::string_view path) const {
  std::string key = objectKey(path);
  return key.empty() ? key : key + "/";
}

Status S3Backend::connect() {
  if (endpoint_.bucket.empty()) return Status(Status::kInvalid, "S3: the root must name a bucket: /bucket[/prefix]");
  if (!session_) {
    session_ = std::make_unique<http::HttpConnection>(sessionOptions());
    session_->setCancelCheck([this] { return cancelled(); });
  }
  if (connected_) return Status();
  if (Status st = openConnection(*session_); !st.ok()) return st;
  connected_ = true;
  Status st = ping();
  if (!st.ok()) disconnect();
  return st;
}

void S3Backend::disconnect() {
  if (session_) session_->close();
  connected_ = false;
}

bool S3Backend::isConnected() const { return connected_; }

Status S3Backend::ping() {
  if (!connected_) return Status(Status::kNetwork, "not connected");
  S3ListPage page;
  return listObjects(folderPrefix("/"), true, 1, "", page);
}

Status S3Backend::headObject(const std::string& key, RemoteAttr& out) {
  S3Request request;
  request.method = "HEAD";
  request.key = key;
  S3Response response;
  if (Status st = execute(request, response); !st.ok()) return st;
  if (Status st = mapError(response, "HEAD", key); !st.ok()) return st;
  out = RemoteAttr{};
  out.type = RemoteAttr::kFile;
  out.size = response.hasContentLength ? response.contentLength : 0;
  out.mtime = out.ctime = HttpDateToTimestamp(response.lastModified);
  out.etag = response.etag;
  return Status();
}

Status S3Backend::listObjects(const std::string& prefix, bool useDelimiter, uint32_t maxKeys, const std::string& token,
                              S3ListPage& out) {
  S3Request request;
  request.bucketLevel = true;
  request.query = {{"list-type", "2"}, {"encoding-type", "url"}, {"max-keys", std::to_string(maxKeys)}};
  if (!prefix.empty()) request.query.emplace_back("prefix", prefix);
  if (useDelimiter) request.query.emplace_back("delimiter", "/");
  if (!token.empty()) request.query.emplace_back("continuation-token", token);
  S3Response response;
  if (Status st = execute(request, response); !st.ok()) return st;
  if (Status st = mapError(response, "LIST", prefix); !st.ok()) return st;

  std::unique_ptr<XmlNode> root = ParseXml(response.body);
  if (!root || root->name != "listbucketresult") return Status(Status::kProtocol, "LIST: not a ListBucketResult reply");
  const bool urlEncoded = ToLower(root->childText("encodingtype")) == "url";
  out = S3ListPage{};
  for (const auto& child : root->children) {
    if (child->name == "contents") {
      S3Object object;
      object.key = DecodeListKey(urlEncoded, child->childText("key"));
      const std::string size = child->childText("size");
      if (!ParseRemoteSize(size, object.size))
        return Status(Status::kProtocol, "LIST " + object.key + ": size out of range (" + size + ")");
      object.lastModified = IsoTimeToTimestamp(child->childText("lastmodified"));
      object.etag = NormalizeEtag(child->childText("etag"));
      out.objects.push_back(std::move(object));
    } else if (child->name == "commonprefixes") {
      S3Object object;
      object.key = DecodeListKey(urlEncoded, child->childText("prefix"));
      object.isPrefix = true;
      out.objects.push_back(std::move(object));
    }
  }
  out.truncated = ToLower(root->childText("istruncated")) == "true";
  out.nextToken = root->childText("nextcontinuationtoken");
  if (out.truncated && out.nextToken.empty())
    return Status(Status::kProtocol, "LIST: truncated reply without a continuation token");
  return Status();
}

Status S3Backend::list(const std::string& path, std::vector<DirEntry>& out) {
  out.clear();
  const std::string prefix = folderPrefix(path);
  std::set<std::string> seen;
  bool anyObject = false;
  std::string token;
  for (;;) {
    S3ListPage page;
    if (Status st = listObjects(prefix, true, kS3ListPageKeys, token, page); !st.ok()) return st;
    anyObject = anyObject || !page.objects.empty();
    for (const S3Object& object : page.objects) {
      // Drops the folder's own marker object with everything outside it.
      if (object.key.size() <= prefix.size() || object.key.compare(0, prefix.size(), prefix) != 0) continue;
      DirEntry entry;
      entry.name = object.key.substr(prefix.size());
      if (object.isPrefix) {
        if (!entry.name.empty() && entry.name.back() == '/') entry.name.pop_back();
        entry.attr.type = RemoteAttr::kDirectory;
      } else {
        entry.attr.type = RemoteAttr::kFile;
        entry.attr.size = object.size;
        entry.attr.mtime = entry.attr.ctime = object.lastModified;
        entry.attr.etag = object.etag;
      }
      // A file x and keys below "x/" both name x: the first in reply order wins.
      if (entry.name.empty() || entry.name.find('/') != std::string::npos || !seen.insert(entry.name).second) continue;
      out.push_back(std::move(entry));
    }
    if (!page.truncated) break;
    token = page.nextToken;
  }
  if (anyObject || IsRootPath(path)) return Status();

  RemoteAttr attr;
  Status st = headObject(objectKey(path), attr);
  if (st.ok()) return Status(Status::kNotDirectory, path);
  if (st.code == Status::kNotFound) return Status(Status::kNotFound, path, st.native);
  return st;
}

Status S3Backend::stat(const std::string& path, RemoteAttr& out) {
  if (IsRootPath(path)) {
    if (Status st = ping(); !st.ok()) return st;
    out = RemoteAttr{};
    out.type = RemoteAttr::kDirectory;
    return Status();
  }
  const std::string key = objectKey(path);
  Status head = headObject(key, out);
  if (head.code != Status::kNotFound) return head;

  const std::string marker = key + "/";
  S3ListPage page;
  if (Status st = listObjects(marker, false, 1, "", page); !st.ok()) return st;
  if (page.objects.empty()) return head;
  out = RemoteAttr{};
  out.type = RemoteAttr::kDirectory;
  if (page.objects.front().key == marker) out.mtime = out.ctime = page.objects.front().lastModified;
  return Status();
}

Status S3Backend::statfs(FsStats& out) {
  out = FsStats{};
  return Status();
}

}  // namespace tarn
