#include "ui/language.h"

#include <QGuiApplication>
#include <QLocale>
#include <QRegularExpression>
#include <QTranslator>

#include <array>
#include <atomic>

namespace tarn::app {
namespace {

struct LanguageInfo {
  const char* code;
  const char* nativeName;  // UTF-8
  bool rightToLeft;
};

// The fixed order: a language's index is its number everywhere.
constexpr std::array<LanguageInfo, kLanguageCount> kLanguages = {{
    {"en", "English", false},
    {"ru", "Русский", false},
    {"de", "Deutsch", false},
    {"fr", "Français", false},
    {"es", "Español", false},
    {"it", "Italiano", false},
    {"pt-br", "Português (Brasil)", false},
    {"pl", "Polski", false},
    {"tr", "Türkçe", false},
    {"ar", "العربية", true},
    {"fa", "فارسی", true},
    {"zh", "中文（简体）", false},
    {"ja", "日本語", false},
    {"ko", "한국어", false},
    {"vi", "Tiếng Việt", false},
    {"id", "Bahasa Indonesia", false},
}};

// Messages are addressed by "tarn-" and the string id.
constexpr const char* kMessageIdPrefix = "tarn-";

constexpr QChar kRightToLeftMark(0x200F);
// An isolate keeps a value's letters, digits and marks together whatever
// surrounds it, where a pair of marks still lets a right-to-left letter
// inside the value (a locale's "ص" after a time) or a neighbour's comma mix
// with it.
constexpr QChar kLeftToRightIsolate(0x2066);
constexpr QChar kPopDirectionalIsolate(0x2069);

// True when the first letter of `paragraph` that has a direction of its
// own reads left to right, or when it begins with a placeholder.
bool StartsLeftToRight(QStringView paragraph) {
  for (qsizetype i = 0; i < paragraph.size(); ++i) {
    const QChar c = paragraph[i];
    if (c == QLatin1Char('%') && i + 1 < paragraph.size() &&
        (paragraph[i + 1] == QLatin1Char('s') || paragraph[i + 1] == QLatin1Char('d')))
      return true;
    switch (c.direction()) {
      case QChar::DirL:
        return true;
      case QChar::DirR:
      case QChar::DirAL:
        return false;
      default:
        break;
    }
  }
  return false;
}

QString Isolated(const QString& value) { return kLeftToRightIsolate + value + kPopDirectionalIsolate; }

// The links and paths a text names as examples ("https://.../<login>",
// "/bucket/folder"), without the punctuation of the sentence around them.
const QRegularExpression& ValueInText() {
  static const QRegularExpression kValue(
      QStringLiteral(R"((?<![\w/])(?:[A-Za-z][A-Za-z0-9+.-]*://|/[A-Za-z<])[^\s]*?(?=[.,;:!?)\]\x{060C}\x{061B}]*(?:\s|$)))"));
  return kValue;
}

// A paragraph of a right-to-left language reads right to left even when it
// begins with a Latin word ("SFTP: ...") or a value: labels take their
// direction from the first letter that has one. Links and paths in it read
// left to right.
QString RightToLeftParagraphs(const QString& text) {
  QStringList paragraphs = text.split(QLatin1Char('\n'));
  for (QString& p : paragraphs) {
    QString isolated;
    qsizetype done = 0;
    for (QRegularExpressionMatchIterator it = ValueInText().globalMatch(p); it.hasNext();) {
      const QRegularExpressionMatch m = it.next();
      isolated += p.mid(done, m.capturedStart() - done) + Isolated(m.captured());
      done = m.capturedEnd();
    }
    p = isolated + p.mid(done);
    if (StartsLeftToRight(p)) p.prepend(kRightToLeftMark);
  }
  return paragraphs.join(QLatin1Char('\n'));
}

// Every language's texts from its translation in the resources; an id the
// translation lacks stays empty (the table test finds it), never English.
Language LoadLanguage(const LanguageInfo& info) {
  Language language;
  language.code = info.code;
  language.nativeName = QString::fromUtf8(info.nativeName);
  language.rightToLeft = info.rightToLeft;
  language.strings.resize(kStringCount);
  QString file = QStringLiteral(":/i18n/tarn_") + QString::fromLatin1(info.code) + QStringLiteral(".qm");
  file.replace(QLatin1Char('-'), QLatin1Char('_'));
  QTranslator translator;
  if (!translator.load(file)) return language;
  for (int id = 0; id < kStringCount; ++id) {
    const QByteArray key = kMessageIdPrefix + QByteArray::number(id);
    QString text = translator.translate(nullptr, key.constData());
    language.strings[static_cast<size_t>(id)] = info.rightToLeft ? RightToLeftParagraphs(text) : text;
  }
  return language;
}

const std::array<Language, kLanguageCount>& Table() {
  static const std::array<Language, kLanguageCount> table = [] {
    std::array<Language, kLanguageCount> t;
    for (int i = 0; i < kLanguageCount; ++i)
      t[static_cast<size_t>(i)] = LoadLanguage(kLanguages[static_cast<size_t>(i)]);
    return t;
  }();
  return table;
}

std::atomic<int> g_setting{kAutomaticLanguage};

}  // namespace

const Language& LanguageAt(int index) {
  if (index < 0 || index >= kLanguageCount) index = kEnglish;
  return Table()[static_cast<size_t>(index)];
}

int LanguageSetting() { return g_setting.load(); }

void SetLanguageSetting(int setting) { g_setting.store(setting); }

int CurrentLanguage() {
  const int setting = LanguageSetting();
  if (setting == kAutomaticLanguage) return DetectLanguage();
  return setting >= 0 && setting < kLanguageCount ? setting : kEnglish;
}

const std::vector<QString>& CurrentStrings() { return LanguageAt(CurrentLanguage()).strings; }

std::string CurrentLanguageCode() { return LanguageAt(CurrentLanguage()).code; }

QString Tr(int id) {
  const std::vector<QString>& strings = CurrentStrings();
  return id >= 0 && id < kStringCount ? strings[static_cast<size_t>(id)] : QString();
}

void SetLanguageByCode(const std::string& code) {
  for (int i = 0; i < kLanguageCount; ++i) {
    if (code == kLanguages[static_cast<size_t>(i)].code) {
      SetLanguageSetting(i);
      return;
    }
  }
  SetLanguageSetting(code == "pt" ? kBrazilianPortuguese : kAutomaticLanguage);
}

int LanguageFromLocale(const QString& name) {
  if (name.isEmpty()) return -1;
  // Linux locales separate the region with "_" ("pt_BR.UTF-8"), the
  // preferred-language lists with "-".
  qsizetype cut = name.size();
  for (const QChar separator : {QLatin1Char('-'), QLatin1Char('_')}) {
    const qsizetype at = name.indexOf(separator);
    if (at >= 0 && at < cut) cut = at;
  }
  const QString language = name.left(cut).toLower();
  if (language == QLatin1String("be") || language == QLatin1String("uk") || language == QLatin1String("kk"))
    return kRussian;
  if (language == QLatin1String("pt")) return kBrazilianPortuguese;
  for (int i = 0; i < kLanguageCount; ++i) {
    if (language == QLatin1String(kLanguages[static_cast<size_t>(i)].code)) return i;
  }
  return -1;
}

int DetectLanguageFrom(const QString& locale, const QStringList& preferred) {
  const int fromLocale = LanguageFromLocale(locale);
  if (fromLocale >= 0) return fromLocale;
  for (const QString& name : preferred) {
    const int index = LanguageFromLocale(name);
    if (index >= 0) return index;
  }
  return kEnglish;
}

int DetectLanguage() {
  const QLocale system = QLocale::system();
  return DetectLanguageFrom(system.name(), system.uiLanguages());
}

void ApplyLayout() {
  if (QGuiApplication::instance() == nullptr) return;
  QGuiApplication::setLayoutDirection(LanguageAt(CurrentLanguage()).rightToLeft ? Qt::RightToLeft : Qt::LeftToRight);
}

QString LeftToRightText(const QString& text) {
  if (text.isEmpty() || !LanguageAt(CurrentLanguage()).rightToLeft) return text;
  return Isolated(text);
}

QString LatinDigits(QString text) {
  for (QChar& c : text) {
    if (c.isDigit() && c.unicode() > u'9') c = QChar(u'0' + c.digitValue());
  }
  return text;
}

QString FormatText(const QString& format, std::initializer_list<QString> args) {
  QString out;
  out.reserve(format.size());
  auto next = args.begin();
  for (qsizetype i = 0; i < format.size(); ++i) {
    const QChar c = format[i];
    if (c != QLatin1Char('%') || i + 1 >= format.size()) {
      out += c;
      continue;
    }
    const QChar kind = format[i + 1];
    if (kind == QLatin1Char('%')) {
      out += c;
      ++i;
    } else if ((kind == QLatin1Char('s') || kind == QLatin1Char('d')) && next != args.end()) {
      out += *next++;
      ++i;
    } else {
      out += c;
    }
  }
  return out;
}

QStringList Placeholders(const QString& text) {
  QStringList found;
  for (qsizetype i = 0; i + 1 < text.size(); ++i) {
    if (text[i] != QLatin1Char('%')) continue;
    const QChar kind = text[i + 1];
    if (kind == QLatin1Char('s') || kind == QLatin1Char('d')) found << text.mid(i, 2);
    // "%%" is one character, never the start of a placeholder.
    ++i;
  }
  return found;
}

}  // namespace tarn::app
