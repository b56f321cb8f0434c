// XDR encoding and decoding (big-endian, four-byte aligned) for the ONC RPC
// client and the NFS protocols. XdrWriter builds one message; XdrReader walks
// one received message, which is hostile input: every length is checked
// against the bytes left and against the caller's cap before anything is
// read, and the first failure makes the reader fail for good, so a caller can
// decode a whole record and look at ok() once. Plain values; one thread each.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tarn {

class XdrWriter {
 public:
  void putU32(uint32_t v);
  void putU64(uint64_t v);
  void putBool(bool v) { putU32(v ? 1 : 0); }
  // Fixed-length opaque: the bytes and their padding, no length word.
  void putFixed(const uint8_t* data, size_t length);
  // Variable-length opaque: the length word, the bytes and their padding.
  void putOpaque(const uint8_t* data, size_t length);
  void putOpaque(const std::vector<uint8_t>& data) { putOpaque(data.data(), data.size()); }
  void putString(const std::string& s) { putOpaque(reinterpret_cast<const uint8_t*>(s.data()), s.size()); }

  const std::vector<uint8_t>& bytes() const { return buf_; }
  std::vector<uint8_t>& mutableBytes() { return buf_; }
  size_t size() const { return buf_.size(); }

 private:
  std::vector<uint8_t> buf_;
};

class XdrReader {
 public:
  XdrReader(const uint8_t* data, size_t size) : p_(data), left_(size) {}

  uint32_t getU32();
  uint64_t getU64();
  bool getBool();
  // Fixed-length opaque of n bytes (padding skipped) into out.
  bool getFixed(uint8_t* out, size_t n);
  // Variable-length opaque of at most maxLength bytes.
  std::vector<uint8_t> getOpaque(size_t maxLength);
  // A view of a variable-length opaque inside the message; no copy.
  bool getOpaqueView(size_t maxLength, const uint8_t*& data, size_t& length);
  std::string getString(size_t maxLength);
  void skip(size_t n);

  bool ok() const { return ok_; }
  size_t remaining() const { return left_; }
  // Marks the message malformed, e.g. when a decoded value is out of range.
  void fail() {
    ok_ = false;
    left_ = 0;
  }

 private:
  bool take(size_t n);

  const uint8_t* p_;
  size_t left_;
  bool ok_ = true;
};

// Bytes of padding after n bytes of opaque data.
constexpr size_t XdrPad(size_t n) { return (4 - (n & 3)) & 3; }

}  // namespace tarn
