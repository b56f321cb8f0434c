// LZ77+Huffman compression (the public "XPRESS-Huffman" format) in the
// buffer framing of the system compression interface it stands in for.
//
// A stream is a run of blocks; each block opens with a 256-byte table of
// 4-bit code lengths for 512 symbols and covers 64 KiB of output. The framed
// form is a 24-byte header (magic, header size, check byte, algorithm, raw
// size, chunk size) followed by one 32-bit length and one stream per chunk;
// a chunk whose length equals its raw length is stored raw. The writer uses
// 64 KiB chunks, one table each, so chunks never depend on each other.
//
// The decoders take hostile input: every table, length and bit read is
// bounds-checked and they fail rather than read or write outside a buffer.
//
// A Compressor owns its match finder's tables and its parse (about 600 KiB,
// kept between calls, never cleared between streams) and is used by one
// thread at a time; the free functions are reentrant.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace tarn::xpress {

constexpr size_t kBlockSize = 65536;  // output bytes covered by one table
constexpr size_t kChunkSize = 65536;  // raw bytes per chunk written
constexpr size_t kTableBytes = 256;
constexpr size_t kNumSymbols = 512;
constexpr unsigned kMaxCodeLength = 15;
constexpr uint32_t kMinMatch = 3;
constexpr uint32_t kMaxOffset = 65535;
constexpr uint32_t kEndSymbol = 256;

constexpr size_t kFrameHeaderSize = 24;
constexpr size_t kChunkLengthSize = 4;
constexpr uint8_t kFrameMagic[4] = {0x0A, 0x51, 0xE5, 0xC0};
constexpr uint8_t kAlgorithmXpressHuffman = 4;

// The framed size when every chunk ends up stored raw.
size_t MaxFramedSize(size_t rawSize, size_t chunkSize = kChunkSize);

// CRC-32 (IEEE, reflected) used for the frame header's check byte.
uint32_t Crc32(const uint8_t* data, size_t size, uint32_t crc = 0);

class Compressor {
 public:
  Compressor();
  ~Compressor();
  Compressor(const Compressor&) = delete;
  Compressor& operator=(const Compressor&) = delete;

  // One unframed stream of `size` raw bytes (a table per 64 KiB) ending with
  // the end symbol, written to out[0, capacity). Returns the stream length,
  // or 0 when it would not fit in `capacity` bytes.
  size_t compressStream(const uint8_t* data, size_t size, uint8_t* out, size_t capacity);

  // The framed form. False (and `out` empty) when it would exceed `capacity`
  // bytes; chunks that do not shrink are stored raw.
  bool compress(const uint8_t* data, size_t size, size_t capacity, std::vector<uint8_t>& out,
                size_t chunkSize = kChunkSize);

 private:
  struct Scratch;
  std::unique_ptr<Scratch> s_;
};

// Decodes one unframed stream that must yield exactly `rawSize` bytes.
bool DecompressStream(const uint8_t* data, size_t size, uint8_t* out, size_t rawSize);

// Decodes the framed form; the header's raw size must equal `expectedRaw`,
// which is checked before anything is allocated. On failure `out` is empty.
bool Decompress(const uint8_t* data, size_t size, size_t expectedRaw, std::vector<uint8_t>& out);

}  // namespace tarn::xpress
