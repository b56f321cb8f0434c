// Remote paths: UTF-8 text with "/" separators, relative to a drive's root
// on the server. Pure free functions (no state); safe from any thread, and
// none fails: malformed input gives a well-defined result.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tarn {

// "/" for the root, else "/a/b" with no ".", "..", empty component or
// trailing "/"; both "/" and "\" separate, ".." never climbs above the root.
std::string NormalizeRemotePath(std::string_view path);

// A path relative to the drive as the file-system layer hands it
// (backslashes or slashes) in canonical remote form.
std::string ToRemotePath(std::string_view localPath);

bool IsRootPath(std::string_view path);

// True when `path` is `prefix` or lies below it (case-sensitive, so "/ab"
// is not under "/a"); everything lies under the root.
bool IsUnderPath(std::string_view prefix, std::string_view path);

std::string JoinRemotePath(std::string_view folder, std::string_view name);
std::string BaseName(std::string_view path);
std::string ParentPath(std::string_view path);
std::vector<std::string> SplitPath(std::string_view path);

// Moves `path` from below `oldPrefix` to below `newPrefix` (folder rename);
// paths outside `oldPrefix` come back unchanged.
std::string RebasePath(std::string_view path, std::string_view oldPrefix,
                       std::string_view newPrefix);

// Ordinal comparison ignoring case, as the Windows file system judges names:
// ASCII by tolower, other text by simple upper-casing each code point.
// Text that is not valid UTF-8 compares byte for byte, so two different
// malformed names are never judged equal.
bool EqualsIgnoreCase(std::string_view a, std::string_view b);
// The text under which names that EqualsIgnoreCase judges equal fall
// together, so that a listing can be grouped in one pass.
std::string IgnoreCaseKey(std::string_view name);

// Unicode normalisation of a name.
enum : int { kNormalizeOff = 0, kNormalizeNfc = 1, kNormalizeNfd = 2 };
// Mode 0 returns the name; 1 gives form C, any other mode form D. A failure
// (invalid UTF-8 included) returns the name unchanged, never a lossy copy.
std::string NormalizeUnicode(std::string_view name, int mode);

// Keeps ASCII letters, digits, "-._~/"; every other byte becomes %XX.
std::string PercentEncode(std::string_view path);
// %XX of either case becomes the byte; any other "%" is copied as it is.
std::string PercentDecode(std::string_view text);

}  // namespace tarn
