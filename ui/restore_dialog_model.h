// The restore dialog's logic as plain functions over its state: the version
// lines, the rows of a folder, walking into a folder and up, which controls
// may be used, and the rule that only the newest load is shown (a load
// carries the generation it was asked with; any other is dropped). The
// dialog (restore_dialog.h) only shows the state and starts the requests.
// Any thread.
#pragma once

#include <QString>

#include <cstdint>
#include <string>

#include "foundation/json.h"
#include "ui/backup_requests.h"

namespace tarn::app {

struct RestoreContext {
  std::string jobId;
  QString jobName;
  vx::json::Value versions = vx::json::Value::array();  // newest first
  vx::json::Value entries = vx::json::Value::array();   // of the folder shown
  std::string path;                                     // the folder shown; empty at the root
  bool busy = true;                                     // reading the versions at first
  uint32_t generation = 0;                              // of the newest load asked for
};

// "time  (files, bytes)" of one version.
QString VersionText(const vx::json::Value& version);
// The id of the version at `index` of the list, empty when there is none.
std::string SelectedSnapshotId(const RestoreContext& context, int index);

// The path of a folder entered from `path`; a folder at the root is "/" and
// its name.
std::string EnterFolder(const std::string& path, const std::string& name);
// The folder above `path`; the root (empty) from a folder at the root.
std::string UpFolder(const std::string& path);
// The path as the dialog shows it: "/" at the root.
QString FolderLabel(const std::string& path);

struct EntryRow {
  QString name;  // a folder's ends with "/"
  QString size;
  QString modified;
  bool dir = false;
};
EntryRow EntryRowTexts(const vx::json::Value& entry);

struct RestoreControls {
  bool versions = false;
  bool deleteVersion = false;  // the only version cannot be deleted
  bool up = false;
  bool restoreEverything = false;
  bool list = false;
  bool restoreSelected = false;
  friend bool operator==(const RestoreControls&, const RestoreControls&) = default;
};
RestoreControls RestoreControlStates(const RestoreContext& context, bool rowSelected);

// The status line: the message, or "Reading the copy…" while busy without
// one.
QString RestoreStatusText(bool busy, const QString& message);

// What a load result did to the state.
enum class LoadOutcome {
  kDropped,     // not the newest load: nothing changed
  kFailed,      // the error is to be shown; the rest stays
  kNoVersions,  // the job has no version
  kVersions,    // the versions are in; the root of the newest is to be read
  kFolder,      // a folder is in
};
LoadOutcome TakeRestoreLoad(RestoreContext& context, const RestoreLoadResult& result);

}  // namespace tarn::app
