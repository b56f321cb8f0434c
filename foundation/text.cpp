#include "foundation/text.h"

#include <unicode/uchar.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <ctime>

namespace vx {

namespace {

constexpr char32_t kReplacement = 0xFFFD;
constexpr int kVersionParts = 4;

bool IsHighSurrogate(char32_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(char32_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

void AppendUtf16(std::u16string& out, char32_t c) {
  if (c < 0x10000) {
    out.push_back(static_cast<char16_t>(c));
  } else {
    c -= 0x10000;
    out.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
    out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
  }
}

// Decodes one code point at text[i], advancing i. An invalid sequence yields
// U+FFFD, sets `invalid` and consumes its longest valid-looking prefix (at
// least one byte), so the following byte starts afresh.
char32_t DecodeUtf8(std::string_view text, size_t& i, bool& invalid) {
  auto b = static_cast<uint8_t>(text[i++]);
  if (b < 0x80) return b;
  invalid = true;
  int extra;
  char32_t c;
  char32_t lo = 0x80, hi = 0xBF;  // range of the first continuation byte
  if (b >= 0xC2 && b <= 0xDF) {
    extra = 1;
    c = b & 0x1F;
  } else if (b >= 0xE0 && b <= 0xEF) {
    extra = 2;
    c = b & 0x0F;
    if (b == 0xE0) lo = 0xA0;
    if (b == 0xED) hi = 0x9F;  // no encoded surrogates
  } else if (b >= 0xF0 && b <= 0xF4) {
    extra = 3;
    c = b & 0x07;
    if (b == 0xF0) lo = 0x90;
    if (b == 0xF4) hi = 0x8F;
  } else {
    return kReplacement;
  }
  for (int k = 0; k < extra; ++k) {
    if (i >= text.size()) return kReplacement;
    auto cb = static_cast<uint8_t>(text[i]);
    if (cb < lo || cb > hi) return kReplacement;
    lo = 0x80;
    hi = 0xBF;
    c = (c << 6) | (cb & 0x3F);
    ++i;
  }
  invalid = false;
  return c;
}

bool IsAsciiSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

// Reads one numeric part of a version at `pos`; a character other than one
// '.' stops the text for good.
uint64_t ReadVersionPart(std::string_view text, size_t& pos, bool& stopped) {
  uint64_t value = 0;
  if (stopped) return 0;
  while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') {
    value = value * 10 + static_cast<uint64_t>(text[pos] - '0');
    ++pos;
  }
  if (pos < text.size()) {
    if (text[pos] == '.')
      ++pos;
    else
      stopped = true;
  }
  return value;
}

}  // namespace

void AppendUtf8(std::string& out, char32_t c) {
  if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) c = 0xFFFD;
  if (c < 0x80) {
    out.push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (c >> 6)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (c >> 12)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (c >> 18)));
    out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

std::string WideToUtf8(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    char32_t c = text[i];
    if (IsHighSurrogate(c) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    } else if (IsHighSurrogate(c) || IsLowSurrogate(c)) {
      c = kReplacement;
    }
    AppendUtf8(out, c);
  }
  return out;
}

std::u16string Utf8ToWide(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  size_t i = 0;
  bool invalid = false;
  while (i < text.size()) AppendUtf16(out, DecodeUtf8(text, i, invalid));
  return out;
}

bool LessInUtf16Order(std::string_view a, std::string_view b) {
  // Keys that order code points as their UTF-16 units do: supplementary
  // planes (high surrogate first unit) move below U+E000..U+FFFF.
  constexpr char32_t kSupplementaryStart = 0x10000;
  constexpr char32_t kPrivateUseStart = 0xE000;
  constexpr char32_t kSurrogateStart = 0xD800;
  constexpr uint32_t kPastLastCodePoint = 0x110000;
  auto key = [&](char32_t c) -> uint32_t {
    if (c >= kSupplementaryStart) return kSurrogateStart + (c - kSupplementaryStart);
    if (c >= kPrivateUseStart) return c + kPastLastCodePoint;
    return c;
  };
  size_t i = 0, j = 0;
  bool invalid = false;
  while (i < a.size() && j < b.size()) {
    uint32_t ka = key(DecodeUtf8(a, i, invalid));
    uint32_t kb = key(DecodeUtf8(b, j, invalid));
    if (ka != kb) return ka < kb;
  }
  return i == a.size() && j < b.size();
}

std::string EscapeControls(std::string_view text, std::string_view keep, HexDigits digits) {
  constexpr char32_t kDel = 0x7F, kC1First = 0x80, kC1Last = 0x9F;
  // A line or paragraph separator starts a new line where the text is
  // shown; the embeddings, overrides and isolates turn the text after them
  // around ("invoice<U+202E>txt.exe" shows as "invoiceexe.txt").
  constexpr char32_t kLineSeparator = 0x2028, kLastEmbedding = 0x202E;
  constexpr char32_t kFirstIsolate = 0x2066, kLastIsolate = 0x2069;
  auto hidden = [&](char32_t c) {
    return c < 0x20 || c == kDel || (c >= kC1First && c <= kC1Last) ||
           (c >= kLineSeparator && c <= kLastEmbedding) || (c >= kFirstIsolate && c <= kLastIsolate);
  };
  const char* format = digits == HexDigits::kUpper ? "\\x%02X" : "\\x%02x";
  std::string out;
  out.reserve(text.size());
  auto escape = [&out, format](std::string_view bytes) {
    for (unsigned char b : bytes) {
      char hex[5];
      std::snprintf(hex, sizeof hex, format, b);
      out += hex;
    }
  };
  size_t i = 0;
  while (i < text.size()) {
    const size_t start = i;
    bool invalid = false;
    const char32_t c = DecodeUtf8(text, i, invalid);
    const std::string_view bytes = text.substr(start, i - start);
    if (c < kC1First && keep.find(static_cast<char>(c)) != std::string_view::npos) {
      out += bytes;
    } else if (invalid || hidden(c)) {
      // An invalid sequence is escaped byte by byte from its first byte on.
      if (invalid) i = start + 1;
      escape(text.substr(start, i - start));
    } else {
      out += bytes;
    }
  }
  return out;
}

std::string EscapeControlLines(std::string_view text) {
  std::string lines;
  lines.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    lines.push_back(text[i]);
  }
  return EscapeControls(lines, "\n\t");
}

bool IsValidUtf8(std::string_view text) {
  size_t i = 0;
  bool invalid = false;
  while (i < text.size() && !invalid) DecodeUtf8(text, i, invalid);
  return !invalid;
}

std::u16string FormatWide(const char* format, ...) {
  if (format == nullptr) return {};
  va_list args;
  va_start(args, format);
  va_list measure;
  va_copy(measure, args);
  int length = std::vsnprintf(nullptr, 0, format, measure);
  va_end(measure);
  if (length <= 0) {
    va_end(args);
    return {};
  }
  std::string text(static_cast<size_t>(length) + 1, '\0');
  std::vsnprintf(text.data(), text.size(), format, args);
  va_end(args);
  text.resize(static_cast<size_t>(length));
  return Utf8ToWide(text);
}

std::u16string Trim(std::u16string_view text) {
  size_t begin = 0, end = text.size();
  while (begin < end && u_isspace(text[begin])) ++begin;
  while (end > begin && u_isspace(text[end - 1])) --end;
  return std::u16string(text.substr(begin, end - begin));
}

std::string Trim(std::string_view text) {
  size_t begin = 0, end = text.size();
  while (begin < end && IsAsciiSpace(text[begin])) ++begin;
  while (end > begin && IsAsciiSpace(text[end - 1])) --end;
  return std::string(text.substr(begin, end - begin));
}

std::string LastLines(std::string_view text, int lines) {
  size_t end = text.size();
  if (end > 0 && text[end - 1] == '\n') --end;
  size_t start = end;
  for (int seen = 0; start > 0; --start) {
    if (text[start - 1] == '\n' && ++seen == lines) break;
  }
  return std::string(text.substr(start));
}

bool WideEqualsIgnoreCase(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (a[i] == b[i]) continue;
    // Ordinal comparison upper-cases each UTF-16 unit on its own; surrogate
    // halves have no case and only compare equal when identical.
    if (u_toupper(a[i]) != u_toupper(b[i])) return false;
  }
  return true;
}

int CompareVersions(std::string_view a, std::string_view b) {
  size_t pa = 0, pb = 0;
  bool stoppedA = false, stoppedB = false;
  for (int part = 0; part < kVersionParts; ++part) {
    uint64_t va = ReadVersionPart(a, pa, stoppedA);
    uint64_t vb = ReadVersionPart(b, pb, stoppedB);
    if (va != vb) return va > vb ? 1 : -1;
  }
  return 0;
}

std::string FormatWin32Error(uint32_t code) {
  // The numbers the HTTP layer reports its failures with lie far above
  // every errno value; those that stand for a failure Linux has words for
  // get those words.
  static constexpr struct {
    uint32_t code;
    int sameAsErrno;
    const char* text;
  } kHttpErrors[] = {
      {12002, ETIMEDOUT, nullptr},
      {12004, 0, "an internal error occurred"},
      {12005, 0, "the URL is invalid"},
      {12007, 0, "the server name or address could not be resolved"},
      {12017, ECANCELED, nullptr},
      {12019, 0, "the operation is not valid in the current state"},
      {12029, 0, "the server could not be reached"},
      {12030, 0, "the connection with the server was reset"},
      {12032, 0, "the request must be resent"},
      {12037, 0, "the server's certificate has expired or is not yet valid"},
      {12038, 0, "the server's certificate is for another name than the server's address"},
      {12044, 0, "the server requires a client certificate"},
      {12045, 0, "the server's certificate is not trusted: it is self-signed or issued by an authority this "
                 "computer does not know"},
      {12152, 0, "the server response could not be parsed"},
      {12175, 0, "a security error occurred"},
      {12183, 0, "the server's response headers are too large"},
  };
  int number = static_cast<int>(code);
  for (const auto& e : kHttpErrors) {
    if (e.code != code) continue;
    if (e.text != nullptr) return e.text;
    number = e.sameAsErrno;
  }
  char buffer[256];
  // The GNU strerror_r returns its text, which need not be in `buffer`.
  const char* text = strerror_r(number, buffer, sizeof buffer);
  const std::string message = text != nullptr ? Trim(std::string_view(text)) : std::string();
  return message.empty() ? "Unknown error " + std::to_string(number) : message;
}

std::u16string FormatLocalTime(int64_t unixSeconds) {
  if (unixSeconds <= 0) return {};
  auto t = static_cast<time_t>(unixSeconds);
  struct tm local {};
  if (localtime_r(&t, &local) == nullptr) return {};
  return FormatWide("%02u.%02u.%04u %02u:%02u", static_cast<unsigned>(local.tm_mday),
                    static_cast<unsigned>(local.tm_mon + 1), static_cast<unsigned>(local.tm_year + 1900),
                    static_cast<unsigned>(local.tm_hour), static_cast<unsigned>(local.tm_min));
}

int64_t UnixNow() {
  struct timespec ts {};
  clock_gettime(CLOCK_REALTIME, &ts);
  return static_cast<int64_t>(ts.tv_sec);
}

}  // namespace vx
