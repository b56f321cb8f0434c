// What the tray shows and decides, as plain functions over the service's
// status, without widgets: the drive letters that came and went, the error
// and update balloons, the tooltip, the menu with its state words, and
// whether a changed service means relaunching. The tray (tray.h) only wires
// these to the icon, the menu and the workers. Any thread; no state of
// their own.
#pragma once

#include <QString>

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "client/service_client.h"

namespace tarn::app {

// The program's own version, which the service is expected to run too.
inline constexpr const char* kTrayVersion = TARN_PROGRAM_VERSION;

inline constexpr size_t kMaxMenuDrives = 24;
inline constexpr qsizetype kMaxTipChars = 127;
inline constexpr qsizetype kMaxBalloonTitleChars = 63;
inline constexpr qsizetype kMaxBalloonTextChars = 255;

// Bit n stands for the drive letter "A" + n; only "A" to "Z" have one.
uint32_t MountedDriveMask(const ServiceStatus& status);
// The letters of a mask, "A" upwards, separated by spaces.
QString DriveLetters(uint32_t mask);

struct Balloon {
  QString title;
  QString text;
  bool warning = false;
  friend bool operator==(const Balloon&, const Balloon&) = default;
};

// "Name (X:)", the title of a drive's balloons.
QString DriveTitle(const MountStatus& mount);

// Warning balloons for the drives whose last error is new: an error shows
// once, and again only after it changed or was cleared. `seen` (drive id to
// the last error seen, empty included) is brought up to date.
std::vector<Balloon> TakeDriveErrors(std::map<std::string, std::string>& seen, const ServiceStatus& status);

// The state of a drive as the window and the menu show it: "mounting…",
// "offline" (mounted, offline by choice), "mounted" (and its server
// answers), "error" (not mounted for a reason, or mounted but serving only
// its cache), or "unmounted".
QString DriveStateWord(const MountStatus& mount);

// Why a sync of the drive would send nothing now (it is offline by choice),
// or empty.
QString SyncRefusal(const MountStatus& mount);

// The tooltip: the number of mounted drives, or why the service did not
// answer (in the user's language when it is not running); at most
// kMaxTipChars characters.
QString TrayTip(const ServiceStatus& status);

enum class TrayCommand {
  kNone,
  kOpenSettings,
  kExit,
  kMount,
  kUnmount,
  kOpenFolder,
  kSyncNow,
};

// One entry of the tray menu: a command, a separator, or a submenu.
struct TrayMenuItem {
  QString text;
  QString toolTip;  // a drive's link
  TrayCommand command = TrayCommand::kNone;
  // For drive commands, the drive the item was built for: the menu may
  // outlive the status it was built from, and acts on this id, never on a
  // position in a newer status.
  std::string driveId;
  bool enabled = true;
  bool checkable = false;
  bool checked = false;
  bool isDefault = false;
  bool separator = false;
  std::vector<TrayMenuItem> items;
};

std::vector<TrayMenuItem> BuildTrayMenu(const ServiceStatus& status);

// The drive with that id in a status, or null.
const MountStatus* FindMount(const ServiceStatus& status, const std::string& id);

// True when `version` is newer than the program's own.
bool IsNewerVersion(const std::string& version);

// What the update balloons remember between statuses.
struct UpdateNotices {
  bool checkPending = false;       // the user asked for a check from the menu
  int64_t lastCheckAtRequest = 0;  // the status's last check when they asked
  std::string lastAnnounced;       // the newest version a balloon told of
};

// The update balloon a status of the program's own version calls for, if
// any; `notices` is brought up to date. With automatic updates on, a newer
// version is told of only when the user asked for the check.
std::optional<Balloon> TakeUpdateBalloon(UpdateNotices& notices, const ServiceStatus& status);

// True when the service answered with a version that is not the program's.
bool ServiceVersionDiffers(const ServiceStatus& status);

enum class RelaunchStep {
  kNothing,   // a relaunch was started already
  kRelaunch,  // the executable file was replaced
  kStay,      // the same file, or one that cannot be read
};

// The executable's stamps (ExeWriteTime) when the tray started and now.
RelaunchStep DecideRelaunch(bool relaunchStarted, const std::string& stampAtStart, const std::string& stampNow);

}  // namespace tarn::app
