// "tarn mount --foreground DRIVE.json FOLDER": one drive, described by a
// JSON file in the configuration's drive format (secrets in plain text),
// mounted at FOLDER by this process until SIGINT or SIGTERM. For trying a
// drive and for benchmarks; the service is not involved. Main thread.
#pragma once

#include <string>
#include <vector>

#include "foundation/endpoint_config.h"

namespace tarn::app {

// The id of a drive file that gives none: the same for the same server,
// user and folder, so that one cache serves every start.
std::string ForegroundDriveId(const EndpointConfig& endpoint);

// args[0] "mount", args[1] "--foreground".
bool IsForegroundMount(const std::vector<std::string>& args);
int RunForegroundMount(const std::vector<std::string>& args);

// How long the unmount waits for uploads after the stop signal.
inline constexpr uint32_t kForegroundFlushMs = 20000;

}  // namespace tarn::app
