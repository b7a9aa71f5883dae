// The canonical MAC in both spellings, and the message identifier's form.
#include <gtest/gtest.h>

#include "DeviceIds.h"

namespace {

using devicelist::CanonicalMac;
using devicelist::MacSpelling;

TEST(DeviceIds, CanonicalMacReadsTheSpellingsItIsAskedFor) {
    struct Case {
        const char* text;
        const char* colons; // CanonicalMac(text, Colons)
        const char* any;    // CanonicalMac(text, Any)
    };
    const Case cases[] = {
        {"02:4f:4e:00:00:01", "02:4F:4E:00:00:01", "02:4F:4E:00:00:01"},
        {"02-4F-4E-00-00-01", "", "02:4F:4E:00:00:01"},
        {"024f4e000001", "", "02:4F:4E:00:00:01"},
        {"02:4f-4e:00:00:01", "", ""}, // mixed separators
        {"02.4f.4e.00.00.01", "", ""},
        {"024f4e00000", "", ""},
        {"024f4e0000012", "", ""},
        {"02:4g:4e:00:00:01", "", ""},
        {"02:4f:4e:00:00:0", "", ""},
        {"02:4f:4e:00:00:01:", "", ""},
        {" 2:4f:4e:00:00:01", "", ""},
        {"", "", ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(CanonicalMac(c.text), c.colons) << c.text;
        EXPECT_EQ(CanonicalMac(c.text, MacSpelling::Any), c.any) << c.text;
    }
}

TEST(DeviceIds, MessageIdIsAFreshVersion4Uuid) {
    const std::string id = devicelist::NewMessageId();
    ASSERT_EQ(id.size(), 45u);
    EXPECT_EQ(id.rfind("urn:uuid:", 0), 0u);
    EXPECT_EQ(id[9 + 14], '4');
    EXPECT_NE(std::string("89ab").find(id[9 + 19]), std::string::npos);
    EXPECT_NE(id, devicelist::NewMessageId());
}

} // namespace
