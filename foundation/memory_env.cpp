#include "foundation/memory_env.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <unordered_map>

#include "foundation/remote_path.h"

namespace tarn {
namespace {

Status Failure(const char* step, const std::string& path, int err) {
  int32_t code = Status::kIo;
  switch (err) {
    case ENOENT: code = Status::kNotFound; break;
    case EEXIST: code = Status::kExists; break;
    case EISDIR: code = Status::kIsDirectory; break;
    case ENOTDIR: code = Status::kNotDirectory; break;
    case ENOSPC: code = Status::kNoSpace; break;
    default: break;
  }
  return Status(code, std::string("cannot ") + step + " " + path, err);
}

uint64_t PageOf(uint64_t offset) { return offset / kMemoryEnvPageBytes; }

// Pages of [offset, offset + length) that no write reached yet.
uint64_t UnwrittenPages(const std::vector<bool>& pages, uint64_t offset, uint64_t length) {
  uint64_t n = 0;
  for (uint64_t p = PageOf(offset); length != 0 && p <= PageOf(offset + length - 1); ++p)
    if (p >= pages.size() || !pages[p]) ++n;
  return n;
}

}  // namespace

// An open file: the node it was opened on, which lives on after an unlink,
// as an open file does on a POSIX system.
class MemoryEnv::File : public EnvFile {
 public:
  File(MemoryEnv* env, std::shared_ptr<Node> node, std::string path, bool readable, bool writable)
      : env_(env), node_(std::move(node)), path_(std::move(path)), readable_(readable), writable_(writable) {
    env_->openFiles_.fetch_add(1);
  }
  ~File() override { env_->openFiles_.fetch_sub(1); }

  Status read(uint64_t offset, void* buffer, size_t length, size_t* got) override {
    *got = 0;
    if (!readable_) return Failure("read", path_, EBADF);
    Status st = env_->runHook(Step::kRead, path_);
    if (!st.ok()) return st;
    std::lock_guard<std::mutex> lock(env_->mu_);
    const std::string& data = node_->data;
    if (offset >= data.size()) return Status();
    const size_t n = static_cast<size_t>(std::min<uint64_t>(length, data.size() - offset));
    std::memcpy(buffer, data.data() + offset, n);
    *got = n;
    return Status();
  }

  Status write(uint64_t offset, const void* data, size_t length) override {
    if (!writable_) return Failure("write", path_, EBADF);
    if (offset > kMemoryEnvMaxFileBytes || length > kMemoryEnvMaxFileBytes - offset)
      return Failure("write", path_, ENOSPC);
    Status st = env_->runHook(Step::kWrite, path_);
    if (!st.ok()) return st;
    std::lock_guard<std::mutex> lock(env_->mu_);
    if (!env_->fitsLocked(UnwrittenPages(node_->pages, offset, length), false)) return Failure("write", path_, ENOSPC);
    std::string& bytes = node_->data;
    if (bytes.size() < offset + length) bytes.resize(static_cast<size_t>(offset + length), '\0');
    if (length != 0) {
      std::memcpy(bytes.data() + offset, data, length);
      std::vector<bool>& pages = node_->pages;
      if (pages.size() <= PageOf(offset + length - 1)) pages.resize(PageOf(offset + length - 1) + 1, false);
      for (uint64_t p = PageOf(offset); p <= PageOf(offset + length - 1); ++p) pages[p] = true;
    }
    node_->mtime = ++env_->clock_;
    return Status();
  }

  Status truncate(uint64_t size) override {
    if (!writable_) return Failure("truncate", path_, EBADF);
    if (size > kMemoryEnvMaxFileBytes) return Failure("truncate", path_, ENOSPC);
    Status st = env_->runHook(Step::kTruncate, path_);
    if (!st.ok()) return st;
    std::lock_guard<std::mutex> lock(env_->mu_);
    node_->data.resize(static_cast<size_t>(size), '\0');
    // A shorter file gives back the pages past its end; a longer one takes none.
    const uint64_t keep = (size + kMemoryEnvPageBytes - 1) / kMemoryEnvPageBytes;
    if (node_->pages.size() > keep) node_->pages.resize(keep);
    node_->mtime = ++env_->clock_;
    return Status();
  }

  Status sync() override {
    Status st = env_->runHook(Step::kSync, path_);
    if (!st.ok()) return st;
    std::lock_guard<std::mutex> lock(env_->mu_);
    node_->durableData = node_->data;
    return Status();
  }

  Status size(uint64_t* out) override {
    std::lock_guard<std::mutex> lock(env_->mu_);
    *out = node_->data.size();
    return Status();
  }

  Status close() override { return Status(); }

 private:
  MemoryEnv* const env_;
  const std::shared_ptr<Node> node_;
  const std::string path_;
  const bool readable_;
  const bool writable_;
};

MemoryEnv::MemoryEnv() : root_(std::make_shared<Node>()) { root_->isDir = true; }

MemoryEnv::~MemoryEnv() = default;

void MemoryEnv::setHook(Hook hook) {
  std::lock_guard<std::mutex> lock(mu_);
  hook_ = std::move(hook);
}

Status MemoryEnv::runHook(Step step, const std::string& path, const std::string& to) {
  Hook hook;
  {
    std::lock_guard<std::mutex> lock(mu_);
    hook = hook_;
  }
  return hook ? hook(StepInfo{step, path, to}) : Status();
}

std::shared_ptr<MemoryEnv::Node> MemoryEnv::findLocked(const std::string& path) const {
  std::shared_ptr<Node> node = root_;
  for (const std::string& part : SplitPath(path)) {
    if (!node->isDir) return nullptr;
    auto it = node->entries.find(part);
    if (it == node->entries.end()) return nullptr;
    node = it->second;
  }
  return node;
}

Status MemoryEnv::parentLocked(const std::string& path, std::shared_ptr<Node>* dir, std::string* name) const {
  std::vector<std::string> parts = SplitPath(path);
  if (parts.empty()) return Failure("use", path, EISDIR);  // the root itself
  *name = parts.back();
  std::shared_ptr<Node> node = root_;
  for (size_t i = 0; i + 1 < parts.size(); ++i) {
    auto it = node->entries.find(parts[i]);
    if (it == node->entries.end()) return Failure("find", path, ENOENT);
    node = it->second;
    if (!node->isDir) return Failure("find", path, ENOTDIR);
  }
  *dir = node;
  return Status();
}

Status MemoryEnv::open(const std::string& path, OpenMode mode, std::unique_ptr<EnvFile>* file) {
  bool exists;
  {
    std::lock_guard<std::mutex> lock(mu_);
    std::shared_ptr<Node> node = findLocked(path);
    if (node && node->isDir) return Failure("open", path, EISDIR);
    exists = node != nullptr;
  }
  if (!exists && mode == OpenMode::kRead) return Failure("open", path, ENOENT);
  if (exists && mode == OpenMode::kCreateNew) return Failure("open", path, EEXIST);
  const bool creates = !exists || mode == OpenMode::kReplace;
  if (creates) {
    Status st = runHook(exists ? Step::kTruncate : Step::kCreate, path);
    if (!st.ok()) return st;
  }
  std::lock_guard<std::mutex> lock(mu_);
  std::shared_ptr<Node> dir;
  std::string name;
  Status st = parentLocked(path, &dir, &name);
  if (!st.ok()) return st;
  auto found = dir->entries.find(name);
  if (found == dir->entries.end() && !fitsLocked(0, true)) return Failure("create", path, ENOSPC);
  std::shared_ptr<Node>& slot = dir->entries[name];
  if (!slot) {
    slot = std::make_shared<Node>();
    slot->mtime = ++clock_;
  } else if (mode == OpenMode::kCreateNew) {
    return Failure("open", path, EEXIST);  // made by another thread meanwhile
  } else if (mode == OpenMode::kReplace) {
    slot->data.clear();
    slot->pages.clear();
    slot->mtime = ++clock_;
  }
  const bool readable = mode == OpenMode::kRead || mode == OpenMode::kReadWrite;
  const bool writable = mode != OpenMode::kRead;
  *file = std::make_unique<File>(this, slot, path, readable, writable);
  return Status();
}

Status MemoryEnv::rename(const std::string& from, const std::string& to) {
  Status st = runHook(Step::kRename, from, to);
  if (!st.ok()) return st;
  std::lock_guard<std::mutex> lock(mu_);
  std::shared_ptr<Node> fromDir, toDir;
  std::string fromName, toName;
  st = parentLocked(from, &fromDir, &fromName);
  if (!st.ok()) return st;
  auto it = fromDir->entries.find(fromName);
  if (it == fromDir->entries.end()) return Failure("rename", from, ENOENT);
  st = parentLocked(to, &toDir, &toName);
  if (!st.ok()) return st;
  auto target = toDir->entries.find(toName);
  if (target != toDir->entries.end() && target->second->isDir) return Failure("rename", from, EISDIR);
  std::shared_ptr<Node> node = it->second;
  fromDir->entries.erase(it);
  toDir->entries[toName] = node;
  return Status();
}

Status MemoryEnv::unlink(const std::string& path) {
  Status st = runHook(Step::kUnlink, path);
  if (!st.ok()) return st;
  std::lock_guard<std::mutex> lock(mu_);
  std::shared_ptr<Node> dir;
  std::string name;
  st = parentLocked(path, &dir, &name);
  if (!st.ok()) return Failure("delete", path, st.native);
  auto it = dir->entries.find(name);
  if (it == dir->entries.end()) return Failure("delete", path, ENOENT);
  if (it->second->isDir) return Failure("delete", path, EISDIR);
  dir->entries.erase(it);
  return Status();
}

Status MemoryEnv::syncDir(const std::string& path) {
  Status st = runHook(Step::kSyncDir, path);
  if (!st.ok()) return st;
  std::lock_guard<std::mutex> lock(mu_);
  std::shared_ptr<Node> dir = findLocked(path);
  if (!dir) return Failure("sync", path, ENOENT);
  if (!dir->isDir) return Failure("sync", path, ENOTDIR);
  dir->durableEntries = dir->entries;
  return Status();
}

Status MemoryEnv::makeDir(const std::string& path) {
  Status st = runHook(Step::kMakeDir, path);
  if (!st.ok()) return st;
  std::lock_guard<std::mutex> lock(mu_);
  std::shared_ptr<Node> dir;
  std::string name;
  st = parentLocked(path, &dir, &name);
  if (!st.ok()) return Failure("create", path, st.native);
  if (dir->entries.count(name) != 0) return Failure("create", path, EEXIST);
  if (!fitsLocked(0, true)) return Failure("create", path, ENOSPC);
  auto node = std::make_shared<Node>();
  node->isDir = true;
  node->mtime = ++clock_;
  dir->entries[name] = node;
  return Status();
}

Status MemoryEnv::list(const std::string& path, std::vector<std::string>* names) {
  names->clear();
  std::lock_guard<std::mutex> lock(mu_);
  std::shared_ptr<Node> dir = findLocked(path);
  if (!dir) return Failure("list", path, ENOENT);
  if (!dir->isDir) return Failure("list", path, ENOTDIR);
  for (const auto& [name, node] : dir->entries) names->push_back(name);
  return Status();
}

void MemoryEnv::setCapacity(uint64_t totalBytes, uint64_t totalInodes) {
  std::lock_guard<std::mutex> lock(mu_);
  capacity_ = totalBytes;
  inodes_ = totalInodes;
}

void MemoryEnv::usageLocked(uint64_t* bytes, uint64_t* inodes) const {
  *bytes = *inodes = 0;
  std::function<void(const Node&)> add = [&](const Node& node) {
    *bytes += static_cast<uint64_t>(std::count(node.pages.begin(), node.pages.end(), true)) * kMemoryEnvPageBytes;
    *inodes += 1;
    for (const auto& [name, child] : node.entries) add(*child);
  };
  add(*root_);
}

bool MemoryEnv::fitsLocked(uint64_t pages, bool inode) const {
  if (capacity_ == 0) return true;
  uint64_t bytes = 0, inodes = 0;
  usageLocked(&bytes, &inodes);
  if (bytes > capacity_ || pages > (capacity_ - bytes) / kMemoryEnvPageBytes) return false;
  return !inode || inodes_ == 0 || inodes < inodes_;
}

Status MemoryEnv::space(const std::string& path, EnvSpace* out) {
  std::lock_guard<std::mutex> lock(mu_);
  if (capacity_ == 0) return Env::space(path, out);
  uint64_t bytes = 0, inodes = 0;
  usageLocked(&bytes, &inodes);
  out->totalBytes = capacity_;
  out->freeBytes = capacity_ - std::min(capacity_, bytes);
  out->totalInodes = inodes_;
  out->freeInodes = inodes_ - std::min(inodes_, inodes);
  return Status();
}

Status MemoryEnv::stat(const std::string& path, EnvFileInfo* info) {
  std::lock_guard<std::mutex> lock(mu_);
  std::shared_ptr<Node> node = findLocked(path);
  if (!node) return Failure("stat", path, ENOENT);
  info->isDir = node->isDir;
  info->size = node->data.size();
  info->mtime = Timestamp{static_cast<int64_t>(node->mtime), 0};
  return Status();
}

std::unique_ptr<MemoryEnv> MemoryEnv::snapshot(Crash crash) const {
  const bool power = crash == Crash::kPowerLoss;
  auto out = std::make_unique<MemoryEnv>();
  std::lock_guard<std::mutex> lock(mu_);
  out->clock_ = clock_;
  // A node reached under two names (a rename not yet synced in one of its
  // folders) stays one node in the copy.
  std::unordered_map<const Node*, std::shared_ptr<Node>> copies;
  std::function<std::shared_ptr<Node>(const std::shared_ptr<Node>&)> copy =
      [&](const std::shared_ptr<Node>& from) -> std::shared_ptr<Node> {
    auto found = copies.find(from.get());
    if (found != copies.end()) return found->second;
    auto to = std::make_shared<Node>();
    copies[from.get()] = to;
    to->isDir = from->isDir;
    to->mtime = from->mtime;
    to->data = power ? from->durableData : from->data;
    to->durableData = from->durableData;
    to->pages = from->pages;
    to->pages.resize((to->data.size() + kMemoryEnvPageBytes - 1) / kMemoryEnvPageBytes, true);
    for (const auto& [name, child] : power ? from->durableEntries : from->entries) to->entries[name] = copy(child);
    if (power) {
      to->durableEntries = to->entries;
    } else {
      for (const auto& [name, child] : from->durableEntries) to->durableEntries[name] = copy(child);
    }
    return to;
  };
  out->root_ = copy(root_);
  out->boot_ = power ? boot_ + 1 : boot_;
  out->capacity_ = capacity_;
  out->inodes_ = inodes_;
  return out;
}

std::unique_ptr<MemoryEnv> MemoryEnv::snapshotTorn(const std::function<bool(const std::string& path)>& reached) const {
  auto out = std::make_unique<MemoryEnv>();
  std::lock_guard<std::mutex> lock(mu_);
  out->clock_ = clock_;
  out->boot_ = boot_ + 1;
  std::unordered_map<const Node*, std::shared_ptr<Node>> copies;
  std::function<std::shared_ptr<Node>(const std::shared_ptr<Node>&, const std::string&)> copy =
      [&](const std::shared_ptr<Node>& from, const std::string& path) -> std::shared_ptr<Node> {
    auto found = copies.find(from.get());
    if (found != copies.end()) return found->second;
    auto to = std::make_shared<Node>();
    copies[from.get()] = to;
    to->isDir = from->isDir;
    to->mtime = from->mtime;
    if (reached(path)) {
      to->data = from->data;
    } else {
      to->data = from->durableData.substr(0, std::min(from->durableData.size(), from->data.size()));
      to->data.resize(from->data.size(), '\0');
    }
    to->durableData = to->data;
    to->pages = from->pages;
    to->pages.resize((to->data.size() + kMemoryEnvPageBytes - 1) / kMemoryEnvPageBytes, true);
    for (const auto& [name, child] : from->entries)
      to->entries[name] = copy(child, path == "/" ? "/" + name : path + "/" + name);
    to->durableEntries = to->entries;
    return to;
  };
  out->root_ = copy(root_, "/");
  out->capacity_ = capacity_;
  out->inodes_ = inodes_;
  return out;
}

}  // namespace tarn
