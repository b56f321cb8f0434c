#include "backends/web/xml.h"

#include <cstdint>

#include "foundation/text.h"

namespace tarn {
namespace {

constexpr uint32_t kMaxCodePoint = 0x10FFFF;

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
