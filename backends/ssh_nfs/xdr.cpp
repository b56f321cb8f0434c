#include "backends/ssh_nfs/xdr.h"

#include <cstring>

namespace tarn {

void XdrWriter::putU32(uint32_t v) {
  const uint8_t b[4] = {static_cast<uint8_t>(v >> 24), static_cast<uint8_t>(v >> 16), static_cast<uint8_t>(v >> 8),
                        static_cast<uint8_t>(v)};
  buf_.insert(buf_.end(), b, b + 4);
}

void XdrWriter::putU64(uint64_t v) {
  putU32(static_cast<uint32_t>(v >> 32));
  putU32(static_cast<uint32_t>(v));
}

void XdrWriter::putFixed(const uint8_t* data, size_t length) {
  if (length > 0) buf_.insert(buf_.end(), data, data + length);
  buf_.insert(buf_.end(), XdrPad(length), 0);
}

void XdrWriter::putOpaque(const uint8_t* data, size_t length) {
  putU32(static_cast<uint32_t>(length));
  putFixed(data, length);
}

bool XdrReader::take(size_t n) {
  if (!ok_ || n > left_) {
    fail();
    return false;
  }
  return true;
}

uint32_t XdrReader::getU32() {
  if (!take(4)) return 0;
  const uint32_t v = (uint32_t{p_[0]} << 24) | (uint32_t{p_[1]} << 16) | (uint32_t{p_[2]} << 8) | uint32_t{p_[3]};
  p_ += 4;
  left_ -= 4;
  return v;
}

uint64_t XdrReader::getU64() {
  const uint64_t hi = getU32();
  const uint64_t lo = getU32();
  return ok_ ? (hi << 32) | lo : 0;
}

bool XdrReader::getBool() {
  const uint32_t v = getU32();
  // Anything but 0 or 1 is a malformed discriminant, not "true".
  if (v > 1) fail();
  return ok_ && v == 1;
}

bool XdrReader::getFixed(uint8_t* out, size_t n) {
  const size_t padded = n + XdrPad(n);
  if (padded < n || !take(padded)) return false;
  if (n > 0) std::memcpy(out, p_, n);
  p_ += padded;
  left_ -= padded;
  return true;
}

bool XdrReader::getOpaqueView(size_t maxLength, const uint8_t*& data, size_t& length) {
  data = nullptr;
  length = 0;
  const uint32_t n = getU32();
  if (!ok_) return false;
  if (n > maxLength) {
    fail();
    return false;
  }
  const size_t padded = size_t{n} + XdrPad(n);
  if (!take(padded)) return false;
  data = p_;
  length = n;
  p_ += padded;
  left_ -= padded;
  return true;
}

std::vector<uint8_t> XdrReader::getOpaque(size_t maxLength) {
  const uint8_t* data = nullptr;
  size_t length = 0;
  if (!getOpaqueView(maxLength, data, length)) return {};
  return std::vector<uint8_t>(data, data + length);
}

std::string XdrReader::getString(size_t maxLength) {
  const uint8_t* data = nullptr;
  size_t length = 0;
  if (!getOpaqueView(maxLength, data, length)) return {};
  return std::string(reinterpret_cast<const char*>(data), length);
}

void XdrReader::skip(size_t n) {
  if (!take(n)) return;
  p_ += n;
  left_ -= n;
}

}  // namespace tarn
