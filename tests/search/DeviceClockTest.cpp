// A device's clock read from its answer's bootTime and runningTime.
#include "DeviceClock.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

TEST(DeviceClock, OffsetFromBootTimeAndRunningTime) {
    struct {
        const char* bootTime;
        const char* runningTime;
        bool readable;
        int64_t offset; // against 2026-12-10 04:00:00 UTC (1796875200)
    } cases[] = {
        {"2026-12-10 03:00:00", "3600", true, 0},
        {"2026-12-10 03:00:00", "3590", true, -10},
        {"2019-01-01 00:00:00", "0", true, 1546300800 - 1796875200},
        {"2028-02-29 00:00:00", "0", true, 1835395200 - 1796875200}, // a leap day
        {"2027-02-29 00:00:00", "0", false, 0},                      // not one
        {"2026-12-10 03:00", "3600", false, 0},
        {"2026-12-10T03:00:00", "3600", false, 0},
        {"2026-13-10 03:00:00", "3600", false, 0},
        {"2026-12-10 03:00:00", "3 days 04:05:06", false, 0},
        {"2026-12-10 03:00:00", "", false, 0},
        {"2026-12-10 03:00:00", "-5", false, 0},
        {"", "3600", false, 0},
    };
    for (const auto& c : cases) {
        SEARCH_INFO r{};
        std::strncpy(r.bootTime, c.bootTime, sizeof r.bootTime - 1);
        std::strncpy(r.runningTime, c.runningTime, sizeof r.runningTime - 1);
        int64_t offset = 12345;
        EXPECT_EQ(lorvex::DeviceClockOffset(r, 1796875200, &offset), c.readable)
            << c.bootTime << " + " << c.runningTime;
        EXPECT_EQ(offset, c.readable ? c.offset : 12345) << c.bootTime << " + " << c.runningTime;
    }
}

} // namespace
