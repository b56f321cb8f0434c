// The repository as a whole (construction, destruction) and its layer of
// object access: every remote operation runs one back-end call sequence
// under the pool's retry loop with a fixed label.
#include <algorithm>
#include <cerrno>

#include "backup/repo/repo.h"
#include "engine/backend_factory.h"
#include "foundation/file_util.h"
#include "foundation/log.h"
#include "foundation/remote_path.h"
#include "platform/http_client.h"

namespace tarn::backup {
namespace {

constexpr const char* kLabelMkdir = "backup mkdir";
constexpr const char* kLabelDownload = "backup download";
constexpr const char* kLabelList = "backup list";
constexpr const char* kLabelUpload = "backup upload";
constexpr const char* kLabelDelete = "backup delete";
constexpr const char* kLabelProbe = "backup probe";

// Transfers move this much at a time, so that the speed limit and the
// cancel token act at that grain.
constexpr uint64_t kTransferPiece = 262144;
// Ranged reads ask for at most this much per call.
constexpr uint64_t kRangePiece = 4194304;
constexpr const char* kPartSuffix = ".part";

Status Canceled() { return Status(Status::kCanceled, ""); }

// The host answered and nothing listens: the sockets of SFTP and NFS say so
// by their errno; HTTP reports every connection that could not be made
// alike, an unreachable host included, which waiting cures no better.
bool IsRefusedConnection(const Status& st) {
  return st.code == Status::kNetwork &&
         (st.native == ECONNREFUSED || st.native == static_cast<int32_t>(http::kErrCannotConnect));
}

}  // namespace

std::string PackPath(const BlobId& id) {
  std::string hex = BlobIdToHex(id);
  return "/data/" + hex.substr(0, 2) + "/" + hex;
}

Repo::Repo(BackendFactory backendFactory, const RepoOptions& repoOptions)
    : factory(std::move(backendFactory)), options(repoOptions), pool(factory, std::max(2, repoOptions.connections)),
      limiter(repoOptions.speedLimitBytesPerSec),
      budget(repoOptions.pipelineBytes) {
  options.packTargetSize = std::max(options.packTargetSize, kMinPackTargetSize);
  options.indexSegmentPacks = std::max(options.indexSegmentPacks, 1u);
  sealThreadCount = options.sealThreads > 0 ? std::min(options.sealThreads, kMaxSealThreads)
                                            : std::clamp(int32_t(std::thread::hardware_concurrency()), 1,
                                                         kMaxSealThreads);
  pool.refuseWhileSilent(options.refuseWhileSilent);
  // A task ends at the first silence: an upload already on its way waits no
  // time-out of its own after another call found the server silent.
  pool.endCallsWhenSilent(options.refuseWhileSilent);
}

Repo::~Repo() {
  std::vector<std::thread> sealing, uploading;
  {
    std::lock_guard<std::mutex> lock(sealMutex);
    sealStopping = true;
    sealWork.notify_all();
    sealDone.notify_all();
    sealing.swap(sealWorkers);
  }
  {
    // Also ends a seal thread's wait for upload room.
    std::lock_guard<std::mutex> lock(queueMutex);
    stopping = true;
    queueCv.notify_all();
  }
  for (std::thread& t : sealing) t.join();
  {
    // Only now: a seal thread closing a pack may have started the workers.
    std::lock_guard<std::mutex> lock(queueMutex);
    uploading.swap(workers);
  }
  for (std::thread& t : uploading) t.join();
  // Only now that nothing is written any more does the lock go.
  unlock();
  vx::SecureWipe(idKey);
}

Status Repo::probe() {
  RetryPolicy once = options.retry;
  once.maxAttempts = 1;
  once.forever = false;
  RetryPolicy refused = options.refusedRetry;
  refused.maxAttempts = std::min(refused.maxAttempts, options.retry.maxAttempts);
  Backoff patient(options.retry), quick(refused);
  for (;;) {
    patient.attemptBegins();
    quick.attemptBegins();
    Status st = pool.run(once, cancel, "", [&](IBackend& b) {
      RemoteAttr attr;
      return b.stat("/config", attr);
    });
    if (!st.retryable()) return st;
    // A connect that met the silence is the answer: the next would be refused.
    if (options.refuseWhileSilent && pool.silent()) return st;
    Backoff& backoff = IsRefusedConnection(st) ? quick : patient;
    // A server that accepts and never answers is asked no longer than the
    // policy's time allows.
    if (!backoff.fitsAnother()) {
      vx::log::write(vx::log::kWarn, "%s: %s (attempt %d; no time left for another)", kLabelProbe,
                     st.toString().c_str(), static_cast<int>(backoff.attempts() + 1));
      return st;
    }
    vx::log::write(vx::log::kWarn, "%s: %s (attempt %d)", kLabelProbe, st.toString().c_str(),
                   static_cast<int>(backoff.attempts() + 1));
    if (!backoff.sleepNext(cancel)) return IsCancelled(cancel) ? Canceled() : st;
  }
}

Status Repo::ensureDir(const std::string& path) {
  if (path.empty() || path == "/") return Status();
  {
    std::lock_guard<std::mutex> lock(dirMutex);
    if (knownDirs.count(path) != 0) return Status();
  }
  Status st = ensureDir(ParentPath(path));
  if (!st.ok()) return st;
  st = pool.run(options.retry, cancel, kLabelMkdir, [&](IBackend& b) {
    if (b.caps().implicitFolders) return Status();
    Status made = b.mkdir(path);
    if (made.ok() || made.code == Status::kExists) return Status();
    // A server that did not answer is not asked again within the call.
    if (made.retryable()) return made;
    // Some servers refuse to make a folder that another client just made.
    RemoteAttr attr;
    if (b.stat(path, attr).ok() && attr.isDir()) return Status();
    return made;
  });
  if (!st.ok()) return st;
  std::lock_guard<std::mutex> lock(dirMutex);
  knownDirs.insert(path);
  return Status();
}

Status Repo::getObject(const std::string& path, std::vector<uint8_t>& out) {
  return pool.run(options.retry, cancel, kLabelDownload, [&](IBackend& b) {
    out.clear();
    std::unique_ptr<IReadStream> stream;
    Status st = b.openRead(path, 0, stream);
    if (!st.ok()) return st;
    std::vector<uint8_t> buffer(kTransferPiece);
    for (;;) {
      if (IsCancelled(cancel)) {
        stream->close();
        return Canceled();
      }
      uint64_t got = 0;
      st = stream->read(buffer.data(), buffer.size(), got);
      if (!st.ok()) {
        stream->close();
        return st;
      }
      if (got == 0) break;
      // No repository object reaches a pack's 4 GiB bound; a server that
      // streams on past it is not serving a repository object.
      if (out.size() + got > kMaxPackBytes) {
        stream->close();
        return Status(Status::kProtocol, path + " is larger than any repository object");
      }
      out.insert(out.end(), buffer.begin(), buffer.begin() + std::ptrdiff_t(got));
      bytesDownloaded += got;
    }
    stream->close();
    return Status();
  });
}

Status Repo::getRange(const std::string& path, uint64_t offset, uint64_t length, std::vector<uint8_t>& out) {
  return pool.run(options.retry, cancel, kLabelDownload, [&](IBackend& b) {
    out.clear();
    uint64_t got = 0;
    while (got < length) {
      if (IsCancelled(cancel)) return Canceled();
      // The buffer grows with what arrives, so a length taken from a damaged
      // index costs no more memory than the server actually sends.
      uint64_t piece = std::min(length - got, kRangePiece);
      out.resize(size_t(got + piece));
      uint64_t n = 0;
      Status st = b.readRange(path, offset + got, out.data() + got, piece, n);
      if (!st.ok()) return st;
      got += std::min(n, piece);
      bytesDownloaded += n;
      if (n == 0) break;
    }
    out.resize(size_t(got));
    return Status();
  });
}

Status Repo::listDir(const std::string& path, std::vector<DirEntry>& out) {
  return pool.run(options.retry, cancel, kLabelList, [&](IBackend& b) {
    Status st = b.list(path, out);
    if (st.code == Status::kNotFound) {
      out.clear();
      return Status();
    }
    return st;
  });
}

Status Repo::listDirWithLeftovers(const std::string& path, std::vector<DirEntry>& out,
                                  std::vector<DirEntry>& leftovers) {
  return pool.run(options.retry, cancel, kLabelList, [&](IBackend& b) {
    Status st = b.listWithLeftovers(path, out, leftovers);
    if (st.code == Status::kNotFound) {
      out.clear();
      leftovers.clear();
      return Status();
    }
    return st;
  });
}

Status Repo::putObject(const std::string& path, const std::vector<uint8_t>& bytes) {
  Status st = ensureDir(ParentPath(path));
  if (!st.ok()) return st;
  return pool.run(options.retry, cancel, kLabelUpload, [&](IBackend& b) {
    // Only where a rename is a real move can a ".part" upload make the object
    // appear whole; elsewhere the final name is written directly.
    const bool viaPart = b.caps().randomWrite && b.caps().nativeRename;
    const std::string target = viaPart ? path + kPartSuffix : path;
    std::unique_ptr<IWriteStream> stream;
    Status st = b.openWrite(target, 0, bytes.size(), stream);
    if (!st.ok()) return st;
    for (uint64_t done = 0; done < bytes.size();) {
      if (IsCancelled(cancel)) {
        stream->abort();
        return Canceled();
      }
      uint64_t piece = std::min<uint64_t>(bytes.size() - done, kTransferPiece);
      limiter.consume(piece, cancel);
      st = stream->write(bytes.data() + done, piece);
      if (!st.ok()) {
        stream->abort();
        return st;
      }
      done += piece;
      bytesUploaded += piece;
    }
    st = stream->finish(nullptr);
    if (!st.ok()) return st;
    if (viaPart) {
      st = b.rename(target, path, true);
      if (!st.ok()) return st;
    }
    RemoteAttr attr;
    st = b.stat(path, attr);
    if (st.code == Status::kNotFound) return Status(Status::kNetwork, "the uploaded file is not there");
    if (!st.ok()) return st;
    if (attr.size != bytes.size())
      return Status(Status::kNetwork, "the server kept " + std::to_string(attr.size) + " of " +
                                          std::to_string(bytes.size()) + " bytes");
    return Status();
  });
}

Status Repo::removeObject(const std::string& path) {
  return pool.run(options.retry, cancel, kLabelDelete, [&](IBackend& b) { return b.remove(path, false); });
}

Status Repo::listStored(StoredData& out, bool withTemporaries) {
  out = StoredData();
  auto note = [&](const std::string& folder, const DirEntry& e, bool temporary) {
    if (e.attr.isDir()) return;
    const StoredObject object{e.attr.size, e.attr.mtime.seconds};
    if (temporary || e.name.ends_with(kPartSuffix)) {
      if (withTemporaries) out.temporaries.emplace_back(folder + "/" + e.name, object);
    } else if (folder.starts_with("/data/")) {
      out.packs[e.name] = object;
    }
  };
  std::vector<std::string> folders = {"/data"};
  if (withTemporaries) folders.insert(folders.end(), {"/index", "/snapshots", "/locks"});
  for (size_t i = 0; i < folders.size(); ++i) {
    std::vector<DirEntry> entries, leftovers;
    Status st = withTemporaries ? listDirWithLeftovers(folders[i], entries, leftovers) : listDir(folders[i], entries);
    if (!st.ok()) return st;
    for (const DirEntry& e : entries) {
      if (e.attr.isDir() && folders[i] == "/data") folders.push_back("/data/" + e.name);
      note(folders[i], e, false);
    }
    for (const DirEntry& e : leftovers) note(folders[i], e, true);
  }
  return Status();
}

Status EnsureRemoteRoot(const EndpointConfig& endpoint) {
  const std::string path = NormalizeRemotePath(endpoint.root);
  if (path == "/") return Status(Status::kNotFound, "the server root does not exist");
  EndpointConfig parentCfg = endpoint;
  parentCfg.root = ParentPath(path);
  std::string error;
  std::unique_ptr<IBackend> backend = MakeBackend(parentCfg, &error);
  if (!backend) return Status(Status::kUnsupported, error);
  Status st = backend->connect();
  if (st.code == Status::kNotFound) {
    st = EnsureRemoteRoot(parentCfg);
    if (!st.ok()) return st;
    st = backend->connect();
  }
  if (!st.ok()) return st;
  RemoteAttr attr;
  if (backend->stat("/", attr).code == Status::kNotFound) {
    backend->disconnect();
    st = EnsureRemoteRoot(parentCfg);
    if (!st.ok()) return st;
    st = backend->connect();
    if (!st.ok()) return st;
  }
  st = backend->mkdir("/" + BaseName(path));
  backend->disconnect();
  if (st.code == Status::kExists) return Status();
  return st;
}

}  // namespace tarn::backup
