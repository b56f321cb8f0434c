#include "foundation/json.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <limits>
#include <string>

namespace vx::json {
namespace {

Value MustParse(std::string_view text) {
  Value v;
  std::string error;
  EXPECT_TRUE(Parse(text, v, &error)) << text << ": " << error;
  return v;
}

std::string ParseError(std::string_view text) {
  Value v;
  std::string error;
  EXPECT_FALSE(Parse(text, v, &error)) << text;
  return error;
}

std::string Nested(int depth, std::string_view inner) {
  return std::string(depth, '[') + std::string(inner) + std::string(depth, ']');
}

// ---- Value and its accessors ----

TEST(JsonValue, MissingMembersReadAsNullWithDefaults) {
  Value v = MustParse(R"({"a":{"b":1}})");
  const Value& missing = v["x"]["y"]["z"];
  EXPECT_TRUE(missing.isNull());
  EXPECT_EQ(missing.asInt(42), 42);
  EXPECT_EQ(missing.asString("dflt"), "dflt");
  EXPECT_TRUE(missing.asBool(true));
  EXPECT_EQ(v["a"]["b"].asInt(), 1);
  EXPECT_TRUE(v.has("a"));
  EXPECT_FALSE(v.has("x"));
  EXPECT_FALSE(v["a"]["b"].has("b"));
  EXPECT_TRUE(v.at(5).isNull());
  EXPECT_EQ(v.at(0)["b"].asInt(), 1);
  EXPECT_TRUE(Value(3)["a"].isNull());
  EXPECT_TRUE(Value("s").at(0).isNull());
  // Lookups never insert.
  EXPECT_EQ(v.size(), 1u);
}

TEST(JsonValue, AsInt64RoundsHalfAwayFromZeroAndParsesStrings) {
  struct Case {
    Value value;
    int64_t expected;
  } cases[] = {
      {Value(2.5), 3},
      {Value(-2.5), -3},
      {Value(2.4), 2},
      {Value(-0.4), 0},
      {Value(true), 1},
      {Value(false), 0},
      {Value("123abc"), 123},
      {Value("  -7"), -7},
      {Value("abc"), 0},
      {Value(""), 0},
      {Value(int64_t{1} << 53), int64_t{1} << 53},
      {Value(int64_t{4999999999999999}), 4999999999999999},    // odd, past 2^52
      {Value(-int64_t{4999999999999999}), -4999999999999999},
      {Value(4503599627370495.5), 4503599627370496},           // the last halves there are
      {Value(-9223372036854775807.0 - 1), std::numeric_limits<int64_t>::min()},
      {Value(), 99},
      {Value::array(), 99},
      {Value::object(), 99},
  };
  for (const auto& c : cases) EXPECT_EQ(c.value.asInt64(99), c.expected) << c.value.dump();
}

TEST(JsonValue, IntegerConversionsRefuseWhatDoesNotFit) {
  const double inf = std::numeric_limits<double>::infinity();
  const double nan = std::numeric_limits<double>::quiet_NaN();
  for (double d : {inf, -inf, nan, 9223372036854775808.0, -9.3e18, 1e300}) {
    EXPECT_EQ(Value(d).asInt64(-5), -5) << d;
    EXPECT_EQ(Value(d).asInt(-5), -5) << d;
  }
  struct Case {
    double d;
    int expected;
  } ints[] = {
      {2147483647.0, 2147483647}, {-2147483648.0, -2147483647 - 1}, {2147483648.0, 17},
      {-2147483649.0, 17},        {4294967301.0, 17},  // would truncate to 5
  };
  for (const auto& c : ints) EXPECT_EQ(Value(c.d).asInt(17), c.expected) << c.d;
  EXPECT_EQ(Value("99999999999").asInt(17), 17);
  EXPECT_EQ(Value("99999999999999999999999").asInt64(), std::numeric_limits<int64_t>::max());
  EXPECT_EQ(Value(std::numeric_limits<int64_t>::min()).asInt(3), 3);
}

TEST(JsonValue, WholeNumbersAreOnlyNumbersWithoutAFractionInTheirRange) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  struct Case {
    Value v;
    bool whole;
    int64_t out;
  } cases[] = {
      {Value(0), true, 0},           {Value(65535), true, 65535},  {Value(-1), false, 7},
      {Value(65536), false, 7},      {Value(1.5), false, 7},       {Value(1e300), false, 7},
      {Value(nan), false, 7},        {Value("3"), false, 7},       {Value(true), false, 7},
      {Value(), false, 7},           {Value(Value::object()), false, 7},
  };
  for (const Case& c : cases) {
    int64_t out = 7;
    EXPECT_EQ(c.v.asWholeNumber(0, 65535, out), c.whole) << c.v.dump();
    EXPECT_EQ(out, c.out) << c.v.dump();
  }
}

TEST(JsonValue, OtherAccessorsFollowTheKindTable) {
  EXPECT_EQ(Value(3).asString(), "3");
  EXPECT_EQ(Value(0.5).asString(), "0.5");
  EXPECT_EQ(Value(true).asString(), "true");
  EXPECT_EQ(Value(false).asString(), "false");
  EXPECT_EQ(Value().asString("d"), "d");
  EXPECT_EQ(Value::array().asString("d"), "d");
  EXPECT_EQ(Value(std::numeric_limits<double>::infinity()).asString("d"), "d");

  EXPECT_TRUE(Value(std::nan("")).asBool(false));
  EXPECT_FALSE(Value(0.0).asBool(true));
  EXPECT_TRUE(Value(-1).asBool(false));
  EXPECT_TRUE(Value("true").asBool(true));
  EXPECT_FALSE(Value("true").asBool(false));

  EXPECT_DOUBLE_EQ(Value("2.5x").asDouble(7), 2.5);
  EXPECT_DOUBLE_EQ(Value("x").asDouble(7), 0.0);
  EXPECT_DOUBLE_EQ(Value(true).asDouble(7), 1.0);
  EXPECT_DOUBLE_EQ(Value::object().asDouble(7), 7.0);

  EXPECT_EQ(Value("h\xC3\xA9").asWString(), u"h\u00e9");
  EXPECT_EQ(Value(12).asWString(u"d"), u"12");
  EXPECT_EQ(Value().asWString(u"d"), u"d");
  EXPECT_EQ(Value::array().asWString(u"d"), u"");
}

TEST(JsonValue, NumbersIgnoreTheProcessLocale) {
  // Graphical toolkits switch the process to the user's locale; a decimal
  // comma there must not change how numbers read or print.
  std::string saved = std::setlocale(LC_NUMERIC, nullptr);
  ASSERT_NE(std::setlocale(LC_NUMERIC, "de_DE.UTF-8"), nullptr) << "locales-all is not installed";
  ASSERT_EQ(std::localeconv()->decimal_point, std::string(","));
  std::string printed = Value(0.5).dump();
  std::string asText = Value(1.25).asString();
  double fromString = Value("1.25").asDouble();
  Value parsed;
  bool ok = Parse("[1.75]", parsed);
  std::setlocale(LC_NUMERIC, saved.c_str());
  EXPECT_EQ(printed, "0.5");
  EXPECT_EQ(asText, "1.25");
  EXPECT_DOUBLE_EQ(fromString, 1.25);
  ASSERT_TRUE(ok);
  EXPECT_DOUBLE_EQ(parsed.at(0).number, 1.75);
}

TEST(JsonValue, SetKeepsInsertionOrderAndReplacesInPlace) {
  Value v;
  v.set("b", 1);
  v.set("a", 2);
  EXPECT_EQ(v.dump(), R"({"b":1,"a":2})");
  v.set("b", "x");
  EXPECT_EQ(v.dump(), R"({"b":"x","a":2})");
  EXPECT_EQ(v.size(), 2u);

  Value scalar(5);
  scalar.set("k", true);
  EXPECT_EQ(scalar.dump(), R"({"k":true})");
  Value arr = Value::array();
  arr.append(1);
  arr.set("k", 2);  // an array becomes an object and loses its items
  EXPECT_EQ(arr.dump(), R"({"k":2})");
  Value obj = MustParse(R"({"a":1})");
  obj.append("x");
  EXPECT_EQ(obj.dump(), R"(["x"])");
  EXPECT_EQ(obj.size(), 1u);
}

TEST(JsonValue, ConstructorsTakeEveryNumberType) {
  EXPECT_EQ(Value(uint32_t{4000000000u}).dump(), "4000000000");
  EXPECT_EQ(Value(uint64_t{1} << 40).dump(), "1099511627776");
  EXPECT_EQ(Value(static_cast<long long>(-3)).dump(), "-3");
  EXPECT_EQ(Value(1.5f).dump(), "1.5");
  EXPECT_EQ(Value(static_cast<const char*>(nullptr)).dump(), "\"\"");
  EXPECT_EQ(Value(std::string_view("sv")).dump(), "\"sv\"");
}

// ---- Writer ----

TEST(JsonWriter, WritesNumbersExactly) {
  struct Case {
    double d;
    const char* text;
  } cases[] = {
      {0.0, "0"},
      {-0.0, "0"},
      {1e18, "1000000000000000000"},
      {1e19, "1e+19"},
      {0.1, "0.10000000000000001"},
      {-2.5, "-2.5"},
      {9007199254740993.0, "9007199254740992"},
      {-9223372036854775808.0, "-9223372036854775808"},
      {9223372036854775808.0, "9.2233720368547758e+18"},
      {5e-324, "4.9406564584124654e-324"},
      {std::numeric_limits<double>::infinity(), "null"},
      {-std::numeric_limits<double>::infinity(), "null"},
      {std::numeric_limits<double>::quiet_NaN(), "null"},
  };
  for (const auto& c : cases) EXPECT_EQ(Value(c.d).dump(), c.text) << c.d;
}

TEST(JsonWriter, EscapesOnlyWhatJsonRequires) {
  struct Case {
    std::string in;
    const char* out;
  } cases[] = {
      {"", R"("")"},
      {"a\"b\\c", R"("a\"b\\c")"},
      {"\b\f\n\r\t", R"("\b\f\n\r\t")"},
      {std::string("\x01\x1f\x00", 3), R"("\u0001\u001f\u0000")"},
      {"/\x7f", "\"/\x7f\""},
      {"h\xC3\xA9 \xF0\x9F\x98\x80", "\"h\xC3\xA9 \xF0\x9F\x98\x80\""},
      {"\xff\xfe", "\"\xff\xfe\""},
  };
  for (const auto& c : cases) EXPECT_EQ(EscapeString(c.in), c.out);
}

TEST(JsonWriter, IndentsByDepth) {
  Value v = Value::object();
  Value list = Value::array();
  list.append(1);
  list.append(Value::object());
  v.set("a", std::move(list));
  v.set("b", Value::array());
  EXPECT_EQ(v.dump(-1), R"({"a":[1,{}],"b":[]})");
  EXPECT_EQ(v.dump(2), "{\n  \"a\": [\n    1,\n    {}\n  ],\n  \"b\": []\n}");
  EXPECT_EQ(v.dump(0), "{\n\"a\": [\n1,\n{}\n],\n\"b\": []\n}");
  EXPECT_EQ(v.dump(1), "{\n \"a\": [\n  1,\n  {}\n ],\n \"b\": []\n}");
  EXPECT_EQ(Value().dump(2), "null");
  EXPECT_EQ(Value::object().dump(4), "{}");
}

// ---- Parser ----

TEST(JsonParser, AcceptsTheLenientNumberForms) {
  struct Case {
    const char* text;
    double value;
  } cases[] = {
      {"0", 0},       {"-0", 0},      {"+5", 5},      {"007", 7},       {".5", 0.5},
      {"5.", 5},      {"1e3", 1000},  {"1E-2", 0.01}, {"2e", 2},        {"2e+", 2},
      {"-1.5e+2", -150}, {" 42 ", 42}, {"1e-400", 0}, {"123456789012345678901234567890", 1.2345678901234568e29},
  };
  for (const auto& c : cases) EXPECT_DOUBLE_EQ(MustParse(c.text).asDouble(), c.value) << c.text;
  EXPECT_TRUE(std::isinf(MustParse("1e999").number));
}

TEST(JsonParser, ReadsStringsAndTheirEscapes) {
  struct Case {
    const char* text;
    std::string value;
  } cases[] = {
      {R"("")", ""},
      {R"("a\"\\\/b")", "a\"\\/b"},
      {R"("\b\f\n\r\t")", "\b\f\n\r\t"},
      {R"("\u0041\u00e9\u20AC")", "A\xC3\xA9\xE2\x82\xAC"},
      {R"("\u0000")", std::string(1, '\0')},
      {R"("\ud83d\ude00")", "\xF0\x9F\x98\x80"},
      {R"("\udc00")", "\xEF\xBF\xBD"},
      {R"("\ud83dx")", "\xEF\xBF\xBDx"},
      {R"("\ud83d\u0041")", "\xEF\xBF\xBD" "A"},
      {R"("\ud83d\ud83d\ude00")", "\xEF\xBF\xBD\xF0\x9F\x98\x80"},
      {R"("\ud83d\n")", "\xEF\xBF\xBD\n"},
      {"\"\xff\xc3\"", "\xff\xc3"},
  };
  for (const auto& c : cases) EXPECT_EQ(MustParse(c.text).string, c.value) << c.text;
}

TEST(JsonParser, ReportsEachErrorWithItsOffset) {
  struct Case {
    std::string text;
    const char* error;
  } cases[] = {
      {"", "JSON parse error at offset 0: unexpected end of input"},
      {"  \n", "JSON parse error at offset 3: unexpected end of input"},
      {"tru", "JSON parse error at offset 0: invalid literal"},
      {"nul", "JSON parse error at offset 0: invalid literal"},
      {"truex", "JSON parse error at offset 4: trailing content after JSON value"},
      {"[truex]", "JSON parse error at offset 5: expected ',' or ']'"},
      {"-", "JSON parse error at offset 1: invalid number"},
      {".", "JSON parse error at offset 1: invalid number"},
      {"x", "JSON parse error at offset 0: invalid number"},
      {"\"abc", "JSON parse error at offset 4: unterminated string"},
      {"\"a\nb\"", "JSON parse error at offset 2: control character in string"},
      {"\"\\", "JSON parse error at offset 2: unterminated escape"},
      {"\"\\x\"", "JSON parse error at offset 2: invalid escape"},
      {"\"\\u12\"", "JSON parse error at offset 3: truncated \\u escape"},
      {"\"\\u12x4\"", "JSON parse error at offset 5: invalid hex digit"},
      {"\"\\u12", "JSON parse error at offset 3: truncated \\u escape"},
      {"\"\\ud800\\u12", "JSON parse error at offset 9: truncated \\u escape"},
      {"[1,]", "JSON parse error at offset 3: invalid number"},
      {"[1 2]", "JSON parse error at offset 3: expected ',' or ']'"},
      {"[1", "JSON parse error at offset 2: unexpected end of input"},
      {"{1:2}", "JSON parse error at offset 1: object key must be a string"},
      {"{\"a\" 1}", "JSON parse error at offset 5: unexpected character"},
      {"{\"a\"", "JSON parse error at offset 4: unexpected character"},
      {"{\"a\":1 \"b\":2}", "JSON parse error at offset 7: expected ',' or '}'"},
      {"{\"a\":1", "JSON parse error at offset 6: unexpected end of input"},
      {"{\"a\":1,}", "JSON parse error at offset 7: object key must be a string"},
      {"1 2", "JSON parse error at offset 2: trailing content after JSON value"},
      {std::string("1\0", 2), "JSON parse error at offset 1: trailing content after JSON value"},
  };
  for (const auto& c : cases) EXPECT_EQ(ParseError(c.text), c.error) << c.text;
}

TEST(JsonParser, LimitsNestingToSixtyFourLevels) {
  EXPECT_EQ(MustParse(Nested(64, "1")).dump(), Nested(64, "1"));
  EXPECT_EQ(ParseError(Nested(65, "1")), "JSON parse error at offset 65: nesting too deep");
  EXPECT_EQ(MustParse(Nested(65, "")).dump(), Nested(64, "[]"));
  EXPECT_NE(ParseError(Nested(66, "")).find("nesting too deep"), std::string::npos);
  std::string objects;
  for (int i = 0; i < 65; ++i) objects += "{\"k\":";
  objects += "0" + std::string(65, '}');
  EXPECT_NE(ParseError(objects).find("nesting too deep"), std::string::npos);
  // Far deeper input fails the same way instead of exhausting the stack.
  EXPECT_NE(ParseError(std::string(1000000, '[')).find("nesting too deep"), std::string::npos);
}

TEST(JsonParser, LimitsCountEveryValueAndLevel) {
  const ParseLimits limits{5, 2};
  struct Case {
    const char* text;
    const char* error;  // empty: parsed
  };
  const Case cases[] = {
      {"[1,2,3,4]", ""},
      {"[1,2,3,4,5]", "JSON parse error at offset 9: too many values"},
      {R"({"a":{"b":1},"c":2})", ""},
      {R"({"a":{"b":[]}})", ""},
      {R"({"a":{"b":[1]}})", "JSON parse error at offset 11: nesting too deep"},
      {"[[],[],[],[]]", ""},
      {"[[],[],[],[],[]]", "JSON parse error at offset 13: too many values"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    Value out;
    std::string error;
    EXPECT_EQ(Parse(c.text, out, limits, &error), c.error[0] == '\0');
    EXPECT_EQ(error, c.error);
  }
}

TEST(JsonParser, FailureLeavesTheOutputUntouched) {
  Value out = MustParse(R"({"keep":1})");
  for (const char* bad : {"{", "[1,2", "\"x", "nul", "{} {}"}) {
    EXPECT_FALSE(Parse(bad, out));
    EXPECT_EQ(out.dump(), R"({"keep":1})");
  }
  EXPECT_TRUE(Parse("[]", out));
  EXPECT_EQ(out.dump(), "[]");
}

TEST(JsonParser, RepeatedKeysKeepTheFirstPositionAndTheLastValue) {
  EXPECT_EQ(MustParse(R"({"a":1,"b":2,"a":3})").dump(), R"({"a":3,"b":2})");
  // The same holds for objects large enough to be indexed while read.
  std::string text = "{";
  std::string expected = "{";
  for (int i = 0; i < 40; ++i) {
    text += "\"k" + std::to_string(i) + "\":" + std::to_string(i) + ",";
    expected += "\"k" + std::to_string(i) + "\":" + std::to_string(i == 3 ? 100 : i == 30 ? 200 : i) +
                (i == 39 ? "}" : ",");
  }
  text += "\"k3\":100,\"k30\":0,\"k30\":200}";
  Value v = MustParse(text);
  EXPECT_EQ(v.size(), 40u);
  EXPECT_EQ(v.dump(), expected);
}

TEST(JsonParser, RoundTripsThroughTheWriter) {
  const char* texts[] = {
      R"({"id":"a1","drive":"D","n":-12,"f":0.25,"ok":true,"no":false,"z":null,"list":[1,[2,[3]],{}],"s":"\u0001\t\"é"})",
      R"([[],{},[{}],{"":""}])",
      R"("\ud83d\ude00")",
      R"(1.7976931348623157e308)",
  };
  for (const char* text : texts) {
    Value first = MustParse(text);
    for (int indent : {-1, 0, 1, 2}) {
      Value second = MustParse(first.dump(indent));
      EXPECT_EQ(second.dump(), first.dump()) << text << " indent " << indent;
    }
  }
  Value v = MustParse(" {\r\n\t\"a\" : [ 1 , 2 ] } ");
  EXPECT_EQ(v.dump(), R"({"a":[1,2]})");
}

}  // namespace
}  // namespace vx::json
