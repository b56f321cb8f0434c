#include "foundation/name_policy.h"

#include <algorithm>
#include <unordered_map>

#include "foundation/remote_path.h"
#include "foundation/text.h"

namespace tarn {
namespace {

constexpr std::string_view kWindowsBadChars = "<>:\"/\\|?*";
constexpr const char* kReservedNames[] = {
    "CON",  "PRN",  "AUX",  "NUL",  "COM1", "COM2", "COM3", "COM4", "COM5", "COM6", "COM7",
    "COM8", "COM9", "LPT1", "LPT2", "LPT3", "LPT4", "LPT5", "LPT6", "LPT7", "LPT8", "LPT9",
};

bool IsControl(unsigned char c) { return c < 0x20 || c == 0x7F; }

bool HasControl(std::string_view s) {
  for (unsigned char c : s)
    if (IsControl(c)) return true;
  return false;
}

bool EndsWithDotOrSpace(std::string_view s) { return !s.empty() && (s.back() == '.' || s.back() == ' '); }

}  // namespace

std::string PrintableName(std::string_view name) { return vx::EscapeControls(name); }

bool IsReservedDeviceName(std::string_view name) {
  std::string stem(name.substr(0, name.find('.')));
  for (char& c : stem)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  for (const char* r : kReservedNames)
    if (stem == r) return true;
  return false;
}

std::string NameIssueText(const NameIssue& issue) {
  switch (issue.kind) {
    case NameIssue::kEmpty: return "empty name";
    case NameIssue::kTooLong: return "name is too long for the server: " + issue.text;
    case NameIssue::kPathTooLong: return "path is too long for the server: " + issue.text;
    case NameIssue::kBadChar: return "name contains a character the storage cannot hold: " + issue.text;
    case NameIssue::kReserved: return "reserved Windows device name: " + issue.text;
    case NameIssue::kTrailingDotSpace: return "name ends with a dot or a space: " + issue.text;
    case NameIssue::kControlChar: return "name contains a control character: " + issue.text;
    case NameIssue::kCaseCollision:
      return "a file with the same name in different case already exists: " + issue.text;
    case NameIssue::kNormalized: return "name was Unicode-normalized: " + issue.text;
    default: return issue.text;
  }
}

std::string NamePolicy::normalize(std::string_view name) const {
  return NormalizeUnicode(name, static_cast<int>(compat_->unicode));
}

std::vector<NameIssue> NamePolicy::check(std::string_view name,
                                         const std::vector<std::string>* siblings,
                                         std::string* normalized) const {
  std::vector<NameIssue> issues;
  const std::string n = normalize(name);
  if (normalized != nullptr) *normalized = n;
  if (n != name) issues.push_back({NameIssue::kNormalized, PrintableName(name), false});
  if (n.empty() || n == "." || n == "..") {
    issues.push_back({NameIssue::kEmpty, std::string(name), true});
    return issues;
  }
  if (HasControl(n)) issues.push_back({NameIssue::kControlChar, PrintableName(n), true});
  const std::string& invalid = caps_->invalidChars;
  if (n.find('/') != std::string::npos ||
      (!invalid.empty() && n.find_first_of(invalid) != std::string::npos))
    issues.push_back({NameIssue::kBadChar, PrintableName(n), true});
  if (n.size() > caps_->maxNameBytes) {
    issues.push_back({NameIssue::kTooLong,
                      std::to_string(n.size()) + " bytes > " + std::to_string(caps_->maxNameBytes),
                      true});
  }
  if (!compat_->allowReservedNames && IsReservedDeviceName(n))
    issues.push_back({NameIssue::kReserved, n, true});
  if (!compat_->allowTrailingDotSpace && EndsWithDotOrSpace(n))
    issues.push_back({NameIssue::kTrailingDotSpace, PrintableName(n), true});
  if (siblings != nullptr && caps_->caseSensitive) {
    for (const std::string& s : *siblings) {
      if (s != n && EqualsIgnoreCase(s, n)) {
        issues.push_back(
            {NameIssue::kCaseCollision, s, compat_->caseCollision == CompatOptions::kCaseRefuse});
        break;
      }
    }
  }
  return issues;
}

std::vector<NameIssueEntry> ScanNameIssues(const std::vector<DirEntry>& entries,
                                           const BackendCaps& caps) {
  // Names equal ignoring case share a key; each group lists its entries in
  // listing order, so a name's later partners are found without comparing it
  // with the whole listing.
  std::vector<std::string> keys;
  std::unordered_map<std::string, std::vector<size_t>> groups;
  if (caps.caseSensitive) {
    keys.reserve(entries.size());
    for (size_t i = 0; i < entries.size(); ++i) {
      keys.push_back(IgnoreCaseKey(entries[i].name));
      groups[keys.back()].push_back(i);
    }
  }
  std::vector<NameIssueEntry> out;
  for (size_t i = 0; i < entries.size(); ++i) {
    const std::string& name = entries[i].name;
    if (name.find_first_of(kWindowsBadChars) != std::string::npos) {
      out.push_back({name, {NameIssue::kBadChar, PrintableName(name), true}});
      continue;
    }
    if (HasControl(name)) {
      out.push_back({name, {NameIssue::kControlChar, PrintableName(name), true}});
      continue;
    }
    if (EndsWithDotOrSpace(name))
      out.push_back({name, {NameIssue::kTrailingDotSpace, PrintableName(name), false}});
    if (!caps.caseSensitive) continue;
    const std::vector<size_t>& group = groups[keys[i]];
    for (auto j = std::upper_bound(group.begin(), group.end(), i); j != group.end(); ++j) {
      const std::string& later = entries[*j].name;
      if (later != name) out.push_back({later, {NameIssue::kCaseCollision, name, false}});
    }
  }
  return out;
}

}  // namespace tarn
