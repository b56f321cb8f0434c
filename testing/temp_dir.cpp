#include "testing/temp_dir.h"

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>

namespace tarn::test {

TempDir::TempDir(const std::string& prefix, mode_t mode) {
  std::string pattern = (std::filesystem::temp_directory_path() / (prefix + "-XXXXXX")).string();
  if (::mkdtemp(pattern.data()) == nullptr || ::chmod(pattern.c_str(), mode) != 0) std::abort();
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

}  // namespace tarn::test
