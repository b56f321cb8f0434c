// One FUSE connection as the kernel's control folder shows it
// (/sys/fs/fuse/connections/N, N from the mount's device), and its abort,
// which fails every waiting request and ends the session's reads.
//
// The kernel gives a device number back when a mount goes, and the next
// mount may get it: an abort by number alone could end another drive's
// connection. So the control folder's inode, which the kernel numbers
// afresh for each connection, is taken while the mount is known to be ours,
// and the abort goes only to a folder that still has it. Plain values; any
// thread.
#pragma once

#include <sys/types.h>

namespace tarn {

struct FuseConnection {
  dev_t device = 0;
  ino_t identity = 0;  // 0: not known (no control file system, not root)

  // The connection of a mount's device, taken now (mounting the control
  // file system where it is missing and this process may).
  static FuseConnection Of(dev_t device);
  // Aborts the connection if it is still this one (or, identity unknown,
  // whatever holds the number). False when nothing was aborted.
  bool abort() const;
};

}  // namespace tarn
