// Folder listings come from a repository that may be damaged or forged: the
// reader must never crash, and whatever it accepts must write back to a
// listing that reads the same.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "backup/repo/folder_listing.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tarn::backup;
  std::vector<ListingEntry> entries;
  if (!ParseFolderListing(std::string_view(reinterpret_cast<const char*>(data), size), entries)) return 0;
  std::string text = WriteFolderListing(entries);
  std::vector<ListingEntry> again;
  if (!ParseFolderListing(text, again) || again.size() != entries.size()) std::abort();
  if (WriteFolderListing(again) != text) std::abort();
  return 0;
}
