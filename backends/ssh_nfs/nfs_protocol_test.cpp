// The NFS vocabulary without a server: status mapping, attribute decoding,
// READDIRPLUS and MNT reply decoding, the attribute encoder and the options
// read from the endpoint's extra text.
#include "backends/ssh_nfs/nfs_protocol.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "backends/ssh_nfs/nfs_backend.h"
#include "backends/ssh_nfs/nfs_options.h"

namespace tarn {
namespace {

using Bytes = std::vector<uint8_t>;

struct Fattr {
  uint32_t type = kNf3Reg;
  uint32_t mode = 0644;
  uint64_t size = 10;
  uint64_t fileId = 77;
  uint32_t mtimeSec = 1000, mtimeNsec = 500;
  uint32_t ctimeSec = 2000, ctimeNsec = 600;
};

void PutFattr(XdrWriter& w, const Fattr& f) {
  w.putU32(f.type);
  w.putU32(f.mode);
  w.putU32(1);   // nlink
  w.putU32(0);   // uid
  w.putU32(0);   // gid
  w.putU64(f.size);
  w.putU64(4096);  // used
  w.putU32(0);
  w.putU32(0);    // rdev
  w.putU64(1);    // fsid
  w.putU64(f.fileId);
  w.putU32(10);
  w.putU32(0);  // atime
  w.putU32(f.mtimeSec);
  w.putU32(f.mtimeNsec);
  w.putU32(f.ctimeSec);
  w.putU32(f.ctimeNsec);
}

TEST(NfsProtocolTest, StatusesMapToCodesAndNameTheStep) {
  const std::pair<uint32_t, int32_t> cases[] = {
      {kNfs3ErrNoent, Status::kNotFound},       {kNfs3ErrStale, Status::kNotFound},
      {kNfs3ErrExist, Status::kExists},         {kNfs3ErrAcces, Status::kAccessDenied},
      {kNfs3ErrPerm, Status::kAccessDenied},    {kNfs3ErrRofs, Status::kAccessDenied},
      {kNfs3ErrNotempty, Status::kNotEmpty},    {kNfs3ErrIsdir, Status::kIsDirectory},
      {kNfs3ErrNotdir, Status::kNotDirectory},  {kNfs3ErrNospc, Status::kNoSpace},
      {kNfs3ErrDquot, Status::kNoSpace},        {kNfs3ErrFbig, Status::kTooLarge},
      {kNfs3ErrInval, Status::kInvalid},        {kNfs3ErrNametoolong, Status::kInvalid},
      {kNfs3ErrNotsupp, Status::kUnsupported},  {kNfs3ErrXdev, Status::kUnsupported},
      {kNfs3ErrJukebox, Status::kBusy},         {kNfs3ErrBadCookie, Status::kConflict},
      {kNfs3ErrBadhandle, Status::kProtocol},   {kNfs3ErrIo, Status::kIo},
      {kNfs3ErrServerfault, Status::kIo},       {12345, Status::kIo},
  };
  for (const auto& [nfs, code] : cases) {
    Status s = NfsError(nfs, "lookup /a");
    EXPECT_EQ(s.code, code) << nfs;
    EXPECT_EQ(s.native, static_cast<int32_t>(nfs));
    EXPECT_EQ(s.message, "lookup /a: nfs status " + std::to_string(nfs));
  }
  EXPECT_EQ(MountError(kNfs3ErrAcces, "mount /x").message, "mount /x: mount status 13");
  EXPECT_EQ(MountError(kNfs3ErrNoent, "mount /x").code, Status::kNotFound);
}

TEST(NfsProtocolTest, DecodesAttributesOfEveryType) {
  struct Case {
    uint32_t nfsType;
    uint32_t mode;
    uint32_t type;
    uint32_t expectedMode;
    bool readOnly;
  } cases[] = {
      {kNf3Reg, 0644, RemoteAttr::kFile, 0100644, false},
      {kNf3Reg, 0444, RemoteAttr::kFile, 0100444, true},
      {kNf3Dir, 0755, RemoteAttr::kDirectory, 0040755, false},
      {kNf3Lnk, 0777, RemoteAttr::kSymlink, 0120777, false},
      {kNf3Fifo, 0600, RemoteAttr::kOther, 0010600, false},
      {kNf3Reg, 0104755, RemoteAttr::kFile, 0104755, false},  // stray high bits dropped, setuid kept
  };
  for (const Case& c : cases) {
    Fattr f;
    f.type = c.nfsType;
    f.mode = c.mode;
    XdrWriter w;
    PutFattr(w, f);
    XdrReader r(w.bytes().data(), w.size());
    RemoteAttr a;
    DecodeFattr3(r, a);
    ASSERT_TRUE(r.ok());
    EXPECT_EQ(a.type, c.type) << c.nfsType;
    EXPECT_EQ(a.mode, c.expectedMode) << c.nfsType;
    EXPECT_EQ(a.readOnly, c.readOnly) << c.nfsType;
    EXPECT_EQ(a.size, c.type == RemoteAttr::kDirectory ? 0u : 10u);
    EXPECT_EQ(a.fileId, 77u);
    EXPECT_EQ(a.mtime, (Timestamp{1000, 500}));
    EXPECT_EQ(a.ctime, (Timestamp{2000, 600}));
    EXPECT_EQ(a.atime, (Timestamp{10, 0}));
  }

  // The version tag follows change time and size.
  auto tag = [](const Fattr& f) {
    XdrWriter w;
    PutFattr(w, f);
    XdrReader r(w.bytes().data(), w.size());
    RemoteAttr a;
    DecodeFattr3(r, a);
    return a.etag;
  };
  Fattr base, otherSize, otherCtime;
  otherSize.size = 11;
  otherCtime.ctimeNsec = 601;
  EXPECT_EQ(tag(base), tag(Fattr{}));
  EXPECT_NE(tag(base), tag(otherSize));
  EXPECT_NE(tag(base), tag(otherCtime));

  Fattr bad;
  bad.type = 99;
  XdrWriter w;
  PutFattr(w, bad);
  XdrReader r(w.bytes().data(), w.size());
  RemoteAttr a;
  DecodeFattr3(r, a);
  EXPECT_FALSE(r.ok()) << "unknown file type";
}

void PutEntry(XdrWriter& w, const std::string& name, uint64_t cookie, bool withAttr, bool withHandle) {
  w.putBool(true);
  w.putU64(cookie + 100);
  w.putString(name);
  w.putU64(cookie);
  w.putBool(withAttr);
  if (withAttr) PutFattr(w, Fattr{});
  w.putBool(withHandle);
  if (withHandle) w.putOpaque(Bytes(16, 0xAB));
}

TEST(NfsProtocolTest, DecodesReaddirplusPages) {
  XdrWriter w;
  w.putBool(false);  // no folder attributes
  const uint8_t verf[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  w.putFixed(verf, 8);
  PutEntry(w, "a", 1, true, true);
  PutEntry(w, "b", 2, false, true);
  PutEntry(w, "c", 3, false, false);
  w.putBool(false);
  w.putBool(true);  // eof

  XdrReader r(w.bytes().data(), w.size());
  std::vector<NfsDirEntryPlus> entries;
  uint8_t gotVerf[8] = {};
  bool eof = false;
  ASSERT_TRUE(DecodeReaddirplusPage(r, entries, gotVerf, eof, 100));
  EXPECT_TRUE(eof);
  EXPECT_EQ(0, std::memcmp(gotVerf, verf, 8));
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_EQ(entries[0].name, "a");
  EXPECT_TRUE(entries[0].hasAttr);
  EXPECT_EQ(entries[0].attr.size, 10u);
  EXPECT_EQ(entries[1].cookie, 2u);
  EXPECT_FALSE(entries[1].hasAttr);
  EXPECT_EQ(entries[1].fh.size(), 16u);
  EXPECT_TRUE(entries[2].fh.empty());

  // Every cut through the page is malformed, and so is a page over the cap.
  for (size_t cut = 0; cut < w.size(); cut += 4) {
    XdrReader t(w.bytes().data(), cut);
    std::vector<NfsDirEntryPlus> partial;
    EXPECT_FALSE(DecodeReaddirplusPage(t, partial, gotVerf, eof, 100)) << "cut at " << cut;
  }
  XdrReader capped(w.bytes().data(), w.size());
  std::vector<NfsDirEntryPlus> few;
  EXPECT_FALSE(DecodeReaddirplusPage(capped, few, gotVerf, eof, 2));

  XdrWriter longName;
  longName.putBool(false);
  longName.putFixed(verf, 8);
  PutEntry(longName, std::string(256, 'x'), 1, false, false);
  longName.putBool(false);
  longName.putBool(true);
  XdrReader ln(longName.bytes().data(), longName.size());
  EXPECT_FALSE(DecodeReaddirplusPage(ln, few, gotVerf, eof, 100)) << "name longer than 255 bytes";

  for (const std::string& bad : {std::string("a/b"), std::string("a\0b", 3)}) {
    XdrWriter page;
    page.putBool(false);
    page.putFixed(verf, 8);
    PutEntry(page, bad, 1, false, false);
    page.putBool(false);
    page.putBool(true);
    XdrReader br(page.bytes().data(), page.size());
    EXPECT_FALSE(DecodeReaddirplusPage(br, few, gotVerf, eof, 100)) << "name that no path can address";
  }
}

TEST(NfsProtocolTest, DecodesMountReplies) {
  struct Case {
    const char* name;
    std::function<void(XdrWriter&)> build;
    bool valid;
    uint32_t status;
    bool unixAllowed;
  } cases[] = {
      {"ok with unix", [](XdrWriter& w) { w.putU32(0); w.putOpaque(Bytes(32, 1)); w.putU32(2); w.putU32(6); w.putU32(1); },
       true, 0, true},
      {"ok with no flavor list", [](XdrWriter& w) { w.putU32(0); w.putOpaque(Bytes(8, 1)); w.putU32(0); }, true, 0,
       true},
      {"ok with kerberos only", [](XdrWriter& w) { w.putU32(0); w.putOpaque(Bytes(8, 1)); w.putU32(1); w.putU32(390003); },
       true, 0, false},
      {"refused", [](XdrWriter& w) { w.putU32(13); }, true, 13, false},
      {"handle too long", [](XdrWriter& w) { w.putU32(0); w.putOpaque(Bytes(65, 1)); w.putU32(0); }, false, 0, false},
      {"empty handle", [](XdrWriter& w) { w.putU32(0); w.putOpaque(Bytes{}); w.putU32(0); }, false, 0, false},
      {"huge flavor count", [](XdrWriter& w) { w.putU32(0); w.putOpaque(Bytes(8, 1)); w.putU32(0x7FFFFFFF); }, false,
       0, false},
      {"flavor list cut short", [](XdrWriter& w) { w.putU32(0); w.putOpaque(Bytes(8, 1)); w.putU32(3); w.putU32(1); },
       false, 0, false},
  };
  for (const Case& c : cases) {
    XdrWriter w;
    c.build(w);
    XdrReader r(w.bytes().data(), w.size());
    uint32_t status = 99;
    Bytes fh;
    bool unixAllowed = false;
    EXPECT_EQ(DecodeMountReply(r, status, fh, unixAllowed), c.valid) << c.name;
    if (c.valid) {
      EXPECT_EQ(status, c.status) << c.name;
      EXPECT_EQ(unixAllowed, c.unixAllowed) << c.name;
      EXPECT_EQ(fh.empty(), c.status != 0) << c.name;
    }
  }
}

TEST(NfsProtocolTest, EncodesOnlyTheAttributesToSet) {
  NfsSetAttr a;
  a.setSize = true;
  a.size = 0x100000001ull;
  a.setMtime = true;
  a.mtime = Timestamp{-5, 7};  // before 1970: clamps to zero
  XdrWriter w;
  EncodeSattr3(w, a);
  XdrReader r(w.bytes().data(), w.size());
  EXPECT_FALSE(r.getBool());  // mode
  EXPECT_FALSE(r.getBool());  // uid
  EXPECT_FALSE(r.getBool());  // gid
  EXPECT_TRUE(r.getBool());
  EXPECT_EQ(r.getU64(), 0x100000001ull);
  EXPECT_EQ(r.getU32(), kDontChange);
  EXPECT_EQ(r.getU32(), kSetToClientTime);
  EXPECT_EQ(r.getU32(), 0u);
  EXPECT_EQ(r.getU32(), 0u);
  EXPECT_TRUE(r.ok());
  EXPECT_EQ(r.remaining(), 0u);
}

TEST(NfsOptionsTest, ReadsItemsFromExtraText) {
  struct Case {
    std::string extra;
    bool ok;
    NfsOptions expected;
  } cases[] = {
      {"", true, {7, 8, 0, 0}},
      {"uid=10;gid=20", true, {10, 20, 0, 0}},
      {" UID = 10 , Gid=20 ", true, {10, 20, 0, 0}},
      {"uid=1;uid=2", true, {2, 8, 0, 0}},
      {"mountport=20048;nfsport=2049", true, {7, 8, 20048, 2049}},
      {"uid;noequals;other=5;;", true, {7, 8, 0, 0}},
      {"uid=4294967295", true, {4294967295u, 8, 0, 0}},
      {"uid=4294967296", false, {}},
      {"uid=-1", false, {}},
      {"gid=", false, {}},
      {"nfsport=0", false, {}},
      {"mountport=65536", false, {}},
      {"nfsport=20 49", false, {}},
  };
  for (const Case& c : cases) {
    NfsOptions o;
    Status s = ParseNfsOptions(c.extra, 7, 8, o);
    EXPECT_EQ(s.ok(), c.ok) << c.extra << ": " << s.toString();
    if (!c.ok) {
      EXPECT_EQ(s.code, Status::kInvalid) << c.extra;
      continue;
    }
    EXPECT_EQ(o.uid, c.expected.uid) << c.extra;
    EXPECT_EQ(o.gid, c.expected.gid) << c.extra;
    EXPECT_EQ(o.mountPort, c.expected.mountPort) << c.extra;
    EXPECT_EQ(o.nfsPort, c.expected.nfsPort) << c.extra;
  }
}

TEST(NfsBackendNameTest, UploadTemporariesAreHiddenUniqueAndWithinTheNameLimit) {
  for (const std::string& name : {std::string("doc.txt"), std::string(250, 'a'), std::string(kNfsNameMax, 'b')}) {
    const std::string a = NfsBackend::UploadTempName(name);
    const std::string b = NfsBackend::UploadTempName(name);
    EXPECT_NE(a, b) << "each upload has its own";
    EXPECT_LE(a.size(), kNfsNameMax);
    EXPECT_EQ(a.front(), '.');
    EXPECT_TRUE(NfsBackend::IsUploadTempName(a)) << a;
  }
  EXPECT_EQ(NfsBackend::UploadTempName("doc.txt").rfind(".doc.txt.tarn-part-", 0), 0u);
  for (const char* name : {"doc.txt", ".doc.txt.tarn-part", ".doc.tarn-part-0123456789abcde", "x.tarn-part-0123456789abcdef",
                           ".doc.tarn-part-0123456789ABCDEF", ".doc.tarn-part-0123456789abcdefa", ".doc.tarn-part0123456789abcdef"})
    EXPECT_FALSE(NfsBackend::IsUploadTempName(name)) << name;
  EXPECT_TRUE(NfsBackend::IsUploadTempName(".tarn-part-0123456789abcdef"));
}

TEST(NfsBackendNameTest, MakerReturnsAnUnconnectedBackendWithNfsCapabilities) {
  EndpointConfig c;
  c.protocol = "nfs";
  c.host = "127.0.0.1";
  std::unique_ptr<IBackend> b = MakeNfsBackend(c);
  ASSERT_NE(b, nullptr);
  EXPECT_FALSE(b->isConnected());
  EXPECT_EQ(b->config().host, "127.0.0.1");
  const BackendCaps& caps = b->caps();
  EXPECT_TRUE(caps.rangeRead && caps.randomWrite && caps.resumableUpload && caps.truncate && caps.renameOverwrite &&
              caps.renameDirs && caps.setMtime && caps.caseSensitive && caps.freeSpace);
  EXPECT_EQ(caps.maxNameBytes, 255u);
  EXPECT_EQ(caps.maxPathBytes, 4096u);
  RemoteAttr attr;
  EXPECT_EQ(b->stat("/", attr).code, Status::kNetwork) << "no call before connect";
}

}  // namespace
}  // namespace tarn
