// The session's deeds as the site report reads them: named once each, in
// their order, verified only when every one was read back.
#include <gtest/gtest.h>

#include "SessionLog.h"

namespace {

using report::Deed;
using report::Verified;

TEST(SessionLog, OneLinePerDeviceVerifiedOnlyWhenAllWere) {
    report::SessionLog log;
    log.Add("02:4C:56:00:00:01", Deed::Activated, true);
    log.Add("02:4C:56:00:00:01", Deed::Readdressed, false);
    log.Add("02:4C:56:00:00:01", Deed::Readdressed, true); // done again, read back now
    log.Add("02:4C:56:00:00:02", Deed::Restored, false);
    log.Add("urn:uuid:porch", Deed::ClockSet, true);
    const struct {
        const char* key;
        const char* line;
        Verified verified;
    } cases[] = {
        {"02:4C:56:00:00:01", "re-addressed, activated", Verified::Yes},
        {"02:4C:56:00:00:02", "restored", Verified::No},
        {"urn:uuid:porch", "clock set", Verified::Yes},
        {"02:4C:56:00:00:03", "", Verified::NotApplicable},
    };
    for (const auto& c : cases) {
        Verified verified = Verified::Yes;
        EXPECT_EQ(log.Summary(c.key, report::DeedWords{}, &verified), c.line) << c.key;
        EXPECT_EQ(verified, c.verified) << c.key;
    }
    log.Clear();
    Verified verified = Verified::Yes;
    EXPECT_EQ(log.Summary("02:4C:56:00:00:01", report::DeedWords{}, &verified), "");
}

} // namespace
