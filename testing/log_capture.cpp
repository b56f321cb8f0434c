#include "testing/log_capture.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "foundation/log.h"

namespace tarn::test {

namespace {
constexpr const char* kLogName = "capture";
}  // namespace

LogCapture::LogCapture() {
  std::string pattern = (std::filesystem::temp_directory_path() / "tarn-log-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) std::abort();
  dir_ = pattern;
  file_ = dir_ + "/" + kLogName + ".log";
  ::setenv("MOXEL_DEBUG", "1", 1);
  vx::log::open(dir_, kLogName);
}

LogCapture::~LogCapture() {
  std::error_code ignored;
  std::filesystem::remove_all(dir_, ignored);
}

std::string LogCapture::text() const {
  std::ifstream in(file_, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

int LogCapture::countLines(const std::string& fragment) const {
  std::istringstream in(text());
  int count = 0;
  for (std::string line; std::getline(in, line);)
    if (line.find(fragment) != std::string::npos) ++count;
  return count;
}

}  // namespace tarn::test
