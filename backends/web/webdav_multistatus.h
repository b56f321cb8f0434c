// Reading of the 207 multistatus replies of WebDAV servers as their bodies
// stream in: MultistatusReader checks the document kind and hands out one
// response element at a time; PropfindReader keeps of a PROPFIND reply only
// what the caller asked for (the object's own attributes, its direct
// children's entries, the space figures), so a listing of any length costs
// the memory of its entries and one response element.
//
// A reader serves one reply on the caller's thread.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "backends/web/webdav_backend.h"
#include "backends/web/xml.h"
#include "foundation/backend_types.h"
#include "foundation/status.h"
#include "platform/http_client.h"

namespace tarn {

class MultistatusReader {
 public:
  // Called for each response element in document order; a failure stops
  // the reading and becomes its result.
  using OnResponse = std::function<Status(const XmlNode& response)>;

  // operation names the request in messages ("PROPFIND").
  MultistatusReader(std::string operation, OnResponse onResponse);

  // Reads the next bytes of the body; a failure is final.
  Status feed(std::string_view piece);
  // Ends the body: ok when it was a whole multistatus document.
  Status finish();
  // The root element ended: what follows is not read.
  bool complete() const { return parser_.complete(); }
  const std::string& operation() const { return operation_; }
  // Response elements met so far, handed out or not.
  uint64_t responses() const { return responses_; }

 private:
  Status notMultistatus() const;

  std::string operation_;
  OnResponse onResponse_;
  Status stopped_;  // the handler's failure, or a refused document
  bool failed_ = false;
  uint64_t responses_ = 0;
  XmlStreamParser parser_;
};

// Streams the rest of a reply body into the reader, within the limits.
// What follows the document is read up to a small limit, so that the
// connection stays usable.
Status ReadMultistatus(http::HttpRequest& request, MultistatusReader& reader, const DavReplyLimits& limits);

class PropfindReader : public MultistatusReader {
 public:
  // reference: the server-side path asked about (base path included,
  // decoded, normalised), which the hrefs are compared with. A listing
  // whose entries take more than maxListingBytes fails.
  PropfindReader(std::string reference, int depth, bool wantStats,
                 uint64_t maxListingBytes = DavReplyLimits().maxListingBytes);

  // A response described the object itself; own() holds the last such one.
  bool found() const { return found_; }
  const RemoteAttr& own() const { return own_; }
  // The direct children at depth 1, in document order; a name met again
  // keeps its first entry.
  DirListing& entries() { return entries_; }
  const FsStats& stats() const { return stats_; }
  // Children left out because their properties could not be read, and the
  // first of them with the reason.
  uint64_t skipped() const { return skipped_; }
  const std::string& firstSkipped() const { return firstSkipped_; }

 private:
  Status take(const XmlNode& response);

  std::string reference_;
  int depth_;
  bool wantStats_;
  uint64_t maxListingBytes_;
  bool found_ = false;
  RemoteAttr own_;
  DirListing entries_;
  FsStats stats_;
  uint64_t skipped_ = 0;
  std::string firstSkipped_;
};

// A 207 answer to COPY, MOVE or DELETE as the one status it stands for:
// the first failure among the members it names (a 424, which only follows
// from another failure, when there is no other), 200 when every member
// succeeded, and 207 itself when the body is no whole multistatus document
// or names no status at all.
inline constexpr uint32_t kDavMultiStatus = 207;
uint32_t MultistatusOutcome(std::string_view body);
// Replaces a 207 answer's status by the one it stands for; protocol when
// its body cannot be read, for then nothing tells what the request did.
Status TakeMultistatusOutcome(DavResponse& response, const std::string& verb, const std::string& path);

// The code of a status line ("HTTP/1.1 412 Precondition Failed"); 0 when
// it holds none.
uint32_t StatusLineCode(std::string_view line);

// The prop element of the first propstat whose status says 200; null when
// there is none.
const XmlNode* ChosenProp(const XmlNode& response);
// The attributes a prop element describes. A size that is not a decimal
// number within kMaxRemoteFileBytes is refused, so that no wrapped or
// negative length reaches the cache.
Status AttrFromProp(const XmlNode& prop, RemoteAttr& out);

}  // namespace tarn
