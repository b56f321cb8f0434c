#include "backends/web/xml.h"

#include <cstdint>

#include "foundation/text.h"

namespace tarn {
namespace {

constexpr uint32_t kMaxCodePoint = 0x10FFFF;

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

int DigitValue(char c, bool hex) {
  if (c >= '0' && c <= '9') return c - '0';
  if (!hex) return -1;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Decodes a character reference name (after '#'); false drops it.
bool CharRef(std::string_view name, uint32_t& value) {
  bool hex = !name.empty() && (name[0] == 'x' || name[0] == 'X');
  std::string_view digits = hex ? name.substr(1) : name;
  if (digits.empty()) return false;
  value = 0;
  for (char c : digits) {
    int d = DigitValue(c, hex);
    if (d < 0) return false;
    value = value * (hex ? 16u : 10u) + static_cast<uint32_t>(d);
    if (value > kMaxCodePoint) return false;  // also keeps the sum from wrapping
  }
  return value != 0;
}

struct Cursor {
  std::string_view doc;
  size_t pos = 0;
};

enum class Step { kOk, kFail };

Step ParseXmlContent(Cursor& c, XmlNode* current, bool topLevel, std::unique_ptr<XmlNode>& root, size_t depth);

// Handles one markup item at c.pos (which holds '<'). Sets closed when the
// current element ended or, at the top level, the root was completed.
Step ParseMarkup(Cursor& c, XmlNode* current, bool topLevel, std::unique_ptr<XmlNode>& root, size_t depth,
                 bool& closed) {
  std::string_view d = c.doc;
  size_t lt = c.pos;
  std::string_view rest = d.substr(lt);
  if (rest.starts_with("<!--")) {
    size_t end = d.find("-->", lt);
    if (end == std::string_view::npos) return Step::kFail;
    c.pos = end + 3;
    return Step::kOk;
  }
  if (rest.starts_with("<![CDATA[")) {
    size_t end = d.find("]]>", lt);
    if (end == std::string_view::npos) return Step::kFail;
    // A "]]>" overlapping the opening marker leaves an empty section.
    size_t start = lt + 9;
    if (current != nullptr && end > start) current->text.append(d.substr(start, end - start));
    c.pos = end + 3;
    return Step::kOk;
  }
  if (rest.starts_with("<?") || rest.starts_with("<!")) {
    size_t gt = d.find('>', lt);
    if (gt == std::string_view::npos) return Step::kFail;
    c.pos = gt + 1;
    return Step::kOk;
  }
  if (rest.starts_with("</")) {
    size_t gt = d.find('>', lt);
    if (gt == std::string_view::npos) return Step::kFail;
    std::string name = XmlLocalName(d.substr(lt + 2, gt - lt - 2));
    while (!name.empty() && IsSpace(name.back())) name.pop_back();
    c.pos = gt + 1;
    if (current == nullptr || current->name != name) return Step::kFail;
    closed = true;
    return Step::kOk;
  }
  // A start tag.
  size_t i = lt + 1;
  while (i < d.size() && !IsSpace(d[i]) && d[i] != '>' && d[i] != '/') ++i;
  std::string name = XmlLocalName(d.substr(lt + 1, i - lt - 1));
  bool empty = false;
  for (;;) {
    if (i >= d.size()) return Step::kFail;
    char ch = d[i];
    if (ch == '"' || ch == '\'') {
      if (i + 1 >= d.size()) return Step::kFail;
      size_t q = d.find(ch, i + 1);
      if (q == std::string_view::npos) return Step::kFail;
      i = q + 1;
      continue;
    }
    if (ch == '/' && i + 1 < d.size() && d[i + 1] == '>') {
      empty = true;
      i += 2;
      break;
    }
    if (ch == '>') {
      ++i;
      break;
    }
    ++i;
  }
  c.pos = i;
  auto node = std::make_unique<XmlNode>();
  node->name = std::move(name);
  XmlNode* raw = node.get();
  if (topLevel) {
    root = std::move(node);
  } else {
    current->children.push_back(std::move(node));
  }
  if (!empty) {
    if (depth + 1 > kMaxXmlDepth) return Step::kFail;
    if (ParseXmlContent(c, raw, false, root, depth + 1) == Step::kFail) return Step::kFail;
  }
  if (topLevel) closed = true;
  return Step::kOk;
}

Step ParseXmlContent(Cursor& c, XmlNode* current, bool topLevel, std::unique_ptr<XmlNode>& root, size_t depth) {
  std::string_view d = c.doc;
  for (;;) {
    if (c.pos >= d.size()) return topLevel ? Step::kOk : Step::kFail;
    size_t lt = d.find('<', c.pos);
    if (lt == std::string_view::npos) {
      if (topLevel) return Step::kOk;
      current->text += DecodeXmlText(d.substr(c.pos));
      c.pos = d.size();
      return Step::kFail;
    }
    if (lt > c.pos && !topLevel) current->text += DecodeXmlText(d.substr(c.pos, lt - c.pos));
    c.pos = lt;
    bool closed = false;
    if (ParseMarkup(c, current, topLevel, root, depth, closed) == Step::kFail) return Step::kFail;
    if (closed) return Step::kOk;
  }
}

}  // namespace

XmlNode::~XmlNode() = default;

const XmlNode* XmlNode::child(std::string_view n) const {
  for (const auto& c : children)
    if (c->name == n) return c.get();
  return nullptr;
}

std::vector<const XmlNode*> XmlNode::childrenNamed(std::string_view n) const {
  std::vector<const XmlNode*> out;
  for (const auto& c : children)
    if (c->name == n) out.push_back(c.get());
  return out;
}

std::string XmlNode::childText(std::string_view n) const {
  const XmlNode* c = child(n);
  return c != nullptr ? c->text : std::string();
}

const XmlNode* XmlNode::find(std::string_view n) const {
  for (const auto& c : children) {
    if (c->name == n) return c.get();
    if (const XmlNode* hit = c->find(n)) return hit;
  }
  return nullptr;
}

std::unique_ptr<XmlNode> ParseXml(std::string_view document) {
  Cursor c{document, 0};
  if (document.size() >= 3 && static_cast<unsigned char>(document[0]) == 0xEF) c.pos = 3;
  std::unique_ptr<XmlNode> root;
  if (ParseXmlContent(c, nullptr, true, root, 0) == Step::kFail) return nullptr;
  return root;
}

std::string XmlEscape(std::string_view text) {
  std::string out;
  out.reserve(text.size() + 8);
  for (char ch : text) {
    switch (ch) {
      case '"': out += "&quot;"; break;
      case '&': out += "&amp;"; break;
      case '\'': out += "&apos;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      default: out += ch;
    }
  }
  return out;
}

std::string DecodeXmlText(std::string_view text) {
  constexpr size_t kMaxEntityName = 9;
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    if (text[i] != '&') {
      out += text[i++];
      continue;
    }
    size_t semi = text.find(';', i + 1);
    if (semi == std::string_view::npos || semi - i - 1 > kMaxEntityName) {
      out += text[i++];
      continue;
    }
    std::string_view name = text.substr(i + 1, semi - i - 1);
    if (name == "lt") out += '<';
    else if (name == "gt") out += '>';
    else if (name == "amp") out += '&';
    else if (name == "quot") out += '"';
    else if (name == "apos") out += '\'';
    else if (!name.empty() && name[0] == '#') {
      uint32_t v = 0;
      if (CharRef(name.substr(1), v)) vx::AppendUtf8(out, v);
    } else {
      out.append(text.substr(i, semi - i + 1));
    }
    i = semi + 1;
  }
  return out;
}

std::string XmlLocalName(std::string_view tag) {
  size_t colon = tag.find(':');
  std::string out(colon == std::string_view::npos ? tag : tag.substr(colon + 1));
  for (char& ch : out)
    if (ch >= 'A' && ch <= 'Z') ch = static_cast<char>(ch - 'A' + 'a');
  return out;
}

}  // namespace tarn
