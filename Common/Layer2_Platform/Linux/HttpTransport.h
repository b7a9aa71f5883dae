// One plain-HTTP POST to a device, for the device HTTP client of the search
// engine. This is the only place that knows the HTTP library; the engine
// hands over a finished request and gets the status and body back.
//
// A device on the LAN is untrusted, so every exchange is bounded:
//   - only plain HTTP to the given IPv4 address; no name look-up, no TLS,
//     no redirect followed (a 3xx is just a status), no proxy (neither a
//     configured nor one from the environment);
//   - connecting may take kHttpConnectTimeoutMs;
//   - once connected, the exchange fails when nothing is sent or received
//     for kHttpReceiveTimeoutMs (checked at least once a second, so such a
//     failure comes between 5 and 6 s after the last byte);
//   - the whole exchange, connecting included, ends after kHttpDeadlineMs
//     whatever the device does (a device that trickles one byte every few
//     seconds is cut off there);
//   - a body longer than kHttpMaxReplyBytes fails the exchange.
// Nothing of the request is written anywhere: no tracing, no logging; the
// copies of the Authorization header made for the library are wiped.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

constexpr long kHttpConnectTimeoutMs = 5000;
constexpr long kHttpReceiveTimeoutMs = 5000;
constexpr long kHttpDeadlineMs = 10000;
constexpr size_t kHttpMaxReplyBytes = 1024 * 1024;

// The agent name the device sees, prefix and all.
extern const char kHttpUserAgent[];

// True for a request path this client sends to a device: it begins with
// '/', is at most 1024 bytes of printable ASCII, and has no blank and no
// '#'. Every HTTP and SOAP request of the tool, and every device service
// address a camera announces, is held to it.
bool IsPlainPath(const std::string& path);

// True for a host this tool connects to on the LAN: a dotted-quad IPv4
// address or a bracketed IPv6 one ("[fe80::1]"); never a name to look up.
bool IsAddressHost(const std::string& host);

struct HttpPostRequest {
    std::string host; // dotted-quad IPv4 address
    uint16_t port = 80;
    std::string path;           // begins with '/', printable ASCII, no blanks
    std::string authorization;  // the Authorization header's value, or empty
    const char* body = nullptr; // may be null when bodyLength is 0
    size_t bodyLength = 0;
    bool wantBody = true; // false: stop reading once the status is known
};

struct HttpPostReply {
    long status = 0;  // the HTTP status code, 0 when none was received
    std::string body; // the whole body when wantBody, else empty
};

// Sends request as "POST path HTTP/1.0" with the user agent above, the
// Authorization header when given, and no content type. True when a status
// line arrived and, with wantBody, the body was read to its end (by
// Content-Length, or to the close of the connection when there is none)
// within the bounds above; reply then holds status and body. False on any
// failure: bad host or path, no connection, time-out, deadline, oversize,
// connection reset, body shorter than its Content-Length.
bool HttpPost(const HttpPostRequest& request, HttpPostReply* reply);

// The function HttpPost forwards to: the libcurl client unless a test has
// put its own in place. Returns the previous one; an empty function puts the
// libcurl client back. Set it before any request runs, not concurrently.
using HttpPostFunction = std::function<bool(const HttpPostRequest&, HttpPostReply*)>;
HttpPostFunction SetHttpPostFunction(HttpPostFunction function);

// The libcurl client itself.
bool CurlHttpPost(const HttpPostRequest& request, HttpPostReply* reply);
