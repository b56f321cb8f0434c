#include "backends/ssh_nfs/nfs_protocol.h"

#include <algorithm>
#include <cstdio>
#include <string_view>

namespace tarn {
namespace {

constexpr uint32_t kModeFile = 0100000;
constexpr uint32_t kModeDir = 0040000;
constexpr uint32_t kModeLink = 0120000;
constexpr uint32_t kModeBlock = 0060000;
constexpr uint32_t kModeChar = 0020000;
constexpr uint32_t kModeSocket = 0140000;
constexpr uint32_t kModeFifo = 0010000;
constexpr uint32_t kWriteBits = 0222;
constexpr uint32_t kPermissionBits = 07777;
constexpr uint32_t kMaxNanoseconds = 999999999;

Timestamp DecodeTime(XdrReader& r) {
  const uint32_t sec = r.getU32();
  uint32_t nsec = r.getU32();
  if (nsec > kMaxNanoseconds) nsec = kMaxNanoseconds;
  return Timestamp::fromTimespec(static_cast<int64_t>(sec), static_cast<int64_t>(nsec));
}

void EncodeTime(XdrWriter& w, const Timestamp& t) {
  // nfstime3 holds unsigned 32-bit seconds: earlier times clamp to 1970,
  // later ones to 2106.
  const int64_t sec = t.seconds < 0 ? 0 : (t.seconds > 0xFFFFFFFFll ? 0xFFFFFFFFll : t.seconds);
  w.putU32(static_cast<uint32_t>(sec));
  w.putU32(t.seconds < 0 ? 0 : (t.nanoseconds > kMaxNanoseconds ? kMaxNanoseconds : t.nanoseconds));
}

}  // namespace

int32_t NfsStatusCode(uint32_t nfsStatus) {
  switch (nfsStatus) {
    case kNfs3Ok:
      return Status::kOk;
    case kNfs3ErrNoent:
    case kNfs3ErrNxio:
    case kNfs3ErrNodev:
    case kNfs3ErrStale:  // the object went away under us
      return Status::kNotFound;
    case kNfs3ErrExist:
      return Status::kExists;
    case kNfs3ErrPerm:
    case kNfs3ErrAcces:
    case kNfs3ErrRofs:
      return Status::kAccessDenied;
    case kNfs3ErrNotempty:
      return Status::kNotEmpty;
    case kNfs3ErrIsdir:
      return Status::kIsDirectory;
    case kNfs3ErrNotdir:
      return Status::kNotDirectory;
    case kNfs3ErrNospc:
    case kNfs3ErrDquot:
      return Status::kNoSpace;
    case kNfs3ErrFbig:
      return Status::kTooLarge;
    case kNfs3ErrInval:
    case kNfs3ErrNametoolong:
    case kNfs3ErrBadtype:
      return Status::kInvalid;
    case kNfs3ErrNotsupp:
    case kNfs3ErrXdev:
    case kNfs3ErrMlink:
      return Status::kUnsupported;
    case kNfs3ErrJukebox:
      return Status::kBusy;
    case kNfs3ErrBadCookie:
    case kNfs3ErrNotSync:
      return Status::kConflict;
    case kNfs3ErrBadhandle:
    case kNfs3ErrToosmall:
      return Status::kProtocol;
    default:
      return Status::kIo;
  }
}

Status NfsError(uint32_t nfsStatus, const std::string& step) {
  return Status(NfsStatusCode(nfsStatus), step + ": nfs status " + std::to_string(nfsStatus),
                static_cast<int32_t>(nfsStatus));
}

Status MountError(uint32_t mountStatus, const std::string& step) {
  // The MOUNT status numbers are the errno values NFS uses, except 10004
  // (not supported) and 10006 (server fault), which NFS shares too.
  return Status(NfsStatusCode(mountStatus), step + ": mount status " + std::to_string(mountStatus),
                static_cast<int32_t>(mountStatus));
}

Status MalformedReply(const std::string& step) { return Status(Status::kProtocol, step + ": malformed reply"); }

void DecodeFattr3(XdrReader& r, RemoteAttr& out) {
  const uint32_t type = r.getU32();
  const uint32_t mode = r.getU32() & kPermissionBits;
  r.skip(12);  // nlink, uid, gid
  out.size = r.getU64();
  r.skip(8 + 8 + 8);  // used, rdev, fsid
  out.fileId = r.getU64();
  out.atime = DecodeTime(r);
  out.mtime = DecodeTime(r);
  const uint32_t ctimeSec = r.getU32();
  const uint32_t ctimeNsec = r.getU32();
  if (!r.ok()) return;
  out.ctime = Timestamp::fromTimespec(ctimeSec, std::min(ctimeNsec, kMaxNanoseconds));
  uint32_t typeBits = 0;
  switch (type) {
    case kNf3Reg:
      out.type = RemoteAttr::kFile;
      typeBits = kModeFile;
      break;
    case kNf3Dir:
      out.type = RemoteAttr::kDirectory;
      typeBits = kModeDir;
      break;
    case kNf3Lnk:
      out.type = RemoteAttr::kSymlink;
      typeBits = kModeLink;
      break;
    case kNf3Blk:
      out.type = RemoteAttr::kOther;
      typeBits = kModeBlock;
      break;
    case kNf3Chr:
      out.type = RemoteAttr::kOther;
      typeBits = kModeChar;
      break;
    case kNf3Sock:
      out.type = RemoteAttr::kOther;
      typeBits = kModeSocket;
      break;
    case kNf3Fifo:
      out.type = RemoteAttr::kOther;
      typeBits = kModeFifo;
      break;
    default:
      r.fail();
      return;
  }
  if (out.type == RemoteAttr::kDirectory) out.size = 0;
  out.mode = typeBits | mode;
  out.readOnly = (mode & kWriteBits) == 0;
  // Change time and size move with every write; mtime alone can be set
  // back. The server's own nanoseconds, not the 100 ns stored time unit.
  char tag[64];
  std::snprintf(tag, sizeof(tag), "%x.%x-%llx", ctimeSec, ctimeNsec, static_cast<unsigned long long>(out.size));
  out.etag = tag;
}

void DecodePostOpAttr(XdrReader& r, RemoteAttr& out, bool& present) {
  present = r.getBool();
  if (present) DecodeFattr3(r, out);
  if (!r.ok()) present = false;
}

void SkipPostOpAttr(XdrReader& r) {
  RemoteAttr ignored;
  bool present = false;
  DecodePostOpAttr(r, ignored, present);
}

void SkipWccData(XdrReader& r) {
  if (r.getBool()) r.skip(8 + 8 + 8);  // size, mtime, ctime
  SkipPostOpAttr(r);
}

namespace {

bool DecodeDirPage(XdrReader& r, std::vector<NfsDirEntryPlus>& out, uint8_t* cookieVerifier, bool& eof,
                   size_t maxEntries, bool plus) {
  eof = false;
  SkipPostOpAttr(r);
  r.getFixed(cookieVerifier, kNfsVerifierSize);
  size_t count = 0;
  while (r.getBool()) {
    if (++count > maxEntries) {
      r.fail();
      return false;
    }
    NfsDirEntryPlus e;
    r.getU64();  // fileid, also in the attributes
    e.name = r.getString(kNfsNameMax);
    e.cookie = r.getU64();
    if (plus) {
      DecodePostOpAttr(r, e.attr, e.hasAttr);
      if (r.getBool()) e.fh = r.getOpaque(kNfsFhMax);
    }
    // A name no path can address is not one a sound server sends.
    if (e.name.find_first_of(std::string_view("/\0", 2)) != std::string::npos) r.fail();
    if (!r.ok()) return false;
    out.push_back(std::move(e));
  }
  eof = r.getBool();
  return r.ok();
}

}  // namespace

bool DecodeReaddirplusPage(XdrReader& r, std::vector<NfsDirEntryPlus>& out, uint8_t* cookieVerifier, bool& eof,
                           size_t maxEntries) {
  return DecodeDirPage(r, out, cookieVerifier, eof, maxEntries, true);
}

bool DecodeReaddirPage(XdrReader& r, std::vector<NfsDirEntryPlus>& out, uint8_t* cookieVerifier, bool& eof,
                       size_t maxEntries) {
  return DecodeDirPage(r, out, cookieVerifier, eof, maxEntries, false);
}

bool DecodeMountReply(XdrReader& r, uint32_t& status, std::vector<uint8_t>& fh, bool& unixAllowed) {
  constexpr uint32_t kMaxAuthFlavors = 64;
  constexpr uint32_t kAuthNoneFlavor = 0;
  constexpr uint32_t kAuthUnixFlavor = 1;
  fh.clear();
  unixAllowed = false;
  status = r.getU32();
  if (!r.ok()) return false;
  if (status != 0) return true;
  fh = r.getOpaque(kNfsFhMax);
  const uint32_t flavors = r.getU32();
  if (!r.ok() || fh.empty() || flavors > kMaxAuthFlavors) {
    r.fail();
    return false;
  }
  // An empty list is taken as "anything goes".
  unixAllowed = flavors == 0;
  for (uint32_t i = 0; i < flavors; ++i) {
    const uint32_t f = r.getU32();
    if (f == kAuthUnixFlavor || f == kAuthNoneFlavor) unixAllowed = true;
  }
  return r.ok();
}

void EncodeSattr3(XdrWriter& w, const NfsSetAttr& a) {
  w.putBool(a.setMode);
  if (a.setMode) w.putU32(a.mode & kPermissionBits);
  w.putBool(false);  // uid: the credential's
  w.putBool(false);  // gid: the credential's
  w.putBool(a.setSize);
  if (a.setSize) w.putU64(a.size);
  w.putU32(a.setAtime ? kSetToClientTime : kDontChange);
  if (a.setAtime) EncodeTime(w, a.atime);
  w.putU32(a.setMtime ? kSetToClientTime : kDontChange);
  if (a.setMtime) EncodeTime(w, a.mtime);
}

}  // namespace tarn
