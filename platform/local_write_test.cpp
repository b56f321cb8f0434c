#include "platform/local_write.h"

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "testing/temp_dir.h"

namespace tarn::localfs {
namespace {

namespace fs = std::filesystem;

std::string Read(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// What lies at a name before a file is made for it, whether the file is
// made without a name first, and whether it is first offered its final name
// directly: in every case the file ends under its name and nothing outside
// the folder changes. Offered its final name, an unnamed file takes it only
// where nothing is there, and leaves the temporary name alone.
TEST(WriteFolder, FilesAreMadeAndPlacedWithoutFollowingLinks) {
  enum class Before { kNothing, kOldFile, kLinkOut };
  struct Case {
    const char* name;
    Before temp;   // at the temporary name
    Before final;  // at the final name
  } cases[] = {
      {"fresh", Before::kNothing, Before::kNothing},
      {"old temporary", Before::kOldFile, Before::kNothing},
      {"links at both names", Before::kLinkOut, Before::kLinkOut},
      {"old file replaced", Before::kNothing, Before::kOldFile},
  };
  for (auto [unnamed, direct] : {std::pair{true, false}, {false, false}, {true, true}, {false, true}}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(c.name) + (unnamed ? ", made without a name" : ", named at once") +
                   (direct ? ", offered its name" : ""));
      tarn::test::TempDir dir("tarn-write");
      const std::string outside = dir.file("outside.txt");
      std::ofstream(outside) << "keep";
      fs::create_directory(dir.file("in"));
      auto prepare = [&](const std::string& name, Before what) {
        if (what == Before::kOldFile) std::ofstream(dir.file("in/" + name)) << "old";
        if (what == Before::kLinkOut) fs::create_symlink(outside, dir.file("in/" + name));
      };
      prepare("f.tmp", c.temp);
      prepare("f", c.final);

      WriteFolder folder;
      ASSERT_TRUE(WriteFolder::open(dir.file("in"), folder).ok());
      WriteFile file;
      ASSERT_TRUE(folder.createFile("f.tmp", file, unnamed).ok());
      const std::string data = "new content";
      ASSERT_TRUE(file.writeAt(4, reinterpret_cast<const uint8_t*>(data.data()) + 4, data.size() - 4).ok());
      ASSERT_TRUE(file.writeAt(0, reinterpret_cast<const uint8_t*>(data.data()), 4).ok());
      ASSERT_TRUE(file.setMode(0440).ok());
      bool named = false;
      if (direct) {
        ASSERT_TRUE(folder.nameFileAs(file, "f", named).ok());
      }
      EXPECT_EQ(named, direct && unnamed && c.final == Before::kNothing);
      if (!named) {
        ASSERT_TRUE(folder.nameFile(file).ok());
      }
      ASSERT_TRUE(file.close().ok());
      if (!named) {
        ASSERT_TRUE(folder.rename("f.tmp", "f").ok());
      }

      EXPECT_EQ(Read(dir.file("in/f")), data);
      struct stat st {};
      ASSERT_EQ(::lstat(dir.file("in/f").c_str(), &st), 0);
      EXPECT_TRUE(S_ISREG(st.st_mode));
      EXPECT_EQ(st.st_mode & 07777, 0440u);
      EXPECT_EQ(fs::exists(fs::symlink_status(dir.file("in/f.tmp"))), named && c.temp != Before::kNothing);
      EXPECT_EQ(Read(outside), "keep");
    }
  }
}

// Only a folder that openFolder itself made counts as made (and empty).
TEST(WriteFolder, OnlyAFolderItMakesCountsAsMade) {
  tarn::test::TempDir dir("tarn-write");
  fs::create_directory(dir.file("old"));
  WriteFolder top, made, old, opened;
  ASSERT_TRUE(WriteFolder::open(dir.path(), top).ok());
  EXPECT_FALSE(top.made());
  ASSERT_TRUE(top.openFolder("new", true, made).ok());
  EXPECT_TRUE(made.made());
  ASSERT_TRUE(top.openFolder("old", true, old).ok());
  EXPECT_FALSE(old.made());
  ASSERT_TRUE(top.openFolder("new", false, opened).ok());
  EXPECT_FALSE(opened.made());
}

// The service runs with an umask of 077 while it restores with a caller's
// own: a folder it makes has the bits asked for, whatever its umask, and a
// folder that was there keeps its own.
TEST(WriteFolder, MadeFoldersHaveTheBitsAskedForWhateverTheUmask) {
  tarn::test::TempDir dir("tarn-write");
  fs::create_directory(dir.file("old"));
  ::chmod(dir.file("old").c_str(), 0711);
  const mode_t before = ::umask(077);
  WriteFolder top, made, old, inner;
  ASSERT_TRUE(WriteFolder::open(dir.path(), top).ok());
  const Status byPath = WriteFolder::openPath(dir.file("by-path/inner"), 0, true, 0755, 0750, inner);
  const Status byName = top.openFolder("by-name", true, made, 0750);
  const Status kept = top.openFolder("old", true, old, 0777);
  ::umask(before);
  ASSERT_TRUE(byPath.ok() && byName.ok() && kept.ok());
  const struct {
    const char* name;
    mode_t mode;
  } cases[] = {{"by-path", 0750}, {"by-path/inner", 0755}, {"by-name", 0750}, {"old", 0711}};
  for (const auto& c : cases) {
    struct stat st {};
    ASSERT_EQ(::lstat(dir.file(c.name).c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, c.mode) << c.name;
  }
}

// A folder's bits and owner are set on the folder that was opened, even
// when a link has taken its name since; a folder is made owner-only.
TEST(WriteFolder, ModeAndOwnerGoToTheOpenedFolderNeverThroughALink) {
  tarn::test::TempDir dir("tarn-write", 0755);
  fs::create_directory(dir.file("elsewhere"));
  ::chmod(dir.file("elsewhere").c_str(), 0755);
  WriteFolder top, made;
  ASSERT_TRUE(WriteFolder::open(dir.path(), top).ok());
  ASSERT_TRUE(top.openFolder("new", true, made).ok());
  struct stat st {};
  ASSERT_EQ(::lstat(dir.file("new").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0700u);

  fs::rename(dir.file("new"), dir.file("moved"));
  fs::create_directory_symlink(dir.file("elsewhere"), dir.file("new"));
  ASSERT_TRUE(made.setMode(02751).ok());
  ASSERT_TRUE(made.setOwner(4242, 4343).ok());
  ASSERT_EQ(::lstat(dir.file("moved").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 02751u);
  EXPECT_EQ(st.st_uid, 4242u);
  EXPECT_EQ(st.st_gid, 4343u);
  ASSERT_EQ(::lstat(dir.file("elsewhere").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0755u);
  EXPECT_EQ(st.st_uid, 0u);
}

}  // namespace
}  // namespace tarn::localfs
