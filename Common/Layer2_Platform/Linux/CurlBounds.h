// The bounds every HTTP exchange of this tool with a device puts on the
// HTTP library: the device HTTP client (HttpTransport) and the camera SOAP
// client (SoapTransport) both set them through SetCurlBounds, so that the
// rules below hold for every request to the LAN alike.
#pragma once

#include <curl/curl.h>

#include <cstddef>
#include <string>

struct CurlBounds {
    const char* protocols = "http"; // allowed schemes, also for redirects: "http" or "http,https"
    long connectTimeoutMs = 0;      // connecting, at most
    long deadlineMs = 0;            // the whole exchange, connecting included, at most
    std::size_t maxReplyBytes = 0;  // a body announced longer fails at once; 0: no such check
    bool ipv4Only = false;          // never try an IPv6 address
};

// https to a camera: its certificate is self-signed, so its public key is
// pinned instead. With pin ("sha256//BASE64") the handshake ends, before
// anything of the request is sent, unless the key is that one; with an
// empty pin any key is met and read (CurlPeerKeyPin tells it afterwards).
void SetCurlPin(CURL* curl, const std::string& pin);
// The pin of the first certificate read in the last handshake, else empty.
std::string CurlPeerKeyPin(CURL* curl);

// Sets on curl: no signals, only bounds.protocols (redirects too, though
// none is followed), no proxy (neither a configured one nor one from the
// environment), the two time limits, the announced size cap when given, a
// fresh connection per exchange, no tracing. Call it again before each
// exchange on a kept handle: it resets every one of these options.
void SetCurlBounds(CURL* curl, const CurlBounds& bounds);
