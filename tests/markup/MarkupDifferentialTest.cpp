// Generated well-formed documents are read with CMarkupSTL and with pugixml;
// following pugixml's element tree with FindElem/IntoElem/OutOfElem must find
// every element in order, and the data of every element without child
// elements must agree.
#include "MarkupSTL.h"

#include <gtest/gtest.h>
#include <pugixml.hpp>

#include <random>
#include <string>

namespace {

class DocGenerator {
public:
    explicit DocGenerator(unsigned seed) : m_rng(seed) {}

    std::string Document() {
        std::string out;
        if (Chance(3))
            out += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n";
        if (Chance(4))
            out += "<!DOCTYPE r [<!ELEMENT r ANY><!-- a > b -->]>\n";
        Element(out, 0);
        if (Chance(3))
            out += "\r\n<!-- trailing -->\r\n";
        return out;
    }

private:
    bool Chance(int n) { return Pick(n) == 0; }
    int Pick(int n) { return static_cast<int>(m_rng() % static_cast<unsigned>(n)); }

    std::string Name() {
        static const char* const kNames[] = {"ip",  "ipAddr",       "item", "a",
                                             "ab",  "a.b",          "x-y",  "_z",
                                             "n:s", "\xe4\xb8\xad", "Item", "dns1"};
        return kNames[Pick(12)];
    }

    std::string Text() {
        static const char* const kPieces[] = {"x",      "1.2.3",  "&lt;",  "&amp;",    "&gt;",
                                              "&quot;", "&apos;", "&#65;", "&#x4E2D;", "\xc3\xa9",
                                              " ",      "a b",    "]",     "'",        "\""};
        std::string t = "v";
        for (int i = Pick(6); i > 0; --i)
            t += kPieces[Pick(15)];
        return t;
    }

    void Attributes(std::string& out) {
        for (int i = Pick(3); i > 0; --i) {
            const char q = Chance(2) ? '"' : '\'';
            out += " k" + std::to_string(i) + "=" + q + "v&amp;>" + q;
        }
    }

    void Content(std::string& out, int depth) {
        const int kind = Pick(4);
        if (kind == 0 || depth > 6) {
            out += Text();
            if (Chance(3))
                out += "<!--c-->" + Text();
            if (Chance(4))
                out += "<![CDATA[<&>]]>";
            return;
        }
        for (int i = Pick(5); i >= 0; --i) {
            if (Chance(2))
                out += "\r\n  ";
            Element(out, depth + 1);
        }
        if (Chance(2))
            out += "\r\n";
    }

    void Element(std::string& out, int depth) {
        const std::string name = Name();
        out += "<" + name;
        Attributes(out);
        if (Chance(5)) {
            out += Chance(2) ? "/>" : " />";
            return;
        }
        out += ">";
        Content(out, depth);
        out += "</" + name + (Chance(4) ? " >" : ">");
    }

    std::mt19937 m_rng;
};

std::string PugiData(const pugi::xml_node& node) {
    std::string data;
    for (pugi::xml_node c = node.first_child(); c; c = c.next_sibling()) {
        if (c.type() == pugi::node_pcdata || c.type() == pugi::node_cdata)
            data += c.value();
    }
    return data;
}

bool HasElementChild(const pugi::xml_node& node) {
    return static_cast<bool>(
        node.find_child([](pugi::xml_node n) { return n.type() == pugi::node_element; }));
}

// Follows the children of node; doc stands inside their parent.
void Follow(CMarkupSTL& doc, const pugi::xml_node& node, const std::string& text) {
    for (pugi::xml_node c = node.first_child(); c; c = c.next_sibling()) {
        if (c.type() != pugi::node_element)
            continue;
        ASSERT_TRUE(doc.FindElem(c.name())) << c.name() << " in " << text;
        if (!HasElementChild(c)) {
            EXPECT_EQ(doc.GetData(), PugiData(c)) << c.name() << " in " << text;
            continue;
        }
        ASSERT_TRUE(doc.IntoElem());
        Follow(doc, c, text);
        ASSERT_TRUE(doc.OutOfElem());
    }
    EXPECT_FALSE(doc.FindElem()) << "extra element in " << text;
}

TEST(MarkupDifferential, AgreesWithPugixmlOnGeneratedDocuments) {
    DocGenerator gen(20261208);
    const unsigned flags = (pugi::parse_default | pugi::parse_ws_pcdata_single) & ~pugi::parse_eol;
    for (int i = 0; i < 600; ++i) {
        const std::string text = gen.Document();
        pugi::xml_document pdoc;
        ASSERT_TRUE(pdoc.load_buffer(text.data(), text.size(), flags)) << text;
        CMarkupSTL doc;
        EXPECT_TRUE(doc.SetDoc(text)) << doc.GetError() << " in " << text;
        Follow(doc, pdoc, text);
        if (HasFatalFailure())
            return;
    }
}

} // namespace
