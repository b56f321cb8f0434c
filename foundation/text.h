// Text functions of the support library: UTF-8/UTF-16 conversion, formatting,
// trimming, version comparison, error texts and time. Stateless free
// functions; any thread. None of them logs or throws (except on memory
// exhaustion).
//
// Inside the system text is UTF-8 std::string; std::u16string is used where
// UTF-16 units are counted or compared. Invalid input is replaced by U+FFFD,
// never rejected.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vx {

// UTF-16 to UTF-8; a lone surrogate becomes U+FFFD.
std::string WideToUtf8(std::u16string_view text);
// UTF-8 to UTF-16; each invalid sequence becomes U+FFFD.
std::u16string Utf8ToWide(std::string_view text);
// True when the text is well-formed UTF-8: no overlong forms, no encoded
// surrogates, nothing past U+10FFFF.
bool IsValidUtf8(std::string_view text);
// True when UTF-8 text `a` sorts before `b` by the UTF-16 code units of
// their UTF-16 forms (the order folder listings keep), without converting:
// code points from U+10000 sort between U+D7FF and U+E000, as their
// surrogate pairs do.
bool LessInUtf16Order(std::string_view a, std::string_view b);
// Appends one code point as UTF-8; a surrogate or a value past U+10FFFF
// becomes U+FFFD, so the output is always valid UTF-8.
void AppendUtf8(std::string& out, char32_t c);
// How EscapeControls writes the digits of a byte.
enum class HexDigits { kLower, kUpper };
// Text that is safe to write into a log line, onto a terminal or into a
// window: every control character (C0, DEL and C1), every character that
// ends a line or reorders the text around it (U+2028, U+2029, U+202A to
// U+202E, U+2066 to U+2069) and every byte outside valid UTF-8 is written
// as \xNN, byte by byte; the characters in `keep` (such as the line feed of
// a multi-line text) stay as they are.
std::string EscapeControls(std::string_view text, std::string_view keep = {}, HexDigits digits = HexDigits::kLower);
// A text of several lines (a log) made safe the same way: its line feeds and
// tabs kept, the carriage return of each CR LF line end dropped.
std::string EscapeControlLines(std::string_view text);

// printf formatting of a UTF-8 format into UTF-16 text; empty when the
// result is empty or the formatting fails.
std::u16string FormatWide(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Copy without white space at both ends.
std::u16string Trim(std::u16string_view text);
std::string Trim(std::string_view text);

// The end of a log text: everything after the `lines`-th line break counted
// from the end, where a break that ends the text does not count; the whole
// text when it has fewer.
std::string LastLines(std::string_view text, int lines);

// Ordinal comparison ignoring case, UTF-16 unit lengths must match.
bool WideEqualsIgnoreCase(std::u16string_view a, std::u16string_view b);

// Compares dotted versions by exactly four numeric parts; -1, 0 or 1.
int CompareVersions(std::string_view a, std::string_view b);

// The system's text for an errno value, trimmed, or the meaning of a number
// of the HTTP layer (12002 is Linux's "Connection timed out", 12029 "the
// server could not be reached", ...): words for a user, without the number.
std::string FormatWin32Error(uint32_t code);

// "dd.mm.yyyy hh:mm" in local time; empty for 0 or less.
std::u16string FormatLocalTime(int64_t unixSeconds);

// Whole seconds since 1970-01-01 UTC.
int64_t UnixNow();

}  // namespace vx
