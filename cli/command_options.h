// The options of one console command as its arguments give them: named
// values (repeatable), switches, and positional arguments in order. Plain
// functions over plain data; any thread.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace tarn::app {

// Options of one command: named values (repeatable), switches, and the
// positional arguments in order.
struct Options {
  std::vector<std::string> positional;
  std::map<std::string, std::vector<std::string>> values;
  std::set<std::string> switches;

  bool has(const std::string& name) const { return values.count(name) != 0 || switches.count(name) != 0; }
  std::string value(const std::string& name) const {
    auto it = values.find(name);
    return it == values.end() ? std::string() : it->second.back();
  }
};

// Empty when the arguments fit, else what is wrong.
std::string ParseOptions(const std::vector<std::string>& args, const std::set<std::string>& named,
                         const std::set<std::string>& flags, Options& out);

// A whole number from `low` to `high` in `out`; false for anything else.
bool ParseCount(const std::string& text, int64_t low, int64_t high, int32_t& out);

}  // namespace tarn::app
