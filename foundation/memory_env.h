// An Env held in memory, for tests of stores that must survive crashes. It
// keeps two views of every file and folder: what running code sees, and what
// has reached the "disk" (a file's content as of its last sync, a folder's
// entries as of its last folder sync). A hook sees every step before it
// happens and may fail it or hold the calling thread there, so a test can
// stop the world between any two steps; snapshot() then gives the file
// system that a restart would find after the process died (every step done
// so far) or after a power loss (only what was synced). Paths are absolute;
// "/" always exists. Any thread may call it; it must outlive its files.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "foundation/env.h"

namespace tarn {

// A file that would grow past this fails with "no-space", so that a test
// may ask for absurd sizes without exhausting memory.
inline constexpr uint64_t kMemoryEnvMaxFileBytes = 256ull << 20;
// With a capacity set, a file takes the pages its bytes were written to, as
// on a disk: one grown by truncation alone holds none (a sparse file).
inline constexpr uint64_t kMemoryEnvPageBytes = 4096;

class MemoryEnv : public Env {
 public:
  enum class Step { kCreate, kRead, kWrite, kTruncate, kSync, kRename, kUnlink, kSyncDir, kMakeDir };
  struct StepInfo {
    Step step;
    std::string path;
    std::string to;  // the target of a rename
  };
  // Runs on the calling thread before the step, outside every lock of the
  // Env. A result other than ok fails the step with it; nothing changes.
  using Hook = std::function<Status(const StepInfo& step)>;
  enum class Crash { kProcess, kPowerLoss };

  MemoryEnv();
  ~MemoryEnv() override;

  void setHook(Hook hook);
  std::unique_ptr<MemoryEnv> snapshot(Crash crash) const;
  // A power loss after the file system's own records (folder entries,
  // lengths) reached the disk but the bytes of unsynced files did not: they
  // read as zeros past what was synced, except in the files `reached`
  // accepts, whose bytes got there too.
  std::unique_ptr<MemoryEnv> snapshotTorn(const std::function<bool(const std::string& path)>& reached) const;
  // Files opened and not yet destroyed: the descriptors a process would hold.
  uint64_t openFiles() const { return openFiles_.load(); }
  // Makes the Env a disk of `totalBytes` and `totalInodes` (0: inodes not
  // counted), each file and folder taking one inode: writes and creates
  // past them fail with "no-space" as a full disk's do, and space() answers
  // for it. 0 bytes (the start): no limit, and space() cannot tell.
  void setCapacity(uint64_t totalBytes, uint64_t totalInodes = 0);

  Status open(const std::string& path, OpenMode mode, std::unique_ptr<EnvFile>* file) override;
  Status rename(const std::string& from, const std::string& to) override;
  Status unlink(const std::string& path) override;
  Status syncDir(const std::string& path) override;
  Status makeDir(const std::string& path) override;
  Status list(const std::string& path, std::vector<std::string>* names) override;
  Status stat(const std::string& path, EnvFileInfo* info) override;
  Status space(const std::string& path, EnvSpace* out) override;
  // Another boot after every power loss snapshot, the same after a process crash.
  std::string bootId() const override { return "boot-" + std::to_string(boot_); }

 private:
  class File;
  struct Node {
    bool isDir = false;
    std::string data;         // what readers see
    std::string durableData;  // as of the last sync
    std::vector<bool> pages;  // of data, those written to (see kMemoryEnvPageBytes)
    std::map<std::string, std::shared_ptr<Node>> entries;         // what readers see
    std::map<std::string, std::shared_ptr<Node>> durableEntries;  // as of the last folder sync
    uint64_t mtime = 0;       // a tick of the Env's own clock
  };

  Status runHook(Step step, const std::string& path, const std::string& to = std::string());
  // The node of the path, or null; mu_ held.
  std::shared_ptr<Node> findLocked(const std::string& path) const;
  // The folder that holds the path's last component, and that component.
  Status parentLocked(const std::string& path, std::shared_ptr<Node>* dir, std::string* name) const;
  // The bytes and inodes the tree takes; mu_ held.
  void usageLocked(uint64_t* bytes, uint64_t* inodes) const;
  // Whether `pages` more pages, or one more inode, fit the capacity; mu_ held.
  bool fitsLocked(uint64_t pages, bool inode) const;

  mutable std::mutex mu_;
  std::shared_ptr<Node> root_;  // guarded by mu_ (and every node below it)
  uint64_t clock_ = 0;          // guarded by mu_
  uint64_t boot_ = 1;           // set before the Env is shared
  uint64_t capacity_ = 0;       // guarded by mu_
  uint64_t inodes_ = 0;         // guarded by mu_
  Hook hook_;                   // guarded by mu_; copied out before it runs
  std::atomic<uint64_t> openFiles_{0};
};

}  // namespace tarn
