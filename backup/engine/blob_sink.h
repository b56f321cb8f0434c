// What the folder walk needs of the repository it backs up into: storing a
// blob and asking whether one is already known. The backup run implements it
// over its open repository; the walk calls it from the run's worker thread
// and from its file reader threads at the same time, so an implementation
// must be safe for concurrent calls. It may hash on the calling thread and
// hand compression, sealing and upload to workers of its own, as long as the
// id it returns is the id of the bytes given.
#pragma once

#include <cstddef>
#include <cstdint>

#include "backup/repo/blob_id.h"
#include "foundation/status.h"

namespace tarn::backup {

class BlobSink {
 public:
  static constexpr uint8_t kDataBlob = 1;  // a chunk of file content
  static constexpr uint8_t kTreeBlob = 2;  // a folder listing

  virtual ~BlobSink() = default;

  // Stores the bytes as a blob of the type unless a blob with the same id is
  // known, and gives the id either way. The bytes are borrowed for the call
  // only. A failure ends the backup run.
  virtual Status storeBlob(uint8_t type, const uint8_t* data, size_t size, BlobId& id) = 0;
  // True when the repository holds the blob: in a pack that storage holds
  // sound, or in one not yet uploaded.
  virtual bool hasBlob(const BlobId& id) const = 0;
};

}  // namespace tarn::backup
