#include "mount/mount_table.h"

#include <sys/sysmacros.h>

#include <cstdio>
#include <fstream>

namespace tarn {
namespace {

// Calls `visit` with the mount point and device of every line of the table.
template <typename Visit>
void ForEachMount(Visit visit) {
  // Read line by line: proc files report no size to read up to.
  std::ifstream table("/proc/self/mountinfo");
  std::string line;
  while (std::getline(table, line)) {
    // id parent major:minor root mountpoint ...; the point's blanks and
    // backslashes come as octal escapes.
    unsigned id = 0, parent = 0, maj = 0, min = 0;
    char root[2] = {};
    int used = 0;
    if (std::sscanf(line.c_str(), "%u %u %u:%u %1s%n", &id, &parent, &maj, &min, root, &used) != 5) continue;
    const size_t start = line.find(' ', static_cast<size_t>(used));
    if (start == std::string::npos) continue;
    std::string point;
    for (size_t i = start + 1; i < line.size() && line[i] != ' '; ++i) {
      if (line[i] == '\\' && i + 3 < line.size()) {
        int code = 0;
        for (size_t k = i + 1; k <= i + 3; ++k) code = code * 8 + (line[k] - '0');
        point += static_cast<char>(code);
        i += 3;
      } else {
        point += line[i];
      }
    }
    visit(point, makedev(maj, min));
  }
}

}  // namespace

dev_t MountDevice(const std::string& path) {
  dev_t found = 0;
  // The last mount there is the live one.
  ForEachMount([&](const std::string& point, dev_t device) {
    if (point == path) found = device;
  });
  return found;
}

std::vector<std::string> MountPoints() {
  std::vector<std::string> points;
  ForEachMount([&](const std::string& point, dev_t) { points.push_back(point); });
  return points;
}

}  // namespace tarn
