// The TCP connection an SSH session runs on.
#pragma once

#include <cstdint>
#include <string>

#include "foundation/status.h"

namespace tarn {

// "host:port", an IPv6 address in brackets.
std::string HostPort(const std::string& host, uint32_t port);

// Connects to the first address of host that answers within timeoutMs and
// sets fd to the blocking socket (no delay, keepalive on): network (14) or
// timeout (15) otherwise.
Status ConnectTcp(const std::string& host, uint32_t port, uint32_t timeoutMs, int& fd);

}  // namespace tarn
