// The mount host: shows one started tarn::Volume to applications as a
// folder (a drive letter's mount point) until it is unmounted. The service
// owns one host per mounted drive (std::unique_ptr) and shares the volume
// with it; the volume is started before mount and stopped after unmount.
//
// Threads: mount, unmount, isMounted and mountPoint may be called from any
// thread; mount and unmount run one at a time per host. The file system's
// requests run on the host's own threads.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "engine/volume.h"
#include "foundation/status.h"
#include "mount/open_file_shares.h"

namespace tarn {

// How long mount waits for the new file system to answer.
inline constexpr uint32_t kMountAnswerMs = 10000;

class IMountHost {
 public:
  virtual ~IMountHost() = default;
  // Mounts the volume at `mountPoint`, made when missing; a mount left
  // there by a process that died is cleared first. Returns once the file
  // system answers, or fails after kMountAnswerMs with nothing mounted.
  virtual Status mount(std::shared_ptr<Volume> volume, const std::string& mountPoint) = 0;
  // Saves every open file, takes the drive away (also while applications
  // hold files open; they then get errors) and waits up to flushTimeoutMs
  // for the uploads to finish. What is still pending stays in the cache
  // and is sent by the volume's next start.
  virtual Status unmount(uint32_t flushTimeoutMs) = 0;
  // False once unmounted, also when the mount went away by other means.
  virtual bool isMounted() const = 0;
  virtual std::string mountPoint() const = 0;
};

// The host over libfuse 3; `shares` (may be null: no bound) counts the
// users' open files, one instance for every drive of the process.
std::unique_ptr<IMountHost> MakeMountHost(std::shared_ptr<OpenFileShares> shares = nullptr);

}  // namespace tarn
