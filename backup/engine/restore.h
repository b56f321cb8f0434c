// Restore: brings a kept version of a backup back to local disk, all of it or
// one folder or file named by its path inside the version, either to the
// places the items were taken from or into a folder the user chose. The same
// path resolution serves browsing a version folder by folder.
//
// A restore writes with the rights of the user who asked for it: every check,
// creation, rename, time change and removal at the destination runs with the
// request's asCaller switch on, and the repository is read with the service's
// own rights. A switch that fails refuses the item; nothing is ever written
// with the service's rights unless the request comes from inside the process.
// On the way to the folder a restore starts from, a symbolic link is followed
// only where nobody but root and the caller could have put it; below that
// folder no link is followed, and entry names of the repository that could
// step out of their folder are refused.
//
// Each file and folder gets the permission bits its version recorded, and
// for a root caller its owner and group; an item the version recorded none
// for gets owner-only access. A file or folder is never seen with more
// access than it ends with: files are made owner-only and given their bits
// before they get their names, folders are made owner-only and given
// theirs before anything is put into them (a folder whose bits would keep
// its owner out gets them at the end).
//
// Files are filled by worker threads that read several packs at once and
// write each blob as it arrives, switched to the caller's rights for their
// writes; files appear under their own names only by a rename of their
// temporary (name + ".tarn-restore") once complete.
//
// Restore runs on the calling (task) thread and returns when every file it
// started is finished; the browsing functions may run on any thread. Problems
// with single items are counted in the Progress and listed (at most
// kMaxProblems texts); only a storage failure, a cancellation or a bad
// request ends a restore.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "backup/engine/progress.h"
#include "backup/repo/folder_listing.h"
#include "backup/repo/repo.h"
#include "backup/repo/snapshot.h"
#include "foundation/cancel_token.h"
#include "foundation/status.h"

namespace tarn::backup {

// Appended to a destination's name for the file being written.
inline constexpr std::string_view kRestoreTempSuffix = ".tarn-restore";
// The umask of a caller who does not say.
constexpr uint32_t kDefaultRestoreUmask = 022;

// The permission bits a restored item gets: those its version recorded, else
// owner-only access less the umask (a file recorded read-only without its
// bits loses its write bit too). A file keeps its set-user and set-group
// bits only with the owner they were recorded with.
uint32_t RestoredMode(const ListingEntry& entry, bool withOwner, uint32_t umask);

struct RestoreRequest {
  // Path inside the version, "/"-separated; "" or "/" is the whole version.
  std::string path;
  // Local folder to restore into; empty: back to the recorded places.
  std::string target;
  // true takes on the requesting user's rights on the calling thread, false
  // goes back to the service's own. Either may fail, and says so. Called on
  // the restoring thread and on the restore's worker threads, each for
  // itself.
  std::function<Status(bool)> asCaller;
  // Set only by callers inside the process, which act for the service
  // itself: without asCaller such a request writes with the service's
  // rights. Any other request without asCaller is refused.
  bool inProcess = false;
  // The owners and groups the version recorded are given back: for a
  // caller who is root (or the service itself). Anyone else's restored
  // items are their own.
  bool restoreOwners = false;
  // The caller's umask. An item whose version recorded no permission bits
  // gets owner-only access (files 0600, folders 0700) less these bits.
  uint32_t umask = kDefaultRestoreUmask;
  // The caller's user: besides root's, only links this user made, in
  // folders only they and root may change, are followed on the way to the
  // folders the restore writes into.
  uint32_t callerUid = 0;
};

// Restores request.path of the version. Code 3 for a request without caller
// rights, or whose target the caller cannot write; the resolution's failures;
// code 10 for a refused item name or an item without a recorded place; code
// 17 when the target folder cannot be made; code 16 when cancelled; a storage
// failure (network, time-out, authentication) of a read. Every file known to
// be lost counts in progress.errors, a folder that cannot be made as all the
// files below it; a folder whose listing cannot be read counts once, as how
// many files it held is unknown, and is named in *unreadable (when given).
Status Restore(Repo& repo, const SnapshotInfo& version, const RestoreRequest& request, Progress& progress,
               const CancelToken* cancel, std::vector<std::string>& problems,
               std::vector<std::string>* unreadable = nullptr);

// Follows `path` through the version's listings. entries: the listing of the
// folder it names, empty for a file. entry (optional): the entry of the last
// component. localPath (optional): where the item was taken from, the root
// entry's recorded source joined with the components below it; empty when
// the root entry records none.
Status ResolveSnapshotPath(Repo& repo, const SnapshotInfo& version, const std::string& path,
                           std::vector<ListingEntry>& entries, ListingEntry* entry = nullptr,
                           std::string* localPath = nullptr);

// The listing of one folder of a version (empty for a file).
Status BrowseSnapshot(Repo& repo, const SnapshotInfo& version, const std::string& path,
                      std::vector<ListingEntry>& entries);

// False for names that cannot be one entry of one folder: empty, "." and
// "..", and names holding "/" or a NUL character.
bool IsValidEntryName(std::string_view name);

}  // namespace tarn::backup
