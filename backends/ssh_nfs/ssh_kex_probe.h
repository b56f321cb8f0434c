// What an SSH server offers in its first key exchange message, read over a
// connection of its own: the SSH library reports a failed negotiation only
// as "unable to exchange encryption keys", and the user needs to hear what
// was missing. The message is read before any key is agreed, so it is plain
// text; it is untrusted input, read within bounds.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/status.h"

namespace tarn {

// The host key algorithms the server offers, in its order of preference.
Status ReadServerHostKeyAlgorithms(const std::string& host, uint32_t port, uint32_t timeoutMs,
                                   std::vector<std::string>& out);

// The host key algorithms of the server's key exchange message (the payload
// of its first binary packet, message number included).
bool ParseKexInitHostKeys(std::string_view payload, std::vector<std::string>& out);

}  // namespace tarn
