#include "platform/secure_folder.h"

#include <fcntl.h>
#include <linux/capability.h>
#include <stdio.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <iterator>
#include <string_view>

#include "foundation/file_util.h"
#include "foundation/text.h"
#include "platform/control_request.h"

namespace tarn {
namespace {

constexpr mode_t kPrivateMode = 0700;
constexpr mode_t kPrivateFileMode = 0600;
constexpr mode_t kOthersBits = 077;
constexpr mode_t kPermissionBits = 07777;
constexpr const char* kAclAccess = "system.posix_acl_access";
constexpr const char* kAclDefault = "system.posix_acl_default";

Status Failure(std::string_view step, const std::string& dir, int error) {
  return Status(Status::kAccessDenied, std::string(step) + " " + dir + ": " + vx::FormatWin32Error(error), error);
}

Status Refusal(const std::string& text) { return Status(Status::kAccessDenied, text); }

// O_NOFOLLOW refuses a link in the folder's own place; O_DIRECTORY anything
// that is no folder.
vx::UniqueFd OpenFolder(const std::string& dir) {
  return vx::UniqueFd(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
}

bool OwnedBySelf(const vx::UniqueFd& fd) {
  struct stat st {};
  return fd.valid() && ::fstat(fd.get(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::geteuid();
}

bool TrustedOwner(uid_t uid) { return uid == 0 || uid == ::geteuid(); }

// The mode bits say nothing about named users and groups of an ACL.
Status RemoveAcls(int fd, const std::string& path, bool folder) {
  const char* const acls[] = {kAclAccess, kAclDefault};
  for (size_t i = 0; i < (folder ? std::size(acls) : 1u); ++i) {
    if (::fremovexattr(fd, acls[i]) != 0 && errno != ENODATA && errno != ENOTSUP)
      return Failure("cannot remove the access list of", path, errno);
  }
  return Status();
}

// Why nobody but its owner may trust what is at `path`, seen by lstat;
// empty when it is the `folder` (or plain file) of its own user it should be.
std::string Untrusted(const std::string& path, const struct stat& st, bool folder) {
  if (S_ISLNK(st.st_mode)) return path + " is a symbolic link";
  if (folder && !S_ISDIR(st.st_mode)) return path + " is not a folder";
  if (!folder && !S_ISREG(st.st_mode)) return path + " is not a plain file";
  if (st.st_uid != ::geteuid())
    return path + " belongs to " + UserText(st.st_uid) + ", not to " + UserText(::geteuid());
  if (!folder && st.st_nlink != 1) return path + " has other names (hard links)";
  return std::string();
}

// No replace: two folders set aside in the same second keep each other.
bool MoveAside(const std::string& dir, std::string& aside) {
  const std::string base = dir + kUntrustedSuffix + std::to_string(vx::UnixNow());
  aside = base;
  for (int k = 2; k < 100; ++k) {
    if (::renameat2(AT_FDCWD, dir.c_str(), AT_FDCWD, aside.c_str(), RENAME_NOREPLACE) == 0) return true;
    if (errno != EEXIST) return false;
    aside = base + "-" + std::to_string(k);
  }
  return false;
}

// `shown`: how the messages name the folder.
Status CheckFolderOf(const std::string& dir, uid_t owner, const std::string& shown) {
  if (Status parents = CheckTrustedParents(dir); !parents.ok()) return parents;
  vx::UniqueFd fd = OpenFolder(dir);
  if (!fd.valid()) return Failure("cannot open", dir, errno);
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0) return Failure("cannot read", dir, errno);
  if (st.st_uid != owner) return Refusal(shown + " does not belong to " + (owner == 0 ? "root" : UserText(owner)));
  if ((st.st_mode & (S_IWGRP | S_IWOTH)) != 0) return Refusal(shown + " is writable by other users");
  return Status();
}

std::string ParentOf(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return std::string();
  return slash == 0 ? std::string("/") : path.substr(0, slash);
}

}  // namespace

Status SecurePrivateFolder(const std::string& dir, std::string* setAside) {
  if (setAside != nullptr) setAside->clear();
  if (Status parents = CheckTrustedParents(dir); !parents.ok()) return parents;
  if (::mkdir(dir.c_str(), kPrivateMode) != 0 && errno != EEXIST) return Failure("cannot create", dir, errno);
  vx::UniqueFd fd = OpenFolder(dir);
  if (!OwnedBySelf(fd)) {
    fd = vx::UniqueFd();
    std::string aside;
    if (!MoveAside(dir, aside)) return Failure("cannot set aside", dir, errno);
    if (setAside != nullptr) *setAside = aside;
    if (::mkdir(dir.c_str(), kPrivateMode) != 0) return Failure("cannot create", dir, errno);
    fd = OpenFolder(dir);
    // Someone may have been quicker between the mkdir and the open.
    if (!OwnedBySelf(fd)) return Status(Status::kAccessDenied, dir + " was replaced while it was made");
  }
  EnablePrivilege(CAP_CHOWN);
  EnablePrivilege(CAP_FOWNER);
  if (::geteuid() == 0 && ::fchown(fd.get(), 0, 0) != 0) return Failure("cannot take over", dir, errno);
  if (::fchmod(fd.get(), kPrivateMode) != 0) return Failure("cannot restrict", dir, errno);
  return RemoveAcls(fd.get(), dir, true);
}

Status CheckTrustedFolder(const std::string& dir) { return CheckFolderOf(dir, 0, "the data folder " + dir); }

Status CheckOwnFolder(const std::string& dir) { return CheckFolderOf(dir, ::geteuid(), dir); }

Status CheckTrustedParents(const std::string& path) {
  if (path.empty() || path.front() != '/') return Status(Status::kInvalid, path + " is not an absolute path");
  // A link that root made in a folder nobody else may change (/var moved to
  // another disk, say) is root's word, followed; one that another user could
  // have made or swapped is refused. After a link the walk begins again
  // along its target, so every folder actually passed through is checked.
  constexpr int kMaxLinks = 40;
  int links = 0;
  std::string rest = path;
  vx::UniqueFd at(::open("/", O_PATH | O_DIRECTORY | O_CLOEXEC));
  std::string walked;
  size_t begin = 1;
  while (true) {
    struct stat st {};
    if (!at.valid() || ::fstat(at.get(), &st) != 0) return Failure("cannot read", walked.empty() ? "/" : walked, errno);
    const std::string shown = walked.empty() ? std::string("/") : walked;
    if (!TrustedOwner(st.st_uid))
      return Refusal(path + " lies in " + shown + ", which belongs to " + UserText(st.st_uid));
    // Others may add to a sticky folder, but not move what is root's.
    if ((st.st_mode & (S_IWGRP | S_IWOTH)) != 0 && (st.st_mode & S_ISVTX) == 0)
      return Refusal(path + " lies in " + shown + ", which other users may change");
    const size_t end = rest.find('/', begin);
    if (end == std::string::npos) return Status();  // the last name is the caller's to check
    const std::string name = rest.substr(begin, end - begin);
    begin = end + 1;
    if (name.empty() || name == ".") continue;
    if (name == "..") {
      // Only a link's target climbs: what has been walked holds no link, so
      // its parent is the one the kernel takes too.
      at = vx::UniqueFd(::openat(at.get(), "..", O_PATH | O_DIRECTORY | O_CLOEXEC));
      walked = walked.substr(0, walked.rfind('/'));
      continue;
    }
    vx::UniqueFd next(::openat(at.get(), name.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (next.valid()) {
      at = std::move(next);
      walked += "/" + name;
      continue;
    }
    if (errno == ENOENT) return Status();
    const std::string linkPath = walked + "/" + name;
    struct stat link {};
    if (::fstatat(at.get(), name.c_str(), &link, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISLNK(link.st_mode))
      return Failure("cannot open", linkPath, errno);
    if (!TrustedOwner(link.st_uid))
      return Refusal(path + " lies below " + linkPath + ", a symbolic link of " + UserText(link.st_uid));
    if (++links > kMaxLinks) return Refusal(path + " lies below too many symbolic links");
    char target[PATH_MAX];
    const ssize_t n = ::readlinkat(at.get(), name.c_str(), target, sizeof target);
    if (n <= 0 || static_cast<size_t>(n) >= sizeof target) return Failure("cannot read the link", linkPath, errno);
    const std::string to(target, static_cast<size_t>(n));
    rest = (to.front() == '/' ? to : (walked.empty() ? "" : walked) + "/" + to) + "/" + rest.substr(begin);
    at = vx::UniqueFd(::open("/", O_PATH | O_DIRECTORY | O_CLOEXEC));
    walked.clear();
    begin = 1;
  }
}

Status SecureServiceFolder(const std::string& dir, bool* mended) {
  if (mended != nullptr) *mended = false;
  const std::string parent = ParentOf(dir);
  if (!parent.empty() && !vx::MakeDirs(parent)) return Failure("cannot create", parent, errno);
  if (Status parents = CheckTrustedParents(dir); !parents.ok()) return parents;
  if (::mkdir(dir.c_str(), kPrivateMode) != 0 && errno != EEXIST) return Failure("cannot create", dir, errno);
  vx::UniqueFd fd = OpenFolder(dir);
  struct stat st {};
  if (!fd.valid() && (errno == ELOOP || errno == ENOTDIR) && ::lstat(dir.c_str(), &st) == 0)
    return Refusal(Untrusted(dir, st, true));
  if (!fd.valid() || ::fstat(fd.get(), &st) != 0) return Failure("cannot open", dir, errno);
  if (const std::string why = Untrusted(dir, st, true); !why.empty()) return Refusal(why);
  if ((st.st_mode & kPermissionBits) != kPrivateMode) {
    if (::fchmod(fd.get(), kPrivateMode) != 0) return Failure("cannot restrict", dir, errno);
    if (mended != nullptr) *mended = true;
  }
  return RemoveAcls(fd.get(), dir, true);
}

Status SecureServiceFile(const std::string& path, bool* mended) {
  if (mended != nullptr) *mended = false;
  if (Status parents = CheckTrustedParents(path); !parents.ok()) return parents;
  struct stat named {};
  if (::lstat(path.c_str(), &named) != 0) return errno == ENOENT ? Status() : Failure("cannot read", path, errno);
  if (const std::string why = Untrusted(path, named, false); !why.empty()) return Refusal(why);
  vx::UniqueFd fd(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  struct stat st {};
  if (!fd.valid() || ::fstat(fd.get(), &st) != 0) return Failure("cannot open", path, errno);
  // What was opened must be what was looked at.
  if (st.st_ino != named.st_ino || st.st_dev != named.st_dev) return Refusal(path + " was replaced while it was checked");
  if ((st.st_mode & kOthersBits) != 0) {
    if (::fchmod(fd.get(), (st.st_mode & kPermissionBits & ~kOthersBits) | kPrivateFileMode) != 0)
      return Failure("cannot restrict", path, errno);
    if (mended != nullptr) *mended = true;
  }
  return RemoveAcls(fd.get(), path, false);
}

bool EnablePrivilege(int capability) {
  if (capability < 0 || capability > CAP_LAST_CAP) return false;
  __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
  __user_cap_data_struct data[_LINUX_CAPABILITY_U32S_3] = {};
  if (::syscall(SYS_capget, &header, data) != 0) return false;
  const unsigned word = static_cast<unsigned>(capability) / 32;
  const uint32_t bit = 1u << (static_cast<unsigned>(capability) % 32);
  if ((data[word].effective & bit) != 0) return true;
  if ((data[word].permitted & bit) == 0) return false;
  data[word].effective |= bit;
  return ::syscall(SYS_capset, &header, data) == 0;
}

}  // namespace tarn
