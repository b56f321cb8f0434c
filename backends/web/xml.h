// A lenient reader for the XML replies of web storage servers (WebDAV
// multistatus, S3 listings and errors) and the escaping of text for the small
// XML bodies the back-ends send. Elements are looked up by lower-case local
// name; attributes, namespaces, comments and declarations are dropped.
//
// Pure functions over the document in hand: any thread may parse, and a tree
// belongs to the one caller that parsed it.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace tarn {

// Deeper documents are refused so that a hostile reply cannot exhaust the
// stack; the replies the system reads nest a handful of levels.
constexpr size_t kMaxXmlDepth = 256;

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

// The root element, or null when the document is malformed or has no element.
std::unique_ptr<XmlNode> ParseXml(std::string_view document);
std::string XmlEscape(std::string_view text);
std::string DecodeXmlText(std::string_view text);
std::string XmlLocalName(std::string_view tag);

}  // namespace tarn
