// The one-pass reader against CMarkupSTL's own look-ups: wherever the reader
// answers, it must find the same elements and the same data as FindElem
// (from the first sibling), IntoElem and GetData; and it must hand every
// text whose tree the document would recover back to the caller.
#include "MarkupPaths.h"
#include "MarkupSTL.h"

#include <gtest/gtest.h>

#include <ostream>
#include <random>
#include <string>
#include <vector>

using markup::ElementPath;
using markup::FoundElement;
using markup::PathReader;

namespace {

// root/a, root/b (first and second), root/b#1/c, root/d.
const std::vector<ElementPath> kPaths = {
    {-1, "root", 1}, {0, "a", 1}, {0, "b", 1}, {0, "b", 2}, {2, "c", 1}, {0, "d", 1},
};

struct Looked {
    bool bFound = false;
    std::string strData;
};

// What CMarkupSTL's look-ups give for each entry: its parent's element is
// stepped into, the search starts at the first sibling and the entry's
// occurrence is counted from there.
std::vector<Looked> LookUp(const std::string& text, const std::vector<ElementPath>& paths) {
    std::vector<Looked> out(paths.size());
    CMarkupSTL doc;
    doc.SetDoc(text);
    for (size_t i = 0; i < paths.size(); ++i) {
        std::vector<size_t> chain;
        for (int k = static_cast<int>(i); k >= 0; k = paths[static_cast<size_t>(k)].iParent)
            chain.insert(chain.begin(), static_cast<size_t>(k));
        doc.SetDoc(text); // back to the top level
        bool bFound = true;
        for (size_t depth = 0; depth < chain.size() && bFound; ++depth) {
            if (depth > 0)
                doc.IntoElem();
            const ElementPath& step = paths[chain[depth]];
            for (int n = 0; n < step.nOccurrence && bFound; ++n)
                bFound = doc.FindElem(step.szName);
        }
        out[i].bFound = bFound;
        if (bFound)
            out[i].strData = doc.GetData();
    }
    return out;
}

// Compares the reader with the look-ups; returns whether the reader answered.
bool Agree(const std::string& text, const std::vector<ElementPath>& paths = kPaths) {
    const PathReader reader(paths);
    std::vector<FoundElement> found(paths.size());
    if (!reader.Read(text.c_str(), text.size(), found.data()))
        return false;
    const std::vector<Looked> expected = LookUp(text, paths);
    for (size_t i = 0; i < paths.size(); ++i) {
        std::string storage;
        EXPECT_EQ(found[i].bFound, expected[i].bFound) << "entry " << i << " of " << text;
        if (found[i].bFound && expected[i].bFound) {
            EXPECT_EQ(std::string(PathReader::Data(text.c_str(), found[i], storage)),
                      expected[i].strData)
                << "entry " << i << " of " << text;
        }
    }
    return true;
}

struct Case {
    const char* szText;
    bool bAnswers; // the reader decides this text itself
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.szText; }

class PathReaderCases : public ::testing::TestWithParam<Case> {};

TEST_P(PathReaderCases, AgreesWithTheDocumentOrHandsTheTextBack) {
    EXPECT_EQ(Agree(GetParam().szText), GetParam().bAnswers) << GetParam().szText;
}

INSTANTIATE_TEST_SUITE_P(
    Table, PathReaderCases,
    ::testing::Values(
        // Plain nesting, in any order of siblings, with repeats.
        Case{"<root><a>1</a><b><c>2</c></b><b>3</b><d>4</d></root>", true},
        Case{"<root><d>4</d><b>3</b><a>1</a><a>9</a><b><c>x</c><c>y</c></b></root>", true},
        Case{"<?xml version=\"1.0\"?>\r\n<!-- c --><root>\r\n<a>1</a>\r\n</root>\r\n", true},
        Case{"<other><a>1</a></other><root><a>2</a></root><root><a>3</a></root>", true},
        // Data as GetData reads it: entities, CDATA, comments, child elements.
        Case{"<root><a>x &amp; &lt;y&gt; &#65;&#x4E2D; &bogus;</a></root>", true},
        Case{"<root><a>p<![CDATA[<q>]]>r<!-- s -->t<?pi u?></a></root>", true},
        Case{"<root><a>text<e/>more</a><b/><d></d></root>", true},
        Case{"<root><a k='>' j=\"/>\">v</a><b x=y/>w</b></root>", true},
        Case{"<root><a>1</a ><b>2</b\t></root>", true},
        // Names as FindElem reads them: up to '=', '?', '!' and the like.
        Case{"<root><a=1>x</a=1><a>y</a><b?>z</b?></root>", true},
        Case{"<root><ab>x</ab><A>y</A><a>z</a></root>", true},
        // Elements of looked-for names where they are not looked for.
        Case{"<root><x><a>deep</a></x><a>top</a><b><b><c>in</c></b></b></root>", true},
        // Malformed nodes that change no element.
        Case{"<root><a>1</a><>< /x><!x></root>", true}, Case{"<root><a>1</a></root><", true},
        // Texts the document recovers: handed back.
        Case{"<root><a>1</b></root>", false}, Case{"<root><a>1</a>", false},
        Case{"<root><a>1</a></root></extra>", false}, Case{"<root><x><a>moved</a></root>", false},
        Case{"<root><a>1</a></root x", false}));

TEST(PathReader, WellFormedGeneratedDocumentsAreAllAnsweredAlike) {
    std::mt19937 rng(7);
    const char* const kNames[] = {"root", "a", "b", "c", "d", "e"};
    for (int n = 0; n < 300; ++n) {
        // A random tree of looked-for and other names, with texts.
        std::string text;
        std::vector<std::string> open;
        for (int step = 0; step < 60; ++step) {
            const unsigned pick = rng() % 4;
            if (pick < 2 && open.size() < 6) {
                const std::string name = open.empty() ? "root" : kNames[rng() % 6];
                text += "<" + name + (rng() % 3 ? ">" : " k=\"v\">");
                open.push_back(name);
            } else if (pick == 2 && !open.empty()) {
                text += "</" + open.back() + ">";
                open.pop_back();
            } else {
                text += rng() % 2 ? "t&amp;" + std::to_string(step) : "<e/>";
            }
        }
        for (; !open.empty(); open.pop_back())
            text += "</" + open.back() + ">";
        EXPECT_TRUE(Agree(text)) << text;
    }
}

TEST(PathReader, EveryCutOfADocumentIsAnsweredAlikeOrHandedBack) {
    const std::string text = "<?xml version=\"1.0\"?><root><a k='1'>x&amp;y</a><!-- n -->"
                             "<b><c><![CDATA[z]]></c></b><b>w</b><d/></root>\r\n";
    for (size_t n = 0; n <= text.size(); ++n)
        Agree(text.substr(0, n));
}

TEST(PathReader, NestingDeeperThanItFollowsIsHandedBack) {
    std::string deep = "<root>";
    for (int i = 0; i < 200; ++i)
        deep += "<x>";
    for (int i = 0; i < 200; ++i)
        deep += "</x>";
    deep += "<a>1</a></root>";
    EXPECT_FALSE(Agree(deep));
    std::string shallow = "<root>";
    for (int i = 0; i < 100; ++i)
        shallow += "<x>";
    for (int i = 0; i < 100; ++i)
        shallow += "</x>";
    EXPECT_TRUE(Agree(shallow + "<a>1</a></root>"));
}

TEST(PathReader, TextEndsAtItsFirstZeroByte) {
    // Read past the zero byte, the text would leave a root open.
    const std::string text("<root><a>1</a></root>\0<root><b>2</b>", 36);
    const PathReader reader(kPaths);
    std::vector<FoundElement> found(kPaths.size());
    ASSERT_TRUE(reader.Read(text.c_str(), text.size(), found.data()));
    EXPECT_TRUE(found[1].bFound);
    EXPECT_FALSE(found[2].bFound);
}

} // namespace
