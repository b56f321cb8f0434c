// A drive's server as a link, in the form a user gives one to "tarn add" or
// pastes into the drive editor: "https://dav.example.com:8443/files",
// "sftp://ann@host:2222/home/ann", "nfs://host/export". The console's status
// and the desktop application's lists show drives by it. Any thread.
#pragma once

#include <string>

#include "client/service_client.h"

namespace tarn::app {

// The scheme says the protocol and, for WebDAV, whether it is HTTPS; a port
// shows unless it is the scheme's own, a login only where the link kind
// carries one (SFTP).
std::string DriveLink(const MountStatus& drive);

}  // namespace tarn::app
