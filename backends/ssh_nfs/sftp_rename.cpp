// Renames of an SftpConnection: atomic replacement through the server's
// posix-rename extension, and replacement in steps where the server lacks it.
#include <algorithm>

#include "backends/ssh_nfs/sftp_connection.h"
#include "backends/ssh_nfs/sftp_status.h"
#include "foundation/log.h"

namespace tarn {
namespace {

constexpr uint8_t kFxpStatus = 101;
constexpr uint8_t kFxpExtended = 200;
// Our request ids live far above the library's own counter, which starts
// at 0 and counts up by one per request.
constexpr uint32_t kRawIdBase = 0xc0000000u;
constexpr uint32_t kRawIdMask = 0x3fffffffu;
// Replies here are statuses; a late data reply of a read the library gave
// up on carries at most one packet of the server's largest size.
constexpr uint32_t kMaxReplyBytes = 512u << 10;
constexpr const char kPosixRename[] = "posix-rename@openssh.com";
constexpr unsigned kRenameFlags = LIBSSH2_SFTP_RENAME_ATOMIC | LIBSSH2_SFTP_RENAME_NATIVE;
constexpr long kAsideFolderMode = 0700;

bool IsDir(const LIBSSH2_SFTP_ATTRIBUTES& a) {
  return (a.flags & LIBSSH2_SFTP_ATTR_PERMISSIONS) && LIBSSH2_SFTP_S_ISDIR(a.permissions);
}

void PutU32(std::vector<uint8_t>& out, uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(uint8_t(v >> shift));
}

void PutString(std::vector<uint8_t>& out, std::string_view s) {
  PutU32(out, uint32_t(s.size()));
  out.insert(out.end(), s.begin(), s.end());
}

uint32_t GetU32(const uint8_t* p) { return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3]; }

}  // namespace

Status SftpConnection::channelWriteAll(const std::string& step, const uint8_t* data, size_t size) {
  LIBSSH2_CHANNEL* channel = libssh2_sftp_get_channel(sftp_);
  while (size > 0) {
    ssize_t n = libssh2_channel_write(channel, reinterpret_cast<const char*>(data), size);
    if (n <= 0) {
      Status st = n < 0 ? error(step, int(n)) : Status(Status::kNetwork, step + ": the channel accepted no data");
      markBroken();  // a packet sent in part leaves the channel out of step
      return st;
    }
    data += n;
    size -= size_t(n);
  }
  return Status();
}

Status SftpConnection::channelReadAll(const std::string& step, uint8_t* data, size_t size) {
  LIBSSH2_CHANNEL* channel = libssh2_sftp_get_channel(sftp_);
  while (size > 0) {
    ssize_t n = libssh2_channel_read(channel, reinterpret_cast<char*>(data), size);
    if (n <= 0) {
      Status st = n < 0 ? error(step, int(n)) : Status(Status::kNetwork, step + ": the server closed the channel");
      markBroken();
      return st;
    }
    data += n;
    size -= size_t(n);
  }
  return Status();
}

Status SftpConnection::extendedRequest(const std::string& step, std::string_view name, std::string_view arg1,
                                       std::string_view arg2, uint32_t& fx) {
  fx = LIBSSH2_FX_FAILURE;
  const uint32_t id = kRawIdBase | (nextRawId_++ & kRawIdMask);
  std::vector<uint8_t> packet;
  PutU32(packet, 0);
  packet.push_back(kFxpExtended);
  PutU32(packet, id);
  PutString(packet, name);
  PutString(packet, arg1);
  PutString(packet, arg2);
  const uint32_t length = uint32_t(packet.size() - 4);
  for (int i = 0; i < 4; ++i) packet[size_t(i)] = uint8_t(length >> (24 - 8 * i));
  Status st = channelWriteAll(step, packet.data(), packet.size());
  if (!st.ok()) return st;
  for (;;) {
    uint8_t head[4];
    st = channelReadAll(step, head, sizeof(head));
    if (!st.ok()) return st;
    const uint32_t len = GetU32(head);
    if (len < 5 || len > kMaxReplyBytes) {
      markBroken();
      return Status(Status::kProtocol, step + ": malformed sftp reply of " + std::to_string(len) + " bytes");
    }
    std::vector<uint8_t> body(len);
    st = channelReadAll(step, body.data(), body.size());
    if (!st.ok()) return st;
    // Another id is a late answer to a read the library abandoned when
    // its handle closed; the library would drop it too.
    if (GetU32(body.data() + 1) != id) continue;
    if (body[0] != kFxpStatus || len < 9) {
      markBroken();
      return Status(Status::kProtocol, step + ": sftp reply of type " + std::to_string(body[0]) + " to " +
                                           std::string(name));
    }
    fx = GetU32(body.data() + 5);
    return Status();
  }
}

Status SftpConnection::checkReplaceable(const std::string& step, const Status& first, const std::string& from,
                                        const std::string& to, bool& dstDir) {
  LIBSSH2_SFTP_ATTRIBUTES src, dst;
  Status st = statPath(from, src, false);
  if (!st.ok()) return st;
  if (!statPath(to, dst, false).ok()) return first;  // refused for another reason
  bool srcDir = IsDir(src);
  dstDir = IsDir(dst);
  if (!srcDir && dstDir) return Status(Status::kIsDirectory, step + ": target is a folder", first.native);
  if (srcDir && !dstDir) return Status(Status::kNotDirectory, step + ": target is not a folder", first.native);
  if (dstDir && folderHasEntries(to)) return Status(Status::kNotEmpty, step + ": target folder is not empty", first.native);
  return Status();
}

Status SftpConnection::renamePath(const std::string& from, const std::string& to, bool overwrite) {
  const std::string step = "rename " + from + " -> " + to;
  LIBSSH2_SFTP_ATTRIBUTES src, dst;
  if (from == to) {
    Status st = statPath(from, src, false);
    return st.ok() ? Status() : st;
  }
  if (!overwrite) {
    if (statPath(to, dst, false).ok()) return Status(Status::kExists, step + ": target exists");
    int rc = libssh2_sftp_rename_ex(sftp_, from.data(), unsigned(from.size()), to.data(), unsigned(to.size()),
                                    kRenameFlags);
    if (rc == 0) return Status();
    Status st = error(step, rc);
    if (st.native == int32_t(LIBSSH2_FX_FAILURE) && statPath(to, dst, false).ok())
      return Status(Status::kExists, step + ": target exists", st.native);
    return st;
  }

  // Our own request on the channel would swallow the answers to reads that
  // an open stream has in flight; with streams open, the steps serve.
  bool dstDir = false;
  if (atomicRename_ && handles_.empty()) {
    uint32_t fx = 0;
    Status st = extendedRequest(step, kPosixRename, from, to, fx);
    if (!st.ok()) return st;
    if (fx == LIBSSH2_FX_OK) return Status();
    if (fx == LIBSSH2_FX_OP_UNSUPPORTED) atomicRename_ = false;
    // OpenSSH answers "permission denied" for an extension its
    // administrator turned off; a real refusal meets the steps again.
    if (fx != LIBSSH2_FX_OP_UNSUPPORTED && fx != LIBSSH2_FX_PERMISSION_DENIED) {
      Status first = SftpStatusError(step, fx);
      Status why = checkReplaceable(step, first, from, to, dstDir);
      return why.ok() ? first : why;
    }
  }

  int rc = libssh2_sftp_rename_ex(sftp_, from.data(), unsigned(from.size()), to.data(), unsigned(to.size()),
                                  LIBSSH2_SFTP_RENAME_OVERWRITE | kRenameFlags);
  if (rc == 0) return Status();
  Status first = error(step, rc);
  if (first.native != int32_t(LIBSSH2_FX_FAILURE) && first.native != int32_t(LIBSSH2_FX_FILE_ALREADY_EXISTS))
    return first;
  Status why = checkReplaceable(step, first, from, to, dstDir);
  if (!why.ok()) return why;
  return replaceInSteps(step, from, to, dstDir);
}

Status SftpConnection::replaceInSteps(const std::string& step, const std::string& from, const std::string& to,
                                      bool dstDir) {
  // Until the last step is done the folder is in the leftovers, so that
  // this back-end's next connect tidies it; any other connection that meets
  // the work folder does the same (tidyFolder).
  const std::string folder = ParentOf(to);
  const std::string asideDir = SiblingTempName(to, "replaced");
  const std::string aside = Child(asideDir, std::string_view(to).substr(to.rfind('/') + 1));
  leftovers_->folders.push_back(folder);
  auto forget = [&] {
    auto& list = leftovers_->folders;
    if (auto it = std::find(list.begin(), list.end(), folder); it != list.end()) list.erase(it);
  };
  auto rename = [&](const std::string& a, const std::string& b) {
    return libssh2_sftp_rename_ex(sftp_, a.data(), unsigned(a.size()), b.data(), unsigned(b.size()), kRenameFlags);
  };
  int rc = libssh2_sftp_mkdir_ex(sftp_, asideDir.data(), unsigned(asideDir.size()), kAsideFolderMode);
  if (rc == 0) {
    rc = rename(to, aside);
    if (rc != 0) libssh2_sftp_rmdir_ex(sftp_, asideDir.data(), unsigned(asideDir.size()));
  }
  if (rc != 0) {
    Status st = error(step + " (setting the old target aside)", rc);
    if (usable()) forget();
    return st;
  }
  rc = rename(from, to);
  if (rc != 0) {
    Status st = error(step, rc);
    if (usable() && rename(aside, to) == 0) {
      libssh2_sftp_rmdir_ex(sftp_, asideDir.data(), unsigned(asideDir.size()));
      forget();
    } else {
      vx::log::write(vx::log::kError, "sftp: %s failed; the old target waits in %s to be put back", step.c_str(),
                     asideDir.c_str());
    }
    return st;
  }
  Status removed = removePath(aside, dstDir);
  if (removed.ok()) removed = removePath(asideDir, true);
  if (removed.ok()) {
    forget();
  } else {
    vx::log::write(vx::log::kWarn, "sftp: cannot remove the replaced copy in %s (%s)", asideDir.c_str(),
                   removed.message.c_str());
  }
  return Status();
}

}  // namespace tarn
