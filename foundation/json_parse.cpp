// The strict recursive-descent reader of vx::json.
#include <algorithm>
#include <cstdio>
#include <string>
#include <unordered_map>

#include "foundation/error.h"
#include "foundation/json.h"
#include "foundation/json_number.h"
#include "foundation/text.h"

namespace vx::json {

namespace {

constexpr size_t kMaxErrorText = 128;
constexpr char32_t kReplacement = 0xFFFD;
// Objects with more members than this get a key index while being read, so
// a hostile text with many keys costs linear, not quadratic, time.
constexpr size_t kIndexedObjectMembers = 16;

bool IsHigh(char32_t u) { return u >= 0xD800 && u <= 0xDBFF; }
bool IsLow(char32_t u) { return u >= 0xDC00 && u <= 0xDFFF; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

class Parser {
 public:
  Parser(std::string_view text, const ParseLimits& limits) : text_(text), limits_(limits) {}

  Value parseDocument() {
    Value v = parseValue(0);
    skipSpace();
    if (pos_ < text_.size()) fail("trailing content after JSON value");
    return v;
  }

 private:
  [[noreturn]] void fail(const char* message) const {
    char buffer[kMaxErrorText];
    std::snprintf(buffer, sizeof buffer, "JSON parse error at offset %zu: %s", pos_, message);
    throw Error(buffer);
  }

  bool atEnd() const { return pos_ >= text_.size(); }

  void skipSpace() {
    while (pos_ < text_.size()) {
      char c = text_[pos_];
      if (c != ' ' && c != '\t' && c != '\n' && c != '\r') return;
      ++pos_;
    }
  }

  Value parseValue(int depth) {
    // The limit keeps hostile nesting from exhausting the stack.
    if (depth > std::min(limits_.maxDepth, kMaxDepth)) fail("nesting too deep");
    if (++values_ > limits_.maxValues) fail("too many values");
    skipSpace();
    if (atEnd()) fail("unexpected end of input");
    switch (text_[pos_]) {
      case '"':
        return Value(parseString());
      case '[':
        return parseArray(depth);
      case '{':
        return parseObject(depth);
      case 't':
        expectLiteral("true");
        return Value(true);
      case 'f':
        expectLiteral("false");
        return Value(false);
      case 'n':
        expectLiteral("null");
        return Value();
      default:
        return Value(parseNumber());
    }
  }

  void expectLiteral(std::string_view word) {
    if (text_.substr(pos_, word.size()) != word) fail("invalid literal");
    pos_ += word.size();
  }

  double parseNumber() {
    size_t start = pos_;
    if (!atEnd() && (text_[pos_] == '-' || text_[pos_] == '+')) ++pos_;
    size_t digits = 0;
    while (!atEnd() && IsDigit(text_[pos_])) ++pos_, ++digits;
    if (!atEnd() && text_[pos_] == '.') {
      ++pos_;
      while (!atEnd() && IsDigit(text_[pos_])) ++pos_, ++digits;
    }
    if (digits == 0) fail("invalid number");
    if (!atEnd() && (text_[pos_] == 'e' || text_[pos_] == 'E')) {
      ++pos_;
      if (!atEnd() && (text_[pos_] == '-' || text_[pos_] == '+')) ++pos_;
      while (!atEnd() && IsDigit(text_[pos_])) ++pos_;
    }
    std::string number(text_.substr(start, pos_ - start));
    return detail::ParseDouble(number.c_str());
  }

  char32_t readHex4() {
    if (text_.size() - pos_ < 4) fail("truncated \\u escape");
    char32_t unit = 0;
    for (int i = 0; i < 4; ++i) {
      char c = text_[pos_];
      int v;
      if (c >= '0' && c <= '9')
        v = c - '0';
      else if (c >= 'a' && c <= 'f')
        v = c - 'a' + 10;
      else if (c >= 'A' && c <= 'F')
        v = c - 'A' + 10;
      else
        fail("invalid hex digit");
      unit = (unit << 4) | static_cast<char32_t>(v);
      ++pos_;
    }
    return unit;
  }

  // Called after "\u"; writes the code point of one escape, or of a
  // surrogate pair of two, as UTF-8. Unpaired surrogates become U+FFFD.
  void parseUnicodeEscape(std::string& out) {
    char32_t unit = readHex4();
    for (;;) {
      if (IsLow(unit)) {
        vx::AppendUtf8(out, kReplacement);
        return;
      }
      if (!IsHigh(unit)) {
        vx::AppendUtf8(out, unit);
        return;
      }
      if (text_.size() - pos_ < 2 || text_[pos_] != '\\' || text_[pos_ + 1] != 'u') {
        vx::AppendUtf8(out, kReplacement);
        return;
      }
      pos_ += 2;
      char32_t next = readHex4();
      if (IsLow(next)) {
        vx::AppendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (next - 0xDC00));
        return;
      }
      vx::AppendUtf8(out, kReplacement);
      unit = next;  // the second escape stands on its own
    }
  }

  std::string parseString() {
    ++pos_;  // opening quote
    std::string out;
    for (;;) {
      if (atEnd()) fail("unterminated string");
      char c = text_[pos_];
      if (c == '"') {
        ++pos_;
        return out;
      }
      if (static_cast<unsigned char>(c) < 0x20) fail("control character in string");
      if (c != '\\') {
        out.push_back(c);
        ++pos_;
        continue;
      }
      ++pos_;
      if (atEnd()) fail("unterminated escape");
      char e = text_[pos_++];
      switch (e) {
        case '"':
        case '\\':
        case '/':
          out.push_back(e);
          break;
        case 'b':
          out.push_back('\b');
          break;
        case 'f':
          out.push_back('\f');
          break;
        case 'n':
          out.push_back('\n');
          break;
        case 'r':
          out.push_back('\r');
          break;
        case 't':
          out.push_back('\t');
          break;
        case 'u':
          parseUnicodeEscape(out);
          break;
        default:
          --pos_;
          fail("invalid escape");
      }
    }
  }

  Value parseArray(int depth) {
    ++pos_;
    Value array = Value::array();
    skipSpace();
    if (!atEnd() && text_[pos_] == ']') {
      ++pos_;
      return array;
    }
    for (;;) {
      array.items.push_back(parseValue(depth + 1));
      skipSpace();
      if (atEnd()) fail("unexpected end of input");
      char c = text_[pos_];
      if (c == ']') {
        ++pos_;
        return array;
      }
      if (c != ',') fail("expected ',' or ']'");
      ++pos_;
    }
  }

  Value parseObject(int depth) {
    ++pos_;
    Value object = Value::object();
    skipSpace();
    if (!atEnd() && text_[pos_] == '}') {
      ++pos_;
      return object;
    }
    std::unordered_map<std::string, size_t> index;
    for (;;) {
      skipSpace();
      if (atEnd()) fail("unexpected end of input");
      if (text_[pos_] != '"') fail("object key must be a string");
      std::string key = parseString();
      skipSpace();
      if (atEnd() || text_[pos_] != ':') fail("unexpected character");
      ++pos_;
      Value value = parseValue(depth + 1);
      addMember(object, index, std::move(key), std::move(value));
      skipSpace();
      if (atEnd()) fail("unexpected end of input");
      char c = text_[pos_];
      if (c == '}') {
        ++pos_;
        return object;
      }
      if (c != ',') fail("expected ',' or '}'");
      ++pos_;
    }
  }

  // A repeated key keeps its first position and takes the last value.
  static void addMember(Value& object, std::unordered_map<std::string, size_t>& index, std::string key,
                        Value value) {
    if (object.keys.size() < kIndexedObjectMembers) {
      object.set(std::move(key), std::move(value));
      return;
    }
    if (index.empty())
      for (size_t i = 0; i < object.keys.size(); ++i) index.emplace(object.keys[i], i);
    auto [it, inserted] = index.emplace(key, object.keys.size());
    if (!inserted) {
      object.items[it->second] = std::move(value);
      return;
    }
    object.keys.push_back(std::move(key));
    object.items.push_back(std::move(value));
  }

  std::string_view text_;
  const ParseLimits limits_;
  size_t pos_ = 0;
  size_t values_ = 0;
};

}  // namespace

bool Parse(std::string_view text, Value& out, std::string* error) { return Parse(text, out, ParseLimits(), error); }

bool Parse(std::string_view text, Value& out, const ParseLimits& limits, std::string* error) {
  try {
    Value v = Parser(text, limits).parseDocument();
    out = std::move(v);
    return true;
  } catch (const std::exception& e) {
    if (error != nullptr) *error = e.what();
    return false;
  }
}

}  // namespace vx::json
