// The roles of the executable that host or manage the service: "service"
// (what the systemd unit runs), "run" (the same in the foreground),
// "install", "uninstall" and "start". Main thread; each returns the process
// exit code.
#pragma once

#include <string>
#include <vector>

namespace tarn::app {

bool IsServiceRole(const std::string& name);
int RunServiceRole(const std::vector<std::string>& args);

}  // namespace tarn::app
