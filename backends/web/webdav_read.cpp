// Reads: ranged GETs for blocks, and a sequential stream that resumes with a
// new ranged GET after the connection dropped. Both notice a server that
// ignores Range and clear rangeRead so the engine switches to streams.
#include <algorithm>
#include <vector>

#include "backends/web/webdav_backend.h"
#include "foundation/log.h"

namespace tarn {

class DavReadStream : public IReadStream {
 public:
  DavReadStream(WebDavBackend* backend, std::string path, uint64_t offset)
      : backend_(backend), path_(std::move(path)), offset_(offset) {}
  ~DavReadStream() override { request_.reset(); }

  Status read(uint8_t* buffer, uint64_t length, uint64_t& got) override;
  void close() override { request_.reset(); }
  bool copy(RemoteAttr& out) const override {
    if (copy_.etag.empty()) return false;
    out = copy_;
    return true;
  }

 private:
  Status open();

  WebDavBackend* backend_;
  std::string path_;
  uint64_t offset_;
  uint64_t skip_ = 0;
  uint64_t owed_ = 0;  // bytes the open 206 still owes by its range
  std::unique_ptr<http::HttpRequest> request_;
  bool eof_ = false;
  RemoteAttr copy_;  // what the last answer named; no etag: nothing
};

namespace {

// Reads and drops up to count body bytes; returns what was dropped.
uint32_t Discard(http::HttpRequest& r, uint64_t count, uint64_t& dropped) {
  std::vector<uint8_t> scratch(static_cast<size_t>(std::min<uint64_t>(count, kDavSkipPieceBytes)));
  dropped = 0;
  size_t n = 0;
  uint32_t err = r.read(scratch.data(), scratch.size(), n);
  dropped = n;
  return err;
}

// A 206 must carry the bytes asked for: a reply for another range would be
// stored as the data at the offset. A missing Content-Range is taken on trust.
Status CheckPartial(const DavResponse& resp, const http::HttpRequest& r, const std::string& path, uint64_t offset) {
  const std::string range = TrimSpace(r.header("Content-Range"));
  if (range.empty()) return Status();
  constexpr std::string_view kUnit = "bytes ";
  uint64_t start = 0;
  const size_t dash = range.find('-');
  if (range.rfind(kUnit, 0) == 0 && dash != std::string::npos &&
      ParseRemoteSize(std::string_view(range).substr(kUnit.size(), dash - kUnit.size()), start) && start == offset)
    return Status();
  return Status(Status::kProtocol, "GET " + path + " -> HTTP 206 for another range (" + range + ")",
                static_cast<int32_t>(resp.status));
}

// How many bytes a 206 says it carries, from its Content-Range; 0 when it
// does not say.
uint64_t PartialSpan(const http::HttpRequest& r) {
  const std::string range = TrimSpace(r.header("Content-Range"));
  const size_t dash = range.find('-');
  const size_t slash = range.find('/');
  uint64_t start = 0, end = 0;
  constexpr std::string_view kUnit = "bytes ";
  if (range.rfind(kUnit, 0) != 0 || dash == std::string::npos || slash == std::string::npos || slash < dash ||
      !ParseRemoteSize(std::string_view(range).substr(kUnit.size(), dash - kUnit.size()), start) ||
      !ParseRemoteSize(std::string_view(range).substr(dash + 1, slash - dash - 1), end) || end < start)
    return 0;
  return end - start + 1;
}

// A 206 whose body ended before the bytes it owes (none at all, or fewer
// than its range says) with no failure of the transfer: the server sent
// what it announced, which is not the range.
bool PartialCameShort(const http::HttpRequest& r, uint64_t asked, uint64_t got) {
  const uint64_t span = PartialSpan(r);
  return got == 0 || (span != 0 && got < std::min(asked, span));
}

// The copy a 206 came from: its entity tag, as a listing gives it, and the
// whole size after the slash of its Content-Range; no etag when either is
// missing ("*" for the size included).
RemoteAttr CopyOfPartial(const DavResponse& resp, const http::HttpRequest& r) {
  RemoteAttr copy;
  const std::string range = TrimSpace(r.header("Content-Range"));
  const size_t slash = range.rfind('/');
  if (resp.etag.empty() || slash == std::string::npos ||
      !ParseRemoteSize(std::string_view(range).substr(slash + 1), copy.size))
    return copy;
  copy.etag = NormalizeEtag(resp.etag);
  return copy;
}

// Any answer to a GET but 200, 206 and 416. Other successes (204 above all)
// carry no file data, and reading them as data would end the file early.
Status UnreadableGet(uint32_t status, const std::string& path) {
  Status mapped = HttpStatusError(status, "GET", path);
  if (!mapped.ok()) return mapped;
  return Status(Status::kProtocol, "GET " + path + " -> HTTP " + std::to_string(status) + " (no file data)",
                static_cast<int32_t>(status));
}

}  // namespace

void WebDavBackend::noteRangeIgnored(const std::string& path, const char* how) {
  if (caps_.rangeRead)
    vx::log::write(vx::log::kWarn, "webdav: the server %s (GET %s); reading whole files", how, path.c_str());
  caps_.rangeRead = false;
}

Status WebDavBackend::readCopy(const std::string& path, const RemoteAttr& copy, uint64_t offset, uint8_t* buffer,
                               uint64_t length, uint64_t& got) {
  got = 0;
  // The answer names the copy it came from. Not by If-Match: servers give a
  // file changed within the current second a weak tag, which never matches.
  Status st = copy.etag.empty() ? Status() : readRange(path, offset, buffer, length, got);
  RemoteAttr named;
  if (copy.etag.empty() || (st.ok() && got != 0 && !lastReadCopy(named))) {
    // Nothing to tell copies by: the base looks before and after.
    return IBackend::readCopy(path, copy, offset, buffer, length, got);
  }
  // A weak tag and the strong one that follows it share their opaque text;
  // the copy itself holds every byte asked for below its size.
  const bool whole = offset >= copy.size || got >= std::min(length, copy.size - offset);
  if (st.ok() && (!whole || (got != 0 && NormalizeEtag(named.etag) != NormalizeEtag(copy.etag))))
    st = Status(Status::kConflict, "GET " + path + ": the server holds another copy now");
  if (st.code == Status::kNotFound) st = Status(Status::kConflict, "GET " + path + ": the file is gone");
  if (!st.ok()) got = 0;
  return st;
}

Status WebDavBackend::readRange(const std::string& path, uint64_t offset, uint8_t* buffer, uint64_t length,
                                uint64_t& got) {
  lastRead_ = RemoteAttr();
  bool cameShort = false;
  Status st = readOnce(path, offset, buffer, length, got, caps_.rangeRead, cameShort);
  if (st.ok() && cameShort) {
    // The whole file then, from its start.
    noteRangeIgnored(path, "answers ranged GETs without their bytes");
    st = readOnce(path, offset, buffer, length, got, false, cameShort);
  }
  return st;
}

Status WebDavBackend::readOnce(const std::string& path, uint64_t offset, uint8_t* buffer, uint64_t length,
                               uint64_t& got, bool ranged, bool& cameShort) {
  got = 0;
  cameShort = false;
  if (length == 0) return Status();
  DavRequest req;
  req.verb = "GET";
  req.path = path;
  if (ranged) req.headers = {"Range: bytes=" + std::to_string(offset) + "-" + std::to_string(offset + length - 1)};
  DavResponse resp;
  std::unique_ptr<http::HttpRequest> r;
  Status st = send(req, resp, &r);
  if (!st.ok()) return st;

  uint64_t skip = 0;
  if (resp.status == 200) {
    if (offset != 0) noteRangeIgnored(path, "ignores Range");
    if (offset > kDavMaxIgnoredRangeSkip) return Status(Status::kUnsupported, "the server ignores Range");
    skip = offset;
  } else if (resp.status == 416) {
    return Status();
  } else if (resp.status != 206) {
    return UnreadableGet(resp.status, path);
  } else if (Status bad = CheckPartial(resp, *r, path, offset); !bad.ok()) {
    return bad;
  }
  const RemoteAttr copy = resp.status == 206 ? CopyOfPartial(resp, *r) : RemoteAttr();
  while (got < length) {
    if (skip > 0) {
      uint64_t dropped = 0;
      if (uint32_t err = Discard(*r, skip, dropped); err != 0) return WinHttpError(err, "GET read", r->failureWords());
      if (dropped == 0) break;
      skip -= dropped;
      continue;
    }
    size_t n = 0;
    if (uint32_t err = r->read(buffer + got, static_cast<size_t>(length - got), n); err != 0)
      return WinHttpError(err, "GET read", r->failureWords());
    if (n == 0) break;
    got += n;
  }
  if (resp.status == 206 && PartialCameShort(*r, length, got)) {
    got = 0;
    cameShort = true;
    return Status();
  }
  // Reading the end of a body that holds exactly the range lets the
  // connection be kept; anything more is left unread and the connection goes.
  if (resp.status == 206 && got == length && resp.hasContentLength && resp.contentLength == length) {
    uint8_t probe = 0;
    size_t n = 0;
    (void)r->read(&probe, 1, n);
  }
  // Named only once the whole body came: a broken one says nothing.
  lastRead_ = copy;
  return Status();
}

bool WebDavBackend::lastReadCopy(RemoteAttr& out) const {
  if (lastRead_.etag.empty()) return false;
  out = lastRead_;
  return true;
}

Status WebDavBackend::openRead(const std::string& path, uint64_t offset, std::unique_ptr<IReadStream>& out) {
  out = std::make_unique<DavReadStream>(this, path, offset);
  return Status();
}

Status DavReadStream::open() {
  DavRequest req;
  req.verb = "GET";
  req.path = path_;
  // Where ranged answers cannot be used, the whole file comes again.
  const bool ranged = offset_ != 0 && backend_->caps_.rangeRead;
  if (ranged) req.headers = {"Range: bytes=" + std::to_string(offset_) + "-"};
  DavResponse resp;
  copy_ = RemoteAttr();
  Status st = backend_->send(req, resp, &request_);
  if (!st.ok()) return st;
  if (resp.status == 416) {
    request_.reset();
    eof_ = true;
    return Status();
  }
  Status bad = resp.status == 206   ? CheckPartial(resp, *request_, path_, offset_)
               : resp.status == 200 ? Status()
                                    : UnreadableGet(resp.status, path_);
  if (!bad.ok()) {
    request_.reset();
    return bad;
  }
  owed_ = 0;
  if (resp.status == 206) {
    copy_ = CopyOfPartial(resp, *request_);
    if (ranged) owed_ = std::max<uint64_t>(PartialSpan(*request_), 1);
  } else if (!resp.etag.empty() && resp.hasContentLength) {
    // A whole body: its length is the copy's size.
    copy_.etag = NormalizeEtag(resp.etag);
    copy_.size = resp.contentLength;
  }
  skip_ = 0;
  if (resp.status == 200 && offset_ > 0) {
    backend_->noteRangeIgnored(path_, "ignores Range");
    skip_ = offset_;
  }
  return Status();
}

Status DavReadStream::read(uint8_t* buffer, uint64_t length, uint64_t& got) {
  got = 0;
  if (length == 0 || eof_) return Status();
  if (!request_) {
    Status st = open();
    if (!st.ok() || eof_) return st;
  }
  while (skip_ > 0) {
    uint64_t dropped = 0;
    if (uint32_t err = Discard(*request_, skip_, dropped); err != 0) {
      const Status failed = WinHttpError(err, "GET read", request_->failureWords());
      request_.reset();
      return failed;
    }
    if (dropped == 0) {
      // The body ended before the position the stream stands at.
      eof_ = true;
      request_.reset();
      return Status();
    }
    skip_ -= dropped;
  }
  size_t n = 0;
  if (uint32_t err = request_->read(buffer, static_cast<size_t>(length), n); err != 0) {
    const Status failed = WinHttpError(err, "GET read", request_->failureWords());
    request_.reset();
    return failed;
  }
  if (n == 0) {
    request_.reset();
    if (owed_ == 0) {
      eof_ = true;
      return Status();
    }
    // A 206 that ended before the bytes its range owed: the whole file
    // again, read up to where the stream stands.
    backend_->noteRangeIgnored(path_, "answers ranged GETs without their bytes");
    return read(buffer, length, got);
  }
  got = n;
  offset_ += n;
  owed_ -= std::min<uint64_t>(owed_, n);
  return Status();
}

}  // namespace tarn
