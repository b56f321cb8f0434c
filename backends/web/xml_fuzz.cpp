// Feeds arbitrary bytes to the XML reader and walks the tree it returns.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "backends/web/xml.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view doc(reinterpret_cast<const char*>(data), size);
  auto root = tarn::ParseXml(doc);
  if (root != nullptr) {
    (void)root->find("href");
    (void)root->childrenNamed("response");
    (void)tarn::XmlEscape(root->text);
  }
  (void)tarn::DecodeXmlText(doc);
  return 0;
}
