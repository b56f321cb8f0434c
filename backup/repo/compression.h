// Optional compression of blob contents: LZ77+Huffman in the framed form of
// platform/xpress_huffman.h, in frame chunks of 1 MiB, so that a blob is one
// stream whose matches reach back across the codec's 64 KiB blocks instead
// of starting without history every 64 KiB (text shrinks by a further 2 to
// 10 %; readers take the chunk size from the frame header). Compression is
// kept only when it saves at least a 32nd of the blob; whether a stored blob is compressed is never flagged,
// it follows from its opened length differing from its raw length.
// Reentrant free functions; any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tarn::backup {

// Blobs shorter than this are never compressed.
constexpr size_t kMinCompressSize = 256;
// Compression must save at least size / kMinSavingDivisor bytes.
constexpr size_t kMinSavingDivisor = 32;
// Raw bytes per frame chunk of a compressed blob.
constexpr size_t kBlobChunkSize = 1048576;

// True with `out` holding at most size - size / 32 bytes; otherwise false
// with `out` empty, and the caller stores the blob as it is.
bool CompressBlob(const uint8_t* data, size_t size, std::vector<uint8_t>& out);

// True only when the data decodes to exactly `expectedRaw` bytes; otherwise
// false with `out` empty.
bool DecompressBlob(const uint8_t* data, size_t size, size_t expectedRaw, std::vector<uint8_t>& out);

}  // namespace tarn::backup
