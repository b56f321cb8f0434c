#include "foundation/remote_path.h"

#include <gtest/gtest.h>

namespace tarn {
namespace {

TEST(RemotePathTest, NormalizeRemotePath) {
  struct Case {
    const char* in;
    const char* want;
  } cases[] = {
      {"", "/"},          {"/", "/"},           {"//", "/"},        {".", "/"},
      {"..", "/"},        {"a\\b/./c/../d/", "/a/b/d"}, {"/../x", "/x"},
      {"a", "/a"},        {"/a//b", "/a/b"},    {"\\a\\b\\", "/a/b"}, {"/a/../..", "/"},
      {"/a/b/../../c", "/c"}, {"/.../x", "/.../x"}, {"/A/b", "/A/b"},
  };
  for (const Case& c : cases) EXPECT_EQ(NormalizeRemotePath(c.in), c.want) << c.in;
  EXPECT_EQ(ToRemotePath("dir\\sub\\file.txt"), "/dir/sub/file.txt");
  EXPECT_EQ(ToRemotePath("\\"), "/");
}

TEST(RemotePathTest, IsRootAndIsUnder) {
  EXPECT_TRUE(IsRootPath(""));
  EXPECT_TRUE(IsRootPath("/"));
  EXPECT_FALSE(IsRootPath("//"));
  EXPECT_FALSE(IsRootPath("/a"));
  struct Case {
    const char* prefix;
    const char* path;
    bool want;
  } cases[] = {
      {"", "/x/y", true}, {"/", "/x", true},   {"/", "", true},     {"/a", "/a", true},
      {"/a", "/a/b", true}, {"/a", "/ab", false}, {"/a/b", "/a", false}, {"/a", "/A/b", false},
      {"/a", "/b/a", false}, {"/a/", "/a/b", false},
  };
  for (const Case& c : cases)
    EXPECT_EQ(IsUnderPath(c.prefix, c.path), c.want) << c.prefix << " " << c.path;
}

TEST(RemotePathTest, JoinBaseParentSplit) {
  struct Join {
    const char* folder;
    const char* name;
    const char* want;
  } joins[] = {{"/", "x", "/x"}, {"/a", "x", "/a/x"}, {"/a/", "x", "/a/x"}, {"/a", "", "/a"},
               {"", "", "/"},    {"", "x", "/x"},     {"/a", "/x", "/a//x"}};
  for (const Join& c : joins)
    EXPECT_EQ(JoinRemotePath(c.folder, c.name), c.want) << c.folder << " + " << c.name;

  struct Pair {
    const char* in;
    const char* want;
  } bases[] = {{"/a/b", "b"}, {"/", ""}, {"", ""}, {"/a/", ""}, {"x", ""}, {"abc", "abc"}};
  for (const Pair& c : bases) EXPECT_EQ(BaseName(c.in), c.want) << c.in;

  Pair parents[] = {{"/a", "/"}, {"/a/b", "/a"}, {"/", "/"}, {"", "/"}, {"ab", "/"},
                    {"/a/b/c", "/a/b"}};
  for (const Pair& c : parents) EXPECT_EQ(ParentPath(c.in), c.want) << c.in;

  EXPECT_TRUE(SplitPath("/").empty());
  EXPECT_TRUE(SplitPath("").empty());
  EXPECT_EQ(SplitPath("//a///b/"), (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(SplitPath("a\\b/c"), (std::vector<std::string>{"a\\b", "c"}));
}

TEST(RemotePathTest, RebasePath) {
  struct Case {
    const char* path;
    const char* from;
    const char* to;
    const char* want;
  } cases[] = {
      {"/a/b/c", "/a/b", "/x", "/x/c"}, {"/a/bc", "/a/b", "/x", "/a/bc"},
      {"/a", "/", "/x", "/x/a"},        {"/a/b", "/a", "/", "/b"},
      {"/a/b", "/a/b", "/y", "/y"},     {"/q", "/a", "/x", "/q"},
      {"/a", "", "/x", "/x/a"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(RebasePath(c.path, c.from, c.to), c.want) << c.path << " " << c.from << " " << c.to;
}

TEST(RemotePathTest, EqualsIgnoreCase) {
  struct Case {
    std::string a;
    std::string b;
    bool want;
  } cases[] = {
      {"ABC", "abc", true},
      {"abc", "abd", false},
      {"abc", "abcd", false},
      {"\xC3\x84rger", "\xC3\xA4RGER", true},           // Ärger / äRGER
      {"\xCE\xA3\xCE\xB1", "\xCF\x83\xCE\x91", true},   // Greek sigma/alpha
      {"\xC3\xA4", "\xC3\xB6", false},
      {"stra\xC3\x9F" "e", "STRASSE", false},  // no full case folding: lengths differ
      // Two different malformed names must not collapse into U+FFFD and match.
      {"a\xFF", "a\xFE", false},
      {"\xC3", "\xC2", false},
      {"a\xFF", "A\xFF", false},
      {"a\xFF", "a\xFF", true},
  };
  for (const Case& c : cases) EXPECT_EQ(EqualsIgnoreCase(c.a, c.b), c.want) << c.a << " " << c.b;
}

TEST(RemotePathTest, NormalizeUnicode) {
  const std::string decomposed = "e\xCC\x81";  // e + combining acute
  const std::string composed = "\xC3\xA9";     // é
  struct Case {
    std::string in;
    int mode;
    std::string want;
  } cases[] = {
      {decomposed, 1, composed}, {composed, 2, decomposed}, {decomposed, 0, decomposed},
      {composed, 0, composed},   {composed, 1, composed},   {decomposed, 2, decomposed},
      {"", 1, ""},               {"plain", 2, "plain"},     {composed, 7, decomposed},
      {"bad\xFF" "e\xCC\x81", 1, "bad\xFF" "e\xCC\x81"},  // invalid text is kept, not mangled
  };
  for (const Case& c : cases) EXPECT_EQ(NormalizeUnicode(c.in, c.mode), c.want) << c.mode;
}

TEST(RemotePathTest, PercentEncodeAndDecode) {
  const std::string path = "/Docs/My file \xC3\xA4.txt";
  const std::string encoded = PercentEncode(path);
  EXPECT_EQ(encoded, "/Docs/My%20file%20%C3%A4.txt");
  EXPECT_EQ(PercentDecode(encoded), path);
  EXPECT_EQ(PercentEncode("a-b.c_d~e/f+g#h?i%"), "a-b.c_d~e/f%2Bg%23h%3Fi%25");
  struct Case {
    const char* in;
    std::string want;
  } cases[] = {
      {"100%", "100%"},      {"a%2", "a%2"},       {"a%zzb", "a%zzb"},  {"%2f%2F", "//"},
      {"a+b", "a+b"},        {"%00x", std::string("\0x", 2)}, {"%%41", "%A"}, {"%4", "%4"},
      {"%g1%41", "%g1A"},
  };
  for (const Case& c : cases) EXPECT_EQ(PercentDecode(c.in), c.want) << c.in;
  std::string all;
  for (int i = 0; i < 256; ++i) all.push_back(static_cast<char>(i));
  EXPECT_EQ(PercentDecode(PercentEncode(all)), all);
}

}  // namespace
}  // namespace tarn
