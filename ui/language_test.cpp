#include "ui/language.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "ui/string_ids.h"

namespace tarn::app {
namespace {

constexpr int kGerman = 2;
constexpr int kFrench = 3;
constexpr int kChinese = 11;
constexpr int kJapanese = 12;

TEST(LanguageFromLocale, LanguagesOfLocalesAndPreferredNames) {
  struct Case {
    const char* name;
    int index;
  };
  const Case cases[] = {
      {"pt-PT", kBrazilianPortuguese},
      {"pt_BR.UTF-8", kBrazilianPortuguese},
      {"uk-UA", kRussian},
      {"uk_UA", kRussian},
      {"be", kRussian},
      {"kk_KZ", kRussian},
      {"zh-TW", kChinese},
      {"zh-Hans-CN", kChinese},
      {"DE-de", kGerman},
      {"en_US", kEnglish},
      {"ar_EG", 9},
      {"fa-IR", 10},
      {"sw-KE", -1},
      {"C", -1},
      {"", -1},
      // "pt-br" is a code of the table, reached only as Portuguese.
      {"pt-br", kBrazilianPortuguese},
  };
  for (const Case& c : cases) EXPECT_EQ(LanguageFromLocale(QString::fromUtf8(c.name)), c.index) << c.name;
}

TEST(DetectLanguage, LocaleThenPreferredLanguagesThenEnglish) {
  struct Case {
    const char* locale;
    QStringList preferred;
    int index;
  };
  const Case cases[] = {
      {"sw_KE", {"sw-KE", "de-DE"}, kGerman}, {"sw_KE", {"sw-KE", "xx"}, kEnglish}, {"sw_KE", {}, kEnglish},
      {"uk_UA", {"de-DE"}, kRussian},         {"C", {"ja-JP", "fr"}, kJapanese},    {"", {"fr-CA"}, kFrench},
  };
  for (const Case& c : cases)
    EXPECT_EQ(DetectLanguageFrom(QString::fromUtf8(c.locale), c.preferred), c.index) << c.locale;
}

class LanguageSettingTest : public ::testing::Test {
 protected:
  void TearDown() override { SetLanguageSetting(kAutomaticLanguage); }
};

TEST_F(LanguageSettingTest, StoredCodesChooseExactlyOrMeanAutomatic) {
  struct Case {
    const char* code;
    int setting;
  };
  const Case cases[] = {
      {"fr", kFrench},
      {"FR", kAutomaticLanguage},
      {"fr-FR", kAutomaticLanguage},
      {"pt", kBrazilianPortuguese},
      {"pt-br", kBrazilianPortuguese},
      {"", kAutomaticLanguage},
      {"auto", kAutomaticLanguage},
      {"zh", kChinese},
  };
  for (const Case& c : cases) {
    // From another setting, so that one left as it was does not pass.
    SetLanguageByCode(kFrench == c.setting ? "de" : "fr");
    SetLanguageByCode(c.code);
    EXPECT_EQ(LanguageSetting(), c.setting) << c.code;
  }
}

TEST_F(LanguageSettingTest, TheEffectiveLanguageFollowsTheSetting) {
  SetLanguageByCode("ja");
  EXPECT_EQ(CurrentLanguage(), kJapanese);
  EXPECT_EQ(CurrentLanguageCode(), "ja");
  EXPECT_EQ(Tr(kStrExit), LanguageAt(kJapanese).strings[kStrExit]);
  SetLanguageSetting(kAutomaticLanguage);
  EXPECT_EQ(CurrentLanguage(), DetectLanguage());
  // Any other value reads as English, and so do indexes past the table.
  SetLanguageSetting(kLanguageCount);
  EXPECT_EQ(CurrentLanguage(), kEnglish);
  EXPECT_EQ(LanguageAt(kLanguageCount).code, "en");
  EXPECT_EQ(LanguageAt(-2).code, "en");
  EXPECT_EQ(Tr(kStringCount), QString());
}

TEST(FormatText, PlaceholdersAreFilledInOrder) {
  EXPECT_EQ(FormatText(QStringLiteral("%s: %d of %s, 100%%"), {"a", "2", "b"}), QStringLiteral("a: 2 of b, 100%"));
  EXPECT_EQ(FormatText(QStringLiteral("%s and %s"), {"one"}), QStringLiteral("one and %s"));
  EXPECT_EQ(FormatText(QStringLiteral("50%"), {"x"}), QStringLiteral("50%"));
  EXPECT_EQ(FormatText(QStringLiteral("%s"), {"%d"}), QStringLiteral("%d")) << "arguments are not read again";
  EXPECT_EQ(Placeholders(QStringLiteral("%s %%d %d%%s 5%")), (QStringList{"%s", "%d"}));
}

// Texts that read the same in another language: names, and words that
// language took over as they are.
bool MayStayEnglish(const std::string& code, int id) {
  struct Same {
    const char* code;  // "*" for every language
    std::vector<int> ids;
  };
  static const Same kSame[] = {
      // Tarn, HTTPS, "NFC (Windows, Linux)", "NFD (macOS)", OK, and the
      // symbols of units
      // and the formats that only join values ("%s, %s", "%s: %s")
      {"*",
       {kStrTarn, 84, 118, 119, kStrOk, kStrUnitSeconds, kStrUnitMilliseconds, kStrUnitMegabytes,
        kStrUnitKilobytesPerSecond, kStrLastCopyLine, kStrTaskEnded}},
      // offline, Name, Server, Cache, Port, Updates, Version
      {"de", {kStrStateOffline, 33, 34, 36, 71, 73, 77, 163, 234}},
      {"fr", {36, 71, 77, 83, 234}},
      {"es", {kStrStateError}},
      // Server, Cache, File, Password, Backup
      {"it", {34, 36, 52, 71, 80, 175, 206}},
      {"pt-br", {36, 71, 175, 206}},
      {"pl", {77}},
      // Log, Server, Cache, Port
      {"id", {kStrTabLog, 34, 36, 71, 77, 183, kStrLogTitle}},
  };
  for (const Same& s : kSame) {
    if ((code == s.code || std::string(s.code) == "*") && std::find(s.ids.begin(), s.ids.end(), id) != s.ids.end())
      return true;
  }
  return false;
}

TEST(LanguageTables, EveryLanguageHasEveryTextInItsOwnWords) {
  const Language& english = LanguageAt(kEnglish);
  EXPECT_EQ(english.strings[kStrOpenFolder], QStringLiteral("Open folder"));
  for (int index = 0; index < kLanguageCount; ++index) {
    const Language& language = LanguageAt(index);
    ASSERT_EQ(language.strings.size(), static_cast<size_t>(kStringCount));
    EXPECT_EQ(language.rightToLeft, language.code == "ar" || language.code == "fa");
    for (const auto& [first, last] : kUsedStringIds) {
      for (int id = first; id <= last; ++id) {
        const QString& text = language.strings[static_cast<size_t>(id)];
        const QString& base = english.strings[static_cast<size_t>(id)];
        SCOPED_TRACE(language.code + " string " + std::to_string(id) + ": " + text.toStdString());
        EXPECT_FALSE(text.isEmpty());
        EXPECT_EQ(Placeholders(text), Placeholders(base));
        EXPECT_EQ(text.count(QLatin1Char('\n')), base.count(QLatin1Char('\n')));
        if (index != kEnglish && !MayStayEnglish(language.code, id)) {
          EXPECT_NE(text, base) << "left in English";
        }
      }
    }
  }
}

// The direction a paragraph is laid out in: that of its first letter that
// has one.
bool ReadsRightToLeft(const QString& paragraph) {
  for (const QChar c : paragraph) {
    if (c.direction() == QChar::DirL) return false;
    if (c.direction() == QChar::DirR || c.direction() == QChar::DirAL) return true;
  }
  return true;  // nothing to lay out either way
}

TEST_F(LanguageSettingTest, ValuesReadLeftToRightInsideRightToLeftTexts) {
  const QString path = QStringLiteral("/home/ann/Documents");
  SetLanguageByCode("de");
  EXPECT_EQ(LeftToRightText(path), path);
  for (const char* code : {"ar", "fa"}) {
    SCOPED_TRACE(code);
    SetLanguageByCode(code);
    const QString marked = LeftToRightText(path);
    EXPECT_EQ(marked, QChar(0x2066) + path + QChar(0x2069));
    EXPECT_FALSE(ReadsRightToLeft(marked)) << "a value alone reads left to right";
    EXPECT_EQ(LeftToRightText(QString()), QString()) << "nothing is not a pair of marks";
  }
}

// The links and paths that the tables' texts give as examples are isolated
// in a right-to-left language, without the punctuation around them, so
// that "https://.../<login>" does not show as "<https://.../<login".
TEST(LanguageTables, LinksAndPathsInRightToLeftTextsReadLeftToRight) {
  const QString lri(QChar(0x2066));
  const QString pdi(QChar(0x2069));
  struct Case {
    int id;
    const char* value;
  };
  const Case cases[] = {
      {kStrHintWebDav, "https://cloud.example.com/remote.php/dav/files/<login>"},
      {kStrHintS3, "https://host:port"},
      {kStrHintS3, "/bucket/folder"},
  };
  for (const char* code : {"ar", "fa"}) {
    const Language& language = LanguageAt(code == std::string("ar") ? 9 : 10);
    ASSERT_EQ(language.code, code);
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(code) + " " + c.value);
      const QString text = language.strings[static_cast<size_t>(c.id)];
      EXPECT_TRUE(text.contains(lri + QString::fromLatin1(c.value) + pdi)) << text.toStdString();
    }
  }
  // Left-to-right languages keep their texts as written.
  EXPECT_FALSE(LanguageAt(kEnglish).strings[kStrHintWebDav].contains(lri));
}

TEST(LatinDigits, OtherScriptsDigitsBecomeLatinAndTheRestStays) {
  EXPECT_EQ(LatinDigits(QString::fromUtf8("١٢/٩/٢٠٢٥ 3:00 ص")), QString::fromUtf8("12/9/2025 3:00 ص"));
  EXPECT_EQ(LatinDigits(QString::fromUtf8("۱۴۰۴/۹/۱۸")), QStringLiteral("1404/9/18"));
  EXPECT_EQ(LatinDigits(QStringLiteral("12.5 MiB")), QStringLiteral("12.5 MiB"));
}

// A right-to-left text that begins with a Latin word or a value ("SFTP: ...",
// "Tarn ...", "%s ...") is still a right-to-left paragraph, line by line.
TEST(LanguageTables, EveryParagraphOfARightToLeftLanguageReadsRightToLeft) {
  for (int index = 0; index < kLanguageCount; ++index) {
    const Language& language = LanguageAt(index);
    if (!language.rightToLeft) continue;
    for (const auto& [first, last] : kUsedStringIds) {
      for (int id = first; id <= last; ++id) {
        const QString& text = language.strings[static_cast<size_t>(id)];
        for (const QString& paragraph : text.split(QLatin1Char('\n'))) {
          EXPECT_TRUE(ReadsRightToLeft(paragraph))
              << language.code << " string " << id << ": " << paragraph.toStdString();
        }
      }
    }
  }
}

}  // namespace
}  // namespace tarn::app
