// The NFS version 3 and MOUNT version 3 wire vocabulary: program and
// procedure numbers, status codes and their mapping to tarn::Status, and the
// decoders and encoders of the shared structures (fattr3, post_op_attr,
// wcc_data, sattr3). Free functions over XdrReader/XdrWriter; any thread.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "backends/ssh_nfs/xdr.h"
#include "foundation/backend_types.h"
#include "foundation/status.h"

namespace tarn {

constexpr uint32_t kMountProgram = 100005;
constexpr uint32_t kMountVersion = 3;
constexpr uint32_t kMountMnt = 1;
constexpr uint32_t kMountUmnt = 3;
constexpr size_t kMountPathMax = 1024;

constexpr uint32_t kNfsProgram = 100003;
constexpr uint32_t kNfsVersion = 3;
constexpr uint32_t kNfsDefaultPort = 2049;
constexpr size_t kNfsFhMax = 64;
constexpr size_t kNfsNameMax = 255;
constexpr size_t kNfsPathMax = 4096;
constexpr size_t kNfsVerifierSize = 8;

enum NfsProc : uint32_t {
  kNfsNull = 0,
  kNfsGetattr = 1,
  kNfsSetattr = 2,
  kNfsLookup = 3,
  kNfsRead = 6,
  kNfsWrite = 7,
  kNfsCreate = 8,
  kNfsMkdir = 9,
  kNfsRemove = 12,
  kNfsRmdir = 13,
  kNfsRename = 14,
  kNfsReaddir = 16,
  kNfsReaddirplus = 17,
  kNfsFsstat = 18,
  kNfsFsinfo = 19,
  kNfsCommit = 21,
};

enum NfsStat : uint32_t {
  kNfs3Ok = 0,
  kNfs3ErrPerm = 1,
  kNfs3ErrNoent = 2,
  kNfs3ErrIo = 5,
  kNfs3ErrNxio = 6,
  kNfs3ErrAcces = 13,
  kNfs3ErrExist = 17,
  kNfs3ErrXdev = 18,
  kNfs3ErrNodev = 19,
  kNfs3ErrNotdir = 20,
  kNfs3ErrIsdir = 21,
  kNfs3ErrInval = 22,
  kNfs3ErrFbig = 27,
  kNfs3ErrNospc = 28,
  kNfs3ErrRofs = 30,
  kNfs3ErrMlink = 31,
  kNfs3ErrNametoolong = 63,
  kNfs3ErrNotempty = 66,
  kNfs3ErrDquot = 69,
  kNfs3ErrStale = 70,
  kNfs3ErrRemote = 71,
  kNfs3ErrBadhandle = 10001,
  kNfs3ErrNotSync = 10002,
  kNfs3ErrBadCookie = 10003,
  kNfs3ErrNotsupp = 10004,
  kNfs3ErrToosmall = 10005,
  kNfs3ErrServerfault = 10006,
  kNfs3ErrBadtype = 10007,
  kNfs3ErrJukebox = 10008,
};

enum NfsFileType : uint32_t {
  kNf3Reg = 1,
  kNf3Dir = 2,
  kNf3Blk = 3,
  kNf3Chr = 4,
  kNf3Lnk = 5,
  kNf3Sock = 6,
  kNf3Fifo = 7,
};

enum NfsStableHow : uint32_t { kUnstable = 0, kDataSync = 1, kFileSync = 2 };
enum NfsCreateHow : uint32_t { kUnchecked = 0, kGuarded = 1, kExclusive = 2 };
enum NfsTimeHow : uint32_t { kDontChange = 0, kSetToServerTime = 1, kSetToClientTime = 2 };

// The status for an NFS failure: the mapped code, "STEP: nfs status N" and
// the NFS status as native number.
Status NfsError(uint32_t nfsStatus, const std::string& step);
// The mapped code alone.
int32_t NfsStatusCode(uint32_t nfsStatus);
// The status for a MOUNT failure ("mount PATH: mount status N").
Status MountError(uint32_t mountStatus, const std::string& step);

// The status for a reply that does not decode ("STEP: malformed reply").
Status MalformedReply(const std::string& step);

// Decodes an fattr3 into a RemoteAttr (type, size, times, mode with type
// bits, readOnly, etag from change time and size, fileId).
void DecodeFattr3(XdrReader& r, RemoteAttr& out);
// Decodes a post_op_attr; present tells whether attributes followed.
void DecodePostOpAttr(XdrReader& r, RemoteAttr& out, bool& present);
void SkipPostOpAttr(XdrReader& r);
void SkipWccData(XdrReader& r);

// One entry of a READDIRPLUS page.
struct NfsDirEntryPlus {
  std::string name;
  uint64_t cookie = 0;
  bool hasAttr = false;
  RemoteAttr attr;
  std::vector<uint8_t> fh;  // empty when the server sent none
};

// Decodes the results of a successful READDIRPLUS after its status word:
// the entries (appended to out), the cookie verifier and the end flag.
// maxEntries bounds what one page may add. False when malformed (a name
// holding "/" or NUL included).
bool DecodeReaddirplusPage(XdrReader& r, std::vector<NfsDirEntryPlus>& out, uint8_t* cookieVerifier, bool& eof,
                           size_t maxEntries);

// The same for a READDIR page, whose entries carry neither attributes nor
// handles.
bool DecodeReaddirPage(XdrReader& r, std::vector<NfsDirEntryPlus>& out, uint8_t* cookieVerifier, bool& eof,
                       size_t maxEntries);

// Decodes a MNT reply: status, and on success the root handle and whether
// the export accepts AUTH_UNIX. False when malformed.
bool DecodeMountReply(XdrReader& r, uint32_t& status, std::vector<uint8_t>& fh, bool& unixAllowed);

struct NfsSetAttr {
  bool setMode = false;
  uint32_t mode = 0;
  bool setSize = false;
  uint64_t size = 0;
  bool setAtime = false;
  Timestamp atime;
  bool setMtime = false;
  Timestamp mtime;
};
void EncodeSattr3(XdrWriter& w, const NfsSetAttr& a);

}  // namespace tarn
