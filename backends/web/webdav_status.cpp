// Mapping of transport failures and HTTP answers onto statuses, and the
// parsing of the texts that every WebDAV reply carries (times, hrefs).
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "backends/web/webdav_backend.h"
#include "foundation/remote_path.h"
#include "foundation/text.h"

namespace tarn {
namespace {

bool IsSpaceByte(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

// Days since 1970-01-01 of a proleptic Gregorian date.
int64_t DaysFromCivil(int64_t y, int64_t m, int64_t d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

int DaysInMonth(int y, int m) {
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
  return m == 2 && leap ? 29 : kDays[m - 1];
}

int MonthFromName(const char* name) {
  static const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                  "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  for (int i = 0; i < 12; ++i)
    if (strncasecmp(name, kMonths[i], 3) == 0) return i + 1;
  return 0;
}

}  // namespace

// The range FILETIME/SYSTEMTIME accept; anything else is unreadable.
bool UtcToUnixSeconds(int y, int mo, int d, int h, int mi, int s, int64_t& out) {
  if (y < 1601 || y > 30827 || mo < 1 || mo > 12 || d < 1 || d > DaysInMonth(y, mo) || h < 0 || h > 23 ||
      mi < 0 || mi > 59 || s < 0 || s > 59)
    return false;
  out = DaysFromCivil(y, mo, d) * 86400 + h * 3600 + mi * 60 + s;
  return true;
}

// RFC 1123 ("Sun, 06 Nov 1994 08:49:37 GMT"), RFC 850 and asctime forms.
bool ParseHttpDate(const std::string& text, int64_t& out) {
  int d = 0, y = 0, h = 0, mi = 0, s = 0;
  char mon[4] = {};
  char tail = 0;
  if (std::sscanf(text.c_str(), "%*[A-Za-z], %d %3s %d %d:%d:%d %c", &d, mon, &y, &h, &mi, &s, &tail) == 7 &&
      tail == 'G')
    return UtcToUnixSeconds(y, MonthFromName(mon), d, h, mi, s, out);
  if (std::sscanf(text.c_str(), "%*[A-Za-z], %d-%3s-%d %d:%d:%d %c", &d, mon, &y, &h, &mi, &s, &tail) == 7 &&
      tail == 'G') {
    if (y < 100) y += y < 70 ? 2000 : 1900;
    return UtcToUnixSeconds(y, MonthFromName(mon), d, h, mi, s, out);
  }
  if (std::sscanf(text.c_str(), "%*3s %3s %d %d:%d:%d %d", mon, &d, &h, &mi, &s, &y) == 6)
    return UtcToUnixSeconds(y, MonthFromName(mon), d, h, mi, s, out);
  return false;
}

Status WinHttpError(uint32_t error, const std::string& step, std::string_view words) {
  std::string text = step + ": " + (words.empty() ? vx::FormatWin32Error(error) : std::string(words));
  const auto native = static_cast<int32_t>(error);
  switch (error) {
    case http::kErrTimeout:
      return Status(Status::kTimeout, text, native);
    // Only the caller's token cancels a request: not a network failure to
    // retry after dropping the connection.
    case http::kErrCancelled:
      return Status(Status::kCanceled, text, native);
    case http::kErrClientCertNeeded:
    case http::kErrSecureFailure: {
      const bool plain = words.find("wrong version number") != std::string_view::npos;
      return Status(Status::kAuthFailed, "TLS: " + text + std::string(plain ? kPlainPortHint : kUncheckedTlsHint),
                    native);
    }
    // Not a refused log-in: this side does not trust the server, and will
    // not until the certificate or the drive's settings change.
    case http::kErrCertAuthorityInvalid:
    case http::kErrCertNameInvalid:
    case http::kErrCertDateInvalid:
      return Status(Status::kInvalid, "TLS: " + text + std::string(kUncheckedTlsHint), native);
    case http::kErrInvalidServerResponse:
    case http::kErrHeaderSizeOverflow:
      return Status(Status::kProtocol, text, native);
    default:
      return Status(Status::kNetwork, text, native);
  }
}

Status HttpStatusError(uint32_t status, const std::string& operation, const std::string& path) {
  if (status >= 200 && status <= 299) return Status();
  const auto native = static_cast<int32_t>(status);
  std::string base = operation + " " + path + " -> HTTP " + std::to_string(status);
  switch (status) {
    case 401: return Status(Status::kAuthFailed, "credentials rejected", native);
    case 403: return Status(Status::kAccessDenied, base, native);
    case 404:
    case 410: return Status(Status::kNotFound, base, native);
    case 405: return Status(Status::kExists, base, native);
    case 409: return Status(Status::kNotFound, base + " (parent missing)", native);
    case 412: return Status(Status::kExists, base + " (precondition failed)", native);
    case 413: return Status(Status::kTooLarge, base, native);
    case 416: return Status(Status::kInvalid, base + " (range)", native);
    case 423: return Status(Status::kBusy, base + " (locked)", native);
    case 500: return Status(Status::kProtocol, base, native);
    case 502:
    case 503:
    case 504: return Status(Status::kNetwork, base, native);
    case 507: return Status(Status::kNoSpace, base + " (insufficient storage)", native);
    default: break;
  }
  return Status(status < 500 ? Status::kIo : Status::kNetwork, base, native);
}

std::string TrimSpace(std::string_view text) {
  while (!text.empty() && IsSpaceByte(text.back())) text.remove_suffix(1);
  while (!text.empty() && IsSpaceByte(text.front())) text.remove_prefix(1);
  return std::string(text);
}

std::string NormalizeEtag(std::string_view text) {
  std::string etag = TrimSpace(text);
  if (etag.compare(0, 2, "W/") == 0) etag.erase(0, 2);
  if (etag.size() >= 2 && etag.front() == '"' && etag.back() == '"') etag = etag.substr(1, etag.size() - 2);
  return etag;
}

Timestamp ParseHttpTime(std::string_view view) {
  if (view.empty()) return Timestamp{};
  std::string text(view);
  int64_t seconds = 0;
  if (ParseHttpDate(text, seconds)) return Timestamp{seconds, 0};

  int y = 0, mo = 0, d = 0, h = 0, mi = 0;
  double sec = 0;
  int fields = std::sscanf(text.c_str(), "%d-%d-%dT%d:%d:%lf", &y, &mo, &d, &h, &mi, &sec);
  if (fields < 5) return Timestamp{};
  if (fields == 5 || !(sec >= 0 && sec < 60)) sec = fields == 5 ? 0 : -1;
  if (!UtcToUnixSeconds(y, mo, d, h, mi, static_cast<int>(sec), seconds)) return Timestamp{};

  constexpr size_t kZoneSearchFrom = 19;
  if (text.size() > kZoneSearchFrom) {
    size_t sign = text.find_first_of("+-", kZoneSearchFrom);
    if (sign != std::string::npos && text.size() - sign - 1 >= 4) {
      int zh = 0, zm = 0;
      if (std::sscanf(text.c_str() + sign + 1, "%d:%d", &zh, &zm) >= 1) {
        int64_t offset = (static_cast<int64_t>(zh) * 60 + zm) * 60;
        seconds += text[sign] == '+' ? -offset : offset;
      }
    }
  }
  return Timestamp{seconds, 0};
}

bool ParseRemoteSize(std::string_view text, uint64_t& out) {
  if (text.empty()) return false;
  uint64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + static_cast<uint64_t>(c - '0');
    // Checked per digit, so the product above never wraps.
    if (value > kMaxRemoteFileBytes) return false;
  }
  out = value;
  return true;
}

bool DrainBody(http::HttpRequest& request, size_t limit) {
  uint8_t scratch[4096];
  for (size_t dropped = 0; dropped <= limit;) {
    size_t got = 0;
    if (request.read(scratch, sizeof scratch, got) != 0) return false;
    if (got == 0) return true;
    dropped += got;
  }
  return false;
}

namespace {

// The href without its scheme and host.
std::string_view HrefPathPart(std::string_view s) {
  size_t scheme = s.find("://");
  if (scheme != std::string_view::npos) {
    size_t slash = s.find('/', scheme + 3);
    s = slash == std::string_view::npos ? std::string_view("/") : s.substr(slash);
  }
  return s;
}

}  // namespace

std::string HrefToPath(std::string_view href) {
  std::string_view s = HrefPathPart(href);
  size_t q = s.find('?');
  if (q != std::string_view::npos) s = s.substr(0, q);
  return PercentDecode(s);
}

namespace {

// True for what no server that escapes its hrefs writes: a "%" that begins
// no escape, an escape of a letter or a digit (which need none), of "/" or
// NUL (which no name holds), or escapes that make a "." or ".." segment.
bool WrittenUnescaped(std::string_view path) {
  auto nibble = [](char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  };
  for (size_t i = 0; i < path.size(); ++i) {
    if (path[i] != '%') continue;
    const int hi = i + 2 < path.size() ? nibble(path[i + 1]) : -1;
    const int lo = i + 2 < path.size() ? nibble(path[i + 2]) : -1;
    if (hi < 0 || lo < 0) return true;
    const char byte = static_cast<char>(hi << 4 | lo);
    const bool alnum = (byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') || (byte >= '0' && byte <= '9');
    if (alnum || byte == '/' || byte == '\0') return true;
  }
  const std::string decoded = PercentDecode(path);
  size_t start = 0;
  for (;;) {
    const size_t end = std::min(decoded.find('/', start), decoded.size());
    const std::string_view segment = std::string_view(decoded).substr(start, end - start);
    if (segment == "." || segment == "..") return true;
    if (end == decoded.size()) return false;
    start = end + 1;
  }
}

}  // namespace

std::string HrefToRawPath(std::string_view href) {
  const std::string_view path = HrefPathPart(href);
  return WrittenUnescaped(path) ? std::string(path) : PercentDecode(path);
}

}  // namespace tarn
