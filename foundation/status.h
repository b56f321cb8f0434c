// The result of every operation of the product layer, the one time type of
// remote attributes, and the byte-count formatter. Plain values; any thread.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tarn {

struct Status {
  enum Code : int32_t {
    kOk = 0,
    kNotFound = 1,
    kExists = 2,
    kAccessDenied = 3,
    kAuthFailed = 4,
    kNotEmpty = 5,
    kIsDirectory = 6,
    kNotDirectory = 7,
    kNoSpace = 8,
    kTooLarge = 9,
    kInvalid = 10,
    kUnsupported = 11,
    kBusy = 12,
    kConflict = 13,
    kNetwork = 14,
    kTimeout = 15,
    kCanceled = 16,
    kIo = 17,
    kProtocol = 18,
  };

  int32_t code = kOk;
  std::string message;
  int32_t native = 0;

  Status() = default;
  Status(int32_t code, std::string message, int32_t native = 0)
      : code(code), message(std::move(message)), native(native) {}
  Status(const Status&) = default;
  Status& operator=(const Status&) = default;
  Status(Status&& other) noexcept
      : code(other.code), message(std::move(other.message)), native(other.native) {
    other.message.clear();
  }
  Status& operator=(Status&& other) noexcept {
    code = other.code;
    message = std::move(other.message);
    native = other.native;
    if (this != &other) other.message.clear();
    return *this;
  }

  bool ok() const { return code == kOk; }
  // Network failures and time-outs are the only codes a retry can cure.
  bool retryable() const { return code == kNetwork || code == kTimeout; }
  // "code: message", as log lines and replies carry it; programs read the
  // code from it, the number stays in `native`.
  std::string toString() const;
  // What a user reads inside a sentence: the message, without the code's
  // text; a bare path gets what happened to it ("/a: not found").
  std::string words() const;

  static const char* CodeText(int32_t code);
};

// The words of a status's text (toString) after its code: "auth-failed:
// credentials rejected" gives "credentials rejected". Any other text comes
// back as it stands.
std::string_view StatusTextWords(std::string_view text);

struct Timestamp {
  int64_t seconds = 0;
  uint32_t nanoseconds = 0;

  static constexpr uint64_t kUnixEpochFileTime = 116444736000000000ULL;

  bool isZero() const { return seconds == 0 && nanoseconds == 0; }
  static Timestamp fromFileTime(uint64_t filetime);
  uint64_t toFileTime() const;
  static Timestamp now();
  // Truncates to the 100 ns resolution of the stored time unit.
  static Timestamp fromTimespec(int64_t sec, int64_t nsec);

  friend bool operator==(const Timestamp&, const Timestamp&) = default;
};

std::string FormatBytes(uint64_t bytes);
// "1 file", "2 files": a count with its word, as messages and logs read.
std::string Counted(uint64_t count, const char* one, const char* many);

}  // namespace tarn
