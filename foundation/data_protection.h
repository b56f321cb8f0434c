// Sealing of secrets bound to this computer: AES-256-GCM under a key derived
// from the machine secret (32 random bytes in etc/tarn/machine.key, made once,
// readable by root only) and the caller's entropy text. Any process that can
// read the machine secret can open what another sealed; a copy of the sealed
// bytes on another computer, or with another entropy, does not open.
// Stateless free functions; any thread.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vx {

// Where the machine secret lives: /etc/tarn/machine.key, or below
// $TARN_ROOT when that is set.
std::string MachineKeyPath();

// True on success; `out` is replaced. On failure `out` is left untouched.
bool ProtectData(const std::vector<uint8_t>& plain, std::string_view entropy,
                 std::vector<uint8_t>& out);
bool UnprotectData(const std::vector<uint8_t>& sealed, std::string_view entropy,
                   std::vector<uint8_t>& out);

}  // namespace vx
