// The languages of the desktop application: sixteen tables of texts
// addressed by string id, read once from the translations compiled into the
// executable, and the process-wide choice of the current one (automatic or
// fixed). The tables never change after they are read, so any thread may
// read them; the setting is an atomic that the UI thread changes.
#pragma once

#include <QString>
#include <QStringList>

#include <initializer_list>
#include <string>
#include <vector>

namespace tarn::app {

inline constexpr int kLanguageCount = 16;
// Ids 0 to 251 of the tables, and the texts this platform added after them.
inline constexpr int kStringCount = 310;
// The setting that detects the language from the user's locale each time.
inline constexpr int kAutomaticLanguage = -1;
inline constexpr int kEnglish = 0;
inline constexpr int kRussian = 1;
inline constexpr int kBrazilianPortuguese = 6;

struct Language {
  std::string code;  // lower case: "en", "pt-br"
  QString nativeName;
  std::vector<QString> strings;  // by string id; kStringCount of them
  bool rightToLeft = false;
};

// The table entry of an index; 16 or more (or less than 0) gives English.
const Language& LanguageAt(int index);

// The effective language: the one the setting names, or the detected one.
int CurrentLanguage();
const std::vector<QString>& CurrentStrings();
std::string CurrentLanguageCode();
// The text of one string id in the current language.
QString Tr(int id);

// The setting itself: kAutomaticLanguage or an index. Any other value reads
// as English.
int LanguageSetting();
void SetLanguageSetting(int setting);
// The setting from a stored code: an exact code, "pt" for Brazilian
// Portuguese, anything else (empty, "auto", "FR", "fr-FR") automatic.
void SetLanguageByCode(const std::string& code);

// The index for a locale or language name ("pt-BR", "uk_UA", "de"), or -1.
int LanguageFromLocale(const QString& name);
// The index for a user's locale and then their preferred languages in
// order; English when none maps.
int DetectLanguageFrom(const QString& locale, const QStringList& preferred);
// DetectLanguageFrom with the user's own locale and preferred languages.
int DetectLanguage();

// Lays the application out right to left when the current language is read
// that way; windows made afterwards follow. UI thread, after the
// application object exists.
void ApplyLayout();

// Numbers, sizes, times, paths, addresses, drive letters and commands read
// left to right in every language: inside right-to-left text they are
// isolated as such, so that "/home/ann" does not show as "home/ann/", "3.0
// MiB" as "MiB 3.0" nor "D:" as ":D", and the sentence's punctuation stays
// outside. (Links and paths in the tables' own texts are isolated when the
// tables are read.) Unchanged in a left-to-right language and for an empty
// text.
QString LeftToRightText(const QString& text);

// Every digit of another script (a locale's Arabic-Indic date) as its
// Latin one, so that a text holds one digit system with the sizes and
// numbers beside it.
QString LatinDigits(QString text);

// A table text with its "%s" and "%d" replaced by `args` in order ("%%" is
// one "%"); a placeholder past the arguments stays as it is.
QString FormatText(const QString& format, std::initializer_list<QString> args);
// The placeholders of a text in order ("%s", "%d"), as the table test and
// FormatText read them.
QStringList Placeholders(const QString& text);

}  // namespace tarn::app
