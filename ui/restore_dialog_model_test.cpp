#include "ui/restore_dialog_model.h"

#include <gtest/gtest.h>

#include <string>

#include "ui/backup_page_model.h"
#include "ui/language.h"
#include "ui/string_ids.h"

namespace tarn::app {
namespace {

using vx::json::Value;

Value Parse(const std::string& text) {
  Value v;
  EXPECT_TRUE(vx::json::Parse(text, v)) << text;
  return v;
}

class RestoreDialogModel : public ::testing::Test {
 protected:
  void SetUp() override { SetLanguageSetting(kEnglish); }
  void TearDown() override { SetLanguageSetting(kAutomaticLanguage); }
};

TEST_F(RestoreDialogModel, FoldersAreEnteredAndLeftByTheirPaths) {
  EXPECT_EQ(EnterFolder("", "home"), "/home");
  EXPECT_EQ(EnterFolder("/home", "ann"), "/home/ann");
  EXPECT_EQ(UpFolder("/home/ann"), "/home");
  EXPECT_EQ(UpFolder("/home"), "");
  EXPECT_EQ(UpFolder(""), "");
  EXPECT_EQ(FolderLabel(""), QStringLiteral("/"));
  EXPECT_EQ(FolderLabel("/home/ann"), QStringLiteral("/home/ann"));
}

TEST_F(RestoreDialogModel, RowsOfFoldersAndFiles) {
  const EntryRow folder = EntryRowTexts(Parse(R"({"name":"photos","dir":true,"size":4096,"mtime":1700000000})"));
  EXPECT_TRUE(folder.dir);
  EXPECT_EQ(folder.name, QStringLiteral("photos/"));
  EXPECT_EQ(folder.size, QString());
  EXPECT_EQ(folder.modified, QString());
  const EntryRow file = EntryRowTexts(Parse(R"({"name":"notes.txt","dir":false,"size":2048,"mtime":1700000000})"));
  EXPECT_EQ(file.name, QStringLiteral("notes.txt"));
  EXPECT_EQ(file.size, QStringLiteral("2.0 KiB"));
  EXPECT_EQ(file.modified, LocalTimeText(1700000000));
  EXPECT_EQ(VersionText(Parse(R"({"id":"a","time":1700000000,"files":12,"bytes":1048576})")),
            LocalTimeText(1700000000) + QStringLiteral("  (12 files, 1.0 MiB)"));
}

TEST_F(RestoreDialogModel, SizesAndTimesReadLeftToRightInARightToLeftLanguage) {
  const auto ltr = [](const QString& text) { return QChar(0x2066) + text + QChar(0x2069); };
  SetLanguageByCode("ar");
  const EntryRow file = EntryRowTexts(Parse(R"({"name":"notes.txt","dir":false,"size":2048,"mtime":1700000000})"));
  EXPECT_EQ(file.size, ltr(QStringLiteral("2.0 KiB")));
  EXPECT_EQ(file.modified, ltr(LocalTimeText(1700000000)));
  EXPECT_EQ(VersionText(Parse(R"({"id":"a","time":1700000000,"files":12,"bytes":2048})")),
            FormatText(Tr(kStrVersionLine), {ltr(LocalTimeText(1700000000)), QStringLiteral("12"),
                                             ltr(QStringLiteral("2.0 KiB"))}));
  // No time is no text, not a pair of marks.
  EXPECT_EQ(EntryRowTexts(Parse(R"({"name":"x","dir":false,"size":1,"mtime":0})")).modified, QString());
}

TEST_F(RestoreDialogModel, ControlsByBusyVersionsPathAndSelection) {
  RestoreContext one;
  one.versions = Parse(R"([{"id":"a"}])");
  RestoreContext two = one;
  two.versions.append(Parse(R"({"id":"b"})"));
  const struct {
    const char* name;
    RestoreContext context;
    bool busy;
    std::string path;
    bool row;
    RestoreControls controls;
  } cases[] = {
      // versions, delete, up, everything, list, selected
      {"busy", two, true, "/a", true, {false, false, false, false, false, false}},
      {"no version", RestoreContext(), false, "", false, {false, false, false, false, true, false}},
      {"the only version", one, false, "", false, {true, false, false, true, true, false}},
      {"two versions, in a folder, a row", two, false, "/a", true, {true, true, true, true, true, true}},
  };
  for (const auto& c : cases) {
    RestoreContext context = c.context;
    context.busy = c.busy;
    context.path = c.path;
    EXPECT_EQ(RestoreControlStates(context, c.row), c.controls) << c.name;
  }
  EXPECT_EQ(SelectedSnapshotId(two, 1), "b");
  EXPECT_EQ(SelectedSnapshotId(two, 2), "");
  EXPECT_EQ(SelectedSnapshotId(two, -1), "");
  EXPECT_EQ(RestoreStatusText(true, QString()), QStringLiteral("Reading the copy…"));
  EXPECT_EQ(RestoreStatusText(true, QStringLiteral(" ")), QStringLiteral(" "));
  EXPECT_EQ(RestoreStatusText(false, QString()), QString());
}

TEST_F(RestoreDialogModel, VersionsComeNewestFirstAndANewJobHasNone) {
  RestoreContext context;
  context.generation = 1;
  context.path = "/old";
  RestoreLoadResult versions;
  versions.generation = 1;
  versions.ok = true;
  versions.kind = RestoreLoadKind::kVersions;
  versions.reply = Parse(R"({"ok":true,"snapshots":[{"id":"old"},{"id":"mid"},{"id":"new"}]})");
  EXPECT_EQ(TakeRestoreLoad(context, versions), LoadOutcome::kVersions);
  EXPECT_EQ(context.versions.dump(), R"([{"id":"new"},{"id":"mid"},{"id":"old"}])");
  EXPECT_EQ(context.path, "");
  EXPECT_TRUE(context.busy) << "the newest version's root is read next";

  versions.reply = Parse(R"({"ok":true,"snapshots":[]})");
  EXPECT_EQ(TakeRestoreLoad(context, versions), LoadOutcome::kNoVersions);
  EXPECT_FALSE(context.busy);
}

// Only the newest load is shown: a folder of a version chosen before, or a
// load that was under way when the dialog closed, changes nothing.
TEST_F(RestoreDialogModel, AStaleLoadIsDropped) {
  RestoreContext context;
  context.versions = Parse(R"([{"id":"b"},{"id":"a"}])");
  context.entries = Parse(R"([{"name":"x","dir":true}])");
  context.path = "/x";
  context.generation = 7;
  RestoreLoadResult folder;
  folder.ok = true;
  folder.kind = RestoreLoadKind::kFolder;
  folder.path = "/y";
  folder.reply = Parse(R"({"ok":true,"entries":[{"name":"stale.txt","dir":false}]})");
  for (uint32_t stale : {6u, 8u}) {
    folder.generation = stale;
    EXPECT_EQ(TakeRestoreLoad(context, folder), LoadOutcome::kDropped);
    EXPECT_EQ(context.path, "/x");
    EXPECT_EQ(context.entries.dump(), R"([{"name":"x","dir":true}])");
    EXPECT_TRUE(context.busy);
  }
  folder.generation = 7;
  EXPECT_EQ(TakeRestoreLoad(context, folder), LoadOutcome::kFolder);
  EXPECT_EQ(context.path, "/y");
  EXPECT_EQ(context.entries.size(), 1u);
  EXPECT_FALSE(context.busy);

  // A failed load leaves what is shown.
  context.busy = true;
  RestoreLoadResult failed;
  failed.generation = 7;
  failed.error = "not-found: no such snapshot";
  EXPECT_EQ(TakeRestoreLoad(context, failed), LoadOutcome::kFailed);
  EXPECT_FALSE(context.busy);
  EXPECT_EQ(context.path, "/y");
  EXPECT_EQ(context.versions.size(), 2u);
}

}  // namespace
}  // namespace tarn::app
