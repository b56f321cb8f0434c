// What one task hands from its op to the bookkeeping at its end. Private to
// the task runner's files.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "backup/manager/backup_manager.h"
#include "foundation/status.h"

namespace tarn {

// A task's phases, in the order it goes through them.
inline constexpr const char* kPhaseWaiting = "waiting";
inline constexpr const char* kPhaseConnecting = "connecting";
inline constexpr const char* kPhaseBackup = "backup";
inline constexpr const char* kPhaseCleanup = "cleanup";
inline constexpr const char* kPhaseRestore = "restore";
inline constexpr const char* kPhaseCheck = "check";

// How a task ended.
inline constexpr const char* kResultOk = "ok";
inline constexpr const char* kResultWarnings = "warnings";
inline constexpr const char* kResultFailed = "failed";
inline constexpr const char* kResultCanceled = "canceled";
// A task that began and whose end no one recorded: the service died.
inline constexpr const char* kResultInterrupted = "interrupted";

// Why a backup is done in part: files and folders it could not read,
// files and folders left out for names that are not valid UTF-8, and files
// it stored while they kept changing (each among the errors), which are not
// left out but stored as the last read found them.
struct LeftOut {
  uint64_t folders = 0;         // could not be listed
  uint64_t badNames = 0;        // files and folders whose names are not UTF-8
  uint64_t badNameFolders = 0;  // of those, folders
};
inline std::string WarningsText(uint64_t errors, uint64_t changed, const LeftOut& left = {}) {
  const uint64_t folders = std::min(errors, left.folders);
  const uint64_t bad = std::min(errors - folders, left.badNames);
  const uint64_t badFolders = std::min(bad, left.badNameFolders);
  const uint64_t unread = errors - folders - bad - std::min(errors - folders - bad, changed);
  auto filesAndFolders = [](uint64_t files, uint64_t folders) {
    std::string text;
    if (files > 0) text = Counted(files, "file", "files");
    if (folders > 0) text += (text.empty() ? "" : " and ") + Counted(folders, "folder", "folders");
    return text;
  };
  std::string text = filesAndFolders(unread, folders);
  if (!text.empty()) text += " could not be read";
  if (bad > 0)
    text += (text.empty() ? "" : "; ") + filesAndFolders(bad - badFolders, badFolders) +
            (bad == 1 ? " was left out: its name is" : " were left out: their names are") + " not valid UTF-8";
  if (changed > 0)
    text += (text.empty() ? "" : "; ") + std::to_string(changed) +
            (changed == 1 ? " file changed while it was read and was stored as last read"
                          : " files changed while they were read and were stored as last read");
  return text;
}

struct BackupManager::TaskOutcome {
  Status status;
  std::string note;                   // the summary of a task that succeeded
  // What the note counts, as numbers a window words in its own language:
  // restore "files" and "bytes"; check "packs", "bytes" and "problems";
  // prune "versions" and "bytes" (freed).
  vx::json::Value counts = vx::json::Value::object();
  // What the log's line tells after the result, where the note, which the
  // page shows alone, would name the op twice ("check ok: check passed").
  std::string logNote;
  std::vector<std::string> problems;  // per-item problems, at most kMaxProblems
  backup::SnapshotInfo version;       // backup: the version written
  std::vector<std::string> removed;   // ids of versions forgotten
  bool setLastPrune = false;          // space was reclaimed
  std::vector<std::string> damage;    // what opening the repository found damaged
  std::vector<std::string> notes;     // backup: lines for the log on what was left out on purpose
  uint64_t changedFiles = 0;          // backup: stored while they kept changing (counted among the errors)
  uint64_t unreadFolders = 0;         // backup: folders left out (counted among the errors)
  uint64_t badNames = 0;              // backup: left out for names not valid UTF-8 (counted among the errors)
  uint64_t badNameFolders = 0;        // backup: of those, folders
};

}  // namespace tarn
