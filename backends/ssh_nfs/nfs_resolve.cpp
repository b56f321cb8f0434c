// NfsBackend's path walks: LOOKUP from the root handle, one component after
// another, with the handles of earlier walks used to send all of a path's
// LOOKUPs in one round trip. A remembered handle counts only once the
// server's answer to the LOOKUP of its own name returns the same handle.
#include <algorithm>

#include "backends/ssh_nfs/nfs_backend.h"
#include "foundation/remote_path.h"

namespace tarn {
namespace {

// Enough for the folders and files a drive works in at once; when full the
// memory starts over rather than keep ages per entry.
constexpr size_t kMaxRememberedHandles = 4096;

// The results of a successful LOOKUP after its status word.
bool DecodeLookupOk(XdrReader& r, NfsHandle& fh, RemoteAttr& attr, bool& present) {
  fh = r.getOpaque(kNfsFhMax);
  DecodePostOpAttr(r, attr, present);
  return r.ok() && !fh.empty();
}

Status CheckName(const std::string& name, const std::string& step) {
  // "." and ".." would leave the folder they are looked up in.
  if (name.empty() || name == "." || name == "..") return Status(Status::kInvalid, step + ": bad name component");
  if (name.size() > kNfsNameMax) return Status(Status::kInvalid, step + ": name too long");
  return Status();
}

std::string KeyOf(const std::vector<std::string>& parts, size_t count) {
  std::string key;
  for (size_t i = 0; i < count; ++i) {
    if (i > 0) key += '/';
    key += parts[i];
  }
  return key;
}

}  // namespace

Status NfsBackend::checkAttr(const RemoteAttr& attr, const std::string& step) {
  if (attr.size > kMaxRemoteFileBytes)
    return Status(Status::kProtocol,
                  step + ": the server reports a size of " + std::to_string(attr.size) + " bytes, more than a file can hold");
  return Status();
}

Status NfsBackend::lookupIn(const NfsHandle& dir, const std::string& name, const std::string& step, NfsHandle& fh,
                            RemoteAttr* attr) {
  Status s = CheckName(name, step);
  if (!s.ok()) return s;
  XdrWriter a;
  a.putOpaque(dir);
  a.putString(name);
  RpcRecord reply;
  XdrReader r(nullptr, 0);
  s = callNfsOk(kNfsLookup, a, step, reply, r);
  if (!s.ok()) return s;
  RemoteAttr objAttr;
  bool present = false;
  if (!DecodeLookupOk(r, fh, objAttr, present)) return MalformedReply(step);
  if (attr == nullptr) return Status();
  if (!present) return getattr(fh, *attr, step);
  *attr = objAttr;
  return checkAttr(*attr, step);
}

void NfsBackend::forgetHandles(const std::string& path) {
  const std::vector<std::string> parts = SplitPath(path);
  const std::string key = KeyOf(parts, parts.size());
  if (key.empty()) {
    handles_.clear();
    return;
  }
  const std::string below = key + "/";
  for (auto it = handles_.begin(); it != handles_.end();) {
    if (it->first == key || it->first.compare(0, below.size(), below) == 0) {
      it = handles_.erase(it);
    } else {
      ++it;
    }
  }
}

Status NfsBackend::beginWalk(std::vector<std::string> parts, Walk& walk, const std::string& step) {
  walk = Walk{};
  for (const std::string& p : parts) {
    Status s = CheckName(p, step);
    if (!s.ok()) return s;
  }
  walk.parts = std::move(parts);
  if (handles_.empty()) return Status();
  const NfsHandle* parent = &root_;
  std::string key;
  for (size_t i = 0; i < walk.parts.size(); ++i) {
    if (!isConnected()) return Status(Status::kNetwork, step + ": not connected");
    XdrWriter a;
    a.putOpaque(*parent);
    a.putString(walk.parts[i]);
    uint32_t xid = 0;
    Status s = nfs_.start(kNfsProgram, kNfsVersion, kNfsLookup, a, xid, step);
    if (!s.ok()) return s;
    walk.xids.push_back(xid);
    if (i > 0) key += '/';
    key += walk.parts[i];
    auto it = handles_.find(key);
    if (it == handles_.end()) break;
    parent = &it->second;
    if (i + 1 == walk.parts.size()) walk.guess = it->second;
  }
  return Status();
}

void NfsBackend::abandonWalk(Walk& walk) {
  for (uint32_t xid : walk.xids) nfs_.forget(xid);
  walk.xids.clear();
}

Status NfsBackend::endWalk(Walk& walk, NfsHandle& fh, RemoteAttr* attr, bool& guessHeld, const std::string& step) {
  guessHeld = false;
  const size_t n = walk.parts.size();
  NfsHandle cur = root_;
  size_t done = 0;
  RemoteAttr lastAttr;
  bool lastPresent = false;
  auto remember = [&](size_t count, const NfsHandle& h) {
    if (handles_.size() >= kMaxRememberedHandles) handles_.clear();
    handles_[KeyOf(walk.parts, count)] = h;
  };
  for (size_t i = 0; i < walk.xids.size(); ++i) {
    RpcRecord reply;
    size_t at = 0;
    Status s = nfs_.wait(walk.xids[i], reply, at, step);
    auto dropRest = [&] {
      for (size_t k = i + 1; k < walk.xids.size(); ++k) nfs_.forget(walk.xids[k]);
      walk.xids.clear();
    };
    if (!s.ok()) {
      dropRest();
      return s;
    }
    XdrReader r(reply.data() + at, reply.size() - at);
    const uint32_t st = r.getU32();
    if (!r.ok()) {
      dropRest();
      return MalformedReply(step);
    }
    if (st == kNfs3ErrJukebox) {
      // Not acted on: the walk goes on below, one patient LOOKUP at a time.
      dropRest();
      break;
    }
    if (st != kNfs3Ok) {
      dropRest();
      forgetHandles("/" + KeyOf(walk.parts, i + 1));
      return NfsError(st, step);
    }
    NfsHandle next;
    if (!DecodeLookupOk(r, next, lastAttr, lastPresent)) {
      dropRest();
      return MalformedReply(step);
    }
    // The LOOKUP after this one went out on the remembered handle of this
    // prefix; the server's answer here says whether that was still right.
    const std::string key = KeyOf(walk.parts, i + 1);
    auto it = handles_.find(key);
    const bool held = it != handles_.end() && it->second == next;
    if (!held) forgetHandles("/" + key);
    remember(i + 1, next);
    cur = std::move(next);
    done = i + 1;
    if (held && done == n) guessHeld = !walk.guess.empty();
    if (!held && i + 1 < walk.xids.size()) {
      dropRest();
      break;
    }
  }
  walk.xids.clear();
  for (size_t i = done; i < n; ++i) {
    NfsHandle next;
    const bool last = i + 1 == n;
    Status s = lookupIn(cur, walk.parts[i], step, next, last ? attr : nullptr);
    if (!s.ok()) return s;
    remember(i + 1, next);
    cur = std::move(next);
  }
  if (attr != nullptr && done == n) {
    if (n == 0 || !lastPresent) {
      Status s = getattr(cur, *attr, step);
      if (!s.ok()) return s;
    } else {
      *attr = lastAttr;
      Status s = checkAttr(*attr, step);
      if (!s.ok()) return s;
    }
  }
  fh = std::move(cur);
  return Status();
}

Status NfsBackend::resolve(const std::string& path, NfsHandle& fh, RemoteAttr* attr, const std::string& step) {
  Walk walk;
  Status s = beginWalk(SplitPath(path), walk, step);
  bool held = false;
  if (s.ok()) s = endWalk(walk, fh, attr, held, step);
  if (!s.ok()) abandonWalk(walk);
  return s;
}

Status NfsBackend::resolveParent(const std::string& path, NfsHandle& dir, std::string& name,
                                 const std::string& step) {
  std::vector<std::string> parts = SplitPath(path);
  if (parts.empty()) return Status(Status::kInvalid, step + ": not allowed on the root");
  name = parts.back();
  Status s = CheckName(name, step);
  if (!s.ok()) return s;
  parts.pop_back();
  Walk walk;
  s = beginWalk(std::move(parts), walk, step);
  bool held = false;
  if (s.ok()) s = endWalk(walk, dir, nullptr, held, step);
  if (!s.ok()) abandonWalk(walk);
  return s;
}

}  // namespace tarn
