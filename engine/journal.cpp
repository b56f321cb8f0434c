#include "engine/journal.h"

#include <algorithm>
#include <utility>

#include "foundation/json.h"
#include "foundation/log.h"
#include "foundation/remote_path.h"
#include "foundation/text.h"

namespace tarn {
namespace {

constexpr const char* kKindNames[] = {"create", "mkdir", "unlink", "rmdir", "rename", "undoCreate"};
constexpr uint32_t kKindCount = sizeof(kKindNames) / sizeof(kKindNames[0]);
// People may read the document: one member per line.
constexpr int32_t kJournalIndent = 1;
constexpr std::string_view kDocumentExtension = ".json";

// The server already is in the state the record asks for.
bool AlreadyDone(const JournalOp& op, const Status& st) {
  if (op.kind == kJournalCreate || op.kind == kJournalMkdir) return st.code == Status::kExists;
  if (op.kind == kJournalUnlink || op.kind == kJournalRmdir) return st.code == Status::kNotFound;
  // A rename recorded before it was sent may have been done before a crash.
  return op.kind == kJournalRename && (op.online || op.byUpload) && st.code == Status::kNotFound;
}

// The empty file a create the server did not answer in time may have left:
// anything else under the name is another client's and stays.
Status UndoCreate(IBackend& backend, const std::string& path) {
  RemoteAttr there;
  Status st = backend.stat(path, there);
  if (st.code == Status::kNotFound) return Status();
  if (!st.ok()) return st;
  if (there.isDir() || there.size != 0) return Status();
  st = backend.remove(path, false);
  return st.code == Status::kNotFound ? Status() : st;
}

Status Send(IBackend& backend, const JournalOp& op) {
  switch (op.kind) {
    case kJournalCreate: return backend.create(op.path);
    case kJournalMkdir: return backend.mkdir(op.path);
    case kJournalUnlink: return backend.remove(op.path, false);
    case kJournalRmdir: return backend.remove(op.path, true);
    case kJournalRename: return op.byUpload ? backend.remove(op.path, false) : backend.rename(op.path, op.to, true);
    case kJournalUndoCreate: return UndoCreate(backend, op.path);
    default: return Status();
  }
}

vx::json::Value OpItem(const JournalOp& op) {
  vx::json::Value item = vx::json::Value::object();
  item.set("id", static_cast<int64_t>(op.id));
  item.set("op", JournalOpKindName(op.kind));
  item.set("path", op.path);
  if (!op.to.empty()) item.set("to", op.to);
  item.set("at", op.at);
  if (op.moving) item.set("moving", true);
  if (op.online) item.set("online", true);
  if (op.byUpload) item.set("byUpload", true);
  if (!op.after.empty()) {
    vx::json::Value after = vx::json::Value::array();
    for (const std::string& path : op.after) after.append(vx::json::Value(path));
    item.set("after", std::move(after));
  }
  return item;
}

// False for a record of a kind this version does not know.
bool ReadOp(const vx::json::Value& item, JournalOp& op) {
  if (!item["op"].isString() || !ParseJournalOpKind(item["op"].string, op.kind)) return false;
  op.path = item["path"].asString();
  op.to = item["to"].asString();
  op.at = item["at"].asInt64();
  op.moving = item["moving"].asBool(false);
  op.online = item["online"].asBool(false);
  op.byUpload = item["byUpload"].asBool(false);
  const vx::json::Value& after = item["after"];
  for (size_t i = 0; after.isArray() && i < after.size(); ++i)
    if (after.at(i).isString()) op.after.push_back(after.at(i).string);
  op.id = static_cast<uint64_t>(std::max<int64_t>(0, item["id"].asInt64()));
  return true;
}

// One line of the log: a change to the record of `id`.
std::string ChangeLine(const char* change, uint64_t id) {
  vx::json::Value line = vx::json::Value::object();
  line.set("do", change);
  line.set("id", static_cast<int64_t>(id));
  return line.dump();
}

std::string AddLine(const JournalOp& op) {
  vx::json::Value line = OpItem(op);
  line.set("do", "add");
  return line.dump();
}

// New paths of several records at once: a rebase is one change.
std::string PathsLine(const std::vector<const JournalOp*>& changed) {
  vx::json::Value records = vx::json::Value::array();
  for (const JournalOp* op : changed) {
    vx::json::Value record = vx::json::Value::object();
    record.set("id", static_cast<int64_t>(op->id));
    record.set("path", op->path);
    if (!op->to.empty()) record.set("to", op->to);
    records.append(std::move(record));
  }
  vx::json::Value line = vx::json::Value::object();
  line.set("do", "paths");
  line.set("records", std::move(records));
  return line.dump();
}

// The first line of a log: the generation of the document it follows.
std::string GenerationLine(uint64_t generation) {
  vx::json::Value line = vx::json::Value::object();
  line.set("generation", static_cast<int64_t>(generation));
  return line.dump() + '\n';
}

bool ParseGenerationLine(std::string_view text, uint64_t& generation) {
  vx::json::Value line;
  if (!vx::json::Parse(text, line) || !line.isObject() || !line["generation"].isNumber()) return false;
  const int64_t value = line["generation"].asInt64();
  if (value < 0) return false;
  generation = static_cast<uint64_t>(value);
  return true;
}

// Records stay in the order of their numbers, the order they were made, so
// one is found by halving: a log of an offline untar loads in n log n.
auto OpAtOrAfter(std::deque<JournalOp>& ops, uint64_t id) {
  return std::lower_bound(ops.begin(), ops.end(), id, [](const JournalOp& op, uint64_t n) { return op.id < n; });
}

auto FindOp(std::deque<JournalOp>& ops, uint64_t id) {
  auto it = OpAtOrAfter(ops, id);
  return it != ops.end() && it->id == id ? it : ops.end();
}

// Applies one log line to the records. Each change leaves the records as it
// found them when applied a second time (an added record already there is
// not added again), so a log that a fold could not empty may be applied to
// the document it was folded into. False for a line that is not a change.
bool ApplyLine(std::string_view text, std::deque<JournalOp>& ops, uint64_t& nextId) {
  vx::json::Value line;
  if (!vx::json::Parse(text, line) || !line.isObject() || !line["do"].isString()) return false;
  const std::string& change = line["do"].string;
  if (change == "paths") {
    const vx::json::Value& records = line["records"];
    for (size_t i = 0; records.isArray() && i < records.size(); ++i) {
      const vx::json::Value& record = records.at(i);
      auto it = FindOp(ops, static_cast<uint64_t>(std::max<int64_t>(0, record["id"].asInt64())));
      if (it == ops.end()) continue;
      it->path = record["path"].asString();
      it->to = record["to"].asString();
    }
    return true;
  }
  const int64_t number = line["id"].asInt64();
  if (number <= 0) return false;
  const uint64_t id = static_cast<uint64_t>(number);
  auto it = FindOp(ops, id);
  if (change == "add") {
    JournalOp op;
    if (it == ops.end() && ReadOp(line, op)) {
      ops.insert(OpAtOrAfter(ops, id), std::move(op));
    }
    nextId = std::max(nextId, id);
  } else if (change == "drop") {
    if (it != ops.end()) ops.erase(it);
  } else if (change == "moved") {
    if (it != ops.end()) it->moving = false;
  }
  return true;
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

std::string JournalLogPath(const std::string& documentPath) {
  std::string_view base = documentPath;
  if (base.ends_with(kDocumentExtension)) base.remove_suffix(kDocumentExtension.size());
  return std::string(base) + ".log";
}

Journal::Journal(std::string filePath, Env* env, uint64_t foldBytes)
    : filePath_(std::move(filePath)),
      logPath_(JournalLogPath(filePath_)),
      env_(env != nullptr ? env : Env::Default()),
      foldBytes_(foldBytes) {}

void Journal::reportProblem(const std::string& text) {
  {
    std::lock_guard<std::mutex> lock(mu_);
    if (saveProblem_ == text) return;
    saveProblem_ = text;
  }
  vx::log::write(vx::log::kError, "journal: %s", text.c_str());
}

void Journal::setAside(const std::string& file, const std::string& why) {
  // Its records may be all that is left of offline changes: no later write
  // may go over them.
  const std::string aside = file + std::string(kUnreadJournalSuffix) + std::to_string(vx::UnixNow());
  Status moved = env_->rename(file, aside);
  std::string problem = "cannot load " + file + " (" + why + "); ";
  problem += moved.ok() ? "set aside as " + aside : "cannot set it aside (" + moved.toString() + "), so it is never written";
  vx::log::write(vx::log::kError, "journal: %s", problem.c_str());
  std::lock_guard<std::mutex> lock(mu_);
  setAside_ = setAside_.empty() ? problem : setAside_ + "; " + problem;
  keepFile_ = keepFile_ || !moved.ok();
}

bool Journal::load() {
  std::lock_guard<std::mutex> saveLock(saveMu_);
  log_.reset();
  std::deque<JournalOp> ops;
  uint64_t nextId = 0;
  uint64_t generation = 0;
  bool found = false;

  std::string text;
  Status st = env_->readFile(filePath_, kMaxJournalBytes, &text);
  vx::json::Value doc;
  if (st.ok() && vx::json::Parse(text, doc)) {
    found = true;
    docBytes_ = text.size();
    generation = static_cast<uint64_t>(std::max<int64_t>(0, doc["generation"].asInt64()));
    nextId = static_cast<uint64_t>(std::max<int64_t>(0, doc["next"].asInt64()));
    const vx::json::Value& items = doc["ops"];
    for (size_t i = 0; items.isArray() && i < items.size(); ++i) {
      JournalOp op;
      if (!ReadOp(items.at(i), op)) continue;
      nextId = std::max(nextId, op.id);
      ops.push_back(std::move(op));
    }
    // A document written before records had numbers.
    for (JournalOp& op : ops)
      if (op.id == 0) op.id = ++nextId;
    // Only an edited file lists them out of the order they were made in.
    std::stable_sort(ops.begin(), ops.end(), [](const JournalOp& a, const JournalOp& b) { return a.id < b.id; });
  } else if (st.ok()) {
    setAside(filePath_, "not a JSON document");
  } else if (st.code != Status::kNotFound) {
    setAside(filePath_, st.toString());
  }

  bool torn = false;
  bool refold = false;  // the log is to be folded and started afresh
  st = env_->readFile(logPath_, kMaxJournalBytes, &text);
  if (st.ok()) {
    found = true;
    refold = !text.empty();
    size_t start = 0;
    uint64_t logGeneration = 0;
    for (size_t number = 1; start < text.size(); ++number) {
      const size_t end = text.find('\n', start);
      // A last line without its end was being written when the process
      // died: its call never returned, so the change never happened.
      if (end == std::string::npos) {
        torn = true;
        break;
      }
      const std::string_view line(text.data() + start, end - start);
      start = end + 1;
      bool good = true;
      if (number == 1) {
        good = ParseGenerationLine(line, logGeneration);
        // Folded into the document already (or the document is lost and
        // the log is all there is).
        if (good && logGeneration < generation) break;
      } else {
        good = line.empty() || ApplyLine(line, ops, nextId);
      }
      if (!good) {
        // The changes before it are a state the drive was in; the rest
        // stays in the file set aside.
        setAside(logPath_, "line " + std::to_string(number) + " is not a change");
        torn = false;
        break;
      }
    }
    generation = std::max(generation, logGeneration);
  } else if (st.code != Status::kNotFound) {
    setAside(logPath_, st.toString());
  }
  if (!found) return false;

  {
    std::lock_guard<std::mutex> lock(mu_);
    ops_ = std::move(ops);
    named_.clear();
    for (const JournalOp& op : ops_) nameLocked(op, 1);
    nextId_ = nextId;
    behind_ = torn;
  }
  generation_ = generation;
  if (refold) foldLocked();
  return true;
}

Status Journal::openLogLocked() {
  EnvFileInfo info;
  const bool existed = env_->stat(logPath_, &info).ok();
  std::unique_ptr<EnvFile> file;
  Status st = env_->open(logPath_, Env::OpenMode::kReadWrite, &file);
  uint64_t size = 0;
  if (st.ok()) st = file->size(&size);
  if (st.ok() && size == 0) {
    const std::string first = GenerationLine(generation_);
    st = file->write(0, first.data(), first.size());
    if (st.ok()) st = file->syncData();
    size = first.size();
  }
  // A log whose folder entry a power loss could take would take its lines.
  if (st.ok() && !existed) st = env_->syncDir(EnvParentDir(logPath_));
  if (!st.ok()) return st;
  log_ = std::move(file);
  logBytes_ = size;
  return Status();
}

bool Journal::foldLocked() {
  std::string text;
  const uint64_t generation = generation_ + 1;
  {
    std::lock_guard<std::mutex> lock(mu_);
    if (keepFile_) return false;
    vx::json::Value doc = vx::json::Value::object();
    doc.set("generation", static_cast<int64_t>(generation));
    doc.set("next", static_cast<int64_t>(nextId_));
    vx::json::Value items = vx::json::Value::array();
    for (const JournalOp& op : ops_) items.append(OpItem(op));
    doc.set("ops", std::move(items));
    text = doc.dump(kJournalIndent);
  }
  // Offline changes exist nowhere else: the file must survive a power loss.
  Status st = env_->writeFileAtomic(filePath_, text, true);
  if (!st.ok()) {
    reportProblem("cannot write " + filePath_ + ": " + st.toString() + "; nothing more is replayed until it can be");
    return false;
  }
  generation_ = generation;
  docBytes_ = text.size();
  // The log of the older generation is in the document now; a crash before
  // it starts afresh leaves it to be ignored.
  const std::string first = GenerationLine(generation);
  if (!log_) st = openLogLocked();
  if (st.ok()) st = log_->truncate(0);
  if (st.ok()) st = log_->write(0, first.data(), first.size());
  if (st.ok()) st = log_->syncData();
  if (!st.ok()) {
    // Lines after an old generation would be ignored: until the log can be
    // started afresh, every change is folded.
    log_.reset();
    {
      std::lock_guard<std::mutex> lock(mu_);
      behind_ = true;
    }
    reportProblem("cannot start " + logPath_ + " afresh: " + st.toString());
    return true;
  }
  logBytes_ = first.size();
  std::lock_guard<std::mutex> lock(mu_);
  behind_ = false;
  saveProblem_.clear();
  return true;
}

bool Journal::writeChangeLocked(const std::string& line) {
  bool behind = false;
  {
    std::lock_guard<std::mutex> lock(mu_);
    if (keepFile_) return false;
    behind = behind_;
  }
  // The log may end in a piece of a line that failed, or be of an older
  // generation: nothing goes after it, and a fold takes the change.
  if (behind) return foldLocked();
  Status st = log_ ? Status() : openLogLocked();
  const std::string text = line + '\n';
  if (st.ok()) st = log_->write(logBytes_, text.data(), text.size());
  if (st.ok()) st = log_->syncData();
  if (!st.ok()) {
    log_.reset();
    {
      std::lock_guard<std::mutex> lock(mu_);
      behind_ = true;
    }
    reportProblem("cannot write " + logPath_ + ": " + st.toString() + "; nothing more is replayed until it can be");
    return foldLocked();
  }
  logBytes_ += text.size();
  {
    std::lock_guard<std::mutex> lock(mu_);
    saveProblem_.clear();
  }
  // The document is rewritten once the log has grown as large as it, so the
  // folds of N changes cost O(N) in all. A failed fold leaves the log whole.
  if (logBytes_ > foldBytes_ && logBytes_ > docBytes_) foldLocked();
  return true;
}

bool Journal::save() {
  std::lock_guard<std::mutex> saveLock(saveMu_);
  {
    std::lock_guard<std::mutex> lock(mu_);
    if (!behind_) return true;
  }
  return foldLocked();
}

bool Journal::eraseLocked(uint64_t id) {
  auto it = FindOp(ops_, id);
  if (it == ops_.end()) return false;
  nameLocked(*it, -1);
  ops_.erase(it);
  return true;
}

void Journal::nameLocked(const JournalOp& op, int delta) {
  for (const std::string* name : {&op.path, &op.to}) {
    if (name == &op.to && op.to.empty()) continue;
    if (delta > 0) {
      ++named_[*name];
    } else if (auto it = named_.find(*name); it != named_.end() && --it->second == 0) {
      named_.erase(it);
    }
  }
}

Status Journal::append(JournalOp op, uint64_t* id) {
  if (op.at == 0) op.at = vx::UnixNow();
  std::lock_guard<std::mutex> saveLock(saveMu_);
  uint64_t mine = 0;
  std::string line;
  {
    std::lock_guard<std::mutex> lock(mu_);
    mine = op.id = ++nextId_;
    line = AddLine(op);
    nameLocked(op, 1);
    ops_.push_back(std::move(op));
  }
  if (id != nullptr) *id = mine;
  if (writeChangeLocked(line)) return Status();
  // A change the files do not hold must not happen: a restart would not
  // know of it.
  std::lock_guard<std::mutex> lock(mu_);
  eraseLocked(mine);
  return Status(Status::kIo, "cannot record the change in the journal: " + (setAside_.empty() ? saveProblem_ : setAside_));
}

bool Journal::drop(uint64_t id) {
  std::lock_guard<std::mutex> saveLock(saveMu_);
  {
    std::lock_guard<std::mutex> lock(mu_);
    if (!eraseLocked(id)) return true;
  }
  return writeChangeLocked(ChangeLine("drop", id));
}

bool Journal::markMoved(uint64_t id) {
  std::lock_guard<std::mutex> saveLock(saveMu_);
  {
    std::lock_guard<std::mutex> lock(mu_);
    auto it = FindOp(ops_, id);
    if (it == ops_.end()) return true;
    it->held = false;
    if (!it->moving) return true;
    it->moving = false;
  }
  return writeChangeLocked(ChangeLine("moved", id));
}

std::vector<JournalOp> Journal::pendingMoves() {
  std::vector<JournalOp> out;
  std::lock_guard<std::mutex> lock(mu_);
  for (const JournalOp& op : ops_)
    if (op.moving) out.push_back(op);
  return out;
}

void Journal::rebase(const std::string& from, const std::string& to) {
  std::lock_guard<std::mutex> saveLock(saveMu_);
  std::string line;
  {
    std::lock_guard<std::mutex> lock(mu_);
    std::vector<const JournalOp*> changed;
    for (JournalOp& op : ops_) {
      if (op.held) continue;  // its own operation is still at work on it
      const bool moves = IsUnderPath(from, op.path), movesTo = !op.to.empty() && IsUnderPath(from, op.to);
      if (!moves && !movesTo) continue;
      nameLocked(op, -1);
      if (moves) op.path = RebasePath(op.path, from, to);
      if (movesTo) op.to = RebasePath(op.to, from, to);
      nameLocked(op, 1);
      changed.push_back(&op);
    }
    if (changed.empty()) return;
    line = PathsLine(changed);
  }
  // Left behind for the next replay when neither reaches the disk.
  writeChangeLocked(line);
}

std::unique_lock<std::mutex> Journal::replayTurn() { return std::unique_lock<std::mutex>(replayMu_); }

Status Journal::replay(IBackend& backend, std::vector<JournalFailure>* failed, std::vector<std::string>* sent,
                       const KeepOfflineFile* keep) {
  return replay(replayTurn(), backend, failed, sent, keep);
}

Status Journal::replay(const std::unique_lock<std::mutex>& turn, IBackend& backend, std::vector<JournalFailure>* failed,
                       std::vector<std::string>* sent, const KeepOfflineFile* keep) {
  if (turn.mutex() != &replayMu_ || !turn.owns_lock()) return Status(Status::kInvalid, "journal: replay out of turn");
  auto unrecorded = [this] { return Status(Status::kIo, "journal: " + problem()); };
  // A record sent earlier but still on disk would be sent again after a
  // restart, over whatever came after it: nothing more goes out until the
  // files have caught up.
  if (!save()) return unrecorded();
  Status result;
  bool progressed = false;
  for (;;) {
    JournalOp op;
    {
      std::lock_guard<std::mutex> lock(mu_);
      if (ops_.empty() || ops_.front().held) break;
      op = ops_.front();
    }
    if (!due(op)) break;
    Status st = Send(backend, op);
    std::string keptAs;
    if (op.kind == kJournalCreate && st.code == Status::kExists && keep != nullptr) {
      // The name was free when the file was made offline. An empty file
      // there is this create's own from a replay cut short, or loses
      // nothing; anything else is another client's and stays.
      RemoteAttr there;
      st = backend.stat(op.path, there);
      if (st.code == Status::kNotFound) st = Send(backend, op);  // gone again meanwhile
      if (st.ok() && (there.isDir() || there.size != 0))
        st = (*keep)(backend, op.path, keptAs);
      else if (st.ok())
        st = Status(Status::kExists, op.path);
    }
    if (st.retryable()) {
      result = st;
      break;
    }
    if (sent != nullptr) {
      sent->push_back(op.path);
      if (!op.to.empty()) sent->push_back(op.to);
      if (!keptAs.empty()) sent->push_back(keptAs);
    }
    // What the user did to the file offline happens to it where it is now.
    if (!keptAs.empty()) rebase(op.path, keptAs);
    if (!st.ok() && !AlreadyDone(op, st)) {
      vx::log::write(vx::log::kError, "journal: %s %s failed permanently: %s", JournalOpKindName(op.kind),
                     op.path.c_str(), st.toString().c_str());
      if (failed != nullptr) failed->push_back(JournalFailure{op.kind, op.path, op.to, op.at, st});
    }
    std::lock_guard<std::mutex> saveLock(saveMu_);
    {
      // Replays are serialised and only a record's own operation drops it
      // (never one a replay may send), so the record is still there; a rebase
      // may have renamed it.
      std::lock_guard<std::mutex> lock(mu_);
      eraseLocked(op.id);
    }
    if (!writeChangeLocked(ChangeLine("drop", op.id))) return unrecorded();
    progressed = true;
  }
  if (progressed) {
    // What the replay sent leaves the document, and the log starts afresh.
    std::lock_guard<std::mutex> saveLock(saveMu_);
    foldLocked();
  }
  return result;
}

void Journal::setUploadsDone(UploadsDone done) {
  std::lock_guard<std::mutex> lock(mu_);
  uploadsDone_ = std::move(done);
}

bool Journal::due(const JournalOp& op) {
  if (op.after.empty()) return true;
  UploadsDone done;
  {
    std::lock_guard<std::mutex> lock(mu_);
    done = uploadsDone_;
  }
  // Called without mu_: the answer takes the owner's locks.
  return !done || done(op.after);
}

bool Journal::sendable() {
  JournalOp op;
  {
    std::lock_guard<std::mutex> lock(mu_);
    if (behind_) return true;
    if (ops_.empty() || ops_.front().held) return false;
    op = ops_.front();
  }
  return due(op);
}

std::vector<std::string> Journal::awaited() {
  std::lock_guard<std::mutex> lock(mu_);
  for (const JournalOp& op : ops_)
    if (!op.after.empty()) return op.after;
  return {};
}

bool Journal::touches(const std::string& path) {
  std::lock_guard<std::mutex> lock(mu_);
  auto related = [&](const std::string& name) { return IsUnderPath(path, name) || IsUnderPath(name, path); };
  for (const JournalOp& op : ops_) {
    if (related(op.path) || (!op.to.empty() && related(op.to))) return true;
    for (const std::string& name : op.after)
      if (related(name)) return true;
  }
  return false;
}

bool Journal::deletes(const std::string& path) {
  std::lock_guard<std::mutex> lock(mu_);
  if (!named_.contains(path)) return false;
  // The last record that names the path tells what became of it.
  for (auto it = ops_.rbegin(); it != ops_.rend(); ++it) {
    if (it->to == path) return false;
    if (it->path == path)
      return it->kind == kJournalUnlink || it->kind == kJournalRmdir || it->kind == kJournalRename ||
             it->kind == kJournalUndoCreate;
  }
  return false;
}

bool Journal::isEmpty() {
  std::lock_guard<std::mutex> lock(mu_);
  return ops_.empty();
}

bool Journal::needsReplay() {
  std::lock_guard<std::mutex> lock(mu_);
  return !ops_.empty() || behind_;
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

bool Journal::holds(std::string_view path) {
  std::lock_guard<std::mutex> lock(mu_);
  if (named_.empty()) return false;
  // The names IsUnderPath would find above the path: the root, each folder
  // on the way down, the path itself.
  if (named_.contains("") || named_.contains("/")) return true;
  std::string prefix;
  prefix.reserve(path.size());
  for (size_t i = 1; i <= path.size(); ++i) {
    if (i == path.size() || path[i] == '/') {
      prefix.assign(path.substr(0, i));
      if (named_.contains(prefix)) return true;
    }
  }
  return false;
}

std::string Journal::problem() {
  std::lock_guard<std::mutex> lock(mu_);
  return setAside_.empty() ? saveProblem_ : setAside_;
}

}  // namespace tarn
