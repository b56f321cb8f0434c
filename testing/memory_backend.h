// An in-memory storage server for tests, and the back-end connections that
// reach it. One MemoryServer (shared by std::shared_ptr, guarded by its own
// mutex) holds the tree of files and folders, the capability record it hands
// to new connections, fault rules, gates, an ordered call log and the "server
// down" switch; any thread may configure or inspect it. Each MemoryBackend is
// one connection: like every back-end it is meant for one thread at a time,
// and it reports a test failure when two threads use it at once.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "engine/backend.h"
#include "foundation/cancel_token.h"
#include "testing/gate.h"

namespace tarn::test {

enum class MemOp {
  kConnect,
  kDisconnect,
  kPing,
  kStat,
  kList,
  kStatfs,
  kReadRange,
  kOpenRead,
  kStreamRead,
  kOpenWrite,
  kStreamWrite,
  kFinish,
  kAbort,
  kWriteAt,
  kTruncate,
  kCreate,
  kMkdir,
  kRemove,
  kRename,
  kSetTimes,
};

const char* MemOpName(MemOp op);

inline constexpr const char* kUploadWorkPrefix = ".tarn-upload-";

// One injected fault. A rule counts the calls that match its operation and
// path (empty path: any path; for rename, the source path) and fires on
// calls number `firstCall` .. `firstCall + times - 1` (times 0: every call
// from `firstCall` on).
struct FaultRule {
  enum class Kind {
    kFail,       // the call returns `status` and changes nothing
    kShortRead,  // readRange or a stream read delivers at most `limit` bytes
    kEarlyEnd,   // on kOpenRead: the stream reports its end after `limit` bytes
    kKeepShort,  // on kFinish: the upload succeeds but the server keeps only `limit` bytes
    // On kAbort: an upload given up after every byte was sent is applied
    // all the same, when the test calls applyGivenUpUploads, as an HTTP
    // server does with a whole body whose answer nobody waits for.
    kApplyLater,
  };
  MemOp op = MemOp::kStat;
  std::string path;
  int firstCall = 1;
  int times = 1;
  Kind kind = Kind::kFail;
  Status status{Status::kNetwork, "injected failure"};
  uint64_t limit = 0;
};

struct CallRecord {
  MemOp op;
  std::string path;
  uint64_t connection;  // the id of the MemoryBackend that made the call
};

class MemoryBackend;

class MemoryServer : public std::enable_shared_from_this<MemoryServer> {
 public:
  MemoryServer();

  // --- the tree, for setting up and checking tests ---
  void putFile(const std::string& path, const std::string& content);
  void makeDir(const std::string& path);  // with missing parents
  bool readFile(const std::string& path, std::string* content) const;
  bool exists(const std::string& path) const;
  bool statPath(const std::string& path, RemoteAttr* attr) const;
  void setCapacity(uint64_t bytes);

  // --- capabilities: copied into every connection when it connects ---
  // Without listsHiddenNames, listings leave out names that start with a
  // dot (as nginx's do) while every other call still finds them.
  void setCaps(const BackendCaps& caps);
  BackendCaps caps() const;
  // The server answers ranged reads with the whole object, as a caching proxy
  // might; the connection clears rangeRead the first time it notices.
  void setIgnoreRange(bool ignore);
  // Ranged reads and streams name the copy they read from (entity tag and
  // size), as a WebDAV server's answers do.
  void setReadsNameTheCopy(bool name);
  // Listings come in descending name order instead of ascending, as servers
  // that promise no order may return them.
  void setReverseListing(bool reverse);
  // How the server tells versions of a file apart. By default every change
  // gets a new entity tag and the time to the nanosecond. Without tags, and
  // with a fixed change time (whole seconds, as SFTP and HTTP dates give),
  // changes stand for ones made within one second. Zero: the real clock.
  void setEntityTags(bool tags);
  void setChangeTime(Timestamp time);
  // Files removed or replaced by a rename stay readable through readCopy by
  // their file id, as a file held open on the server stays readable after
  // its name went to another.
  void setKeepsReplacedFiles(bool keep);
  // A rename over a file removes the file first and then moves the source,
  // as Apache's MOVE does: in between, the name holds nothing.
  void setReplacesInSteps(bool steps);

  // --- faults, delays, gates ---
  void addFault(const FaultRule& rule);
  void clearFaults();
  void setDown(bool down);  // every call, connect included, fails with network
  // Closes every open connection from the server's side, as a server does
  // with connections that stood idle: the next call on each fails with
  // network, as a send on a closed socket does, until it connects again.
  void closeConnections();
  void setLatencyMs(uint32_t ms);
  void setBandwidth(uint64_t bytesPerSecond);  // 0: unlimited
  // Cuts injected latency and bandwidth waits short while it is cancelled.
  void setDelayCancel(std::shared_ptr<const CancelToken> token);
  // Holds the next call of `op` on `path` (empty: any path; ending in "/":
  // any path below that folder) at a gate.
  std::shared_ptr<Gate> addGate(MemOp op, const std::string& path = "");
  // Stops answering, as a stopped server process does: calls of `ops` (none
  // given: every call but a disconnect) wait until the engine's clock passes
  // their start plus `ioTimeoutMs` (or their token's silence limit, when
  // shorter) and then fail as timed out, as a back-end's I/O time-out ends
  // them; one whose connection's cancel token
  // counts as cancelled meanwhile ends as canceled, as a back-end that
  // watches its token ends it. 0 answers again: the waiting calls go on.
  void setSilent(uint32_t ioTimeoutMs, std::vector<MemOp> ops = {});
  // Calls waiting on the silence now.
  int silentWaiters() const;
  // Holds the reply of the next stat or list of `path` at a gate: the call
  // has read the tree and waits before it returns, as an answer under way
  // while others change the server.
  std::shared_ptr<Gate> addReplyGate(MemOp op, const std::string& path);

  // --- what readers of the server could see ---
  // From now on every state the path passes through is recorded, as each
  // call that changes the tree leaves it: a file's bytes, or nothing
  // (nullopt) while no file is there.
  void recordVersions(const std::string& path);
  std::vector<std::optional<std::string>> versions(const std::string& path) const;
  // The same for several paths together: each state is what all of them
  // held at once, so that a reader looking for any of them is judged.
  void recordStates(const std::vector<std::string>& paths);
  std::vector<std::vector<std::optional<std::string>>> states() const;
  // Applies the uploads that kApplyLater kept, in the order they were given up.
  void applyGivenUpUploads();

  // --- what happened ---
  std::vector<CallRecord> calls() const;
  int countCalls(MemOp op, const std::string& path = "") const;
  void clearCalls();
  int misuseCount() const;
  uint64_t connectionsMade() const;

  // --- connections ---
  std::unique_ptr<MemoryBackend> connection(const EndpointConfig& config = {});
  std::function<std::unique_ptr<IBackend>()> factory(const EndpointConfig& config = {});

 private:
  friend class MemoryBackend;
  friend class MemoryReadStream;
  friend class MemoryWriteStream;

  struct Node {
    std::string path;  // as created (keys may be case-folded)
    bool dir = false;
    std::shared_ptr<const std::string> data;  // files only; never null
    RemoteAttr attr;
  };

  // What a call is allowed to do after faults and the down switch are seen.
  struct Admission {
    Status status;
    FaultRule::Kind kind = FaultRule::Kind::kFail;
    uint64_t limit = UINT64_MAX;
  };

  Admission enter(MemOp op, const std::string& path, uint64_t connection, const CancelToken* cancel = nullptr);
  // The wait of a call while the server is silent; its failure, or ok.
  Status waitWhileSilent(MemOp op, const CancelToken* cancel);
  // The end of a stat or list: applies a reply gate.
  void leave(MemOp op, const std::string& path);
  // The first gate of `gates` for op and path, taken out of it; mu_ held.
  struct PendingGate;
  std::shared_ptr<Gate> takeGateLocked(std::vector<PendingGate>& gates, MemOp op, const std::string& path);
  void delayFor(uint64_t bytes);
  void reportMisuse(uint64_t connection);

  // Callers hold mu_.
  std::string keyOfLocked(const std::string& path) const;
  Node* findLocked(const std::string& path);
  const Node* findLocked(const std::string& path) const;
  bool isFolderLocked(const std::string& path) const;  // explicit or implied
  Status checkParentLocked(const std::string& path) const;
  bool hasChildrenLocked(const std::string& path) const;
  void storeLocked(const std::string& path, std::shared_ptr<const std::string> data);
  // Takes the node of a key out of the tree, keeping a file's bytes by its
  // id when the server keeps replaced files.
  void eraseLocked(const std::string& key);
  void touchLocked(Node& node);
  uint64_t usedLocked() const;
  RemoteAttr attrOfLocked(const std::string& path) const;
  // Records the state of every path recordVersions names that changed.
  void noteVersionsLocked();

  mutable std::mutex mu_;
  std::map<std::string, Node> nodes_;  // guarded by mu_; key: keyOfLocked(path)
  BackendCaps caps_;                   // guarded by mu_
  bool ignoreRange_ = false;           // guarded by mu_
  bool readsNameTheCopy_ = false;      // guarded by mu_
  bool reverseListing_ = false;        // guarded by mu_
  bool entityTags_ = true;             // guarded by mu_
  Timestamp changeTime_;               // guarded by mu_; zero: the real clock
  bool keepsReplaced_ = false;         // guarded by mu_
  std::map<uint64_t, std::shared_ptr<const std::string>> replaced_;  // guarded by mu_; by file id
  bool replacesInSteps_ = false;       // guarded by mu_
  std::map<std::string, std::vector<std::optional<std::string>>> versions_;  // guarded by mu_; by key
  std::vector<std::string> jointKeys_;                                       // guarded by mu_
  std::vector<std::vector<std::optional<std::string>>> jointStates_;         // guarded by mu_
  std::vector<std::pair<std::string, std::shared_ptr<const std::string>>> givenUp_;  // guarded by mu_
  uint64_t capacity_ = 1ULL << 40;     // guarded by mu_
  uint64_t etagCounter_ = 0;           // guarded by mu_
  uint64_t fileIdCounter_ = 0;         // guarded by mu_
  struct ActiveRule {
    FaultRule rule;
    int seen = 0;
  };
  std::vector<ActiveRule> faults_;  // guarded by mu_
  struct PendingGate {
    MemOp op;
    std::string path;
    std::shared_ptr<Gate> gate;
  };
  std::vector<PendingGate> gates_;                // guarded by mu_
  std::vector<PendingGate> replyGates_;           // guarded by mu_
  bool down_ = false;                             // guarded by mu_
  uint64_t closings_ = 0;                         // guarded by mu_; closeConnections so far
  uint32_t latencyMs_ = 0;                        // guarded by mu_
  uint32_t silentMs_ = 0;                         // guarded by mu_; 0: answering
  std::vector<MemOp> silentOps_;                  // guarded by mu_; empty: all
  int silentWaiters_ = 0;                         // guarded by mu_
  uint64_t bandwidth_ = 0;                        // guarded by mu_
  std::shared_ptr<const CancelToken> delayCancel_;  // guarded by mu_
  std::vector<CallRecord> calls_;                 // guarded by mu_
  int misuse_ = 0;                                // guarded by mu_
  uint64_t nextConnection_ = 1;                   // guarded by mu_
};

class MemoryBackend : public IBackend {
 public:
  MemoryBackend(std::shared_ptr<MemoryServer> server, EndpointConfig config, uint64_t id);
  ~MemoryBackend() override;

  uint64_t id() const { return id_; }

  Status connect() override;
  void disconnect() override;
  bool isConnected() const override { return connected_.load(std::memory_order_acquire); }
  Status ping() override;
  const EndpointConfig& config() const override { return config_; }

  Status stat(const std::string& path, RemoteAttr& out) override;
  // Names beginning with kUploadWorkPrefix are the work files of uploads a
  // dead process left, as the SFTP back-end names them: list leaves them
  // out and listWithLeftovers gives them apart.
  Status list(const std::string& path, std::vector<DirEntry>& out) override;
  Status listWithLeftovers(const std::string& path, std::vector<DirEntry>& out,
                           std::vector<DirEntry>& leftovers) override;
  Status statfs(FsStats& out) override;
  Status readRange(const std::string& path, uint64_t offset, uint8_t* buffer, uint64_t length,
                   uint64_t& got) override;
  bool lastReadCopy(RemoteAttr& out) const override;
  // The file of the copy's id, at the path or kept after it was replaced.
  Status readCopy(const std::string& path, const RemoteAttr& copy, uint64_t offset, uint8_t* buffer, uint64_t length,
                  uint64_t& got) override;
  Status openRead(const std::string& path, uint64_t offset, std::unique_ptr<IReadStream>& out) override;
  Status openWrite(const std::string& path, uint64_t offset, uint64_t size,
                   std::unique_ptr<IWriteStream>& out) override;
  Status writeAt(const std::string& path, uint64_t offset, const uint8_t* data, uint64_t length) override;
  Status truncate(const std::string& path, uint64_t size) override;
  Status create(const std::string& path) override;
  Status mkdir(const std::string& path) override;
  Status remove(const std::string& path, bool isDir) override;
  Status rename(const std::string& from, const std::string& to, bool overwrite) override;
  Status setTimes(const std::string& path, const Timestamp& mtime, const Timestamp& atime) override;
  void setCancelToken(const CancelToken* cancel) override { cancel_ = cancel; }

 private:
  class UseGuard;
  Status listFolder(const std::string& path, std::vector<DirEntry>& out, std::vector<DirEntry>* leftovers);
  // Logs the call, applies gates and faults, and refuses calls on a closed
  // connection.
  MemoryServer::Admission begin(MemOp op, const std::string& path);
  // The listing itself; takes the server's mutex, which callers must not hold.
  Status listTree(const std::string& path, std::vector<DirEntry>& out, std::vector<DirEntry>* leftovers);

  std::shared_ptr<MemoryServer> server_;
  EndpointConfig config_;
  const uint64_t id_;
  std::atomic<bool> connected_{false};  // read by the pool from other threads
  std::atomic<int> users_{0};  // the one-thread-at-a-time check
  uint64_t closingsAtConnect_ = 0;  // the server's closings when this connected
  bool readNamedCopy_ = false;  // the last readRange's answer named lastRead_
  const CancelToken* cancel_ = nullptr;  // the caller's, while the pool runs a call
  RemoteAttr lastRead_;
};

}  // namespace tarn::test
