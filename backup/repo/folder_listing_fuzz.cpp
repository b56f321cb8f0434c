// Folder listings come from a repository that may be damaged or forged: the
// reader must never crash, and whatever it accepts must write back to a
// listing that reads and writes the same from then on. (Not necessarily on
// the first pass: a size above 2^53 given as a digit string is read exactly
// but written as a number, which readers take through a double.)
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
  std::string first = WriteFolderListing(entries);
  std::vector<ListingEntry> again;
  if (!ParseFolderListing(first, again) || again.size() != entries.size()) std::abort();
  std::string second = WriteFolderListing(again);
  std::vector<ListingEntry> third;
  if (!ParseFolderListing(second, third) || WriteFolderListing(third) != second) std::abort();
  return 0;
}
