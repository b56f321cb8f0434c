// Volume read path: reads through the block cache, the fetcher that brings in
// missing ranges over a leased connection with its own retries, sequential
// streams for servers that ignore ranged reads, readahead and whole-file
// prefetch.
#include <algorithm>
#include <cstring>
#include <utility>

#include "engine/clock.h"
#include "engine/volume.h"
#include "foundation/log.h"

namespace tarn {
namespace {

// Transfers shorter than this many blocks get no transfer record.
constexpr uint64_t kRecordedBlocks = 2;
// The largest readahead piece, in blocks. A third of a 32-block window would
// be a 10-block run that a reader must wait for whole before it sees its
// first block, while the other connections run out of work; with pieces this
// size the pool always has a few queued and a round trip stays small beside
// a piece's transfer.
constexpr uint64_t kReadaheadPieceBlocks = 4;
// A random read of at most this share of a block fetches only its own bytes
// before it returns.
constexpr uint64_t kOwnBytesShare = 4;
// A fetch of a whole copy up to this size asks for one byte more: a longer
// file in its place (replaced on the server since the copy was recorded)
// shows at once, without a look at the server after the read.
constexpr uint64_t kWholeProbeBytes = 1ull << 20;

unsigned long long Ull(uint64_t v) { return static_cast<unsigned long long>(v); }

// The read path's retries, on the engine's clock so that its budget of
// connect and I/O time-outs is the one every other server call keeps; no
// longer than the caller's operation has left.
RetryPolicy ReadRetryPolicy(const NetOptions& net, const CancelToken* cancel) {
  RetryPolicy policy = WithinDeadline(RetryPolicyFor(net), cancel);
  policy.clockMs = SteadyNowMs;
  return policy;
}

// Takes the copy the last ranged read named into `named`, which holds the
// copy the earlier answers named (no entity tag before the first); false
// when the answer named none or another.
bool LastReadNamed(const IBackend& backend, RemoteAttr& named) {
  RemoteAttr copy;
  if (!backend.lastReadCopy(copy) || copy.etag.empty()) return false;
  if (!named.etag.empty() && (copy.etag != named.etag || copy.size != named.size)) return false;
  named = copy;
  return true;
}

// A stream reads on through at most this many readahead windows to reach a
// read further on; farther, it is opened again there.
constexpr uint64_t kStreamReachWindows = 2;

uint64_t StreamReach(uint32_t windowBlocks, uint64_t blockSize) {
  return kStreamReachWindows * (static_cast<uint64_t>(windowBlocks) + 1) * blockSize;
}

Status DeletedWhileOpen() { return Status(Status::kIo, "deleted while open: block not cached"); }

// Reads of one stream may reach us out of order (the kernel sends its
// readahead in parallel), so a read near the previous one still counts as
// sequential; one elsewhere is random access. A handle's first read counts
// as sequential only near the file's start. The caller holds file.mu.
bool FarFromLastRead(const OpenFile& file, uint64_t offset, const CacheOptions& cache) {
  const uint64_t near = static_cast<uint64_t>(cache.blockBytes) * std::max(file.readaheadWindow, cache.readaheadBlocks);
  return offset > file.readaheadEnd + near || offset + near < file.readaheadEnd;
}

}  // namespace

std::vector<std::pair<uint64_t, uint64_t>> PlanReadahead(uint64_t end, uint64_t size, uint32_t blockBytes,
                                                         uint32_t windowBlocks, int32_t connections) {
  std::vector<std::pair<uint64_t, uint64_t>> pieces;
  if (end >= size || blockBytes == 0) return pieces;
  const uint64_t span = std::min<uint64_t>(size - end, static_cast<uint64_t>(blockBytes) * windowBlocks);
  // One piece per spare connection (the reader itself keeps one), but no
  // piece longer than kReadaheadPieceBlocks.
  const uint64_t workers = connections < 2 ? 1 : static_cast<uint64_t>(connections) - 1;
  const uint64_t piece = std::clamp<uint64_t>(span / workers, blockBytes, kReadaheadPieceBlocks * blockBytes);
  for (uint64_t pos = end; pos < end + span; pos += piece) pieces.emplace_back(pos, std::min(piece, end + span - pos));
  return pieces;
}

Status Volume::read(const std::shared_ptr<OpenFile>& file, uint64_t offset, void* buffer, uint64_t length,
                    uint64_t& got) {
  got = 0;
  if (file->isDir) return Status(Status::kIsDirectory, file->path);
  if (!file->cache) return Status(Status::kIo, "no cache file for " + file->path);
  ActiveCall call(this);
  if (!call.ok()) return Status(Status::kCanceled, "volume stopped");
  CacheFile& cache = *file->cache;
  // The copy the cache holds must still be the handle's: the blocks of
  // another (a file renamed over this one) would end it early or mix it.
  uint64_t taken = 0;
  const RemoteAttr held = cache.serverCopy(&taken);
  bool lost = false;
  {
    std::lock_guard<std::mutex> lock(file->mu);
    // A handle not made by open takes the copy there is at its first read.
    if (!file->copyBound) {
      file->copyBound = true;
      file->copyTaken = taken;
    }
    lost = taken != file->copyTaken;
    if (!lost) file->copy = held;  // follows the drive's own uploads
  }
  if (lost) return readOwnCopy(*file, offset, static_cast<uint8_t*>(buffer), length, got);
  const uint64_t size = cache.size();
  const uint64_t wanted = offset < size ? std::min(length, size - offset) : 0;
  Status st;
  const bool stream = wanted != 0 && readsAsStream(*file, offset);
  if (wanted != 0 && cache.readIfCached(offset, buffer, wanted)) {
    // Blocks of a copy taken since the check above are not the handle's.
    if (cache.copiesTaken() != taken) return readOwnCopy(*file, offset, static_cast<uint8_t*>(buffer), length, got);
    got = wanted;
    scheduleReadahead(file, offset, got);
    return st;
  }
  {
    // A read that failed on the server is asked for again by the kernel at
    // once (its readahead, then the page itself): one budget for both.
    std::lock_guard<std::mutex> lock(file->mu);
    const uint64_t now = SteadyNowMs();
    // A failure at the deadline itself leaves the repeat nothing: it fails
    // at once rather than wait a budget of its own.
    if (offset < file->failedReadTo && offset + length > file->failedReadFrom &&
        (now < file->failedReadDeadlineMs || now < file->failedReadAtMs + kReadRepeatWindowMs))
      call.keepDeadline(file->failedReadDeadlineMs);
  }
  const CancelToken* token = callToken();
  if (stream) {
    st = cache.read(offset, buffer, length, got, sequentialFetcher(), token);
  } else if (wanted != 0 && readsOnlyItsOwn(*file, offset, wanted)) {
    // A small random read, or a handle's first, waits for its own bytes
    // only; its block comes in behind it for the neighbours that may follow.
    const Timestamp readSince = Timestamp::now();
    st = fetchRange(cache, offset, static_cast<uint8_t*>(buffer), wanted, got, token, true);
    if (st.ok() && got != 0) cache.noteDelivered(readSince);
    if (st.ok() && got == wanted) {
      const uint64_t block = cache.blockSize();
      const uint64_t start = offset - offset % block;
      if (cache.wantsFetch(start, block))
        prefetchPool_->post([this, cache = file->cache, start, block, token = cancel_] {
          if (stopping_.load()) return;
          (void)cache->prefetchRange(start, block, fetcher(), token.get());
        });
    } else if (st.ok()) {
      // The server's copy is shorter than the cache thought: the cache decides.
      st = cache.read(offset, buffer, length, got, fetcher(), token);
    }
  } else {
    // A sequential reader would now wait for readahead in flight: its own
    // connection takes the next queued piece instead of standing idle.
    if (wanted != 0 && continuesRead(*file, offset)) prefetchPool_->runOne();
    st = cache.read(offset, buffer, length, got, fetcher(), token);
  }
  st = inTime(st);
  if (st.retryable()) {
    std::lock_guard<std::mutex> lock(file->mu);
    file->failedReadFrom = offset;
    file->failedReadTo = offset + length;
    file->failedReadDeadlineMs = call.deadlineMs();
    file->failedReadAtMs = SteadyNowMs();
  }
  if (cache.copiesTaken() != taken) {
    // The copy went while this read ran: what it got may be of the new one.
    got = 0;
    return readOwnCopy(*file, offset, static_cast<uint8_t*>(buffer), length, got);
  }
  if (st.ok() && got != 0) scheduleReadahead(file, offset, got);
  return st;
}

void Volume::bindCopy(OpenFile& file) {
  uint64_t taken = 0;
  RemoteAttr copy = file.cache->serverCopy(&taken);
  std::lock_guard<std::mutex> lock(file.mu);
  file.copy = std::move(copy);
  file.copyTaken = taken;
  file.copyBound = true;
}

Status Volume::readOwnCopy(OpenFile& file, uint64_t offset, uint8_t* buffer, uint64_t length, uint64_t& got) {
  got = 0;
  RemoteAttr copy;
  {
    std::lock_guard<std::mutex> lock(file.mu);
    copy = file.copy;
  }
  if (offset >= copy.size || length == 0) return Status();
  const uint64_t wanted = std::min(length, copy.size - offset);
  if (offline_.load()) return Status(Status::kIo, "offline: the file changed on the server while open");
  const std::string path = file.cache->path();
  Status st;
  while (st.ok() && got < wanted) {
    uint64_t n = 0;
    st = serverCall("read", [&](IBackend& b) {
      return b.readCopy(path, copy, offset + got, buffer + got, std::min(config_.transfer.chunkBytes, wanted - got), n);
    });
    got += n;
    bytesDown_ += n;
    // The copy ends earlier now: the same file, cut in place on the server.
    if (st.ok() && n == 0) break;
  }
  if (st.code != Status::kConflict) {
    if (!st.ok()) recordError(RequestKind::kRead, st);
    return st;
  }
  got = 0;
  bool first = false;
  {
    std::lock_guard<std::mutex> lock(file.mu);
    first = !std::exchange(file.copyGone, true);
  }
  if (first)
    vx::log::write(vx::log::kWarn, "%s: %s was replaced on the server while open; its reader gets an I/O error",
                   config_.id.c_str(), path.c_str());
  return Status(Status::kIo, "read: " + path + " was replaced on the server while open");
}

Fetcher Volume::fetcher() {
  return [this](CacheFile* file, uint64_t offset, uint8_t* buffer, uint64_t length, uint64_t& got,
                const CancelToken* cancel) { return fetchRange(*file, offset, buffer, length, got, cancel); };
}

Fetcher Volume::sequentialFetcher() {
  return [this](CacheFile* file, uint64_t offset, uint8_t* buffer, uint64_t length, uint64_t& got,
                const CancelToken* cancel) { return fetchRange(*file, offset, buffer, length, got, cancel, false, true); };
}

Status Volume::fetchRange(CacheFile& file, uint64_t offset, uint8_t* buffer, uint64_t length, uint64_t& got,
                          const CancelToken* cancel, bool ownBytes, bool sequential) {
  got = 0;
  if (offline_.load()) return Status(Status::kNetwork, "offline: block not cached");
  // A file deleted while open is gone from the server, or another file has
  // its name there now: the blocks the cache holds are all that is left.
  if (file.isRemoved()) return DeletedWhileOpen();
  if (pool_->silent()) return Status(Status::kTimeout, kServerSilent);
  // The object's path follows renames of the file and of its folders; the
  // name the handle was opened by may hold another file by now.
  std::string path = file.path();
  if (rangeIgnored_.load()) return streamRead(file, path, offset, buffer, length, got, cancel);
  if (sequential) {
    bool noConnection = false;
    Status st = streamRead(file, path, offset, buffer, length, got, cancel, true, &noConnection);
    // Every connection busy (for the stream, or for checking what it
    // delivers): ranged reads serve the rest, on the next one free.
    if (!noConnection) return st;
  }
  const char* id = config_.id.c_str();
  const uint64_t recordId =
      length >= kRecordedBlocks * config_.cache.blockBytes ? TransferBegin(path, false, length) : 0;
  // Read before any byte arrives: an upload of the file that ends meanwhile
  // records a newer copy, which the check below must not take for a change.
  const uint64_t seenRecord = file.remoteRecord();
  int requests = 0;
  // The copy the answers named, while every one named the same.
  RemoteAttr named;
  bool allNamed = true;
  const bool probeEnd = offset == 0 && length == file.remoteSize() && length < kWholeProbeBytes &&
                        length < config_.transfer.chunkBytes;
  bool longer = false;  // the first answer held more than the recorded copy
  Backoff backoff(ReadRetryPolicy(config_.net, cancel));
  for (;;) {
    if (IsCancelled(cancel)) {
      TransferEnd(recordId, false, "canceled");
      return Status(Status::kCanceled, "");
    }
    backoff.attemptBegins();
    freeIdleConnection();
    ConnectionPool::Lease lease;
    Status st = pool_->acquire(lease, cancel, backoff.budgetLeftMs(timings_.fetchAcquireMs));
    // Others found the server silent while this read waited for a connection.
    if (st.ok() && pool_->silent()) {
      TransferEnd(recordId, false, kServerSilent);
      return Status(Status::kTimeout, kServerSilent);
    }
    if (st.ok()) {
      noteConnected(*lease.backend());
      // So that a stop can end a call blocked on a slow server.
      lease->setCancelToken(cancel);
    }
    while (st.ok() && got < length) {
      // Stopping must not wait for the rest of a long run.
      if (IsCancelled(cancel)) {
        st = Status(Status::kCanceled, "");
        break;
      }
      uint64_t n = 0;
      ++requests;
      if (probeEnd && got == 0) {
        std::vector<uint8_t> probe(length + 1);
        st = lease->readRange(path, 0, probe.data(), length + 1, n);
        longer = n > length;
        n = std::min(n, length);
        std::memcpy(buffer, probe.data(), n);
      } else {
        st = lease->readRange(path, offset + got, buffer + got, std::min(config_.transfer.chunkBytes, length - got),
                              n);
      }
      // Bytes of an answer that failed were named by none.
      if (allNamed && (!st.ok() || n != 0)) allNamed = st.ok() ? LastReadNamed(*lease.backend(), named) : n == 0;
      // The back-end notices a server that ignores ranges only while reading.
      if (!lease->caps().rangeRead && !rangeIgnored_.exchange(true))
        vx::log::write(vx::log::kWarn, "%s: the server ignores Range (a caching proxy?); reading files as one stream",
                       id);
      got += n;
      bytesDown_ += n;
      if (n != 0) limiter_.consume(n, cancel);
      updateTransfer(recordId, got, nullptr, nullptr, -1);
      if (n == 0) break;
    }
    if (lease) pool_->noteOutcome(st);
    // The bytes join blocks cached from the copy the object records: they
    // must come from that copy too. One answer for the whole copy, with
    // nothing after it, is consistent by itself (a copy of the same size in
    // its place is read whole, never cut or mixed); anything else is checked
    // against the server.
    // Bytes for a reader alone, while the cache holds no block and none is
    // on its way, join nothing: whatever is stored later is checked by the
    // fetch that brings it, after these bytes were read.
    // Answers that named the recorded copy need no look either.
    const bool whole = probeEnd && !longer && requests == 1 && got >= file.remoteSize();
    // A longer copy in the recorded one's place is another file for the
    // reader too: it is never handed out as the recorded one.
    const bool joinsNothing = ownBytes && !longer && file.holdsNoBlock();
    const bool recorded =
        allNamed && !named.etag.empty() && named.etag == file.etag() && named.size == file.remoteSize();
    if (st.ok() && !whole && !joinsNothing && !recorded && !hasLocalChanges(file)) {
      RemoteAttr now;
      st = lease->stat(path, now);
      pool_->noteOutcome(st);
      if (st.ok()) dropIfChanged(file, path, now, seenRecord);
    }
    if (lease) lease->setCancelToken(nullptr);
    if (st.ok()) {
      requestSucceeded(RequestKind::kRead);
      TransferEnd(recordId, true, "");
      return st;
    }
    if (rangeIgnored_.load() && st.code != Status::kCanceled) {
      lease.reset();
      TransferEnd(recordId, true, "");
      uint64_t rest = 0;
      st = streamRead(file, path, offset + got, buffer + got, length - got, rest, cancel);
      got += rest;
      return st;
    }
    if (st.code == Status::kNotFound) {
      if (file.isRemoved()) {
        TransferEnd(recordId, false, "deleted");
        return DeletedWhileOpen();
      }
      // Renamed while the request was under way: the rest comes from the new name.
      if (std::string now = file.path(); now != path) {
        path = std::move(now);
        continue;
      }
    }
    if (!st.retryable()) {
      if (st.code != Status::kNotFound && st.code != Status::kCanceled) recordError(RequestKind::kRead, st);
      TransferEnd(recordId, false, st.code == Status::kCanceled ? "canceled" : st.toString());
      return st;
    }
    if (lease) lease->disconnect();
    vx::log::write(vx::log::kWarn, "%s: read %s@%llu: %s (attempt %d)", id, path.c_str(), Ull(offset + got),
                   st.toString().c_str(), backoff.attempts() + 1);
    updateTransfer(recordId, got, "retry", nullptr, backoff.attempts() + 1);
    // The broken connection goes back before the wait so others may use the slot.
    lease.reset();
    // A silent server has had its time-out: no attempt that would end past
    // the budget starts.
    if (!backoff.fitsAnother() || !backoff.sleepNext(cancel)) {
      setLastError(st, RequestKind::kRead);
      TransferEnd(recordId, false, st.toString());
      return st;
    }
  }
}

void Volume::dropIfChanged(CacheFile& file, const std::string& path, const RemoteAttr& now, uint64_t seenRecord) {
  bool changed = false;
  // Dropping the cached copy also advances the object's epoch, so the
  // fetch that brought the bytes stores none of them and its reader asks
  // again, for the new copy.
  file.applyRemote(now, &changed, nullptr, seenRecord);
  if (!changed) return;
  meta_->putAttr(path, now);
  vx::log::write(vx::log::kDebug, "%s: %s changed on the server; cached blocks dropped", config_.id.c_str(),
                 path.c_str());
}

Status Volume::streamRead(CacheFile& file, const std::string& path, uint64_t offset, uint8_t* buffer,
                          uint64_t length, uint64_t& got, const CancelToken* cancel, bool sequential,
                          bool* noConnection) {
  got = 0;
  std::shared_ptr<SeqStream> s;
  {
    std::lock_guard<std::mutex> lock(streamsMu_);
    std::shared_ptr<SeqStream>& slot = streams_[path];
    if (!slot) {
      slot = std::make_shared<SeqStream>();
      slot->lastUseMs = SteadyNowMs();
    }
    s = slot;
  }
  std::lock_guard<std::mutex> streamLock(s->mu);
  s->lastUseMs = SteadyNowMs();
  // The stream reads through its lease's back-end, which sees this call's
  // token while the call runs.
  auto watch = [&] {
    if (s->lease) s->lease->setCancelToken(cancel);
  };
  watch();
  const char* id = config_.id.c_str();
  const uint64_t blockSize = file.blockSize();
  // Begun with the first stream, so that a sequential read that finds no
  // connection leaves no record behind.
  uint64_t recordId = 0;
  auto dropStream = [&] {
    if (s->stream) s->stream->close();
    s->stream.reset();
  };
  Backoff backoff(ReadRetryPolicy(config_.net, cancel));
  Status st;
  bool streamed = false;  // the server sent bytes, not the cache alone
  for (;;) {
    st = Status();
    backoff.attemptBegins();
    if (IsCancelled(cancel)) {
      st = Status(Status::kCanceled, "");
      break;
    }
    // What the cache already holds needs no stream.
    while (got < length) {
      const uint64_t pos = offset + got;
      const uint64_t n = std::min(blockSize - pos % blockSize, length - got);
      if (!file.readIfCached(pos, buffer + got, n)) break;
      got += n;
    }
    if (got == length) {
      st = Status();
      break;
    }
    if (pool_->silent()) {
      st = Status(Status::kTimeout, kServerSilent);
      break;
    }
    const uint64_t want = offset + got;
    // Where ranges are honoured the stream opens at the block the read
    // needs, and again rather than pass more than it may read ahead;
    // elsewhere, and for reads near the start (the kernel's first reads
    // arrive in any order), it starts at the beginning.
    const uint64_t reach = StreamReach(config_.cache.readaheadMaxBlocks, blockSize);
    const uint64_t start = sequential && want > reach ? want - want % blockSize : 0;
    const bool farBehind = sequential && s->stream && want - s->position > reach;
    // A stream opened before the cached copy was dropped delivers the old one.
    bool fresh = false;
    uint64_t seenRecord = 0;
    if (!s->stream || s->position > want || farBehind || s->file != &file || s->epoch != file.epoch()) {
      vx::log::write(vx::log::kDebug, "%s: stream %s from %llu for %s@%llu (was at %llu)", id,
                     s->stream ? "reopened" : "opened", Ull(start), path.c_str(), Ull(want), Ull(s->position));
      dropStream();
      if (!s->lease) {
        // A sequential reader's stream never waits for a connection: it
        // would hold one for the whole file while others wait.
        st = pool_->acquire(s->lease, cancel, sequential ? 0 : backoff.budgetLeftMs(timings_.fetchAcquireMs));
        if (!st.ok() && sequential && st.code != Status::kCanceled && noConnection != nullptr) {
          *noConnection = true;
          break;
        }
        if (st.ok()) noteConnected(*s->lease.backend());
        watch();
      }
      s->position = start;
      s->file = &file;
      s->epoch = file.epoch();
      s->openedAt = Timestamp::now();
      seenRecord = file.remoteRecord();
      fresh = true;
      if (st.ok()) {
        st = s->lease->openRead(path, start, s->stream);
        pool_->noteOutcome(st);
      }
    }
    if (st.ok() && recordId == 0 && length >= kRecordedBlocks * blockSize) recordId = TransferBegin(path, false, length);
    bool ended = false;
    bool unchecked = false;
    while (st.ok() && got < length) {
      s->buffer.resize(blockSize);
      uint64_t n = 0;
      for (;;) {
        uint64_t k = 0;
        st = s->stream->read(s->buffer.data() + n, blockSize - n, k);
        pool_->noteOutcome(st);
        if (!st.ok()) break;
        streamed = true;
        n += k;
        bytesDown_ += k;
        if (k != 0) limiter_.consume(k, cancel);
        if (k == 0 || n == blockSize) break;
      }
      if (!st.ok()) break;
      s->lastUseMs = SteadyNowMs();
      RemoteAttr named;
      if (std::exchange(fresh, false) && !hasLocalChanges(file) &&
          !(s->stream->copy(named) && named.etag == file.etag() && named.size == file.remoteSize())) {
        // The stream's first bytes fix the copy it delivers; the cached
        // blocks must be of that copy, and a stream whose answer named
        // another is checked. Asked on another connection, since this one
        // is busy with the stream, and only on one free at once.
        ConnectionPool::Lease spare;
        RemoteAttr now;
        if (pool_->acquire(spare, cancel, 0).ok()) {
          // The look ends with the read's budget, not an I/O time-out later.
          spare->setCancelToken(cancel);
          st = spare->stat(path, now);
          spare->setCancelToken(nullptr);
          pool_->noteOutcome(st);
          if (st.retryable()) spare->disconnect();
          if (!st.ok()) break;
          dropIfChanged(file, path, now, seenRecord);
        } else if (noConnection != nullptr) {
          // Unchecked bytes must not join the cache or reach a reader:
          // ranged reads, which check their answers, serve the rest.
          dropStream();
          s->lease.reset();
          *noConnection = unchecked = true;
          break;
        }
      }
      // Blocks passed on the way to the wanted offset are kept too, where
      // the cache's disk has room for them.
      if (std::unique_ptr<RoomHold> room = holdFetched(n))
        file.fillFromStream(s->position, s->buffer.data(), n, s->epoch, s->openedAt);
      const uint64_t pieceStart = s->position;
      const uint64_t pieceEnd = pieceStart + n;
      s->position = pieceEnd;
      const uint64_t from = std::max(pieceStart, offset + got);
      const uint64_t to = std::min(pieceEnd, offset + length);
      if (to > from) {
        std::memcpy(buffer + (from - offset), s->buffer.data() + (from - pieceStart), to - from);
        got = to - offset;
      }
      updateTransfer(recordId, got, nullptr, nullptr, -1);
      if (n < blockSize) {
        dropStream();
        if (s->position < file.remoteSize()) st = Status(Status::kNetwork, "stream ended early");
        ended = true;
        break;
      }
    }
    if (st.ok() && (got == length || ended || unchecked)) break;
    dropStream();
    if (st.code == Status::kCanceled) break;
    if (!st.retryable()) {
      if (st.code != Status::kNotFound) recordError(RequestKind::kRead, st);
      break;
    }
    if (s->lease) s->lease->disconnect();
    // A fresh lease next time: acquire connects it again.
    s->lease.reset();
    vx::log::write(vx::log::kWarn, "%s: stream read %s@%llu: %s (attempt %d)", id, path.c_str(), Ull(offset + got),
                   st.toString().c_str(), backoff.attempts() + 1);
    updateTransfer(recordId, got, "retry", nullptr, backoff.attempts() + 1);
    if (!backoff.fitsAnother() || !backoff.sleepNext(cancel)) break;
  }
  TransferEnd(recordId, st.ok(), st.ok() ? "" : st.toString());
  if (st.ok() && streamed) requestSucceeded(RequestKind::kRead);
  if (s->lease) s->lease->setCancelToken(nullptr);
  s->lastUseMs = SteadyNowMs();
  return st;
}

bool Volume::readsOnlyItsOwn(OpenFile& file, uint64_t offset, uint64_t length) {
  // Without readahead no read is told apart from the others.
  if (config_.cache.readaheadBlocks == 0 || offline_.load() || !prefetchPool_ ||
      length > config_.cache.blockBytes / kOwnBytesShare)
    return false;
  bool first = false;
  {
    std::lock_guard<std::mutex> lock(file.mu);
    // A handle's first byte need not wait for a whole block: its block and
    // readahead follow behind it.
    first = file.readaheadEnd == 0;
    if (!first && !FarFromLastRead(file, offset, config_.cache)) return false;
  }
  if (first && !file.cache->wantsFetch(offset, length)) return false;
  // Local changes decide what a missing block holds (zeros past the server's
  // copy, its bytes kept at a cut): only the cache knows.
  return !hasLocalChanges(*file.cache);
}

bool Volume::continuesRead(OpenFile& file, uint64_t offset) {
  std::lock_guard<std::mutex> lock(file.mu);
  // A handle's first read has no readahead of its own queued yet.
  return offset != 0 && offset == file.readaheadEnd;
}

void Volume::scheduleReadahead(const std::shared_ptr<OpenFile>& file, uint64_t offset, uint64_t length) {
  if (offline_.load() || !prefetchPool_ || stopping_.load() || !file->cache) return;
  const uint64_t end = offset + length;
  const uint64_t size = file->cache->size();
  std::vector<std::pair<uint64_t, uint64_t>> pieces;
  bool startStream = false;
  {
    std::lock_guard<std::mutex> lock(file->mu);
    const bool continues = offset == file->readaheadEnd;
    // Random access gets no readahead, as from the kernel: its reader would
    // otherwise queue behind megabytes it never asked for.
    const bool random = FarFromLastRead(*file, offset, config_.cache);
    if (continues)
      file->readaheadWindow = std::min(config_.cache.readaheadMaxBlocks, 2 * file->readaheadWindow);
    else
      file->readaheadWindow = config_.cache.readaheadBlocks;
    file->readaheadEnd = end;
    if (random) {
      file->readaheadPosted = end;
      return;
    }
    pieces = PlanReadahead(end, size, config_.cache.blockBytes, file->readaheadWindow, config_.net.connections);
    if (pieces.empty()) return;
    const uint64_t planEnd = pieces.back().first + pieces.back().second;
    if (file->streaming) {
      // A stream cannot run in pieces: one task runs it ahead, to wherever
      // the reads have moved the window by then.
      file->readaheadPosted = std::max(file->readaheadPosted, planEnd);
      startStream = !std::exchange(file->streamAhead, true);
      pieces.clear();
    } else {
      // A continuing read hands over only what no earlier read did, and
      // only once a whole piece has gathered: a window moved by one small
      // read would otherwise turn into one request per block.
      const uint64_t from = continues ? std::clamp(file->readaheadPosted, end, planEnd) : end;
      if (planEnd - from < pieces.front().second && planEnd < size) return;
      std::erase_if(pieces, [from](const auto& p) { return p.first + p.second <= from; });
      if (!pieces.empty() && pieces.front().first < from) {
        pieces.front().second -= from - pieces.front().first;
        pieces.front().first = from;
      }
      file->readaheadPosted = planEnd;
    }
  }
  if (startStream) prefetchPool_->post([this, file, token = cancel_] { runStreamAhead(file, token.get()); });
  // A piece already here would only cost a wake-up of a worker per read.
  std::erase_if(pieces, [&](const auto& p) { return !file->cache->wantsFetch(p.first, p.second); });
  for (const auto& piece : pieces) {
    prefetchPool_->post([this, cache = file->cache, pos = piece.first, len = piece.second, token = cancel_] {
      if (stopping_.load()) return;
      (void)cache->prefetchRange(pos, len, fetcher(), token.get());
    });
  }
}

void Volume::runStreamAhead(const std::shared_ptr<OpenFile>& file, const CancelToken* cancel) {
  uint64_t from = 0;
  for (;;) {
    uint64_t to = 0;
    {
      std::lock_guard<std::mutex> lock(file->mu);
      from = std::max(from, file->readaheadEnd);
      to = file->readaheadPosted;
      if (stopping_.load() || !file->streaming || from >= to) {
        file->streamAhead = false;
        return;
      }
    }
    (void)file->cache->prefetchRange(from, to - from, sequentialFetcher(), cancel);
    from = to;
  }
}

bool Volume::readsAsStream(OpenFile& file, uint64_t offset) {
  // A server that ignores ranges has every read streamed already; a file
  // fetched whole at open needs no stream.
  if (!caps()->streamSequential || rangeIgnored_.load() || offline_.load() || !file.cache ||
      file.cache->size() <= config_.cache.wholeFileBelow)
    return false;
  const uint64_t start = static_cast<uint64_t>(config_.cache.blockBytes) * std::max(config_.cache.readaheadBlocks, 1u);
  // The kernel's reads of a stream arrive out of order, which starts the
  // window anew: only a read beyond the largest window leaves the stream.
  const uint64_t near = static_cast<uint64_t>(config_.cache.blockBytes) *
                        std::max({config_.cache.readaheadMaxBlocks, config_.cache.readaheadBlocks, 1u});
  std::lock_guard<std::mutex> lock(file.mu);
  if (file.streaming) {
    if (offset > file.readaheadEnd + near || offset + near < file.readaheadEnd) file.streaming = false;
  } else if (file.readaheadEnd == 0 && offset < start) {
    // The kernel's first reads of a file arrive side by side, all near its
    // start: each of them begins the stream.
    file.streaming = true;
  }
  return file.streaming;
}

void Volume::endStream(OpenFile& file) {
  {
    std::lock_guard<std::mutex> lock(file.mu);
    if (!std::exchange(file.streaming, false) || !file.cache) return;
  }
  std::shared_ptr<SeqStream> gone;
  {
    std::lock_guard<std::mutex> lock(streamsMu_);
    auto it = streams_.find(file.cache->path());
    // One in use is left to the idle sweep.
    if (it != streams_.end() && it->second->mu.try_lock()) {
      it->second->mu.unlock();
      gone = std::move(it->second);
      streams_.erase(it);
    }
  }
  // Closing a stream may talk to the server: outside the streams mutex.
  gone.reset();
}

void Volume::prefetchWhole(const std::shared_ptr<OpenFile>& file) {
  if (!prefetchPool_ || !file->cache) return;
  prefetchPool_->post([this, cache = file->cache, token = cancel_] {
    if (stopping_.load()) return;
    (void)cache->prefetchRange(0, cache->size(), fetcher(), token.get());
  });
}

}  // namespace tarn
