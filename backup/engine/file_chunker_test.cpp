#include "backup/engine/file_chunker.h"

#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "testing/temp_dir.h"

namespace tarn::backup {
namespace {

constexpr ChunkerParams kSmallChunks{16384, 32768, 65536, 7};
constexpr size_t kMax = 65536;

std::string RandomBytes(size_t size, uint32_t seed) {
  std::mt19937 rng(seed);
  std::string out(size, '\0');
  for (char& c : out) c = static_cast<char>(rng());
  return out;
}

// What an unbuffered reader with the whole file in memory cuts.
std::vector<std::string> ReferenceChunks(const Chunker& chunker, const std::string& data) {
  std::vector<std::string> out;
  size_t pos = 0;
  while (pos < data.size()) {
    auto n = static_cast<size_t>(chunker.cut(reinterpret_cast<const uint8_t*>(data.data()) + pos, data.size() - pos));
    out.push_back(data.substr(pos, n));
    pos += n;
  }
  return out;
}

class FileChunkerTest : public ::testing::Test {
 protected:
  std::string Write(const std::string& name, const std::string& data) {
    std::string path = dir_.file(name);
    std::ofstream(path, std::ios::binary) << data;
    return path;
  }

  // Chunks of the file, or the failure.
  struct Outcome {
    Status status;
    std::vector<std::string> chunks;
    uint64_t total = 0;
    uint64_t bytesRead = 0;
    int readError = 0;
  };
  Outcome Chunk(FileChunker& chunker, localfs::LocalFile& file, const FileChunker::ChunkFn& extra = nullptr,
                const CancelToken* cancel = nullptr) {
    Outcome out;
    std::atomic<uint64_t> bytesRead{0};
    out.status = chunker.chunkFile(
        file, cancel, &bytesRead,
        [&](const uint8_t* data, size_t size) {
          out.chunks.emplace_back(reinterpret_cast<const char*>(data), size);
          return extra ? extra(data, size) : Status();
        },
        out.total, out.readError);
    out.bytesRead = bytesRead;
    return out;
  }

  test::TempDir dir_{"tarn-chunker"};
};

TEST_F(FileChunkerTest, CutsAsAnUnbufferedReaderWould) {
  FileChunker chunker(kSmallChunks);
  const size_t sizes[] = {0, 1, 16384, kMax - 1, kMax, kMax + 1, 2 * kMax, 7 * kMax + 4097};
  uint32_t seed = 1;
  for (size_t size : sizes) {
    std::string data = RandomBytes(size, seed++);
    localfs::LocalFile file;
    ASSERT_TRUE(localfs::LocalFile::open(Write("f" + std::to_string(size), data), file).ok());
    Outcome out = Chunk(chunker, file);
    ASSERT_TRUE(out.status.ok()) << size;
    EXPECT_EQ(out.chunks, ReferenceChunks(chunker.chunker(), data)) << size;
    EXPECT_EQ(out.total, size);
    EXPECT_EQ(out.bytesRead, size);
    EXPECT_LE(chunker.bufferCapacity(), kMax + kMax / 2);
  }
}

TEST_F(FileChunkerTest, FileThatGrewIsReadToItsNewEnd) {
  FileChunker chunker(kSmallChunks);
  std::string data = RandomBytes(100, 1);
  std::string path = Write("growing", data);
  localfs::LocalFile file;
  ASSERT_TRUE(localfs::LocalFile::open(path, file).ok());
  // Grows after it was opened: the buffer sized for 100 bytes must grow.
  std::string more = RandomBytes(5 * kMax, 2);
  std::ofstream(path, std::ios::binary | std::ios::app) << more;
  Outcome out = Chunk(chunker, file);
  ASSERT_TRUE(out.status.ok());
  EXPECT_EQ(out.total, data.size() + more.size());
  EXPECT_EQ(out.chunks, ReferenceChunks(chunker.chunker(), data + more));
}

TEST_F(FileChunkerTest, SmallFilesNeedNoLargestChunkBuffer) {
  // Parameters as a repository may hand them: an 8 MiB largest chunk.
  FileChunker chunker(ChunkerParams{});
  localfs::LocalFile file;
  ASSERT_TRUE(localfs::LocalFile::open(Write("small", "tiny"), file).ok());
  ASSERT_TRUE(Chunk(chunker, file).status.ok());
  EXPECT_LE(chunker.bufferCapacity(), 65536u);
  ASSERT_TRUE(localfs::LocalFile::open(Write("medium", RandomBytes(300000, 3)), file).ok());
  ASSERT_TRUE(Chunk(chunker, file).status.ok());
  EXPECT_LE(chunker.bufferCapacity(), 327680u);
}

TEST_F(FileChunkerTest, StopsAtCancellationOrReadError) {
  FileChunker chunker(kSmallChunks);
  CancelToken cancel;
  localfs::LocalFile file;
  ASSERT_TRUE(localfs::LocalFile::open(Write("big", RandomBytes(6 * kMax, 4)), file).ok());
  Outcome out = Chunk(
      chunker, file,
      [&](const uint8_t*, size_t) {
        cancel.cancel();
        return Status();
      },
      &cancel);
  EXPECT_EQ(out.status.code, Status::kCanceled);
  EXPECT_EQ(out.chunks.size(), 1u);

  // Reading an unmapped address of the process's own memory fails with EIO.
  localfs::LocalFile mem;
  ASSERT_TRUE(localfs::LocalFile::open("/proc/self/mem", mem).ok());
  out = Chunk(chunker, mem);
  EXPECT_TRUE(out.status.ok());
  EXPECT_EQ(out.readError, EIO);
  EXPECT_TRUE(out.chunks.empty());
}

}  // namespace
}  // namespace tarn::backup
