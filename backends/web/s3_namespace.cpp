// Namespace operations on an object store: whole-object PUT, exclusive
// create, folder markers, delete, and rename as a server-side copy followed
// by a delete. Objects cannot change in place and keep the store's times.
#include "backends/web/s3_backend.h"
#include "foundation/remote_path.h"

namespace tarn {

Status S3Backend::putObject(const std::string& key, const uint8_t* data, uint64_t length, S3Response& response) {
  S3Request request;
  request.method = "PUT";
  request.key = key;
  request.headers = {{"Content-Type", "application/octet-stream"}};
  if (length != 0) {
    request.body = data;
    request.bodyLength = length;
  }
  if (Status st = execute(request, response); !st.ok()) return st;
  return mapError(response, "PUT", key);
}

Status S3Backend::create(const std::string& path) {
  if (IsRootPath(path)) return Status(Status::kExists, path);
  const std::string key = objectKey(path);
  RemoteAttr attr;
  Status head = headObject(key, attr);
  if (head.ok()) return Status(Status::kExists, path);
  if (head.code != Status::kNotFound) return head;
  S3Response response;
  return putObject(key, nullptr, 0, response);
}

Status S3Backend::mkdir(const std::string& path) {
  if (IsRootPath(path)) return Status(Status::kExists, path);
  S3Response response;
  return putObject(objectKey(path) + "/", nullptr, 0, response);
}

Status S3Backend::remove(const std::string& path, bool isDir) {
  if (IsRootPath(path)) return Status(Status::kInvalid, "cannot remove the mount root");
  std::string key = objectKey(path);
  if (isDir) {
    // Only the marker is ever deleted: a folder that lives through the keys
    // below it is never empty.
    key += "/";
    S3ListPage page;
    if (Status st = listObjects(key, false, 2, "", page); !st.ok()) return st;
    if (page.objects.empty()) return Status(Status::kNotFound, path);
    for (const S3Object& object : page.objects)
      if (object.key != key) return Status(Status::kNotEmpty, path);
  }
  S3Request request;
  request.method = "DELETE";
  request.key = key;
  S3Response response;
  if (Status st = execute(request, response); !st.ok()) return st;
  return mapError(response, "DELETE", key);
}

Status S3Backend::rename(const std::string& from, const std::string& to, bool overwrite) {
  if (IsRootPath(from) || IsRootPath(to)) return Status(Status::kInvalid, "cannot rename the mount root");
  if (from == to) return Status();
  const std::string source = objectKey(from);
  const std::string target = objectKey(to);

  RemoteAttr attr;
  Status head = headObject(source, attr);
  if (head.code == Status::kNotFound) {
    S3ListPage page;
    if (Status st = listObjects(source + "/", false, 1, "", page); !st.ok()) return st;
    if (page.objects.empty()) return head;
    return Status(Status::kUnsupported, "S3 cannot rename a directory");
  }
  if (!head.ok()) return head;
  if (attr.size > kS3MaxCopyBytes) return Status(Status::kTooLarge, "S3 copies at most 5 GiB in one request");

  if (!overwrite) {
    RemoteAttr existing;
    Status st = headObject(target, existing);
    if (st.ok()) return Status(Status::kExists, to);
    if (st.code != Status::kNotFound) return st;
  }

  S3Request copy;
  copy.method = "PUT";
  copy.key = target;
  copy.headers = {{"x-amz-copy-source", "/" + S3UriEncode(endpoint_.bucket, false) + "/" + S3UriEncode(source, false)}};
  S3Response response;
  if (Status st = execute(copy, response); !st.ok()) return st;
  // A copy can fail after its 200 has gone out; the error is then the body.
  if (Status st = mapError(response, "COPY", source); !st.ok()) return st;

  S3Request drop;
  drop.method = "DELETE";
  drop.key = source;
  if (Status st = execute(drop, response); !st.ok()) return st;
  return mapError(response, "DELETE", source);
}

Status S3Backend::setTimes(const std::string&, const Timestamp&, const Timestamp&) {
  return Status(Status::kUnsupported, "S3 keeps its own modification time");
}

Status S3Backend::truncate(const std::string&, uint64_t) { return Status(Status::kUnsupported, "S3 cannot truncate"); }

Status S3Backend::writeAt(const std::string&, uint64_t, const uint8_t*, uint64_t) {
  return Status(Status::kUnsupported, "S3 cannot write at an offset");
}

}  // namespace tarn
