#include "cli/command_options.h"

#include <cstdlib>

namespace tarn::app {

// Empty when the arguments fit, else what is wrong.
std::string ParseOptions(const std::vector<std::string>& args, const std::set<std::string>& named,
                         const std::set<std::string>& flags, Options& out) {
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (named.count(a) != 0) {
      if (i + 1 == args.size()) return a + " needs a value";
      out.values[a].push_back(args[++i]);
    } else if (flags.count(a) != 0) {
      out.switches.insert(a);
    } else if (a.size() > 1 && a[0] == '-') {
      return "unknown option: " + a;
    } else {
      out.positional.push_back(a);
    }
  }
  return {};
}

bool ParseCount(const std::string& text, int64_t low, int64_t high, int32_t& out) {
  char* end = nullptr;
  const long long n = std::strtoll(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0' || n < low || n > high) return false;
  out = static_cast<int32_t>(n);
  return true;
}

}  // namespace tarn::app
