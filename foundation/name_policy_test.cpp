#include "foundation/name_policy.h"

#include <gtest/gtest.h>

#include "foundation/remote_path.h"

namespace tarn {
namespace {

class NamePolicyTest : public ::testing::Test {
 protected:
  NamePolicyTest() : policy_(&caps_, &compat_) {}
  std::vector<uint32_t> Kinds(std::string_view name, const std::vector<std::string>* siblings = nullptr) {
    std::vector<uint32_t> kinds;
    for (const NameIssue& i : policy_.check(name, siblings, nullptr)) kinds.push_back(i.kind);
    return kinds;
  }
  BackendCaps caps_;
  CompatOptions compat_;
  NamePolicy policy_;
};

using K = std::vector<uint32_t>;

TEST_F(NamePolicyTest, RulesInOrder) {
  struct Case {
    std::string name;
    K want;
  } cases[] = {
      {"report.txt", {}},
      {"", {0}},
      {".", {0}},
      {"..", {0}},
      {"...", {5}},
      {"a/b", {3}},
      {"tab\there", {6}},
      {std::string(300, 'a'), {1}},
      {std::string(255, 'a'), {}},
      {"nul.txt", {4}},
      {"nullify", {}},
      {"CON", {4}},
      {"report.", {5}},
      {"report ", {5}},
      {" report", {}},
      {"con.\x01/.", {6, 3, 4, 5}},
      {"a:b", {}},  // only '/' is judged when creating
  };
  for (const Case& c : cases) EXPECT_EQ(Kinds(c.name), c.want) << PrintableName(c.name);
}

TEST_F(NamePolicyTest, MessagesAndRefusals) {
  auto first = [&](std::string_view name) { return policy_.check(name, nullptr, nullptr).at(0); };
  NameIssue longName = first(std::string(300, 'x'));
  EXPECT_TRUE(longName.refuse);
  EXPECT_EQ(NameIssueText(longName), "name is too long for the server: 300 bytes > 255");
  EXPECT_EQ(NameIssueText(first("nul.txt")), "reserved Windows device name: nul.txt");
  EXPECT_EQ(NameIssueText(first("a\tb")), "name contains a control character: a\\x09b");
  EXPECT_EQ(NameIssueText(first("x\x7f")), "name contains a control character: x\\x7f");
  EXPECT_EQ(NameIssueText(first("")), "empty name");
  EXPECT_EQ(first("..").text, "..");
  EXPECT_EQ(NameIssueText(first("a/b")), "name contains a character the storage cannot hold: a/b");
  EXPECT_EQ(NameIssueText(first("end.")), "name ends with a dot or a space: end.");

  EXPECT_EQ(NameIssueText({NameIssue::kPathTooLong, "300", true}), "path is too long for the server: 300");
  EXPECT_EQ(NameIssueText({12, "just this", false}), "just this");
  EXPECT_EQ(NameIssueText({NameIssue::kEmpty, "ignored", true}), "empty name");
}

TEST_F(NamePolicyTest, SettingsLiftRules) {
  compat_.allowReservedNames = true;
  compat_.allowTrailingDotSpace = true;
  EXPECT_EQ(Kinds("nul.txt"), K{});
  EXPECT_EQ(Kinds("report."), K{});
  caps_.maxNameBytes = 5;
  EXPECT_EQ(Kinds("abcdef"), K{1});
  caps_.invalidChars = "#%";
  EXPECT_EQ(Kinds("a#b"), K{3});
  EXPECT_EQ(Kinds("ab"), K{});
}

TEST_F(NamePolicyTest, UnicodeNormalisation) {
  const std::string decomposed = "caf" "e\xCC\x81";
  const std::string composed = "caf\xC3\xA9";
  std::string out;
  std::vector<NameIssue> issues = policy_.check(decomposed, nullptr, &out);
  ASSERT_EQ(issues.size(), 1u);
  EXPECT_EQ(issues[0].kind, NameIssue::kNormalized);
  EXPECT_FALSE(issues[0].refuse);
  EXPECT_EQ(out, composed);
  EXPECT_EQ(policy_.normalize(decomposed), composed);
  EXPECT_EQ(Kinds(composed), K{});

  compat_.unicode = CompatOptions::kUnicodeNfd;
  EXPECT_EQ(Kinds(composed), K{8});
  EXPECT_EQ(policy_.normalize(composed), decomposed);

  compat_.unicode = CompatOptions::kUnicodeNone;
  EXPECT_EQ(Kinds(composed), K{});
  EXPECT_EQ(Kinds(decomposed), K{});
  policy_.check(decomposed, nullptr, &out);
  EXPECT_EQ(out, decomposed);
}

TEST_F(NamePolicyTest, CaseCollisions) {
  const std::vector<std::string> siblings = {"other", "README.md", "readme.MD"};
  compat_.caseCollision = CompatOptions::kCaseRefuse;
  std::vector<NameIssue> issues = policy_.check("Readme.md", &siblings, nullptr);
  ASSERT_EQ(issues.size(), 1u);
  EXPECT_EQ(issues[0].kind, NameIssue::kCaseCollision);
  EXPECT_EQ(issues[0].text, "README.md");  // the first match only
  EXPECT_TRUE(issues[0].refuse);

  compat_.caseCollision = CompatOptions::kCaseAllow;
  issues = policy_.check("Readme.md", &siblings, nullptr);
  ASSERT_EQ(issues.size(), 1u);
  EXPECT_FALSE(issues[0].refuse);

  const std::vector<std::string> same = {"Readme.md"};
  EXPECT_EQ(Kinds("Readme.md", &same), K{});
  caps_.caseSensitive = false;
  EXPECT_EQ(Kinds("Readme.md", &siblings), K{});
  caps_.caseSensitive = true;
  const std::vector<std::string> malformed = {"a\xFF"};
  EXPECT_EQ(Kinds("a\xFE", &malformed), K{});  // no collision through replacement characters
}

std::vector<DirEntry> Entries(const std::vector<std::string>& names) {
  std::vector<DirEntry> out;
  for (const std::string& n : names) out.push_back({n, {}});
  return out;
}

TEST(NameScanTest, ListingFindings) {
  BackendCaps caps;
  // name, kind, text and whether a new file of that name would be refused
  auto scan = [&](const std::vector<std::string>& names) {
    std::vector<std::string> out;
    for (const NameIssueEntry& e : ScanNameIssues(Entries(names), caps))
      out.push_back(e.name + " " + std::to_string(e.issue.kind) + " " + e.issue.text + (e.issue.refuse ? " refused" : ""));
    return out;
  };
  using Found = std::vector<std::string>;
  EXPECT_EQ(scan({"a:b", "x.", "File", "file"}), (Found{"a:b 3 a:b refused", "x. 5 x.", "file 7 File"}));
  // No length or device checks in a scan.
  EXPECT_EQ(scan({"q?", "c\x01", "d<.", "ok", "con", std::string(300, 'z')}),
            (Found{"q? 3 q? refused", "c\x01 6 c\\x01 refused", "d<. 3 d<. refused"}));
  caps.caseSensitive = false;
  EXPECT_EQ(scan({"File", "file"}), Found{});
  EXPECT_EQ(scan({}), Found{});
}

// Each pair of names equal ignoring case is reported once, under the later
// name, right after the earlier name's own findings: the same answer as
// comparing every name with every later one.
TEST(NameScanTest, CaseCollisionsMatchThePairwiseDefinition) {
  BackendCaps caps;
  caps.caseSensitive = true;
  using Found = std::vector<std::pair<std::string, std::string>>;  // name, text of kind 7
  auto collisions = [&](const std::vector<std::string>& names) {
    Found out;
    for (const NameIssueEntry& e : ScanNameIssues(Entries(names), caps))
      out.emplace_back(e.name, e.issue.kind == NameIssue::kCaseCollision ? e.issue.text : "kind " + std::to_string(e.issue.kind));
    return out;
  };
  struct Case {
    std::vector<std::string> names;
    Found want;
  } cases[] = {
      {{"A", "a", "A"}, {{"a", "A"}, {"A", "a"}}},
      {{"Q", "x.", "q"}, {{"q", "Q"}, {"x.", "kind 5"}}},
      {{"\xC3\x84pfel", "\xC3\xA4pfel"}, {{"\xC3\xA4pfel", "\xC3\x84pfel"}}},  // Äpfel, äpfel
      {{"K", "\xE2\x84\xAA"}, {}},                                              // the Kelvin sign is not K
      {{"stra\xC3\x9F" "e", "STRASSE"}, {}},                                     // no full case folding
      {{"a\xff", "A\xff", "a\xff"}, {}},                                         // malformed: bytes alone
      {{"a<", "A<"}, {{"a<", "kind 3"}, {"A<", "kind 3"}}},
  };
  for (const Case& c : cases) EXPECT_EQ(collisions(c.names), c.want) << c.names.front();

  // Against the definition over a listing full of near-collisions.
  const std::vector<std::string> parts = {"a", "A", "\xC3\xA4", "\xC3\x84", "\xE2\x84\xAA", "k", "\xff", "b."};
  std::vector<std::string> names;
  for (int i = 0; i < 400; ++i) names.push_back(parts[i % 8] + parts[(i / 8) % 8] + parts[(i / 64) % 8]);
  Found want;
  for (size_t i = 0; i < names.size(); ++i) {
    if (names[i].back() == '.') want.emplace_back(names[i], "kind 5");
    for (size_t j = i + 1; j < names.size(); ++j)
      if (names[j] != names[i] && EqualsIgnoreCase(names[j], names[i])) want.emplace_back(names[j], names[i]);
  }
  EXPECT_EQ(collisions(names), want);
}

TEST(NameScanTest, ReservedAndPrintable) {
  struct Case {
    const char* name;
    bool want;
  } cases[] = {{"con", true},     {"Con.txt", true}, {"lpt1.tar.gz", true}, {"CONSOLE", false},
               {"COM0", false},   {"LPT10", false},  {"CON .txt", false},   {"aux", true},
               {"", false},       {".con", false},   {"com9", true},        {"prn.", true}};
  for (const Case& c : cases) EXPECT_EQ(IsReservedDeviceName(c.name), c.want) << c.name;
  EXPECT_EQ(PrintableName(std::string("a\0b\x1f\x7f\xC3\xA4", 7)), "a\\x00b\\x1f\\x7f\xC3\xA4");
}

}  // namespace
}  // namespace tarn
