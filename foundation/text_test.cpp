#include "foundation/text.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <limits>
#include <string>

namespace vx {
namespace {

TEST(Utf, ConvertsValidTextBothWays) {
  struct Case {
    std::string utf8;
    std::u16string utf16;
  } cases[] = {
      {"", u""},
      {"plain", u"plain"},
      {"h\xC3\xA9", u"h\u00e9"},
      {"\xE2\x82\xAC", u"\u20ac"},
      {"\xF0\x9F\x98\x80", u"\U0001F600"},
      {"\xF4\x8F\xBF\xBF", u"\U0010FFFF"},
      {std::string("a\0b", 3), std::u16string(u"a\0b", 3)},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Utf8ToWide(c.utf8), c.utf16) << c.utf8;
    EXPECT_EQ(WideToUtf8(c.utf16), c.utf8) << c.utf8;
  }
}

TEST(Utf, AppendUtf8EncodesEveryLengthAndReplacesNonCharacters) {
  struct Case {
    char32_t c;
    const char* bytes;
  } cases[] = {
      {0x7F, "\x7F"},
      {0x80, "\xC2\x80"},
      {0x7FF, "\xDF\xBF"},
      {0x800, "\xE0\xA0\x80"},
      {0xFFFF, "\xEF\xBF\xBF"},
      {0x10000, "\xF0\x90\x80\x80"},
      {0x10FFFF, "\xF4\x8F\xBF\xBF"},
      {0xD800, "\xEF\xBF\xBD"},
      {0xDFFF, "\xEF\xBF\xBD"},
      {0x110000, "\xEF\xBF\xBD"},
      {0xFFFFFFFF, "\xEF\xBF\xBD"},
  };
  for (const auto& c : cases) {
    std::string out = "x";
    AppendUtf8(out, c.c);
    EXPECT_EQ(out, std::string("x") + c.bytes) << static_cast<uint32_t>(c.c);
  }
}

TEST(Utf, ReplacesLoneSurrogatesInsteadOfFailing) {
  struct Case {
    std::u16string utf16;
    std::string utf8;
  } cases[] = {
      {u"\xD83D", "\xEF\xBF\xBD"},
      {u"a\xDE00" u"b", "a\xEF\xBF\xBD" "b"},
      {u"\xD83D" u"x", "\xEF\xBF\xBDx"},
      {u"\xD83D\xD83D\xDE00", "\xEF\xBF\xBD\xF0\x9F\x98\x80"},
      {u"\xDE00\xD83D", "\xEF\xBF\xBD\xEF\xBF\xBD"},
  };
  for (const auto& c : cases) EXPECT_EQ(WideToUtf8(c.utf16), c.utf8);
}

TEST(Utf, ReplacesInvalidUtf8PerBadSequence) {
  struct Case {
    std::string utf8;
    std::u16string utf16;
  } cases[] = {
      {"\x80", u"\xFFFD"},
      {"a\xFF" "b", u"a\xFFFD" u"b"},
      {"\xC0\x80", u"\xFFFD\xFFFD"},                  // overlong
      {"\xED\xA0\x80", u"\xFFFD\xFFFD\xFFFD"},        // encoded surrogate
      {"\xE2\x82", u"\xFFFD"},                        // cut short at the end
      {"\xE2\x82" "A", u"\xFFFD" u"A"},               // cut short before ASCII
      {"\xF0\x9F\x98", u"\xFFFD"},
      {"\xF4\x90\x80\x80", u"\xFFFD\xFFFD\xFFFD\xFFFD"},  // above U+10FFFF
      {"\xF5", u"\xFFFD"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Utf8ToWide(c.utf8), c.utf16) << c.utf8.size();
    EXPECT_FALSE(IsValidUtf8(c.utf8)) << c.utf8.size();
  }
  // A replacement character that is really there is valid text.
  for (const char* valid : {"", "plain", "\xEF\xBF\xBD", "\xF0\x9F\x98\x80x", "\xF4\x8F\xBF\xBF"})
    EXPECT_TRUE(IsValidUtf8(valid)) << valid;
}

TEST(Utf, EscapeControlsLeavesOnlyPrintableText) {
  struct Case {
    std::string text;
    const char* keep;
    std::string escaped;
  } cases[] = {
      {"plain w\xC3\xB6rld \xF0\x9F\x98\x80", "", "plain w\xC3\xB6rld \xF0\x9F\x98\x80"},
      {"a\nb\tc\r", "", "a\\x0ab\\x09c\\x0d"},
      {"a\nb\tc\r", "\n\t", "a\nb\tc\\x0d"},
      {std::string("nul\0del\x7f", 8), "", "nul\\x00del\\x7f"},
      {"\x1b[31mred", "", "\\x1b[31mred"},
      {"csi \xC2\x9B and nel \xC2\x85, not \xC2\xA0", "", "csi \\xc2\\x9b and nel \\xc2\\x85, not \xC2\xA0"},
      {"cut \xE2\x82" "A and \xFF", "", "cut \\xe2\\x82A and \\xff"},
      {"\xED\xA0\x80", "", "\\xed\\xa0\\x80"},
      // Separators start a line where the text is shown, and the bidi
      // controls turn what follows around; their neighbours stay.
      {"a\u2028[ERROR] b\u2029c", "\n", "a\\xe2\\x80\\xa8[ERROR] b\\xe2\\x80\\xa9c"},
      {"invoice\u202etxt.exe", "", "invoice\\xe2\\x80\\xaetxt.exe"},
      {"\u202a\u202b\u202c\u202d", "", "\\xe2\\x80\\xaa\\xe2\\x80\\xab\\xe2\\x80\\xac\\xe2\\x80\\xad"},
      {"\u2066\u2067\u2068\u2069", "", "\\xe2\\x81\\xa6\\xe2\\x81\\xa7\\xe2\\x81\\xa8\\xe2\\x81\\xa9"},
      {"edges \u2027\u202f\u2065\u206a \u200f\u05d0", "", "edges \u2027\u202f\u2065\u206a \u200f\u05d0"},
  };
  for (const Case& c : cases) {
    const std::string escaped = EscapeControls(c.text, c.keep);
    EXPECT_EQ(escaped, c.escaped);
    EXPECT_TRUE(IsValidUtf8(escaped)) << escaped;
  }
  EXPECT_EQ(EscapeControls("\x7f\u202e\xff", "", HexDigits::kUpper), "\\x7F\\xE2\\x80\\xAE\\xFF");
}

TEST(Utf, EscapeControlLinesKeepsOnlyTheLinesOfTheText) {
  struct Case {
    std::string text, escaped;
  } cases[] = {
      {"one\r\ntwo\r\n", "one\ntwo\n"},
      {"tab\there\n\n", "tab\there\n\n"},
      {"bare\rreturn\r", "bare\\x0dreturn\\x0d"},
      {"forged\u2028[ERROR] line\r\n", "forged\\xe2\\x80\\xa8[ERROR] line\n"},
      {"\x1b[2J\n", "\\x1b[2J\n"},
  };
  for (const Case& c : cases) EXPECT_EQ(EscapeControlLines(c.text), c.escaped) << c.text;
}

TEST(Utf, OrdersAsUtf16Units) {
  struct Case {
    std::string a, b;
    bool less;
  } cases[] = {
      {"a", "b", true},
      {"B", "a", true},  // case matters
      {"ab", "abc", true},
      {"abc", "ab", false},
      {"same", "same", false},
      {"", "a", true},
      {"\xE2\x82\xAC", "\xEF\xBC\xA1", true},   // U+20AC before U+FF21
      {"\xF0\x9F\x98\x80", "\xEF\xBC\xA1", true},  // U+1F600 (surrogates) before U+FF21
      {"\xEF\xBC\xA1", "\xF0\x9F\x98\x80", false},
      {"\xED\x9F\xBF", "\xF0\x9F\x98\x80", true},  // U+D7FF before any surrogate pair
      {"\xF0\x9F\x98\x80", "\xF0\x9F\x98\x81", true},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(LessInUtf16Order(c.a, c.b), c.less) << c.a << " < " << c.b;
    EXPECT_EQ(LessInUtf16Order(c.a, c.b), Utf8ToWide(c.a) < Utf8ToWide(c.b)) << c.a << " < " << c.b;
  }
}

TEST(FormatWide, FormatsIntoUtf16) {
  EXPECT_EQ(FormatWide("%s-%d-%05.1f", "x\xC3\xA9", 42, 2.25), u"x\u00e9-42-002.2");
  EXPECT_EQ(FormatWide("%s", ""), u"");
  EXPECT_EQ(FormatWide(nullptr), u"");
  std::string longArg(5000, 'z');
  EXPECT_EQ(FormatWide("[%s]", longArg.c_str()).size(), 5002u);
}

TEST(Trim, RemovesWhiteSpaceAtBothEnds) {
  struct Case {
    std::u16string in;
    std::u16string out;
  } cases[] = {
      {u"", u""},
      {u"   ", u""},
      {u" \t\r\na b\n", u"a b"},
      {u"\u3000x\u00a0", u"x"},
      {u"x", u"x"},
      {u"\xD83D\xDE00 ", u"\xD83D\xDE00"},
  };
  for (const auto& c : cases) EXPECT_EQ(Trim(c.in), c.out);
  EXPECT_EQ(Trim(std::string_view(" \t a b \r\n")), "a b");
  EXPECT_EQ(Trim(std::string_view("\v\f")), "");
}

TEST(WideEqualsIgnoreCase, ComparesUnitsOrdinallyWithoutCase) {
  struct Case {
    std::u16string a, b;
    bool equal;
  } cases[] = {
      {u"", u"", true},
      {u"Readme.TXT", u"README.txt", true},
      {u"\u00e9t\u00e9", u"\u00c9T\u00c9", true},
      {u"\u0434\u043e\u043c", u"\u0414\u041e\u041c", true},
      {u"abc", u"abd", false},
      {u"abc", u"abcd", false},
      {u"stra\u00dfe", u"STRASSE", false},  // no expansion: lengths differ
      {u"\xD801\xDC28", u"\xD801\xDC00", false},  // unit by unit, halves have no case
  };
  for (const auto& c : cases) EXPECT_EQ(WideEqualsIgnoreCase(c.a, c.b), c.equal) << WideToUtf8(c.a);
}

TEST(CompareVersions, ReadsFourNumericParts) {
  struct Case {
    const char* a;
    const char* b;
    int result;
  } cases[] = {
      {"1.2", "1.2.0.0", 0},
      {"1.10", "1.9", 1},
      {"1.9", "1.10", -1},
      {"1.2-beta", "1.2", 0},
      {"1.2-beta.7", "1.2", 0},  // reading stops at the minus for good
      {"1.2.3.4.5", "1.2.3.4.9", 0},
      {"", "0", 0},
      {"", "0.0.0.1", -1},
      {"0.3.1", "0.3.0", 1},
      {"2", "10", -1},
      {"v2", "1", -1},  // a leading letter stops at once: 0.0.0.0
      {"1..2", "1.0.2", 0},
      {"18446744073709551615", "18446744073709551614", 1},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(CompareVersions(c.a, c.b), c.result) << c.a << " vs " << c.b;
    EXPECT_EQ(CompareVersions(c.b, c.a), -c.result) << c.b << " vs " << c.a;
  }
}

// What a user reads: Linux's words, never the number behind them.
TEST(FormatWin32Error, GivesTheSystemsWordsWithoutTheNumber) {
  struct Case {
    uint32_t code;
    const char* text;
  } cases[] = {
      {ENOENT, "No such file or directory"},
      {EACCES, "Permission denied"},
      {ECONNREFUSED, "Connection refused"},
      {0x12345678u, "Unknown error 305419896"},
      {0xFFFFFFFFu, "Unknown error -1"},
      // The numbers of the HTTP layer: Linux's words where it has them.
      {12002, "Connection timed out"},
      {12017, "Operation canceled"},
      {12007, "the server name or address could not be resolved"},
      {12029, "the server could not be reached"},
      {12030, "the connection with the server was reset"},
      {12152, "the server response could not be parsed"},
      {12175, "a security error occurred"},
      {12038, "the server's certificate is for another name than the server's address"},
  };
  for (const Case& c : cases) EXPECT_EQ(FormatWin32Error(c.code), c.text) << c.code;
}

TEST(FormatLocalTime, UsesTheLocalZone) {
  const char* tz = std::getenv("TZ");
  const std::string saved = tz ? tz : "";
  auto use = [](const char* zone) {
    setenv("TZ", zone, 1);
    tzset();
  };
  use("UTC0");
  EXPECT_EQ(FormatLocalTime(1700000000), u"14.11.2023 22:13");
  EXPECT_EQ(FormatLocalTime(1), u"01.01.1970 00:00");
  EXPECT_EQ(FormatLocalTime(0), u"");
  EXPECT_EQ(FormatLocalTime(-100), u"");
  EXPECT_EQ(FormatLocalTime(std::numeric_limits<int64_t>::max()), u"");  // no such year
  use("XST-2");  // two hours east of UTC, crossing midnight
  EXPECT_EQ(FormatLocalTime(1700000000), u"15.11.2023 00:13");
  tz ? setenv("TZ", saved.c_str(), 1) : unsetenv("TZ");
  tzset();
}

}  // namespace
}  // namespace vx
