#include "engine/journal.h"

#include <algorithm>
#include <utility>

#include "foundation/json.h"
#include "foundation/log.h"
#include "foundation/remote_path.h"
#include "foundation/text.h"

namespace tarn {
namespace {

constexpr const char* kKindNames[] = {"create", "mkdir", "unlink", "rmdir", "rename"};
constexpr uint32_t kKindCount = sizeof(kKindNames) / sizeof(kKindNames[0]);
// People may read the file: one member per line.
constexpr int32_t kJournalIndent = 1;

// The server already is in the state the record asks for.
bool AlreadyDone(const JournalOp& op, const Status& st) {
  if (op.kind == kJournalCreate || op.kind == kJournalMkdir) return st.code == Status::kExists;
  if (op.kind == kJournalUnlink || op.kind == kJournalRmdir) return st.code == Status::kNotFound;
  // A rename recorded before it was sent may have been done before a crash.
  return op.kind == kJournalRename && op.online && st.code == Status::kNotFound;
}

Status Send(IBackend& backend, const JournalOp& op) {
  switch (op.kind) {
    case kJournalCreate: return backend.create(op.path);
    case kJournalMkdir: return backend.mkdir(op.path);
    case kJournalUnlink: return backend.remove(op.path, false);
    case kJournalRmdir: return backend.remove(op.path, true);
    case kJournalRename: return backend.rename(op.path, op.to, true);
    default: return Status();
  }
}

}  // namespace

const char* JournalOpKindName(uint32_t kind) { return kind < kKindCount ? kKindNames[kind] : "?"; }

bool ParseJournalOpKind(std::string_view name, uint32_t& kind) {
  for (uint32_t k = 0; k < kKindCount; ++k) {
    if (name == kKindNames[k]) {
      kind = k;
      return true;
    }
  }
  return false;
}

Journal::Journal(std::string filePath, Env* env)
    : filePath_(std::move(filePath)), env_(env != nullptr ? env : Env::Default()) {}

void Journal::reportProblem(const std::string& text) {
  {
    std::lock_guard<std::mutex> lock(mu_);
    if (saveProblem_ == text) return;
    saveProblem_ = text;
  }
  vx::log::write(vx::log::kError, "journal: %s", text.c_str());
}

bool Journal::load() {
  std::string text;
  Status st = env_->readFile(filePath_, kMaxJournalBytes, &text);
  if (st.code == Status::kNotFound) return false;  // nothing recorded yet
  vx::json::Value doc;
  std::string why;
  if (!st.ok())
    why = st.toString();
  else if (!vx::json::Parse(text, doc))
    why = "not a JSON document";
  if (!why.empty()) {
    // Its records may be all that is left of offline changes: the next save
    // must not write over them.
    const std::string aside = filePath_ + std::string(kUnreadJournalSuffix) + std::to_string(vx::UnixNow());
    Status moved = env_->rename(filePath_, aside);
    std::string problem = "cannot load " + filePath_ + " (" + why + "); ";
    problem += moved.ok() ? "set aside as " + aside : "cannot set it aside (" + moved.toString() + "), so it is never written";
    vx::log::write(vx::log::kError, "journal: %s", problem.c_str());
    std::lock_guard<std::mutex> lock(mu_);
    setAside_ = problem;
    keepFile_ = !moved.ok();
    return false;
  }
  std::vector<JournalOp> ops;
  const vx::json::Value& items = doc["ops"];
  for (size_t i = 0; items.isArray() && i < items.size(); ++i) {
    const vx::json::Value& item = items.at(i);
    JournalOp op;
    if (!item["op"].isString() || !ParseJournalOpKind(item["op"].string, op.kind)) continue;
    op.path = item["path"].asString();
    op.to = item["to"].asString();
    op.at = item["at"].asInt64();
    op.moving = item["moving"].asBool(false);
    op.online = item["online"].asBool(false);
    ops.push_back(std::move(op));
  }
  std::lock_guard<std::mutex> lock(mu_);
  ops_ = std::move(ops);
  for (JournalOp& op : ops_) op.id = ++nextId_;
  return true;
}

bool Journal::save() {
  // The snapshot is taken while this writer holds the file, so whichever
  // save writes last writes the newest records.
  std::lock_guard<std::mutex> saveLock(saveMu_);
  vx::json::Value doc = vx::json::Value::object();
  uint64_t version = 0;
  {
    std::lock_guard<std::mutex> lock(mu_);
    version = version_;
    if (version == savedVersion_) return true;
    if (keepFile_) return false;
    vx::json::Value items = vx::json::Value::array();
    for (const JournalOp& op : ops_) {
      vx::json::Value item = vx::json::Value::object();
      item.set("op", JournalOpKindName(op.kind));
      item.set("path", op.path);
      if (!op.to.empty()) item.set("to", op.to);
      item.set("at", op.at);
      if (op.moving) item.set("moving", true);
      if (op.online) item.set("online", true);
      items.append(std::move(item));
    }
    doc.set("ops", std::move(items));
  }
  // Offline changes exist nowhere else: the file must survive a power loss.
  Status st = env_->writeFileAtomic(filePath_, doc.dump(kJournalIndent), true);
  if (!st.ok()) {
    reportProblem("cannot write " + filePath_ + ": " + st.toString() + "; nothing more is replayed until it can be");
    return false;
  }
  savedVersion_ = version;
  std::lock_guard<std::mutex> lock(mu_);
  diskVersion_ = version;
  saveProblem_.clear();
  return true;
}

bool Journal::eraseLocked(uint64_t id) {
  auto it = std::find_if(ops_.begin(), ops_.end(), [id](const JournalOp& op) { return op.id == id; });
  if (it == ops_.end()) return false;
  ops_.erase(it);
  ++version_;
  return true;
}

Status Journal::append(JournalOp op, uint64_t* id) {
  if (op.at == 0) op.at = vx::UnixNow();
  uint64_t mine = 0;
  {
    std::lock_guard<std::mutex> lock(mu_);
    mine = op.id = ++nextId_;
    ops_.push_back(std::move(op));
    ++version_;
  }
  if (id != nullptr) *id = mine;
  if (save()) return Status();
  // A change the file does not hold must not happen: a restart would not
  // know of it.
  std::string problem;
  {
    std::lock_guard<std::mutex> lock(mu_);
    eraseLocked(mine);
    problem = setAside_.empty() ? saveProblem_ : setAside_;
  }
  return Status(Status::kIo, "cannot record the change in the journal: " + problem);
}

bool Journal::drop(uint64_t id) {
  {
    std::lock_guard<std::mutex> lock(mu_);
    if (!eraseLocked(id)) return true;
  }
  return save();
}

bool Journal::markMoved(uint64_t id) {
  {
    std::lock_guard<std::mutex> lock(mu_);
    auto it = std::find_if(ops_.begin(), ops_.end(), [id](const JournalOp& op) { return op.id == id; });
    if (it == ops_.end()) return true;
    it->held = false;
    if (!it->moving) return true;
    it->moving = false;
    ++version_;
  }
  return save();
}

std::vector<JournalOp> Journal::pendingMoves() {
  std::vector<JournalOp> out;
  std::lock_guard<std::mutex> lock(mu_);
  for (const JournalOp& op : ops_)
    if (op.moving) out.push_back(op);
  return out;
}

void Journal::rebase(const std::string& from, const std::string& to) {
  bool changed = false;
  {
    std::lock_guard<std::mutex> lock(mu_);
    for (JournalOp& op : ops_) {
      if (op.held) continue;  // its own operation is still at work on it
      if (IsUnderPath(from, op.path)) {
        op.path = RebasePath(op.path, from, to);
        changed = true;
      }
      if (!op.to.empty() && IsUnderPath(from, op.to)) {
        op.to = RebasePath(op.to, from, to);
        changed = true;
      }
    }
    if (changed) ++version_;
  }
  if (changed) save();
}

Status Journal::replay(IBackend& backend, std::vector<JournalFailure>* failed, std::vector<std::string>* sent) {
  std::lock_guard<std::mutex> replayLock(replayMu_);
  auto unrecorded = [this] { return Status(Status::kIo, "journal: " + problem()); };
  // A record sent earlier but still in the file would be sent again after a
  // restart, over whatever came after it: nothing more goes out until the
  // file has caught up.
  if (!save()) return unrecorded();
  for (;;) {
    JournalOp op;
    {
      std::lock_guard<std::mutex> lock(mu_);
      if (ops_.empty() || ops_.front().held) return Status();
      op = ops_.front();
    }
    Status st = Send(backend, op);
    if (st.retryable()) return st;
    if (sent != nullptr) {
      sent->push_back(op.path);
      if (!op.to.empty()) sent->push_back(op.to);
    }
    if (!st.ok() && !AlreadyDone(op, st)) {
      vx::log::write(vx::log::kError, "journal: %s %s failed permanently: %s", JournalOpKindName(op.kind),
                     op.path.c_str(), st.toString().c_str());
      if (failed != nullptr) failed->push_back(JournalFailure{op.kind, op.path, op.to, op.at, st});
    }
    {
      // Replays are serialised and only a record's own operation drops it
      // (never one a replay may send), so the record is still there; a rebase
      // may have renamed it.
      std::lock_guard<std::mutex> lock(mu_);
      eraseLocked(op.id);
    }
    if (!save()) return unrecorded();
  }
}

bool Journal::isEmpty() {
  std::lock_guard<std::mutex> lock(mu_);
  return ops_.empty();
}

bool Journal::needsReplay() {
  std::lock_guard<std::mutex> lock(mu_);
  return !ops_.empty() || version_ != diskVersion_;
}

uint64_t Journal::count() {
  std::lock_guard<std::mutex> lock(mu_);
  return ops_.size();
}

std::vector<std::string> Journal::touchedPaths() {
  std::vector<std::string> out;
  std::lock_guard<std::mutex> lock(mu_);
  for (const JournalOp& op : ops_) {
    out.push_back(op.path);
    if (!op.to.empty()) out.push_back(op.to);
  }
  return out;
}

std::string Journal::problem() {
  std::lock_guard<std::mutex> lock(mu_);
  return setAside_.empty() ? saveProblem_ : setAside_;
}

}  // namespace tarn
