// The SSH binary encoding (RFC 4251 section 5) as the private-key reader and
// signer need it: a bounds-checked reader over untrusted bytes and a writer
// that builds key blobs and signatures. Plain values, owned by their user;
// no shared state, so any thread may use its own instances.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tarn {

class SshWireReader {
 public:
  explicit SshWireReader(std::span<const uint8_t> data) : data_(data) {}

  // Each read fails (returns false and leaves the reader failed) when the
  // input is too short; a failed reader fails every later read, so a parser
  // may check once at the end.
  bool readU32(uint32_t& out);
  bool readBytes(size_t count, std::span<const uint8_t>& out);
  bool readString(std::span<const uint8_t>& out);
  bool readString(std::string& out);
  // An mpint as unsigned big-endian magnitude without leading zeros;
  // negative numbers fail.
  bool readMpint(std::span<const uint8_t>& out);

  size_t remaining() const { return failed_ ? 0 : data_.size() - pos_; }
  std::span<const uint8_t> rest() const { return data_.subspan(failed_ ? data_.size() : pos_); }
  bool failed() const { return failed_; }

 private:
  std::span<const uint8_t> data_;
  size_t pos_ = 0;
  bool failed_ = false;
};

class SshWireWriter {
 public:
  void u32(uint32_t value);
  void string(std::span<const uint8_t> bytes);
  void string(std::string_view text);
  // Writes an unsigned big-endian magnitude as an mpint: leading zeros
  // dropped, one zero byte added when the top bit is set.
  void mpint(std::span<const uint8_t> magnitude);
  void raw(std::span<const uint8_t> bytes);

  const std::vector<uint8_t>& bytes() const { return out_; }
  std::vector<uint8_t> take() { return std::move(out_); }

 private:
  std::vector<uint8_t> out_;
};

}  // namespace tarn
