#include "backends/ssh_nfs/nfs_options.h"

#include <cctype>

namespace tarn {
namespace {

constexpr uint64_t kMaxId = 0xFFFFFFFFull;
constexpr uint64_t kMaxPort = 65535;

std::string Trim(const std::string& s) {
  size_t b = 0;
  size_t e = s.size();
  while (b < e && std::isspace(static_cast<unsigned char>(s[b]))) ++b;
  while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1]))) --e;
  return s.substr(b, e - b);
}

bool ParseNumber(const std::string& text, uint64_t max, uint64_t minimum, uint32_t& out) {
  if (text.empty() || text.size() > 10) return false;
  uint64_t v = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + static_cast<uint64_t>(c - '0');
  }
  if (v > max || v < minimum) return false;
  out = static_cast<uint32_t>(v);
  return true;
}

}  // namespace

Status ParseNfsOptions(const std::string& extra, uint32_t defaultUid, uint32_t defaultGid, NfsOptions& out) {
  out = NfsOptions{};
  out.uid = defaultUid;
  out.gid = defaultGid;
  size_t start = 0;
  while (start <= extra.size()) {
    size_t end = extra.find_first_of(";,", start);
    if (end == std::string::npos) end = extra.size();
    const std::string item = extra.substr(start, end - start);
    start = end + 1;
    const size_t eq = item.find('=');
    if (eq == std::string::npos) continue;
    std::string name = Trim(item.substr(0, eq));
    for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    const std::string value = Trim(item.substr(eq + 1));
    bool good = true;
    if (name == "uid")
      good = ParseNumber(value, kMaxId, 0, out.uid);
    else if (name == "gid")
      good = ParseNumber(value, kMaxId, 0, out.gid);
    else if (name == "mountport")
      good = ParseNumber(value, kMaxPort, 1, out.mountPort);
    else if (name == "nfsport")
      good = ParseNumber(value, kMaxPort, 1, out.nfsPort);
    if (!good) return Status(Status::kInvalid, "invalid nfs option " + name + "=" + value);
  }
  return Status();
}

}  // namespace tarn
