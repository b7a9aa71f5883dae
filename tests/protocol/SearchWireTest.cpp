#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "SearchWire.h"

namespace {

using namespace lorvex::wire;

bool DecodeText(const std::string& dg, Message* out) {
    return Decode(reinterpret_cast<const unsigned char*>(dg.data()), dg.size(), out);
}

const MacBytes kMac{0x02, 0x4C, 0x56, 0xA0, 0x0B, 0xFF};

TEST(SearchWire, MacTexts) {
    struct {
        const char* text;
        bool ok;
    } cases[] = {
        {"02:4C:56:A0:0B:FF", true},  {"02:4c:56:a0:0b:ff", true},   {"", false},
        {"02:4C:56:A0:0B:F", false},  {"02:4C:56:A0:0B:FF:", false}, {"02-4C-56-A0-0B-FF", false},
        {"02:4C:56:A0:0B:FG", false}, {"02:4C:56:A0:0B FF", false},  {"024C:56:A0:0B:FF:", false},
        {" 2:4C:56:A0:0B:FF", false},
    };
    for (const auto& c : cases) {
        MacBytes m{};
        EXPECT_EQ(ParseMac(c.text, &m), c.ok) << c.text;
        if (c.ok) {
            EXPECT_EQ(m, kMac) << c.text;
        }
    }
    EXPECT_EQ(FormatMac(kMac), "02:4C:56:A0:0B:FF");
}

TEST(SearchWire, DeviceMacsAreUnicastAndNotZero) {
    EXPECT_TRUE(IsDeviceMac(kMac));
    EXPECT_FALSE(IsDeviceMac(MacBytes{}));
    EXPECT_FALSE(IsDeviceMac(MacBytes{0x01, 0, 0x5E, 0, 0, 1}));
    EXPECT_FALSE(IsDeviceMac(MacBytes{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}));
}

TEST(SearchWire, EveryKindSurvivesTheRoundTrip) {
    for (Kind k : {Kind::Probe, Kind::Answer, Kind::SetConfig, Kind::ConfigResult, Kind::Restore,
                   Kind::RestoreAck}) {
        const std::string payload =
            k == Kind::Probe ? "" : "<multicastSearchResult>&amp;</multicastSearchResult>";
        const std::string dg = Encode({k, 0xDEADBEEF, kMac, payload});
        ASSERT_EQ(dg.size(), kHeaderSize + payload.size());
        Message m;
        ASSERT_TRUE(DecodeText(dg, &m));
        EXPECT_EQ(m.kind, k);
        EXPECT_EQ(m.requestId, 0xDEADBEEFu);
        EXPECT_EQ(m.mac, kMac);
        EXPECT_EQ(m.payload, payload);
    }
    Message m;
    ASSERT_TRUE(DecodeText(Encode({Kind::Answer, 1, kMac, std::string(kMaxPayload, 'x')}), &m));
    EXPECT_EQ(m.payload.size(), kMaxPayload);
}

TEST(SearchWire, EncodeRefusesWhatCannotTravel) {
    EXPECT_TRUE(Encode({Kind::Answer, 1, kMac, std::string(kMaxPayload + 1, 'x')}).empty());
    // Payloads are bytes (keys, tags, sealed text): a NUL byte travels.
    Message m;
    ASSERT_TRUE(DecodeText(Encode({Kind::Answer, 1, kMac, std::string("a\0b", 3)}), &m));
    EXPECT_EQ(m.payload, std::string("a\0b", 3));
}

// A device name fits a device record, reads the same to tool and device
// (well-formed UTF-8 only) and holds nothing a list or a recorder would show
// as something else (control characters, spaces at either end).
TEST(SearchWire, DeviceNameRule) {
    const std::string good[] = {"Gate-North-03", "Камера-Дверь-7",     "大门-北-03",
                                "a b",           "\xf0\x9f\x93\xb7 4", std::string(31, 'a')};
    // Too long (32 bytes; 36 bytes of Cyrillic), spaces at an end, control
    // characters (a NUL, DEL, U+0085), an overlong '/', a surrogate, a code
    // point above U+10FFFF, sequences cut short or without a lead byte.
    const std::string bad[] = {"",
                               std::string(32, 'a'),
                               "Камера-Дверь-Север-3",
                               " Gate",
                               "Gate ",
                               "Gate\t3",
                               std::string("Gate\0", 5),
                               "Gate\x7f",
                               "Gate\xc2\x85",
                               "\xc0\xaf",
                               "\xed\xa0\x80",
                               "\xf4\x90\x80\x80",
                               "\xe5\xa4",
                               "\xff",
                               "a\x80"};
    for (const std::string& name : good)
        EXPECT_TRUE(IsDeviceName(name)) << name;
    for (const std::string& name : bad)
        EXPECT_FALSE(IsDeviceName(name)) << name;
}

// The clock fields carry nothing an attribute, a shell or a TZ reader would
// take as something else, and only times a clock can sensibly show.
TEST(SearchWire, ClockFieldRules) {
    struct {
        bool (*rule)(std::string_view);
        std::vector<std::string> good, bad;
    } rules[] = {
        {IsClockNtpServer,
         {"pool.ntp.org", "10.77.0.1", "fd00::1", "::1", std::string(253, 'a')},
         {"", "-pool", ".pool", "pool ntp", "pool\"x", "ntp;reboot", std::string(254, 'a')}},
        {IsClockTimeZone,
         {"UTC0", "CET-1CEST,M3.5.0,M10.5.0/3", "<+08>-8", std::string(64, 'A')},
         {"", "1UTC", "CET 1", "UTC0\n", "TZ=$(x)", std::string(65, 'A')}},
        {[](std::string_view t) { return ReadClockTime(t, nullptr); },
         {"946684800", "1765340000", "4102444799"},
         {"", "946684799", "4102444800", "01765340000", "+1765340000", "1765340000 ",
          "99999999999"}},
    };
    for (const auto& r : rules) {
        for (const std::string& text : r.good)
            EXPECT_TRUE(r.rule(text)) << text;
        for (const std::string& text : r.bad)
            EXPECT_FALSE(r.rule(text)) << text;
    }
}

TEST(SearchWire, HostileDatagramsAreRejected) {
    const std::string good = Encode({Kind::Answer, 7, kMac, "<multicastSearchResult/>"});
    struct {
        const char* what;
        std::string dg;
    } cases[] = {
        {"empty", ""},
        {"header cut", good.substr(0, kHeaderSize - 1)},
        {"payload cut", good.substr(0, good.size() - 1)},
        {"trailing byte", good + "x"},
        {"magic", "X" + good.substr(1)},
        {"version 1", good.substr(0, 4) + '\x01' + good.substr(5)},
        {"kind 0", good.substr(0, 5) + '\x00' + good.substr(6)},
        {"kind 10", good.substr(0, 5) + '\x0a' + good.substr(6)},
        {"mac text", good.substr(0, 13) + 'G' + good.substr(14)},
        {"mac separator", good.substr(0, 14) + '-' + good.substr(15)},
        {"mac end byte", good.substr(0, 29) + 'x' + good.substr(30)},
        {"oversize",
         [] {
             std::string big = Encode({Kind::Answer, 7, kMac, std::string(kMaxPayload, 'x')});
             big[6] = static_cast<char>(((kMaxPayload + 1) >> 8) & 0xFF);
             big[7] = static_cast<char>((kMaxPayload + 1) & 0xFF);
             return big + "x";
         }()},
    };
    Message m;
    ASSERT_TRUE(DecodeText(good, &m));
    for (const auto& c : cases)
        EXPECT_FALSE(DecodeText(c.dg, &m)) << c.what;
    EXPECT_FALSE(Decode(nullptr, 40, &m));
}

TEST(SearchWire, OnlyDeviceKindsAreTakenByTheTool) {
    EXPECT_TRUE(IsDeviceKind(Kind::Answer));
    EXPECT_TRUE(IsDeviceKind(Kind::ConfigResult));
    EXPECT_TRUE(IsDeviceKind(Kind::RestoreAck));
    EXPECT_FALSE(IsDeviceKind(Kind::Probe));
    EXPECT_FALSE(IsDeviceKind(Kind::SetConfig));
    EXPECT_FALSE(IsDeviceKind(Kind::Restore));
}

} // namespace
