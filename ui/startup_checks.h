// The checks a starting tray makes before it shows its icon: that the
// service runs (offering to start or install it with an administrator's
// rights) and that the mount driver is there. Their questions and answers go
// through IDialogs; they wait for the user and for the service, before the
// event loop runs. UI thread.
#pragma once

#include <string>

#include "ui/dialogs.h"

namespace tarn::app {

enum class ServiceCheck {
  kNone,          // the service answers, or is up and about to
  kStart,         // installed but stopped: start it
  kOfferInstall,  // not installed: offer to install it
  kNoSystemd,     // nothing here manages services: say how to run it
};

ServiceCheck DecideServiceCheck(bool answers, bool systemd, bool installed, bool running);

void CheckService(IDialogs& dialogs);
// `mountDriver` is the settings' choice ("auto" by default).
void CheckDriver(IDialogs& dialogs, const std::string& mountDriver);

}  // namespace tarn::app
