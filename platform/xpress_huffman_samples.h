// Real data that every Debian machine holds, for the codec's tests and its
// benchmark (never the library): Python sources, the programs of /usr/bin
// and a tar of /usr/include. Each is sampled as evenly spaced windows of
// 1 MiB from its files concatenated in name order (the tar as tar writes
// it), so that the figures follow what a backup of such folders hands the
// codec, at a size a test can afford. Header-only, any thread.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <sys/wait.h>

namespace tarn::xpress::samples {

enum class RealCorpus { kPython, kPrograms, kHeaders };
constexpr RealCorpus kRealCorpora[] = {RealCorpus::kPython, RealCorpus::kPrograms, RealCorpus::kHeaders};
constexpr size_t kWindowSize = 1048576;

inline const char* CorpusName(RealCorpus c) {
  switch (c) {
    case RealCorpus::kPython:
      return "python";
    case RealCorpus::kPrograms:
      return "usr-bin";
    case RealCorpus::kHeaders:
      return "include-tar";
  }
  return "?";
}

namespace detail {

struct Piece {
  std::filesystem::path path;
  uint64_t size;
};

// Regular files (not links) below `root` accepted by `keep`, in name order.
template <typename Keep>
void AddFiles(const std::filesystem::path& root, Keep keep, std::vector<Piece>& out) {
  namespace fs = std::filesystem;
  std::error_code ec;
  for (fs::recursive_directory_iterator it(root, fs::directory_options::skip_permission_denied, ec), end;
       !ec && it != end; it.increment(ec)) {
    if (it->is_symlink(ec) || !it->is_regular_file(ec) || !keep(it->path())) continue;
    const uint64_t size = it->file_size(ec);
    if (!ec && size != 0) out.push_back({it->path(), size});
    ec.clear();
  }
}

// Windows of the files' concatenation; empty when a file cannot be read.
inline std::vector<uint8_t> WindowsOfFiles(std::vector<Piece> files, size_t windows) {
  std::sort(files.begin(), files.end(), [](const Piece& a, const Piece& b) { return a.path < b.path; });
  uint64_t total = 0;
  for (const Piece& f : files) total += f.size;
  windows = std::min<uint64_t>(windows, total / kWindowSize);
  std::vector<uint8_t> out(windows * kWindowSize);
  size_t file = 0;
  uint64_t fileStart = 0;
  for (size_t w = 0; w < windows; ++w) {
    uint64_t at = windows == 1 ? 0 : w * ((total - kWindowSize) / (windows - 1));
    for (size_t done = 0; done < kWindowSize;) {
      while (at >= fileStart + files[file].size) fileStart += files[file++].size;
      const uint64_t n = std::min<uint64_t>(kWindowSize - done, fileStart + files[file].size - at);
      std::ifstream in(files[file].path, std::ios::binary);
      in.seekg(std::streamoff(at - fileStart));
      if (!in.read(reinterpret_cast<char*>(out.data() + w * kWindowSize + done), std::streamsize(n))) return {};
      done += n;
      at += n;
    }
  }
  return out;
}

inline std::vector<uint8_t> WindowsOfTar(size_t windows) {
  FILE* p = popen("tar -C /usr --sort=name -cf - include 2>/dev/null", "r");
  if (p == nullptr) return {};
  std::vector<uint8_t> tar;
  uint8_t buf[65536];
  for (size_t n; (n = fread(buf, 1, sizeof buf, p)) > 0;) tar.insert(tar.end(), buf, buf + n);
  // tar ends with status 1 when a file changed while it was read: still a tar.
  const int status = pclose(p);
  if (status == -1 || !WIFEXITED(status) || WEXITSTATUS(status) > 1) return {};
  windows = std::min(windows, tar.size() / kWindowSize);
  std::vector<uint8_t> out;
  for (size_t w = 0; w < windows; ++w) {
    const size_t at = windows == 1 ? 0 : w * ((tar.size() - kWindowSize) / (windows - 1));
    out.insert(out.end(), tar.begin() + long(at), tar.begin() + long(at + kWindowSize));
  }
  return out;
}

}  // namespace detail

// Up to `windows` windows of kWindowSize bytes, one after another; fewer
// when the source is smaller, none when it is missing.
inline std::vector<uint8_t> Sample(RealCorpus c, size_t windows) {
  namespace fs = std::filesystem;
  std::vector<detail::Piece> files;
  switch (c) {
    case RealCorpus::kPython: {
      std::error_code ec;
      for (fs::directory_iterator it("/usr/lib", ec), end; !ec && it != end; it.increment(ec))
        if (it->path().filename().string().rfind("python3", 0) == 0 && it->is_directory(ec))
          detail::AddFiles(it->path(), [](const fs::path& p) { return p.extension() == ".py"; }, files);
      return detail::WindowsOfFiles(std::move(files), windows);
    }
    case RealCorpus::kPrograms:
      detail::AddFiles("/usr/bin", [](const fs::path& p) { return p.parent_path() == "/usr/bin"; }, files);
      return detail::WindowsOfFiles(std::move(files), windows);
    case RealCorpus::kHeaders:
      return detail::WindowsOfTar(windows);
  }
  return {};
}

}  // namespace tarn::xpress::samples
