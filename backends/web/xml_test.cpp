#include "backends/web/xml.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tarn {
namespace {

// The tree as one text, for comparing two parses.
std::string Dump(const XmlNode* n) {
  if (n == nullptr) return "null";
  std::string out = "<" + n->name + ">" + n->text;
  for (const auto& c : n->children) out += Dump(c.get());
  return out + "</>";
}

// Feeds the document in pieces of the given size.
std::string ParseInPieces(std::string_view doc, size_t piece) {
  XmlStreamParser parser;
  for (size_t at = 0; at < doc.size(); at += piece) parser.feed(doc.substr(at, piece));
  auto root = parser.finish();
  return Dump(root.get());
}

TEST(XmlReader, ParsesNamesAndOwnText) {
  struct Case {
    std::string doc;
    std::string rootName;
    std::string rootText;
    size_t children;
  };
  const Case cases[] = {
      {"<a>x</a>", "a", "x", 0},
      {"<D:Multistatus xmlns:D=\"DAV:\"></D:Multistatus>", "multistatus", "", 0},
      {"<a:b:c></a:b:c>", "b:c", "", 0},
      {"<a>\n  <b>1</b>\n</a>", "a", "\n  \n", 1},
      {"<a>1<![CDATA[<&>]]>2</a>", "a", "1<&>2", 0},
      {"<a>&lt;&amp;&#65;&#x42;&#X43;</a>", "a", "<&ABC", 0},
      {"<a x='>' y=\"/>\">t</a>", "a", "t", 0},
      {"<a/>", "a", "", 0},
      {"<a />", "a", "", 0},
      {"<a/ ></a>", "a", "", 0},
      {"<a>t</a >", "a", "t", 0},
      {"<?xml version=\"1.0\"?><!DOCTYPE r><!-- c --><r/>", "r", "", 0},
      {"<r/><s/>", "r", "", 0},
      {"<r></r>\x01 not xml <", "r", "", 0},
      {"\xEF\xBB\xBF<r>v</r>", "r", "v", 0},
      {"<a><!--x--><!---->y</a>", "a", "y", 0},
      {"<a>[<![CDATA[]]>]</a>", "a", "[]", 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.doc);
    auto root = ParseXml(c.doc);
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(root->name, c.rootName);
    EXPECT_EQ(root->text, c.rootText);
    EXPECT_EQ(root->children.size(), c.children);
  }
}

TEST(XmlReader, RefusesMalformedDocuments) {
  const std::string cases[] = {
      "",
      "just text",
      "\xEF\xBB\xBF",
      "<!-- only a comment -->",
      "<a><b></a>",
      "<a>",
      "</a>",
      "<a x=\"unclosed></a>",
      "<a x='",
      "<a/ >",
      "<a>t</ a>",
      "<!-- never closed",
      "<a><![CDATA[ never closed</a>",
      "<a><?pi never closed",
      "<a",
      "<a>text",
  };
  for (const auto& doc : cases) {
    SCOPED_TRACE(doc);
    EXPECT_EQ(ParseXml(doc), nullptr);
  }
}

TEST(XmlReader, DeepNestingIsRefusedWithoutExhaustingTheStack) {
  std::string deep;
  for (int i = 0; i < 100000; ++i) deep += "<a>";
  EXPECT_EQ(ParseXml(deep), nullptr);

  std::string within;
  for (size_t i = 0; i < kMaxXmlDepth; ++i) within += "<a>";
  within += "x";
  for (size_t i = 0; i < kMaxXmlDepth; ++i) within += "</a>";
  auto root = ParseXml(within);
  ASSERT_NE(root, nullptr);
  const XmlNode* n = root.get();
  size_t depth = 1;
  while (!n->children.empty()) {
    n = n->children[0].get();
    ++depth;
  }
  EXPECT_EQ(depth, kMaxXmlDepth);
  EXPECT_EQ(n->text, "x");

  std::string beyond = "<a>" + within + "</a>";
  EXPECT_EQ(ParseXml(beyond), nullptr);
}

TEST(XmlReader, DecodesEntities) {
  struct Case {
    std::string in, out;
  };
  const Case cases[] = {
      {"&lt;&gt;&amp;&quot;&apos;", "<>&\"'"},
      {"&nbsp;", "&nbsp;"},
      {"&LT;", "&LT;"},
      {"a&#0;b", "ab"},
      {"a&#;b", "ab"},
      {"a&#x;b", "ab"},
      {"a&#12a;b", "ab"},
      {"a& b", "a& b"},
      {"&;", "&;"},
      {"&abcdefghij;", "&abcdefghij;"},  // name of 10 bytes: too long to be a reference
      {"&#12345678;", ""},  // past U+10FFFF: dropped like every invalid reference
      {"&#x110000;", ""},
      {"&#xD800;", "\xEF\xBF\xBD"},  // a lone surrogate never becomes invalid UTF-8
      {"&#123456789;", "&#123456789;"},
      {"&#x7F;&#x80;&#x7FF;&#x800;&#xFFFF;&#x10000;", "\x7F\xC2\x80\xDF\xBF\xE0\xA0\x80\xEF\xBF\xBF\xF0\x90\x80\x80"},
      {"tail&", "tail&"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.in);
    EXPECT_EQ(DecodeXmlText(c.in), c.out);
  }
}

TEST(XmlReader, EscapesTextAndFoldsLocalNames) {
  EXPECT_EQ(XmlEscape("a\"b&c'd<e>f"), "a&quot;b&amp;c&apos;d&lt;e&gt;f");
  EXPECT_EQ(XmlEscape("\xC3\xA9 plain"), "\xC3\xA9 plain");
  EXPECT_EQ(DecodeXmlText(XmlEscape("<x a=\"1\" b='2'>&amp;</x>")), "<x a=\"1\" b='2'>&amp;</x>");
  EXPECT_EQ(XmlLocalName("D:HREF"), "href");
  EXPECT_EQ(XmlLocalName("a:B:c"), "b:c");
  EXPECT_EQ(XmlLocalName("\xC3\x89X"), "\xC3\x89x");
}

TEST(XmlReader, LookupsFollowDocumentOrder) {
  auto root = ParseXml("<r><a><b>1</b></a><b>2</b><b>3</b><c/></r>");
  ASSERT_NE(root, nullptr);
  ASSERT_NE(root->find("b"), nullptr);
  EXPECT_EQ(root->find("b")->text, "1");
  ASSERT_NE(root->child("b"), nullptr);
  EXPECT_EQ(root->child("b")->text, "2");
  auto bs = root->childrenNamed("b");
  ASSERT_EQ(bs.size(), 2u);
  EXPECT_EQ(bs[1]->text, "3");
  EXPECT_EQ(root->childText("b"), "2");
  EXPECT_EQ(root->childText("c"), "");
  EXPECT_EQ(root->childText("missing"), "");
  EXPECT_EQ(root->child("missing"), nullptr);
  EXPECT_EQ(root->find("r"), nullptr);
  EXPECT_TRUE(root->childrenNamed("missing").empty());
}

TEST(XmlReader, AnySplitOfADocumentGivesTheSameTree) {
  const std::string docs[] = {
      "\xEF\xBB\xBF<?xml version=\"1.0\"?><!DOCTYPE r><!-- c --><D:r a='>' b=\"/>\">1&amp;2&#x20AC;"
      "<![CDATA[<&>]]><b/><c >t</c ><!---->x</D:r> trailing <",
      "<a>\n  <b>1</b>\n</a>",
      "<a><b></a>",
      "<a x='",
      "<a/ ></a>",
      "<!-- never closed",
      "<a>text",
      "<r>&lt;&#65;&nbsp;&;</r>",
  };
  for (const auto& doc : docs) {
    SCOPED_TRACE(doc);
    const std::string whole = Dump(ParseXml(doc).get());
    for (size_t piece = 1; piece <= doc.size(); ++piece) EXPECT_EQ(ParseInPieces(doc, piece), whole) << piece;
    // Split once at every position: every token boundary is crossed.
    for (size_t cut = 0; cut <= doc.size(); ++cut) {
      XmlStreamParser parser;
      parser.feed(std::string_view(doc).substr(0, cut));
      parser.feed(std::string_view(doc).substr(cut));
      EXPECT_EQ(Dump(parser.finish().get()), whole) << cut;
    }
  }
}

TEST(XmlReader, HandsOutEachEntryAndKeepsNone) {
  std::vector<std::string> seen;
  XmlStreamParser parser([&](const XmlNode& n) {
    seen.push_back(n.name + "=" + n.childText("v"));
    return true;
  });
  const std::string doc = "<m>junk<e><v>1</v></e>more<e><v>2</v><w/></e><f/></m><ignored>";
  for (char c : doc) ASSERT_TRUE(parser.feed(std::string_view(&c, 1)));
  auto root = parser.finish();
  ASSERT_NE(root, nullptr);
  EXPECT_EQ(root->name, "m");
  EXPECT_TRUE(root->children.empty());
  EXPECT_EQ(root->text, "");
  EXPECT_EQ(seen, (std::vector<std::string>{"e=1", "e=2", "f="}));
}

TEST(XmlReader, StreamingHoldsAtMostItsLimit) {
  constexpr size_t kLimit = 64;
  auto handler = [](const XmlNode&) { return true; };
  struct Case {
    std::string doc;
    bool ok;
  };
  const std::string small = "<e><v>" + std::string(40, 'x') + "</v></e>";
  std::string many = "<m>";
  for (int i = 0; i < 1000; ++i) many += small + "\n";
  many += "</m>";
  const Case cases[] = {
      {many, true},                                                             // far more than the limit in all
      {"<m><e><v>" + std::string(kLimit, 'x') + "</v></e></m>", false},          // one entry too large
      {"<m><e><v/><v/><v/><v/><v/><v/><v/><v/><v/><v/><v/><v/><v/><v/><v/><v/><v/></e></m>", false},
      {"<m>" + std::string(10 * kLimit, ' ') + "</m>", true},                   // the root's text is dropped
      {"<m><!--" + std::string(2 * kLimit, '-') + "--></m>", false},            // one piece of markup too large
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.doc.substr(0, 40));
    XmlStreamParser parser(handler, kLimit);
    bool fed = true;
    for (size_t at = 0; at < c.doc.size() && fed; at += 16) fed = parser.feed(std::string_view(c.doc).substr(at, 16));
    EXPECT_EQ(fed, c.ok);
    EXPECT_EQ(parser.heldTooMuch(), !c.ok);
    EXPECT_EQ(parser.finish() != nullptr, c.ok);
  }
}

}  // namespace
}  // namespace tarn
