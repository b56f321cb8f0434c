#include "foundation/remote_path.h"

#include <unicode/uchar.h>
#include <unicode/unorm2.h>
#include <unicode/ustring.h>
#include <unicode/utf16.h>

#include <cctype>

namespace tarn {
namespace {

bool IsAscii(std::string_view s) {
  for (unsigned char c : s)
    if (c >= 0x80) return false;
  return true;
}

// Strict conversion: false for text that is not valid UTF-8 (no U+FFFD).
bool ToUtf16(std::string_view in, std::u16string& out) {
  if (in.size() > static_cast<size_t>(INT32_MAX / 2)) return false;
  UErrorCode err = U_ZERO_ERROR;
  int32_t len = 0;
  u_strFromUTF8(nullptr, 0, &len, in.data(), static_cast<int32_t>(in.size()), &err);
  if (err != U_BUFFER_OVERFLOW_ERROR && U_FAILURE(err)) return false;
  out.assign(static_cast<size_t>(len), u'\0');
  err = U_ZERO_ERROR;
  u_strFromUTF8(out.data(), len, &len, in.data(), static_cast<int32_t>(in.size()), &err);
  return U_SUCCESS(err) || err == U_STRING_NOT_TERMINATED_WARNING;
}

bool ToUtf8(const std::u16string& in, std::string& out) {
  UErrorCode err = U_ZERO_ERROR;
  int32_t len = 0;
  u_strToUTF8(nullptr, 0, &len, in.data(), static_cast<int32_t>(in.size()), &err);
  if (err != U_BUFFER_OVERFLOW_ERROR && U_FAILURE(err)) return false;
  out.assign(static_cast<size_t>(len), '\0');
  err = U_ZERO_ERROR;
  u_strToUTF8(out.data(), len, &len, in.data(), static_cast<int32_t>(in.size()), &err);
  return U_SUCCESS(err) || err == U_STRING_NOT_TERMINATED_WARNING;
}

// Simple (one-to-one) upper-casing per code point, the closest portable
// match to the file system's ordinal upper-case table.
std::u16string UpperOrdinal(const std::u16string& s) {
  std::u16string out;
  out.reserve(s.size());
  size_t i = 0;
  while (i < s.size()) {
    UChar32 c;
    U16_NEXT(s.data(), i, s.size(), c);
    const UChar32 u = u_toupper(c);
    if (U_IS_BMP(u)) {
      out.push_back(static_cast<char16_t>(u));
    } else {
      out.push_back(static_cast<char16_t>(U16_LEAD(u)));
      out.push_back(static_cast<char16_t>(U16_TRAIL(u)));
    }
  }
  return out;
}

}  // namespace

std::string NormalizeRemotePath(std::string_view path) {
  std::vector<std::string_view> kept;
  size_t start = 0;
  for (size_t i = 0; i <= path.size(); ++i) {
    if (i < path.size() && path[i] != '/' && path[i] != '\\') continue;
    std::string_view comp = path.substr(start, i - start);
    start = i + 1;
    if (comp.empty() || comp == ".") continue;
    if (comp == "..") {
      if (!kept.empty()) kept.pop_back();
      continue;
    }
    kept.push_back(comp);
  }
  if (kept.empty()) return "/";
  std::string out;
  for (std::string_view c : kept) {
    out.push_back('/');
    out.append(c);
  }
  return out;
}

std::string ToRemotePath(std::string_view localPath) { return NormalizeRemotePath(localPath); }

bool IsRootPath(std::string_view path) { return path.empty() || path == "/"; }

bool IsUnderPath(std::string_view prefix, std::string_view path) {
  if (IsRootPath(prefix)) return true;
  if (path == prefix) return true;
  return path.size() > prefix.size() && path.substr(0, prefix.size()) == prefix &&
         path[prefix.size()] == '/';
}

std::string JoinRemotePath(std::string_view folder, std::string_view name) {
  if (name.empty()) return folder.empty() ? std::string("/") : std::string(folder);
  std::string out(folder);
  if (folder.empty() || folder.back() != '/') out.push_back('/');
  out.append(name);
  return out;
}

std::string BaseName(std::string_view path) {
  if (path.size() <= 1) return std::string();
  const size_t slash = path.rfind('/');
  if (slash == std::string_view::npos) return std::string(path);
  return std::string(path.substr(slash + 1));
}

std::string ParentPath(std::string_view path) {
  if (path.size() < 2) return "/";
  const size_t slash = path.rfind('/');
  if (slash == std::string_view::npos || slash == 0) return "/";
  return std::string(path.substr(0, slash));
}

std::vector<std::string> SplitPath(std::string_view path) {
  std::vector<std::string> out;
  size_t start = 0;
  for (size_t i = 0; i <= path.size(); ++i) {
    if (i < path.size() && path[i] != '/') continue;
    if (i > start) out.emplace_back(path.substr(start, i - start));
    start = i + 1;
  }
  return out;
}

std::string RebasePath(std::string_view path, std::string_view oldPrefix,
                       std::string_view newPrefix) {
  const bool oldRoot = IsRootPath(oldPrefix);
  if (!oldRoot && !IsUnderPath(oldPrefix, path)) return std::string(path);
  if (path == oldPrefix) return std::string(newPrefix);
  std::string_view rest = oldRoot ? path : path.substr(oldPrefix.size());
  if (IsRootPath(newPrefix)) return std::string(rest);
  std::string out(newPrefix);
  out.append(rest);
  return out;
}

bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
  if (a == b) return true;
  if (IsAscii(a) && IsAscii(b)) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
      if (std::tolower(static_cast<unsigned char>(a[i])) !=
          std::tolower(static_cast<unsigned char>(b[i])))
        return false;
    }
    return true;
  }
  std::u16string wa, wb;
  if (!ToUtf16(a, wa) || !ToUtf16(b, wb)) return false;  // already unequal bytes
  return UpperOrdinal(wa) == UpperOrdinal(wb);
}

std::string IgnoreCaseKey(std::string_view name) {
  if (IsAscii(name)) {
    std::string out(name);
    for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
  }
  std::u16string wide;
  std::string out;
  if (ToUtf16(name, wide) && ToUtf8(UpperOrdinal(wide), out)) return out;
  // Malformed text equals only itself; 0xFF never occurs in UTF-8, so such a
  // key meets no key of a well-formed name.
  return "\xff" + std::string(name);
}

std::string NormalizeUnicode(std::string_view name, int mode) {
  if (mode == kNormalizeOff || name.empty()) return std::string(name);
  UErrorCode err = U_ZERO_ERROR;
  const UNormalizer2* norm =
      mode == kNormalizeNfc ? unorm2_getNFCInstance(&err) : unorm2_getNFDInstance(&err);
  if (U_FAILURE(err) || norm == nullptr) return std::string(name);
  std::u16string wide;
  if (!ToUtf16(name, wide)) return std::string(name);
  const int32_t len = static_cast<int32_t>(wide.size());
  if (unorm2_isNormalized(norm, wide.data(), len, &err) && U_SUCCESS(err))
    return std::string(name);
  err = U_ZERO_ERROR;
  const int32_t need = unorm2_normalize(norm, wide.data(), len, nullptr, 0, &err);
  if (err != U_BUFFER_OVERFLOW_ERROR && U_FAILURE(err)) return std::string(name);
  if (need <= 0) return std::string(name);
  std::u16string out(static_cast<size_t>(need), u'\0');
  err = U_ZERO_ERROR;
  const int32_t got = unorm2_normalize(norm, wide.data(), len, out.data(), need, &err);
  if ((U_FAILURE(err) && err != U_STRING_NOT_TERMINATED_WARNING) || got <= 0)
    return std::string(name);
  out.resize(static_cast<size_t>(got));
  std::string utf8;
  if (!ToUtf8(out, utf8)) return std::string(name);
  return utf8;
}

std::string PercentEncode(std::string_view path) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(path.size());
  for (unsigned char c : path) {
    const bool alnum = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
    if (alnum || c == '-' || c == '.' || c == '_' || c == '~' || c == '/') {
      out.push_back(static_cast<char>(c));
    } else {
      out.push_back('%');
      out.push_back(kHex[c >> 4]);
      out.push_back(kHex[c & 0x0F]);
    }
  }
  return out;
}

namespace {
int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}
}  // namespace

std::string PercentDecode(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && text.size() - i >= 3) {
      const int hi = HexValue(text[i + 1]);
      const int lo = HexValue(text[i + 2]);
      if (hi >= 0 && lo >= 0) {
        out.push_back(static_cast<char>((hi << 4) | lo));
        i += 2;
        continue;
      }
    }
    out.push_back(text[i]);
  }
  return out;
}

}  // namespace tarn
