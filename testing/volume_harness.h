// What the volume's tests share: a drive on the in-memory server with quick
// retries, a temporary cache root, and handles opened the way the drive opens
// them (attributes from the server, a cache object told the server's copy).
// Each test owns its harness; it is used from the test's threads.
//
// Header-only on purpose: a volume's constructor lives above the back-ends
// (engine/factory), and only tests that link it may compile this.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "engine/data_cache.h"
#include "engine/volume.h"
#include "testing/eventually.h"
#include "testing/memory_backend.h"
#include "testing/temp_dir.h"

namespace tarn::test {

// A drive of protocol "memory" with small blocks and 1 ms retries.
inline MountConfig MemoryDrive(uint32_t blockBytes = 4096, int32_t connections = 4) {
  MountConfig config;
  config.id = "drive";
  config.endpoint.protocol = "memory";
  config.endpoint.host = "mem";
  config.net.connections = connections;
  config.net.retries = 3;
  config.net.retryMinMs = 1;
  config.net.retryMaxMs = 1;
  config.cache.blockBytes = blockBytes;
  config.transfer.chunkBytes = 16ull * blockBytes;
  return config;
}

// Uploads start as soon as a file is closed; no readahead or whole-file
// prefetch, so that the fetches of a test can be counted.
inline MountConfig UploadDrive(uint32_t blockBytes = 4096) {
  MountConfig config = MemoryDrive(blockBytes);
  config.cache.readaheadBlocks = config.cache.readaheadMaxBlocks = 0;
  config.cache.wholeFileBelow = 0;
  config.cache.writebackDelayMs = 0;
  return config;
}

// A server that can write at an offset (uploads in place) or not (whole
// uploads), and that truncates, keeps times and reports free space.
inline BackendCaps WritableCaps(bool randomWrite) {
  BackendCaps caps;
  caps.randomWrite = randomWrite;
  caps.truncate = caps.setMtime = caps.freeSpace = true;
  return caps;
}

// Ticks every few milliseconds, so that a moved test clock shows at once.
inline VolumeTimings QuickTimings() {
  VolumeTimings t;
  t.tickMs = 5;
  return t;
}

// Content whose bytes differ from block to block, so misplaced bytes show.
inline std::string Pattern(uint64_t size, uint32_t seed = 0) {
  std::string s(size, '\0');
  for (uint64_t i = 0; i < size; ++i) s[i] = static_cast<char>((i * 131 + i / 4093 + seed) & 0xff);
  return s;
}

class VolumeHarness {
 public:
  explicit VolumeHarness(MountConfig cfg = MemoryDrive(), VolumeTimings timings = QuickTimings())
      : config(std::move(cfg)) {
    files = std::make_unique<DataCache>(dir_.file("handles"), config.cache.blockBytes,
                                        config.cache.maxBytes);
    if (!files->ensureDir()) std::abort();
    volume = std::make_unique<Volume>(config, dir_.path(), server->factory(), timings);
  }
  ~VolumeHarness() {
    volume.reset();
    files.reset();
  }
  VolumeHarness(const VolumeHarness&) = delete;
  VolumeHarness& operator=(const VolumeHarness&) = delete;

  // Opens a file of the server with a cache object of the harness's own
  // block cache, beside the volume's folder.
  std::shared_ptr<OpenFile> open(const std::string& path) {
    auto file = std::make_shared<OpenFile>();
    file->path = path;
    if (!server->statPath(path, &file->attr)) return nullptr;
    file->isDir = file->attr.isDir();
    file->readaheadWindow = config.cache.readaheadBlocks;
    if (!file->isDir) {
      file->cache = files->open(path, true);
      if (!file->cache) return nullptr;
      file->cache->applyRemote(file->attr, nullptr, nullptr);
    }
    return file;
  }

  // What the volume delivered; `st` receives the status.
  std::string read(const std::shared_ptr<OpenFile>& file, uint64_t offset, uint64_t length, Status* st = nullptr) {
    std::string out(length, '\0');
    uint64_t got = 0;
    Status s = volume->read(file, offset, out.data(), length, got);
    if (st != nullptr) *st = s;
    out.resize(got);
    return out;
  }

  // Opens through the volume, as the mount host does.
  std::shared_ptr<OpenFile> openFile(const std::string& path) {
    std::shared_ptr<OpenFile> file;
    return volume->open(path, file).ok() ? file : nullptr;
  }
  // Creates a file through the volume, writes it and closes it.
  bool writeFile(const std::string& path, const std::string& content) {
    std::shared_ptr<OpenFile> file;
    if (!volume->create(path, false, file).ok()) return false;
    if (!volume->write(file, 0, content.data(), content.size()).ok()) return false;
    volume->closeNow(file);
    return true;
  }
  std::string readAll(const std::shared_ptr<OpenFile>& file) { return read(file, 0, file->cache->size()); }
  // True once the server holds exactly `content` at path.
  bool serverHolds(const std::string& path, const std::string& content) {
    return Eventually([&] {
      std::string got;
      return server->readFile(path, &got) && got == content;
    });
  }

  const std::string& root() const { return dir_.path(); }
  // The volume's own cache folder for the drive.
  std::string driveDir() const { return dir_.file(config.id); }

 private:
  TempDir dir_{"tarn-volume"};  // declared first, gone last: the rest lives in it

 public:
  std::shared_ptr<MemoryServer> server = std::make_shared<MemoryServer>();
  MountConfig config;
  std::unique_ptr<DataCache> files;  // the handles' cache objects
  std::unique_ptr<Volume> volume;
};

}  // namespace tarn::test
