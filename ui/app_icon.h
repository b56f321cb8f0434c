// The application's icon (the tray icon, the windows' icon), drawn at every
// size it is asked for, so that it is sharp at any scale and needs no image
// files. UI thread.
#pragma once

#include <QIcon>

namespace tarn::app {

QIcon AppIcon();

}  // namespace tarn::app
