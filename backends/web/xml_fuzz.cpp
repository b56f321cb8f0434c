// Feeds arbitrary bytes to the XML reader, whole and split in two at a point
// taken from the input, and checks that both readings give the same tree.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "backends/web/xml.h"

namespace {

std::string Dump(const tarn::XmlNode* n) {
  if (n == nullptr) return "null";
  std::string out = "<" + n->name + ">" + n->text;
  for (const auto& c : n->children) out += Dump(c.get());
  return out + "</>";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view doc(reinterpret_cast<const char*>(data), size);
  auto root = tarn::ParseXml(doc);
  if (root != nullptr) {
    (void)root->find("href");
    (void)root->childrenNamed("response");
    (void)tarn::XmlEscape(root->text);
  }
  (void)tarn::DecodeXmlText(doc);

  const size_t cut = size == 0 ? 0 : data[0] % (size + 1);
  tarn::XmlStreamParser parser;
  parser.feed(doc.substr(0, cut));
  parser.feed(doc.substr(cut));
  if (Dump(parser.finish().get()) != Dump(root.get())) std::abort();
  return 0;
}
