// Hexadecimal and base64 text of byte buffers. Stateless free functions; any
// thread. The readers take untrusted text: they never throw and on failure
// return false with an empty output.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vx {

std::string HexEncode(const std::vector<uint8_t>& data, bool upper = false);
std::string HexEncode(const void* data, size_t size, bool upper = false);
// Skips blanks, tabs, line ends and ':'; an odd digit count fails.
bool HexDecode(std::string_view text, std::vector<uint8_t>& out);

std::string Base64Encode(const std::vector<uint8_t>& data);
std::string Base64Encode(const void* data, size_t size);
// Reads the standard and the URL-safe alphabet; stops at the first '=';
// skips blanks, tabs and line ends.
bool Base64Decode(std::string_view text, std::vector<uint8_t>& out);

}  // namespace vx
