#include "testing/deep_tree.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "foundation/file_util.h"

namespace tarn::test {
namespace {

constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

// The names in the folder `fd`, "." and ".." left out.
bool Names(int fd, std::vector<std::string>& out) {
  out.clear();
  DIR* dir = ::fdopendir(::dup(fd));
  if (dir == nullptr) return false;
  ::rewinddir(dir);
  while (dirent* d = ::readdir(dir)) {
    const std::string name = d->d_name;
    if (name != "." && name != "..") out.push_back(name);
  }
  ::closedir(dir);
  return true;
}

}  // namespace

bool MakeDeepChain(const std::string& root, size_t depth, const std::string& name, const std::string& file,
                   const std::string& content) {
  vx::UniqueFd folder(::open(root.c_str(), kFolderFlags));
  for (size_t i = 0; i < depth && folder.valid(); ++i) {
    if (::mkdirat(folder.get(), name.c_str(), 0755) != 0 && errno != EEXIST) return false;
    folder = vx::UniqueFd(::openat(folder.get(), name.c_str(), kFolderFlags));
  }
  if (!folder.valid()) return false;
  vx::UniqueFd out(::openat(folder.get(), file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
  return out.valid() && vx::WriteAll(out.get(), content.data(), content.size());
}

bool ReadDeepChain(const std::string& root, const std::string& name, const std::string& file, size_t& depth,
                   std::string& content) {
  depth = 0;
  content.clear();
  vx::UniqueFd folder(::open(root.c_str(), kFolderFlags));
  if (!folder.valid()) return false;
  for (;;) {
    vx::UniqueFd next(::openat(folder.get(), name.c_str(), kFolderFlags));
    if (!next.valid()) break;
    folder = std::move(next);
    ++depth;
  }
  vx::UniqueFd in(::openat(folder.get(), file.c_str(), O_RDONLY | O_CLOEXEC));
  if (!in.valid()) return false;
  char buffer[4096];
  ssize_t n;
  while ((n = ::read(in.get(), buffer, sizeof buffer)) > 0) content.append(buffer, size_t(n));
  return n == 0;
}

bool RemoveTree(const std::string& path) {
  vx::UniqueFd top(::open(path.c_str(), kFolderFlags));
  if (!top.valid()) return ::unlink(path.c_str()) == 0 || errno == ENOENT;
  uint64_t moved = 0;
  std::vector<std::string> names, inner;
  while (Names(top.get(), names) && !names.empty()) {
    for (const std::string& name : names) {
      struct stat st {};
      if (::fstatat(top.get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return false;
      if (!S_ISDIR(st.st_mode)) {
        if (::unlinkat(top.get(), name.c_str(), 0) != 0) return false;
        continue;
      }
      if (::unlinkat(top.get(), name.c_str(), AT_REMOVEDIR) == 0) continue;
      vx::UniqueFd sub(::openat(top.get(), name.c_str(), kFolderFlags));
      if (!sub.valid() || !Names(sub.get(), inner)) return false;
      for (const std::string& item : inner) {
        const std::string up = ".up" + std::to_string(moved++);
        if (::renameat(sub.get(), item.c_str(), top.get(), up.c_str()) != 0) return false;
      }
      if (::unlinkat(top.get(), name.c_str(), AT_REMOVEDIR) != 0) return false;
    }
  }
  top = vx::UniqueFd();
  return ::rmdir(path.c_str()) == 0;
}

}  // namespace tarn::test
