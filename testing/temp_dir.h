// A fresh folder under the system's temporary folder for one test, removed
// with everything in it when the object ends. Tests that act as another user
// ask for a mode that lets that user in. Not shared between threads.
#pragma once

#include <sys/types.h>

#include <string>

namespace tarn::test {

class TempDir {
 public:
  explicit TempDir(const std::string& prefix = "tarn-test", mode_t mode = 0700);
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  // path() + "/" + name
  std::string file(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

}  // namespace tarn::test
