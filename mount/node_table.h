// The node numbers the kernel holds for one mounted drive: each node is a
// name in a parent folder, so a folder rename moves everything beneath it
// by changing one record. Nodes live while the kernel counts lookups of
// them or while a known child names them as its parent. Owned by the FUSE
// file system object; any of its callback threads may call it.
//
// Locks: one reader-writer mutex over the whole table; paths are built
// under the shared side, every change takes the exclusive side.
#pragma once

#include <cstdint>
#include <functional>
#include <shared_mutex>
#include <string>
#include <string_view>
#include <unordered_map>


namespace tarn {

class NodeTable {
 public:
  // The kernel's fixed number for the root of a mount.
  static constexpr uint64_t kRootId = 1;

  NodeTable();

  // The remote path of a node ("/" for the root); false when the node is
  // unknown or its name was removed.
  bool path(uint64_t id, std::string& out) const;
  // The remote path of `name` in the folder `parent`.
  bool childPath(uint64_t parent, std::string_view name, std::string& out) const;

  // The node of `name` in `parent`, made when new, with one more lookup
  // counted; 0 when the parent is unknown. `changedAt` (may be null): see
  // noteChanged.
  uint64_t lookup(uint64_t parent, std::string_view name, uint64_t* changedAt = nullptr);
  // The kernel dropped `count` lookups of the node.
  void forget(uint64_t id, uint64_t count);
  // The name was deleted: its node stays for the handles that hold it but
  // has no path any more.
  void remove(uint64_t parent, std::string_view name);
  // The node at (parent, name) now sits at (newParent, newName); a node
  // that held the new name loses it.
  void rename(uint64_t parent, std::string_view name, uint64_t newParent, std::string_view newName);

  // What the kernel may keep cached of a node is named by a fingerprint of
  // the version it was given (size and time of a file, names of a folder;
  // 0 for none). Records `fingerprint` and tells whether it equals the one
  // recorded before, so that the kernel's copy is still the current one.
  bool sameVersion(uint64_t id, uint64_t fingerprint);
  void setVersion(uint64_t id, uint64_t fingerprint);

  // The kernel learns a file's size and times from this side's writes,
  // truncations and closes too, not only from replies: each is counted, and
  // the node records the count of its last one, so that attributes read
  // before it (a listing taken earlier) are known to be older than the
  // kernel's.
  void noteChanged(uint64_t id);
  uint64_t changeCount() const;

  size_t size() const;

 private:
  struct Node {
    uint64_t parent = 0;
    std::string name;
    bool attached = true;   // false once the name was removed or replaced
    uint64_t lookups = 0;   // the kernel's count
    uint64_t children = 0;  // known nodes whose parent this is
    uint64_t version = 0;   // fingerprint of what the kernel holds
    uint64_t changedAt = 0; // changes_ at the node's last local change
  };
  struct Key {
    uint64_t parent;
    std::string name;
    bool operator==(const Key&) const = default;
  };
  struct KeyHash {
    size_t operator()(const Key& k) const noexcept {
      return std::hash<std::string>()(k.name) ^ (std::hash<uint64_t>()(k.parent) * 0x9e3779b97f4a7c15ull);
    }
  };

  bool pathLocked(uint64_t id, std::string& out) const;
  void detachLocked(Node& node);
  // Frees the node when nothing holds it, then its parent likewise.
  void releaseLocked(uint64_t id);

  mutable std::shared_mutex mu_;
  std::unordered_map<uint64_t, Node> nodes_;         // guarded by mu_
  std::unordered_map<Key, uint64_t, KeyHash> byName_;  // guarded by mu_
  uint64_t nextId_ = kRootId + 1;                      // guarded by mu_
  uint64_t changes_ = 0;                               // guarded by mu_
};

}  // namespace tarn
