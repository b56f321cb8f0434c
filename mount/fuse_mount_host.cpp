#include "mount/fuse_mount_host.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>

#include "foundation/file_util.h"
#include "foundation/log.h"
#include "mount/fuse_connection.h"
#include "mount/mount_table.h"

extern char** environ;

namespace tarn {
namespace {

constexpr const char* kUnmountHelper = "fusermount3";
// The mount table shows this system's drives as of type "fuse.tarn".
constexpr const char* kSubtype = "tarn";
constexpr const char* kFuseTypePrefix = "fuse.";
// How long a mount found at a drive's folder has to answer a statfs before
// it is taken as served by a live process.
constexpr uint32_t kServedAnswerMs = 2000;
// The mode of the mount point and of the folders made above it.
constexpr uint32_t kMountFolderMode = 0755;
// How long the loop may take to notice that its mount went away before its
// connection is aborted by hand.
constexpr uint32_t kLoopEndMs = 2000;

const char* Id(const Volume& volume) { return volume.config().id.c_str(); }

void LogFromFuse(fuse_log_level level, const char* format, va_list args) {
  char text[vx::log::kMaxMessage];
  std::vsnprintf(text, sizeof text, format, args);
  size_t n = std::strlen(text);
  while (n > 0 && (text[n - 1] == '\n' || text[n - 1] == '\r')) text[--n] = '\0';
  const uint32_t ours = level <= FUSE_LOG_ERR ? vx::log::kError : level <= FUSE_LOG_NOTICE ? vx::log::kWarn
                                                                                             : vx::log::kDebug;
  vx::log::write(ours, "mount: %s", text);
}

bool IsRoot() { return ::geteuid() == 0; }

// fusermount3 -u -z: how a user who is not root takes a FUSE mount away.
bool RunUnmountHelper(const std::string& mountPoint) {
  const char* argv[] = {kUnmountHelper, "-u", "-z", "-q", mountPoint.c_str(), nullptr};
  pid_t pid = 0;
  if (::posix_spawnp(&pid, kUnmountHelper, nullptr, nullptr, const_cast<char* const*>(argv), environ) != 0)
    return false;
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

bool DetachMount(const std::string& mountPoint) {
  if (IsRoot()) return ::umount2(mountPoint.c_str(), MNT_DETACH) == 0;
  return RunUnmountHelper(mountPoint);
}

// A folder on which something is mounted has another device than its parent.
bool IsMountPoint(const std::string& path, const struct stat& st) {
  struct stat parent;
  if (::stat((path + "/..").c_str(), &parent) != 0) return false;
  return parent.st_dev != st.st_dev || parent.st_ino == st.st_ino;
}

// The folder as the mount table names it: its parent resolved, so that
// nothing asks a file system mounted on the folder itself.
std::string TablePath(const std::string& mountPoint) {
  std::string path = mountPoint;
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  const size_t slash = path.rfind('/');
  const std::string parent = slash == 0 ? "/" : slash == std::string::npos ? "." : path.substr(0, slash);
  char* resolved = ::realpath(parent.c_str(), nullptr);
  if (resolved == nullptr) return path;
  std::string out = resolved;
  std::free(resolved);
  return (out == "/" ? out : out + "/") + path.substr(slash == std::string::npos ? 0 : slash + 1);
}

// A mount of this system's own (the table says whose it is) that no
// process serves: the kernel aborted its connection when the process died,
// though it may still answer a stat from what it cached. A statfs always
// goes to the serving process; one that does not end soon is taken as
// served, and the thread that asks is left to it.
bool IsDeadMountOfOurs(const std::string& mountPoint) {
  const std::string path = TablePath(mountPoint);
  if (MountAt(path).type != std::string(kFuseTypePrefix) + kSubtype) return false;
  struct Answer {
    std::mutex mu;
    std::condition_variable cv;
    bool done = false;  // guarded by mu
    int err = 0;        // guarded by mu
  };
  auto answer = std::make_shared<Answer>();
  std::thread([answer, path] {
    struct statfs st;
    const int err = ::statfs(path.c_str(), &st) == 0 ? 0 : errno;
    std::lock_guard<std::mutex> lock(answer->mu);
    answer->done = true;
    answer->err = err;
    answer->cv.notify_all();
  }).detach();
  std::unique_lock<std::mutex> lock(answer->mu);
  answer->cv.wait_for(lock, std::chrono::milliseconds(kServedAnswerMs), [&] { return answer->done; });
  return answer->done && (answer->err == ENOTCONN || answer->err == ECONNABORTED);
}

Status ClearStaleMount(const std::string& mountPoint) {
  vx::log::write(vx::log::kInfo, "mount: clearing the stale mount at %s", mountPoint.c_str());
  if (!DetachMount(mountPoint)) return Status(Status::kIo, "cannot clear the stale mount at " + mountPoint, errno);
  return Status();
}

// Makes the folder ready for a new mount: created when missing, and a
// mount whose process died taken away, whether the kernel answers for it
// with ENOTCONN or still from its cache.
Status PrepareMountPoint(const std::string& mountPoint) {
  struct stat st;
  if (::stat(mountPoint.c_str(), &st) != 0) {
    const int err = errno;
    if (err == ENOTCONN || err == ECONNABORTED) {
      if (Status cleared = ClearStaleMount(mountPoint); !cleared.ok()) return cleared;
    } else if (err != ENOENT) {
      return Status(Status::kIo, "cannot reach " + mountPoint + ": " + std::strerror(err), err);
    }
    // Every user reaches the drive through the folders made for it.
    if (!vx::MakeDirs(mountPoint, kMountFolderMode)) return Status(Status::kIo, "cannot create " + mountPoint, errno);
    if (::stat(mountPoint.c_str(), &st) != 0) return Status(Status::kIo, "cannot reach " + mountPoint, errno);
  } else if (IsMountPoint(mountPoint, st) && IsDeadMountOfOurs(mountPoint)) {
    if (Status cleared = ClearStaleMount(mountPoint); !cleared.ok()) return cleared;
    if (::stat(mountPoint.c_str(), &st) != 0) return Status(Status::kIo, "cannot reach " + mountPoint, errno);
  }
  if (!S_ISDIR(st.st_mode)) return Status(Status::kNotDirectory, mountPoint + " is not a folder");
  if (IsMountPoint(mountPoint, st)) return Status(Status::kBusy, "something is already mounted at " + mountPoint);
  return Status();
}

// Makes "a,b" safe inside one -o value.
std::string OptionText(std::string text) {
  for (char& c : text)
    if (c == ',' || c == '\\' || c == ' ') c = '_';
  return text;
}

}  // namespace

FuseMountHost::FuseMountHost(FuseTuning tuning, std::shared_ptr<OpenFileShares> shares)
    : tuning_(tuning), shares_(std::move(shares)) {
  static std::once_flag once;
  std::call_once(once, [] { fuse_set_log_func(LogFromFuse); });
}

FuseMountHost::~FuseMountHost() { unmount(0); }

bool FuseMountHost::isMounted() const { return mounted_.load() && !loopEnded_.load(); }

std::string FuseMountHost::mountPoint() const {
  std::lock_guard<std::mutex> lock(pathMu_);
  return mountPoint_;
}

size_t FuseMountHost::openHandles() {
  std::lock_guard<std::mutex> lock(mu_);
  return fs_ ? fs_->openHandles() : 0;
}

Status FuseMountHost::mount(std::shared_ptr<Volume> volume, const std::string& mountPoint) {
  std::lock_guard<std::mutex> lock(mu_);
  if (session_ != nullptr) return Status(Status::kBusy, "already mounted at " + this->mountPoint());
  if (!volume || !volume->isStarted()) return Status(Status::kInvalid, "the volume is not started");
  Status st = PrepareMountPoint(mountPoint);
  if (!st.ok()) return st;
  // Resolved now: once mounted, resolving it would ask the new file system.
  char* resolved = ::realpath(mountPoint.c_str(), nullptr);
  if (resolved == nullptr) return Status(Status::kIo, "cannot resolve " + mountPoint, errno);
  const std::string absolute = resolved;
  std::free(resolved);

  const MountConfig& config = volume->config();
  std::string options = "fsname=tarn:" + OptionText(config.id) + ",subtype=" + kSubtype + ",max_read=" +
                        std::to_string(tuning_.maxIoBytes);
  // The service mounts as root for every user of the machine.
  if (IsRoot()) options += ",allow_other";
  if (config.compat.readOnly) options += ",ro";
  std::string program = "tarn";
  std::string dashO = "-o";
  char* argv[] = {program.data(), dashO.data(), options.data(), nullptr};
  fuse_args args = FUSE_ARGS_INIT(3, argv);

  fs_ = std::make_unique<FuseFs>(volume, tuning_, shares_);
  session_ = fuse_session_new(&args, &FuseFs::Operations(), sizeof(fuse_lowlevel_ops), fs_.get());
  fuse_opt_free_args(&args);
  if (session_ == nullptr) {
    fs_.reset();
    return Status(Status::kIo, "cannot start a fuse session");
  }
  fs_->setSession(session_);
  if (fuse_session_mount(session_, absolute.c_str()) != 0) {
    fuse_session_destroy(session_);
    session_ = nullptr;
    fs_.reset();
    return Status(Status::kIo, "cannot mount at " + mountPoint);
  }
  {
    // Absolute, so that taking it down does not depend on the caller's
    // working folder.
    std::lock_guard<std::mutex> pathLock(pathMu_);
    mountPoint_ = absolute;
  }
  device_ = MountDevice(absolute);
  connection_ = FuseConnection::Of(device_);
  loopEnded_ = false;
  fuse_session* session = session_;
  const FuseTuning tuning = tuning_;
  loop_ = std::thread([this, session, tuning] {
    fuse_loop_config* loop = fuse_loop_cfg_create();
    // Each thread reads requests from a descriptor of its own.
    fuse_loop_cfg_set_clone_fd(loop, 1);
    fuse_loop_cfg_set_max_threads(loop, tuning.maxThreads);
    fuse_loop_cfg_set_idle_threads(loop, tuning.maxIdleThreads);
    fuse_session_loop_mt(session, loop);
    fuse_loop_cfg_destroy(loop);
    std::lock_guard<std::mutex> ended(loopMu_);
    loopEnded_ = true;
    loopCv_.notify_all();
  });
  if (!waitAnswerLocked(kMountAnswerMs)) {
    vx::log::write(vx::log::kError, "%s: the file system at %s did not answer", Id(*volume), mountPoint.c_str());
    endSessionLocked();
    return Status(Status::kTimeout, "the file system did not answer at " + mountPoint);
  }
  raiseReadaheadLocked();
  mounted_ = true;
  vx::log::write(vx::log::kInfo, "%s: mounted at %s", Id(*volume), mountPoint.c_str());
  return Status();
}

bool FuseMountHost::waitAnswerLocked(uint32_t timeoutMs) {
  // The stat blocks until the loop has answered INIT and GETATTR, so it
  // runs on a thread of its own that the wait can give up on.
  struct Probe {
    std::mutex mu;
    std::condition_variable cv;
    bool done = false;   // guarded by mu
    bool ok = false;     // guarded by mu
  } probe;
  const std::string path = mountPoint();
  std::thread prober([&probe, path] {
    struct stat st;
    const bool answered = ::stat(path.c_str(), &st) == 0 && st.st_ino == FUSE_ROOT_ID && IsMountPoint(path, st);
    std::lock_guard<std::mutex> lock(probe.mu);
    probe.done = true;
    probe.ok = answered;
    probe.cv.notify_all();
  });
  bool ok = false;
  {
    std::unique_lock<std::mutex> lock(probe.mu);
    probe.cv.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return probe.done; });
    ok = probe.done && probe.ok;
  }
  // A stat still blocked ends once the caller takes the mount down.
  if (!ok) takeDownLocked();
  prober.join();
  return ok;
}

void FuseMountHost::raiseReadaheadLocked() {
  if (tuning_.readaheadKb == 0 || !IsRoot()) return;
  // The kernel starts a FUSE mount at 128 KiB of readahead whatever INIT asks.
  const std::string knob = "/sys/class/bdi/" + std::to_string(major(device_)) + ":" + std::to_string(minor(device_)) +
                           "/read_ahead_kb";
  const std::string value = std::to_string(tuning_.readaheadKb);
  int fd = ::open(knob.c_str(), O_WRONLY | O_CLOEXEC);
  if (fd < 0 || !vx::WriteAll(fd, value.data(), value.size()))
    vx::log::write(vx::log::kDebug, "mount: cannot set %s", knob.c_str());
  if (fd >= 0) ::close(fd);
}

void FuseMountHost::takeDownLocked() {
  if (session_ == nullptr || loopEnded_.load()) return;
  const std::string path = mountPoint();
  if (IsRoot()) {
    if (::umount2(path.c_str(), 0) != 0 && errno == EBUSY) {
      // Files are still open: a forced unmount aborts the connection, so
      // every waiting request fails, and the detach takes the folder back.
      ::umount2(path.c_str(), MNT_FORCE);
      ::umount2(path.c_str(), MNT_DETACH);
    }
  } else {
    RunUnmountHelper(path);
  }
  // A lazy unmount, or a reference the kernel still holds elsewhere, keeps
  // the connection alive after the folder is free.
  std::unique_lock<std::mutex> lock(loopMu_);
  if (!loopCv_.wait_for(lock, std::chrono::milliseconds(kLoopEndMs), [&] { return loopEnded_.load(); }) &&
      device_ != 0)
    connection_.abort();
}

void FuseMountHost::endSessionLocked() {
  if (loop_.joinable()) loop_.join();
  if (session_ != nullptr) {
    fuse_session_unmount(session_);
    fuse_session_destroy(session_);
    session_ = nullptr;
  }
  if (fs_) fs_->closeAll();
  fs_.reset();
  device_ = 0;
  connection_ = FuseConnection();
}

Status FuseMountHost::unmount(uint32_t flushTimeoutMs) {
  std::lock_guard<std::mutex> lock(mu_);
  if (session_ == nullptr) return Status();
  const std::string path = mountPoint();
  std::shared_ptr<Volume> volume = fs_->volume();
  fs_->flushOpen();
  takeDownLocked();
  endSessionLocked();
  mounted_ = false;
  if (flushTimeoutMs != 0 && !volume->waitUploadsIdle(flushTimeoutMs))
    vx::log::write(vx::log::kWarn, "%s: unmounted with uploads still pending; they go on at the next start",
                   Id(*volume));
  vx::log::write(vx::log::kInfo, "%s: unmounted from %s", Id(*volume), path.c_str());
  return Status();
}

std::unique_ptr<IMountHost> MakeMountHost(std::shared_ptr<OpenFileShares> shares) {
  return std::make_unique<FuseMountHost>(FuseTuning(), std::move(shares));
}

}  // namespace tarn
