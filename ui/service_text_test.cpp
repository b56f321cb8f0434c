#include "ui/service_text.h"

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>

#include "foundation/json.h"
#include "foundation/text.h"
#include "ui/backup_page_model.h"
#include "ui/language.h"
#include "ui/restore_dialog_model.h"
#include "ui/settings_model.h"
#include "ui/tray_model.h"

namespace tarn::app {
namespace {

using vx::json::Value;

class ServiceTextTest : public ::testing::Test {
 protected:
  void SetUp() override { SetLanguageSetting(kEnglish); }
  void TearDown() override { SetLanguageSetting(kAutomaticLanguage); }
};

Value Object(std::initializer_list<std::pair<const char*, Value>> members) {
  Value v = Value::object();
  for (const auto& [key, value] : members) v.set(key, value);
  return v;
}

// A plain user names a file, a job or a drive as they like: wherever a
// window shows that name, it neither starts a line of its own (a forged log
// line) nor turns its neighbours around ("invoice<U+202E>txt.exe" showing
// as "invoiceexe.txt"); the rest of the name reads as it was given.
TEST_F(ServiceTextTest, NamesThatEndALineOrTurnTheTextShowEscapedInEveryWindow) {
  struct Name {
    std::string given;
    QString shown;
  };
  const Name names[] = {
      {"invoice\u202etxt.exe", QStringLiteral("invoice\\xe2\\x80\\xaetxt.exe")},
      {"a\u2028[ERROR] ipc: forged", QStringLiteral("a\\xe2\\x80\\xa8[ERROR] ipc: forged")},
      {"p\u2029\u2066q\u2069\u202a", QStringLiteral("p\\xe2\\x80\\xa9\\xe2\\x81\\xa6q\\xe2\\x81\\xa9\\xe2\\x80\\xaa")},
      {"esc\x1b[2J", QStringLiteral("esc\\x1b[2J")},
  };
  using Shown = std::function<QString(const std::string&)>;
  auto drive = [](const std::string& name) {
    MountStatus m;
    m.name = vx::Utf8ToWide(name);
    m.drive = u'P';
    m.protocol = "sftp";
    m.host = "nas";
    m.root = "/srv/" + name;
    return m;
  };
  auto job = [](const std::string& name) {
    Value sources = Value::array();
    sources.append("/home/" + name);
    return Object({{"name", name},
                   {"sources", sources},
                   {"destination", "sftp://nas/" + name},
                   {"state", Value::object()},
                   {"schedule", Value::object()}});
  };
  const struct Place {
    const char* what;
    Shown shown;
  } places[] = {
      {"drive list: name", [&](const std::string& n) { return DriveRowTexts(drive(n))[1]; }},
      {"drive list: server", [&](const std::string& n) { return DriveRowTexts(drive(n))[2]; }},
      {"drive in a question or balloon", [&](const std::string& n) { return DriveTitle(drive(n)); }},
      {"tray menu",
       [&](const std::string& n) {
         ServiceStatus status;
         status.ok = true;
         status.mounts.push_back(drive(n));
         QString all;
         for (const TrayMenuItem& item : BuildTrayMenu(status)) all += item.text + item.toolTip + QLatin1Char('|');
         return all;
       }},
      {"transfers",
       [](const std::string& n) {
         return TransferRowTexts(Object({{"drive", "P"}, {"path", "/docs/" + n}, {"state", "waiting"}}))[0];
       }},
      {"stop-upload question", [](const std::string& n) { return TransferFileName("/docs/" + n); }},
      {"log page",
       [](const std::string& n) {
         std::string last;
         const std::optional<LogUpdate> update =
             TakeLogText(last, "2024-01-01 00:00:00.000 [INFO ] d1: uploaded /" + n + "\r\n", LogView{});
         return update ? update->text : QString();
       }},
      {"restore list", [](const std::string& n) { return EntryRowTexts(Object({{"name", n}, {"size", 1}})).name; }},
      {"restore folder", [](const std::string& n) { return FolderLabel("/docs/" + n); }},
      {"backup jobs: name", [&](const std::string& n) { return JobRow(job(n), 0)[0]; }},
      {"backup jobs: folders", [&](const std::string& n) { return JobRow(job(n), 0)[1]; }},
      {"backup jobs: destination", [&](const std::string& n) { return JobRow(job(n), 0)[2]; }},
      {"an error naming it", [](const std::string& n) { return ErrorWords("io: cannot create /docs/" + n); }},
  };
  for (const Place& place : places) {
    for (const Name& name : names) {
      SCOPED_TRACE(std::string(place.what) + ": " + name.shown.toStdString());
      const QString text = place.shown(name.given);
      EXPECT_TRUE(text.contains(name.shown)) << text.toStdString();
      for (const char16_t moving : {u'\u2028', u'\u2029', u'\u202a', u'\u202e', u'\u2066', u'\u2069', u'\x1b'})
        EXPECT_FALSE(text.contains(QChar(moving))) << text.toStdString();
    }
  }
}

// A log's own lines stay lines, without the carriage returns of their ends.
TEST_F(ServiceTextTest, LogTextKeepsItsLinesAndTabs) {
  EXPECT_EQ(ShownLines("one\r\n\ttwo\r\n"), QStringLiteral("one\n\ttwo\n"));
  EXPECT_EQ(ShownLines("cr\ralone"), QStringLiteral("cr\\x0dalone"));
}

}  // namespace
}  // namespace tarn::app
