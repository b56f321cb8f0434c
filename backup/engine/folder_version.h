// Test and benchmark support: stores a local folder as a version of an open
// repository the way the backup walk stores it, with one root entry named
// after the folder that records it as its source, so that restores can be
// tried on real trees. Header-only; the calling thread only.
#pragma once

#include <string>
#include <vector>

#include "backup/engine/blob_sink.h"
#include "backup/engine/folder_walk.h"
#include "backup/engine/local_path.h"
#include "backup/engine/progress.h"
#include "backup/repo/repo.h"

namespace tarn::backup {

// The walk's problems come back in `problems`; a folder that cannot be
// listed at all is code 1.
inline Status StoreFolderVersion(Repo& repo, const std::string& source, SnapshotInfo& version,
                                 std::vector<std::string>& problems) {
  class Sink : public BlobSink {
   public:
    explicit Sink(Repo& repo) : repo_(repo) {}
    Status storeBlob(uint8_t type, const uint8_t* data, size_t size, BlobId& id) override {
      return repo_.storeBlob(type, data, size, id);
    }
    bool hasBlob(const BlobId& id) const override { return repo_.hasBlob(id); }

   private:
    Repo& repo_;
  } sink(repo);
  Progress progress;
  const std::vector<std::string> excludes;
  FolderWalk walk(sink, repo.chunkerParams, excludes, nullptr, progress, nullptr, problems);
  ListingEntry root;
  root.name = LastComponent(source);
  root.isDir = true;
  root.attributes = kAttributeDirectory;
  root.src = source;
  bool stored = false;
  Status st = walk.backupFolder(source, root.tree, stored);
  if (!st.ok()) return st;
  if (!stored) return Status(Status::kNotFound, "cannot list " + source);
  const std::string listing = WriteFolderListing({root});
  version.sources = {source};
  st = repo.storeBlob(kBlobTree, listing.data(), listing.size(), version.tree);
  if (st.ok()) st = repo.flush();
  if (st.ok()) st = repo.writeSnapshot(version);
  return st;
}

}  // namespace tarn::backup
