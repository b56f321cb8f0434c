// vx::json::Value: the one JSON type of the system (configuration files,
// control-pipe messages, server replies, repository records). A plain value:
// objects keep their members in insertion order, a missing member reads as a
// shared null, typed accessors never throw. A Value is not synchronised; the
// shared null is immutable and may be read from any thread.
//
// Numbers are held as doubles. Every conversion to an integer is range
// checked: NaN, infinities and numbers outside the target range give the
// caller's default. Non-finite numbers are written as null.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

namespace vx::json {

// Containers may enclose a value up to this many levels deep.
constexpr int kMaxDepth = 64;

class Value {
 public:
  enum Kind : uint32_t { kNull = 0, kBool = 1, kNumber = 2, kString = 3, kArray = 4, kObject = 5 };

  Value() = default;
  Value(bool b) : kind(kBool), boolean(b) {}  // NOLINT(google-explicit-constructor)
  template <class T>
    requires(std::is_arithmetic_v<T> && !std::is_same_v<T, bool>)
  Value(T n) : kind(kNumber), number(static_cast<double>(n)) {}  // NOLINT(google-explicit-constructor)
  Value(const char* s) : kind(kString), string(s ? s : "") {}  // NOLINT(google-explicit-constructor)
  Value(std::string s) : kind(kString), string(std::move(s)) {}  // NOLINT(google-explicit-constructor)
  Value(std::string_view s) : kind(kString), string(s) {}  // NOLINT(google-explicit-constructor)

  Value(const Value&) = default;
  Value& operator=(const Value&) = default;
  Value(Value&& other) noexcept = default;
  Value& operator=(Value&& other) noexcept = default;

  static Value object();
  static Value array();

  bool isNull() const { return kind == kNull; }
  bool isBool() const { return kind == kBool; }
  bool isNumber() const { return kind == kNumber; }
  bool isString() const { return kind == kString; }
  bool isArray() const { return kind == kArray; }
  bool isObject() const { return kind == kObject; }

  bool asBool(bool def = false) const;
  double asDouble(double def = 0.0) const;
  int64_t asInt64(int64_t def = 0) const;
  int asInt(int def = 0) const;
  // For values a caller must have exactly: true when this is a number with
  // no fractional part from `low` to `high`, which goes into `out`; false
  // for anything else (a string of digits, a bool, 1.5, 1e300), leaving
  // `out` as it was.
  bool asWholeNumber(int64_t low, int64_t high, int64_t& out) const;
  std::string asString(const std::string& def = std::string()) const;
  std::u16string asWString(const std::u16string& def = std::u16string()) const;

  // Member of an object, or the shared null. Never inserts.
  const Value& operator[](std::string_view key) const;
  bool has(std::string_view key) const;
  // Item of an array (member value of an object), or the shared null.
  const Value& at(size_t index) const;
  size_t size() const;

  // Replaces an existing member in place or appends a new one; a non-object
  // becomes an empty object first.
  void set(std::string key, Value value);
  // A non-array becomes an empty array first.
  void append(Value value);

  // Negative indent: compact text; 0 or more: one element per line.
  std::string dump(int32_t indent = -1) const;

  // Fields that do not belong to the current kind are stale and never read.
  uint32_t kind = kNull;
  bool boolean = false;
  double number = 0.0;
  std::string string;
  std::vector<std::string> keys;  // kObject
  std::vector<Value> items;       // kArray elements, or kObject member values
};

// Bounds on what a text may make the parser build, for texts from other
// users: the values (each scalar, array and object counts one) and the depth.
struct ParseLimits {
  size_t maxValues = SIZE_MAX;
  int maxDepth = kMaxDepth;
};

// True when `text` is exactly one JSON value, which is moved into `out`. On
// failure `out` is untouched and, when `error` is given, it receives the
// parser's text ("JSON parse error at offset N: ...").
bool Parse(std::string_view text, Value& out, std::string* error = nullptr);
bool Parse(std::string_view text, Value& out, const ParseLimits& limits, std::string* error = nullptr);

// `text` as a quoted JSON string literal.
std::string EscapeString(std::string_view text);

}  // namespace vx::json
