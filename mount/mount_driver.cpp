#include "mount/mount_driver.h"

#define FUSE_USE_VERSION 312
#include <fuse_lowlevel.h>
#include <unistd.h>

#include <cstdlib>
#include <string_view>

namespace tarn {
namespace {

constexpr const char* kDevice = "/dev/fuse";
constexpr const char* kHelper = "fusermount3";
// Where the helper is looked for when PATH is unset (a service's bare
// environment).
constexpr const char* kDefaultSearchPath = "/usr/local/bin:/usr/bin:/bin";

bool SettingSelectsFuse(const std::string& setting) {
  return setting.empty() || setting == "auto" || setting == "dokan";
}

bool FindExecutable(std::string_view searchPath, const char* name) {
  while (!searchPath.empty()) {
    const size_t colon = searchPath.find(':');
    std::string_view dir = searchPath.substr(0, colon);
    searchPath = colon == std::string_view::npos ? std::string_view() : searchPath.substr(colon + 1);
    if (dir.empty()) continue;
    const std::string candidate = std::string(dir) + "/" + name;
    if (::access(candidate.c_str(), X_OK) == 0) return true;
  }
  return false;
}

}  // namespace

MountDriver DetectMountDriverAt(const std::string& setting, const std::string& device, const std::string& searchPath) {
  MountDriver found;
  if (!SettingSelectsFuse(setting)) return found;
  if (::access(device.c_str(), R_OK | W_OK) != 0 || !FindExecutable(searchPath, kHelper)) return found;
  found.name = "fuse";
  found.version = fuse_pkgversion();
  return found;
}

MountDriver DetectMountDriver(const std::string& setting) {
  const char* path = std::getenv("PATH");
  return DetectMountDriverAt(setting, kDevice, path != nullptr && *path != '\0' ? path : kDefaultSearchPath);
}

}  // namespace tarn
