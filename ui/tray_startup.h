// The tray role of the executable: what `tarn` does when started without a
// role word. RunTray keeps one tray per user, sets up the tray's log and
// language, checks the service and the mount driver, shows the icon and runs
// the event loop until the user chooses Exit. Main thread.
#pragma once

#include <QString>

namespace tarn::app {

// `show` opens the settings window once the tray runs, `quit` asks a running
// tray to end, `updated` tells that the program was updated, `tab` names the
// settings page to select. The process exit code: 0 after a normal end and
// for a later start, 1 when there is no desktop to show the tray on.
int RunTray(bool show, bool quit, bool updated, const QString& tab);

// ${XDG_STATE_HOME:-~/.local/state}/tarn, created when first asked for: the
// tray's log.
QString UserDataDir();

}  // namespace tarn::app
