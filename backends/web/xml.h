// A lenient reader for the XML replies of web storage servers (WebDAV
// multistatus, S3 listings and errors) and the escaping of text for the small
// XML bodies the back-ends send. Elements are looked up by lower-case local
// name; attributes, namespaces, comments and declarations are dropped.
//
// XmlStreamParser reads a document fed in pieces as it arrives from the
// network; with a child handler it hands out each element directly below the
// root as soon as it is complete and keeps nothing of it, so a reply of any
// length is read in memory bounded by its largest such element. ParseXml is
// the same parser over a document held whole.
//
// A parser and a tree belong to the one caller that made them; separate
// documents may be parsed on any number of threads.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace tarn {

// Deeper documents are refused so that a hostile reply cannot exhaust
// memory; the replies the system reads nest a handful of levels.
constexpr size_t kMaxXmlDepth = 256;
// The most bytes a streaming parser with a child handler holds at once: one
// element below the root, or one piece of markup or text between them. Real
// entries of a listing are a few KiB.
constexpr size_t kMaxXmlHeldBytes = 1 << 20;

struct XmlNode {
  std::string name;  // local name, ASCII lower-cased
  std::string text;  // own character data, entity-decoded, CDATA raw
  std::vector<std::unique_ptr<XmlNode>> children;

  XmlNode() = default;
  XmlNode(const XmlNode&) = delete;
  XmlNode& operator=(const XmlNode&) = delete;
  ~XmlNode();

  const XmlNode* child(std::string_view name) const;
  std::vector<const XmlNode*> childrenNamed(std::string_view name) const;
  std::string childText(std::string_view name) const;
  // First descendant in document order; the node itself is not tested.
  const XmlNode* find(std::string_view name) const;
};

class XmlStreamParser {
 public:
  // Gets each complete element directly below the root, which is dropped
  // afterwards; returning false stops the parse as a failure.
  using ChildHandler = std::function<bool(const XmlNode&)>;

  // Without a handler the whole tree is kept and nothing is capped. With
  // one, the root keeps neither children nor text, and holding more than
  // maxHeldBytes at once fails the parse.
  explicit XmlStreamParser(ChildHandler onChild = {}, size_t maxHeldBytes = kMaxXmlHeldBytes);
  ~XmlStreamParser();
  XmlStreamParser(const XmlStreamParser&) = delete;
  XmlStreamParser& operator=(const XmlStreamParser&) = delete;

  // Reads the next bytes of the document; false once it is malformed (or a
  // handler stopped it). Bytes after the root element are not read.
  bool feed(std::string_view piece);
  // The root once its start tag was read (its name tells the document kind).
  const XmlNode* root() const { return root_.get(); }
  // True once the root element ended; later bytes are ignored.
  bool complete() const { return rootDone_; }
  // The parse failed because it would have held more than its limit.
  bool heldTooMuch() const { return tooLarge_; }
  // Ends the document: the root, or null when it is malformed, unfinished or
  // holds no element.
  std::unique_ptr<XmlNode> finish();

 private:
  enum class Step { kDone, kMore, kFail };

  // Consumes what it can of data from pos; returns false on failure.
  bool consume(std::string_view data, size_t& pos);
  Step markup(std::string_view data, size_t& pos);
  Step startTag(std::string_view data, size_t& pos);
  Step endTag(std::string_view data, size_t& pos);
  // After an element's end at endPos: marks the root complete or hands out a child.
  Step ended(XmlNode* node, size_t endPos);
  // Where character data goes now; null when it is dropped.
  XmlNode* textTarget() const;
  bool overHeldLimit(size_t dataEnd, size_t pos) const;

  ChildHandler onChild_;
  size_t maxHeld_;
  std::string pending_;                // bytes fed but not yet consumed
  uint64_t consumedBefore_ = 0;        // stream offset of pending_'s first byte
  std::unique_ptr<XmlNode> root_;
  std::unique_ptr<XmlNode> child_;     // the element below the root being read, with a handler
  uint64_t childStart_ = 0;            // stream offset where child_ began
  std::vector<XmlNode*> open_;         // open elements, outermost first
  bool bomChecked_ = false;
  bool rootDone_ = false;
  bool failed_ = false;
  bool tooLarge_ = false;
};

// The root element, or null when the document is malformed or has no element.
std::unique_ptr<XmlNode> ParseXml(std::string_view document);
std::string XmlEscape(std::string_view text);
std::string DecodeXmlText(std::string_view text);
std::string XmlLocalName(std::string_view tag);

}  // namespace tarn
