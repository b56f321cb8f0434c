// SHA-2 digests, HMAC-SHA256 and random bytes over the system's crypto
// library. Stateless free functions; any thread. Failures throw vx::Error,
// which callers turn into a failed tarn::Status at their boundary.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace vx {

constexpr size_t kSha256Size = 32;

// Digest (or HMAC when `key` is given) by algorithm name "SHA256", "SHA384"
// or "SHA512" over up to two spans; a span with a null pointer or length 0
// is skipped.
std::vector<uint8_t> HashData(std::string_view algorithm, const void* data1, size_t size1, const void* data2,
                              size_t size2, const std::vector<uint8_t>* key = nullptr);

std::vector<uint8_t> Sha256(const std::vector<uint8_t>& data);
std::vector<uint8_t> Sha256(const void* data, size_t size);
std::vector<uint8_t> Sha256(std::span<const uint8_t> data);

std::vector<uint8_t> HmacSha256(const std::vector<uint8_t>& key, const void* data, size_t size);

// `count` bytes from the system's generator; throws "BCryptGenRandom failed".
std::vector<uint8_t> RandomBytes(size_t count);

}  // namespace vx
