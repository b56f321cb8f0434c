// The result of a repository check: counters and problem texts, filled first
// by the pack check (Repo::checkPack) and then by the snapshot walk of the
// backup engine. A plain value owned by the task that runs the check.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tarn::backup {

struct CheckReport {
  uint64_t packs = 0;           // packs named by the index that were examined
  uint64_t blobs = 0;           // blobs in the index when the check began
  uint64_t bytes = 0;           // indexed length of the examined packs
  uint64_t unindexedPacks = 0;  // pack objects that no known pack matches
  uint64_t unindexedBytes = 0;
  uint64_t temporaries = 0;     // upload leftovers in the repository's folders
  uint64_t temporaryBytes = 0;
  uint64_t packsRead = 0;       // packs downloaded whole (only when reading data)
  std::vector<std::string> problems;
  // Ids of the versions that need blobs storage does not hold whole.
  std::vector<std::string> incompleteVersions;
};

}  // namespace tarn::backup
