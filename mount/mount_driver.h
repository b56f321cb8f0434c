// Which mount driver this machine offers: FUSE 3 stands where the settings
// name their driver ("auto" or "dokan"). A pure check of the machine; any
// thread.
#pragma once

#include <string>

namespace tarn {

struct MountDriver {
  std::string name;     // "fuse", or empty when no usable driver is installed
  std::string version;  // libfuse's version, e.g. "3.14.0"
};

// The driver for the mountDriver setting ("", "auto" or "dokan"); a setting
// naming any other driver finds none.
MountDriver DetectMountDriver(const std::string& setting);

// The same check against a given device node and a search path for
// fusermount3 (a PATH-style list of folders).
MountDriver DetectMountDriverAt(const std::string& setting, const std::string& device, const std::string& searchPath);

}  // namespace tarn
