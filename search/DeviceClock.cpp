#include "DeviceClock.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <ctime>
#include <string>
#include <utility>

namespace lorvex {
namespace {

// Reads `width` decimal digits at text[*at] into *value.
bool Digits(const char* text, size_t* at, size_t width, int* value) {
    *value = 0;
    for (size_t i = 0; i < width; ++i, ++*at) {
        const char c = text[*at];
        if (c < '0' || c > '9')
            return false;
        *value = *value * 10 + (c - '0');
    }
    return true;
}

bool Separator(const char* text, size_t* at, char expected) { return text[(*at)++] == expected; }

bool SameNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

bool LeapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

bool ReadBootTime(const char* text, int64_t* utc) {
    if (strnlen(text, sizeof SEARCH_INFO{}.bootTime) != 19)
        return false;
    size_t at = 0;
    int year, month, day, hour, minute, second;
    if (!Digits(text, &at, 4, &year) || !Separator(text, &at, '-') ||
        !Digits(text, &at, 2, &month) || !Separator(text, &at, '-') ||
        !Digits(text, &at, 2, &day) || !Separator(text, &at, ' ') || !Digits(text, &at, 2, &hour) ||
        !Separator(text, &at, ':') || !Digits(text, &at, 2, &minute) ||
        !Separator(text, &at, ':') || !Digits(text, &at, 2, &second))
        return false;
    static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (year < 1970 || month < 1 || month > 12 || day < 1 || hour > 23 || minute > 59 ||
        second > 59)
        return false;
    if (day > kDays[month - 1] + (month == 2 && LeapYear(year) ? 1 : 0))
        return false;
    std::tm tm{};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_hour = hour;
    tm.tm_min = minute;
    tm.tm_sec = second;
    *utc = static_cast<int64_t>(timegm(&tm));
    return true;
}

bool ReadRunningTime(const char* text, int64_t* seconds) {
    const size_t length = strnlen(text, sizeof SEARCH_INFO{}.runningTime);
    if (length == 0 || length > 10)
        return false;
    int64_t value = 0;
    for (size_t i = 0; i < length; ++i) {
        if (text[i] < '0' || text[i] > '9')
            return false;
        value = value * 10 + (text[i] - '0');
    }
    *seconds = value;
    return true;
}

} // namespace

bool DeviceClockOffset(const SEARCH_INFO& record, int64_t answeredUtc, int64_t* offset) {
    int64_t boot = 0, running = 0;
    if (!ReadBootTime(record.bootTime, &boot) || !ReadRunningTime(record.runningTime, &running))
        return false;
    *offset = boot + running - answeredUtc;
    return true;
}

bool ReadDeviceClock(const SEARCH_INFO& record, int64_t answeredUtc, ClockReading* out) {
    int64_t offset = 0;
    if (!DeviceClockOffset(record, answeredUtc, &offset))
        return false;
    out->offset = offset;
    out->serial = 0;
    out->timeZone.assign(record.timeZone, strnlen(record.timeZone, sizeof record.timeZone));
    out->ntpServer.assign(record.ntpServer, strnlen(record.ntpServer, sizeof record.ntpServer));
    return true;
}

std::string ClockMismatch(const ClockReading& reading, std::string_view ntpServer,
                          std::string_view timeZone) {
    std::string why;
    const auto add = [&why](const std::string& part) { why += (why.empty() ? "" : "; ") + part; };
    if (!timeZone.empty() && reading.timeZone != timeZone)
        add("the time zone is " + (reading.timeZone.empty() ? "not told" : reading.timeZone));
    if (!ntpServer.empty() && !SameNoCase(reading.ntpServer, ntpServer))
        add("the NTP server is not the one set");
    if (reading.offset < -kClockSetToleranceSeconds || reading.offset > kClockSetToleranceSeconds)
        add("the clock is " + std::to_string(reading.offset) + " s off");
    return why;
}

void ClockReadings::Update(SEARCH_INFO info, CObservable<SEARCH_INFO>*) {
    if (info.event == SEARCH_EVENT_GONE)
        return;
    ClockReading reading;
    if (!ReadDeviceClock(info, static_cast<int64_t>(std::time(nullptr)), &reading))
        return;
    const std::lock_guard<std::mutex> hold(m_lock);
    reading.serial = ++m_serial;
    m_readings[std::string(info.mac, strnlen(info.mac, sizeof info.mac))] = std::move(reading);
}

bool ClockReadings::Latest(const std::string& mac, ClockReading* out) const {
    const std::lock_guard<std::mutex> hold(m_lock);
    const auto found = m_readings.find(mac);
    if (found == m_readings.end())
        return false;
    *out = found->second;
    return true;
}

uint64_t ClockReadings::Serial() const {
    const std::lock_guard<std::mutex> hold(m_lock);
    return m_serial;
}

void ClockReadBack::Sent(const std::string& mac) {
    const uint64_t serial = m_readings.Serial();
    const std::lock_guard<std::mutex> hold(m_lock);
    m_requests[mac] = Request{serial, UINT64_MAX};
}

void ClockReadBack::Accepted(const std::string& mac) {
    const uint64_t serial = m_readings.Serial();
    const std::lock_guard<std::mutex> hold(m_lock);
    const auto found = m_requests.find(mac);
    if (found != m_requests.end())
        found->second.accepted = serial;
}

std::optional<bool> ClockReadBack::Read(const std::string& mac, std::string_view ntpServer,
                                        std::string_view timeZone, ClockReading* out) const {
    Request request;
    {
        const std::lock_guard<std::mutex> hold(m_lock);
        const auto found = m_requests.find(mac);
        if (found == m_requests.end() || found->second.accepted == UINT64_MAX)
            return std::nullopt;
        request = found->second;
    }
    ClockReading reading;
    if (!m_readings.Latest(mac, &reading) || reading.serial <= request.sent)
        return std::nullopt;
    const bool set = ClockMismatch(reading, ntpServer, timeZone).empty();
    if (!set && reading.serial <= request.accepted)
        return std::nullopt;
    if (out)
        *out = std::move(reading);
    return set;
}

} // namespace lorvex
