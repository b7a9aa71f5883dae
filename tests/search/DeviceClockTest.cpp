// A device's clock read from its answer's bootTime and runningTime.
#include "DeviceClock.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <ctime>
#include <optional>
#include <string>

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

// A clock counts as set only when the answer tells all the request asked;
// the reason names each part that differs.
TEST(DeviceClock, MismatchNamesWhatTheAnswerToldOtherwise) {
    struct {
        int64_t offset;
        const char* zoneTold;
        const char* serverTold;
        const char* serverAsked;
        const char* zoneAsked;
        const char* why;
    } cases[] = {
        {2, "CET-1", "10.77.0.1", "10.77.0.1", "CET-1", ""},
        {-3, "UTC0", "", "", "", ""}, // nothing asked but the time
        {0, "UTC0", "NTP.Example.org", "ntp.example.ORG", "", ""},
        {4, "UTC0", "", "", "", "the clock is 4 s off"},
        {0, "UTC0", "", "", "CET-1", "the time zone is UTC0"},
        {0, "cet-1", "", "", "CET-1", "the time zone is cet-1"}, // a zone is exact
        {0, "", "", "", "CET-1", "the time zone is not told"},
        {0, "UTC0", "", "10.77.0.1", "", "the NTP server is not the one set"},
        {-9, "UTC0", "10.0.0.9", "10.77.0.1", "CET-1",
         "the time zone is UTC0; the NTP server is not the one set; the clock is -9 s off"},
    };
    for (const auto& c : cases) {
        SEARCH_INFO r{};
        std::snprintf(r.bootTime, sizeof r.bootTime, "2026-12-10 03:00:00");
        std::snprintf(r.runningTime, sizeof r.runningTime, "3600");
        std::snprintf(r.timeZone, sizeof r.timeZone, "%s", c.zoneTold);
        std::snprintf(r.ntpServer, sizeof r.ntpServer, "%s", c.serverTold);
        lorvex::ClockReading reading;
        ASSERT_TRUE(lorvex::ReadDeviceClock(r, 1796875200 - c.offset, &reading));
        EXPECT_EQ(lorvex::ClockMismatch(reading, c.serverAsked, c.zoneAsked), c.why)
            << c.offset << " " << c.zoneTold << " " << c.serverTold;
    }
}

// A device's reading counts after its request: one between the request and
// its acceptance only when it reads set (it may be of the old state), one
// after the acceptance either way.
TEST(DeviceClock, ReadBackCountsReadingsAfterTheRequest) {
    struct {
        const char* steps; // S sent, A accepted, r a reading set, w one years off, z zone off
        std::optional<bool> read;
    } cases[] = {
        {"wSA", std::nullopt}, {"SrA", true},           {"SwA", std::nullopt},
        {"SwAr", true},        {"SAw", false},          {"SAz", false},
        {"Sr", std::nullopt},  {"SAwSr", std::nullopt}, {"SAwSrA", true},
    };
    const std::string mac = "02:4C:56:00:00:01";
    for (const auto& c : cases) {
        lorvex::ClockReadings readings;
        lorvex::ClockReadBack readBack(readings);
        for (const char* step = c.steps; *step; ++step) {
            if (*step == 'S' || *step == 'A') {
                *step == 'S' ? readBack.Sent(mac) : readBack.Accepted(mac);
                continue;
            }
            SEARCH_INFO r{};
            std::snprintf(r.mac, sizeof r.mac, "%s", mac.c_str());
            const std::time_t boot = std::time(nullptr) - 3600;
            std::tm tm{};
            gmtime_r(&boot, &tm);
            std::strftime(r.bootTime, sizeof r.bootTime, "%Y-%m-%d %H:%M:%S", &tm);
            if (*step == 'w')
                std::snprintf(r.bootTime, sizeof r.bootTime, "2019-01-01 00:00:00");
            std::snprintf(r.runningTime, sizeof r.runningTime, "3600");
            std::snprintf(r.timeZone, sizeof r.timeZone, *step == 'z' ? "UTC0" : "CET-1");
            readings.Update(r, nullptr);
        }
        EXPECT_EQ(readBack.Read(mac, "", "CET-1"), c.read) << c.steps;
    }
}

} // namespace
