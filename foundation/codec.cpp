#include "foundation/codec.h"

#include <array>

namespace vx {

namespace {

constexpr char kHexLower[] = "0123456789abcdef";
constexpr char kHexUpper[] = "0123456789ABCDEF";
constexpr char kBase64Alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr int8_t kSkip = -2;
constexpr int8_t kBad = -1;

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

constexpr std::array<int8_t, 256> MakeBase64Table() {
  std::array<int8_t, 256> t{};
  for (auto& v : t) v = kBad;
  for (int i = 0; i < 64; ++i) t[static_cast<uint8_t>(kBase64Alphabet[i])] = static_cast<int8_t>(i);
  // The URL-safe alphabet reads too, so links and tokens decode alike.
  t['-'] = 62;
  t['_'] = 63;
  t[' '] = kSkip;
  t['\t'] = kSkip;
  t['\n'] = kSkip;
  t['\r'] = kSkip;
  return t;
}
constexpr std::array<int8_t, 256> kBase64Values = MakeBase64Table();

}  // namespace

std::string HexEncode(const std::vector<uint8_t>& data, bool upper) {
  return HexEncode(data.data(), data.size(), upper);
}

std::string HexEncode(const void* data, size_t size, bool upper) {
  if (size == 0 || data == nullptr) return {};
  const char* digits = upper ? kHexUpper : kHexLower;
  const auto* p = static_cast<const uint8_t*>(data);
  std::string out(size * 2, '\0');
  for (size_t i = 0; i < size; ++i) {
    out[2 * i] = digits[p[i] >> 4];
    out[2 * i + 1] = digits[p[i] & 0x0F];
  }
  return out;
}

bool HexDecode(std::string_view text, std::vector<uint8_t>& out) {
  out.clear();
  out.reserve(text.size() / 2);
  int high = -1;
  for (char c : text) {
    if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == ':') continue;
    int v = HexValue(c);
    if (v < 0) {
      out.clear();
      return false;
    }
    if (high < 0) {
      high = v;
    } else {
      out.push_back(static_cast<uint8_t>((high << 4) | v));
      high = -1;
    }
  }
  if (high >= 0) {
    out.clear();
    return false;
  }
  return true;
}

std::string Base64Encode(const std::vector<uint8_t>& data) { return Base64Encode(data.data(), data.size()); }

std::string Base64Encode(const void* data, size_t size) {
  if (size == 0 || data == nullptr) return {};
  const auto* p = static_cast<const uint8_t*>(data);
  std::string out;
  out.reserve((size + 2) / 3 * 4);
  size_t i = 0;
  for (; i + 3 <= size; i += 3) {
    uint32_t v = (uint32_t{p[i]} << 16) | (uint32_t{p[i + 1]} << 8) | p[i + 2];
    out.push_back(kBase64Alphabet[(v >> 18) & 63]);
    out.push_back(kBase64Alphabet[(v >> 12) & 63]);
    out.push_back(kBase64Alphabet[(v >> 6) & 63]);
    out.push_back(kBase64Alphabet[v & 63]);
  }
  size_t rest = size - i;
  if (rest == 1) {
    uint32_t v = uint32_t{p[i]} << 16;
    out.push_back(kBase64Alphabet[(v >> 18) & 63]);
    out.push_back(kBase64Alphabet[(v >> 12) & 63]);
    out += "==";
  } else if (rest == 2) {
    uint32_t v = (uint32_t{p[i]} << 16) | (uint32_t{p[i + 1]} << 8);
    out.push_back(kBase64Alphabet[(v >> 18) & 63]);
    out.push_back(kBase64Alphabet[(v >> 12) & 63]);
    out.push_back(kBase64Alphabet[(v >> 6) & 63]);
    out.push_back('=');
  }
  return out;
}

bool Base64Decode(std::string_view text, std::vector<uint8_t>& out) {
  out.clear();
  out.reserve(text.size() / 4 * 3 + 3);
  uint32_t bits = 0;
  int count = 0;
  for (char c : text) {
    if (c == '=') break;
    int8_t v = kBase64Values[static_cast<uint8_t>(c)];
    if (v == kSkip) continue;
    if (v == kBad) {
      out.clear();
      return false;
    }
    bits = ((bits << 6) | static_cast<uint32_t>(v)) & 0xFFFFFF;
    count += 6;
    if (count >= 8) {
      count -= 8;
      out.push_back(static_cast<uint8_t>(bits >> count));
    }
  }
  // A single character left in the last group carries no whole byte.
  if (count >= 6) {
    out.clear();
    return false;
  }
  return true;
}

}  // namespace vx
