#include "ImageTransport.h"

#include <curl/curl.h>
#include <strings.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <mutex>

#include "CurlBounds.h"
#include "HttpTransport.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t kMaxContentType = 128;

ImageGetFunction& GetFunction() {
    static ImageGetFunction function;
    return function;
}

struct Transfer {
    ImageGetReply* reply = nullptr;
    std::size_t maxBytes = 0;
    bool oversize = false;
};

size_t OnBody(char* data, size_t size, size_t count, void* user) {
    Transfer* t = static_cast<Transfer*>(user);
    const size_t n = size * count;
    if (t->reply->body.size() + n > t->maxBytes) {
        t->oversize = true;
        return 0;
    }
    t->reply->body.append(data, n);
    return n;
}

bool StartsNoCase(const char* data, size_t n, const char* prefix) {
    const size_t p = std::strlen(prefix);
    return n >= p && strncasecmp(data, prefix, p) == 0;
}

// The value of a header line "Name: value\r\n" after the colon, trimmed.
std::string HeaderValue(const char* data, size_t n, size_t nameLength) {
    size_t b = nameLength, e = n;
    while (b < e && (data[b] == ' ' || data[b] == '\t'))
        ++b;
    while (e > b && (data[e - 1] == '\r' || data[e - 1] == '\n' || data[e - 1] == ' '))
        --e;
    return std::string(data + b, e - b);
}

// Each status line starts an answer afresh (the library's own Digest
// round may bring two); what the last one asked for is what counts.
size_t OnHeader(char* data, size_t size, size_t count, void* user) {
    Transfer* t = static_cast<Transfer*>(user);
    const size_t n = size * count;
    static const char kAuth[] = "WWW-Authenticate:";
    static const char kType[] = "Content-Type:";
    if (StartsNoCase(data, n, "HTTP/")) {
        t->reply->body.clear();
        t->reply->digestChallenge = t->reply->basicChallenge = false;
        t->reply->contentType.clear();
    } else if (StartsNoCase(data, n, kAuth)) {
        const std::string value = HeaderValue(data, n, sizeof kAuth - 1);
        if (StartsNoCase(value.data(), value.size(), "Digest"))
            t->reply->digestChallenge = true;
        else if (StartsNoCase(value.data(), value.size(), "Basic"))
            t->reply->basicChallenge = true;
    } else if (StartsNoCase(data, n, kType)) {
        t->reply->contentType = HeaderValue(data, n, sizeof kType - 1).substr(0, kMaxContentType);
    }
    return n;
}

// What is left of the fetch's time, in whole milliseconds; 0 when none.
long LeftMs(Clock::time_point end) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now());
    return left.count() > 0 ? static_cast<long>(left.count()) : 0;
}

// One exchange on curl as set up, ending by `end`.
ImageGetResult Exchange(CURL* curl, Transfer* t, Clock::time_point end) {
    t->reply->body.clear();
    t->oversize = false;
    const long left = LeftMs(end);
    if (left == 0)
        return ImageGetResult::NoAnswer;
    CurlBounds bounds;
    bounds.protocols = "http,https";
    bounds.connectTimeoutMs = std::min(kImageConnectTimeoutMs, left);
    bounds.deadlineMs = left;
    bounds.maxReplyBytes = t->maxBytes;
    SetCurlBounds(curl, bounds);
    // Cameras carry self-signed certificates: the key is pinned instead.
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 0L);
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 0L);
    const CURLcode rc = curl_easy_perform(curl);
    long status = 0;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
    t->reply->status = status;
    if (rc == CURLE_SSL_PINNEDPUBKEYNOTMATCH)
        return ImageGetResult::KeyMismatch;
    if (t->oversize || rc == CURLE_FILESIZE_EXCEEDED)
        return ImageGetResult::TooLarge;
    if (rc != CURLE_OK || status == 0)
        return ImageGetResult::NoAnswer;
    return ImageGetResult::Answered;
}

ImageGetResult Fetch(CURL* curl, const ImageGetRequest& request, ImageGetReply* reply) {
    const std::string url =
        request.scheme + "://" + request.host + ":" + std::to_string(request.port) + request.target;
    Transfer t;
    t.reply = reply;
    t.maxBytes = std::min(request.maxBytes, kImageMaxBytes);
    const Clock::time_point end =
        Clock::now() + std::chrono::milliseconds(std::max(request.timeLimitMs, 0L));
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_HTTPGET, 1L);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, OnBody);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &t);
    curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, OnHeader);
    curl_easy_setopt(curl, CURLOPT_HEADERDATA, &t);
    const bool https = request.scheme == "https";
    SetCurlPin(curl, https ? request.pinnedKey : std::string());
    ImageGetResult result = Exchange(curl, &t, end);
    if (https && request.pinnedKey.empty())
        reply->peerKey = CurlPeerKeyPin(curl);
    const bool login = request.user != nullptr && request.password != nullptr;
    if (result != ImageGetResult::Answered || reply->status != 401 || !reply->digestChallenge ||
        !login)
        return result;
    // The library noted the camera's challenge on the handle: this
    // exchange answers it at once. The log-in goes only to the key the
    // challenge came with (a key that could not be read is met by none).
    if (https && request.pinnedKey.empty())
        SetCurlPin(curl, reply->peerKey.empty() ? std::string("sha256//unread") : reply->peerKey);
    curl_easy_setopt(curl, CURLOPT_HTTPAUTH, static_cast<long>(CURLAUTH_DIGEST));
    curl_easy_setopt(curl, CURLOPT_USERNAME, request.user->c_str());
    curl_easy_setopt(curl, CURLOPT_PASSWORD, request.password->c_str());
    result = Exchange(curl, &t, end);
    reply->digestAnswered = true;
    return result;
}

} // namespace

ImageGetResult CurlImageGet(const ImageGetRequest& request, ImageGetReply* reply) {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
    if (reply == nullptr || (request.scheme != "http" && request.scheme != "https") ||
        !IsAddressHost(request.host) || !IsPlainPath(request.target) || request.port == 0)
        return ImageGetResult::Refused;
    *reply = ImageGetReply{};
    CURL* curl = curl_easy_init();
    if (curl == nullptr)
        return ImageGetResult::NoAnswer;
    const ImageGetResult result = Fetch(curl, request, reply);
    curl_easy_cleanup(curl);
    if (result != ImageGetResult::Answered)
        reply->body.clear();
    return result;
}

ImageGetResult ImageGet(const ImageGetRequest& request, ImageGetReply* reply) {
    const ImageGetFunction& function = GetFunction();
    return function ? function(request, reply) : CurlImageGet(request, reply);
}

ImageGetFunction SetImageGetFunction(ImageGetFunction function) {
    ImageGetFunction previous = std::move(GetFunction());
    GetFunction() = std::move(function);
    return previous;
}
