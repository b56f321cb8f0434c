#include "engine/journal.h"

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
bool AlreadyDone(uint32_t kind, const Status& st) {
  if (kind == kJournalCreate || kind == kJournalMkdir) return st.code == Status::kExists;
  if (kind == kJournalUnlink || kind == kJournalRmdir) return st.code == Status::kNotFound;
  return false;
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

bool Journal::load() {
  std::string text;
  if (!env_->readFile(filePath_, kMaxJournalBytes, &text).ok()) return false;
  vx::json::Value doc;
  if (!vx::json::Parse(text, doc)) return false;
  std::vector<JournalOp> ops;
  const vx::json::Value& items = doc["ops"];
  for (size_t i = 0; items.isArray() && i < items.size(); ++i) {
    const vx::json::Value& item = items.at(i);
    JournalOp op;
    if (!item["op"].isString() || !ParseJournalOpKind(item["op"].string, op.kind)) continue;
    op.path = item["path"].asString();
    op.to = item["to"].asString();
    op.at = item["at"].asInt64();
    ops.push_back(std::move(op));
  }
  std::lock_guard<std::mutex> lock(mu_);
  ops_ = std::move(ops);
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
    vx::json::Value items = vx::json::Value::array();
    for (const JournalOp& op : ops_) {
      vx::json::Value item = vx::json::Value::object();
      item.set("op", JournalOpKindName(op.kind));
      item.set("path", op.path);
      if (!op.to.empty()) item.set("to", op.to);
      item.set("at", op.at);
      items.append(std::move(item));
    }
    doc.set("ops", std::move(items));
  }
  // Offline changes exist nowhere else: the file must survive a power loss.
  if (!env_->writeFileAtomic(filePath_, doc.dump(kJournalIndent), true).ok()) return false;
  savedVersion_ = version;
  return true;
}

void Journal::append(JournalOp op) {
  if (op.at == 0) op.at = vx::UnixNow();
  {
    std::lock_guard<std::mutex> lock(mu_);
    ops_.push_back(std::move(op));
    ++version_;
  }
  save();
}

void Journal::rebase(const std::string& from, const std::string& to) {
  bool changed = false;
  {
    std::lock_guard<std::mutex> lock(mu_);
    for (JournalOp& op : ops_) {
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

Status Journal::replay(IBackend& backend, std::vector<JournalFailure>* failed) {
  std::lock_guard<std::mutex> replayLock(replayMu_);
  for (;;) {
    JournalOp op;
    {
      std::lock_guard<std::mutex> lock(mu_);
      if (ops_.empty()) return Status();
      op = ops_.front();
    }
    Status st = Send(backend, op);
    if (st.retryable()) return st;
    if (!st.ok() && !AlreadyDone(op.kind, st)) {
      vx::log::write(vx::log::kError, "journal: %s %s failed permanently: %s", JournalOpKindName(op.kind),
                     op.path.c_str(), st.toString().c_str());
      if (failed != nullptr) failed->push_back(JournalFailure{op.kind, op.path, op.to, op.at, st});
    }
    {
      // Appends only add at the end and replays are serialised, so the first
      // record is still the one just sent (a rebase may have renamed it).
      std::lock_guard<std::mutex> lock(mu_);
      ops_.erase(ops_.begin());
      ++version_;
    }
    save();
  }
}

bool Journal::isEmpty() {
  std::lock_guard<std::mutex> lock(mu_);
  return ops_.empty();
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

}  // namespace tarn
