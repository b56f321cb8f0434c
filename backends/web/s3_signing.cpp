// AWS Signature Version 4 as this system applies it, with the encoding of
// request paths and query strings that the signature and the URL share.
#include <algorithm>
#include <ctime>

#include "backends/web/s3_backend.h"
#include "foundation/codec.h"
#include "foundation/hash.h"

namespace tarn {
namespace {

constexpr const char* kSigAlgorithm = "AWS4-HMAC-SHA256";
constexpr const char* kScopeTerminator = "aws4_request";

bool Unreserved(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
         c == '_' || c == '~';
}

// Trimmed, with every run of blanks inside reduced to one (tabs stay).
std::string CanonicalHeaderValue(std::string_view value) {
  std::string trimmed = TrimSpace(value);
  std::string out;
  out.reserve(trimmed.size());
  for (char c : trimmed) {
    if (c == ' ' && !out.empty() && out.back() == ' ') continue;
    out += c;
  }
  return out;
}

std::vector<uint8_t> Hmac(const std::vector<uint8_t>& key, std::string_view data) {
  return vx::HmacSha256(key, data.data(), data.size());
}

std::string Sha256Hex(std::string_view data) { return vx::HexEncode(vx::Sha256(data.data(), data.size())); }

}  // namespace

std::string S3UriEncode(std::string_view text, bool encodeSlash) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(text.size() + 16);
  for (char ch : text) {
    auto c = static_cast<unsigned char>(ch);
    if (Unreserved(c) || (c == '/' && !encodeSlash)) {
      out += ch;
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 0xF];
    }
  }
  return out;
}

std::string S3CanonicalQuery(const S3Pairs& query) {
  S3Pairs encoded;
  encoded.reserve(query.size());
  for (const auto& [name, value] : query) encoded.emplace_back(S3UriEncode(name, true), S3UriEncode(value, true));
  std::sort(encoded.begin(), encoded.end());
  std::string out;
  for (const auto& [name, value] : encoded) {
    if (!out.empty()) out += '&';
    out += name;
    out += '=';
    out += value;
  }
  return out;
}

std::string AmzDate(int64_t unixSeconds) {
  std::time_t t = static_cast<std::time_t>(unixSeconds);
  std::tm tm{};
  gmtime_r(&t, &tm);
  char text[64];
  std::snprintf(text, sizeof text, "%04d%02d%02dT%02d%02d%02dZ", tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday,
                tm.tm_hour, tm.tm_min, tm.tm_sec);
  return text;
}

SigV4Result S3Backend::sign(const SigV4Request& request) {
  SigV4Result result;
  S3Pairs headers;
  headers.reserve(request.headers.size());
  for (const auto& [name, value] : request.headers) headers.emplace_back(ToLower(name), CanonicalHeaderValue(value));
  std::sort(headers.begin(), headers.end());

  std::string canonicalHeaders;
  for (const auto& [name, value] : headers) {
    canonicalHeaders += name + ":" + value + "\n";
    if (!result.signedHeaders.empty()) result.signedHeaders += ';';
    result.signedHeaders += name;
  }
  result.canonicalRequest = request.method + "\n" + request.path + "\n" + S3CanonicalQuery(request.query) + "\n" +
                            canonicalHeaders + "\n" + result.signedHeaders + "\n" + request.payloadHash;

  const std::string date = request.amzDate.substr(0, 8);
  const std::string scope = date + "/" + request.region + "/" + request.service + "/" + kScopeTerminator;
  result.stringToSign =
      std::string(kSigAlgorithm) + "\n" + request.amzDate + "\n" + scope + "\n" + Sha256Hex(result.canonicalRequest);

  // Derived anew for every request: nothing secret is kept between calls.
  std::string secret = "AWS4" + request.secretKey;
  std::vector<uint8_t> key = Hmac(std::vector<uint8_t>(secret.begin(), secret.end()), date);
  key = Hmac(key, request.region);
  key = Hmac(key, request.service);
  key = Hmac(key, kScopeTerminator);
  result.signature = vx::HexEncode(Hmac(key, result.stringToSign));
  result.authorization = std::string(kSigAlgorithm) + " Credential=" + request.accessKey + "/" + scope +
                         ", SignedHeaders=" + result.signedHeaders + ", Signature=" + result.signature;
  return result;
}

}  // namespace tarn
