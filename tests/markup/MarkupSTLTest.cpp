#include "MarkupSTL.h"

#include <gtest/gtest.h>

#include "FreedMemoryScan.h"

#include <string>
#include <vector>

namespace {

const char* const kCrLf = "\r\n";

// Walks to the element at a path of names from the top, one FindElem per
// step; returns false when a step is missing.
bool Walk(CMarkupSTL& doc, const std::vector<const char*>& path) {
    for (size_t i = 0; i < path.size(); ++i) {
        if (i > 0 && !doc.IntoElem())
            return false;
        if (!doc.FindElem(path[i]))
            return false;
    }
    return true;
}

std::string Fmt(const char* fmt, const char* a, int b, const char* c = nullptr, int d = 0) {
    char buf[256];
    if (c)
        snprintf(buf, sizeof buf, fmt, a, b, c, d);
    else
        snprintf(buf, sizeof buf, fmt, a, b);
    return buf;
}

TEST(MarkupFind, SiblingsAreFoundInOrderAndAFailedFindKeepsThePosition) {
    CMarkupSTL doc("<a><b>x</b><b>y</b></a>");
    ASSERT_TRUE(doc.FindElem("a"));
    ASSERT_TRUE(doc.IntoElem());
    ASSERT_TRUE(doc.FindElem("b"));
    EXPECT_EQ(doc.GetData(), "x");
    ASSERT_TRUE(doc.FindElem("b"));
    EXPECT_EQ(doc.GetData(), "y");
    const int pos = doc.GetMainPos();
    EXPECT_FALSE(doc.FindElem("b"));
    EXPECT_EQ(doc.GetMainPos(), pos);
    EXPECT_EQ(doc.GetData(), "y");
}

struct NameCase {
    const char* doc;
    const char* name;
    bool found;
};

class MarkupNameMatch : public ::testing::TestWithParam<NameCase> {};

TEST_P(MarkupNameMatch, FindElemMatchesNamesByPrefixRule) {
    const NameCase& c = GetParam();
    CMarkupSTL doc(c.doc);
    EXPECT_EQ(doc.FindElem(c.name), c.found) << c.doc << " / " << (c.name ? c.name : "null");
}

INSTANTIATE_TEST_SUITE_P(
    Table, MarkupNameMatch,
    ::testing::Values(NameCase{"<ipAddr/>", "ip", false}, NameCase{"<ip/>", "ipAddr", false},
                      NameCase{"<item/>", "item/x", true}, NameCase{"<item/>", "item x", true},
                      NameCase{"<item/>", "item=1", true}, NameCase{"<item/>", "item[2]", true},
                      NameCase{"<item/>", "itemx", false}, NameCase{"<Item/>", "item", false},
                      NameCase{"<a b='1'/>", "a", true}, NameCase{"<a\tb='1'/>", "a", true},
                      NameCase{"<x/>", "", true}, NameCase{"<x/>", nullptr, true},
                      NameCase{"<\xe4\xb8\xad/>", "\xe4\xb8\xad", true}));

TEST(MarkupFind, ChildFindAndPositionResets) {
    CMarkupSTL doc("<r><item><ip>1</ip><ip>2</ip></item><item><ip>3</ip></item></r>");
    ASSERT_TRUE(doc.FindElem("r"));
    ASSERT_TRUE(doc.IntoElem());
    ASSERT_TRUE(doc.FindElem("item"));
    ASSERT_TRUE(doc.FindChildElem("ip"));
    EXPECT_EQ(doc.GetChildData(), "1");
    ASSERT_TRUE(doc.FindChildElem("ip"));
    EXPECT_EQ(doc.GetChildData(), "2");
    EXPECT_FALSE(doc.FindChildElem("ip"));
    doc.ResetChildPos();
    ASSERT_TRUE(doc.FindChildElem("ip"));
    EXPECT_EQ(doc.GetChildData(), "1");
    ASSERT_TRUE(doc.FindElem("item"));
    EXPECT_EQ(doc.GetChildPos(), 0);
    ASSERT_TRUE(doc.FindChildElem("ip"));
    EXPECT_EQ(doc.GetChildData(), "3");
    doc.ResetMainPos();
    EXPECT_EQ(doc.GetNodeType(), 0);
    ASSERT_TRUE(doc.FindElem("item"));
    ASSERT_TRUE(doc.FindChildElem());
    EXPECT_EQ(doc.GetChildData(), "1");
}

TEST(MarkupFind, IntoAndOutOfElemMoveTheThreePositions) {
    CMarkupSTL doc("<a><b><c/></b></a>");
    EXPECT_FALSE(doc.IntoElem());  // no main position
    EXPECT_FALSE(doc.OutOfElem()); // at the top
    ASSERT_TRUE(Walk(doc, {"a", "b", "c"}));
    EXPECT_TRUE(doc.IntoElem());
    EXPECT_EQ(doc.GetMainPos(), 0);
    EXPECT_EQ(doc.GetNodeType(), 0);
    EXPECT_FALSE(doc.IntoElem());
    EXPECT_TRUE(doc.OutOfElem()); // back on c
    EXPECT_TRUE(doc.OutOfElem()); // on b, child c
    EXPECT_EQ(doc.GetChildData(), "");
    EXPECT_TRUE(doc.OutOfElem()); // on a
    EXPECT_EQ(doc.GetParentPos(), 0);
    EXPECT_FALSE(doc.OutOfElem());
    EXPECT_FALSE(doc.FindChildElem("zz"));
    EXPECT_FALSE(doc.FindChildElem("b")); // the child position is already on b
    doc.ResetChildPos();
    EXPECT_TRUE(doc.FindChildElem("b"));
}

TEST(MarkupFind, FindChildElemWithoutMainTakesTheFirstElement) {
    CMarkupSTL doc("<a><b>1</b></a>");
    ASSERT_TRUE(doc.FindChildElem("b"));
    EXPECT_EQ(doc.GetChildData(), "1");
    CMarkupSTL empty("");
    EXPECT_FALSE(empty.FindChildElem("b"));
}

struct DataCase {
    const char* doc;
    const char* data;
};

class MarkupData : public ::testing::TestWithParam<DataCase> {};

TEST_P(MarkupData, GetDataOfTheRoot) {
    CMarkupSTL doc(GetParam().doc);
    ASSERT_TRUE(doc.FindElem());
    EXPECT_EQ(doc.GetData(), GetParam().data) << GetParam().doc;
}

INSTANTIATE_TEST_SUITE_P(
    Table, MarkupData,
    ::testing::Values(DataCase{"<a> x </a>", " x "}, DataCase{"<a>1<!--c-->2</a>", "12"},
                      DataCase{"<a><![CDATA[<&>]]></a>", "<&>"}, DataCase{"<a><b/></a>", ""},
                      DataCase{"<a/>", ""}, DataCase{"<a></a>", ""},
                      DataCase{"<a>&lt;&#65;&#x42;&zz;&#0;</a>", "<AB&zz;&#0;"},
                      DataCase{"<a>x<?pi?>y</a>", "xy"}, DataCase{"<a>&amp;lt;</a>", "&lt;"},
                      DataCase{"<a>a&lt;b<![CDATA[c]]>&gt;</a>", "a<bc>"},
                      DataCase{"<a>&#x4E2D;&#233;</a>", "\xe4\xb8\xad\xc3\xa9"},
                      DataCase{"<a>&#x1F600;</a>", "\xf0\x9f\x98\x80"},
                      DataCase{"<a>&#12345678;</a>", "&#12345678;"},
                      DataCase{"<a>&amp</a>", "&amp"}, DataCase{"<a>&#x110000;</a>", "&#x110000;"},
                      DataCase{"<a>tail&</a>", "tail&"}, DataCase{"<a><![Cx]]></a>", ""},
                      DataCase{"<a> <!--c--> </a>", ""}, DataCase{"<a>a>b</a>", "a>b"}));

TEST(MarkupData, ReadsWithoutMainPositionAndForMissingChild) {
    CMarkupSTL doc("<a>x</a>");
    EXPECT_EQ(doc.GetData(), ""); // record 0 has a child
    EXPECT_EQ(doc.GetChildData(), "");
    CMarkupSTL text("just text");
    EXPECT_EQ(text.GetData(), "just text");
}

struct ErrorCase {
    const char* doc;
    std::string error;
    bool wellFormed;
};

class MarkupErrors : public ::testing::TestWithParam<ErrorCase> {};

TEST_P(MarkupErrors, FirstProblemIsKept) {
    CMarkupSTL doc;
    EXPECT_EQ(doc.SetDoc(GetParam().doc), GetParam().wellFormed);
    EXPECT_EQ(doc.GetError(), GetParam().error) << GetParam().doc;
}

INSTANTIATE_TEST_SUITE_P(
    Table, MarkupErrors,
    ::testing::Values(
        ErrorCase{"<a><b/></a>", "", true}, ErrorCase{"<?xml version=\"1.0\"?>\r\n<a/>", "", true},
        ErrorCase{"<!DOCTYPE a [<!ELEMENT a ANY><!--x>y-->]><a/>", "", true},
        ErrorCase{"", "Empty document", false}, ErrorCase{"no tags", "No root element", false},
        ErrorCase{"<!--only-->", "No root element", false},
        ErrorCase{"<a/><b/>", "Root element has sibling", false},
        ErrorCase{"<a><b></a>",
                  Fmt("End tag '%s' at offset %d does not match start tag '%s' at offset %d", "a",
                      7, "b", 3),
                  false},
        ErrorCase{"<a>", Fmt("Element '%s' at offset %d not ended", "a", 0), false},
        ErrorCase{"<a></b></a>", Fmt("No start tag for end tag '%s' at offset %d", "b", 3), false},
        ErrorCase{"<a><1/></a>", Fmt("Incorrect %s at offset %d", "tag name character", 3), false},
        ErrorCase{"<a><!x></a>", Fmt("Incorrect %s at offset %d", "! tag", 3), false},
        ErrorCase{"<a><!-x></a>", Fmt("Incorrect %s at offset %d", "comment tag", 3), false},
        ErrorCase{"<a><![x></a>", Fmt("Incorrect %s at offset %d", "tag", 3), false},
        ErrorCase{"<a><!--x", Fmt("%s at offset %d unterminated", "Comment", 3), false},
        ErrorCase{"<a><![CDATA[x", Fmt("%s at offset %d unterminated", "CDATA Section", 3), false},
        ErrorCase{"<a><?pi", Fmt("%s at offset %d unterminated", "Processing instruction", 3),
                  false},
        ErrorCase{"<a><b c='>", Fmt("%s at offset %d unterminated", "Element tag", 3), false},
        ErrorCase{"<a></a", Fmt("%s at offset %d unterminated", "Element end tag", 3), false},
        ErrorCase{"<a><", Fmt("%s at offset %d unterminated", "tag", 3), false},
        ErrorCase{"<a/><!DOCTYPE a [", Fmt("%s at offset %d unterminated", "Doctype", 4), false},
        // Without a root the missing root is what is reported.
        ErrorCase{"<!DOCTYPE a [", "No root element", false},
        // The first message wins over later ones.
        ErrorCase{"<a></x><1/>", Fmt("No start tag for end tag '%s' at offset %d", "x", 3),
                  false}));

TEST(MarkupRecovery, UnendedElementKeepsItsStartTagAndItsChildrenMoveUp) {
    CMarkupSTL doc("<a><b><c>1</c><d/></a>");
    EXPECT_FALSE(doc.GetError().empty());
    ASSERT_TRUE(doc.FindElem("a"));
    const CMarkupSTL::ElemPos& a = doc.ElemAt(doc.GetMainPos());
    EXPECT_EQ(a.nLength, 22u);
    ASSERT_TRUE(doc.IntoElem());
    ASSERT_TRUE(doc.FindElem("b"));
    const CMarkupSTL::ElemPos& b = doc.ElemAt(doc.GetMainPos());
    EXPECT_EQ(b.nLength, 3u);
    EXPECT_TRUE(b.nFlags & CMarkupSTL::MNF_NONENDED);
    EXPECT_EQ(b.iElemChild, 0);
    ASSERT_TRUE(doc.FindElem("c"));
    EXPECT_EQ(doc.GetData(), "1");
    ASSERT_TRUE(doc.FindElem("d"));
    EXPECT_FALSE(doc.FindElem());
    EXPECT_TRUE(doc.ElemAt(0).nFlags & CMarkupSTL::MNF_ILLFORMED);
}

TEST(MarkupRecovery, UnclosedChildBeforeParentEndTag) {
    CMarkupSTL doc;
    EXPECT_FALSE(doc.SetDoc("<a><b></a>"));
    ASSERT_TRUE(doc.FindElem("a"));
    EXPECT_EQ(doc.ElemAt(doc.GetMainPos()).nLength, 10u);
    ASSERT_TRUE(doc.IntoElem());
    ASSERT_TRUE(doc.FindElem("b"));
    EXPECT_EQ(doc.ElemAt(doc.GetMainPos()).nLength, 3u);
    EXPECT_EQ(doc.GetData(), "");
}

TEST(MarkupRecovery, UnendedAtDocumentEndIsStillFound) {
    CMarkupSTL doc("<a>");
    EXPECT_TRUE(doc.FindElem("a"));
    CMarkupSTL nested("<a><b><c>text");
    ASSERT_TRUE(nested.FindElem("a"));
    ASSERT_TRUE(nested.FindElem("b")); // b and c are now siblings of a
    ASSERT_TRUE(nested.FindElem("c"));
    EXPECT_FALSE(nested.FindElem());
}

TEST(MarkupRecovery, IllDataFlagMovesToTheParentOfAnUnendedElement) {
    CMarkupSTL doc("<r><a><b></x></r>");
    ASSERT_TRUE(doc.FindElem("r"));
    EXPECT_TRUE(doc.ElemAt(doc.GetMainPos()).nFlags & CMarkupSTL::MNF_ILLDATA);
    ASSERT_TRUE(doc.IntoElem());
    ASSERT_TRUE(doc.FindElem("b"));
    EXPECT_FALSE(doc.ElemAt(doc.GetMainPos()).nFlags & CMarkupSTL::MNF_ILLDATA);
}

TEST(MarkupRecovery, EndTagMatchesNamesWithSeparators) {
    // An end tag name matches an open element whose name continues with
    // '=', '[' or ']' after it.
    CMarkupSTL doc("<a[1]>x</a>");
    EXPECT_EQ(doc.GetError(), "");
    ASSERT_TRUE(doc.FindElem());
    EXPECT_EQ(doc.GetData(), "x");
}

TEST(MarkupScanner, EmptyElementRule) {
    // A start tag that is not empty and has no end tag ends up not ended.
    struct Case {
        const char* doc;
        bool empty;
    };
    const Case cases[] = {{"<a/>", true},       {"<a />", true},        {"<a b=\"c\"/>", true},
                          {"<a b='c'/>", true}, {"<a b=c/>", false},    {"<a b='>'/>", true},
                          {"<a\n/>", true},     {"<a b=\"/>\"/>", true}};
    for (const Case& c : cases) {
        CMarkupSTL doc(c.doc);
        ASSERT_TRUE(doc.FindElem()) << c.doc;
        const CMarkupSTL::ElemPos& e = doc.ElemAt(doc.GetMainPos());
        EXPECT_EQ(!(e.nFlags & CMarkupSTL::MNF_NONENDED), c.empty) << c.doc;
        EXPECT_EQ(doc.GetError().empty(), c.empty) << c.doc;
    }
}

TEST(MarkupScanner, TextNodeEndsAfterGreaterThan) {
    CMarkupSTL doc("<a>x>y<b/>z</a>");
    ASSERT_TRUE(doc.FindElem("a"));
    EXPECT_EQ(doc.GetData(), ""); // has a child element
    CMarkupSTL noChild("<a>x>y<!--c-->z</a>");
    ASSERT_TRUE(noChild.FindElem("a"));
    EXPECT_EQ(noChild.GetData(), "x>yz");
}

TEST(MarkupBuild, ElementsAttributesAndDataInOrder) {
    CMarkupSTL doc;
    ASSERT_TRUE(doc.AddElem("r"));
    ASSERT_TRUE(doc.SetAttrib("v", "1"));
    ASSERT_TRUE(doc.IntoElem());
    ASSERT_TRUE(doc.AddElem("p", 5));
    ASSERT_TRUE(doc.AddElem("q"));
    EXPECT_EQ(doc.GetDoc(), std::string("<r v=\"1\">") + kCrLf + "<p>5</p>" + kCrLf + "<q/>" +
                                kCrLf + "</r>" + kCrLf);
}

TEST(MarkupBuild, BuiltDocumentReadsBack) {
    CMarkupSTL doc;
    doc.AddElem("a");
    doc.IntoElem();
    doc.AddElem("b", "1");
    EXPECT_EQ(doc.GetDoc(), std::string("<a>\r\n<b>1</b>\r\n</a>\r\n"));
    doc.AddElem("c");
    doc.IntoElem();
    doc.AddElem("d", "x<y&z");
    doc.OutOfElem();
    doc.AddElem("e", "2");
    CMarkupSTL back(doc.GetDoc().c_str());
    EXPECT_EQ(back.GetError(), "");
    ASSERT_TRUE(Walk(back, {"a", "c", "d"}));
    EXPECT_EQ(back.GetData(), "x<y&z");
    back.OutOfElem();
    ASSERT_TRUE(back.FindElem("e"));
    EXPECT_EQ(back.GetData(), "2");
    // The built records agree with a fresh parse of the same text.
    ASSERT_TRUE(Walk(doc, {}));
    doc.ResetMainPos();
    while (doc.OutOfElem()) {
    }
    doc.ResetMainPos();
    ASSERT_TRUE(Walk(doc, {"a", "c", "d"}));
    EXPECT_EQ(doc.GetData(), "x<y&z");
}

TEST(MarkupBuild, AddAfterMainPositionInsertsBetweenSiblings) {
    CMarkupSTL doc("<a>\r\n<b/>\r\n<d/>\r\n</a>\r\n");
    ASSERT_TRUE(Walk(doc, {"a", "b"}));
    ASSERT_TRUE(doc.AddElem("c", "3"));
    EXPECT_EQ(doc.GetDoc(), "<a>\r\n<b/>\r\n<c>3</c>\r\n<d/>\r\n</a>\r\n");
    ASSERT_TRUE(doc.FindElem("d")); // the moved sibling is still found
    EXPECT_TRUE(doc.SetAttrib("k", "v"));
    EXPECT_EQ(doc.GetDoc(), "<a>\r\n<b/>\r\n<c>3</c>\r\n<d k=\"v\"/>\r\n</a>\r\n");
}

TEST(MarkupBuild, AddIntoEmptyContentParent) {
    CMarkupSTL doc("<p></p>");
    ASSERT_TRUE(doc.FindElem("p"));
    ASSERT_TRUE(doc.IntoElem());
    ASSERT_TRUE(doc.AddElem("n"));
    EXPECT_EQ(doc.GetDoc(), "<p>\r\n<n/>\r\n</p>");
}

TEST(MarkupBuild, AddIntoUnendedParentStaysConsistent) {
    CMarkupSTL doc("<r><p></r>");
    ASSERT_TRUE(Walk(doc, {"r", "p"}));
    ASSERT_TRUE(doc.IntoElem());
    ASSERT_TRUE(doc.AddElem("n", "1"));
    EXPECT_EQ(doc.GetDoc(), "<r><p>\r\n<n>1</n>\r\n</r>");
    EXPECT_EQ(doc.GetData(), "1");
}

TEST(MarkupBuild, SetAttribReplacesAndEscapes) {
    struct Case {
        const char* doc;
        const char* name;
        const char* value;
        const char* result;
    };
    const Case cases[] = {
        {"<a/>", "x", "1", "<a x=\"1\"/>"},
        {"<a />", "x", "1", "<a x=\"1\" />"},
        {"<a x=\"old\"/>", "x", "new", "<a x=\"new\"/>"},
        {"<a x='old' y=\"2\">t</a>", "x", "n", "<a x=\"n\" y=\"2\">t</a>"},
        {"<a x=old>t</a>", "x", "n", "<a x=\"n\">t</a>"},
        {"<a xy=\"1\"/>", "x", "2", "<a xy=\"1\" x=\"2\"/>"},
        {"<a/>", "q", "say \"hi\" & 'bye' <now>",
         "<a q=\"say &quot;hi&quot; &amp; &apos;bye&apos; &lt;now&gt;\"/>"},
        {"<a b=\"1\"><c/></a>", "b", "22", "<a b=\"22\"><c/></a>"},
    };
    for (const Case& c : cases) {
        CMarkupSTL doc(c.doc);
        ASSERT_TRUE(doc.FindElem()) << c.doc;
        ASSERT_TRUE(doc.SetAttrib(c.name, c.value)) << c.doc;
        EXPECT_EQ(doc.GetDoc(), c.result) << c.doc;
    }
}

TEST(MarkupBuild, SetAttribMovesDescendants) {
    CMarkupSTL doc("<a b=\"1\"><c>x</c></a>");
    ASSERT_TRUE(doc.FindElem("a"));
    ASSERT_TRUE(doc.SetAttrib("b", "12345"));
    ASSERT_TRUE(doc.FindChildElem("c"));
    EXPECT_EQ(doc.GetChildData(), "x");
    EXPECT_FALSE(CMarkupSTL().SetAttrib("x", "1"));
}

TEST(MarkupBuild, RejectsEmptyNames) {
    CMarkupSTL doc;
    EXPECT_FALSE(doc.AddElem(""));
    EXPECT_FALSE(doc.AddElem(nullptr));
    EXPECT_EQ(doc.GetDoc(), "");
}

TEST(MarkupEscape, ElementAndAttributeSets) {
    EXPECT_EQ(CMarkupSTL::EscapeText("a<b>&'\"", false), "a&lt;b&gt;&amp;'\"");
    EXPECT_EQ(CMarkupSTL::EscapeText("a<b>&'\"", true), "a&lt;b&gt;&amp;&apos;&quot;");
    EXPECT_EQ(CMarkupSTL::EscapeText(nullptr, true), "");
    // Escaping then unescaping gives the value back, bytes of UTF-8 included.
    const std::string value = "<\xe4\xb8\xad&amp;>'\"";
    EXPECT_EQ(CMarkupSTL::UnescapeText(
                  CMarkupSTL::EscapeText(value.c_str(), true).c_str(),
                  static_cast<int>(CMarkupSTL::EscapeText(value.c_str(), true).size())),
              value);
}

TEST(MarkupUnescape, EntityComparisonStaysInsideTheText) {
    // "&lt" at the very end has no room for the ';': copied as it stands.
    EXPECT_EQ(CMarkupSTL::UnescapeText("x&lt;", 4), "x&lt");
    EXPECT_EQ(CMarkupSTL::UnescapeText("&#65", 4), "&#65");
    EXPECT_EQ(CMarkupSTL::UnescapeText("&#1234567;", 10), "&#1234567;"); // ';' past 7 chars
    EXPECT_EQ(CMarkupSTL::UnescapeText("&#65x;", 6), "A");               // stops at non-digit
}

TEST(MarkupTable, GrowsBySegmentsForLargeDocuments) {
    // Three segments, and five: past the slots the object holds itself.
    for (const int count : {150000, 300000}) {
        std::string text = "<r>";
        for (int i = 0; i < count; ++i)
            text += "<e/>";
        text += "</r>";
        CMarkupSTL doc;
        EXPECT_TRUE(doc.SetDoc(text));
        EXPECT_EQ(doc.GetRecordCount(), count + 2);
        EXPECT_GE(doc.GetRecordCapacity(), count + 2);
        ASSERT_TRUE(doc.FindElem("r"));
        ASSERT_TRUE(doc.IntoElem());
        int n = 0;
        while (doc.FindElem("e"))
            ++n;
        EXPECT_EQ(n, count);
        // A second, small document reuses the table.
        EXPECT_TRUE(doc.SetDoc("<a/>"));
        EXPECT_EQ(doc.GetRecordCount(), 2);
    }
}

TEST(MarkupHostile, DeepNestingParsesAndReadsWithoutRecursion) {
    const int depth = 200000;
    std::string text;
    for (int i = 0; i < depth; ++i)
        text += "<e>";
    text += "deep";
    for (int i = 0; i < depth; ++i)
        text += "</e>";
    CMarkupSTL doc;
    EXPECT_TRUE(doc.SetDoc(text));
    int level = 0;
    while (doc.FindElem("e")) {
        ++level;
        if (!doc.IntoElem())
            break;
    }
    EXPECT_EQ(level, depth);
    doc.OutOfElem();
    EXPECT_EQ(doc.GetData(), "deep");
}

TEST(MarkupHostile, DeepUnendedNestingIsLinear) {
    std::string text;
    for (int i = 0; i < 200000; ++i)
        text += "<e>";
    for (int i = 0; i < 100000; ++i)
        text += "</x>"; // end tags that match nothing
    CMarkupSTL doc;
    EXPECT_FALSE(doc.SetDoc(text));
    int n = 0;
    while (doc.FindElem("e"))
        ++n;
    EXPECT_EQ(n, 200000); // all moved up to the top level
}

TEST(MarkupHostile, DocumentEndingInsideEveryKindOfNode) {
    const char* texts[] = {"<",    "<a",     "<a b='", "</",   "<!",        "<!-",
                           "<!--", "<![",    "<![C",   "<?",   "<!DOCTYPE", "<!DOCTYPE [<!ENTITY",
                           "<!E",  "<a><!D", "&#",     "<a>&", "<a>&#x",    "<a><![CDATA[]]"};
    for (const char* t : texts) {
        CMarkupSTL doc(t);
        doc.FindElem();
        doc.IntoElem();
        doc.FindElem();
        EXPECT_NO_FATAL_FAILURE(doc.GetData());
        EXPECT_NO_FATAL_FAILURE(doc.GetChildData());
    }
}

TEST(MarkupHostile, EmbeddedZeroByteEndsTheScan) {
    const std::string text("<a>x\0<b/></a>", 13);
    CMarkupSTL doc;
    doc.SetDoc(text);
    ASSERT_TRUE(doc.FindElem("a"));
    EXPECT_FALSE(doc.FindChildElem("b"));
}

} // namespace

// Names and attributes of the main element as written, for readers that
// resolve namespace prefixes themselves.
TEST(MarkupSTLTest, ReadsTagNamesAndAttributes) {
    CMarkupSTL doc;
    ASSERT_TRUE(doc.SetDoc("<p:a xmlns:p=\"urn:x\" one='1 &amp; 2' two=\"\" flag three = \"3\">"
                           "<b/></p:a>"));
    EXPECT_EQ(doc.GetTagName(), ""); // no main element yet
    EXPECT_EQ(doc.GetAttribName(0), "");
    ASSERT_TRUE(doc.FindElem());
    EXPECT_EQ(doc.GetTagName(), "p:a");
    const char* names[] = {"xmlns:p", "one", "two", "flag", "three"};
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(doc.GetAttribName(i), names[i]) << i;
    EXPECT_EQ(doc.GetAttribName(5), "");
    EXPECT_EQ(doc.GetAttribName(-1), "");
    EXPECT_EQ(doc.GetAttrib("xmlns:p"), "urn:x");
    EXPECT_EQ(doc.GetAttrib("one"), "1 & 2");
    EXPECT_EQ(doc.GetAttrib("two"), "");
    EXPECT_EQ(doc.GetAttrib("three"), "3");
    EXPECT_EQ(doc.GetAttrib("thr"), "");
    EXPECT_EQ(doc.GetAttrib(""), "");
    ASSERT_TRUE(doc.IntoElem());
    ASSERT_TRUE(doc.FindElem());
    EXPECT_EQ(doc.GetTagName(), "b");
    EXPECT_EQ(doc.GetAttribName(0), "");
}

// A document that holds a secret releases no buffer with it unwiped: not as
// it grows (the secret first, then enough after it that the text moves to
// larger buffers), not the pieces built to go into it, not when wiped or at
// the end. Without HoldSecret the same document does, which shows the scan
// looks where the copies would be.
TEST(MarkupSecret, ADocumentHoldingASecretLeavesNoCopyInFreedMemory) {
    const char kCanary[] = "Canary-Pw-7d3f1";
    const std::string secret = std::string(kCanary) + "&<\"'>";
    for (const bool hold : {false, true}) {
        test_support::FreedMemoryScan scan(kCanary);
        {
            CMarkupSTL doc;
            if (hold)
                doc.HoldSecret();
            doc.SetDoc("");
            doc.AddElem("searchSetIP");
            doc.SetAttrib("password", secret.c_str());
            for (int i = 0; i < 40; ++i)
                doc.SetAttrib(("attribute" + std::to_string(i)).c_str(), "a value of some length");
            doc.SetAttrib("password", secret.c_str()); // replaced in place
            doc.IntoElem();
            doc.AddElem("secret", secret.c_str());
            ASSERT_NE(doc.GetDoc().find(kCanary), std::string::npos);
            if (hold) {
                doc.WipeDoc();
                EXPECT_EQ(doc.GetDoc(), "");
                doc.AddElem("again", secret.c_str()); // usable again, and wiped at the end
            }
        }
        EXPECT_EQ(scan.Found() > 0, !hold) << hold;
    }
}
