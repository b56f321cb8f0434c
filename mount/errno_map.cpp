#include "mount/errno_map.h"

#include <cerrno>
#include <iterator>

namespace tarn {
namespace {

// Indexed by Status::Code.
constexpr int kErrnoByCode[] = {
    0,          // ok
    ENOENT,     // not-found
    EEXIST,     // exists
    EACCES,     // access-denied
    EACCES,     // auth-failed: the server refused our login, not the caller
    ENOTEMPTY,  // not-empty
    EISDIR,     // is-directory
    ENOTDIR,    // not-directory
    ENOSPC,     // no-space
    EFBIG,      // too-large
    EINVAL,     // invalid
    ENOTSUP,    // unsupported
    EBUSY,      // busy
    EIO,        // conflict: no errno says "changed elsewhere"; callers see an I/O failure
    EIO,        // network: a read that cannot reach the server fails like a bad disk
    ETIMEDOUT,  // timeout
    ECANCELED,  // canceled: EINTR would make callers retry a stopping drive
    EIO,        // io
    EIO,        // protocol
};
static_assert(std::size(kErrnoByCode) == Status::kProtocol + 1, "one errno per status code");

}  // namespace

int StatusToErrno(const Status& status) {
  if (status.code < 0 || status.code >= static_cast<int32_t>(std::size(kErrnoByCode))) return EIO;
  return kErrnoByCode[status.code];
}

}  // namespace tarn
