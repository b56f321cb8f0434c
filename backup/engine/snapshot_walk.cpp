#include "backup/engine/snapshot_walk.h"

#include <string_view>

#include "backup/repo/folder_listing.h"

namespace tarn::backup {
namespace {

constexpr size_t kShortHex = 8;

}  // namespace

Status WalkSnapshots(Repo& repo, const std::vector<SnapshotInfo>& snapshots, const CancelToken* cancel,
                     const BlobVisitor& visit) {
  BlobIdSet visited;
  std::vector<BlobId> stack;
  for (const SnapshotInfo& s : snapshots) stack.push_back(s.tree);
  std::vector<uint8_t> bytes;
  std::vector<ListingEntry> entries;
  while (!stack.empty()) {
    if (IsCancelled(cancel)) return Status(Status::kCanceled, "");
    const BlobId id = stack.back();
    stack.pop_back();
    if (!visited.insert(id).second) continue;
    visit(id, true);
    Status st = repo.readBlob(id, bytes);
    if (!st.ok()) return st;
    entries.clear();
    if (!ParseFolderListing(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()), entries))
      return Status(Status::kProtocol, "tree " + BlobIdToHex(id).substr(0, kShortHex) + " is damaged");
    for (const ListingEntry& e : entries) {
      if (e.isDir) {
        stack.push_back(e.tree);
        continue;
      }
      for (const BlobId& data : e.content) visit(data, false);
    }
  }
  return Status();
}

Status CollectReferenced(Repo& repo, const std::vector<SnapshotInfo>& snapshots, BlobIdSet& referenced,
                         const CancelToken* cancel) {
  return WalkSnapshots(repo, snapshots, cancel, [&](const BlobId& id, bool) { referenced.insert(id); });
}

}  // namespace tarn::backup
