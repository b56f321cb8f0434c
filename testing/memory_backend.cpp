// The per-connection side of the in-memory server: every IBackend operation
// and the two streams, with the contracts real back-ends keep.
#include "testing/memory_backend.h"

#include <algorithm>
#include <cstring>
#include <set>

#include "foundation/remote_path.h"

namespace tarn::test {
namespace {

Status NotFound(const char* step, const std::string& path) {
  return Status(Status::kNotFound, std::string(step) + ": no such file or folder: " + path);
}

}  // namespace

class MemoryBackend::UseGuard {
 public:
  explicit UseGuard(MemoryBackend* backend) : backend_(backend) {
    if (backend_->users_.fetch_add(1, std::memory_order_acq_rel) != 0)
      backend_->server_->reportMisuse(backend_->id_);
  }
  ~UseGuard() { backend_->users_.fetch_sub(1, std::memory_order_acq_rel); }
  UseGuard(const UseGuard&) = delete;
  UseGuard& operator=(const UseGuard&) = delete;

 private:
  MemoryBackend* backend_;
};

// Reads from a snapshot of the object taken when the stream was opened, as an
// HTTP body would deliver the version that was current at the request.
class MemoryReadStream : public IReadStream {
 public:
  MemoryReadStream(std::shared_ptr<MemoryServer> server, std::string path,
                   std::shared_ptr<const std::string> data, uint64_t pos, uint64_t end, uint64_t connection,
                   RemoteAttr named, const CancelToken* const* cancel)
      : server_(std::move(server)), path_(std::move(path)), data_(std::move(data)), pos_(pos), end_(end),
        connection_(connection), named_(std::move(named)), cancel_(cancel) {}

  Status read(uint8_t* buffer, uint64_t length, uint64_t& got) override {
    got = 0;
    if (closed_) return Status(Status::kInvalid, "read: stream closed");
    // The connection's token, as the caller set it for this read.
    MemoryServer::Admission admission = server_->enter(MemOp::kStreamRead, path_, connection_, *cancel_);
    if (!admission.status.ok()) return admission.status;
    uint64_t n = pos_ >= end_ ? 0 : std::min(length, end_ - pos_);
    if (admission.kind == FaultRule::Kind::kShortRead) n = std::min(n, admission.limit);
    if (n > 0) std::memcpy(buffer, data_->data() + pos_, n);
    pos_ += n;
    got = n;
    server_->delayFor(n);
    return Status();
  }

  void close() override { closed_ = true; }
  bool copy(RemoteAttr& out) const override {
    if (named_.etag.empty()) return false;
    out = named_;
    return true;
  }

 private:
  std::shared_ptr<MemoryServer> server_;
  std::string path_;
  std::shared_ptr<const std::string> data_;
  uint64_t pos_;
  uint64_t end_;
  uint64_t connection_;
  RemoteAttr named_;  // no etag: the stream names no copy
  const CancelToken* const* cancel_;  // the backend's, which outlives its streams
  bool closed_ = false;
};

// Collects the whole upload and replaces the object only on finish, so an
// aborted or failed upload leaves the previous copy in place.
class MemoryWriteStream : public IWriteStream {
 public:
  MemoryWriteStream(std::shared_ptr<MemoryServer> server, std::string path, uint64_t size, uint64_t connection)
      : server_(std::move(server)), path_(std::move(path)), size_(size), connection_(connection) {}

  Status write(const uint8_t* data, uint64_t length) override {
    if (done_) return Status(Status::kInvalid, "write: upload already ended");
    MemoryServer::Admission admission = server_->enter(MemOp::kStreamWrite, path_, connection_);
    if (!admission.status.ok()) return admission.status;
    if (buffer_.size() + length > size_)
      return Status(Status::kInvalid, "write: more bytes than announced for " + path_);
    buffer_.append(reinterpret_cast<const char*>(data), length);
    server_->delayFor(length);
    return Status();
  }

  Status finish(RemoteAttr* out) override {
    if (done_) return Status(Status::kInvalid, "finish: upload already ended");
    MemoryServer::Admission admission = server_->enter(MemOp::kFinish, path_, connection_);
    if (!admission.status.ok()) return admission.status;
    if (buffer_.size() != size_)
      return Status(Status::kInvalid, "finish: " + std::to_string(buffer_.size()) + " of " +
                                          std::to_string(size_) + " bytes sent for " + path_);
    std::lock_guard<std::mutex> lock(server_->mu_);
    // The namespace may have changed while the bytes were on their way.
    if (server_->isFolderLocked(path_)) return Status(Status::kIsDirectory, "finish: is a folder: " + path_);
    Status parent = server_->checkParentLocked(path_);
    if (!parent.ok()) return parent;
    if (admission.kind == FaultRule::Kind::kKeepShort && buffer_.size() > admission.limit)
      buffer_.resize(admission.limit);
    server_->storeLocked(path_, std::make_shared<const std::string>(std::move(buffer_)));
    done_ = true;
    if (out != nullptr) *out = server_->attrOfLocked(path_);
    return Status();
  }

  void abort() override {
    if (done_) return;
    MemoryServer::Admission admission = server_->enter(MemOp::kAbort, path_, connection_);
    done_ = true;
    if (admission.kind == FaultRule::Kind::kApplyLater && buffer_.size() == size_) {
      std::lock_guard<std::mutex> lock(server_->mu_);
      server_->givenUp_.emplace_back(path_, std::make_shared<const std::string>(std::move(buffer_)));
    }
    buffer_.clear();
  }

 private:
  std::shared_ptr<MemoryServer> server_;
  std::string path_;
  uint64_t size_;
  uint64_t connection_;
  std::string buffer_;
  bool done_ = false;
};

MemoryBackend::MemoryBackend(std::shared_ptr<MemoryServer> server, EndpointConfig config, uint64_t id)
    : server_(std::move(server)), config_(std::move(config)), id_(id) {
  caps_ = server_->caps();
}

MemoryBackend::~MemoryBackend() { connected_ = false; }

MemoryServer::Admission MemoryBackend::begin(MemOp op, const std::string& path) {
  MemoryServer::Admission admission = server_->enter(op, path, id_, cancel_);
  if (admission.status.ok() && !connected_)
    admission.status = Status(Status::kNetwork, std::string(MemOpName(op)) + ": not connected");
  bool closed = false;
  {
    std::lock_guard<std::mutex> lock(server_->mu_);
    closed = closingsAtConnect_ != server_->closings_;
  }
  if (admission.status.ok() && closed)
    admission.status = Status(Status::kNetwork, std::string(MemOpName(op)) + ": send: Broken pipe");
  return admission;
}

Status MemoryBackend::connect() {
  UseGuard guard(this);
  MemoryServer::Admission admission = server_->enter(MemOp::kConnect, "", id_, cancel_);
  if (!admission.status.ok()) return admission.status;
  caps_ = server_->caps();
  {
    std::lock_guard<std::mutex> lock(server_->mu_);
    closingsAtConnect_ = server_->closings_;
  }
  connected_ = true;
  return Status();
}

void MemoryBackend::disconnect() {
  UseGuard guard(this);
  // A disconnect never fails: faults and the down switch do not apply.
  server_->enter(MemOp::kDisconnect, "", id_);
  connected_ = false;
}

Status MemoryBackend::ping() {
  UseGuard guard(this);
  return begin(MemOp::kPing, "").status;
}

Status MemoryBackend::stat(const std::string& path, RemoteAttr& out) {
  UseGuard guard(this);
  MemoryServer::Admission admission = begin(MemOp::kStat, path);
  if (!admission.status.ok()) return admission.status;
  Status st;
  {
    std::lock_guard<std::mutex> lock(server_->mu_);
    if (server_->findLocked(path) == nullptr && !server_->isFolderLocked(path))
      st = NotFound("stat", path);
    else
      out = server_->attrOfLocked(path);
  }
  server_->leave(MemOp::kStat, path);
  return st;
}

Status MemoryBackend::list(const std::string& path, std::vector<DirEntry>& out) {
  return listFolder(path, out, nullptr);
}

Status MemoryBackend::listWithLeftovers(const std::string& path, std::vector<DirEntry>& out,
                                        std::vector<DirEntry>& leftovers) {
  return listFolder(path, out, &leftovers);
}

Status MemoryBackend::listFolder(const std::string& path, std::vector<DirEntry>& out,
                                 std::vector<DirEntry>* leftovers) {
  UseGuard guard(this);
  out.clear();
  if (leftovers != nullptr) leftovers->clear();
  MemoryServer::Admission admission = begin(MemOp::kList, path);
  if (!admission.status.ok()) return admission.status;
  Status st = listTree(path, out, leftovers);
  server_->leave(MemOp::kList, path);
  return st;
}

Status MemoryBackend::listTree(const std::string& path, std::vector<DirEntry>& out,
                                 std::vector<DirEntry>* leftovers) {
  std::lock_guard<std::mutex> lock(server_->mu_);
  const MemoryServer::Node* node = server_->findLocked(path);
  if (node != nullptr && !node->dir) return Status(Status::kNotDirectory, "list: not a folder: " + path);
  if (node == nullptr && !server_->isFolderLocked(path)) return NotFound("list", path);
  std::string key = server_->keyOfLocked(path);
  std::string prefix = key == "/" ? key : key + "/";
  std::set<std::string> implied;
  for (auto it = server_->nodes_.lower_bound(prefix);
       it != server_->nodes_.end() && it->first.compare(0, prefix.size(), prefix) == 0; ++it) {
    std::string rest = it->first.substr(prefix.size());
    if (rest.empty()) continue;
    size_t slash = rest.find('/');
    if (slash == std::string::npos) {
      DirEntry entry{BaseName(it->second.path), it->second.attr};
      if (entry.name.rfind(kUploadWorkPrefix, 0) == 0) {
        if (leftovers != nullptr) leftovers->push_back(std::move(entry));
      } else if (server_->caps_.listsHiddenNames || !entry.name.starts_with('.')) {
        out.push_back(std::move(entry));
      }
    } else if (server_->caps_.implicitFolders) {
      // The folder's own name as the objects beneath it spell it.
      std::vector<std::string> parts = SplitPath(it->second.path);
      std::string name = parts[SplitPath(key).size()];
      if (server_->nodes_.count(prefix + rest.substr(0, slash)) == 0 && implied.insert(name).second) {
        RemoteAttr attr;
        attr.type = RemoteAttr::kDirectory;
        out.push_back(DirEntry{name, attr});
      }
    }
  }
  if (server_->reverseListing_) std::reverse(out.begin(), out.end());
  return Status();
}

Status MemoryBackend::statfs(FsStats& out) {
  UseGuard guard(this);
  MemoryServer::Admission admission = begin(MemOp::kStatfs, "");
  if (!admission.status.ok()) return admission.status;
  out = FsStats();
  if (!caps_.freeSpace) return Status();
  std::lock_guard<std::mutex> lock(server_->mu_);
  uint64_t used = server_->usedLocked();
  out.total = server_->capacity_;
  out.free = out.available = used >= out.total ? 0 : out.total - used;
  out.known = true;
  return Status();
}

Status MemoryBackend::readRange(const std::string& path, uint64_t offset, uint8_t* buffer, uint64_t length,
                                uint64_t& got) {
  UseGuard guard(this);
  got = 0;
  readNamedCopy_ = false;
  MemoryServer::Admission admission = begin(MemOp::kReadRange, path);
  if (!admission.status.ok()) return admission.status;
  uint64_t n = 0;
  {
    std::lock_guard<std::mutex> lock(server_->mu_);
    const MemoryServer::Node* node = server_->findLocked(path);
    if (node == nullptr) return NotFound("readRange", path);
    if (node->dir) return Status(Status::kIsDirectory, "readRange: is a folder: " + path);
    if (server_->ignoreRange_ && offset != 0) caps_.rangeRead = false;
    uint64_t size = node->data->size();
    readNamedCopy_ = server_->readsNameTheCopy_;
    lastRead_ = node->attr;
    n = offset >= size ? 0 : std::min(length, size - offset);
    if (admission.kind == FaultRule::Kind::kShortRead) n = std::min(n, admission.limit);
    if (n > 0) std::memcpy(buffer, node->data->data() + offset, n);
  }
  got = n;
  server_->delayFor(n);
  return Status();
}

Status MemoryBackend::readCopy(const std::string& path, const RemoteAttr& copy, uint64_t offset, uint8_t* buffer,
                               uint64_t length, uint64_t& got) {
  UseGuard guard(this);
  got = 0;
  readNamedCopy_ = false;
  MemoryServer::Admission admission = begin(MemOp::kReadRange, path);
  if (!admission.status.ok()) return admission.status;
  std::shared_ptr<const std::string> data;
  {
    std::lock_guard<std::mutex> lock(server_->mu_);
    const MemoryServer::Node* node = server_->findLocked(path);
    if (node != nullptr && !node->dir && SameServerCopy(copy, node->attr)) {
      data = node->data;
    } else if (auto it = server_->replaced_.find(copy.fileId); copy.fileId != 0 && it != server_->replaced_.end()) {
      data = it->second;
    }
  }
  if (!data) return Status(Status::kConflict, "readCopy: " + path + " holds another file");
  const uint64_t size = data->size();
  uint64_t n = offset >= size ? 0 : std::min(length, size - offset);
  if (admission.kind == FaultRule::Kind::kShortRead) n = std::min(n, admission.limit);
  if (n > 0) std::memcpy(buffer, data->data() + offset, n);
  got = n;
  server_->delayFor(n);
  return Status();
}

bool MemoryBackend::lastReadCopy(RemoteAttr& out) const {
  if (readNamedCopy_) out = lastRead_;
  return readNamedCopy_;
}

Status MemoryBackend::openRead(const std::string& path, uint64_t offset, std::unique_ptr<IReadStream>& out) {
  UseGuard guard(this);
  MemoryServer::Admission admission = begin(MemOp::kOpenRead, path);
  if (!admission.status.ok()) return admission.status;
  std::lock_guard<std::mutex> lock(server_->mu_);
  const MemoryServer::Node* node = server_->findLocked(path);
  if (node == nullptr) return NotFound("openRead", path);
  if (node->dir) return Status(Status::kIsDirectory, "openRead: is a folder: " + path);
  if (server_->ignoreRange_ && offset != 0) caps_.rangeRead = false;
  uint64_t size = node->data->size();
  uint64_t end = size;
  if (admission.kind == FaultRule::Kind::kEarlyEnd) end = std::min(size, offset + admission.limit);
  out = std::make_unique<MemoryReadStream>(server_, NormalizeRemotePath(path), node->data, std::min(offset, size),
                                           end, id_, server_->readsNameTheCopy_ ? node->attr : RemoteAttr(), &cancel_);
  return Status();
}

Status MemoryBackend::openWrite(const std::string& path, uint64_t offset, uint64_t size,
                                std::unique_ptr<IWriteStream>& out) {
  UseGuard guard(this);
  MemoryServer::Admission admission = begin(MemOp::kOpenWrite, path);
  if (!admission.status.ok()) return admission.status;
  if (offset != 0) return Status(Status::kUnsupported, "openWrite: uploads start at offset 0");
  std::lock_guard<std::mutex> lock(server_->mu_);
  if (server_->isFolderLocked(path)) return Status(Status::kIsDirectory, "openWrite: is a folder: " + path);
  Status parent = server_->checkParentLocked(path);
  if (!parent.ok()) return parent;
  if (caps_.maxFileBytes != 0 && size > caps_.maxFileBytes)
    return Status(Status::kTooLarge, "openWrite: larger than the server accepts: " + path);
  const MemoryServer::Node* node = server_->findLocked(path);
  uint64_t old = node != nullptr ? node->data->size() : 0;
  if (server_->usedLocked() - old + size > server_->capacity_)
    return Status(Status::kNoSpace, "openWrite: server full");
  out = std::make_unique<MemoryWriteStream>(server_, NormalizeRemotePath(path), size, id_);
  return Status();
}

Status MemoryBackend::writeAt(const std::string& path, uint64_t offset, const uint8_t* data, uint64_t length) {
  UseGuard guard(this);
  MemoryServer::Admission admission = begin(MemOp::kWriteAt, path);
  if (!admission.status.ok()) return admission.status;
  if (!caps_.randomWrite) return Status(Status::kUnsupported, "writeAt: not supported by this server");
  {
    std::lock_guard<std::mutex> lock(server_->mu_);
    const MemoryServer::Node* node = server_->findLocked(path);
    if (node == nullptr) return NotFound("writeAt", path);
    if (node->dir) return Status(Status::kIsDirectory, "writeAt: is a folder: " + path);
    std::string content = *node->data;
    uint64_t end = offset + length;
    if (end > content.size() && server_->usedLocked() + (end - content.size()) > server_->capacity_)
      return Status(Status::kNoSpace, "writeAt: server full");
    if (end > content.size()) content.resize(end, '\0');
    if (length > 0) std::memcpy(content.data() + offset, data, length);
    server_->storeLocked(path, std::make_shared<const std::string>(std::move(content)));
  }
  server_->delayFor(length);
  return Status();
}

Status MemoryBackend::truncate(const std::string& path, uint64_t size) {
  UseGuard guard(this);
  MemoryServer::Admission admission = begin(MemOp::kTruncate, path);
  if (!admission.status.ok()) return admission.status;
  if (!caps_.truncate) return Status(Status::kUnsupported, "truncate: not supported by this server");
  std::lock_guard<std::mutex> lock(server_->mu_);
  const MemoryServer::Node* node = server_->findLocked(path);
  if (node == nullptr) return NotFound("truncate", path);
  if (node->dir) return Status(Status::kIsDirectory, "truncate: is a folder: " + path);
  std::string content = *node->data;
  content.resize(size, '\0');
  server_->storeLocked(path, std::make_shared<const std::string>(std::move(content)));
  return Status();
}

Status MemoryBackend::create(const std::string& path) {
  UseGuard guard(this);
  MemoryServer::Admission admission = begin(MemOp::kCreate, path);
  if (!admission.status.ok()) return admission.status;
  std::lock_guard<std::mutex> lock(server_->mu_);
  if (server_->findLocked(path) != nullptr || server_->isFolderLocked(path))
    return Status(Status::kExists, "create: already exists: " + path);
  Status parent = server_->checkParentLocked(path);
  if (!parent.ok()) return parent;
  server_->storeLocked(path, std::make_shared<const std::string>());
  return Status();
}

Status MemoryBackend::mkdir(const std::string& path) {
  UseGuard guard(this);
  MemoryServer::Admission admission = begin(MemOp::kMkdir, path);
  if (!admission.status.ok()) return admission.status;
  std::lock_guard<std::mutex> lock(server_->mu_);
  if (server_->findLocked(path) != nullptr || server_->isFolderLocked(path))
    return Status(Status::kExists, "mkdir: already exists: " + path);
  Status parent = server_->checkParentLocked(path);
  if (!parent.ok()) return parent;
  MemoryServer::Node node;
  node.path = NormalizeRemotePath(path);
  node.dir = true;
  node.attr.type = RemoteAttr::kDirectory;
  node.attr.fileId = ++server_->fileIdCounter_;
  server_->touchLocked(node);
  server_->nodes_.emplace(server_->keyOfLocked(path), std::move(node));
  return Status();
}

Status MemoryBackend::remove(const std::string& path, bool isDir) {
  UseGuard guard(this);
  MemoryServer::Admission admission = begin(MemOp::kRemove, path);
  if (!admission.status.ok()) return admission.status;
  std::lock_guard<std::mutex> lock(server_->mu_);
  if (IsRootPath(NormalizeRemotePath(path))) return Status(Status::kAccessDenied, "remove: the root stays");
  const MemoryServer::Node* node = server_->findLocked(path);
  bool folder = server_->isFolderLocked(path);
  if (node == nullptr && !folder) return NotFound("remove", path);
  if (isDir && !folder) return Status(Status::kNotDirectory, "remove: not a folder: " + path);
  if (!isDir && folder) return Status(Status::kIsDirectory, "remove: is a folder: " + path);
  if (folder && server_->hasChildrenLocked(path)) return Status(Status::kNotEmpty, "remove: folder not empty: " + path);
  server_->eraseLocked(server_->keyOfLocked(path));
  server_->noteVersionsLocked();
  return Status();
}

Status MemoryBackend::rename(const std::string& from, const std::string& to, bool overwrite) {
  UseGuard guard(this);
  MemoryServer::Admission admission = begin(MemOp::kRename, from);
  if (!admission.status.ok()) return admission.status;
  std::string src = NormalizeRemotePath(from);
  std::string dst = NormalizeRemotePath(to);
  std::lock_guard<std::mutex> lock(server_->mu_);
  if (IsRootPath(src) || IsRootPath(dst)) return Status(Status::kAccessDenied, "rename: the root cannot move");
  const MemoryServer::Node* node = server_->findLocked(src);
  bool srcDir = server_->isFolderLocked(src);
  if (node == nullptr && !srcDir) return NotFound("rename", src);
  if (srcDir && !caps_.renameDirs) return Status(Status::kUnsupported, "rename: folders cannot be renamed here");
  std::string srcKey = server_->keyOfLocked(src);
  std::string dstKey = server_->keyOfLocked(dst);
  if (srcKey != dstKey && IsUnderPath(srcKey, dstKey))
    return Status(Status::kInvalid, "rename: cannot move a folder into itself: " + dst);
  Status parent = server_->checkParentLocked(dst);
  if (!parent.ok()) return parent;
  if (srcKey != dstKey && (server_->findLocked(dst) != nullptr || server_->isFolderLocked(dst))) {
    bool dstDir = server_->isFolderLocked(dst);
    if (!overwrite) return Status(Status::kExists, "rename: target exists: " + dst);
    if (!caps_.renameOverwrite) return Status(Status::kExists, "rename: server cannot replace " + dst);
    if (dstDir && !srcDir) return Status(Status::kIsDirectory, "rename: target is a folder: " + dst);
    if (!dstDir && srcDir) return Status(Status::kNotDirectory, "rename: target is a file: " + dst);
    if (dstDir && server_->hasChildrenLocked(dst)) return Status(Status::kNotEmpty, "rename: target not empty: " + dst);
    server_->eraseLocked(dstKey);
    if (server_->replacesInSteps_) server_->noteVersionsLocked();
  }
  std::vector<MemoryServer::Node> moved;
  for (auto it = server_->nodes_.begin(); it != server_->nodes_.end();) {
    if (IsUnderPath(srcKey, it->first)) {
      moved.push_back(std::move(it->second));
      it = server_->nodes_.erase(it);
    } else {
      ++it;
    }
  }
  for (MemoryServer::Node& n : moved) {
    // Rebase on the spelled path: a case-only rename changes the stored names.
    n.path = RebasePath(n.path, n.path.substr(0, src.size()), dst);
    n.attr.ctime = Timestamp::now();
    server_->nodes_[server_->keyOfLocked(n.path)] = std::move(n);
  }
  server_->noteVersionsLocked();
  return Status();
}

Status MemoryBackend::setTimes(const std::string& path, const Timestamp& mtime, const Timestamp& atime) {
  UseGuard guard(this);
  MemoryServer::Admission admission = begin(MemOp::kSetTimes, path);
  if (!admission.status.ok()) return admission.status;
  std::lock_guard<std::mutex> lock(server_->mu_);
  MemoryServer::Node* node = server_->findLocked(path);
  if (node == nullptr) return NotFound("setTimes", path);
  // A server without settable times accepts the call and keeps its own.
  if (!caps_.setMtime) return Status();
  node->attr.mtime = mtime;
  node->attr.atime = atime;
  return Status();
}

}  // namespace tarn::test
