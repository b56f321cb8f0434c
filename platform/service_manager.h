// The system service "Tarn" under systemd: the unit file that `tarn install`
// writes, and the queries and commands the console and the tray use. Every
// command goes through systemctl; where systemd is not the running init
// system, the functions say so instead of guessing. Stateless free
// functions; any thread.
#pragma once

#include <string>
#include <string_view>

#include "foundation/status.h"

namespace tarn {

inline constexpr std::string_view kServiceUnitName = "tarn.service";
inline constexpr std::string_view kServiceDisplayName = "Tarn network drives";
// Longer than the drives' flush time-out, so that systemd does not kill a
// service that is still writing its last changes to the servers.
inline constexpr int kServiceStopTimeoutSec = 60;

// /etc/systemd/system/tarn.service (below $TARN_ROOT when set).
std::string ServiceUnitPath();
// The unit that runs `<exe> service`.
std::string ServiceUnitText(std::string_view exePath);
// True when systemd manages this machine.
bool SystemdRunning();

// True when the unit file is in place.
bool IsServiceInstalled();
// True when systemd reports the unit active.
bool IsServiceRunning();
// Starts the installed service; one already running counts as success.
bool StartServiceNow(std::string& message);

// Writes the unit for `exePath`, then enables and starts it.
Status InstallService(std::string_view exePath);
// Stops and disables the service and removes the unit file.
Status UninstallService();

}  // namespace tarn
