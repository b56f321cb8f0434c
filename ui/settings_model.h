// What the settings window shows and decides, as plain functions over plain
// data: the drives list's rows and the action buttons it enables, the
// transfers list's rows, the log page's rules, the settings page's update
// texts, and the text a list puts on the clipboard. `Window` is the
// window's state that these functions read and the pages fill; the widget
// class (settings_window.h) owns one and only wires these functions to its
// controls. Any thread; no state of their own.
#pragma once

#include <QPoint>
#include <QRect>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "client/mount_follow.h"
#include "client/service_client.h"
#include "foundation/json.h"

namespace tarn::app {

// The pages in their order; SelectTab takes their names.
enum SettingsPage : int { kPageDrives, kPageBackup, kPageTransfers, kPageLog, kPageSettings, kPageCount };

// The drive actions, in the order of their buttons.
enum DriveAction : int {
  kActionAdd,
  kActionEdit,
  kActionRemove,
  kActionMount,
  kActionUnmount,
  kActionCheck,
  kActionSync,
  kActionOffline,
  kActionClearCache,
  kActionRefresh,
  kActionCount
};

// The log page shows this many of the service log's last lines.
inline constexpr int kLogLines = 400;
// A list cell copied to the clipboard is cut to this many characters.
inline constexpr qsizetype kMaxCopiedCellChars = 4095;

// One row of the transfers list: what a command on the row acts on.
struct TransferRow {
  std::string mount;  // the drive's id
  std::string path;   // the remote path
  std::string state;  // "active", "waiting", "retry", "done", ...
  bool upload = false;
  friend bool operator==(const TransferRow&, const TransferRow&) = default;
};

// The settings window's state, filled by its pages. UI thread.
struct Window {
  ServiceStatus status;  // the last status handed to the window
  int page = kPageDrives;
  std::vector<TransferRow> transferRows;  // row i of the transfers list
  std::string lastLogText;
  bool drivesRefreshing = false;  // guards RefreshDrives against re-entry
  bool actionRunning = false;     // a drive action's worker runs
  std::set<std::string> mountsFollowed;  // drives whose mount is being followed
  // Followed mounts the user stopped with Unmount: their end is no news.
  std::set<std::string> mountsStopped;
  bool probing = false;           // a "Check" of the drives page runs
  bool languageAsked = false;     // a change of the language is on its way to the service
};

// --- drives list ---

// The drive's link as the user gave it (DriveLink).
QString ServerText(const MountStatus& mount);
// The drive's state word (DriveStateWord), then ": " and the last error
// when there is one.
QString DriveStateText(const MountStatus& mount);
// The six cells: drive, name, server, state, cache, pending.
QStringList DriveRowTexts(const MountStatus& mount);

// Which action buttons a selected drive (null: none) enables. Refresh is
// always enabled; the others only while the service answers and lets the
// caller manage drives, Mount not while a mount goes on, and Unmount also
// while it goes on, to stop it.
struct DriveButtons {
  bool enabled[kActionCount] = {};
  // The Offline button reads "Online" (the drive is in offline mode).
  bool offlineSaysOnline = false;
  friend bool operator==(const DriveButtons&, const DriveButtons&) = default;
};
DriveButtons DriveButtonStates(const ServiceStatus& status, const MountStatus* selected);

// The note the window shows on `page` about what cannot be done and why:
// the service does not answer, or the caller may not manage drives (the
// backup page says that of backups itself). Empty when there is none.
QString WindowNoteText(const ServiceStatus& status, int page);

// What a window tells after a drive action: nothing, or a text with the
// kind of box it goes in.
struct ActionReport {
  enum Kind { kNothing, kInformation, kWarning, kError };
  Kind kind = kNothing;
  QString text;
  friend bool operator==(const ActionReport&, const ActionReport&) = default;
};

// How a followed mount of `drive` ended, told: a failure with its reason, a
// drive that serves only its cache with where it is and why, a mount that
// goes on; a mount that worked tells nothing.
ActionReport MountReport(const MountFollowResult& result, const MountStatus& drive);

// --- transfers list ---

TransferRow TransferRowFrom(const vx::json::Value& transfer);
// The four cells: file, direction, progress, state.
QStringList TransferRowTexts(const vx::json::Value& transfer);
// "Stop upload…" applies to an upload not yet done.
bool CanStopUpload(const TransferRow& row);
// The name a stop question shows: the path's last part.
QString TransferFileName(const std::string& path);

// --- log page ---

// How the log view stands when new text arrives.
struct LogView {
  bool hasSelection = false;
  bool atBottom = true;
  int firstVisibleLine = 0;
};

// What to do with the view.
struct LogUpdate {
  QString text;                // the whole new text
  bool followBottom = false;   // keep the newest lines in view
  int firstVisibleLine = 0;    // else show from this line on
};

// The update a new log text calls for: none while the user selects text or
// when the text has not changed. `lastText` is brought up to date.
std::optional<LogUpdate> TakeLogText(std::string& lastText, const std::string& text, const LogView& view);

// --- settings page ---

// The settings page: whether the language may be chosen here and why not
// (the service keeps it, and only root changes the service's settings), and
// the updates part: this program's version, and that updates come with the
// system's packages (there is no update server to ask, and nothing to
// switch on).
struct SettingsPageView {
  bool languageEnabled = false;
  QString languageNote;  // why the language cannot be chosen; empty when it can
  QString installedText;
  QString updatesText;
};

SettingsPageView SettingsPageFor(const Window& window);

// --- lists ---

// Rows of cells as the clipboard gets them: cells joined by tabs, each cut
// at kMaxCopiedCellChars, every row ended by CR LF.
QString RowsText(const std::vector<QStringList>& rows);

// Where a list's context menu opens: at the mouse, or for the keyboard at
// the bottom left of the selected row's label (`selectedLabel`, in the
// list's coordinates), else at the list's top left.
QPoint ListMenuPosition(bool fromKeyboard, QPoint mouse, const std::optional<QRect>& selectedLabel);

}  // namespace tarn::app
