// The tray role: `tarn` without a role word starts the desktop application,
// with the arguments a tray takes: "--show", "--quit", "--tab=NAME" and
// "--relaunch PID" (the tray that replaced itself after an update). Main
// thread.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace tarn::app {

struct TrayArgs {
  bool show = false;
  bool quit = false;
  bool updated = false;
  std::string tab;
  pid_t relaunchOf = 0;  // the process to wait for; 0 for none
};

bool IsTrayRole(const std::vector<std::string>& args);
TrayArgs ParseTrayArgs(const std::vector<std::string>& args);
int RunTrayRole(const std::vector<std::string>& args);

}  // namespace tarn::app
