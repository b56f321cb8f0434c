// The console's usage text and the choice of role by the first argument.
#pragma once

#include <string>
#include <vector>

namespace tarn::app {

std::string UsageText();
// Runs the role named by args[0] (none: the tray); returns the exit code.
int RunMain(const std::vector<std::string>& args);

}  // namespace tarn::app
