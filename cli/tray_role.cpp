#include "cli/tray_role.h"

#include <charconv>

#include "platform/relaunch.h"
#include "ui/tray_startup.h"

namespace tarn::app {
namespace {

constexpr std::string_view kTabPrefix = "--tab=";

}  // namespace

bool IsTrayRole(const std::vector<std::string>& args) {
  if (args.empty()) return true;
  const std::string& first = args[0];
  return first == "--show" || first == "--quit" || first == "--relaunch" || first.starts_with(kTabPrefix);
}

TrayArgs ParseTrayArgs(const std::vector<std::string>& args) {
  TrayArgs t;
  if (args.empty()) return t;
  if (args[0] == "--relaunch") {
    // The new tray only tells that the program was updated.
    t.updated = true;
    if (args.size() > 1) {
      const std::string& pid = args[1];
      pid_t value = 0;
      const auto [end, ec] = std::from_chars(pid.data(), pid.data() + pid.size(), value);
      if (ec == std::errc() && end == pid.data() + pid.size() && value > 0) t.relaunchOf = value;
    }
    return t;
  }
  t.show = args[0] == "--show";
  t.quit = args[0] == "--quit";
  for (size_t i = 1; i < args.size(); ++i) {
    if (args[i].starts_with(kTabPrefix)) t.tab = args[i].substr(kTabPrefix.size());
  }
  return t;
}

int RunTrayRole(const std::vector<std::string>& args) {
  const TrayArgs t = ParseTrayArgs(args);
  if (t.relaunchOf != 0) WaitForProcessExit(t.relaunchOf, kRelaunchWaitMs);
  return RunTray(t.show, t.quit, t.updated, QString::fromStdString(t.tab));
}

}  // namespace tarn::app
