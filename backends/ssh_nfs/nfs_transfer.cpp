// NfsBackend's data path: READ and WRITE in chunks of the server's transfer
// size, the sequential read stream and the upload stream that writes a
// temporary file beside the target and renames it over on finish.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "backends/ssh_nfs/nfs_backend.h"
#include "foundation/remote_path.h"

namespace tarn {
namespace {

constexpr const char* kTempSuffix = ".tarn-part";
constexpr const char* kTempHashedPrefix = ".tarn-part-";
constexpr uint64_t kFnvOffset = 0xcbf29ce484222325ull;
constexpr uint64_t kFnvPrime = 0x100000001b3ull;
constexpr uint32_t kPermissionBits = 07777;

}  // namespace

std::string NfsBackend::UploadTempName(const std::string& name) {
  std::string temp = "." + name + kTempSuffix;
  if (temp.size() <= kNfsNameMax) return temp;
  // Too long to decorate: a fixed-length name derived from the target's.
  uint64_t h = kFnvOffset;
  for (unsigned char c : name) h = (h ^ c) * kFnvPrime;
  char hex[17];
  std::snprintf(hex, sizeof(hex), "%016llx", static_cast<unsigned long long>(h));
  return std::string(kTempHashedPrefix) + hex;
}

Status NfsBackend::readAt(const NfsHandle& fh, uint64_t offset, uint8_t* buffer, uint32_t count, uint32_t& got,
                          bool& eof, const std::string& step) {
  got = 0;
  eof = false;
  XdrWriter a;
  a.putOpaque(fh);
  a.putU64(offset);
  a.putU32(count);
  std::vector<uint8_t> reply;
  XdrReader r(nullptr, 0);
  Status s = callNfsOk(kNfsRead, a, step, reply, r);
  if (!s.ok()) return s;
  SkipPostOpAttr(r);
  const uint32_t n = r.getU32();
  eof = r.getBool();
  const uint8_t* data = nullptr;
  size_t length = 0;
  // More than we asked for would overrun the caller's buffer.
  r.getOpaqueView(count, data, length);
  if (!r.ok() || n != length) return MalformedReply(step);
  if (length > 0) std::memcpy(buffer, data, length);
  got = static_cast<uint32_t>(length);
  return Status();
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
    std::vector<uint8_t> reply;
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
  std::vector<uint8_t> reply;
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
  NfsHandle fh;
  RemoteAttr attr;
  Status s = resolve(path, fh, &attr, step);
  if (!s.ok()) return s;
  if (attr.isDir()) return Status(Status::kIsDirectory, step + ": is a folder");
  while (got < length) {
    const uint32_t want = static_cast<uint32_t>(std::min<uint64_t>(length - got, readChunk_));
    uint32_t n = 0;
    bool eof = false;
    s = readAt(fh, offset + got, buffer + got, want, n, eof, step);
    if (!s.ok()) return s;
    got += n;
    if (eof || n == 0) break;
  }
  return Status();
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

class NfsReadStream : public IReadStream {
 public:
  NfsReadStream(NfsBackend* backend, NfsHandle fh, uint64_t offset, std::string path)
      : backend_(backend), fh_(std::move(fh)), pos_(offset), step_("read " + path) {}

  Status read(uint8_t* buffer, uint64_t length, uint64_t& got) override {
    got = 0;
    if (done_ || length == 0) return Status();
    const uint32_t want = static_cast<uint32_t>(std::min<uint64_t>(length, backend_->readChunk_));
    uint32_t n = 0;
    bool eof = false;
    Status s = backend_->readAt(fh_, pos_, buffer, want, n, eof, step_);
    if (!s.ok()) return s;
    pos_ += n;
    got = n;
    if (eof || n == 0) done_ = true;
    return Status();
  }
  void close() override { done_ = true; }

 private:
  NfsBackend* backend_;
  NfsHandle fh_;
  uint64_t pos_;
  std::string step_;
  bool done_ = false;
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
  NfsWriteStream(NfsBackend* backend, NfsHandle dir, std::string name, std::string temp, NfsHandle fh,
                 uint64_t offset, uint64_t size, std::string path)
      : backend_(backend),
        dir_(std::move(dir)),
        name_(std::move(name)),
        temp_(std::move(temp)),
        fh_(std::move(fh)),
        pos_(offset),
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
    const std::string step = "rename " + temp_ + " to " + name_;
    XdrWriter a;
    a.putOpaque(dir_);
    a.putString(temp_);
    a.putOpaque(dir_);
    a.putString(name_);
    std::vector<uint8_t> reply;
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
    if (backend_->isConnected()) backend_->removeIn(dir_, temp_, false, "remove " + temp_);
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
  uint64_t pos_;
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
  if (offset > size) return Status(Status::kInvalid, step + ": start beyond the size");
  Status s = checkSize(size, step);
  if (!s.ok()) return s;
  NfsHandle dir;
  std::string name;
  s = resolveParent(path, dir, name, step);
  if (!s.ok()) return s;
  const std::string temp = UploadTempName(name);

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

  NfsHandle fh;
  if (offset == 0) {
    attr.setSize = true;
    attr.size = 0;
    s = createIn(dir, temp, kUnchecked, attr, step, fh);
    if (!s.ok()) return s;
  } else {
    // Resuming: what an earlier upload left in the temporary file up to
    // offset is kept, anything after it dropped.
    RemoteAttr tempAttr;
    s = lookupIn(dir, temp, step, fh, &tempAttr);
    if (s.code == Status::kNotFound || (s.ok() && (tempAttr.isDir() || tempAttr.size < offset)))
      return Status(Status::kInvalid, step + ": no partial upload to resume at " + std::to_string(offset));
    if (!s.ok()) return s;
    NfsSetAttr cut;
    cut.setSize = true;
    cut.size = offset;
    s = setattr(fh, cut, step);
    if (!s.ok()) return s;
  }
  out = std::make_unique<NfsWriteStream>(this, std::move(dir), name, temp, std::move(fh), offset, size, path);
  return Status();
}

}  // namespace tarn
