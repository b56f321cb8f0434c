// The judge of remote names on a Windows-style drive: which names may be
// created, which listed names will cause trouble, and the messages that say
// why. A NamePolicy reads the capability record and the compat settings of
// its volume through pointers; the volume owns both and must outlive the
// policy. Calls are safe from any thread while those records do not change.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/backend_types.h"
#include "foundation/mount_config.h"

namespace tarn {

struct NameIssue {
  enum Kind : uint32_t {
    kEmpty = 0,
    kTooLong = 1,
    kPathTooLong = 2,
    kBadChar = 3,
    kReserved = 4,
    kTrailingDotSpace = 5,
    kControlChar = 6,
    kCaseCollision = 7,
    kNormalized = 8,
  };

  uint32_t kind = kEmpty;
  std::string text;
  bool refuse = false;
};

struct NameIssueEntry {
  std::string name;
  NameIssue issue;
};

class NamePolicy {
 public:
  NamePolicy(const BackendCaps* caps, const CompatOptions* compat) : caps_(caps), compat_(compat) {}

  // Every rule that applies to one path component, in rule order.
  // `siblings` (may be null) are the folder's listed names; `normalized`
  // (may be null) receives the name in the configured Unicode form. A drive
  // keeps names byte for byte as the server and the user wrote them (two
  // forms of one name are two files), so that form is a finding, not a name.
  std::vector<NameIssue> check(std::string_view name, const std::vector<std::string>* siblings,
                               std::string* normalized) const;

  std::string normalize(std::string_view name) const;

 private:
  const BackendCaps* caps_;
  const CompatOptions* compat_;
};

// Names in a listing that Windows cannot show or that collide by case.
std::vector<NameIssueEntry> ScanNameIssues(const std::vector<DirEntry>& entries,
                                           const BackendCaps& caps);

std::string NameIssueText(const NameIssue& issue);

// CON, PRN, AUX, NUL, COM1..9, LPT1..9, with or without an extension.
bool IsReservedDeviceName(std::string_view name);

// The name as a message can show it (vx::EscapeControls).
std::string PrintableName(std::string_view name);

}  // namespace tarn
