// The cameras' bounded SOAP reader: namespaces resolved whatever the
// prefixes, and everything malformed or oversized refused whole.

#include <gtest/gtest.h>

#include <string>

#include "Device.h"
#include "SoapReader.h"

namespace {

using namespace devsim;

TEST(SoapReader, ResolvesPrefixesDefaultNamespaceAndQNames) {
    soap::Document doc;
    ASSERT_TRUE(soap::Read(
        "<?xml version=\"1.0\"?><!-- hi --><E:Envelope xmlns:E=\"http://www.w3.org/2003/05/"
        "soap-envelope\"><E:Body><Probe xmlns=\"http://schemas.xmlsoap.org/ws/2005/04/discovery\" "
        "xmlns:x=\"http://www.onvif.org/ver10/network/wsdl\"><Types>x:NetworkVideoTransmitter "
        " \n Plain</Types><Scopes a='1' b=\"&lt;&#65;&#x42;\"><![CDATA[<raw>]]></Scopes></Probe>"
        "</E:Body></E:Envelope>",
        &doc));
    const int env = doc.Child(-1, soap::kEnvelopeNs, "Envelope");
    const int body = doc.Child(env, soap::kEnvelopeNs, "Body");
    const int probe = doc.Child(body, soap::kDiscoveryNs, "Probe");
    ASSERT_GE(probe, 0);
    const int types = doc.Child(probe, soap::kDiscoveryNs, "Types");
    const auto names = doc.QNames(types);
    ASSERT_EQ(names.size(), 2u);
    EXPECT_EQ(names[0], std::make_pair(std::string(soap::kNetworkNs),
                                       std::string("NetworkVideoTransmitter")));
    // An unprefixed QName takes the default namespace.
    EXPECT_EQ(names[1], std::make_pair(std::string(soap::kDiscoveryNs), std::string("Plain")));
    const int scopes = doc.Child(probe, soap::kDiscoveryNs, "Scopes");
    EXPECT_EQ(doc.Attribute(scopes, "b"), "<AB");
    EXPECT_EQ(doc.elements[static_cast<std::size_t>(scopes)].text, "<raw>");
    // The namespace decides, not the prefix.
    EXPECT_EQ(doc.Child(env, "urn:other", "Body"), -1);
}

std::string Nested(int depth) {
    std::string s;
    for (int i = 0; i < depth; ++i)
        s += "<a>";
    for (int i = 0; i < depth; ++i)
        s += "</a>";
    return s;
}

TEST(SoapReader, RefusesMalformedAndOversizedText) {
    std::string manyAttributes = "<a";
    for (int i = 0; i < 33; ++i)
        manyAttributes += " x" + std::to_string(i) + "=\"1\"";
    manyAttributes += "/>";
    std::string manyElements = "<a>";
    for (int i = 0; i < 1024; ++i)
        manyElements += "<b/>";
    manyElements += "</a>";
    const std::string cases[] = {
        "",
        "text only",
        "<a>",
        "<a></b>",
        "<a><b></a></b>",
        "<a/><b/>",
        "<p:a/>",
        "<a x=1/>",
        "<a x=\"1/>",
        "<a>&bogus;</a>",
        "<a>&#0;</a>",
        "<a>&#x110000;</a>",
        "<!DOCTYPE a [<!ENTITY e \"x\">]><a>&e;</a>",
        "<a><![CDATA[open</a>",
        "<a><!-- open </a>",
        "junk<a/>",
        std::string("<a>\0</a>", 8),
        Nested(33),
        manyAttributes,
        manyElements,
        "<a>" + std::string(soap::kMaxText, 'x') + "</a>",
    };
    for (const std::string& text : cases) {
        soap::Document doc;
        EXPECT_FALSE(soap::Read(text, &doc)) << text.substr(0, 80);
    }
    soap::Document doc;
    EXPECT_TRUE(soap::Read(Nested(32), &doc));
}

TEST(SoapReader, EscapesEveryMarkupCharacter) {
    EXPECT_EQ(XmlEscape("a<b>&\"c'"), "a&lt;b&gt;&amp;&quot;c&apos;");
}

} // namespace
