#include "backup/engine/backup_run.h"

#include <algorithm>
#include <cstdint>

#include "backup/engine/local_path.h"
#include "foundation/remote_path.h"
#include "foundation/text.h"
#include "platform/local_dir.h"

namespace tarn::backup {
namespace {

constexpr const char* kNoSourceStored = "none of the folders to back up could be read";

}  // namespace

BackupRun::BackupRun(Repo& repo, const BackupRunArgs& args, Progress* progress, const CancelToken* cancel,
                     std::vector<std::string>& problems)
    : repo_(repo),
      args_(args),
      progress_(progress != nullptr ? *progress : ownProgress_),
      sink_(repo),
      walk_(sink_, repo.chunkerParams, args.excludes, args.stateDir.empty() ? nullptr : &state_, progress_, cancel,
            problems) {
  if (!args.stateDir.empty()) {
    state_.open(JoinPath(args.stateDir, kStateFileName));
    state_.prepareWriter(args.stateDir);
  }
}

BackupRun::~BackupRun() { state_.close(); }

std::string BackupRun::sourceEntryName(const std::string& path, const std::vector<ListingEntry>& rootEntries) {
  const std::string base = LastComponent(path);
  std::string candidate = base;
  auto taken = [&](const std::string& name) {
    for (const ListingEntry& e : rootEntries)
      if (EqualsIgnoreCase(e.name, name)) return true;
    return false;
  };
  for (uint64_t n = 2; taken(candidate); ++n) candidate = base + " (" + std::to_string(n) + ")";
  return candidate;
}

Status BackupRun::backupSources(SnapshotInfo& snapshot) {
  std::vector<ListingEntry> root;
  for (const std::string& source : args_.sources) {
    const std::string path = FullLocalPath(source);
    if (!vx::IsValidUtf8(path)) {
      walk_.recordBadName(path);
      continue;
    }
    localfs::Entry found;
    Status st = localfs::StatPath(ToLongPath(path), found);
    if (!st.ok()) {
      walk_.recordProblem(path, "cannot open the source", st.native);
      continue;
    }

    ListingEntry entry;
    entry.name = sourceEntryName(path, root);
    entry.src = path;
    entry.attributes = ListingAttributes(found);
    RecordModeAndOwner(found, entry);
    bool stored = false;
    if (found.kind == localfs::Kind::kFolder) {
      entry.isDir = true;
      st = walk_.backupFolder(path, entry.tree, stored);
    } else {
      entry.size = found.size;
      entry.mtime = found.mtime;
      st = walk_.backupFile(path, entry, stored);
    }
    if (!st.ok()) return st;
    if (!stored) continue;
    root.push_back(std::move(entry));
    snapshot.sources.push_back(path);
  }
  if (root.empty()) return Status(Status::kNotFound, kNoSourceStored);

  const std::string listing = WriteFolderListing(root);
  Status st = repo_.storeBlob(BlobSink::kTreeBlob, listing.data(), listing.size(), snapshot.tree);
  if (!st.ok()) return st;
  st = repo_.flush();
  if (!st.ok()) return st;
  state_.commit();
  return Status();
}

std::string WalkNotesText(const WalkNotes& notes) {
  std::string text;
  if (notes.changedFiles == 1) text += "; 1 file changed while it was read, stored as last read";
  if (notes.changedFiles > 1)
    text += "; " + std::to_string(notes.changedFiles) + " files changed while they were read, stored as last read";
  if (notes.specialFiles == 1) text += "; 1 FIFO, socket or device skipped";
  if (notes.specialFiles > 1) text += "; " + std::to_string(notes.specialFiles) + " FIFOs, sockets or devices skipped";
  if (notes.danglingLinks == 1) text += "; 1 symbolic link that leads nowhere skipped";
  if (notes.danglingLinks > 1)
    text += "; " + std::to_string(notes.danglingLinks) + " symbolic links that lead nowhere skipped";
  if (!notes.skippedMounts.empty()) {
    text += "; not backed up: ";
    const size_t named = std::min(notes.skippedMounts.size(), kMaxNotedMounts);
    for (size_t i = 0; i < named; ++i) text += (i == 0 ? "" : ", ") + notes.skippedMounts[i];
    if (notes.skippedMounts.size() > named)
      text += " and " + std::to_string(notes.skippedMounts.size() - named) + " more mounts";
  }
  return text;
}

Status RunBackup(Repo& repo, const BackupRunArgs& args, Progress* progress, const CancelToken* cancel,
                 SnapshotInfo& snapshot, std::vector<std::string>& problems, WalkNotes* notes,
                 FolderWalk::ReadHook readHook) {
  const int64_t start = vx::UnixNow();
  const uint64_t addedBefore = repo.bytesAdded.load();
  const uint64_t storedBefore = repo.bytesStored.load();
  snapshot = SnapshotInfo();
  snapshot.time = start;
  snapshot.job = args.jobId;
  snapshot.name = args.jobName;
  snapshot.host = LocalHostName();

  BackupRun run(repo, args, progress, cancel, problems);
  if (readHook) run.setReadHook(std::move(readHook));
  Status st = run.backupSources(snapshot);
  if (notes != nullptr) *notes = run.notes();
  if (!st.ok()) {
    // What was stored stays findable by the next run; only the record is
    // left unwritten.
    (void)repo.flush();
    return st;
  }
  snapshot.files = run.files();
  snapshot.dirs = run.dirs();
  snapshot.bytes = run.bytes();
  snapshot.addedBytes = repo.bytesAdded.load() - addedBefore;
  snapshot.storedBytes = repo.bytesStored.load() - storedBefore;
  snapshot.errors = uint32_t(std::min<uint64_t>(run.errors(), UINT32_MAX));
  snapshot.durationSec = vx::UnixNow() - start;
  return repo.writeSnapshot(snapshot);
}

}  // namespace tarn::backup
