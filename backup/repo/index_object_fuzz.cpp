// Index objects come from storage that may be damaged or forged (their seal
// keeps out strangers, not a damaged writer). The reader must never crash or
// allocate by a count it was given, and the records it accepts must write
// back to the very bytes they were read from.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "backup/repo/index_format.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tarn::backup;
  std::vector<IndexPackRecord> records;
  IndexParse parsed = ParseIndexObject(data, size, records);
  if (parsed == IndexParse::kDamaged) {
    if (!records.empty()) std::abort();
    return 0;
  }
  std::vector<uint8_t> rebuilt = IndexObjectStart();
  for (const IndexPackRecord& r : records) AppendIndexPack(rebuilt, r.id, r.length, r.entries);
  // The version field is not read, so it is copied; a cut-short object
  // states more packs than it holds.
  std::memcpy(rebuilt.data() + 4, data + 4, 4);
  if (parsed == IndexParse::kCutShort) {
    if (records.size() >= ReadU32LE(data + kIndexPackCountAt)) std::abort();
    std::memcpy(rebuilt.data() + kIndexPackCountAt, data + kIndexPackCountAt, 4);
  }
  if (rebuilt.size() > size || std::memcmp(rebuilt.data(), data, rebuilt.size()) != 0) std::abort();
  return 0;
}
