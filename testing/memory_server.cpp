// The shared side of the in-memory server: the tree, faults, gates, delays
// and the call log. The per-connection operations are in memory_backend.cpp.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <thread>

#include "engine/clock.h"
#include "foundation/remote_path.h"
#include "foundation/retry.h"
#include "testing/memory_backend.h"

namespace tarn::test {

const char* MemOpName(MemOp op) {
  switch (op) {
    case MemOp::kConnect: return "connect";
    case MemOp::kDisconnect: return "disconnect";
    case MemOp::kPing: return "ping";
    case MemOp::kStat: return "stat";
    case MemOp::kList: return "list";
    case MemOp::kStatfs: return "statfs";
    case MemOp::kReadRange: return "readRange";
    case MemOp::kOpenRead: return "openRead";
    case MemOp::kStreamRead: return "streamRead";
    case MemOp::kOpenWrite: return "openWrite";
    case MemOp::kStreamWrite: return "streamWrite";
    case MemOp::kFinish: return "finish";
    case MemOp::kAbort: return "abort";
    case MemOp::kWriteAt: return "writeAt";
    case MemOp::kTruncate: return "truncate";
    case MemOp::kCreate: return "create";
    case MemOp::kMkdir: return "mkdir";
    case MemOp::kRemove: return "remove";
    case MemOp::kRename: return "rename";
    case MemOp::kSetTimes: return "setTimes";
  }
  return "?";
}

// --- Gate ---

// --- MemoryServer ---

MemoryServer::MemoryServer() {
  Node root;
  root.path = "/";
  root.dir = true;
  root.attr.type = RemoteAttr::kDirectory;
  nodes_.emplace("/", std::move(root));
}

std::string MemoryServer::keyOfLocked(const std::string& path) const {
  std::string key = NormalizeRemotePath(path);
  if (!caps_.caseSensitive)
    std::transform(key.begin(), key.end(), key.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return key;
}

MemoryServer::Node* MemoryServer::findLocked(const std::string& path) {
  auto it = nodes_.find(keyOfLocked(path));
  return it == nodes_.end() ? nullptr : &it->second;
}

const MemoryServer::Node* MemoryServer::findLocked(const std::string& path) const {
  auto it = nodes_.find(keyOfLocked(path));
  return it == nodes_.end() ? nullptr : &it->second;
}

bool MemoryServer::hasChildrenLocked(const std::string& path) const {
  std::string key = keyOfLocked(path);
  if (key == "/") return nodes_.size() > 1;
  std::string prefix = key + "/";
  auto it = nodes_.lower_bound(prefix);
  return it != nodes_.end() && it->first.compare(0, prefix.size(), prefix) == 0;
}

bool MemoryServer::isFolderLocked(const std::string& path) const {
  const Node* node = findLocked(path);
  if (node != nullptr) return node->dir;
  return caps_.implicitFolders && hasChildrenLocked(path);
}

Status MemoryServer::checkParentLocked(const std::string& path) const {
  std::string parent = ParentPath(NormalizeRemotePath(path));
  if (caps_.implicitFolders) {
    const Node* node = findLocked(parent);
    if (node != nullptr && !node->dir) return Status(Status::kNotDirectory, "parent is a file: " + parent);
    return Status();
  }
  const Node* node = findLocked(parent);
  if (node == nullptr) return Status(Status::kNotFound, "parent folder missing: " + parent);
  if (!node->dir) return Status(Status::kNotDirectory, "parent is a file: " + parent);
  return Status();
}

void MemoryServer::touchLocked(Node& node) {
  Timestamp now = changeTime_.isZero() ? Timestamp::now() : changeTime_;
  node.attr.mtime = now;
  node.attr.ctime = now;
  node.attr.atime = now;
  if (!node.dir) {
    node.attr.size = node.data->size();
    node.attr.etag = entityTags_ ? "\"" + std::to_string(++etagCounter_) + "\"" : std::string();
  }
}

void MemoryServer::storeLocked(const std::string& path, std::shared_ptr<const std::string> data) {
  std::string key = keyOfLocked(path);
  auto it = nodes_.find(key);
  if (it == nodes_.end()) {
    Node node;
    node.path = NormalizeRemotePath(path);
    node.attr.fileId = ++fileIdCounter_;
    it = nodes_.emplace(key, std::move(node)).first;
  }
  it->second.dir = false;
  it->second.attr.type = RemoteAttr::kFile;
  it->second.data = std::move(data);
  touchLocked(it->second);
  noteVersionsLocked();
}

void MemoryServer::noteVersionsLocked() {
  for (auto& [key, seen] : versions_) {
    auto it = nodes_.find(key);
    std::optional<std::string> now;
    if (it != nodes_.end() && !it->second.dir) now = *it->second.data;
    if (seen.empty() || seen.back() != now) seen.push_back(std::move(now));
  }
  if (jointKeys_.empty()) return;
  std::vector<std::optional<std::string>> state;
  for (const std::string& key : jointKeys_) {
    auto it = nodes_.find(key);
    state.push_back(it != nodes_.end() && !it->second.dir ? std::optional<std::string>(*it->second.data)
                                                          : std::nullopt);
  }
  if (jointStates_.empty() || jointStates_.back() != state) jointStates_.push_back(std::move(state));
}

void MemoryServer::recordStates(const std::vector<std::string>& paths) {
  std::lock_guard<std::mutex> lock(mu_);
  jointKeys_.clear();
  for (const std::string& path : paths) jointKeys_.push_back(keyOfLocked(path));
  jointStates_.clear();
  noteVersionsLocked();
}

std::vector<std::vector<std::optional<std::string>>> MemoryServer::states() const {
  std::lock_guard<std::mutex> lock(mu_);
  return jointStates_;
}

void MemoryServer::recordVersions(const std::string& path) {
  std::lock_guard<std::mutex> lock(mu_);
  versions_.try_emplace(keyOfLocked(path));
  noteVersionsLocked();
}

std::vector<std::optional<std::string>> MemoryServer::versions(const std::string& path) const {
  std::lock_guard<std::mutex> lock(mu_);
  auto it = versions_.find(keyOfLocked(path));
  return it == versions_.end() ? std::vector<std::optional<std::string>>() : it->second;
}

void MemoryServer::applyGivenUpUploads() {
  std::lock_guard<std::mutex> lock(mu_);
  for (auto& [path, data] : givenUp_)
    if (checkParentLocked(path).ok() && !isFolderLocked(path)) storeLocked(path, std::move(data));
  givenUp_.clear();
}

void MemoryServer::setReplacesInSteps(bool steps) {
  std::lock_guard<std::mutex> lock(mu_);
  replacesInSteps_ = steps;
}

uint64_t MemoryServer::usedLocked() const {
  uint64_t used = 0;
  for (const auto& [key, node] : nodes_)
    if (!node.dir) used += node.data->size();
  return used;
}

RemoteAttr MemoryServer::attrOfLocked(const std::string& path) const {
  const Node* node = findLocked(path);
  if (node != nullptr) return node->attr;
  RemoteAttr implied;
  implied.type = RemoteAttr::kDirectory;
  return implied;
}

void MemoryServer::putFile(const std::string& path, const std::string& content) {
  std::lock_guard<std::mutex> lock(mu_);
  std::vector<std::string> parts = SplitPath(NormalizeRemotePath(path));
  std::string folder;
  for (size_t i = 0; i + 1 < parts.size() && !caps_.implicitFolders; ++i) {
    folder += "/" + parts[i];
    if (findLocked(folder) == nullptr) {
      Node node;
      node.path = folder;
      node.dir = true;
      node.attr.type = RemoteAttr::kDirectory;
      node.attr.fileId = ++fileIdCounter_;
      touchLocked(node);
      nodes_.emplace(keyOfLocked(folder), std::move(node));
    }
  }
  storeLocked(path, std::make_shared<const std::string>(content));
}

void MemoryServer::makeDir(const std::string& path) {
  std::lock_guard<std::mutex> lock(mu_);
  std::string folder;
  for (const std::string& part : SplitPath(NormalizeRemotePath(path))) {
    folder += "/" + part;
    if (findLocked(folder) != nullptr) continue;
    Node node;
    node.path = folder;
    node.dir = true;
    node.attr.type = RemoteAttr::kDirectory;
    node.attr.fileId = ++fileIdCounter_;
    touchLocked(node);
    nodes_.emplace(keyOfLocked(folder), std::move(node));
  }
}

bool MemoryServer::readFile(const std::string& path, std::string* content) const {
  std::lock_guard<std::mutex> lock(mu_);
  const Node* node = findLocked(path);
  if (node == nullptr || node->dir) return false;
  if (content != nullptr) *content = *node->data;
  return true;
}

bool MemoryServer::exists(const std::string& path) const {
  std::lock_guard<std::mutex> lock(mu_);
  return findLocked(path) != nullptr || isFolderLocked(path);
}

bool MemoryServer::statPath(const std::string& path, RemoteAttr* attr) const {
  std::lock_guard<std::mutex> lock(mu_);
  if (findLocked(path) == nullptr && !isFolderLocked(path)) return false;
  if (attr != nullptr) *attr = attrOfLocked(path);
  return true;
}

void MemoryServer::setCapacity(uint64_t bytes) {
  std::lock_guard<std::mutex> lock(mu_);
  capacity_ = bytes;
}

void MemoryServer::setCaps(const BackendCaps& caps) {
  std::lock_guard<std::mutex> lock(mu_);
  caps_ = caps;
}

BackendCaps MemoryServer::caps() const {
  std::lock_guard<std::mutex> lock(mu_);
  return caps_;
}

void MemoryServer::setIgnoreRange(bool ignore) {
  std::lock_guard<std::mutex> lock(mu_);
  ignoreRange_ = ignore;
}

void MemoryServer::setReadsNameTheCopy(bool name) {
  std::lock_guard<std::mutex> lock(mu_);
  readsNameTheCopy_ = name;
}

void MemoryServer::setEntityTags(bool tags) {
  std::lock_guard<std::mutex> lock(mu_);
  entityTags_ = tags;
}

void MemoryServer::setChangeTime(Timestamp time) {
  std::lock_guard<std::mutex> lock(mu_);
  changeTime_ = time;
}

void MemoryServer::setKeepsReplacedFiles(bool keep) {
  std::lock_guard<std::mutex> lock(mu_);
  keepsReplaced_ = keep;
}

void MemoryServer::eraseLocked(const std::string& key) {
  auto it = nodes_.find(key);
  if (it == nodes_.end()) return;
  if (keepsReplaced_ && !it->second.dir) replaced_[it->second.attr.fileId] = it->second.data;
  nodes_.erase(it);
}

void MemoryServer::setReverseListing(bool reverse) {
  std::lock_guard<std::mutex> lock(mu_);
  reverseListing_ = reverse;
}

void MemoryServer::addFault(const FaultRule& rule) {
  std::lock_guard<std::mutex> lock(mu_);
  faults_.push_back(ActiveRule{rule, 0});
}

void MemoryServer::clearFaults() {
  std::lock_guard<std::mutex> lock(mu_);
  faults_.clear();
}

void MemoryServer::setDown(bool down) {
  std::lock_guard<std::mutex> lock(mu_);
  down_ = down;
}

void MemoryServer::closeConnections() {
  std::lock_guard<std::mutex> lock(mu_);
  ++closings_;
}

void MemoryServer::setLatencyMs(uint32_t ms) {
  std::lock_guard<std::mutex> lock(mu_);
  latencyMs_ = ms;
}

void MemoryServer::setBandwidth(uint64_t bytesPerSecond) {
  std::lock_guard<std::mutex> lock(mu_);
  bandwidth_ = bytesPerSecond;
}

void MemoryServer::setDelayCancel(std::shared_ptr<const CancelToken> token) {
  std::lock_guard<std::mutex> lock(mu_);
  delayCancel_ = std::move(token);
}

std::shared_ptr<Gate> MemoryServer::addGate(MemOp op, const std::string& path) {
  auto gate = std::make_shared<Gate>();
  std::lock_guard<std::mutex> lock(mu_);
  const bool below = !path.empty() && path.back() == '/';
  std::string key = path.empty() ? path : keyOfLocked(path);
  if (below && key != "/") key += '/';
  gates_.push_back(PendingGate{op, key, gate});
  return gate;
}

std::shared_ptr<Gate> MemoryServer::addReplyGate(MemOp op, const std::string& path) {
  auto gate = std::make_shared<Gate>();
  std::lock_guard<std::mutex> lock(mu_);
  replyGates_.push_back(PendingGate{op, keyOfLocked(path), gate});
  return gate;
}

std::shared_ptr<Gate> MemoryServer::takeGateLocked(std::vector<PendingGate>& gates, MemOp op,
                                                   const std::string& path) {
  const std::string key = keyOfLocked(path);
  for (auto it = gates.begin(); it != gates.end(); ++it) {
    const bool below = !it->path.empty() && it->path.back() == '/' && key.rfind(it->path, 0) == 0;
    if (it->op == op && (it->path.empty() || it->path == key || below)) {
      std::shared_ptr<Gate> gate = it->gate;
      gates.erase(it);
      return gate;
    }
  }
  return nullptr;
}

void MemoryServer::leave(MemOp op, const std::string& path) {
  std::shared_ptr<Gate> gate;
  {
    std::lock_guard<std::mutex> lock(mu_);
    gate = takeGateLocked(replyGates_, op, path);
  }
  if (gate) gate->arriveAndWait();
}

std::vector<CallRecord> MemoryServer::calls() const {
  std::lock_guard<std::mutex> lock(mu_);
  return calls_;
}

int MemoryServer::countCalls(MemOp op, const std::string& path) const {
  std::lock_guard<std::mutex> lock(mu_);
  std::string key = path.empty() ? path : keyOfLocked(path);
  return static_cast<int>(std::count_if(calls_.begin(), calls_.end(), [&](const CallRecord& r) {
    return r.op == op && (key.empty() || keyOfLocked(r.path) == key);
  }));
}

void MemoryServer::clearCalls() {
  std::lock_guard<std::mutex> lock(mu_);
  calls_.clear();
}

int MemoryServer::misuseCount() const {
  std::lock_guard<std::mutex> lock(mu_);
  return misuse_;
}

uint64_t MemoryServer::connectionsMade() const {
  std::lock_guard<std::mutex> lock(mu_);
  return nextConnection_ - 1;
}

std::unique_ptr<MemoryBackend> MemoryServer::connection(const EndpointConfig& config) {
  uint64_t id;
  {
    std::lock_guard<std::mutex> lock(mu_);
    id = nextConnection_++;
  }
  return std::make_unique<MemoryBackend>(shared_from_this(), config, id);
}

std::function<std::unique_ptr<IBackend>()> MemoryServer::factory(const EndpointConfig& config) {
  std::weak_ptr<MemoryServer> weak = weak_from_this();
  return [weak, config]() -> std::unique_ptr<IBackend> {
    std::shared_ptr<MemoryServer> server = weak.lock();
    if (!server) return nullptr;
    return server->connection(config);
  };
}

void MemoryServer::reportMisuse(uint64_t connection) {
  {
    std::lock_guard<std::mutex> lock(mu_);
    ++misuse_;
  }
  ADD_FAILURE() << "two threads used memory connection " << connection << " at once";
}

void MemoryServer::setSilent(uint32_t ioTimeoutMs, std::vector<MemOp> ops) {
  std::lock_guard<std::mutex> lock(mu_);
  silentMs_ = ioTimeoutMs;
  silentOps_ = std::move(ops);
}

int MemoryServer::silentWaiters() const {
  std::lock_guard<std::mutex> lock(mu_);
  return silentWaiters_;
}

Status MemoryServer::waitWhileSilent(MemOp op, const CancelToken* cancel) {
  constexpr auto kPoll = std::chrono::milliseconds(1);
  const uint64_t start = SteadyNowMs();
  std::unique_lock<std::mutex> lock(mu_);
  auto applies = [&] {
    return silentMs_ != 0 && op != MemOp::kDisconnect &&
           (silentOps_.empty() || std::find(silentOps_.begin(), silentOps_.end(), op) != silentOps_.end());
  };
  if (!applies()) return Status();
  ++silentWaiters_;
  Status st;
  // The clock is the engine's, moved by the test: polled, as nothing
  // signals its moves.
  while (applies()) {
    if (SteadyNowMs() >= start + SilenceLimitMs(cancel, silentMs_)) {
      st = Status(Status::kTimeout, std::string(MemOpName(op)) + ": no answer");
      break;
    }
    if (IsCancelled(cancel)) {
      st = Status(Status::kCanceled, "");
      break;
    }
    lock.unlock();
    std::this_thread::sleep_for(kPoll);
    lock.lock();
  }
  --silentWaiters_;
  return st;
}

MemoryServer::Admission MemoryServer::enter(MemOp op, const std::string& path, uint64_t connection,
                                            const CancelToken* cancel) {
  std::shared_ptr<Gate> gate;
  {
    std::lock_guard<std::mutex> lock(mu_);
    calls_.push_back(CallRecord{op, path, connection});
    gate = takeGateLocked(gates_, op, path);
  }
  if (gate) gate->arriveAndWait();

  Admission admission;
  admission.status = waitWhileSilent(op, cancel);
  if (!admission.status.ok()) return admission;
  uint32_t latency;
  {
    std::lock_guard<std::mutex> lock(mu_);
    latency = latencyMs_;
    if (down_) {
      admission.status = Status(Status::kNetwork, std::string(MemOpName(op)) + ": server down");
      return admission;
    }
    std::string key = keyOfLocked(path);
    for (ActiveRule& active : faults_) {
      const FaultRule& rule = active.rule;
      if (rule.op != op || (!rule.path.empty() && keyOfLocked(rule.path) != key)) continue;
      int call = ++active.seen;
      bool fires = call >= rule.firstCall && (rule.times == 0 || call < rule.firstCall + rule.times);
      if (!fires) continue;
      admission.kind = rule.kind;
      if (rule.kind == FaultRule::Kind::kFail)
        admission.status = rule.status;
      else
        admission.limit = rule.limit;
      break;
    }
  }
  if (latency > 0) {
    std::shared_ptr<const CancelToken> cancel;
    {
      std::lock_guard<std::mutex> lock(mu_);
      cancel = delayCancel_;
    }
    SleepCancellable(latency, cancel.get());
  }
  return admission;
}

void MemoryServer::delayFor(uint64_t bytes) {
  uint64_t bandwidth;
  std::shared_ptr<const CancelToken> cancel;
  {
    std::lock_guard<std::mutex> lock(mu_);
    bandwidth = bandwidth_;
    cancel = delayCancel_;
  }
  if (bandwidth == 0 || bytes == 0) return;
  uint64_t ms = bytes * 1000 / bandwidth;
  SleepCancellable(static_cast<uint32_t>(std::min<uint64_t>(ms, UINT32_MAX)), cancel.get());
}

}  // namespace tarn::test
