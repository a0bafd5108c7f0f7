#include "online/XmlDocument.h"

#include <gtest/gtest.h>

#include <string>

using online::CXmlDocument;

namespace {

// The index of an edited document must be the one a fresh parse of its text builds.
void ExpectIndexMatchesFreshParse(const CXmlDocument& doc) {
    CXmlDocument fresh(doc.GetDocumentText());
    EXPECT_EQ(doc.IndexSnapshot(), fresh.IndexSnapshot()) << doc.GetDocumentText();
}

std::string Repeat(const std::string& piece, int count) {
    std::string out;
    out.reserve(piece.size() * count);
    for (int i = 0; i < count; ++i) {
        out += piece;
    }
    return out;
}

struct ParseCase {
    const char* name;
    std::string text;
    bool wellFormed;
    const char* error;
};

const ParseCase kParseCases[] = {
    {"empty text", "", false, "Empty document"},
    {"root sibling", "<a/><b/>", false, "Root element has sibling"},
    {"no root", "just some text", false, "No root element"},
    {"whitespace and a comment only", " \r\n<!-- x -->\t", false, "No root element"},
    {"mismatched end tag", "<a><b></a>", false,
     "End tag 'a' at offset 7 does not match start tag 'b' at offset 3"},
    {"element not ended", "<a>", false, "Element 'a' at offset 0 not ended"},
    {"incorrect tag name character", "<a>< ", false, "Incorrect tag name character at offset 3"},
    {"incorrect comment tag", "<a><!-x--></a>", false, "Incorrect comment tag at offset 3"},
    {"incorrect ! tag", "<a><!x></a>", false, "Incorrect ! tag at offset 3"},
    {"incorrect tag after <![", "<a><![X[y]]></a>", false, "Incorrect tag at offset 3"},
    {"end tag without start tag", "<a></b></a>", false, "No start tag for end tag 'b' at offset 3"},
    {"unterminated comment", "<a><!-- c", false, "Comment at offset 3 unterminated"},
    {"unterminated CDATA", "<a><![CDATA[x", false, "CDATA Section at offset 3 unterminated"},
    {"unterminated processing instruction", "<?xml version", false,
     "Processing instruction at offset 0 unterminated"},
    {"unterminated doctype", "<!DOCTYPE a [<!ENTITY e 'x'>", false,
     "Doctype at offset 0 unterminated"},
    {"unterminated start tag", "<r><a x='1>", false, "Element tag at offset 3 unterminated"},
    {"unterminated end tag", "<a></a", false, "Element end tag at offset 3 unterminated"},
    {"lone < at the end", "<a></a><", false, "tag at offset 7 unterminated"},
    {"only the first error is kept", "<a>< <!x></b>", false,
     "Incorrect tag name character at offset 3"},
    {"empty element", "<a/>", true, ""},
    {"empty element with blank", "<a />", true, ""},
    {"empty element after quoted value", "<a x=\"1\"/>", true, ""},
    {"unquoted value takes the slash", "<a x=1/>", false, "Element 'a' at offset 0 not ended"},
    {"> inside a quoted value", "<a t=\"x>y\" u='/>'></a>", true, ""},
    {"nested elements", "<?xml version=\"1.0\"?>\n<a><b>t</b><c/></a>\n", true, ""},
    {"doctype with internal subset",
     "<!DOCTYPE a [<!ENTITY e 'x'><!-- > --><!ATTLIST a b CDATA #IMPLIED>]><a/>", true, ""},
    {"end tag with blank before >", "<a></a >", true, ""},
    {"offsets count UTF-16 units", "<\xC3\xA9><b></\xC3\xA9>", false,
     "End tag '\xC3\xA9' at offset 7 does not match start tag 'b' at offset 3"},
    {"a character beyond the basic plane counts twice", "<a>\xF0\x9F\x98\x80< ", false,
     "Incorrect tag name character at offset 5"},
};

class XmlParse : public testing::TestWithParam<ParseCase> {};

TEST_P(XmlParse, VerdictAndErrorText) {
    const ParseCase& c = GetParam();
    CXmlDocument doc;
    EXPECT_EQ(doc.SetDocumentText(c.text), c.wellFormed);
    EXPECT_EQ(doc.IsWellFormedDocument(), c.wellFormed);
    EXPECT_EQ(doc.GetErrorText(), c.error);
    EXPECT_EQ(doc.GetDocumentText(), c.text);
}

INSTANTIATE_TEST_SUITE_P(Documents, XmlParse, testing::ValuesIn(kParseCases),
                         [](const testing::TestParamInfo<ParseCase>& info) {
                             std::string name;
                             for (char ch : std::string(info.param.name)) {
                                 name += std::isalnum(static_cast<unsigned char>(ch)) ? ch : '_';
                             }
                             return name;
                         });

TEST(XmlDocument, ElementsLeftOpenHandTheirChildrenToTheirParent) {
    CXmlDocument doc("<a><b x='1'><c/><d></d></a>");
    EXPECT_FALSE(doc.IsWellFormedDocument());
    ASSERT_TRUE(doc.FindElement("a"));
    ASSERT_TRUE(doc.FindChildElement("b"));
    EXPECT_EQ(doc.GetChildAttribute("x"), "1");
    EXPECT_EQ(doc.GetChildElementText(), "");
    EXPECT_TRUE(doc.FindChildElement("c")) << "c follows b under a";
    EXPECT_TRUE(doc.FindChildElement("d"));
    EXPECT_TRUE(doc.EnterElement());
    EXPECT_FALSE(doc.FindChildElement()) << "d closed with no children";

    const auto index = doc.IndexSnapshot();
    ASSERT_EQ(index.size(), 4u);
    EXPECT_EQ(index[1].depth, 1u);
    EXPECT_NE(index[1].flagsAndLevel & CXmlDocument::kNotEnded, 0u);
    EXPECT_EQ(index[1].length, index[1].startTagLength);
    EXPECT_EQ(index[2].depth, 1u);
    EXPECT_EQ(index[2].flagsAndLevel & CXmlDocument::kLevelMask, 1u);
}

TEST(XmlDocument, DeepAndBrokenDocumentsParseWithoutRecursion) {
    const int depth = 100000;
    CXmlDocument closed(Repeat("<a>", depth) + "x" + Repeat("</a>", depth));
    EXPECT_TRUE(closed.IsWellFormedDocument());
    EXPECT_EQ(closed.ElementCount(), static_cast<std::uint32_t>(depth));
    EXPECT_EQ(closed.IndexSnapshot().back().depth, static_cast<std::uint32_t>(depth - 1));
    EXPECT_EQ(closed.IndexSnapshot().back().flagsAndLevel & CXmlDocument::kLevelMask, 0xFFFFu)
        << "the level saturates in its 16 bits";

    CXmlDocument open(Repeat("<a>", depth) + Repeat("</b>", depth));
    EXPECT_FALSE(open.IsWellFormedDocument());
    EXPECT_EQ(open.GetErrorText(), "No start tag for end tag 'b' at offset 300000");
    const auto index = open.IndexSnapshot();
    ASSERT_EQ(index.size(), static_cast<std::size_t>(depth));
    EXPECT_EQ(index.back().depth, 0u) << "every open element ends with its start tag";

    CXmlDocument crossed(Repeat("<a><b>", depth / 2) + Repeat("</a>", depth / 2));
    EXPECT_EQ(crossed.GetErrorText(),
              "End tag 'a' at offset 300001 does not match start tag 'b' at offset 299997");
    EXPECT_TRUE(crossed.IsWellFormedDocument() == false);
}

TEST(XmlDocument, NamesCompareExactlyUnlessAskedOtherwise) {
    CXmlDocument exact("<A><b/></A>");
    EXPECT_FALSE(exact.FindElement("a"));
    EXPECT_TRUE(exact.FindElement("A"));

    CXmlDocument folded;
    folded.SetDocumentFlags(CXmlDocument::kNoCase);
    EXPECT_TRUE(folded.SetDocumentText("<A X='1'><b/></a>"));
    EXPECT_TRUE(folded.FindElement("a"));
    EXPECT_EQ(folded.GetAttribute("x"), "1");
}

TEST(XmlDocument, PositionMovesThroughTheIndex) {
    CXmlDocument doc("<r><a><x/></a><b/></r>");
    EXPECT_FALSE(doc.EnterElement()) << "no current element";
    EXPECT_FALSE(doc.LeaveElement()) << "no parent";
    EXPECT_TRUE(doc.FindChildElement()) << "moves to the root first";
    EXPECT_EQ(doc.GetTagName(), "r");
    EXPECT_EQ(doc.GetChildTagName(), "a");
    EXPECT_TRUE(doc.EnterElement());
    EXPECT_EQ(doc.GetTagName(), "a");
    EXPECT_TRUE(doc.FindChildElement("x"));
    EXPECT_TRUE(doc.FindElement());
    EXPECT_EQ(doc.GetTagName(), "b");
    EXPECT_FALSE(doc.FindElement()) << "b is the last sibling";
    EXPECT_EQ(doc.GetTagName(), "b") << "a failed find leaves the position";
    EXPECT_TRUE(doc.LeaveElement());
    EXPECT_EQ(doc.GetTagName(), "r");
    EXPECT_EQ(doc.GetChildTagName(), "b");
    doc.ResetPosition();
    EXPECT_EQ(doc.GetTagName(), "");
    EXPECT_TRUE(doc.FindElement("r"));
}

TEST(XmlDocument, ChildrenAreFoundOnlyAfterTheLastMatch) {
    CXmlDocument doc("<r><a>1</a><b>2</b><c>3</c></r>");
    ASSERT_TRUE(doc.FindElement("r"));
    EXPECT_TRUE(doc.FindChildElement("b"));
    EXPECT_EQ(doc.GetChildElementText(), "2");
    EXPECT_FALSE(doc.FindChildElement("a")) << "a stands before b";
    EXPECT_EQ(doc.GetChildTagName(), "b");
    EXPECT_TRUE(doc.FindChildElement("c"));
    EXPECT_EQ(doc.GetChildElementText(), "3");
}

TEST(XmlDocument, ElementText) {
    struct Case {
        const char* text;
        const char* expected;
    };
    const Case cases[] = {
        {"<a>x &amp; y</a>", "x & y"},
        {"<a><![CDATA[<b>]]></a>", "<b>"},
        {"<a><b/></a>", ""},
        {"<a/>", ""},
        {"<a>1<!--c-->2<?p x?>3<![CDATA[&amp;]]>&lt;</a>", "123&amp;<"},
        {"<a>&lt;&gt;&amp;&apos;&quot;</a>", "<>&'\""},
    };
    for (const Case& c : cases) {
        CXmlDocument doc(c.text);
        ASSERT_TRUE(doc.FindElement()) << c.text;
        EXPECT_EQ(doc.GetElementText(), c.expected) << c.text;
    }
    CXmlDocument doc("<r><n>v</n></r>");
    EXPECT_EQ(doc.GetElementText(), "") << "no current element";
    doc.FindChildElement("n");
    EXPECT_EQ(doc.GetChildElementText(), "v");
}

TEST(XmlText, Unescape) {
    struct Case {
        const char* text;
        const char* expected;
    };
    const Case cases[] = {
        {"&#65;", "A"},
        {"&#x41;", "A"},
        {"&#0;", "&#0;"},
        {"&#x0;", "&#x0;"},
        {"&#12345678;", "&#12345678;"},
        {"&#1234567;", "&#1234567;"}, // seven digits, but no character has that code
        {"&#0000065;", "A"},
        {"&#65abc;", "A"},
        {"&unknown;", "&unknown;"},
        {"&lt", "&lt"},
        {"&amp;lt;", "&lt;"},
        {"&#;", "&#;"},
        {"&#x1F600;", "\xF0\x9F\x98\x80"},
        {"&#xE9;", "\xC3\xA9"},
        {"&#xD800;", "&#xD800;"},
        {"a & b", "a & b"},
        {"&", "&"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(CXmlDocument::Unescape(c.text), c.expected) << c.text;
    }
    EXPECT_EQ(CXmlDocument::EscapeText("<a & 'b' \"c\">"), "&lt;a &amp; 'b' \"c\"&gt;");
    EXPECT_EQ(CXmlDocument::EscapeAttribute("'\"<&>"), "&apos;&quot;&lt;&amp;&gt;");
    EXPECT_EQ(CXmlDocument::MakeCData("a]]>b]]>"), "<![CDATA[a]]]]><![CDATA[>b]]]]><![CDATA[>]]>");
}

TEST(XmlDocument, CDataValuesReadBackAsWritten) {
    CXmlDocument doc("<r/>");
    ASSERT_TRUE(doc.FindElement());
    const std::string value = "x]]>y <z> &amp; ]]";
    ASSERT_TRUE(doc.AppendChildElement("v", value, true));
    EXPECT_EQ(doc.GetChildElementText(), value);
    ASSERT_TRUE(doc.AppendChildElement("w", value));
    EXPECT_EQ(doc.GetChildElementText(), value);
    ExpectIndexMatchesFreshParse(doc);
}

TEST(XmlDocument, SetAttributeReplacesAndQuotes) {
    CXmlDocument doc("<r><a x='1' y=2 z></a><b/></r>");
    ASSERT_TRUE(doc.FindElement("r"));
    ASSERT_TRUE(doc.FindChildElement("a"));
    EXPECT_TRUE(doc.SetChildAttribute("x", "one"));
    EXPECT_TRUE(doc.SetChildAttribute("x", "say \"hi\" it's <ok> & fine"));
    EXPECT_TRUE(doc.SetChildAttribute("y", "3"));
    EXPECT_TRUE(doc.SetChildAttribute("z", "4"));
    EXPECT_TRUE(doc.SetChildAttribute("w", "5"));
    EXPECT_TRUE(doc.SetChildAttribute("v", "6"));
    EXPECT_EQ(doc.GetDocumentText(),
              "<r><a x=\"say &quot;hi&quot; it&apos;s &lt;ok&gt; &amp; fine\" y=\"3\" z=\"4\" "
              "w=\"5\" v=\"6\"></a><b/></r>");
    EXPECT_EQ(doc.GetChildAttribute("x"), "say \"hi\" it's <ok> & fine");
    EXPECT_EQ(doc.GetChildAttribute("v"), "6");
    EXPECT_EQ(doc.GetChildAttribute("missing"), "");
    ExpectIndexMatchesFreshParse(doc);

    ASSERT_TRUE(doc.FindChildElement("b"));
    EXPECT_TRUE(doc.SetChildAttribute("k", ""));
    EXPECT_TRUE(doc.SetAttribute("id", "7"));
    EXPECT_EQ(doc.GetDocumentText().substr(0, 12), "<r id=\"7\"><a");
    EXPECT_NE(doc.GetDocumentText().find("<b k=\"\"/></r>"), std::string::npos);
    ExpectIndexMatchesFreshParse(doc);
    EXPECT_TRUE(doc.IsWellFormedDocument());
}

TEST(XmlDocument, WritesNeedAnElementAndAUsableName) {
    CXmlDocument doc("<r/>");
    EXPECT_FALSE(doc.SetAttribute("a", "1")) << "no current element";
    EXPECT_FALSE(doc.AppendChildElement("c")) << "no current element";
    ASSERT_TRUE(doc.FindElement());
    for (const char* bad : {"", "a b", "a>", "1a", "a\"", "a/b", "-x", "a=b", "a&b"}) {
        EXPECT_FALSE(doc.SetAttribute(bad, "v")) << bad;
        EXPECT_FALSE(doc.AppendChildElement(bad, "v")) << bad;
    }
    EXPECT_EQ(doc.GetDocumentText(), "<r/>");
    EXPECT_TRUE(doc.AppendChildElement("ns:x_\xC3\xA9"));

    CXmlDocument open("<a><b>");
    ASSERT_TRUE(open.FindElement("a"));
    EXPECT_FALSE(open.AppendChildElement("c")) << "an element left open has no inside";
}

TEST(XmlDocument, AppendLayouts) {
    struct Case {
        const char* text;
        const char* expected;
    };
    const Case cases[] = {
        {"<p/>", "<p>\r\n<c/>\r\n</p>"},
        {"<p x=\"1\" />", "<p x=\"1\" >\r\n<c/>\r\n</p>"},
        {"<p></p>", "<p>\r\n<c/>\r\n</p>"},
        {"<p>\r\n<a/>\r\n</p>", "<p>\r\n<a/>\r\n<c/>\r\n</p>"},
        {"<p>text</p>", "<p>text<c/>\r\n</p>"},
    };
    for (const Case& c : cases) {
        CXmlDocument doc(c.text);
        ASSERT_TRUE(doc.FindElement("p"));
        ASSERT_TRUE(doc.AppendChildElement("c"));
        EXPECT_EQ(doc.GetDocumentText(), c.expected) << c.text;
        EXPECT_EQ(doc.GetChildTagName(), "c");
        EXPECT_EQ(doc.GetTagName(), "p");
        ExpectIndexMatchesFreshParse(doc);
    }
}

TEST(XmlDocument, AppendElementGoesAfterTheCurrentOne) {
    CXmlDocument doc("<r>\r\n<a/>\r\n<b/>\r\n</r>");
    ASSERT_TRUE(doc.FindElement("r"));
    ASSERT_TRUE(doc.FindChildElement("a"));
    ASSERT_TRUE(doc.EnterElement());
    ASSERT_TRUE(doc.AppendElement("n", "1 < 2"));
    EXPECT_EQ(doc.GetTagName(), "n");
    ASSERT_TRUE(doc.AppendElement("m"));
    EXPECT_EQ(doc.GetDocumentText(), "<r>\r\n<a/>\r\n<n>1 &lt; 2</n>\r\n<m/>\r\n<b/>\r\n</r>");
    EXPECT_TRUE(doc.FindElement("b")) << "b still follows";
    ExpectIndexMatchesFreshParse(doc);

    CXmlDocument fromNothing;
    ASSERT_TRUE(fromNothing.AppendElement("root"));
    ASSERT_TRUE(fromNothing.AppendChildElement("child", "v"));
    EXPECT_EQ(fromNothing.GetDocumentText(), "<root>\r\n<child>v</child>\r\n</root>\r\n");
    EXPECT_TRUE(fromNothing.IsWellFormedDocument());
    ExpectIndexMatchesFreshParse(fromNothing);
}

TEST(XmlDocument, BuildsTheRequestExampleByteForByte) {
    CXmlDocument doc("<?xml version=\"1.0\"?>\n<request></request>");
    ASSERT_TRUE(doc.FindElement("request"));
    ASSERT_TRUE(doc.AppendChildElement("images"));
    ASSERT_TRUE(doc.EnterElement());
    ASSERT_TRUE(doc.AppendChildElement("image"));
    ASSERT_TRUE(doc.EnterElement());
    ASSERT_TRUE(doc.AppendChildElement("filename", "a.jpg", true));
    EXPECT_EQ(doc.GetDocumentText(), "<?xml version=\"1.0\"?>\n"
                                     "<request>\r\n"
                                     "<images>\r\n"
                                     "<image>\r\n"
                                     "<filename><![CDATA[a.jpg]]></filename>\r\n"
                                     "</image>\r\n"
                                     "</images>\r\n"
                                     "</request>");
    EXPECT_TRUE(doc.IsWellFormedDocument());
    ExpectIndexMatchesFreshParse(doc);

    CXmlDocument reread(doc.GetDocumentText());
    ASSERT_TRUE(reread.FindElement("request"));
    ASSERT_TRUE(reread.FindChildElement("images"));
    ASSERT_TRUE(reread.EnterElement());
    ASSERT_TRUE(reread.FindChildElement("image"));
    ASSERT_TRUE(reread.EnterElement());
    ASSERT_TRUE(reread.FindChildElement("filename"));
    EXPECT_EQ(reread.GetChildElementText(), "a.jpg");
}

TEST(XmlDocument, ManyEditsKeepTheIndexTrue) {
    CXmlDocument doc("<?xml version=\"1.0\"?>\n<r a='1'></r>");
    ASSERT_TRUE(doc.FindElement("r"));
    for (int i = 0; i < 50; ++i) {
        ASSERT_TRUE(doc.AppendChildElement("item", std::to_string(i), i % 2 == 0));
        ASSERT_TRUE(doc.SetChildAttribute("n", std::string(i % 7, 'x')));
        if (i % 5 == 0) {
            ASSERT_TRUE(doc.SetAttribute("count", std::to_string(i)));
        }
    }
    ExpectIndexMatchesFreshParse(doc);
    doc.ResetPosition();
    ASSERT_TRUE(doc.FindElement("r"));
    EXPECT_EQ(doc.GetAttribute("count"), "45");
    int seen = 0;
    while (doc.FindChildElement("item")) {
        EXPECT_EQ(doc.GetChildElementText(), std::to_string(seen));
        ++seen;
    }
    EXPECT_EQ(seen, 50);
}

} // namespace

namespace {

TEST(XmlDocument, EditsOfBrokenDocumentsKeepTheIndexTrue) {
    struct Case {
        const char* text;
        const char* expected;
    };
    // Top-level appends go before a node left unterminated at the end.
    const Case cases[] = {
        {"<a/><!-- open", "<a/><n/>\r\n<!-- open"},
        {"<a/><b x='", "<a/><n/>\r\n<b x='"},
        {"<a/><", "<a/><n/>\r\n<"},
        {"<a/>", "<a/><n/>\r\n"},
    };
    for (const Case& c : cases) {
        CXmlDocument doc(c.text);
        ASSERT_TRUE(doc.AppendElement("n")) << c.text;
        EXPECT_EQ(doc.GetDocumentText(), c.expected);
        ExpectIndexMatchesFreshParse(doc);
    }

    CXmlDocument crossed("<r><a><b></r>< x");
    ASSERT_TRUE(crossed.FindElement("r"));
    ASSERT_TRUE(crossed.FindChildElement("a"));
    ASSERT_TRUE(crossed.EnterElement());
    ASSERT_TRUE(crossed.AppendElement("n", "v"));
    ASSERT_TRUE(crossed.LeaveElement());
    ASSERT_TRUE(crossed.AppendChildElement("m"));
    ExpectIndexMatchesFreshParse(crossed);
}

TEST(XmlDocument, AttributesOfStrayTagsAreLeftAlone) {
    // "b/" reads as an attribute without value, so "a" is no empty element;
    // a value for b would turn the tag into one.
    CXmlDocument doc("<r><a b/></a></r>");
    ASSERT_TRUE(doc.FindElement("r"));
    ASSERT_TRUE(doc.FindChildElement("a"));
    EXPECT_FALSE(doc.SetChildAttribute("b", "1"));
    EXPECT_FALSE(doc.SetChildAttribute("c", "1"));
    EXPECT_EQ(doc.GetDocumentText(), "<r><a b/></a></r>");

    CXmlDocument unquoted("<r><a x=1/></a></r>");
    ASSERT_TRUE(unquoted.FindElement("r"));
    ASSERT_TRUE(unquoted.FindChildElement("a"));
    EXPECT_EQ(unquoted.GetChildAttribute("x"), "1/");
    EXPECT_TRUE(unquoted.SetChildAttribute("y", "2"));
    EXPECT_EQ(unquoted.GetDocumentText(), "<r><a x=1/ y=\"2\"></a></r>");
    ExpectIndexMatchesFreshParse(unquoted);
}

} // namespace
