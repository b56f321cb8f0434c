#include "testing/remote_tree.h"

#include <vector>

namespace tarn::test {

void RemoveRemoteTree(IBackend& backend, const std::string& path) {
  std::vector<DirEntry> entries;
  if (backend.list(path, entries).ok()) {
    for (const DirEntry& e : entries) {
      if (e.attr.isDir())
        RemoveRemoteTree(backend, path + "/" + e.name);
      else
        (void)backend.remove(path + "/" + e.name, false);
    }
  }
  (void)backend.remove(path, true);
}

}  // namespace tarn::test
