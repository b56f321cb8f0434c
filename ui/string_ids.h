// The string ids of the language tables: the names the code uses, and the
// list of every id a window shows (the table test checks each language has
// all of them). Ids not in the list are not used.
#pragma once

#include <array>
#include <utility>

namespace tarn::app {

enum StringId : int {
  kStrTarn = 0,
  kStrTipDrives = 1,
  kStrOpenTarn = 2,
  kStrMount = 3,
  kStrUnmount = 4,
  kStrOpenFolder = 5,
  kStrSyncNow = 6,
  kStrExit = 7,
  kStrNoDrives = 8,
  kStrAutoUpdate = 9,
  kStrCheckForUpdates = 10,
  kStrInstallUpdate = 11,
  kStrUpdateTitle = 12,
  kStrLatestVersion = 13,
  kStrVersionAvailable = 14,
  kStrVersionDownloaded = 15,
  kStrUpdatedTo = 16,
  kStrCheckFailed = 17,
  kStrStateMounted = 18,
  kStrStateUnmounted = 19,
  kStrStateOffline = 20,
  kStrStateError = 21,
  kStrServiceCaption = 22,
  kStrServiceMissing = 23,
  kStrInstall = 24,
  kStrDriverMissing = 25,
  kStrDriverCaption = 26,
  kStrWindowTitle = 27,
  kStrTabDrives = 28,
  kStrTabTransfers = 29,
  kStrTabLog = 30,
  kStrOk = 129,
  kStrCancel = 130,
  kStrDriverInstalled = 158,
  kStrDriverFailed = 159,
  kStrTabSettings = 160,
  kStrTabBackup = 175,
  kStrLogTitle = 252,
  kStrFileUnreadable = 253,
  kStrWholeNumber = 254,
  kStrNeedsAdministrator = 255,
  kStrNoSystemd = 256,
};

// Every id in use, as ranges of ids from first to last.
inline constexpr std::array<std::pair<int, int>, 9> kUsedStringIds = {{
    {0, 30},
    {32, 50},
    {52, 62},
    {67, 135},
    {152, 152},
    {157, 199},
    {201, 202},
    {204, 247},
    {252, 256},
}};

}  // namespace tarn::app
