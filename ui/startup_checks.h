// The checks a starting tray makes before it shows its icon: that the
// service runs (offering to start or install it with an administrator's
// rights) and that the mount driver is there. Their questions and answers go
// through IDialogs; they wait for the user and for the service, before the
// event loop runs. UI thread.
#pragma once

#include <string>

#include "client/service_client.h"
#include "ui/dialogs.h"

namespace tarn::app {

enum class ServiceCheck {
  kNone,          // the service answers, or is up and about to
  kStart,         // installed but stopped: start it
  kOfferInstall,  // not installed: offer to install it
  kNoSystemd,     // nothing here manages services: say how to run it
};

ServiceCheck DecideServiceCheck(bool answers, bool systemd, bool installed, bool running);

// The command that installs the mount driver, as the message names it.
inline constexpr const char* kInstallDriverCommand = "sudo apt install fuse3";

// The service mounts, with its own rights: its word on the driver counts,
// not what this user may open. A service that does not answer says nothing
// (the service check has told why).
bool DriverMissing(const ServiceStatus& status);

void CheckService(IDialogs& dialogs);
void CheckDriver(IDialogs& dialogs);

}  // namespace tarn::app
