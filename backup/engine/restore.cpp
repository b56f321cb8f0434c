#include "backup/engine/restore.h"

#include <algorithm>

#include "backup/engine/folder_walk.h"
#include "backup/engine/local_path.h"
#include "backup/engine/restore_run.h"
#include "foundation/remote_path.h"

namespace tarn::backup {

namespace {

// Everything a path of a version resolves to.
struct Resolution {
  std::vector<ListingEntry> entries;  // the folder's listing; empty for a file
  ListingEntry entry;                 // the last component's entry
  std::string localPath;              // where it was taken from; empty when not recorded
  std::string source;                 // the root entry's recorded source
  std::vector<std::string> components;
};

std::string Quoted(std::string_view name) { return "\"" + PrintableName(name) + "\""; }

// The components of a path inside a version. Only "/" separates: a "\" is
// part of a Linux name that a listing may hold. "." and empty components
// are dropped, ".." takes the one before it away.
std::vector<std::string> PathComponents(const std::string& path) {
  std::vector<std::string> out;
  for (std::string& name : SplitPath(path)) {
    if (name == ".") continue;
    if (name == "..") {
      if (!out.empty()) out.pop_back();
      continue;
    }
    out.push_back(std::move(name));
  }
  return out;
}

Status ReadListing(Repo& repo, const BlobId& tree, const char* damaged, std::vector<ListingEntry>& out) {
  std::vector<uint8_t> blob;
  Status st = repo.readBlob(tree, blob);
  if (!st.ok()) return st;
  if (!ParseFolderListing(std::string_view(reinterpret_cast<const char*>(blob.data()), blob.size()), out))
    return Status(Status::kProtocol, damaged);
  return Status();
}

// Only an absolute recorded source names a place; anything else in a
// version is damage, and is treated as no place at all.
std::string RecordedPlace(const std::string& src) {
  if (src.empty() || src.front() != '/') return std::string();
  return FullLocalPath(src);
}

// A path given as a source's place on the computer ("/usr/share/doc/x")
// names what the version keeps of it ("doc/x"); the longest place wins,
// for sources that lie inside one another.
void FromRecordedPlace(const std::vector<ListingEntry>& roots, std::vector<std::string>& components) {
  const ListingEntry* best = nullptr;
  size_t bestLength = 0;
  for (const ListingEntry& e : roots) {
    const std::string place = RecordedPlace(e.src);
    if (place.empty()) continue;
    const std::vector<std::string> parts = PathComponents(place);
    if (parts.empty() || parts.size() > components.size() || parts.size() <= bestLength) continue;
    if (!std::equal(parts.begin(), parts.end(), components.begin())) continue;
    best = &e;
    bestLength = parts.size();
  }
  if (best == nullptr) return;
  components.erase(components.begin(), components.begin() + static_cast<std::ptrdiff_t>(bestLength));
  components.insert(components.begin(), best->name);
}

Status Resolve(Repo& repo, const SnapshotInfo& version, const std::string& path, Resolution& out) {
  out = Resolution();
  Status st = ReadListing(repo, version.tree, "the snapshot's root listing is damaged", out.entries);
  if (!st.ok()) return st;
  out.components = PathComponents(path);
  const bool named = !out.components.empty() &&
                     std::any_of(out.entries.begin(), out.entries.end(),
                                 [&](const ListingEntry& e) { return e.name == out.components.front(); });
  if (!named && !path.empty() && path.front() == '/') FromRecordedPlace(out.entries, out.components);
  for (size_t i = 0; i < out.components.size(); ++i) {
    const std::string& name = out.components[i];
    const ListingEntry* found = nullptr;
    for (const ListingEntry& e : out.entries) {
      if (e.name == name) {
        found = &e;
        break;
      }
    }
    if (found == nullptr) return Status(Status::kNotFound, "no " + Quoted(name) + " in the snapshot");
    if (i == 0) {
      out.source = found->src;
      out.localPath = found->src;
    } else if (!out.localPath.empty()) {
      // Grown in place: a deep path built anew at each step costs its
      // depth squared.
      if (out.localPath.back() != '/') out.localPath += '/';
      out.localPath += name;
    }
    const bool last = i + 1 == out.components.size();
    if (last) out.entry = *found;
    if (!found->isDir) {
      if (!last) return Status(Status::kNotDirectory, Quoted(name) + " is a file");
      out.entries.clear();
      return Status();
    }
    const BlobId tree = found->tree;
    st = ReadListing(repo, tree, "a folder listing in the snapshot is damaged", out.entries);
    if (!st.ok()) return st;
  }
  return Status();
}

Status RestoreItem(RestoreRun& run, const Resolution& r, const std::string& target) {
  for (const std::string& name : r.components)
    if (!IsValidEntryName(name)) return Status(Status::kInvalid, "refused the name " + Quoted(name));
  const ListingEntry& item = r.entry;
  Destination dest;
  if (!target.empty()) {
    std::shared_ptr<const localfs::WriteFolder> folder;
    Status st = run.openTarget(target, folder);
    if (!st.ok()) return st;
    dest = Destination{folder, item.name, JoinPath(target, item.name)};
  } else {
    const std::string source = RecordedPlace(r.source);
    if (source.empty()) return Status(Status::kInvalid, "the snapshot does not say where this was taken from");
    std::vector<std::string> below(r.components.begin() + 1, r.components.end());
    bool placed = false;
    Status st = run.placeRecorded(source, below, item, dest, placed);
    if (!st.ok() || !placed) return st;
  }
  return run.restoreEntry(item, dest);
}

Status RestoreVersion(RestoreRun& run, const Resolution& r, const std::string& target) {
  std::shared_ptr<const localfs::WriteFolder> folder;
  if (!target.empty()) {
    Status st = run.openTarget(target, folder);
    if (!st.ok()) return st;
  }
  for (const ListingEntry& e : r.entries) {
    Destination dest;
    if (!target.empty()) {
      if (!IsValidEntryName(e.name)) continue;
      dest = Destination{folder, e.name, JoinPath(target, e.name)};
    } else {
      const std::string source = RecordedPlace(e.src);
      if (source.empty()) continue;
      bool placed = false;
      Status st = run.placeRecorded(source, {}, e, dest, placed);
      if (!st.ok()) return st;
      if (!placed) continue;
    }
    Status st = run.restoreEntry(e, dest);
    if (!st.ok()) return st;
  }
  return Status();
}

}  // namespace

bool IsValidEntryName(std::string_view name) {
  if (name.empty() || name == "." || name == "..") return false;
  return name.find('/') == std::string_view::npos && name.find('\0') == std::string_view::npos;
}

Status ResolveSnapshotPath(Repo& repo, const SnapshotInfo& version, const std::string& path,
                           std::vector<ListingEntry>& entries, ListingEntry* entry, std::string* localPath) {
  Resolution r;
  Status st = Resolve(repo, version, path, r);
  if (!st.ok()) return st;
  entries = std::move(r.entries);
  if (entry != nullptr) *entry = std::move(r.entry);
  if (localPath != nullptr) *localPath = std::move(r.localPath);
  return Status();
}

Status BrowseSnapshot(Repo& repo, const SnapshotInfo& version, const std::string& path,
                      std::vector<ListingEntry>& entries) {
  return ResolveSnapshotPath(repo, version, path, entries);
}

Status Restore(Repo& repo, const SnapshotInfo& version, const RestoreRequest& request, Progress& progress,
               const CancelToken* cancel, std::vector<std::string>& problems, std::vector<std::string>* unreadable) {
  // Checked before anything is read: a request from outside the process
  // that carries no caller must not fall back to the service's rights.
  if (!request.asCaller && !request.inProcess)
    return Status(Status::kAccessDenied, "a restore needs the rights of the user who asked for it");
  Resolution r;
  Status st = Resolve(repo, version, request.path, r);
  if (!st.ok()) return st;
  const std::string target = request.target.empty() ? std::string() : FullLocalPath(request.target);

  RestoreRun run(repo, request, progress, cancel, problems);
  st = r.components.empty() ? RestoreVersion(run, r, target) : RestoreItem(run, r, target);
  Status finished = run.finish();
  if (unreadable != nullptr) *unreadable = run.unreadable();
  return st.ok() ? finished : st;
}

}  // namespace tarn::backup
