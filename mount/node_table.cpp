#include "mount/node_table.h"

#include <cstring>
#include <mutex>
#include <vector>

#include "foundation/remote_path.h"

namespace tarn {

NodeTable::NodeTable() {
  Node root;
  root.lookups = 1;  // the kernel never forgets the root
  nodes_.emplace(kRootId, std::move(root));
}

bool NodeTable::pathLocked(uint64_t id, std::string& out) const {
  // Names from the node up to the root, then joined in reverse.
  std::vector<const std::string*> names;
  for (uint64_t at = id; at != kRootId;) {
    auto it = nodes_.find(at);
    if (it == nodes_.end() || !it->second.attached) return false;
    names.push_back(&it->second.name);
    at = it->second.parent;
  }
  if (names.empty()) {
    out.assign(1, '/');
    return true;
  }
  size_t total = 0;
  for (const std::string* name : names) total += name->size() + 1;
  out.assign(total, '/');
  char* at = out.data();
  for (auto it = names.rbegin(); it != names.rend(); ++it) {
    std::memcpy(at + 1, (*it)->data(), (*it)->size());
    at += (*it)->size() + 1;
  }
  return true;
}

bool NodeTable::path(uint64_t id, std::string& out) const {
  std::shared_lock<std::shared_mutex> lock(mu_);
  return pathLocked(id, out);
}

bool NodeTable::childPath(uint64_t parent, std::string_view name, std::string& out) const {
  std::string folder;
  {
    std::shared_lock<std::shared_mutex> lock(mu_);
    if (!pathLocked(parent, folder)) return false;
  }
  out = JoinRemotePath(folder, name);
  return true;
}

uint64_t NodeTable::lookup(uint64_t parent, std::string_view name, uint64_t* changedAt) {
  std::unique_lock<std::shared_mutex> lock(mu_);
  if (changedAt != nullptr) *changedAt = 0;
  Key key{parent, std::string(name)};
  auto found = byName_.find(key);
  if (found != byName_.end()) {
    Node& node = nodes_.at(found->second);
    ++node.lookups;
    if (changedAt != nullptr) *changedAt = node.changedAt;
    return found->second;
  }
  auto p = nodes_.find(parent);
  if (p == nodes_.end() || !p->second.attached) return 0;
  ++p->second.children;
  const uint64_t id = nextId_++;
  Node node;
  node.parent = parent;
  node.name = key.name;
  node.lookups = 1;
  nodes_.emplace(id, std::move(node));
  byName_.emplace(std::move(key), id);
  return id;
}

void NodeTable::forget(uint64_t id, uint64_t count) {
  if (id == kRootId) return;
  std::unique_lock<std::shared_mutex> lock(mu_);
  auto it = nodes_.find(id);
  if (it == nodes_.end()) return;
  Node& node = it->second;
  node.lookups = count >= node.lookups ? 0 : node.lookups - count;
  releaseLocked(id);
}

void NodeTable::detachLocked(Node& node) {
  if (!node.attached) return;
  byName_.erase(Key{node.parent, node.name});
  node.attached = false;
}

void NodeTable::releaseLocked(uint64_t id) {
  while (id != kRootId) {
    auto it = nodes_.find(id);
    if (it == nodes_.end()) return;
    Node& node = it->second;
    if (node.lookups != 0 || node.children != 0) return;
    detachLocked(node);
    const uint64_t parent = node.parent;
    nodes_.erase(it);
    auto p = nodes_.find(parent);
    if (p == nodes_.end()) return;
    --p->second.children;
    id = parent;
  }
}

void NodeTable::remove(uint64_t parent, std::string_view name) {
  std::unique_lock<std::shared_mutex> lock(mu_);
  auto found = byName_.find(Key{parent, std::string(name)});
  if (found == byName_.end()) return;
  const uint64_t id = found->second;
  detachLocked(nodes_.at(id));
  releaseLocked(id);
}

void NodeTable::rename(uint64_t parent, std::string_view name, uint64_t newParent, std::string_view newName) {
  std::unique_lock<std::shared_mutex> lock(mu_);
  auto found = byName_.find(Key{parent, std::string(name)});
  auto to = nodes_.find(newParent);
  if (found == byName_.end() || to == nodes_.end()) return;
  const uint64_t id = found->second;
  byName_.erase(found);
  Key target{newParent, std::string(newName)};
  uint64_t replaced = 0;
  if (auto it = byName_.find(target); it != byName_.end()) {
    replaced = it->second;
    nodes_.at(replaced).attached = false;
    byName_.erase(it);
  }
  Node& node = nodes_.at(id);
  const uint64_t oldParent = node.parent;
  if (oldParent != newParent) {
    --nodes_.at(oldParent).children;
    ++to->second.children;
    node.parent = newParent;
  }
  node.name = target.name;
  byName_.emplace(std::move(target), id);
  if (replaced != 0) releaseLocked(replaced);
  if (oldParent != newParent) releaseLocked(oldParent);
}

bool NodeTable::sameVersion(uint64_t id, uint64_t fingerprint) {
  std::unique_lock<std::shared_mutex> lock(mu_);
  auto it = nodes_.find(id);
  if (it == nodes_.end()) return false;
  const bool same = fingerprint != 0 && it->second.version == fingerprint;
  it->second.version = fingerprint;
  return same;
}

void NodeTable::noteChanged(uint64_t id) {
  std::unique_lock<std::shared_mutex> lock(mu_);
  auto it = nodes_.find(id);
  if (it != nodes_.end()) it->second.changedAt = ++changes_;
}

uint64_t NodeTable::changeCount() const {
  std::shared_lock<std::shared_mutex> lock(mu_);
  return changes_;
}

void NodeTable::setVersion(uint64_t id, uint64_t fingerprint) {
  std::unique_lock<std::shared_mutex> lock(mu_);
  auto it = nodes_.find(id);
  if (it != nodes_.end()) it->second.version = fingerprint;
}

size_t NodeTable::size() const {
  std::shared_lock<std::shared_mutex> lock(mu_);
  return nodes_.size();
}

}  // namespace tarn
