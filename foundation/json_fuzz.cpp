// Feeds arbitrary bytes to the JSON reader. Whatever parses must write text
// that parses again to the same value, in the compact and indented forms.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "foundation/json.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  vx::json::Value first;
  if (!vx::json::Parse(text, first)) return 0;
  const std::string compact = first.dump(-1);
  for (int indent : {-1, 0, 2}) {
    vx::json::Value second;
    if (!vx::json::Parse(first.dump(indent), second)) std::abort();
    if (second.dump(-1) != compact) std::abort();
  }
  return 0;
}
