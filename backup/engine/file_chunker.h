// Reads local files one after another and cuts each into content-defined
// chunks, handing every chunk to the caller in file order. A chunk is cut
// only when a whole largest chunk is buffered or the file has ended, so every
// cut sees what an unbuffered reader would and equal content gives equal
// chunks wherever it lies.
//
// One read buffer serves every file. It grows only as far as the files need
// (a small file never costs a largest-chunk buffer) and never past one and a
// half largest chunks, so chunker parameters read from a repository cannot
// make a run of small files allocate much, and the readers of a run hold
// little beside the repository's pipeline. Owned and used by one thread.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

#include "backup/repo/chunker.h"
#include "foundation/cancel_token.h"
#include "foundation/status.h"
#include "platform/local_dir.h"

namespace tarn::backup {

class FileChunker {
 public:
  // Receives each chunk; the bytes are valid during the call only. A failure
  // stops the file and is returned as it is.
  using ChunkFn = std::function<Status(const uint8_t* data, size_t size)>;

  explicit FileChunker(const ChunkerParams& params);

  // Reads `file` to its end. `total` is the number of bytes read (the file
  // may have changed size since it was listed). A failed read is no failure
  // of the call: readError gets its errno and the chunks handed so far stay
  // handed. Cancellation gives code kCanceled before the next chunk.
  // bytesRead, when given, grows with every read.
  Status chunkFile(localfs::LocalFile& file, const CancelToken* cancel, std::atomic<uint64_t>* bytesRead,
                   const ChunkFn& onChunk, uint64_t& total, int& readError);

  size_t bufferCapacity() const { return capacity_; }
  const Chunker& chunker() const { return chunker_; }

 private:
  void growTo(size_t capacity, size_t keep);

  Chunker chunker_;
  size_t limit_;  // one and a half largest chunks
  std::unique_ptr<uint8_t[]> buffer_;
  size_t capacity_ = 0;
};

}  // namespace tarn::backup
