// One HTTP GET of a camera's picture (its snapshot URI), for the snapshot
// fetch. This is the only place that knows the HTTP library for it; the
// caller hands over an address it has already held to the camera's own
// and gets status, body and what the camera asked for back.
//
// A camera on the LAN is untrusted, so every fetch is bounded:
//   - http or https to a dotted-quad or bracketed IPv6 host only; no name
//     look-up, no redirect followed (a 3xx is just a status), no proxy;
//   - connecting may take kImageConnectTimeoutMs, the whole fetch (both
//     exchanges of a Digest log-in together) timeLimitMs, at most
//     kImageDeadlineMs: a camera that trickles its picture is cut off;
//   - a body beyond maxBytes (at most kImageMaxBytes) ends the fetch as
//     TooLarge, announced or not;
//   - the first exchange carries no log-in. Only when the camera answers it
//     with a Digest challenge and the caller gave a user and password does
//     a second exchange answer that challenge (HTTP Digest, bound to the
//     camera's nonce). Basic is never sent: a camera that asks only for
//     Basic gets nothing (basicChallenge tells the caller why);
//   - https: the camera's public key is held to pinnedKey; without one the
//     key met in the first exchange is reported (peerKey) and the Digest
//     exchange is held to it.
// Nothing of the request is logged. The library keeps its own copy of the
// password for the exchange and drops it with its handle at the end of the
// call.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

constexpr long kImageConnectTimeoutMs = 3000;
constexpr long kImageDeadlineMs = 6000;
constexpr std::size_t kImageMaxBytes = 4 * 1024 * 1024;

struct ImageGetRequest {
    std::string scheme = "http"; // "http" or "https"
    std::string host;            // dotted quad, or "[v6]"
    std::uint16_t port = 80;
    std::string target;                    // path and query; IsPlainPath must hold
    const std::string* user = nullptr;     // for Digest; never logged
    const std::string* password = nullptr; // for Digest; never logged
    // https only: "sha256//BASE64" of the camera's public key; empty: none
    // pinned yet, any key is met (and reported).
    std::string pinnedKey;
    long timeLimitMs = kImageDeadlineMs;   // the whole fetch; 0 or less: NoAnswer at once
    std::size_t maxBytes = kImageMaxBytes; // above kImageMaxBytes counts as kImageMaxBytes
};

enum class ImageGetResult {
    Answered,    // a status line arrived and the body was read whole
    NoAnswer,    // no connection, reset, time-out or time limit
    TooLarge,    // the body passed maxBytes
    Refused,     // the request itself was not acceptable (bad host, target, scheme)
    KeyMismatch, // https: the camera's public key is not pinnedKey; nothing was sent
};

struct ImageGetReply {
    long status = 0;
    std::string body;
    bool digestChallenge = false; // the last answer asked for Digest
    bool basicChallenge = false;  // the last answer asked for Basic
    bool digestAnswered = false;  // a Digest log-in went out in this fetch
    std::string contentType;      // as the camera said it; for messages only, never trusted
    std::string peerKey;          // https without a pin: "sha256//BASE64" of the key met
};

// GETs the target as described above.
ImageGetResult ImageGet(const ImageGetRequest& request, ImageGetReply* reply);

// The function ImageGet forwards to: the libcurl client unless a test has
// put its own in place. Returns the previous one; an empty function puts
// the libcurl client back. Set it before any fetch runs, not concurrently.
using ImageGetFunction = std::function<ImageGetResult(const ImageGetRequest&, ImageGetReply*)>;
ImageGetFunction SetImageGetFunction(ImageGetFunction function);

// The libcurl client itself.
ImageGetResult CurlImageGet(const ImageGetRequest& request, ImageGetReply* reply);
