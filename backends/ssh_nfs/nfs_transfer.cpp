// NfsBackend's data path: READ and WRITE in chunks of the server's transfer
// size, with several READs in flight for ranged reads and read streams, and
// the upload stream that writes a temporary file of its own beside the
// target and renames it over on finish.
#include <algorithm>
#include <chrono>
#include <cstring>
#include <deque>

#include "backends/ssh_nfs/nfs_backend.h"
#include "foundation/codec.h"
#include "foundation/error.h"
#include "foundation/hash.h"
#include "foundation/remote_path.h"

namespace tarn {
namespace {

constexpr const char kTempMark[] = ".tarn-part-";
constexpr size_t kTempMarkLength = sizeof(kTempMark) - 1;
constexpr size_t kTempRandomBytes = 8;
constexpr size_t kTempHexDigits = 2 * kTempRandomBytes;
// A new random name is drawn when the server says one is taken.
constexpr int kTempNameAttempts = 4;
constexpr uint32_t kPermissionBits = 07777;
// A ranged read is split so that this many READs cover it, none smaller
// than kMinReadPiece: the server reads one while it sends the other.
// Measured on the test server: three or more were slower than two, as
// were whole-range READs.
constexpr size_t kReadsInFlight = 2;
constexpr uint64_t kMinReadPiece = 64 * 1024;
// How far a read stream stays ahead of its reader; measured the same way.
constexpr size_t kStreamReadsAhead = 2;
constexpr uint32_t kStreamPiece = 512 * 1024;

// The results of a successful READ after its status word. More data than
// asked for would overrun the caller's buffer.
bool DecodeRead(XdrReader& r, uint32_t count, const uint8_t*& data, uint32_t& got, bool& eof) {
  SkipPostOpAttr(r);
  const uint32_t n = r.getU32();
  eof = r.getBool();
  size_t length = 0;
  r.getOpaqueView(count, data, length);
  if (!r.ok() || n != length) return false;
  got = n;
  return true;
}

// A call that ended this way may have been done by the server without this
// side hearing of it.
bool MayBeLeft(const Status& s) {
  return s.code == Status::kNetwork || s.code == Status::kTimeout || s.code == Status::kCanceled;
}

std::string RandomToken() {
  try {
    return vx::HexEncode(vx::RandomBytes(kTempRandomBytes));
  } catch (const vx::Error&) {
    // No system randomness: the clock still tells two uploads apart.
    const uint64_t t = static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
    return vx::HexEncode(&t, sizeof(t));
  }
}

}  // namespace

std::string NfsBackend::UploadTempName(const std::string& name) {
  const std::string token = RandomToken();
  std::string temp = "." + name + kTempMark + token;
  if (temp.size() <= kNfsNameMax) return temp;
  // Too long to decorate: the mark and the token alone.
  return kTempMark + token;
}

bool NfsBackend::IsUploadTempName(const std::string& name) {
  constexpr size_t kTail = kTempMarkLength + kTempHexDigits;
  if (name.size() < kTail || name[0] != '.') return false;
  const std::string_view tail = std::string_view(name).substr(name.size() - kTail);
  return tail.substr(0, kTempMarkLength) == kTempMark &&
         tail.find_first_not_of("0123456789abcdef", kTempMarkLength) == std::string_view::npos;
}

Status NfsBackend::readAt(const NfsHandle& fh, uint64_t offset, uint8_t* buffer, uint32_t count, uint32_t& got,
                          bool& eof, const std::string& step) {
  got = 0;
  eof = false;
  XdrWriter a;
  a.putOpaque(fh);
  a.putU64(offset);
  a.putU32(count);
  RpcRecord reply;
  XdrReader r(nullptr, 0);
  Status s = callNfsOk(kNfsRead, a, step, reply, r);
  if (!s.ok()) return s;
  const uint8_t* data = nullptr;
  if (!DecodeRead(r, count, data, got, eof)) return MalformedReply(step);
  if (got > 0) std::memcpy(buffer, data, got);
  return Status();
}

Status NfsBackend::startRead(const NfsHandle& fh, uint64_t offset, uint32_t count, ReadPiece& piece,
                             const std::string& step) {
  if (!isConnected()) return Status(Status::kNetwork, step + ": not connected");
  XdrWriter a;
  a.putOpaque(fh);
  a.putU64(offset);
  a.putU32(count);
  piece = ReadPiece{offset, count, 0};
  return nfs_.start(kNfsProgram, kNfsVersion, kNfsRead, a, piece.xid, step);
}

Status NfsBackend::finishRead(const NfsHandle& fh, const ReadPiece& piece, RpcRecord& reply,
                              const uint8_t*& data, uint32_t& got, bool& eof, const std::string& step) {
  data = nullptr;
  got = 0;
  eof = false;
  size_t at = 0;
  Status s = nfs_.wait(piece.xid, reply, at, step);
  if (!s.ok()) return s;
  XdrReader r(reply.data() + at, reply.size() - at);
  const uint32_t st = r.getU32();
  if (!r.ok()) return MalformedReply(step);
  if (st == kNfs3ErrJukebox) {
    // Not acted on: read the piece again, waiting between tries.
    reply.resize(piece.count);
    data = reply.data();
    return readAt(fh, piece.offset, reply.data(), piece.count, got, eof, step);
  }
  if (st != kNfs3Ok) return NfsError(st, step);
  return DecodeRead(r, piece.count, data, got, eof) ? Status() : MalformedReply(step);
}

uint32_t NfsBackend::pieceSize(uint64_t length) const {
  const uint64_t share = (length + kReadsInFlight - 1) / kReadsInFlight;
  return static_cast<uint32_t>(std::min<uint64_t>(std::max(share, kMinReadPiece), readChunk_));
}

Status NfsBackend::readPieces(const NfsHandle& fh, uint64_t offset, uint8_t* buffer, uint64_t length, uint64_t& got,
                              std::vector<ReadPiece> started, const std::string& step) {
  got = 0;
  std::deque<ReadPiece> ahead(started.begin(), started.end());
  uint64_t next = ahead.empty() ? offset : ahead.back().offset + ahead.back().count;
  const uint64_t end = offset + length;
  const uint32_t piece = pieceSize(length);
  auto forgetAll = [&] {
    for (const ReadPiece& p : ahead) nfs_.forget(p.xid);
    ahead.clear();
  };
  RpcRecord reply;
  for (;;) {
    while (ahead.size() < kReadsInFlight && next < end) {
      ReadPiece p;
      Status s = startRead(fh, next, static_cast<uint32_t>(std::min<uint64_t>(piece, end - next)), p, step);
      if (!s.ok()) {
        forgetAll();
        return s;
      }
      ahead.push_back(p);
      next += p.count;
    }
    if (ahead.empty()) return Status();
    const ReadPiece p = ahead.front();
    ahead.pop_front();
    const uint8_t* data = nullptr;
    uint32_t n = 0;
    bool eof = false;
    Status s = finishRead(fh, p, reply, data, n, eof, step);
    if (!s.ok()) {
      forgetAll();
      return s;
    }
    if (n > 0) std::memcpy(buffer + (p.offset - offset), data, n);
    got = p.offset - offset + n;
    if (eof || n == 0) {
      // The file ends here; what was asked beyond it is not wanted.
      forgetAll();
      return Status();
    }
    if (n < p.count) {
      // Short of the end: the rest of this piece comes before the others.
      ReadPiece rest;
      s = startRead(fh, p.offset + n, p.count - n, rest, step);
      if (!s.ok()) {
        forgetAll();
        return s;
      }
      ahead.push_front(rest);
    }
  }
}

Status NfsBackend::writeAll(const NfsHandle& fh, uint64_t offset, const uint8_t* data, uint64_t length,
                            uint32_t stable, WriteVerifier& verifier, bool& committedAll,
                            const std::string& step) {
  committedAll = true;
  while (length > 0) {
    const uint32_t count = static_cast<uint32_t>(std::min<uint64_t>(length, writeChunk_));
    XdrWriter a;
    a.putOpaque(fh);
    a.putU64(offset);
    a.putU32(count);
    a.putU32(stable);
    a.putOpaque(data, count);
    RpcRecord reply;
    XdrReader r(nullptr, 0);
    Status s = callNfsOk(kNfsWrite, a, step, reply, r);
    if (!s.ok()) return s;
    SkipWccData(r);
    const uint32_t written = r.getU32();
    const uint32_t committed = r.getU32();
    uint8_t verf[kNfsVerifierSize];
    r.getFixed(verf, sizeof(verf));
    if (!r.ok() || written > count) return MalformedReply(step);
    if (written == 0) return Status(Status::kIo, step + ": server wrote nothing");
    if (committed < kFileSync) {
      committedAll = false;
      if (verifier.known && std::memcmp(verf, verifier.bytes, sizeof(verf)) != 0)
        return Status(Status::kIo, step + ": server restarted during the write");
      std::memcpy(verifier.bytes, verf, sizeof(verf));
      verifier.known = true;
    }
    offset += written;
    data += written;
    length -= written;
  }
  return Status();
}

Status NfsBackend::commit(const NfsHandle& fh, uint8_t* verifier, const std::string& step) {
  XdrWriter a;
  a.putOpaque(fh);
  a.putU64(0);
  a.putU32(0);  // to the end of the file
  RpcRecord reply;
  XdrReader r(nullptr, 0);
  Status s = callNfsOk(kNfsCommit, a, step, reply, r);
  if (!s.ok()) return s;
  SkipWccData(r);
  r.getFixed(verifier, kNfsVerifierSize);
  return r.ok() ? Status() : MalformedReply(step);
}

Status NfsBackend::readRange(const std::string& path, uint64_t offset, uint8_t* buffer, uint64_t length,
                             uint64_t& got) {
  got = 0;
  const std::string step = "read " + path;
  Walk walk;
  Status s = beginWalk(SplitPath(path), walk, step);
  // READ changes nothing, so it may go out on the remembered handle beside
  // the LOOKUPs that confirm it; its data counts only if they do.
  std::vector<ReadPiece> started;
  if (s.ok() && !walk.guess.empty()) {
    const uint32_t piece = pieceSize(length);
    for (uint64_t at = 0; s.ok() && at < length && started.size() < kReadsInFlight; at += piece) {
      ReadPiece p;
      s = startRead(walk.guess, offset + at, static_cast<uint32_t>(std::min<uint64_t>(piece, length - at)), p, step);
      if (s.ok()) started.push_back(p);
    }
  }
  NfsHandle fh;
  RemoteAttr attr;
  bool held = false;
  if (s.ok()) s = endWalk(walk, fh, &attr, held, step);
  if (s.ok() && attr.isDir()) s = Status(Status::kIsDirectory, step + ": is a folder");
  if (!s.ok() || !held) {
    abandonWalk(walk);
    for (const ReadPiece& p : started) nfs_.forget(p.xid);
    started.clear();
    if (!s.ok()) return s;
  }
  return readPieces(fh, offset, buffer, length, got, std::move(started), step);
}

Status NfsBackend::writeAt(const std::string& path, uint64_t offset, const uint8_t* data, uint64_t length) {
  const std::string step = "write " + path;
  if (offset + length < offset) return Status(Status::kInvalid, step + ": range overflows");
  Status s = checkSize(offset + length, step);
  if (!s.ok()) return s;
  NfsHandle fh;
  RemoteAttr attr;
  s = resolve(path, fh, &attr, step);
  if (!s.ok()) return s;
  if (attr.isDir()) return Status(Status::kIsDirectory, step + ": is a folder");
  bool committedAll = true;
  WriteVerifier verifier;
  s = writeAll(fh, offset, data, length, kFileSync, verifier, committedAll, step);
  if (!s.ok() || committedAll) return s;
  uint8_t verf[kNfsVerifierSize];
  s = commit(fh, verf, "commit " + path);
  if (s.ok() && std::memcmp(verf, verifier.bytes, sizeof(verf)) != 0)
    s = Status(Status::kIo, "commit " + path + ": server restarted during the write");
  return s;
}

// Keeps a few READs in flight ahead of its reader and hands out their data
// in order.
class NfsReadStream : public IReadStream {
 public:
  NfsReadStream(NfsBackend* backend, NfsHandle fh, uint64_t offset, std::string path)
      : backend_(backend),
        fh_(std::move(fh)),
        next_(offset),
        piece_(std::min(backend->readChunk_, kStreamPiece)),
        step_("read " + std::move(path)) {}
  ~NfsReadStream() override { close(); }

  Status read(uint8_t* buffer, uint64_t length, uint64_t& got) override {
    got = 0;
    while (got < length) {
      if (left_ > 0) {
        const size_t n = static_cast<size_t>(std::min<uint64_t>(left_, length - got));
        std::memcpy(buffer + got, reply_.data() + at_, n);
        at_ += n;
        left_ -= n;
        got += n;
        continue;
      }
      if (ahead_.empty() && ended_) break;
      Status s = fetch();
      if (!s.ok()) {
        close();
        return s;
      }
    }
    return Status();
  }

  void close() override {
    for (const NfsBackend::ReadPiece& p : ahead_) backend_->nfs_.forget(p.xid);
    ahead_.clear();
    ended_ = true;
    left_ = 0;
  }

 private:
  // Waits for the oldest READ in flight, after sending more up to the window.
  Status fetch() {
    while (!ended_ && ahead_.size() < kStreamReadsAhead) {
      NfsBackend::ReadPiece p;
      Status s = backend_->startRead(fh_, next_, piece_, p, step_);
      if (!s.ok()) return s;
      ahead_.push_back(p);
      next_ += piece_;
    }
    if (ahead_.empty()) return Status();
    const NfsBackend::ReadPiece p = ahead_.front();
    ahead_.pop_front();
    const uint8_t* data = nullptr;
    uint32_t n = 0;
    bool eof = false;
    Status s = backend_->finishRead(fh_, p, reply_, data, n, eof, step_);
    if (!s.ok()) return s;
    at_ = static_cast<size_t>(data - reply_.data());
    left_ = n;
    if (eof || n == 0) {
      // The end: what was asked beyond it is not wanted.
      for (const NfsBackend::ReadPiece& q : ahead_) backend_->nfs_.forget(q.xid);
      ahead_.clear();
      ended_ = true;
    } else if (n < p.count) {
      // Short of the end: the rest of this piece comes before the others.
      NfsBackend::ReadPiece rest;
      s = backend_->startRead(fh_, p.offset + n, p.count - n, rest, step_);
      if (!s.ok()) return s;
      ahead_.push_front(rest);
    }
    return Status();
  }

  NfsBackend* backend_;
  NfsHandle fh_;
  uint64_t next_;  // where the next READ sent starts
  uint32_t piece_;
  std::string step_;
  std::deque<NfsBackend::ReadPiece> ahead_;  // READs in flight, in file order
  RpcRecord reply_;               // the current reply; its data not yet handed out is at_..at_+left_
  size_t at_ = 0;
  size_t left_ = 0;
  bool ended_ = false;  // the end was seen (or the stream closed): no more READs
};

Status NfsBackend::openRead(const std::string& path, uint64_t offset, std::unique_ptr<IReadStream>& out) {
  const std::string step = "read " + path;
  NfsHandle fh;
  RemoteAttr attr;
  Status s = resolve(path, fh, &attr, step);
  if (!s.ok()) return s;
  if (attr.isDir()) return Status(Status::kIsDirectory, step + ": is a folder");
  out = std::make_unique<NfsReadStream>(this, std::move(fh), offset, path);
  return Status();
}

// Fills the temporary file with UNSTABLE writes and one COMMIT at the end;
// the write verifier must stay the same throughout, else the server
// restarted and may have lost what it had not yet committed.
class NfsWriteStream : public IWriteStream {
 public:
  NfsWriteStream(NfsBackend* backend, NfsHandle dir, std::string name, std::string temp, NfsHandle fh, uint64_t size,
                 std::string path)
      : backend_(backend),
        dir_(std::move(dir)),
        name_(std::move(name)),
        temp_(std::move(temp)),
        fh_(std::move(fh)),
        end_(size),
        path_(std::move(path)) {}
  ~NfsWriteStream() override { abort(); }

  Status write(const uint8_t* data, uint64_t length) override {
    if (done_) return Status(Status::kInvalid, "upload " + path_ + ": stream already ended");
    if (!failed_.ok()) return failed_;
    if (length > end_ - pos_ - pending_.size())
      return fail(Status(Status::kInvalid, "upload " + path_ + ": more bytes than announced"));
    const size_t chunk = backend_->writeChunk_;
    if (!pending_.empty()) {
      const size_t take = static_cast<size_t>(std::min<uint64_t>(length, chunk - pending_.size()));
      pending_.insert(pending_.end(), data, data + take);
      data += take;
      length -= take;
      if (pending_.size() < chunk) return Status();
      Status s = flush();
      if (!s.ok()) return s;
    }
    // Whole chunks go straight from the caller's buffer; only the tail waits.
    const uint64_t whole = length - length % chunk;
    if (whole > 0) {
      Status s = send(data, whole);
      if (!s.ok()) return s;
      data += whole;
      length -= whole;
    }
    pending_.assign(data, data + length);
    return Status();
  }

  Status finish(RemoteAttr* out) override {
    if (done_) return Status(Status::kInvalid, "upload " + path_ + ": stream already ended");
    if (!failed_.ok()) return failed_;
    Status s = flush();
    if (!s.ok()) return s;
    if (pos_ != end_)
      return fail(Status(Status::kInvalid, "upload " + path_ + ": ended after " + std::to_string(pos_) + " of " +
                                               std::to_string(end_) + " bytes"));
    if (verifier_.known) {
      uint8_t verf[kNfsVerifierSize];
      s = backend_->commit(fh_, verf, "commit " + path_);
      if (!s.ok()) return fail(s);
      if (std::memcmp(verf, verifier_.bytes, sizeof(verf)) != 0)
        return fail(Status(Status::kIo, "commit " + path_ + ": server restarted during the upload"));
    }
    // Named after the user's file: the temporary is an inner detail.
    const std::string step = "replace " + path_;
    XdrWriter a;
    a.putOpaque(dir_);
    a.putString(temp_);
    a.putOpaque(dir_);
    a.putString(name_);
    RpcRecord reply;
    XdrReader r(nullptr, 0);
    uint32_t st = 0;
    s = backend_->callNfs(kNfsRename, a, step, reply, r, st);
    if (s.ok() && st != kNfs3Ok) s = NfsError(st, step);
    if (!s.ok()) return fail(s);
    done_ = true;
    if (out != nullptr) {
      // The upload is in place; missing attributes do not undo it.
      RemoteAttr attr;
      if (backend_->getattr(fh_, attr, "getattr " + path_).ok()) *out = attr;
    }
    return Status();
  }

  void abort() override {
    if (done_) return;
    done_ = true;
    Status s = backend_->isConnected() ? backend_->removeIn(dir_, temp_, false, "remove " + path_)
                                       : Status(Status::kNetwork, "not connected");
    // Unreachable now, or the removal was cut short: the next connect removes it.
    if (MayBeLeft(s)) backend_->leftovers_.push_back(NfsBackend::Leftover{dir_, temp_});
  }

 private:
  Status fail(Status s) {
    failed_ = s;
    abort();
    return s;
  }

  Status send(const uint8_t* data, uint64_t length) {
    bool committedAll = true;
    Status s = backend_->writeAll(fh_, pos_, data, length, kUnstable, verifier_, committedAll, "write " + path_);
    if (!s.ok()) return fail(s);
    pos_ += length;
    return Status();
  }

  Status flush() {
    if (pending_.empty()) return Status();
    Status s = send(pending_.data(), pending_.size());
    if (s.ok()) pending_.clear();
    return s;
  }

  NfsBackend* backend_;
  NfsHandle dir_;
  std::string name_;
  std::string temp_;
  NfsHandle fh_;
  uint64_t pos_ = 0;
  uint64_t end_;
  std::string path_;
  std::vector<uint8_t> pending_;
  NfsBackend::WriteVerifier verifier_;  // known once the server left a write uncommitted
  bool done_ = false;
  Status failed_;
};

Status NfsBackend::openWrite(const std::string& path, uint64_t offset, uint64_t size,
                             std::unique_ptr<IWriteStream>& out) {
  const std::string step = "upload " + path;
  // Each upload writes a temporary of its own, which no later upload can
  // find again: there is nothing to continue at an offset.
  if (offset != 0) return Status(Status::kInvalid, step + ": uploads start at offset 0");
  Status s = checkSize(size, step);
  if (!s.ok()) return s;
  NfsHandle dir;
  std::string name;
  s = resolveParent(path, dir, name, step);
  if (!s.ok()) return s;
  // Listing the folder once per connection removes what abandoned uploads
  // left in it. Only housekeeping: the upload goes on when it fails.
  if (const std::string folder = NormalizeRemotePath(ParentPath(path)); swept_.count(folder) == 0) {
    std::vector<DirEntry> entries;
    if (!list(folder, entries).ok()) swept_.insert(folder);
  }

  // The replacement keeps the permissions of the copy it replaces.
  NfsSetAttr attr;
  attr.setMode = true;
  attr.mode = kNewFileMode;
  NfsHandle existing;
  RemoteAttr existingAttr;
  s = lookupIn(dir, name, step, existing, &existingAttr);
  if (s.ok()) {
    if (existingAttr.isDir()) return Status(Status::kIsDirectory, step + ": is a folder");
    attr.mode = existingAttr.mode & kPermissionBits;
  } else if (s.code != Status::kNotFound) {
    return s;
  }

  // GUARDED: a name another upload holds is refused, never shared.
  std::string temp;
  NfsHandle fh;
  for (int attempt = 0; attempt < kTempNameAttempts; ++attempt) {
    temp = UploadTempName(name);
    s = createIn(dir, temp, kGuarded, attr, step, fh);
    if (s.code != Status::kExists) break;
  }
  // A create whose answer never came may have made the temporary all the
  // same (a rename that stops the upload cancels it): the next connect,
  // which the cut call makes necessary, removes it.
  if (MayBeLeft(s)) leftovers_.push_back(Leftover{dir, temp});
  if (!s.ok()) return s;
  out = std::make_unique<NfsWriteStream>(this, std::move(dir), name, temp, std::move(fh), size, path);
  return Status();
}

}  // namespace tarn
