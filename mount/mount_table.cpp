#include "mount/mount_table.h"

#include <sys/sysmacros.h>

#include <algorithm>
#include <cstdio>
#include <fstream>

namespace tarn {
namespace {

// Undoes the octal escapes (blanks, backslashes) of one field.
std::string Unescaped(const std::string& line, size_t from, size_t to) {
  std::string out;
  for (size_t i = from; i < to; ++i) {
    if (line[i] == '\\' && i + 3 < to) {
      int code = 0;
      for (size_t k = i + 1; k <= i + 3; ++k) code = code * 8 + (line[k] - '0');
      out += static_cast<char>(code);
      i += 3;
    } else {
      out += line[i];
    }
  }
  return out;
}

// Where the blank-separated field that begins at `from` ends.
size_t FieldEnd(const std::string& line, size_t from) { return std::min(line.find(' ', from), line.size()); }

// Calls `visit` with every line of the table.
template <typename Visit>
void ForEachMount(Visit visit) {
  // Read line by line: proc files report no size to read up to.
  std::ifstream table("/proc/self/mountinfo");
  std::string line;
  while (std::getline(table, line)) {
    // id parent major:minor root mountpoint options [optional fields] - type
    // source superoptions
    unsigned id = 0, parent = 0, maj = 0, min = 0;
    char root[2] = {};
    int used = 0;
    if (std::sscanf(line.c_str(), "%u %u %u:%u %1s%n", &id, &parent, &maj, &min, root, &used) != 5) continue;
    const size_t start = line.find(' ', static_cast<size_t>(used));
    if (start == std::string::npos) continue;
    const size_t end = FieldEnd(line, start + 1);
    MountEntry entry;
    entry.point = Unescaped(line, start + 1, end);
    entry.device = makedev(maj, min);
    const size_t dash = line.find(" - ", end);
    if (dash != std::string::npos) {
      const size_t typeEnd = FieldEnd(line, dash + 3);
      entry.type = Unescaped(line, dash + 3, typeEnd);
      if (typeEnd < line.size()) entry.source = Unescaped(line, typeEnd + 1, FieldEnd(line, typeEnd + 1));
    }
    visit(entry);
  }
}

}  // namespace

MountEntry MountAt(const std::string& path) {
  MountEntry found;
  // The last mount there is the live one.
  ForEachMount([&](const MountEntry& entry) {
    if (entry.point == path) found = entry;
  });
  return found;
}

dev_t MountDevice(const std::string& path) { return MountAt(path).device; }

std::vector<std::string> MountPoints() {
  std::vector<std::string> points;
  ForEachMount([&](const MountEntry& entry) { points.push_back(entry.point); });
  return points;
}

}  // namespace tarn
