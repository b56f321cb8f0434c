// Uploads: one streamed PUT per file, or on Nextcloud/ownCloud servers the
// chunked upload into an upload folder that a final MOVE assembles.
//
// Chunks are named by their range and a digest of their bytes, and the upload
// folder by the path and the size, so a retried upload of changed content
// never assembles chunks of an older version; unchanged chunks are found again
// and not resent.
#include <cinttypes>
#include <cstdio>
#include <ctime>
#include <vector>

#include "backends/web/webdav_backend.h"
#include "backends/web/webdav_multistatus.h"
#include "foundation/codec.h"
#include "foundation/error.h"
#include "foundation/hash.h"
#include "foundation/log.h"
#include "foundation/remote_path.h"
#include "engine/clock.h"

namespace tarn {
namespace {

constexpr size_t kDigestHexChars = 16;

std::string ShortDigest(const void* data, size_t size) {
  return vx::HexEncode(vx::Sha256(data, size)).substr(0, kDigestHexChars);
}

std::string ChunkName(uint64_t start, uint64_t end, const std::string& digest) {
  char name[64];
  std::snprintf(name, sizeof name, "%015" PRIu64 "-%015" PRIu64 "-", start, end);
  return name + digest;
}

struct ChunkEntry {
  uint64_t start = 0;
  uint64_t end = 0;
  uint64_t length = 0;
  std::string name;
};

constexpr std::string_view kCreateTempPrefix = ".tarn-create-";
constexpr size_t kCreateTempRandomBytes = 8;

}  // namespace

std::string HiddenTempName(const std::string& path) {
  std::string token;
  try {
    token = vx::HexEncode(vx::RandomBytes(kCreateTempRandomBytes));
  } catch (const vx::Error&) {
    // No system randomness: the clock still tells two work files apart.
    const uint64_t t = static_cast<uint64_t>(SteadyNowMs()) ^ static_cast<uint64_t>(std::time(nullptr)) << 20;
    token = vx::HexEncode(&t, sizeof(t));
  }
  return JoinRemotePath(ParentPath(path), std::string(kCreateTempPrefix) + token);
}

bool IsHiddenTempName(std::string_view name) {
  constexpr size_t kHex = 2 * kCreateTempRandomBytes;
  return name.size() == kCreateTempPrefix.size() + kHex && name.substr(0, kCreateTempPrefix.size()) == kCreateTempPrefix &&
         name.find_first_not_of("0123456789abcdef", kCreateTempPrefix.size()) == std::string_view::npos;
}

class EmptyWriteStream : public IWriteStream {
 public:
  Status write(const uint8_t*, uint64_t length) override {
    if (length == 0) return Status();
    return Status(Status::kInvalid, "empty PUT got data");
  }
  Status finish(RemoteAttr* out) override {
    if (out != nullptr) *out = RemoteAttr{};
    return Status();
  }
  void abort() override {}
};

class DavPutStream : public IWriteStream {
 public:
  // temp: the hidden name the body goes to and finish moves over path; empty
  // when it goes to path itself.
  DavPutStream(WebDavBackend* backend, std::string path, std::string temp, uint64_t size,
               std::unique_ptr<http::HttpRequest> request)
      : backend_(backend), path_(std::move(path)), temp_(std::move(temp)), size_(size), request_(std::move(request)) {}

  Status write(const uint8_t* data, uint64_t length) override {
    if (!request_) return Status(Status::kInvalid, "PUT: stream already finished");
    if (length > size_ - sent_) return Status(Status::kInvalid, "PUT: body longer than announced");
    while (length > 0) {
      size_t piece = static_cast<size_t>(std::min<uint64_t>(length, kDavPutPieceBytes));
      if (uint32_t err = request_->write(data, piece); err != 0) return WinHttpError(err, "PUT write", request_->failureWords());
      sent_ += piece;
      data += piece;
      length -= piece;
    }
    return Status();
  }

  Status finish(RemoteAttr* out) override {
    if (!request_) return Status(Status::kInvalid, "PUT: stream already finished");
    if (sent_ != size_) return Status(Status::kInvalid, "PUT: body shorter than announced");
    if (uint32_t err = request_->receiveResponse(); err != 0) {
      const Status failed = WinHttpError(err, "PUT response", request_->failureWords());
      request_.reset();
      return failed;
    }
    const uint32_t status = request_->status();
    // A body streamed before any challenge cannot be sent again: the scheme
    // asked for serves the next attempt.
    if (status == 401) (void)backend_->takeChallenge(*request_);
    const std::string etag = request_->header("ETag");
    const std::string lastModified = request_->header("Last-Modified");
    (void)DrainBody(*request_, kDavMaxBodyBytes);
    request_.reset();
    Status st = backend_->putError(status, path_);
    if (!st.ok()) return st;
    if (!temp_.empty()) return backend_->moveIntoPlace(temp_, path_, size_, out);
    if (out != nullptr) {
      // What the reply tells, without a look of its own: every caller that
      // needs more looks once after the upload anyway.
      *out = RemoteAttr{};
      out->size = size_;
      out->etag = NormalizeEtag(etag);
      out->mtime = ParseHttpTime(lastModified);
    }
    return Status();
  }

  void abort() override { request_.reset(); }

 private:
  WebDavBackend* backend_;
  std::string path_;
  std::string temp_;
  uint64_t size_;
  uint64_t sent_ = 0;
  std::unique_ptr<http::HttpRequest> request_;
};

Status WebDavBackend::moveIntoPlace(const std::string& temp, const std::string& path, uint64_t size, RemoteAttr* out) {
  // A replacing MOVE would take a folder that stands there with it.
  RemoteAttr there;
  Status st = stat(path, there);
  if (st.ok() && there.isDir()) st = Status(Status::kIsDirectory, "PUT " + path + ": a folder stands there");
  if (st.ok() || st.code == Status::kNotFound) st = move(temp, path, false, true);
  if (!st.ok()) {
    discard(temp);
    if (st.native == 405 || st.native == 501) {
      uploadsAside_ = false;
      vx::log::write(vx::log::kWarn, "webdav: the server refuses to move an upload into place (%s); uploads go "
                     "straight to their file from now on", st.message.c_str());
    }
    return st;
  }
  // The reply named the hidden file's copy; the caller looks if it must.
  if (out != nullptr) {
    *out = RemoteAttr{};
    out->size = size;
  }
  return Status();
}

class NcChunkedStream : public IWriteStream {
 public:
  NcChunkedStream(WebDavBackend* backend, std::string path, uint64_t size, std::string folder,
                  std::vector<ChunkEntry> found)
      : backend_(backend), path_(std::move(path)), size_(size), folder_(std::move(folder)), found_(std::move(found)) {
    buffer_.reserve(kDavChunkBytes);
  }

  Status write(const uint8_t* data, uint64_t length) override {
    if (length > size_ - position_ - buffer_.size())
      return Status(Status::kInvalid, "chunked upload: body longer than announced");
    while (length > 0) {
      size_t room = kDavChunkBytes - buffer_.size();
      size_t take = static_cast<size_t>(std::min<uint64_t>(room, length));
      buffer_.insert(buffer_.end(), data, data + take);
      data += take;
      length -= take;
      if (buffer_.size() == kDavChunkBytes) {
        Status st = sendChunk();
        if (!st.ok()) return st;
      }
    }
    return Status();
  }

  Status finish(RemoteAttr* out) override;
  // The upload folder and its chunks stay for a later upload to resume.
  void abort() override {}

 private:
  Status sendChunk();
  Status waitForAssembly(bool existed, const RemoteAttr& before, RemoteAttr* out);

  WebDavBackend* backend_;
  std::string path_;
  uint64_t size_;
  std::string folder_;
  std::vector<ChunkEntry> found_;  // what the upload folder held when the stream was made
  std::vector<uint8_t> buffer_;
  uint64_t position_ = 0;
};

Status NcChunkedStream::sendChunk() {
  const uint64_t start = position_;
  const uint64_t end = position_ + buffer_.size();
  const std::string name = ChunkName(start, end, ShortDigest(buffer_.data(), buffer_.size()));
  bool present = false;
  for (auto it = found_.begin(); it != found_.end();) {
    if (it->name == name && it->length == end - start) {
      present = true;
      ++it;
      continue;
    }
    if (it->start < end && it->end > start) {
      // A chunk of other content for this range would be assembled too.
      DavRequest del;
      del.verb = "DELETE";
      del.target = folder_ + "/" + it->name;
      DavResponse resp;
      Status st = backend_->send(del, resp);
      if (!st.ok()) return st;
      if (resp.status != 404) {
        st = HttpStatusError(resp.status, "DELETE(chunk)", path_);
        if (!st.ok()) return st;
      }
      it = found_.erase(it);
      continue;
    }
    ++it;
  }
  if (!present) {
    DavRequest put;
    put.verb = "PUT";
    put.target = folder_ + "/" + name;
    put.headers = {"Destination: " + backend_->absoluteUrl(path_)};
    put.body.assign(reinterpret_cast<const char*>(buffer_.data()), buffer_.size());
    DavResponse resp;
    Status st = backend_->send(put, resp);
    if (!st.ok()) return st;
    st = HttpStatusError(resp.status, "PUT(chunk)", path_);
    if (!st.ok()) return st;
    found_.push_back(ChunkEntry{start, end, end - start, name});
  }
  position_ = end;
  buffer_.clear();
  return Status();
}

Status NcChunkedStream::finish(RemoteAttr* out) {
  if (!buffer_.empty()) {
    Status st = sendChunk();
    if (!st.ok()) return st;
  }
  if (position_ != size_) return Status(Status::kInvalid, "chunked upload: body shorter than announced");
  RemoteAttr before;
  const bool existed = backend_->stat(path_, before).ok();

  DavRequest move;
  move.verb = "MOVE";
  move.target = folder_ + "/.file";
  move.headers = {"Destination: " + backend_->absoluteUrl(path_), "Overwrite: T",
                  "OC-Total-Length: " + std::to_string(size_)};
  move.timeoutMs = kDavAssemblyTimeoutMs;
  DavResponse resp;
  Status st = backend_->send(move, resp);
  if (!st.ok()) {
    if (st.code == Status::kNetwork || st.code == Status::kTimeout) return waitForAssembly(existed, before, out);
    return st;
  }
  if (resp.status >= 200 && resp.status <= 299) {
    if (out != nullptr) (void)backend_->stat(path_, *out);
    return Status();
  }
  if (resp.status == 423 || resp.status == 502 || resp.status == 503 || resp.status == 504)
    return waitForAssembly(existed, before, out);
  return HttpStatusError(resp.status, "MOVE(assemble)", path_);
}

Status NcChunkedStream::waitForAssembly(bool existed, const RemoteAttr& before, RemoteAttr* out) {
  const DavAssemblyTiming timing = backend_->assembly_;
  vx::log::write(vx::log::kInfo, "webdav: waiting for the server to assemble %s", path_.c_str());
  const uint64_t deadline = SteadyNowMs() + timing.deadlineMs;
  int misses = 0;
  for (;;) {
    if (SteadyNowMs() >= deadline) return Status(Status::kTimeout, "the server is still assembling the upload");
    if (!backend_->sleepCancellable(timing.pollMs))
      return Status(Status::kCanceled, "canceled while the server assembles the upload");
    DavRequest probe;
    probe.verb = "PROPFIND";
    probe.target = folder_ + "/";
    probe.headers = {"Depth: 0"};
    DavResponse resp;
    Status st = backend_->send(probe, resp);
    if (!st.ok() || resp.status != 404) continue;
    RemoteAttr now;
    if (backend_->stat(path_, now).ok() && now.size == size_ &&
        (!existed || now.etag != before.etag || now.size != before.size)) {
      if (out != nullptr) *out = now;
      return Status();
    }
    if (++misses >= kDavAssemblyMaxMisses) return Status(Status::kProtocol, "the server dropped the assembled upload");
  }
}

Status WebDavBackend::prepareChunkedUpload(const std::string& path, uint64_t size,
                                           std::unique_ptr<IWriteStream>& out) {
  const std::string key = path + '\n' + std::to_string(size);
  const std::string folder = chunkRoot_ + "/tarn-" + ShortDigest(key.data(), key.size());

  DavRequest req;
  req.verb = "PROPFIND";
  req.target = folder + "/";
  req.headers = {"Depth: 1"};
  DavResponse resp;
  std::unique_ptr<http::HttpRequest> r;
  Status st = send(req, resp, &r);
  if (!st.ok()) return st;

  std::vector<ChunkEntry> found;
  if (resp.status == 404) {
    r.reset();
    DavRequest mk;
    mk.verb = "MKCOL";
    mk.target = folder;
    DavResponse made;
    st = send(mk, made);
    if (!st.ok()) return st;
    if (!(made.status >= 200 && made.status <= 299) && made.status != 405)
      return HttpStatusError(made.status, "MKCOL(upload)", path);
  } else if (resp.status == 207) {
    MultistatusReader reader("PROPFIND(upload)", [&found](const XmlNode& response) {
      std::string name = BaseName(NormalizeRemotePath(HrefToRawPath(TrimSpace(response.childText("href")))));
      unsigned long long start = 0, end = 0;
      if (std::sscanf(name.c_str(), "%llu-%llu", &start, &end) != 2) return Status();
      // A chunk whose length cannot be read counts as empty and is sent again.
      const XmlNode* len = response.find("getcontentlength");
      uint64_t length = 0;
      if (len != nullptr && !ParseRemoteSize(TrimSpace(len->text), length)) length = 0;
      found.push_back(ChunkEntry{start, end, length, name});
      return Status();
    });
    // A listing that cannot be read leaves nothing to resume from.
    if (!ReadMultistatus(*r, reader, replyLimits_).ok()) found.clear();
  } else {
    return HttpStatusError(resp.status, "PROPFIND(upload)", path);
  }
  out = std::make_unique<NcChunkedStream>(this, path, size, folder, std::move(found));
  return Status();
}

Status WebDavBackend::openWrite(const std::string& path, uint64_t offset, uint64_t size,
                                std::unique_ptr<IWriteStream>& out) {
  if (offset != 0) return Status(Status::kUnsupported, "WebDAV upload must start at 0");
  if (chunkedUploads_ && size > kDavChunkBytes) return prepareChunkedUpload(path, size, out);
  DavRequest req;
  req.verb = "PUT";
  req.path = path;
  req.headers = {"Content-Type: application/octet-stream"};
  DavResponse resp;
  if (size == 0) {
    Status st = send(req, resp);
    if (!st.ok()) return st;
    st = putError(resp.status, path);
    if (!st.ok()) return st;
    out = std::make_unique<EmptyWriteStream>();
    return Status();
  }
  // A cut body or one that comes slowly is never the file's content for a
  // while: it goes aside first where the server may write it in place.
  const std::string temp = uploadsAside_ ? HiddenTempName(path) : std::string();
  if (!temp.empty()) req.path = temp;
  req.streamLength = size;
  std::unique_ptr<http::HttpRequest> handle;
  Status st = send(req, resp, &handle);
  if (!st.ok()) return st;
  out = std::make_unique<DavPutStream>(this, path, temp, size, std::move(handle));
  return Status();
}

Status WebDavBackend::putError(uint32_t status, const std::string& path) {
  Status st = HttpStatusError(status, "PUT", path);
  // nginx answers a PUT into a missing folder with 500, as it answers a
  // failure of its own.
  RemoteAttr parent;
  if (status == 500 && stat(ParentPath(path), parent).code == Status::kNotFound)
    return Status(Status::kNotFound, st.message + " (parent missing)", st.native);
  return st;
}

WebDavBackend::CreateLeft WebDavBackend::AfterFailedCreate(bool worked, uint32_t status) {
  // A server may fail a COPY or MOVE for some names alone (outside ASCII,
  // say) while its PUT takes them; a lock or a gateway says nothing either.
  for (uint32_t passing : {429u, 502u, 503u, 504u})
    if (status == passing) return CreateLeft::kPut;
  return worked ? CreateLeft::kPut : CreateLeft::kRefused;
}

Status WebDavBackend::create(const std::string& path) {
  if (copyCreates_) {
    CreateLeft left = CreateLeft::kNothing;
    Status st = createByCopy(path, left);
    if (left == CreateLeft::kNothing) return st;
    if (left == CreateLeft::kPut) return createByLook(path);
    copyCreates_ = false;
    vx::log::write(vx::log::kInfo, "webdav: the server refuses COPY (%s); create moves a file of its own",
                   st.message.c_str());
  }
  if (moveCreates_) {
    CreateLeft left = CreateLeft::kNothing;
    Status st = createByMove(path, left);
    if (left == CreateLeft::kNothing) return st;
    if (left == CreateLeft::kRefused) {
      // The server refuses MOVE with Overwrite; this back-end looks first
      // from now on.
      moveCreates_ = false;
      vx::log::write(vx::log::kInfo, "webdav: the server refuses MOVE without overwrite (%s); create looks first",
                     st.message.c_str());
    }
  }
  return createByLook(path);
}

Status WebDavBackend::createByCopy(const std::string& path, CreateLeft& left) {
  // The same step as a MOVE without overwrite (see createByMove), from an
  // empty file that stays for the next create: one request a file.
  left = CreateLeft::kNothing;
  DavResponse resp;
  for (int attempt = 0;; ++attempt) {
    // nginx and lighttpd give a copy the source's times: the source is
    // written again once a second, so that a new file is dated by the
    // second it was made in.
    const auto second = static_cast<int64_t>(std::time(nullptr));
    if (emptySource_.empty() || second != emptySourceSecond_) {
      const bool first = emptySource_.empty();
      const std::string source = first ? HiddenTempName("/") : emptySource_;
      DavRequest put;
      put.verb = "PUT";
      put.path = source;
      put.headers = {"Content-Type: application/octet-stream"};
      Status st = send(put, resp);
      if (!st.ok()) return st;
      st = HttpStatusError(resp.status, "PUT", source);
      // A root this account cannot write: the hidden file goes beside each
      // target instead.
      if (first && !st.ok() && st.code != Status::kNetwork && st.code != Status::kBusy) left = CreateLeft::kRefused;
      if (!st.ok()) return st;
      emptySource_ = source;
      emptySourceSecond_ = second;
    }
    if (!copyChecked_) {
      bool keeps = true;
      if (Status st = checkKeepsTargets("COPY", emptySource_, "/", keeps); !st.ok()) return st;
      copyChecked_ = true;
      if (!keeps) {
        // No create copies it any more.
        discard(emptySource_);
        emptySource_.clear();
        left = CreateLeft::kPut;
        return Status();
      }
    }
    DavRequest copy;
    copy.verb = "COPY";
    copy.path = emptySource_;
    copy.headers = {"Destination: " + absoluteUrl(path), "Overwrite: F"};
    Status st = send(copy, resp);
    // Some servers refuse a target that stands there with a 412 inside a 207.
    if (st.ok()) st = TakeMultistatusOutcome(resp, "COPY", path);
    if (!st.ok()) return st;
    if (resp.status >= 200 && resp.status <= 299) {
      copyMade_ = true;
      return madeWithoutOverwrite("COPY", resp.status, path, emptySource_);
    }
    // Listings remove hidden files an hour old, this one too: it is made
    // again once.
    if (resp.status == 404 && attempt == 0) {
      emptySource_.clear();
      continue;
    }
    break;
  }
  const Status failed = HttpStatusError(resp.status, "COPY", path);
  RemoteAttr attr;
  // 409: the target's folder is missing, or (nginx) a folder stands at the
  // target.
  if (resp.status == 409 && stat(path, attr).ok())
    return Status(Status::kExists, "COPY " + path + " -> HTTP 409 (target exists)", 409);
  // Answers about the target (there, or its folder missing) or a lock on
  // it say nothing of COPY itself.
  for (uint32_t about : {409u, 412u, 423u})
    if (resp.status == about) return failed;
  if (stat(path, attr).ok())
    return Status(Status::kExists, "COPY " + path + " -> HTTP " + std::to_string(resp.status) + " (target exists)",
                  static_cast<int32_t>(resp.status));
  left = AfterFailedCreate(copyMade_, resp.status);
  if (left == CreateLeft::kPut) return failed;
  // Not a COPY this server makes: its hidden file goes.
  discard(emptySource_);
  emptySource_.clear();
  return failed;
}

Status WebDavBackend::createByMove(const std::string& path, CreateLeft& left) {
  // An empty file under a hidden name beside the target, moved onto it only
  // when nothing stands there: one step on the server, so that no other
  // client's file made meanwhile is ever replaced.
  left = CreateLeft::kNothing;
  const std::string temp = HiddenTempName(path);
  DavRequest put;
  put.verb = "PUT";
  put.path = temp;
  put.headers = {"Content-Type: application/octet-stream"};
  DavResponse resp;
  Status st = send(put, resp);
  if (!st.ok()) return st;
  if (st = HttpStatusError(resp.status, "PUT", path); !st.ok()) return st;

  if (!moveChecked_) {
    bool keeps = true;
    if (st = checkKeepsTargets("MOVE", temp, ParentPath(path), keeps); !st.ok()) return st;
    moveChecked_ = true;
    if (!keeps) {
      left = CreateLeft::kPut;
      return Status();
    }
  }
  DavRequest move;
  move.verb = "MOVE";
  move.path = temp;
  move.headers = {"Destination: " + absoluteUrl(path), "Overwrite: F"};
  st = send(move, resp);
  if (st.ok()) st = TakeMultistatusOutcome(resp, "MOVE", path);
  // A lost connection leaves the hidden file to listings, which skip it
  // and remove it once it is old.
  if (!st.ok()) return st;
  if (resp.status >= 200 && resp.status <= 299) {
    moveMade_ = true;
    return madeWithoutOverwrite("MOVE", resp.status, path, temp);
  }
  discard(temp);
  const Status failed = HttpStatusError(resp.status, "MOVE", path);
  if (resp.status == 412 || resp.status == 423) return failed;
  // Some servers refuse a MOVE onto a file otherwise (409, 403); others do
  // not MOVE this way at all.
  RemoteAttr attr;
  if (stat(path, attr).ok())
    return Status(Status::kExists, "MOVE " + path + " -> HTTP " + std::to_string(resp.status) + " (target exists)",
                  static_cast<int32_t>(resp.status));
  left = AfterFailedCreate(moveMade_, resp.status);
  return failed;
}

void WebDavBackend::discard(const std::string& path) {
  DavRequest del;
  del.verb = "DELETE";
  del.path = path;
  DavResponse gone;
  (void)send(del, gone);
}

Status WebDavBackend::checkKeepsTargets(const char* verb, const std::string& source, const std::string& folder,
                                        bool& keeps) {
  keeps = true;
  const std::string guard = HiddenTempName(JoinRemotePath(folder, "guard"));
  DavRequest put;
  put.verb = "PUT";
  put.path = guard;
  put.headers = {"Content-Type: application/octet-stream"};
  put.body = "x";
  DavResponse resp;
  Status st = send(put, resp);
  if (st.ok()) st = HttpStatusError(resp.status, "PUT", guard);
  if (!st.ok()) return st;
  DavRequest tried;
  tried.verb = verb;
  tried.path = source;
  tried.headers = {"Destination: " + absoluteUrl(guard), "Overwrite: F"};
  st = send(tried, resp);
  if (st.ok()) st = TakeMultistatusOutcome(resp, verb, guard);
  if (!st.ok()) return st;
  discard(guard);
  if (resp.status < 200 || resp.status > 299) return Status();
  keeps = false;
  copyCreates_ = moveCreates_ = false;
  caps_.exclusiveCreate = false;
  vx::log::write(vx::log::kWarn,
                 "webdav: the server replaced a file at the target of a %s without overwrite (HTTP %u); new files "
                 "are made after a look, so a file another client makes in the same moment can still be replaced",
                 verb, resp.status);
  return Status();
}

bool WebDavBackend::wentIntoFolder(uint32_t status, const std::string& path) {
  // Without overwrite no 2xx can mean a replacement: nginx answers 204 for
  // a name it has just made. lighttpd answers 201 for that, and 204 when it
  // put the file into a folder that stands at the target.
  if (status != 204 || noContentCreates_) return false;
  RemoteAttr target;
  if (stat(path, target).ok() && target.isDir()) return true;
  noContentCreates_ = true;
  return false;
}

Status WebDavBackend::madeWithoutOverwrite(const char* verb, uint32_t status, const std::string& path,
                                           const std::string& source) {
  if (!wentIntoFolder(status, path)) return Status();
  discard(JoinRemotePath(path, BaseName(source)));
  return Status(Status::kExists, std::string(verb) + " " + path + " -> HTTP 204 (a folder stands there)", 204);
}

Status WebDavBackend::createByLook(const std::string& path) {
  // Servers that ignore If-None-Match would empty an existing file, so look
  // first; the precondition still guards the moment in between.
  RemoteAttr existing;
  Status st = stat(path, existing);
  if (st.ok()) return Status(Status::kExists, "PUT " + path + ": already exists");
  if (st.code != Status::kNotFound) return st;

  DavRequest req;
  req.verb = "PUT";
  req.path = path;
  req.headers = {"If-None-Match: *", "Content-Type: application/octet-stream"};
  DavResponse resp;
  st = send(req, resp);
  if (!st.ok()) return st;
  // 200 and 204 say an existing file was replaced: one appeared after the
  // look and the server ignored the precondition. Its content is gone; the
  // caller must not take the path as newly made.
  if (resp.status == 200 || resp.status == 204) {
    vx::log::write(vx::log::kWarn, "webdav: PUT %s replaced a file that appeared meanwhile (HTTP %u)", path.c_str(),
                   resp.status);
    return Status(Status::kExists, "PUT " + path + " -> HTTP " + std::to_string(resp.status) +
                                       " (an existing file was replaced)", static_cast<int32_t>(resp.status));
  }
  return HttpStatusError(resp.status, "PUT", path);
}

}  // namespace tarn
