// One SOAP 1.2 POST to a camera's device service, for the ONVIF client.
// This is the only place that knows the HTTP library for it; the client
// hands over a finished envelope and gets status and body back.
//
// A camera on the LAN is untrusted, so every exchange is bounded:
//   - http or https to a dotted-quad or bracketed IPv6 host only; no name
//     look-up, no redirect followed (a 3xx is just a status), no proxy;
//   - connecting may take kSoapConnectTimeoutMs, the whole exchange
//     kSoapDeadlineMs (or the request's lower timeLimitMs), a body beyond
//     kSoapMaxReplyBytes ends it as TooLarge;
//   - HTTP Digest only when asked for (digest true): the library then
//     answers the camera's Digest challenge itself; Basic is never offered,
//     so no password crosses the wire in clear;
//   - https: cameras carry self-signed certificates and there is no
//     authority to check them against, so the caller pins the camera's
//     public key instead (pinnedKey): the library ends the handshake,
//     before anything of the request is sent, when the key differs
//     (KeyMismatch). Without a pin the key met is reported (peerKey) for
//     the caller to pin, and a Digest round within the request is held to
//     the key of its first exchange.
// Nothing of the request is logged. For Digest the library keeps its own
// copy of the password for the exchange and drops it with the handle; the
// envelope's copies made here are wiped.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

constexpr long kSoapConnectTimeoutMs = 3000;
constexpr long kSoapDeadlineMs = 8000;
constexpr std::size_t kSoapMaxReplyBytes = 256 * 1024;

// What the HTTP library keeps of one camera between requests: above all
// the Digest challenge it answered last, so that later requests carry
// their login at once instead of costing the camera a refused attempt
// each. One per camera client, used by one thread at a time; it holds the
// library's copy of the Digest password until destroyed.
class SoapSession {
public:
    SoapSession() = default;
    ~SoapSession();
    SoapSession(const SoapSession&) = delete;
    SoapSession& operator=(const SoapSession&) = delete;

    void* handle = nullptr;  // the library's handle, made on first use
    bool challenged = false; // a Digest challenge came on it
};

struct SoapPostRequest {
    std::string scheme = "http"; // "http" or "https"
    std::string host;            // dotted quad, or "[v6]"
    std::uint16_t port = 80;
    std::string path;   // begins with '/', printable ASCII, no blanks
    std::string action; // the SOAP action for the content type, may be empty
    std::string body;   // the envelope
    bool digest = false;
    const std::string* user = nullptr;     // for digest; never logged
    const std::string* password = nullptr; // for digest; never logged
    SoapSession* session = nullptr;        // null: a handle for this request alone
    // https only: "sha256//BASE64" of the camera's public key (its
    // SubjectPublicKeyInfo); empty: none pinned yet, any key is met.
    std::string pinnedKey;
    // A caller with a deadline of its own lowers this below kSoapDeadlineMs:
    // the request then ends within it, Digest's second round included (0 or
    // less: NoAnswer at once). At kSoapDeadlineMs or above, each exchange
    // may take kSoapDeadlineMs.
    long timeLimitMs = kSoapDeadlineMs;
};

enum class SoapPostResult {
    Answered,    // a status line arrived and the body was read whole
    NoAnswer,    // no connection, reset, time-out or deadline
    TooLarge,    // the body passed kSoapMaxReplyBytes
    Refused,     // the request itself was not acceptable (bad host, path, scheme)
    KeyMismatch, // https: the camera's public key is not pinnedKey; nothing was sent
};

struct SoapPostReply {
    long status = 0;
    std::string body;
    bool digestChallenge = false; // a WWW-Authenticate: Digest header came
    bool digestAnswered = false;  // the login went as HTTP Digest in this request
    std::string peerKey;          // https: "sha256//BASE64" of the key met, when read
};

// "sha256//BASE64" of the public key of a PEM certificate; empty when it
// is not one.
std::string PublicKeyPinOfPem(const std::string& pem);

// Sends the request as "POST path" with Content-Type application/soap+xml.
SoapPostResult SoapPost(const SoapPostRequest& request, SoapPostReply* reply);

// The function SoapPost forwards to: the libcurl client unless a test has
// put its own in place. Returns the previous one; an empty function puts the
// libcurl client back. Set it before any request runs, not concurrently.
using SoapPostFunction = std::function<SoapPostResult(const SoapPostRequest&, SoapPostReply*)>;
SoapPostFunction SetSoapPostFunction(SoapPostFunction function);

// The libcurl client itself.
SoapPostResult CurlSoapPost(const SoapPostRequest& request, SoapPostReply* reply);
