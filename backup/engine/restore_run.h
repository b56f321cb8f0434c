// The state of one restore (RestoreRun) and its steps: folders are made and
// walked (without recursion, and with descriptors held only for the first
// and the last few folders on the way down), unchanged files are counted,
// and every other file is handed to the FileFiller, whose workers create,
// fill and place it. Made by
// Restore for one call and used by its calling thread only; the filler's
// workers never see it.
//
// Every operation on a destination runs with the caller's rights
// (RestoreRights); when the switch cannot be made the operation is refused
// and becomes a problem of that item. When switching back fails the thread's
// rights are unknown: the run stops touching the destination and ends with
// that failure.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "backup/engine/progress.h"
#include "backup/engine/restore.h"
#include "backup/engine/restore_filler.h"
#include "backup/engine/restore_rights.h"
#include "backup/repo/folder_listing.h"
#include "backup/repo/repo.h"
#include "foundation/cancel_token.h"
#include "foundation/status.h"
#include "platform/local_write.h"

namespace tarn::backup {

// Where one restored item goes.
struct Destination {
  // The open folder that receives it; null for a folder that is itself the
  // place a user or the version named, which is then made and opened by path.
  std::shared_ptr<const localfs::WriteFolder> folder;
  std::string name;  // its name in `folder`
  std::string path;  // the plain path, for messages
};

class RestoreRun {
 public:
  // Everything is borrowed and must outlive the run (the request for its
  // switch); cancel may be null.
  RestoreRun(Repo& repo, const RestoreRequest& request, Progress& progress, const CancelToken* cancel,
             std::vector<std::string>& problems);
  RestoreRun(const RestoreRun&) = delete;
  RestoreRun& operator=(const RestoreRun&) = delete;

  // Code 16 when cancelled; else the folder's or the file's restore. A
  // failure ends the whole restore.
  Status restoreEntry(const ListingEntry& entry, const Destination& dest);
  // Makes the folder and restores its listing into it, and so every folder
  // below it, however deep, without recursion. A folder that cannot be
  // made, or whose listing cannot be read or parsed, is a problem.
  Status restoreFolder(const ListingEntry& entry, const Destination& dest);
  // An unchanged file (same size and modification time) is counted and left;
  // any other is created under its temporary name and handed to the filler.
  Status restoreFile(const ListingEntry& entry, const Destination& dest);
  // Makes the folder at `path` with its missing parents unless a folder is
  // there, and opens it; links in the path are followed only where nobody
  // but root and the caller could have put them (a refusal names the link).
  // A folder of the version (`ofVersion`) is made owner-only, to get its
  // own bits later; others get what the caller's umask allows. With the
  // caller's rights; errno in `native`.
  Status ensureFolder(const std::string& path, std::shared_ptr<const localfs::WriteFolder>& out,
                      bool ofVersion = false);
  // Counts the problem and keeps its text while fewer than kMaxProblems are
  // kept.
  void recordProblem(const std::string& path, std::string_view message, int error);
  // A folder whose listing cannot be read: what it held is unknown, so it
  // counts once and is named ("folder X could not be read").
  void recordUnreadable(const std::string& path, const std::string& why);
  // A folder that cannot be made while its listing can be read: it counts
  // as every file below it, as far as their listings can be read. A storage
  // failure met on the way ends the restore.
  Status recordLostFolder(const ListingEntry& folder, const std::string& path, std::string_view message,
                          const Status& st);
  // The folders whose listings could not be read, by path.
  const std::vector<std::string>& unreadable() const { return unreadable_; }

  // The target folder of a restore into a chosen place: made when missing;
  // code 3 when the caller may not make it or create files in it, 17 when it
  // cannot be made for another reason.
  Status openTarget(const std::string& target, std::shared_ptr<const localfs::WriteFolder>& out);
  // The recorded place of an item: `source` (a root entry's full path) with
  // `below` (the components under the root entry, the item's own name last).
  // Folders on the way are made for a folder, must exist for a file.
  // `placed` false, with the problem recorded, when the place cannot be
  // reached; a failure only when counting what is lost met one.
  Status placeRecorded(const std::string& source, const std::vector<std::string>& below, const ListingEntry& item,
                       Destination& out, bool& placed);
  // Gives a folder of the version the bits (and, for a root caller, the
  // owner) it recorded, before anything is put into it; a folder that would
  // then keep its owner out gets them once what goes into it is there. A
  // folder that was there before and recorded no bits keeps its own.
  void settleFolder(const ListingEntry& entry, const std::shared_ptr<const localfs::WriteFolder>& folder);
  // Waits for every file in flight and moves it into place, then gives the
  // folders waiting for their bits theirs. The run's first storage failure
  // or cancellation in the filler, or a failed switch back.
  Status finish();

 private:
  using TempKey = std::tuple<uint64_t, uint64_t, std::string>;  // folder device, inode, temporary name
  // One folder on restoreFolder's way down: what is left of its listing.
  struct Level {
    // Dropped while kOpenLevels levels lie below it (never the first's):
    // a deep version would hold a descriptor for every folder on the way.
    std::shared_ptr<const localfs::WriteFolder> folder;
    uint64_t device = 0;  // the folder's, which tell it when it is opened again
    uint64_t inode = 0;
    std::string name;       // in the folder above
    size_t pathLength = 0;  // of path_ while it is restored
    std::vector<ListingEntry> entries;
    size_t next = 0;    // the first entry not yet restored
    bool lost = false;  // not found again after it was dropped
  };
  // A deque keeps each level in place while levels come and go below it.
  using Levels = std::deque<Level>;
  static constexpr size_t kOpenLevels = 32;

  // Makes and opens the folder of `entry` at `dest` (its path is path_),
  // gives it its bits, reads its listing and adds it below the last level.
  // A folder that cannot be made or read is a problem, and is not added.
  Status enterFolder(Levels& levels, const ListingEntry& entry, const Destination& dest);
  // Opens the last level's folder again: as the parent of `left`, the folder
  // just left, or by name from the nearest open level where that was moved
  // meanwhile. What cannot be found again is lost.
  void reopen(Levels& levels, const std::shared_ptr<const localfs::WriteFolder>& left);
  // Leaves the rest of the levels from `from` down unrestored, with a
  // problem that names it.
  void lose(Levels& levels, size_t from);
  // A folder whose bits wait for everything that goes into it.
  struct LateFolder {
    std::shared_ptr<const localfs::WriteFolder> folder;
    uint32_t mode;
  };
  void setFolderMode(const localfs::WriteFolder& folder, uint32_t mode, const ListingEntry* owner);
  // Waits for every file in flight, then sets the waiting folders' bits.
  void settleLateFolders();
  // Counts a file into the filler (held) or out of it: a place among the
  // files of several blobs or of one, and its folder's descriptor.
  void hold(const FillJob& job, bool held);

  // A failure of the run that stops it: cancellation, the filler's storage
  // failure, a failed switch back.
  Status ended();
  void recordFailure(const std::string& path, std::string_view message, const Status& st);
  Status openSubFolder(const Destination& dest, std::shared_ptr<const localfs::WriteFolder>& out);
  void submit(std::unique_ptr<FillJob> job);
  // Counts the files the filler hands back; with wait, waits for one.
  void collect(bool wait);

  Repo& repo_;
  Progress& progress_;
  std::string path_;  // of the folder restoreFolder restores into now
  const CancelToken* cancel_;
  std::vector<std::string>& problems_;
  std::set<TempKey> pending_;  // temporaries of the files in the filler
  size_t largeInFlight_ = 0;   // files of several blobs in the filler
  size_t smallInFlight_ = 0;   // files of one blob in the filler
  std::map<const localfs::WriteFolder*, size_t> folders_;  // folders of the files in the filler, with their count
  std::vector<std::string> unreadable_;
  const bool restoreOwners_;
  const uint32_t umask_;
  const uint32_t callerUid_;
  std::vector<LateFolder> lateFolders_;  // each holds its folder's descriptor
  RestoreRights rights_;
  FileFiller filler_;  // last: its workers stop before the rest goes
};

}  // namespace tarn::backup
