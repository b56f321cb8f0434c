#include "platform/open_file_limit.h"

#include <sys/resource.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string>

#include "foundation/log.h"

namespace tarn {

namespace {

Status Failed(const char* call, int error) {
  Status st(Status::kIo, std::string(call) + ": " + std::strerror(error), error);
  vx::log::write(vx::log::kWarn, "cannot raise the open file limit: %s", st.toString().c_str());
  return st;
}

}  // namespace

Status RaiseOpenFileLimit() {
  rlimit limit{};
  if (::getrlimit(RLIMIT_NOFILE, &limit) != 0) return Failed("getrlimit", errno);
  if (limit.rlim_cur == limit.rlim_max) return Status();
  limit.rlim_cur = limit.rlim_max;
  if (::setrlimit(RLIMIT_NOFILE, &limit) != 0) return Failed("setrlimit", errno);
  return Status();
}

uint64_t OpenFileLimit() {
  rlimit limit{};
  if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return UINT64_MAX;
  return limit.rlim_cur;
}

}  // namespace tarn
