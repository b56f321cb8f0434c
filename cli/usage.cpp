#include "cli/usage.h"

#include <cstdio>

namespace tarn::app {

std::string UsageText() {
  return "usage: tarn <command> [options]\n"
         "\n"
         "roles:\n"
         "  service            run as the system service (under systemd)\n"
         "  run                run the service in the foreground; Ctrl+C stops it\n"
         "  (no command)       start the tray application\n"
         "\n"
         "commands:\n"
         "  help               show this text\n";
}

int RunMain(const std::vector<std::string>& args) {
  if (args.empty() || args[0] == "help" || args[0] == "--help" || args[0] == "-h") {
    std::fputs(UsageText().c_str(), stdout);
    return 0;
  }
  std::fprintf(stderr, "tarn: unknown command: %s\n\n%s", args[0].c_str(), UsageText().c_str());
  return 2;
}

}  // namespace tarn::app
