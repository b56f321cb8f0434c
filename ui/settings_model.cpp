#include "ui/settings_model.h"

#include "client/drive_link.h"
#include "foundation/status.h"
#include "ui/language.h"
#include "ui/service_text.h"
#include "ui/string_ids.h"
#include "ui/tray_model.h"

namespace tarn::app {
namespace {

QString Str(const std::string& text) { return QString::fromStdString(text); }

QString WithError(QString text, const std::string& error) {
  if (!error.empty()) text += QStringLiteral(": ") + ErrorWords(error);
  return text;
}

QString TransferStateText(const vx::json::Value& t) {
  const std::string state = t["state"].asString();
  QString text;
  if (state == "active") text = Tr(kStrTransferActive);
  else if (state == "waiting") text = Tr(kStrTransferWaiting);
  else if (state == "retry") text = FormatText(Tr(kStrTransferRetry), {QString::number(t["attempt"].asInt64())});
  else if (state == "done") text = Tr(kStrTransferDone);
  else text = Tr(kStrTransferFailed);
  return state == "done" ? text : WithError(text, t["error"].asString());
}

QString ProgressText(const vx::json::Value& t) {
  const int64_t done = std::max<int64_t>(t["done"].asInt64(), 0);
  const int64_t total = std::max<int64_t>(t["total"].asInt64(), 0);
  QString text = Str(FormatBytes(static_cast<uint64_t>(done)));
  if (total > 0) {
    const auto percent = static_cast<int64_t>(static_cast<double>(done) * 100.0 / static_cast<double>(total));
    text += QStringLiteral(" / ") + Str(FormatBytes(static_cast<uint64_t>(total))) + QStringLiteral("  (") +
            QString::number(percent) + QStringLiteral("%)");
  }
  return LeftToRightText(text);
}

QString DriveLetterText(const MountStatus& mount) {
  return LeftToRightText(QString(QChar(mount.drive)) + QLatin1Char(':'));
}

}  // namespace

QString ServerText(const MountStatus& mount) { return ShownName(DriveLink(mount)); }

QString DriveStateText(const MountStatus& mount) {
  if (mount.mounting && !mount.mounted) return DriveStateWord(mount);
  return WithError(DriveStateWord(mount), mount.lastError);
}

QStringList DriveRowTexts(const MountStatus& mount) {
  return {DriveLetterText(mount),
          ShownName(mount.name),
          LeftToRightText(ServerText(mount)),
          DriveStateText(mount),
          LeftToRightText(Str(FormatBytes(mount.cacheBytes))),
          LeftToRightText(QString::number(mount.pendingUploads))};
}

DriveButtons DriveButtonStates(const ServiceStatus& status, const MountStatus* selected) {
  DriveButtons b;
  b.enabled[kActionRefresh] = true;
  if (selected != nullptr) b.offlineSaysOnline = selected->offlineMode;
  // Anything else would be refused: nothing answers, or the drives are an
  // administrator's.
  if (!status.ok || !status.mayManageDrives) return b;
  b.enabled[kActionAdd] = true;
  if (selected == nullptr) return b;
  b.enabled[kActionEdit] = b.enabled[kActionRemove] = b.enabled[kActionCheck] = b.enabled[kActionOffline] = true;
  b.enabled[kActionMount] = !selected->mounted && !selected->mounting;
  b.enabled[kActionSync] = b.enabled[kActionClearCache] = selected->mounted;
  // A mount that hangs on a silent server can be stopped.
  b.enabled[kActionUnmount] = selected->mounted || selected->mounting;
  return b;
}

QString WindowNoteText(const ServiceStatus& status, int page) {
  if (!status.ok) {
    // No answer yet: nothing to tell.
    if (status.error.empty()) return QString();
    if (status.error == kServiceNotRunning) return Tr(kStrServiceDown);
    return Tr(kStrServiceCaption) + QStringLiteral(": ") + ServiceErrorText(status.error);
  }
  if (!status.mayManageDrives && page != kPageBackup) return Tr(kStrDrivesAdminNote);
  return QString();
}

ActionReport MountReport(const MountFollowResult& result, const MountStatus& drive) {
  switch (result.end) {
    case MountEnd::kMounted:
      return {};
    case MountEnd::kCacheOnly:
      return {ActionReport::kWarning,
              FormatText(Tr(kStrCacheOnly),
                         {DriveTitle(drive), LeftToRightText(Str(result.mountPoint)), ErrorWords(result.reason)})};
    case MountEnd::kStillMounting:
      return {ActionReport::kInformation, FormatText(Tr(kStrStillMounting), {DriveTitle(drive)})};
    case MountEnd::kFailed:
      break;
  }
  return {ActionReport::kError, ErrorWords(result.reason)};
}

TransferRow TransferRowFrom(const vx::json::Value& t) {
  return TransferRow{t["mount"].asString(), t["path"].asString(), t["state"].asString(), t["upload"].asBool()};
}

QStringList TransferRowTexts(const vx::json::Value& t) {
  return {LeftToRightText(ShownName(t["drive"].asString() + ":" + t["path"].asString())),
          Tr(t["upload"].asBool() ? kStrUpload : kStrDownload), ProgressText(t), TransferStateText(t)};
}

bool CanStopUpload(const TransferRow& row) { return row.upload && row.state != "done"; }

QString TransferFileName(const std::string& path) {
  const size_t slash = path.rfind('/');
  return ShownName(slash == std::string::npos ? path : path.substr(slash + 1));
}

std::optional<LogUpdate> TakeLogText(std::string& lastText, const std::string& text, const LogView& view) {
  if (view.hasSelection || text == lastText) return std::nullopt;
  lastText = text;
  LogUpdate update;
  update.text = ShownLines(text);
  update.followBottom = view.atBottom;
  update.firstVisibleLine = view.firstVisibleLine;
  return update;
}

SettingsPageView SettingsPageFor(const Window& window) {
  SettingsPageView v;
  const ServiceStatus& status = window.status;
  v.languageEnabled = status.ok && status.mayChangeSettings && !window.languageAsked;
  if (!status.ok && !status.error.empty()) v.languageNote = Tr(kStrLanguageNoService);
  else if (status.ok && !status.mayChangeSettings) v.languageNote = Tr(kStrLanguageRootOnly);
  v.installedText = FormatText(Tr(kStrInstalledVersion), {LeftToRightText(QString::fromLatin1(kTrayVersion))});
  v.updatesText = Tr(kStrUpdatesFromPackages);
  return v;
}

QString RowsText(const std::vector<QStringList>& rows) {
  QString text;
  for (const QStringList& row : rows) {
    for (qsizetype i = 0; i < row.size(); ++i) {
      if (i > 0) text += QLatin1Char('\t');
      text += row[i].left(kMaxCopiedCellChars);
    }
    text += QStringLiteral("\r\n");
  }
  return text;
}

QPoint ListMenuPosition(bool fromKeyboard, QPoint mouse, const std::optional<QRect>& selectedLabel) {
  if (!fromKeyboard) return mouse;
  return selectedLabel ? selectedLabel->bottomLeft() : QPoint(0, 0);
}

}  // namespace tarn::app
