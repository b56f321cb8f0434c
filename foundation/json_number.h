// Locale-independent number text shared by the JSON writer, the typed
// accessors and the parser. Internal to vx::json; any thread.
#pragma once

#include <string>

namespace vx::json::detail {

// "%lld" for integral values in the signed 64-bit range, else "%.17g";
// "null" for infinities and NaN.
std::string NumberText(double d);

// strtod in the "C" locale of a zero-terminated text.
double ParseDouble(const char* text);

}  // namespace vx::json::detail
