// The kernel's mount table as this process sees it: which folders have a
// file system mounted on them. Read from /proc/self/mountinfo, so that a
// file system that does not answer is never asked. Free functions; any
// thread.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace tarn {

// One line of the table.
struct MountEntry {
  std::string point;
  dev_t device = 0;
  std::string type;    // "fuse.tarn" for this system's drives
  std::string source;
};

// The live (last) mount at `path` (absolute, resolved); device 0 when
// nothing is mounted there.
MountEntry MountAt(const std::string& path);

// The device of the mount at `path` (absolute, resolved), or 0 when nothing
// is mounted there.
dev_t MountDevice(const std::string& path);

// Every folder with a file system mounted on it, in the table's order.
std::vector<std::string> MountPoints();

}  // namespace tarn
