#include "backup/engine/snapshot_walk.h"

#include <string_view>
#include <unordered_map>

#include "backup/repo/folder_listing.h"

namespace tarn::backup {
namespace {

constexpr size_t kShortHex = 8;

// One tree on the walk's way down: the subtrees still to walk, and whether
// a listing at or below it could not be read.
struct Frame {
  BlobId id;
  std::vector<BlobId> subtrees;
  size_t next = 0;
  bool lost = false;
};

}  // namespace

Status WalkSnapshots(Repo& repo, const std::vector<SnapshotInfo>& snapshots, const CancelToken* cancel,
                     const BlobVisitor& visit, WalkLoss* loss) {
  // Every tree met, and whether a lost listing lies at or below it; a tree
  // still on the way down counts as whole. Trees end after what lies below
  // them, so a snapshot learns what any tree it shares with another needs.
  std::unordered_map<BlobId, bool, BlobIdHash> walked;
  std::vector<uint8_t> bytes;
  std::vector<ListingEntry> entries;
  std::vector<Frame> path;
  auto enter = [&](const BlobId& id) -> Status {
    if (IsCancelled(cancel)) return Status(Status::kCanceled, "");
    walked.emplace(id, false);
    visit(id, true);
    Frame frame;
    frame.id = id;
    entries.clear();
    Status st = repo.readBlob(id, bytes);
    // Only what the repository knows is lost may be walked past: a failed
    // read that left the blob held may have been the storage's.
    bool lost = !st.ok() && repo.blobState(id) != BlobState::kHeld;
    if (st.ok() &&
        !ParseFolderListing(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()), entries)) {
      st = Status(Status::kProtocol, "tree " + BlobIdToHex(id).substr(0, kShortHex) + " is damaged");
      lost = true;
    }
    if (!st.ok()) {
      if (loss == nullptr || !lost) return st;
      loss->trees.emplace_back(id, st);
      frame.lost = true;
      entries.clear();
    }
    for (const ListingEntry& e : entries) {
      if (e.isDir) {
        frame.subtrees.push_back(e.tree);
        continue;
      }
      for (const BlobId& data : e.content) visit(data, false);
    }
    path.push_back(std::move(frame));
    return Status();
  };

  for (const SnapshotInfo& s : snapshots) {
    if (walked.count(s.tree) == 0) {
      Status st = enter(s.tree);
      if (!st.ok()) return st;
    }
    while (!path.empty()) {
      Frame& top = path.back();
      if (top.next < top.subtrees.size()) {
        const BlobId child = top.subtrees[top.next++];
        auto seen = walked.find(child);
        if (seen != walked.end()) {
          top.lost = top.lost || seen->second;
          continue;
        }
        Status st = enter(child);
        if (!st.ok()) return st;
        continue;
      }
      const bool lost = top.lost;
      walked[top.id] = lost;
      path.pop_back();
      if (!path.empty()) path.back().lost = path.back().lost || lost;
    }
    if (loss != nullptr) loss->incomplete.push_back(walked[s.tree]);
  }
  return Status();
}

Status CollectReferenced(Repo& repo, const std::vector<SnapshotInfo>& snapshots, BlobIdSet& referenced,
                         const CancelToken* cancel, WalkLoss* loss) {
  return WalkSnapshots(repo, snapshots, cancel, [&](const BlobId& id, bool) { referenced.insert(id); }, loss);
}

}  // namespace tarn::backup
