// The device service's messages for a camera's name and clock: scopes
// (the name scope among them), host name, NTP server, date, time and time
// zone; the rules the values this tool sends must meet; and the readers
// of the answers. Pure functions; every answer is hostile input read
// through ReadXml, and a list beyond its bound is refused whole rather
// than cut, since what is read back may be written back.
#pragma once

#include <cstddef>
#include <ctime>
#include <string>
#include <vector>

#include "OnvifSoap.h"

namespace onvif {

// Scopes read at most, and the longest kept; a longer list or item is
// refused (not cut: SetScopes would then drop the rest from the camera).
constexpr std::size_t kMaxScopeItems = 64;
constexpr std::size_t kMaxScopeBytes = 1024;
// The longest camera name this tool sets, in bytes of UTF-8.
constexpr std::size_t kMaxCameraName = 64;
// The longest POSIX TZ string sent.
constexpr std::size_t kMaxTimeZone = 64;

extern const char kNameScopePrefix[]; // "onvif://www.onvif.org/name/"

struct Scope {
    bool fixed = false; // ScopeDef Fixed: the camera does not let it change
    std::string item;   // the scope URI exactly as the camera holds it
};

// True for a name this tool sets: 1 to kMaxCameraName bytes of valid
// UTF-8 without control characters, not only blanks.
bool ValidCameraName(const std::string& name);
// The name scope for name: kNameScopePrefix + name with every byte but
// A-Z a-z 0-9 - . _ ~ percent-encoded.
std::string NameScope(const std::string& name);
// True when scope is a name scope (prefix compared without regard to case).
bool IsNameScope(const std::string& scope);
// The configurable scopes to set for a new name: every configurable scope
// of current as it is, except name scopes, then the new name scope. Fixed
// scopes are never sent (the camera keeps them).
std::vector<std::string> ScopesWithName(const std::vector<Scope>& current, const std::string& name);

// True for a host name as cameras take it: labels of 1 to 63 letters,
// digits and hyphens, none at a label's start or end, joined by dots, at
// most 253 bytes in all.
bool ValidHostname(const std::string& name);
// The host name a camera name gives: ASCII letters and digits kept, every
// other run of bytes one hyphen, no hyphen at either end, at most 63
// bytes; empty when nothing is left (a name of Chinese characters only).
std::string HostnameFor(const std::string& name);

// An NTP server as SetNTP names it.
struct NtpServer {
    enum class Kind { IPv4, IPv6, Dns } kind = Kind::IPv4;
    std::string address; // the dotted quad, the IPv6 text, or the DNS name
};
// Reads an installer's NTP server: a unicast IPv4 address (not 0.x,
// loopback, multicast or broadcast), a unicast IPv6 address (not ::, ::1
// or multicast), or a DNS name (ValidHostname; a text of digits and dots
// only must be an IPv4 address). False for anything else.
bool ParseNtpServer(const std::string& text, NtpServer* out);

// True for a POSIX TZ string (std offset [dst [offset] [,start[/time],
// end[/time]]]): names of at least three letters or <quoted> letters,
// digits and signs; offsets [+-]hh[:mm[:ss]] up to 24 hours; rule dates
// Jn (1..365), n (0..365) or Mm.w.d; rule times up to 167 hours; at most
// kMaxTimeZone bytes. DaylightSavingIn tells whether it names a dst part.
bool ValidPosixTimeZone(const std::string& tz);
bool DaylightSavingIn(const std::string& tz);

// GetSystemDateAndTime in full.
struct ClockSettings {
    std::string type;             // "Manual" or "NTP"; empty when not told
    bool daylightSavings = false; // as told
    std::string timeZone;         // TimeZone/TZ as told (AnswerField), may be empty
    long long offset = 0;         // the camera's UTC clock minus the host's, seconds
};
// The camera's NTP settings (GetNTP).
struct NtpSettings {
    bool fromDhcp = false;
    std::vector<std::string> servers; // manual ones, then those from DHCP; at most 8
};

// What SetSystemDateAndTime sets.
struct DateTimeSetting {
    bool ntp = false;     // DateTimeType NTP; else Manual with utc
    std::string timeZone; // empty: none sent (the camera keeps its own)
    std::time_t utc = 0;  // Manual: the time to set (UTC)
};

// Bodies of the requests (device service). Values must have passed the
// rules above; they are escaped all the same.
std::string GetScopesBody();
std::string SetScopesBody(const std::vector<std::string>& scopes);
std::string GetHostnameBody();
std::string SetHostnameBody(const std::string& name);
std::string GetNtpBody();
std::string SetNtpBody(const NtpServer& server);
std::string SetSystemDateAndTimeBody(const DateTimeSetting& setting);

// Readers. Ok fills the output; anything else leaves it untouched.
// GetScopes: NotSoap for no scope at all, more than kMaxScopeItems, an item
// over kMaxScopeBytes or holding a control character.
SoapRead ReadScopes(const std::string& body, std::vector<Scope>* out, SoapFault* fault);
SoapRead ReadHostname(const std::string& body, std::string* name, SoapFault* fault);
SoapRead ReadNtp(const std::string& body, NtpSettings* out, SoapFault* fault);
SoapRead ReadClockSettings(const std::string& body, std::time_t hostNow, ClockSettings* out,
                           SoapFault* fault);

} // namespace onvif
