// vx::Error: the support library's exception. Thrown only inside vx (the JSON
// parser, hashing and random bytes) and caught by the callers of those
// functions; it never crosses a component border. A plain value; any thread.
#pragma once

#include <stdexcept>
#include <string>

namespace vx {

class Error : public std::runtime_error {
 public:
  explicit Error(const std::string& message) : std::runtime_error(message) {}
  explicit Error(const char* message) : std::runtime_error(message) {}
};

}  // namespace vx
