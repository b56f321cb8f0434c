#include "mount/fuse_connection.h"

#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <string>

#include "foundation/file_util.h"
#include "foundation/log.h"

namespace tarn {
namespace {

constexpr const char* kConnections = "/sys/fs/fuse/connections";
// The kernel numbers a connection by its device: major above bit 20.
constexpr unsigned kKernelMinorBits = 20;

unsigned Number(dev_t device) { return (major(device) << kKernelMinorBits) | minor(device); }

std::string Folder(dev_t device) { return std::string(kConnections) + "/" + std::to_string(Number(device)); }

}  // namespace

FuseConnection FuseConnection::Of(dev_t device) {
  FuseConnection c;
  c.device = device;
  if (device == 0) return c;
  const std::string folder = Folder(device);
  struct stat st;
  if (::stat(folder.c_str(), &st) != 0 && ::geteuid() == 0) {
    ::mount("fusectl", kConnections, "fusectl", 0, nullptr);
    if (::stat(folder.c_str(), &st) != 0) return c;
  }
  c.identity = st.st_ino;
  return c;
}

bool FuseConnection::abort() const {
  if (device == 0) return false;
  const std::string folder = Folder(device);
  // The folder is held open: should the connection go and its number come
  // back for another between the look and the write, the old folder is
  // empty and the write reaches nobody.
  const int dir = ::open(folder.c_str(), O_DIRECTORY | O_RDONLY | O_CLOEXEC);
  if (dir < 0) return false;  // gone with its mount
  struct stat st;
  if (identity != 0 && (::fstat(dir, &st) != 0 || st.st_ino != identity)) {
    vx::log::write(vx::log::kDebug, "mount: fuse connection %u is another mount's now; not aborted", Number(device));
    ::close(dir);
    return false;
  }
  const int fd = ::openat(dir, "abort", O_WRONLY | O_CLOEXEC);
  ::close(dir);
  if (fd < 0) {
    vx::log::write(vx::log::kWarn, "mount: cannot abort fuse connection %u", Number(device));
    return false;
  }
  const bool done = vx::WriteAll(fd, "1", 1);
  ::close(fd);
  return done;
}

}  // namespace tarn
