// The value type and the writer of vx::json; the parser is json_parse.cpp.
#include "foundation/json.h"

#include <charconv>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <locale.h>
#include <limits>

#include "foundation/json_number.h"
#include "foundation/text.h"

namespace vx::json {

using detail::NumberText;
using detail::ParseDouble;

namespace {

// 2^63: the first double above the signed 64-bit range.
constexpr double kInt64Limit = 9223372036854775808.0;

const Value& SharedNull() {
  static const Value null;
  return null;
}

// Rounds half away from zero; false for NaN, infinities and results outside
// the signed 64-bit range.
bool RoundToInt64(double d, int64_t& out) {
  if (!std::isfinite(d)) return false;
  // Adding 0.5 would round odd integers from 2^52 up to the next even one.
  const double r = std::round(d);
  if (r < -kInt64Limit || r >= kInt64Limit) return false;
  out = static_cast<int64_t>(r);
  return true;
}

void AppendNewline(std::string& out, int32_t indent, int depth) {
  if (indent < 0) return;
  out.push_back('\n');
  out.append(static_cast<size_t>(indent) * static_cast<size_t>(depth), ' ');
}

void Write(const Value& v, std::string& out, int32_t indent, int depth) {
  switch (v.kind) {
    case Value::kBool:
      out += v.boolean ? "true" : "false";
      return;
    case Value::kNumber:
      out += NumberText(v.number);
      return;
    case Value::kString:
      out += EscapeString(v.string);
      return;
    case Value::kArray:
      if (v.items.empty()) {
        out += "[]";
        return;
      }
      out.push_back('[');
      for (size_t i = 0; i < v.items.size(); ++i) {
        if (i > 0) out.push_back(',');
        AppendNewline(out, indent, depth + 1);
        Write(v.items[i], out, indent, depth + 1);
      }
      AppendNewline(out, indent, depth);
      out.push_back(']');
      return;
    case Value::kObject:
      if (v.keys.empty()) {
        out += "{}";
        return;
      }
      out.push_back('{');
      for (size_t i = 0; i < v.keys.size(); ++i) {
        if (i > 0) out.push_back(',');
        AppendNewline(out, indent, depth + 1);
        out += EscapeString(v.keys[i]);
        out.push_back(':');
        if (indent >= 0) out.push_back(' ');
        Write(v.items[i], out, indent, depth + 1);
      }
      AppendNewline(out, indent, depth);
      out.push_back('}');
      return;
    default:
      out += "null";
      return;
  }
}

}  // namespace

namespace detail {

std::string NumberText(double d) {
  // Infinities and NaN have no JSON text; null is what every reader accepts.
  if (!std::isfinite(d)) return "null";
  if (d >= -kInt64Limit && d < kInt64Limit) {
    auto i = static_cast<int64_t>(d);
    if (static_cast<double>(i) == d) return std::to_string(i);
  }
  // to_chars is printf's "%.17g" in the C locale, whatever the process's
  // locale says about the decimal point.
  char buffer[64];
  auto result = std::to_chars(buffer, buffer + sizeof buffer, d, std::chars_format::general, 17);
  return std::string(buffer, result.ptr);
}

double ParseDouble(const char* text) {
  static const locale_t c_locale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
  return strtod_l(text, nullptr, c_locale);
}

}  // namespace detail

Value Value::object() {
  Value v;
  v.kind = kObject;
  return v;
}

Value Value::array() {
  Value v;
  v.kind = kArray;
  return v;
}

bool Value::asBool(bool def) const {
  switch (kind) {
    case kBool:
      return boolean;
    case kNumber:
      return number != 0.0;
    default:
      return def;
  }
}

double Value::asDouble(double def) const {
  switch (kind) {
    case kBool:
      return boolean ? 1.0 : 0.0;
    case kNumber:
      return number;
    case kString:
      return ParseDouble(string.c_str());
    default:
      return def;
  }
}

int64_t Value::asInt64(int64_t def) const {
  switch (kind) {
    case kBool:
      return boolean ? 1 : 0;
    case kNumber: {
      int64_t out;
      return RoundToInt64(number, out) ? out : def;
    }
    case kString:
      // strtoll saturates on overflow instead of wrapping.
      return std::strtoll(string.c_str(), nullptr, 10);
    default:
      return def;
  }
}

bool Value::asWholeNumber(int64_t low, int64_t high, int64_t& out) const {
  if (kind != kNumber || !std::isfinite(number) || std::trunc(number) != number) return false;
  int64_t n = 0;
  if (!RoundToInt64(number, n) || n < low || n > high) return false;
  out = n;
  return true;
}

int Value::asInt(int def) const {
  // A sentinel outside the int range tells an unconvertible value from one
  // that happens to equal the default.
  constexpr int64_t kNone = std::numeric_limits<int64_t>::min();
  int64_t v = asInt64(kNone);
  if (v == kNone || v < std::numeric_limits<int>::min() || v > std::numeric_limits<int>::max()) return def;
  return static_cast<int>(v);
}

std::string Value::asString(const std::string& def) const {
  switch (kind) {
    case kBool:
      return boolean ? "true" : "false";
    case kNumber:
      return std::isfinite(number) ? NumberText(number) : def;
    case kString:
      return string;
    default:
      return def;
  }
}

std::u16string Value::asWString(const std::u16string& def) const {
  switch (kind) {
    case kNull:
      return def;
    case kBool:
    case kNumber:
    case kString:
      return Utf8ToWide(asString());
    default:
      return {};
  }
}

const Value& Value::operator[](std::string_view key) const {
  if (kind != kObject) return SharedNull();
  for (size_t i = 0; i < keys.size(); ++i)
    if (keys[i] == key) return items[i];
  return SharedNull();
}

bool Value::has(std::string_view key) const {
  if (kind != kObject) return false;
  for (const auto& k : keys)
    if (k == key) return true;
  return false;
}

const Value& Value::at(size_t index) const {
  if ((kind != kArray && kind != kObject) || index >= items.size()) return SharedNull();
  return items[index];
}

size_t Value::size() const {
  if (kind == kObject) return keys.size();
  if (kind == kArray) return items.size();
  return 0;
}

void Value::set(std::string key, Value value) {
  if (kind != kObject) {
    kind = kObject;
    keys.clear();
    items.clear();
  }
  for (size_t i = 0; i < keys.size(); ++i) {
    if (keys[i] == key) {
      items[i] = std::move(value);
      return;
    }
  }
  keys.push_back(std::move(key));
  items.push_back(std::move(value));
}

void Value::append(Value value) {
  if (kind != kArray) {
    kind = kArray;
    keys.clear();
    items.clear();
  }
  items.push_back(std::move(value));
}

std::string Value::dump(int32_t indent) const {
  std::string out;
  Write(*this, out, indent, 0);
  return out;
}

std::string EscapeString(std::string_view text) {
  std::string out;
  out.reserve(text.size() + 2);
  out.push_back('"');
  for (char c : text) {
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\b':
        out += "\\b";
        break;
      case '\f':
        out += "\\f";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (static_cast<unsigned char>(c) < 0x20) {
          char escape[8];
          std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(static_cast<unsigned char>(c)));
          out += escape;
        } else {
          out.push_back(c);
        }
    }
  }
  out.push_back('"');
  return out;
}

}  // namespace vx::json
