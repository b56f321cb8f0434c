#include "platform/secure_folder.h"

#include <fcntl.h>
#include <linux/capability.h>
#include <stdio.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <string_view>

#include "foundation/file_util.h"
#include "foundation/text.h"

namespace tarn {
namespace {

constexpr mode_t kPrivateMode = 0700;
constexpr const char* kAclAccess = "system.posix_acl_access";
constexpr const char* kAclDefault = "system.posix_acl_default";

Status Failure(std::string_view step, const std::string& dir, int error) {
  return Status(Status::kAccessDenied, std::string(step) + " " + dir + ": " + vx::FormatWin32Error(error), error);
}

// O_NOFOLLOW refuses a link in the folder's own place; O_DIRECTORY anything
// that is no folder.
vx::UniqueFd OpenFolder(const std::string& dir) {
  return vx::UniqueFd(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
}

bool OwnedByRoot(const vx::UniqueFd& fd) {
  struct stat st {};
  return fd.valid() && ::fstat(fd.get(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == 0;
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

}  // namespace

Status SecurePrivateFolder(const std::string& dir, std::string* setAside) {
  if (setAside != nullptr) setAside->clear();
  if (::mkdir(dir.c_str(), kPrivateMode) != 0 && errno != EEXIST) return Failure("cannot create", dir, errno);
  vx::UniqueFd fd = OpenFolder(dir);
  if (!OwnedByRoot(fd)) {
    fd = vx::UniqueFd();
    std::string aside;
    if (!MoveAside(dir, aside)) return Failure("cannot set aside", dir, errno);
    if (setAside != nullptr) *setAside = aside;
    if (::mkdir(dir.c_str(), kPrivateMode) != 0) return Failure("cannot create", dir, errno);
    fd = OpenFolder(dir);
    // Someone may have been quicker between the mkdir and the open.
    if (!OwnedByRoot(fd)) return Status(Status::kAccessDenied, dir + " was replaced while it was made");
  }
  EnablePrivilege(CAP_CHOWN);
  EnablePrivilege(CAP_FOWNER);
  if (::fchown(fd.get(), 0, 0) != 0) return Failure("cannot take over", dir, errno);
  if (::fchmod(fd.get(), kPrivateMode) != 0) return Failure("cannot restrict", dir, errno);
  // The mode bits say nothing about named users and groups of an ACL.
  for (const char* acl : {kAclAccess, kAclDefault}) {
    if (::fremovexattr(fd.get(), acl) != 0 && errno != ENODATA && errno != ENOTSUP)
      return Failure("cannot remove the access list of", dir, errno);
  }
  return Status();
}

Status CheckTrustedFolder(const std::string& dir) {
  vx::UniqueFd fd = OpenFolder(dir);
  if (!fd.valid()) return Failure("cannot open", dir, errno);
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0) return Failure("cannot read", dir, errno);
  if (st.st_uid != 0) return Status(Status::kAccessDenied, "the data folder " + dir + " does not belong to root");
  if ((st.st_mode & (S_IWGRP | S_IWOTH)) != 0)
    return Status(Status::kAccessDenied, "the data folder " + dir + " is writable by other users");
  return Status();
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
