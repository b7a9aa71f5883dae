// The media messages: where a camera's media service is, its profiles and
// a snapshot URI, read from answers in the forms cameras send them and
// from hostile ones.
#include <gtest/gtest.h>

#include "OnvifMedia.h"
#include "OnvifMessages.h"
#include "OnvifXml.h"

using namespace onvif;

namespace {

// A media service answer: the trt namespace declared as cameras do.
std::string MediaAnswer(const std::string& body) {
    return "<?xml version=\"1.0\"?><e:Envelope xmlns:e=\"http://www.w3.org/2003/05/soap-envelope\" "
           "xmlns:m=\"http://www.onvif.org/ver10/media/wsdl\" "
           "xmlns:s=\"http://www.onvif.org/ver10/schema\"><e:Body>" +
           body + "</e:Body></e:Envelope>";
}

std::string Service(const std::string& ns, const std::string& xaddr) {
    return "<tds:Service><tds:Namespace>" + ns + "</tds:Namespace><tds:XAddr>" + xaddr +
           "</tds:XAddr><tds:Version><tt:Major>2</tt:Major></tds:Version></tds:Service>";
}

TEST(OnvifMediaTest, TheMediaServiceIsFoundInEitherAnswer) {
    const std::string media = "http://10.0.0.5/onvif/media_service";
    struct Case {
        const char* name;
        std::string body;
        bool capabilities; // read with ReadMediaCapability
        SoapRead read;
        std::string xaddr;
    };
    const Case cases[] = {
        {"services",
         onvif_test::Answer("<tds:GetServicesResponse>" +
                            Service("http://www.onvif.org/ver10/device/wsdl", "http://d") +
                            Service(kNsMedia, " " + media + " ") + "</tds:GetServicesResponse>"),
         false, SoapRead::Ok, media},
        {"services without media",
         onvif_test::Answer("<tds:GetServicesResponse>" +
                            Service("http://www.onvif.org/ver20/media/wsdl", "http://m2") +
                            "</tds:GetServicesResponse>"),
         false, SoapRead::Ok, ""},
        {"services, address with a blank",
         onvif_test::Answer("<tds:GetServicesResponse>" + Service(kNsMedia, "http://a b/") +
                            "</tds:GetServicesResponse>"),
         false, SoapRead::NotSoap, "kept"},
        {"services, address too long",
         onvif_test::Answer("<tds:GetServicesResponse>" +
                            Service(kNsMedia, "http://a/" + std::string(1100, 'x')) +
                            "</tds:GetServicesResponse>"),
         false, SoapRead::NotSoap, "kept"},
        {"capabilities",
         onvif_test::Answer(
             "<tds:GetCapabilitiesResponse><tds:Capabilities><tt:Media><tt:XAddr>" + media +
             "</tt:XAddr></tt:Media></tds:Capabilities></tds:GetCapabilitiesResponse>"),
         true, SoapRead::Ok, media},
        {"capabilities without media",
         onvif_test::Answer("<tds:GetCapabilitiesResponse><tds:Capabilities><tt:Device/>"
                            "</tds:Capabilities></tds:GetCapabilitiesResponse>"),
         true, SoapRead::Ok, ""},
        {"capabilities without capabilities", onvif_test::Answer("<tds:GetCapabilitiesResponse/>"),
         true, SoapRead::NotSoap, "kept"},
        {"fault", onvif_test::Fault("ter:ActionNotSupported", "no"), false, SoapRead::Fault,
         "kept"},
    };
    for (const Case& c : cases) {
        std::string xaddr = "kept";
        SoapFault fault;
        const SoapRead read = c.capabilities ? ReadMediaCapability(c.body, &xaddr, &fault)
                                             : ReadMediaService(c.body, &xaddr, &fault);
        EXPECT_EQ(read, c.read) << c.name;
        EXPECT_EQ(xaddr, c.xaddr) << c.name;
    }
}

TEST(OnvifMediaTest, ProfilesTellTheirVideoAndTheFirstWithVideoIsChosen) {
    std::string many;
    for (int i = 0; i < 40; ++i)
        many += "<m:Profiles token=\"p" + std::to_string(i) + "\"/>";
    const std::string body = MediaAnswer(
        "<m:GetProfilesResponse><m:Profiles token=\"audio\"><s:Name>Audio</s:Name>"
        "<s:AudioSourceConfiguration token=\"a\"/></m:Profiles>"
        "<m:Profiles><s:Name>no token</s:Name><s:VideoSourceConfiguration "
        "token=\"v\"/></m:Profiles>"
        "<m:Profiles token=\"main\" fixed=\"true\"><s:Name>MainStream</s:Name>"
        "<s:VideoSourceConfiguration token=\"v\"/><s:VideoEncoderConfiguration token=\"e\">"
        "<s:Resolution><s:Width>1920</s:Width><s:Height>1080</s:Height></s:Resolution>"
        "</s:VideoEncoderConfiguration></m:Profiles>"
        "<m:Profiles token=\"sub\"><s:VideoSourceConfiguration token=\"v\"/>"
        "<s:VideoEncoderConfiguration><s:Resolution><s:Width>wide</s:Width><s:Height>1"
        "</s:Height></s:Resolution></s:VideoEncoderConfiguration></m:Profiles>"
        "</m:GetProfilesResponse>");
    std::vector<MediaProfile> profiles;
    ASSERT_EQ(ReadProfiles(body, &profiles, nullptr), SoapRead::Ok);
    ASSERT_EQ(profiles.size(), 3u); // the one without a token is left out
    EXPECT_FALSE(profiles[0].video);
    const MediaProfile* first = FirstVideoProfile(profiles);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->token, "main");
    EXPECT_EQ(first->name, "MainStream");
    EXPECT_EQ(first->width, 1920);
    EXPECT_EQ(first->height, 1080);
    EXPECT_EQ(profiles[2].width, 0); // a size that is no number is not told
    EXPECT_EQ(FirstVideoProfile({profiles[0]}), nullptr);

    ASSERT_EQ(
        ReadProfiles(MediaAnswer("<m:GetProfilesResponse>" + many + "</m:GetProfilesResponse>"),
                     &profiles, nullptr),
        SoapRead::Ok);
    EXPECT_EQ(profiles.size(), kMaxProfiles);
    // An answer in the device namespace is not the media service's.
    EXPECT_EQ(ReadProfiles(onvif_test::Answer("<tds:GetProfilesResponse/>"), &profiles, nullptr),
              SoapRead::NotSoap);
    EXPECT_EQ(ReadProfiles(MediaAnswer("<m:GetProfilesResponse/>"), &profiles, nullptr),
              SoapRead::NotSoap);
}

TEST(OnvifMediaTest, TheSnapshotUriIsReadAsTheCameraWroteIt) {
    struct Case {
        const char* name;
        std::string uri;
        SoapRead read;
        std::string expected;
    };
    const Case cases[] = {
        {"plain", "http://10.0.0.5/snapshot.jpg?profile=main&amp;size=1", SoapRead::Ok,
         "http://10.0.0.5/snapshot.jpg?profile=main&size=1"},
        {"blanks around", "\n  http://10.0.0.5/s.jpg  ", SoapRead::Ok, "http://10.0.0.5/s.jpg"},
        {"empty", "", SoapRead::NotSoap, "kept"},
        {"blank inside", "http://10.0.0.5/a b.jpg", SoapRead::NotSoap, "kept"},
        {"too long", "http://10.0.0.5/" + std::string(1020, 'a'), SoapRead::NotSoap, "kept"},
    };
    for (const Case& c : cases) {
        std::string uri = "kept";
        EXPECT_EQ(
            ReadSnapshotUri(MediaAnswer("<m:GetSnapshotUriResponse><m:MediaUri><s:Uri>" + c.uri +
                                        "</s:Uri><s:Timeout>PT0S</s:Timeout></m:MediaUri>"
                                        "</m:GetSnapshotUriResponse>"),
                            &uri, nullptr),
            c.read)
            << c.name;
        EXPECT_EQ(uri, c.expected) << c.name;
    }
    // The request names the profile escaped, in the media namespace.
    const std::string envelope = Envelope(GetSnapshotUriBody("a<b"), nullptr);
    XmlElement root;
    ASSERT_EQ(ReadXml(envelope.data(), envelope.size(), &root), XmlRead::Ok);
    const XmlElement* token =
        root.Path({{kNsSoap, "Body"}, {kNsMedia, "GetSnapshotUri"}, {kNsMedia, "ProfileToken"}});
    ASSERT_NE(token, nullptr);
    EXPECT_EQ(token->text, "a<b");
}

} // namespace
