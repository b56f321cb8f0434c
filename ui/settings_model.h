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
#include <string>
#include <vector>

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
  // The user's automatic-update choice not yet seen in a status: -1 none,
  // 0 off, 1 on.
  int pendingAutoUpdate = -1;
  // The update button was pressed and its request has not come back.
  bool updateRequested = false;
  // Why the last update request failed; shown until the next one.
  std::string updateError;
  bool drivesRefreshing = false;  // guards RefreshDrives against re-entry
  bool actionRunning = false;     // a drive action's worker runs
  bool probing = false;           // a "Check" of the drives page runs
};

// --- drives list ---

// "protocol://host/root"; a host that is a whole link keeps its own scheme.
QString ServerText(const MountStatus& mount);
// "mounted", "offline", "unmounted" or "error", then ": " and the last
// error when there is one.
QString DriveStateText(const MountStatus& mount);
// The six cells: drive, name, server, state, cache, pending.
QStringList DriveRowTexts(const MountStatus& mount);

// Which action buttons a selected drive (null: none) enables; Add and
// Refresh are always enabled.
struct DriveButtons {
  bool enabled[kActionCount] = {};
  // The Offline button reads "Online" (the drive is in offline mode).
  bool offlineSaysOnline = false;
  friend bool operator==(const DriveButtons&, const DriveButtons&) = default;
};
DriveButtons DriveButtonStates(const MountStatus* selected);

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

struct SettingsPageView {
  bool autoUpdateChecked = false;
  bool autoUpdateEnabled = false;
  QString statusText;
  QString buttonText;
  bool buttonEnabled = false;
};

// The update part of the settings page; the pending choice and the
// update-request flag in `window` are cleared as the status allows.
SettingsPageView SettingsPageFor(Window& window);

// The user's locale's short date and time, without seconds, of a time in
// seconds since 1970 in the local time zone; empty for 0 or less.
QString FileTimeText(int64_t seconds);

// --- lists ---

// Rows of cells as the clipboard gets them: cells joined by tabs, each cut
// at kMaxCopiedCellChars, every row ended by CR LF.
QString RowsText(const std::vector<QStringList>& rows);

// Where a list's context menu opens: at the mouse, or for the keyboard at
// the bottom left of the selected row's label (`selectedLabel`, in the
// list's coordinates), else at the list's top left.
QPoint ListMenuPosition(bool fromKeyboard, QPoint mouse, const std::optional<QRect>& selectedLabel);

}  // namespace tarn::app
