#include "backends/ssh_nfs/nfs_backend.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <ctime>
#include <thread>

#include "foundation/log.h"
#include "foundation/remote_path.h"

namespace tarn {
namespace {

constexpr uint32_t kDefaultTransfer = 32 * 1024;
// Larger transfers gain little on a drive whose blocks are far smaller, and
// keep one reply well under the record cap.
constexpr uint32_t kMaxTransfer = 1024 * 1024;
// UMNT is a courtesy to the server's mount list; a dead server must not hold
// up disconnect (which the pool may call under its lock) for long.
constexpr uint32_t kUnmountTimeoutMs = 500;
constexpr uint32_t kReaddirDirCount = 16 * 1024;
constexpr uint32_t kReaddirMaxCount = 64 * 1024;
// Waits after a "try again later" answer: 100, 200, 400 ms, then busy (12).
constexpr uint32_t kJukeboxRetries = 3;
constexpr uint32_t kJukeboxDelayMs = 100;
// A listing beyond this many entries is taken for a server that never ends.
constexpr size_t kMaxListEntries = 1u << 24;

bool UseReservedPort() { return ::geteuid() == 0; }

// The server's maximum, or its preference when it names no maximum.
uint32_t ChooseTransfer(uint32_t max, uint32_t pref) {
  const uint32_t v = max != 0 ? max : (pref != 0 ? pref : kDefaultTransfer);
  return std::min(v, kMaxTransfer);
}

}  // namespace

NfsBackend::NfsBackend(const EndpointConfig& config) : config_(config) {
  // Beyond the interface's defaults; the largest file comes from FSINFO.
  caps_.randomWrite = true;
  caps_.resumableUpload = true;
  caps_.atomicReplace = true;
  caps_.truncate = true;
  caps_.setMtime = true;
  caps_.freeSpace = true;
  caps_.maxNameBytes = kNfsNameMax;
  caps_.maxPathBytes = kNfsPathMax;
  caps_.server = "nfs";
}

NfsBackend::~NfsBackend() { disconnect(); }

std::unique_ptr<IBackend> MakeNfsBackend(const EndpointConfig& config) { return std::make_unique<NfsBackend>(config); }

bool NfsBackend::isConnected() const { return connected_ && nfs_.isOpen(); }

Status NfsBackend::mountExport() {
  RpcConnection m;
  m.setCancelToken(cancel_);
  Status s = m.open(config_.host, mountPort_, config_.connectTimeoutMs, config_.ioTimeoutMs, UseReservedPort());
  if (!s.ok()) {
    s.message = "mount: " + s.message;
    return s;
  }
  m.setAuth(RpcAuthUnix{options_.uid, options_.gid, "tarn"});
  XdrWriter args;
  args.putString(exportPath_);
  RpcRecord reply;
  size_t at = 0;
  const std::string step = "mount " + exportPath_;
  s = m.call(kMountProgram, kMountVersion, kMountMnt, args, reply, at, step);
  if (!s.ok()) return s;
  XdrReader r(reply.data() + at, reply.size() - at);
  uint32_t status = 0;
  NfsHandle fh;
  bool unixAllowed = false;
  if (!DecodeMountReply(r, status, fh, unixAllowed)) return MalformedReply(step);
  if (status != 0) return MountError(status, step);
  if (!unixAllowed) return Status(Status::kAuthFailed, step + ": the export does not accept AUTH_UNIX");
  root_ = std::move(fh);
  return Status();
}

void NfsBackend::unmountExport() {
  RpcConnection m;
  const uint32_t connectMs = std::min(config_.connectTimeoutMs == 0 ? kUnmountTimeoutMs : config_.connectTimeoutMs,
                                      kUnmountTimeoutMs);
  if (!m.open(config_.host, mountPort_, connectMs, kUnmountTimeoutMs, UseReservedPort()).ok()) return;
  m.setAuth(RpcAuthUnix{options_.uid, options_.gid, "tarn"});
  XdrWriter args;
  args.putString(exportPath_);
  RpcRecord reply;
  size_t at = 0;
  m.call(kMountProgram, kMountVersion, kMountUmnt, args, reply, at, "unmount " + exportPath_);
}

Status NfsBackend::connect() {
  disconnect();
  readdirPlus_ = true;
  handles_.clear();
  swept_.clear();
  Status s = ParseNfsOptions(config_.extra, ::geteuid(), ::getegid(), options_);
  if (!s.ok()) return s;
  if (config_.host.empty()) return Status(Status::kInvalid, "nfs: no server name");
  // The export is named as the server lists it: one leading "/", no trailing one.
  exportPath_ = config_.root;
  while (exportPath_.size() > 1 && exportPath_.back() == '/') exportPath_.pop_back();
  if (exportPath_.empty() || exportPath_.front() != '/') exportPath_.insert(exportPath_.begin(), '/');
  if (exportPath_.size() > kMountPathMax) return Status(Status::kInvalid, "nfs: export path too long");

  mountPort_ = options_.mountPort;
  if (mountPort_ == 0) {
    s = PortmapGetPort(config_.host, kPortmapPort, kMountProgram, kMountVersion, config_.connectTimeoutMs,
                       config_.ioTimeoutMs, mountPort_);
    if (!s.ok()) return s;
  }
  uint32_t nfsPort = options_.nfsPort != 0 ? options_.nfsPort : config_.port;
  if (nfsPort == 0) {
    s = PortmapGetPort(config_.host, kPortmapPort, kNfsProgram, kNfsVersion, config_.connectTimeoutMs,
                       config_.ioTimeoutMs, nfsPort);
    if (!s.ok()) return s;
  }
  s = mountExport();
  if (!s.ok()) return s;

  s = nfs_.open(config_.host, nfsPort, config_.connectTimeoutMs, config_.ioTimeoutMs, UseReservedPort());
  if (!s.ok()) {
    s.message = "nfs: " + s.message;
    return s;
  }
  nfs_.setAuth(RpcAuthUnix{options_.uid, options_.gid, "tarn"});
  connected_ = true;
  RemoteAttr rootAttr;
  s = getattr(root_, rootAttr, "getattr " + exportPath_);
  if (s.ok() && !rootAttr.isDir())
    s = Status(Status::kNotDirectory, "getattr " + exportPath_ + ": the export root is not a folder");
  if (s.ok()) s = fsinfo();
  if (!s.ok()) {
    disconnect();
    return s;
  }
  removeLeftovers();
  return Status();
}

void NfsBackend::removeLeftovers() {
  std::vector<Leftover> left;
  left.swap(leftovers_);
  // Handles outlive connections; one gone stale means the file went too.
  for (const Leftover& l : left) removeIn(l.dir, l.name, false, "remove " + l.name);
}

void NfsBackend::disconnect() {
  const bool healthy = connected_ && nfs_.isOpen();
  nfs_.close();
  if (healthy) unmountExport();
  connected_ = false;
}

Status NfsBackend::ping() {
  if (!isConnected()) return Status(Status::kNetwork, "nfs ping: not connected");
  RpcRecord reply;
  size_t at = 0;
  return nfs_.call(kNfsProgram, kNfsVersion, kNfsNull, XdrWriter(), reply, at, "nfs ping");
}

Status NfsBackend::callNfs(uint32_t proc, const XdrWriter& args, const std::string& step, RpcRecord& reply,
                           XdrReader& r, uint32_t& nfsStatus) {
  for (uint32_t attempt = 0;; ++attempt) {
    if (!isConnected()) return Status(Status::kNetwork, step + ": not connected");
    size_t at = 0;
    Status s = nfs_.call(kNfsProgram, kNfsVersion, proc, args, reply, at, step);
    if (!s.ok()) return s;
    r = XdrReader(reply.data() + at, reply.size() - at);
    nfsStatus = r.getU32();
    if (!r.ok()) return MalformedReply(step);
    // "Try again later": the server did not act on the call (it is fetching
    // the file from slower storage), so sending it again is safe.
    if (nfsStatus != kNfs3ErrJukebox || attempt >= kJukeboxRetries) return Status();
    std::this_thread::sleep_for(std::chrono::milliseconds(kJukeboxDelayMs << attempt));
  }
}

Status NfsBackend::callNfsOk(uint32_t proc, const XdrWriter& args, const std::string& step,
                             RpcRecord& reply, XdrReader& r) {
  uint32_t st = 0;
  Status s = callNfs(proc, args, step, reply, r, st);
  if (!s.ok()) return s;
  if (st != kNfs3Ok) return NfsError(st, step);
  return Status();
}

Status NfsBackend::getattr(const NfsHandle& fh, RemoteAttr& out, const std::string& step) {
  XdrWriter a;
  a.putOpaque(fh);
  RpcRecord reply;
  XdrReader r(nullptr, 0);
  Status s = callNfsOk(kNfsGetattr, a, step, reply, r);
  if (!s.ok()) return s;
  DecodeFattr3(r, out);
  return r.ok() ? checkAttr(out, step) : MalformedReply(step);
}

Status NfsBackend::setattr(const NfsHandle& fh, const NfsSetAttr& attr, const std::string& step) {
  XdrWriter a;
  a.putOpaque(fh);
  EncodeSattr3(a, attr);
  a.putBool(false);  // no guard on ctime
  RpcRecord reply;
  XdrReader r(nullptr, 0);
  uint32_t st = 0;
  Status s = callNfs(kNfsSetattr, a, step, reply, r, st);
  if (!s.ok()) return s;
  return st == kNfs3Ok ? Status() : NfsError(st, step);
}

Status NfsBackend::fsinfo() {
  const std::string step = "fsinfo " + exportPath_;
  XdrWriter a;
  a.putOpaque(root_);
  RpcRecord reply;
  XdrReader r(nullptr, 0);
  Status s = callNfsOk(kNfsFsinfo, a, step, reply, r);
  if (!s.ok()) return s;
  SkipPostOpAttr(r);
  const uint32_t rtmax = r.getU32();
  const uint32_t rtpref = r.getU32();
  r.getU32();  // rtmult
  const uint32_t wtmax = r.getU32();
  const uint32_t wtpref = r.getU32();
  r.getU32();  // wtmult
  r.getU32();  // dtpref
  const uint64_t maxFile = r.getU64();
  if (!r.ok()) return MalformedReply(step);
  readChunk_ = ChooseTransfer(rtmax, rtpref);
  writeChunk_ = ChooseTransfer(wtmax, wtpref);
  // Servers commonly name the largest offset their protocol can carry; the
  // system takes no file beyond its own bound.
  caps_.maxFileBytes = maxFile == 0 ? kMaxRemoteFileBytes : std::min(maxFile, kMaxRemoteFileBytes);
  return Status();
}

Status NfsBackend::checkSize(uint64_t end, const std::string& step) const {
  if (caps_.maxFileBytes != 0 && end > caps_.maxFileBytes)
    return Status(Status::kTooLarge, step + ": beyond the server's largest file size");
  return Status();
}

Status NfsBackend::stat(const std::string& path, RemoteAttr& out) {
  NfsHandle fh;
  return resolve(path, fh, &out, "stat " + path);
}

Status NfsBackend::list(const std::string& path, std::vector<DirEntry>& out) {
  return listFolder(path, out, nullptr);
}

Status NfsBackend::listWithLeftovers(const std::string& path, std::vector<DirEntry>& out,
                                     std::vector<DirEntry>& leftovers) {
  return listFolder(path, out, &leftovers);
}

Status NfsBackend::listFolder(const std::string& path, std::vector<DirEntry>& out, std::vector<DirEntry>* leftovers) {
  out.clear();
  if (leftovers != nullptr) leftovers->clear();
  std::vector<NfsDirEntryPlus> temps;
  const std::string step = "readdirplus " + path;
  NfsHandle dir;
  RemoteAttr dirAttr;
  Status s = resolve(path, dir, &dirAttr, step);
  if (!s.ok()) return s;
  if (!dirAttr.isDir()) return Status(Status::kNotDirectory, step + ": not a folder");

  uint64_t cookie = 0;
  uint8_t verf[kNfsVerifierSize] = {};
  bool restarted = false;
  for (;;) {
    XdrWriter a;
    a.putOpaque(dir);
    a.putU64(cookie);
    a.putFixed(verf, sizeof(verf));
    if (readdirPlus_) a.putU32(kReaddirDirCount);
    a.putU32(kReaddirMaxCount);
    RpcRecord reply;
    XdrReader r(nullptr, 0);
    uint32_t st = 0;
    s = callNfs(readdirPlus_ ? kNfsReaddirplus : kNfsReaddir, a, step, reply, r, st);
    if (!s.ok()) return s;
    if (st == kNfs3ErrNotsupp && readdirPlus_ && cookie == 0) {
      // READDIRPLUS is optional; list by names and look each one up.
      readdirPlus_ = false;
      continue;
    }
    if (st == kNfs3ErrBadCookie && !restarted) {
      // The folder changed under our cookie: list it again from the start.
      restarted = true;
      out.clear();
      temps.clear();
      cookie = 0;
      std::memset(verf, 0, sizeof(verf));
      continue;
    }
    if (st != kNfs3Ok) return NfsError(st, step);
    std::vector<NfsDirEntryPlus> page;
    bool eof = false;
    const bool decoded = readdirPlus_ ? DecodeReaddirplusPage(r, page, verf, eof, kMaxListEntries)
                                      : DecodeReaddirPage(r, page, verf, eof, kMaxListEntries);
    if (!decoded) return MalformedReply(step);
    for (NfsDirEntryPlus& e : page) {
      cookie = e.cookie;
      if (IsUploadTempName(e.name)) {
        temps.push_back(std::move(e));
        continue;
      }
      if (e.name.empty() || e.name == "." || e.name == "..") continue;
      if (!e.hasAttr) {
        s = e.fh.empty() ? lookupIn(dir, e.name, step, e.fh, &e.attr) : getattr(e.fh, e.attr, step);
        // An entry removed since the listing began is simply not listed.
        if (s.code == Status::kNotFound) continue;
        if (!s.ok()) return s;
      } else {
        s = checkAttr(e.attr, "readdirplus " + JoinRemotePath(path, e.name));
        if (!s.ok()) return s;
      }
      if (out.size() >= kMaxListEntries) return Status(Status::kProtocol, step + ": listing does not end");
      out.push_back(DirEntry{std::move(e.name), std::move(e.attr)});
    }
    if (eof) break;
    if (page.empty()) return Status(Status::kProtocol, step + ": empty page before the end of the listing");
  }
  removeStaleTemps(dir, path, temps);
  if (leftovers != nullptr)
    for (NfsDirEntryPlus& t : temps) leftovers->push_back(DirEntry{std::move(t.name), std::move(t.attr)});
  return Status();
}

void NfsBackend::removeStaleTemps(const NfsHandle& dir, const std::string& path,
                                  std::vector<NfsDirEntryPlus>& temps) {
  swept_.insert(NormalizeRemotePath(path));
  const int64_t now = int64_t(std::time(nullptr));
  std::erase_if(temps, [&](NfsDirEntryPlus& t) {
    // One gone since the listing began is simply not there.
    if (!t.hasAttr && !lookupIn(dir, t.name, "lookup " + t.name, t.fh, &t.attr).ok()) return true;
    // No upload writes for an hour without failing on its time-out: its
    // client is gone.
    if (t.attr.mtime.seconds + kStaleUploadSeconds >= now) return false;
    const std::string full = JoinRemotePath(path, t.name);
    if (!removeIn(dir, t.name, false, "remove " + full).ok()) return false;
    vx::log::write(vx::log::kInfo, "nfs: removed the abandoned upload temporary %s", full.c_str());
    return true;
  });
}

Status NfsBackend::statfs(FsStats& out) {
  out = FsStats{};
  const std::string step = "fsstat " + exportPath_;
  XdrWriter a;
  a.putOpaque(root_);
  RpcRecord reply;
  XdrReader r(nullptr, 0);
  Status s = callNfsOk(kNfsFsstat, a, step, reply, r);
  if (!s.ok()) return s;
  SkipPostOpAttr(r);
  const uint64_t total = r.getU64();
  const uint64_t free = r.getU64();
  const uint64_t avail = r.getU64();
  if (!r.ok()) return MalformedReply(step);
  out.total = total;
  out.free = free;
  out.available = avail;
  out.known = true;
  return Status();
}

Status NfsBackend::createIn(const NfsHandle& dir, const std::string& name, uint32_t how, const NfsSetAttr& attr,
                            const std::string& step, NfsHandle& fh) {
  XdrWriter a;
  a.putOpaque(dir);
  a.putString(name);
  a.putU32(how);
  EncodeSattr3(a, attr);
  RpcRecord reply;
  XdrReader r(nullptr, 0);
  Status s = callNfsOk(kNfsCreate, a, step, reply, r);
  if (!s.ok()) return s;
  fh.clear();
  if (r.getBool()) fh = r.getOpaque(kNfsFhMax);
  if (!r.ok()) return MalformedReply(step);
  // The handle is optional in the reply; ask for it when it is missing.
  if (fh.empty()) return lookupIn(dir, name, step, fh, nullptr);
  return Status();
}

Status NfsBackend::create(const std::string& path) {
  const std::string step = "create " + path;
  NfsHandle dir;
  std::string name;
  Status s = resolveParent(path, dir, name, step);
  if (!s.ok()) return s;
  NfsSetAttr attr;
  attr.setMode = true;
  attr.mode = kNewFileMode;
  NfsHandle fh;
  return createIn(dir, name, kGuarded, attr, step, fh);
}

Status NfsBackend::mkdir(const std::string& path) {
  const std::string step = "mkdir " + path;
  NfsHandle dir;
  std::string name;
  Status s = resolveParent(path, dir, name, step);
  if (!s.ok()) return s;
  XdrWriter a;
  a.putOpaque(dir);
  a.putString(name);
  NfsSetAttr attr;
  attr.setMode = true;
  attr.mode = kNewFolderMode;
  EncodeSattr3(a, attr);
  RpcRecord reply;
  XdrReader r(nullptr, 0);
  uint32_t st = 0;
  s = callNfs(kNfsMkdir, a, step, reply, r, st);
  if (!s.ok()) return s;
  return st == kNfs3Ok ? Status() : NfsError(st, step);
}

Status NfsBackend::removeIn(const NfsHandle& dir, const std::string& name, bool isDir, const std::string& step) {
  XdrWriter a;
  a.putOpaque(dir);
  a.putString(name);
  RpcRecord reply;
  XdrReader r(nullptr, 0);
  uint32_t st = 0;
  Status s = callNfs(isDir ? kNfsRmdir : kNfsRemove, a, step, reply, r, st);
  if (!s.ok()) return s;
  return st == kNfs3Ok ? Status() : NfsError(st, step);
}

Status NfsBackend::remove(const std::string& path, bool isDir) {
  const std::string step = (isDir ? "rmdir " : "remove ") + path;
  NfsHandle dir;
  std::string name;
  Status s = resolveParent(path, dir, name, step);
  if (!s.ok()) return s;
  // Servers differ in what REMOVE does to a folder; decide by the type.
  NfsHandle fh;
  RemoteAttr attr;
  s = lookupIn(dir, name, step, fh, &attr);
  if (!s.ok()) return s;
  if (isDir && !attr.isDir()) return Status(Status::kNotDirectory, step + ": not a folder");
  if (!isDir && attr.isDir()) return Status(Status::kIsDirectory, step + ": is a folder");
  forgetHandles(path);
  return removeIn(dir, name, isDir, step);
}

Status NfsBackend::rename(const std::string& from, const std::string& to, bool overwrite) {
  const std::string step = "rename " + from + " to " + to;
  NfsHandle fromDir, toDir;
  std::string fromName, toName;
  Status s = resolveParent(from, fromDir, fromName, step);
  if (s.ok()) s = resolveParent(to, toDir, toName, step);
  if (!s.ok()) return s;
  if (!overwrite) {
    // NFS version 3 has no rename that refuses an existing target; the check
    // and the rename are two calls, so another client may slip in between.
    NfsHandle existing;
    s = lookupIn(toDir, toName, step, existing, nullptr);
    if (s.ok()) {
      NfsHandle source;
      Status same = lookupIn(fromDir, fromName, step, source, nullptr);
      if (!same.ok()) return same;
      if (source != existing) return Status(Status::kExists, step + ": target exists");
    } else if (s.code != Status::kNotFound) {
      return s;
    }
  }
  forgetHandles(from);
  forgetHandles(to);
  XdrWriter a;
  a.putOpaque(fromDir);
  a.putString(fromName);
  a.putOpaque(toDir);
  a.putString(toName);
  RpcRecord reply;
  XdrReader r(nullptr, 0);
  uint32_t st = 0;
  s = callNfs(kNfsRename, a, step, reply, r, st);
  if (!s.ok()) return s;
  return st == kNfs3Ok ? Status() : NfsError(st, step);
}

Status NfsBackend::setTimes(const std::string& path, const Timestamp& mtime, const Timestamp& atime) {
  const std::string step = "setattr " + path;
  NfsHandle fh;
  Status s = resolve(path, fh, nullptr, step);
  if (!s.ok()) return s;
  NfsSetAttr attr;
  attr.setMtime = true;
  attr.mtime = mtime;
  // A zero access time means the caller has none to give.
  attr.setAtime = !atime.isZero();
  attr.atime = atime;
  return setattr(fh, attr, step);
}

Status NfsBackend::truncate(const std::string& path, uint64_t size) {
  const std::string step = "truncate " + path;
  Status s = checkSize(size, step);
  if (!s.ok()) return s;
  NfsHandle fh;
  RemoteAttr attr;
  s = resolve(path, fh, &attr, step);
  if (!s.ok()) return s;
  if (attr.isDir()) return Status(Status::kIsDirectory, step + ": is a folder");
  NfsSetAttr set;
  set.setSize = true;
  set.size = size;
  return setattr(fh, set, step);
}

}  // namespace tarn
