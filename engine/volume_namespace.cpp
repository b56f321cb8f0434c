// Volume namespace operations: attributes and listings as the drive shows
// them, opening and creating handles, deleting, times, sizes, space figures
// and closing. Renames are in volume_rename.cpp. Online, changes go to the
// server at once (after whatever the offline journal still holds); offline,
// create and delete go into the journal and the local caches.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string_view>
#include <utility>

#include "engine/clock.h"
#include "engine/map_file.h"
#include "engine/volume.h"
#include "foundation/log.h"
#include "foundation/name_policy.h"
#include "foundation/remote_path.h"
#include "foundation/text.h"

namespace tarn {
namespace {

// A server answer overtaken by the drive's own changes is asked for again,
// at most this often in all; the last is given as it is, but not kept.
constexpr int kMaxQuestions = 3;
// Names tried for a file made offline whose name the server gave another.
constexpr int kMaxConflictNames = 100;

// "report (offline copy 2024-05-01 12.00 UTC).txt", with " 2", " 3"... for
// later tries: beside the server's file, and telling when the drive kept it.
std::string ConflictName(const std::string& path, int64_t unixSeconds, int n) {
  using namespace std::chrono;
  const sys_seconds at{seconds{unixSeconds}};
  const sys_days day = floor<days>(at);
  const year_month_day ymd{day};
  const hh_mm_ss<seconds> time{at - day};
  char stamp[64];
  std::snprintf(stamp, sizeof stamp, "%04d-%02u-%02u %02lld.%02lld UTC", static_cast<int>(ymd.year()),
                static_cast<unsigned>(ymd.month()), static_cast<unsigned>(ymd.day()),
                static_cast<long long>(time.hours().count()), static_cast<long long>(time.minutes().count()));
  const std::string name = BaseName(path);
  // A leading dot starts a hidden name, not an extension.
  const size_t dot = name.rfind('.');
  const size_t stem = dot == std::string::npos || dot == 0 ? name.size() : dot;
  std::string out = name.substr(0, stem) + " (offline copy " + stamp;
  if (n > 1) out += " " + std::to_string(n);
  out += ")" + name.substr(stem);
  return JoinRemotePath(ParentPath(path), out);
}

Status Stopped() { return Status(Status::kCanceled, "volume stopped"); }

// The kind of request a serverCall's label stands for, as its failures are
// recorded.
RequestKind KindOfCall(std::string_view label) {
  constexpr std::pair<std::string_view, RequestKind> kKinds[] = {
      {"stat", RequestKind::kStat},     {"list", RequestKind::kList},     {"create", RequestKind::kCreate},
      {"mkdir", RequestKind::kCreate},  {"unlink", RequestKind::kUnlink}, {"rmdir", RequestKind::kUnlink},
      {"rename", RequestKind::kRename}, {"read", RequestKind::kRead},
  };
  for (const auto& [name, kind] : kKinds)
    if (name == label) return kind;
  return RequestKind::kOther;
}
Status ReadOnly() { return Status(Status::kAccessDenied, "read-only mount"); }

}  // namespace

Status Volume::serverCall(const char* label, const ConnectionPool::Operation& op, bool cachedAnswer) {
  // On a silent server the pool fails the call at once; callers with a
  // cached answer then give that.
  freeIdleConnection();
  RetryPolicy policy = RetryPolicyFor(config_.net);
  policy.endWhenUnreachable = cachedAnswer;
  const CancelToken* token = callToken();
  // A server that takes connections and never answers (a stopped process)
  // would hold a cached answer for the whole I/O time-out: it waits for the
  // server's bytes no longer than a connect may take. Its time-out makes the
  // server silent, so the calls after it answer at once.
  std::unique_ptr<CancelToken> quiet;
  if (cachedAnswer) {
    CancelToken::Clock clock = nullptr;
    const uint64_t deadline = token->deadlineMs(&clock);
    quiet = std::make_unique<CancelToken>(cancel_, deadline, clock, config_.net.connectTimeoutMs);
    token = quiet.get();
  }
  Status st = pool_->run(policy, token, label, [&](IBackend& backend) {
    noteConnected(backend);
    return op(backend);
  });
  // A missing name is an answer too: the server does this kind of request.
  if (st.ok() || st.code == Status::kNotFound) requestSucceeded(KindOfCall(label));
  return st;
}

Status Volume::statRemote(const std::string& path, RemoteAttr& out, bool useCache, bool* answered) {
  bool ignored = false;
  bool& fresh = answered != nullptr ? *answered : ignored;
  fresh = false;
  if (IsRootPath(path)) {
    out = RemoteAttr();
    out.type = RemoteAttr::kDirectory;
    return Status();
  }
  bool negative = false;
  if (useCache && meta_->getAttr(path, &out, &negative)) {
    fresh = !offline_.load();
    return negative ? Status(Status::kNotFound, path) : Status();
  }
  // A name a fresh listing lacks (a folder just made is one) costs no
  // question; where case does not count, the listing may spell it otherwise,
  // and a server that lists no hidden names may still hold this one.
  if (useCache && listingShowsName(path) && meta_->listedAsMissing(path)) return Status(Status::kNotFound, path);
  if (offline_.load()) {
    if (cachedObjectAttr(path, out)) return Status();
    // Offline a name is missing only where a listing of its folder lacks it.
    // Any other name the drive never saw may well be on the server: it is
    // unknown, so that nothing is made over a file the drive cannot see.
    std::vector<DirEntry> siblings;
    if (!meta_->getListing(ParentPath(path), &siblings)) return Status(Status::kNetwork, "offline: not known: " + path);
    const std::string name = BaseName(path);
    const bool caseSensitive = caps()->caseSensitive;
    for (const DirEntry& entry : siblings) {
      if (entry.name == name || (!caseSensitive && EqualsIgnoreCase(entry.name, name))) {
        out = entry.attr;
        return Status();
      }
    }
    return Status(Status::kNotFound, path);
  }
  // An answer that a change of the drive overtook (an upload that ended, a
  // rename onto the path) is older than what the drive knows: ask again.
  for (int asked = 1;; ++asked) {
    MetaCache::Question question = meta_->ask();
    // Memory alone tells whether a cached answer waits: a look at the cache's
    // disk before every question would cost each lookup, and after a failure
    // the cache's own object serves as well.
    RemoteAttr known;
    Status st = serverCall("stat", [&](IBackend& b) { return b.stat(path, out); }, meta_->getLastAttr(path, &known));
    bool kept = true;
    if (st.ok()) {
      fresh = true;
      kept = meta_->answerAttr(question, path, out);
    } else if (st.code == Status::kNotFound) {
      kept = meta_->answerNegative(question, path);
    } else {
      recordError(RequestKind::kStat, st);
      // Out of reach, the server's copy cannot have been read anew: what the
      // drive last saw of it serves, so cached files stay readable.
      if (st.retryable() && (meta_->getLastAttr(path, &out) || cachedObjectAttr(path, out))) return Status();
    }
    if (kept || asked == kMaxQuestions) return st;
  }
}

bool Volume::listingShowsName(const std::string& path) {
  std::shared_ptr<const BackendCaps> caps = this->caps();
  return caps->caseSensitive && (caps->listsHiddenNames || !BaseName(path).starts_with('.'));
}

bool Volume::cachedObjectAttr(const std::string& path, RemoteAttr& out) {
  std::shared_ptr<CacheFile> cached = cache_->open(path, false);
  if (!cached) return false;
  out = RemoteAttr();
  out.size = cached->size();
  out.mtime = cached->remoteMtime();
  out.etag = cached->etag();
  return true;
}

Status Volume::listRemote(const std::string& path, std::shared_ptr<const DirListing>& out, bool useCache) {
  if (useCache && meta_->getListing(path, &out)) return Status();
  if (offline_.load()) {
    if (meta_->getListing(path, &out)) return Status();
    return Status(Status::kNetwork, "offline");
  }
  // Names stay as the server wrote them, in whatever Unicode form: one
  // rewritten would open nothing, and two forms of one name would meet.
  for (int asked = 1;; ++asked) {
    MetaCache::Question question = meta_->ask();
    auto listing = std::make_shared<DirListing>();
    std::shared_ptr<const DirListing> known;
    Status st = serverCall("list", [&](IBackend& b) { return b.listPacked(path, *listing); },
                           meta_->getLastListing(path, &known));
    if (!st.ok()) {
      recordError(RequestKind::kList, st);
      if (st.retryable() && meta_->getLastListing(path, &out)) return Status();
      return st;
    }
    out = listing;
    if (meta_->answerListing(question, path, std::move(listing)) || asked == kMaxQuestions) return Status();
  }
}

Status Volume::listRemote(const std::string& path, std::vector<DirEntry>& out, bool useCache) {
  std::shared_ptr<const DirListing> listing;
  Status st = listRemote(path, listing, useCache);
  if (st.ok()) out = listing->entries();
  return st;
}

bool Volume::showLocalChanges(const std::string& path, RemoteAttr& attr) {
  uint64_t size = 0;
  Timestamp mtime;
  if (!cache_->unsentChanges(path, &size, &mtime)) return false;
  attr.size = size;
  if (!mtime.isZero()) attr.mtime = mtime;
  return true;
}

Status Volume::getattr(const std::string& asked, RemoteAttr& out) {
  ActiveCall call(this);
  if (!call.ok()) return Stopped();
  std::string path = asked;
  RenameFence::Pass pass = fence_.enter({&path});
  // The record and the local state are read one after the other; a change
  // between them (an upload that ends, a rename onto the path) makes the
  // pair a mixture, so they are read again.
  for (int tries = 1;; ++tries) {
    MetaCache::Question question = meta_->ask();
    Status st = statRemote(path, out, true);
    if (!st.ok()) return st;
    if (deletedBeforeReplay(path)) return Status(Status::kNotFound, path);
    if (!out.isDir()) showLocalChanges(path, out);
    if (!meta_->changedSince(question, path, false)) break;
    if (tries == kMaxQuestions) {
      if (!out.isDir()) showOwnChange(question, path, out);
      break;
    }
  }
  return Status();
}

bool Volume::showOwnChange(const MetaCache::Question& question, const std::string& path, RemoteAttr& attr) {
  // Local changes first: an upload records what the server got before the
  // file counts as sent, so a file found sent here has that record, and a
  // change after the question touched it.
  if (showLocalChanges(path, attr)) return true;
  RemoteAttr own;
  if (!meta_->changedSince(question, path, false) || !meta_->getLastAttr(path, &own) || own.isDir()) return false;
  attr = own;
  return true;
}

Status Volume::readdir(const std::string& asked, std::shared_ptr<const DirListing>& out) {
  ActiveCall call(this);
  if (!call.ok()) return Stopped();
  std::string path = asked;
  RenameFence::Pass pass = fence_.enter({&path});
  for (int tries = 1;; ++tries) {
    MetaCache::Question question = meta_->ask();
    Status st = listRemote(path, out, true);
    if (!st.ok()) return st;
    hideDeletedBeforeReplay(path, out);
    // Uploads that keep ending can overtake every answer; a file that one of
    // them changed shows what the drive recorded then, not the older answer.
    // Shared listings never change: such changes and local ones go into a copy.
    const bool overtaken = meta_->changedSince(question, path, true);
    std::shared_ptr<DirListing> shown;
    for (size_t i = 0; i < out->size(); ++i) {
      if (out->removed(i) || out->isDir(i)) continue;
      const std::string child = JoinRemotePath(path, out->name(i));
      RemoteAttr own;
      bool negative = false;
      if (overtaken && meta_->changedSince(question, child, false) && meta_->getAttr(child, &own, &negative) &&
          !negative && !own.isDir()) {
        if (!shown) shown = std::make_shared<DirListing>(*out);
        shown->setAttr(i, own);
      }
      RemoteAttr attr;
      if (!showLocalChanges(child, attr)) continue;
      if (!shown) shown = std::make_shared<DirListing>(*out);
      shown->setSizeAndTime(i, attr.size, attr.mtime.isZero() ? shown->attr(i).mtime : attr.mtime);
    }
    if (!meta_->changedSince(question, path, true)) {
      if (shown) out = std::move(shown);
      return Status();
    }
    if (tries < kMaxQuestions) continue;
    // The last look is given as it is, with what the drive changed while it
    // was under way laid over it: an upload that ended between the steps
    // above left its record, not the empty copy a listing read before it.
    for (size_t i = 0; i < out->size(); ++i) {
      if (out->removed(i) || out->isDir(i)) continue;
      RemoteAttr attr = shown ? shown->attr(i) : out->attr(i);
      if (!showOwnChange(question, JoinRemotePath(path, out->name(i)), attr)) continue;
      if (!shown) shown = std::make_shared<DirListing>(*out);
      shown->setAttr(i, attr);
    }
    if (shown) out = std::move(shown);
    return Status();
  }
}

Status Volume::readdir(const std::string& path, std::vector<DirEntry>& out) {
  std::shared_ptr<const DirListing> listing;
  Status st = readdir(path, listing);
  if (st.ok()) out = listing->entries();
  return st;
}

Status Volume::open(const std::string& asked, std::shared_ptr<OpenFile>& out) {
  ActiveCall call(this);
  if (!call.ok()) return Stopped();
  std::string path = asked;
  RenameFence::Pass pass = fence_.enter({&path});
  RemoteAttr attr;
  std::shared_ptr<CacheFile> cache;
  uint64_t seen = CacheFile::kAnyRecord;
  bool answered = false;
  bool born = false;  // the cache object is new
  for (int tries = 1;; ++tries) {
    MetaCache::Question question = meta_->ask();
    // Held while the attributes are looked up, so that an upload that ends
    // meanwhile shows in its record: the attributes are then older than it.
    std::shared_ptr<CacheFile> held = cache_->open(path, false);
    seen = held ? held->remoteRecord() : CacheFile::kAnyRecord;
    Status st = statRemote(path, attr, true, &answered);
    if (!st.ok()) return st;
    if (attr.isDir()) break;
    cache = cache_->open(path, false);
    // Another object took the path meanwhile (a rename onto it), or the
    // record changed while it was read: look again.
    if ((cache != held || meta_->changedSince(question, path, false)) && tries < kMaxQuestions) continue;
    if (!cache) {
      // A new cache object takes inodes of the cache's disk.
      Status made = makeCacheRoom(0, 1, "opens");
      if (made.ok()) cache = cache_->open(path, true, &made);
      if (made.code == Status::kNoSpace) return made;
      born = cache != nullptr;
    }
    if (!cache) return Status(Status::kIo, "cannot open cache file");
    if (cache != held) seen = CacheFile::kAnyRecord;
    break;
  }
  auto file = std::make_shared<OpenFile>();
  file->path = path;
  file->attr = attr;
  file->isDir = attr.isDir();
  if (!file->isDir) {
    file->cache = std::move(cache);
    CacheFile& cached = *file->cache;
    // Local changes win and are not compared with the server's copy.
    if (!hasLocalChanges(cached)) {
      bool conflict = false;
      cached.applyRemote(attr, nullptr, &conflict, seen);
      if (conflict)
        vx::log::write(vx::log::kWarn, "%s: %s changed on the server while local changes were pending; local copy wins",
                       config_.id.c_str(), path.c_str());
      // The same size and time may hide a change made within the second
      // the cached blocks were read in: after the metadata lifetime, they are
      // read anew as any other change would be.
      // Not while the server is out of reach: the cached blocks are then all
      // there is.
      if (answered && cached.retakeUnsettledCopy(config_.cache.metaTtlMs)) {
        vx::log::write(vx::log::kDebug, "%s: %s was cached within the second of its time; read anew",
                       config_.id.c_str(), path.c_str());
        // What is read anew is the copy the server has now: attributes the
        // metadata lifetime still holds may be of one replaced since, whose
        // bytes are gone.
        RemoteAttr now;
        if (statRemote(path, now, false).ok() && !now.isDir()) cached.applyRemote(now, nullptr, nullptr);
      }
    }
    // A new object's map goes to the disk at once, so that what it takes
    // there counts from its open on, not from a close that may find the
    // disk full.
    if (born) cached.saveMap();
    if (seen != CacheFile::kAnyRecord && cached.remoteRecord() != seen) {
      // The object's record is the newer one.
      file->attr.size = cached.size();
      file->attr.mtime = cached.remoteMtime();
      file->attr.etag = cached.etag();
    }
    if (hasLocalChanges(cached)) file->attr.size = cached.size();
    bindCopy(*file);
    file->readaheadWindow = config_.cache.readaheadBlocks;
    if (!offline_.load() && attr.size > 0 && attr.size <= config_.cache.wholeFileBelow && !cached.isComplete())
      prefetchWhole(file);
  }
  out = std::move(file);
  return Status();
}

Status Volume::checkName(const std::string& path) {
  std::vector<std::string> siblings;
  std::shared_ptr<const DirListing> listing;
  if (listRemote(ParentPath(path), listing, true).ok()) {
    siblings.reserve(listing->count());
    for (size_t i = 0; i < listing->size(); ++i)
      if (!listing->removed(i)) siblings.emplace_back(listing->name(i));
  }
  std::shared_ptr<const BackendCaps> caps = this->caps();
  NamePolicy policy(caps.get(), &config_.compat);
  const char* id = config_.id.c_str();
  for (const NameIssue& issue : policy.check(BaseName(path), &siblings, nullptr)) {
    // The name is created as the user wrote it; its form is no finding.
    if (issue.kind == NameIssue::kNormalized) continue;
    const std::string text = NameIssueText(issue);
    if (!issue.refuse) {
      vx::log::write(vx::log::kDebug, "%s: %s: %s", id, path.c_str(), text.c_str());
      continue;
    }
    // A name the server could hold is refused only by the drive's setting:
    // the line says which, so that the user knows what to change.
    const char* why = issue.kind == NameIssue::kCaseCollision ? " (the drive's caseCollision setting is \"refuse\")" : "";
    // Any user of the drive can ask for bad names at will: a flood of them
    // makes a few lines and a count, never enough to rotate the log away.
    uint64_t suppressed = 0;
    if (refusalLog_.allow("names", SteadyNowMs(), suppressed)) {
      if (suppressed == 0) {
        vx::log::write(vx::log::kWarn, "%s: refusing name %s: %s%s", id, path.c_str(), text.c_str(), why);
      } else {
        vx::log::write(vx::log::kWarn, "%s: refusing name %s: %s%s (and %llu more names since the last line)", id,
                       path.c_str(), text.c_str(), why, static_cast<unsigned long long>(suppressed));
      }
    }
    return Status(Status::kInvalid, text);
  }
  return Status();
}

Status Volume::keepOfflineFile(IBackend& backend, const std::string& path, std::string& keptAs) {
  const int64_t now = vx::UnixNow();
  Status st;
  for (int n = 1; n <= kMaxConflictNames; ++n) {
    keptAs = ConflictName(path, now, n);
    st = backend.create(keptAs);
    if (st.code != Status::kExists) break;
  }
  if (st.retryable()) return st;
  // Refused for good, the name still keeps the file off the server's: its
  // upload then fails there and the changes stay in the cache.
  if (!st.ok())
    vx::log::write(vx::log::kWarn, "%s: cannot make %s on the server: %s", config_.id.c_str(), keptAs.c_str(),
                   st.toString().c_str());
  // No upload of the path runs while the journal's record names it: the
  // drive's side moves before the record goes.
  Status moved = cache_->renameObject(path, keptAs);
  if (!moved.ok()) return moved;
  bool pending = false;
  {
    std::lock_guard<std::mutex> lock(uploadMu_);
    pending = dropWaitingUploadLocked(path);
  }
  meta_->renameTree(path, keptAs);
  meta_->invalidate(path);
  vx::log::write(vx::log::kWarn,
                 "%s: %s was made on the server while the drive was offline; the server's file stays, and the "
                 "drive's is kept as %s",
                 config_.id.c_str(), path.c_str(), keptAs.c_str());
  if (pending) queueUpload(keptAs, 0, nullptr);
  return Status();
}

Status Volume::create(const std::string& asked, bool isDir, std::shared_ptr<OpenFile>& out) {
  if (config_.compat.readOnly) return ReadOnly();
  ActiveCall call(this);
  if (!call.ok()) return Stopped();
  std::string path = asked;
  RenameFence::Pass pass = fence_.enter({&path});
  const bool online = !offline_.load();
  // Offline changes still waiting go first: the name may be one of theirs.
  Status st = online ? replayBefore({&path}) : Status();
  if (!st.ok()) {
    recordError(RequestKind::kCreate, st);
    return st;
  }
  st = checkName(path);
  if (!st.ok()) return st;
  bool negative = false;
  if (meta_->getAttr(path, nullptr, &negative) && !negative) return Status(Status::kExists, path);
  // A file the cache has no room for (its object, its map, a first block)
  // is refused before the server sees it.
  if (!isDir) {
    st = makeCacheRoom(config_.cache.blockBytes + kMapHeaderSize, 1, "creates");
    if (!st.ok()) return st;
  }
  const bool silentBefore = pool_->silent();
  uint64_t record = 0;
  if (online)
    st = serverCall(isDir ? "mkdir" : "create", [&](IBackend& b) { return isDir ? b.mkdir(path) : b.create(path); });
  else
    st = journal_->append(JournalOp{isDir ? kJournalMkdir : kJournalCreate, path}, &record);
  // Another client made the name since the drive last looked: what the
  // drive saw goes, so that an open that follows finds the server's file.
  if (st.code == Status::kExists) {
    meta_->invalidate(path);
    return st;
  }
  if (!st.ok()) {
    if (online) forgetTimedOutChange(path, {}, st, silentBefore, !isDir);
    recordError(RequestKind::kCreate, st);
    return st;
  }
  RemoteAttr attr;
  attr.type = isDir ? RemoteAttr::kDirectory : RemoteAttr::kFile;
  attr.mtime = attr.ctime = Timestamp::now();
  auto file = std::make_shared<OpenFile>();
  file->path = path;
  file->isDir = isDir;
  file->attr = attr;
  if (!isDir) {
    // A stale object of an earlier file of this name must not lend it data.
    cache_->remove(path);
    Status made;
    file->cache = cache_->open(path, true, &made);
    if (!file->cache) return undoCreate(path, online, record, made);
    file->cache->applyRemote(attr, nullptr, nullptr);
    file->cache->saveMap();  // as for an open: what it takes counts from now
    bindCopy(*file);
    file->readaheadWindow = config_.cache.readaheadBlocks;
  }
  meta_->putAttrAndEntry(path, attr);
  if (isDir) meta_->putListing(path, {});  // a folder just made holds nothing yet
  out = std::move(file);
  return Status();
}

Status Volume::undoCreate(const std::string& path, bool online, uint64_t record, const Status& why) {
  // The empty file would stay on the server, and with other clients, for a
  // create that failed.
  Status undone;
  if (online)
    undone = serverCall("unlink", [&](IBackend& b) { return b.remove(path, false); });
  else if (!journal_->drop(record))
    undone = Status(Status::kIo, "its journal record stays");
  if (!undone.ok() && undone.code != Status::kNotFound)
    vx::log::write(vx::log::kWarn, "%s: cannot take back the create of %s: %s", config_.id.c_str(), path.c_str(),
                   undone.toString().c_str());
  meta_->invalidate(path);
  if (why.code == Status::kNoSpace) return why;
  return Status(Status::kIo, "cannot create cache file: " + why.message, why.native);
}

std::string Volume::resolveCase(const std::string& path) {
  ActiveCall call(this);
  if (!call.ok()) return path;
  const std::string parent = ParentPath(path);
  RemoteAttr attr;
  if (IsRootPath(parent) || statRemote(parent, attr, true).ok()) return path;
  std::string resolved = "/";
  for (const std::string& component : SplitPath(parent)) {
    const std::string candidate = JoinRemotePath(resolved, component);
    if (statRemote(candidate, attr, true).ok()) {
      resolved = candidate;
      continue;
    }
    std::vector<DirEntry> entries;
    std::string match = candidate;
    if (listRemote(resolved, entries, true).ok()) {
      for (const DirEntry& entry : entries) {
        if (entry.attr.isDir() && EqualsIgnoreCase(entry.name, component)) {
          match = JoinRemotePath(resolved, entry.name);
          break;
        }
      }
    }
    resolved = match;
  }
  return JoinRemotePath(resolved, BaseName(path));
}

Status Volume::setTimes(const std::string& asked, Timestamp mtime, Timestamp atime) {
  if (!config_.compat.setMtime || !caps()->setMtime || mtime.isZero()) return Status();
  ActiveCall call(this);
  if (!call.ok()) return Stopped();
  std::string path = asked;
  RenameFence::Pass pass = fence_.enter({&path});
  // The folder's listing too: listings are what ls -l, make and rsync read,
  // and one taken before would show the time of the create.
  auto showTime = [&] {
    RemoteAttr attr;
    bool negative = false;
    if (!meta_->getAttr(path, &attr, &negative) || negative) return;
    attr.mtime = mtime;
    meta_->putAttrAndEntry(path, attr);
  };
  showTime();
  // A file with changes to send keeps the time with them (in its map) until
  // its upload has set the content and then the time; sent now, the time
  // would be undone by the upload.
  std::shared_ptr<CacheFile> cached = cache_->open(path, false);
  if (cached && hasLocalChanges(*cached)) {
    cached->setPendingMtime(mtime);
    if (!hasLocalChanges(*cached)) {
      // The upload ended just now, without it: the time goes up by itself.
      cached->setDirty(true);
      queueUpload(cached->path(), 0, cached);
    }
    cached->saveMap();
    return Status();
  }
  if (offline_.load()) return Status();
  Status st = serverCall("setTimes", [&](IBackend& b) { return b.setTimes(path, mtime, atime); });
  // Again: a look the server answered while the time was on its way holds
  // the time from before.
  if (st.ok()) showTime();
  return st.code == Status::kUnsupported ? Status() : st;
}

Status Volume::setSize(const std::shared_ptr<OpenFile>& file, uint64_t size) {
  if (file->isDir) return Status(Status::kIsDirectory, file->path);
  if (config_.compat.readOnly) return ReadOnly();
  if (!file->cache) return Status(Status::kIo, "no cache file for " + file->path);
  ActiveCall call(this);
  if (!call.ok()) return Stopped();
  CacheFile& cached = *file->cache;
  const uint64_t current = cached.size();
  if (size == current) return Status();
  const uint64_t block = cached.blockSize();
  // The part of the new last block that stays must hold the server's bytes.
  if (size < current && size % block != 0) {
    const uint64_t blockStart = size - size % block;
    if (blockStart < cached.remoteSize()) {
      Status st = cached.ensureRange(blockStart, block, fetcher(), callToken());
      if (!st.ok()) return inTime(st);
    }
  }
  Status st = cached.truncate(size);
  if (!st.ok()) return st;
  // A new size is a change to upload even when no block holds one (a file
  // cut to nothing has no blocks left).
  cached.setDirty(true);
  const Timestamp now = Timestamp::now();
  bool first;
  {
    std::lock_guard<std::mutex> lock(file->mu);
    first = !std::exchange(file->modified, true);
    file->attr.size = size;
    file->attr.mtime = now;
  }
  if (first) noteOpenChange(file);
  meta_->updateLocal(cached.path(), size, now);
  return Status();
}

Status Volume::unlink(const std::string& asked, bool isDir) {
  if (config_.compat.readOnly) return ReadOnly();
  ActiveCall call(this);
  if (!call.ok()) return Stopped();
  std::string path = asked;
  RenameFence::Pass pass = fence_.enter({&path});
  bool pending = false;
  {
    // A running upload is left to notice the deletion itself.
    std::lock_guard<std::mutex> lock(uploadMu_);
    pending = dropWaitingUploadLocked(path);
    deleting_.insert(path);
  }
  auto endDelete = [&] {
    {
      std::lock_guard<std::mutex> lock(uploadMu_);
      deleting_.erase(deleting_.find(path));
    }
    // An upload that finished meanwhile waits for the outcome.
    uploadCv_.notify_all();
  };
  Status st;
  bool deferred = false;
  bool silentBefore = true;
  if (offline_.load()) {
    st = journal_->append(JournalOp{isDir ? kJournalRmdir : kJournalUnlink, path});
  } else {
    st = replayBefore({&path});
    if (st.ok() && !isDir) st = unlinkAfterUploads(path, deferred);
    silentBefore = pool_->silent();
    if (st.ok() && !deferred)
      st = serverCall(isDir ? "rmdir" : "unlink", [&](IBackend& b) { return b.remove(path, isDir); });
  }
  if (!st.ok() && st.code != Status::kNotFound) {
    forgetTimedOutChange(path, {}, st, silentBefore, false);
    // A folder the drive saw empty holds what another client put there.
    if (st.code == Status::kNotEmpty) meta_->invalidateTree(path);
    recordError(RequestKind::kUnlink, st);
    endDelete();
    if (pending) queueUpload(path, 0, nullptr);
    return st;
  }
  // Offline the cached listing is the only view of the folder: it loses the
  // name rather than the whole listing.
  std::vector<DirEntry> siblings;
  const bool keepListing = (offline_.load() || deferred) && meta_->getListing(ParentPath(path), &siblings);
  if (isDir)
    meta_->invalidateTree(path);
  else
    meta_->invalidate(path);
  meta_->putNegative(path);
  if (keepListing) {
    std::erase_if(siblings, [name = BaseName(path)](const DirEntry& e) { return e.name == name; });
    meta_->putListing(ParentPath(path), siblings);
  }
  cache_->remove(path);
  endDelete();
  return Status();
}

Status Volume::statfs(FsStats& out) {
  out = FsStats();
  if (offline_.load() || !caps()->freeSpace) return Status();
  ActiveCall call(this);
  if (!call.ok()) return Status();
  {
    std::lock_guard<std::mutex> lock(statfsMu_);
    if (statfsMemo_.known && SteadyNowMs() - statfsMemoMs_ < timings_.statfsMemoMs) {
      out = statfsMemo_;
      return Status();
    }
  }
  // A failed call is not worth a last error: the figures are only shown.
  if (serverCall("statfs", [&](IBackend& b) { return b.statfs(out); }).ok()) {
    std::lock_guard<std::mutex> lock(statfsMu_);
    statfsMemo_ = out;
    statfsMemoMs_ = SteadyNowMs();
  }
  return Status();
}

void Volume::closeNow(const std::shared_ptr<OpenFile>& file) {
  if (file->isDir || !file->cache) return;
  endStream(*file);
  bool changedHere;
  {
    std::lock_guard<std::mutex> lock(file->mu);
    changedHere = file->modified;
    file->modified = false;
  }
  {
    std::lock_guard<std::mutex> lock(openChangedMu_);
    openChanged_.erase(file.get());
  }
  CacheFile& cached = *file->cache;
  if (cached.isRemoved()) return;
  if (!hasLocalChanges(cached)) {
    cached.saveMap();
    return;
  }
  cached.setDirty(true);
  // A killed process leaves the changes recorded as soon as this returns; a
  // power loss, once the reaper has committed the map.
  cached.saveMapUnflushed();
  commitMapsLater(file->cache);
  // The object's own path follows renames made while the handle was open.
  if (changedHere) {
    queueUpload(cached.path(), config_.cache.writebackDelayMs, file->cache);
    return;
  }
  // A close that brings no change (the release after a flush, which may come
  // after a "sync now") keeps the time the upload already has.
  {
    std::lock_guard<std::mutex> lock(uploadMu_);
    auto [entry, added] = uploadQueue_.try_emplace(cached.path());
    if (added) entry->second.due = static_cast<int64_t>(SteadyNowMs() + config_.cache.writebackDelayMs);
    entry->second.cache = file->cache;
  }
  wakeUploader();
}

void Volume::closeAsync(const std::shared_ptr<OpenFile>& file) {
  {
    ActiveCall call(this);
    if (call.ok()) {
      reaperPool_->post([this, file] { closeNow(file); });
      return;
    }
  }
  closeNow(file);
}

void Volume::commitMapsLater(std::shared_ptr<CacheFile> cache) {
  ActiveCall call(this);
  if (!call.ok()) {
    cache->saveMap();
    return;
  }
  bool queued = false;
  bool post = false;
  {
    std::lock_guard<std::mutex> lock(commitMu_);
    if (commitDue_.size() < kMaxMapsAwaitingCommit) {
      commitDue_.push_back(cache);
      queued = true;
      post = !std::exchange(commitPosted_, true);
    }
  }
  // A reaper that falls behind a burst of closes would hold all their files
  // open: past the bound, a close commits its own map.
  if (!queued) {
    cache->saveMap();
    return;
  }
  if (post && !reaperPool_->post([this] { commitMaps(); })) commitMaps();
}

void Volume::commitMaps() {
  std::vector<std::shared_ptr<CacheFile>> due;
  {
    std::lock_guard<std::mutex> lock(commitMu_);
    due.swap(commitDue_);
    commitPosted_ = false;
  }
  std::sort(due.begin(), due.end());
  due.erase(std::unique(due.begin(), due.end()), due.end());
  // What the batch could not commit in place is saved whole.
  for (const std::shared_ptr<CacheFile>& cache : CacheFile::commitMaps(*env_, due)) cache->saveMap();
}

void Volume::startReplay() {
  if (offline_.load() || !journal_->needsReplay() || replayPosted_.exchange(true)) return;
  const bool posted = replayPool_->post([this] {
    std::vector<std::string> sent;
    if (!stopping_.load()) replayJournal(&sent);
    replayPosted_ = false;
    // Uploads the sent records held back may go at once; after a replay that
    // sent nothing the tick tries again at its own pace.
    if (!sent.empty()) wakeUploader();
    {
      std::lock_guard<std::mutex> lock(uploadMu_);
    }
    uploadCv_.notify_all();
  });
  if (!posted) replayPosted_ = false;
}

bool Volume::replayPending() {
  ActiveCall call(this);
  return call.ok() && !offline_.load() && journal_->needsReplay();
}

Status Volume::replayJournal(std::vector<std::string>* sentOut) {
  if (offline_.load()) return Status();
  // A replay under way may have sent the last record without having yet
  // dropped what the drive had seen of its names: the turn waits for that.
  // And it may leave nothing to send, and while it runs this one holds no
  // connection that uploads could use.
  std::unique_lock<std::mutex> turn = journal_->replayTurn();
  // A record that waits for uploads needs no connection yet.
  if (offline_.load() || !journal_->sendable()) return Status();
  if (pool_->silent()) return Status(Status::kTimeout, kServerSilent);
  const CancelToken* token = callToken();
  ConnectionPool::Lease lease;
  const uint64_t waitMs = std::min<uint64_t>(timings_.replayAcquireMs, MsToDeadline(token, UINT64_MAX));
  Status st = pool_->acquire(lease, token, static_cast<uint32_t>(waitMs));
  if (!st.ok()) return inTime(st);
  noteConnected(*lease.backend());
  lease->setCancelToken(token);
  std::vector<JournalFailure> failures;
  std::vector<std::string> sent;
  const KeepOfflineFile keep = [this](IBackend& backend, const std::string& path, std::string& keptAs) {
    return keepOfflineFile(backend, path, keptAs);
  };
  st = journal_->replay(turn, *lease.backend(), &failures, &sent, &keep);
  lease->setCancelToken(nullptr);
  pool_->noteOutcome(st);
  st = inTime(st);
  // Cached names may show changes the server never got.
  if (!failures.empty()) meta_->clear();
  // What was seen of these names before their records went out is stale.
  for (const std::string& path : sent) meta_->invalidateTree(path);
  if (st.retryable()) lease->disconnect();
  if (sentOut != nullptr) *sentOut = std::move(sent);
  return st;
}

}  // namespace tarn
