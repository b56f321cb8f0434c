#include "backup/engine/local_path.h"

#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "testing/temp_dir.h"

namespace tarn::backup {
namespace {

namespace fs = std::filesystem;

TEST(LocalPath, JoinPath) {
  struct Case {
    const char* folder;
    const char* name;
    const char* joined;
  } cases[] = {
      {"/", "a", "/a"},
      {"/data", "a", "/data/a"},
      {"/data/", "a", "/data/a"},
      {"", "a", "/a"},
      // A backslash is part of a Linux name, never a separator.
      {"/odd\\", "b", "/odd\\/b"},
  };
  for (const auto& c : cases) EXPECT_EQ(JoinPath(c.folder, c.name), c.joined) << c.folder << " + " << c.name;
}

TEST(LocalPath, FullLocalPathIsLexical) {
  char cwd[4096];
  ASSERT_NE(::getcwd(cwd, sizeof cwd), nullptr);
  std::string here = cwd;
  struct Case {
    std::string path;
    std::string full;
  } cases[] = {
      {"/", "/"},
      {"/backup//", "/backup"},
      {"//a///b/", "/a/b"},
      {"/a/./b/../c", "/a/c"},
      {"/..", "/"},
      {"/a/../../b", "/b"},
      {"", ""},
      {"rel/x", here == "/" ? "/rel/x" : here + "/rel/x"},
      {".", here},
  };
  for (const auto& c : cases) EXPECT_EQ(FullLocalPath(c.path), c.full) << c.path;

  // A link is not resolved: its parent stays the one the path names.
  test::TempDir dir("tarn-path");
  fs::create_directories(dir.file("deep/target"));
  fs::create_directory_symlink(dir.file("deep/target"), dir.file("link"));
  EXPECT_EQ(FullLocalPath(dir.file("link/..")), dir.path());
}

}  // namespace
}  // namespace tarn::backup
