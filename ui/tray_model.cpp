#include "ui/tray_model.h"

#include "client/drive_link.h"
#include "foundation/text.h"
#include "ui/language.h"
#include "ui/service_text.h"
#include "ui/string_ids.h"

namespace tarn::app {
namespace {

constexpr int kLetterCount = 26;

QString Str(const std::string& utf8) { return QString::fromStdString(utf8); }

QString Letter(const MountStatus& mount) { return QString(QChar(mount.drive)); }

QString LetterWithColon(const MountStatus& mount) { return LeftToRightText(Letter(mount) + QLatin1Char(':')); }

TrayMenuItem Command(int textId, TrayCommand command, const std::string& driveId = std::string()) {
  TrayMenuItem item;
  item.text = Tr(textId);
  item.command = command;
  item.driveId = driveId;
  return item;
}

TrayMenuItem Separator() {
  TrayMenuItem item;
  item.separator = true;
  return item;
}

// `manage`: the caller may change the drive; opening its folder is
// everyone's.
TrayMenuItem DriveSubmenu(const MountStatus& mount, bool manage) {
  TrayMenuItem menu;
  menu.text = LetterWithColon(mount) + QStringLiteral("  ") + ShownName(mount.name) +
              QStringLiteral("  (") + DriveStateWord(mount) + QStringLiteral(")");
  menu.toolTip = LeftToRightText(ShownName(DriveLink(mount)));
  if (mount.mounted) {
    menu.items.push_back(Command(kStrOpenFolder, TrayCommand::kOpenFolder, mount.id));
    menu.items.push_back(Command(kStrSyncNow, TrayCommand::kSyncNow, mount.id));
    menu.items.push_back(Command(kStrUnmount, TrayCommand::kUnmount, mount.id));
  } else {
    menu.items.push_back(Command(kStrMount, TrayCommand::kMount, mount.id));
    // A mount that goes on is not asked for twice, but may be stopped: a
    // silent server would hold it for the connect and I/O time-outs.
    menu.items.back().enabled = !mount.mounting;
    if (mount.mounting) menu.items.push_back(Command(kStrUnmount, TrayCommand::kUnmount, mount.id));
  }
  for (TrayMenuItem& item : menu.items) {
    if (item.command != TrayCommand::kOpenFolder) item.enabled = item.enabled && manage;
  }
  return menu;
}

Balloon UpdateBalloon(int textId, const std::string& arg, bool warning = false) {
  return Balloon{Tr(kStrUpdateTitle), FormatText(Tr(textId), {Str(arg)}), warning};
}

}  // namespace

uint32_t MountedDriveMask(const ServiceStatus& status) {
  uint32_t mask = 0;
  for (const MountStatus& m : status.mounts) {
    if (m.mounted && m.drive >= u'A' && m.drive <= u'Z') mask |= 1u << (m.drive - u'A');
  }
  return mask;
}

QString DriveLetters(uint32_t mask) {
  QStringList letters;
  for (int i = 0; i < kLetterCount; ++i) {
    if ((mask & (1u << i)) != 0) letters << QString(QChar(u'A' + i));
  }
  return letters.join(QLatin1Char(' '));
}

QString DriveTitle(const MountStatus& mount) {
  return ShownName(mount.name) + QStringLiteral(" (") + LetterWithColon(mount) + QStringLiteral(")");
}

std::vector<Balloon> TakeDriveErrors(std::map<std::string, std::string>& seen, const ServiceStatus& status) {
  std::vector<Balloon> balloons;
  for (const MountStatus& m : status.mounts) {
    auto at = seen.find(m.id);
    if (!m.lastError.empty() && (at == seen.end() || at->second != m.lastError))
      balloons.push_back(Balloon{DriveTitle(m), ErrorWords(m.lastError), true});
    seen[m.id] = m.lastError;
  }
  return balloons;
}

QString DriveStateWord(const MountStatus& mount) {
  if (mount.mounting && !mount.mounted) return Tr(kStrStateMounting);
  if (!mount.mounted) return Tr(mount.lastError.empty() ? kStrStateUnmounted : kStrStateError);
  if (mount.offlineMode) return Tr(kStrStateOffline);
  // Mounted, but its server cannot be used: it serves only its cache.
  return Tr(mount.online ? kStrStateMounted : kStrStateError);
}

QString SyncRefusal(const MountStatus& mount) {
  if (!mount.mounted || !mount.offlineMode) return QString();
  return FormatText(Tr(kStrSyncOffline), {DriveTitle(mount)});
}

QString TrayTip(const ServiceStatus& status) {
  QString tip;
  if (status.ok) {
    int mounted = 0;
    for (const MountStatus& m : status.mounts) mounted += m.mounted ? 1 : 0;
    tip = FormatText(Tr(kStrTipDrives), {QString::number(mounted)});
  } else {
    tip = Tr(kStrTarn) + QStringLiteral(" — ") + ServiceErrorText(status.error);
  }
  return tip.left(kMaxTipChars);
}

std::vector<TrayMenuItem> BuildTrayMenu(const ServiceStatus& status) {
  std::vector<TrayMenuItem> menu;
  if (!status.ok && !status.error.empty()) {
    // The drives of a service that does not answer are not known: none are
    // listed as if they were.
    TrayMenuItem down;
    down.text = QStringLiteral("(") + ServiceErrorText(status.error) + QStringLiteral(")");
    down.enabled = false;
    menu.push_back(down);
  } else if (status.ok && status.mounts.empty()) {
    TrayMenuItem none = Command(kStrNoDrives, TrayCommand::kNone);
    none.enabled = false;
    menu.push_back(none);
  }
  const bool manage = status.ok && status.mayManageDrives;
  for (size_t i = 0; i < status.mounts.size() && i < kMaxMenuDrives; ++i)
    menu.push_back(DriveSubmenu(status.mounts[i], manage));
  if (status.ok && !status.mayManageDrives) {
    // Why the drives' commands are grey.
    TrayMenuItem note = Command(kStrDrivesAdminNote, TrayCommand::kNone);
    note.enabled = false;
    menu.push_back(note);
  }
  // Updates come with the system's packages: the menu has nothing to check
  // or switch on.
  menu.push_back(Separator());

  TrayMenuItem open = Command(kStrOpenTarn, TrayCommand::kOpenSettings);
  open.isDefault = true;
  menu.push_back(open);
  menu.push_back(Command(kStrExit, TrayCommand::kExit));
  return menu;
}

const MountStatus* FindMount(const ServiceStatus& status, const std::string& id) {
  for (const MountStatus& m : status.mounts) {
    if (m.id == id) return &m;
  }
  return nullptr;
}

bool IsNewerVersion(const std::string& version) {
  return !version.empty() && vx::CompareVersions(version, kTrayVersion) >= 1;
}

std::optional<Balloon> TakeUpdateBalloon(UpdateNotices& notices, const ServiceStatus& status) {
  const ServiceStatus::Update& u = status.update;
  if (notices.checkPending && !u.checking && u.lastCheck != notices.lastCheckAtRequest) {
    notices.checkPending = false;
    if (!u.error.empty()) return UpdateBalloon(kStrCheckFailed, u.error, true);
    if (IsNewerVersion(u.latest)) {
      notices.lastAnnounced = u.latest;
      return UpdateBalloon(status.autoUpdate ? kStrVersionDownloaded : kStrVersionAvailable, u.latest);
    }
    return Balloon{Tr(kStrUpdateTitle), Tr(kStrLatestVersion), false};
  }
  if (IsNewerVersion(u.latest) && !status.autoUpdate && u.latest != notices.lastAnnounced) {
    notices.lastAnnounced = u.latest;
    return UpdateBalloon(kStrVersionAvailable, u.latest);
  }
  return std::nullopt;
}

bool ServiceVersionDiffers(const ServiceStatus& status) {
  return status.ok && !status.version.empty() && status.version != kTrayVersion;
}

RelaunchStep DecideRelaunch(bool relaunchStarted, const std::string& stampAtStart, const std::string& stampNow) {
  if (relaunchStarted) return RelaunchStep::kNothing;
  return !stampNow.empty() && stampNow != stampAtStart ? RelaunchStep::kRelaunch : RelaunchStep::kStay;
}

}  // namespace tarn::app
