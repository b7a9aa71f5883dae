#include "HttpTransport.h"

#include <arpa/inet.h>
#include <curl/curl.h>

#include "CurlBounds.h"

#include <chrono>
#include <cstring>
#include <mutex>

const char kHttpUserAgent[] =
    "User-Agent: Mozilla/5.0 (compatible; MSIE 9.0; Windows NT 6.1; Trident/5.0)";

namespace {

using Clock = std::chrono::steady_clock;

HttpPostFunction& PostFunction() {
    static HttpPostFunction function;
    return function;
}

// State shared with the library's callbacks during one exchange.
struct Exchange {
    std::string* body = nullptr;
    bool wantBody = true;
    bool oversize = false;
    bool stoppedAtBody = false; // wantBody false and the first body byte came
    CURL* curl = nullptr;
    bool requestSent = false; // the connection stands and the request went out
    Clock::time_point lastActivity = Clock::now();
    curl_off_t lastUploaded = 0;
};

size_t OnBody(char* data, size_t size, size_t count, void* user) {
    Exchange* x = static_cast<Exchange*>(user);
    const size_t n = size * count;
    x->lastActivity = Clock::now();
    if (!x->wantBody) {
        x->stoppedAtBody = n > 0;
        return n > 0 ? 0 : n; // 0 of n bytes taken ends the transfer
    }
    if (x->body->size() + n > kHttpMaxReplyBytes) {
        x->oversize = true;
        return 0;
    }
    x->body->append(data, n);
    return n;
}

size_t OnHeader(char*, size_t size, size_t count, void* user) {
    static_cast<Exchange*>(user)->lastActivity = Clock::now();
    return size * count;
}

// True once the library has connected and starts sending the request (a
// request without a body moves no upload count that would show it).
bool RequestSent(Exchange* x) {
    curl_off_t pretransfer = 0;
    return curl_easy_getinfo(x->curl, CURLINFO_PRETRANSFER_TIME_T, &pretransfer) == CURLE_OK &&
           pretransfer > 0;
}

// Ends the exchange when nothing moved for the receive time-out since the
// request was sent; connecting has its own bound.
int OnProgress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t uploaded) {
    Exchange* x = static_cast<Exchange*>(user);
    const Clock::time_point now = Clock::now();
    if (!x->requestSent) {
        if (!RequestSent(x))
            return 0;
        x->requestSent = true;
        x->lastActivity = now;
    }
    if (uploaded != x->lastUploaded) {
        x->lastUploaded = uploaded;
        x->lastActivity = now;
    }
    return now - x->lastActivity > std::chrono::milliseconds(kHttpReceiveTimeoutMs) ? 1 : 0;
}

bool IsDottedQuad(const std::string& host) {
    in_addr a{};
    return inet_pton(AF_INET, host.c_str(), &a) == 1;
}

void WipeAndFree(curl_slist* list) {
    for (curl_slist* item = list; item != nullptr; item = item->next)
        explicit_bzero(item->data, std::strlen(item->data));
    curl_slist_free_all(list);
}

// The headers the program adds: Authorization, and blanks that remove the
// content type and the expectation the library would otherwise add.
curl_slist* RequestHeaders(const HttpPostRequest& request) {
    curl_slist* list = curl_slist_append(nullptr, "Content-Type:");
    if (list != nullptr)
        list = curl_slist_append(list, "Expect:");
    if (list == nullptr || request.authorization.empty())
        return list;
    std::string line = "Authorization: " + request.authorization;
    curl_slist* grown = curl_slist_append(list, line.c_str());
    explicit_bzero(&line[0], line.size());
    if (grown == nullptr)
        WipeAndFree(list);
    return grown;
}

void SetRequest(CURL* curl, const HttpPostRequest& request, const std::string& url,
                curl_slist* headers) {
    static const char kEmpty[] = "";
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_HTTP_VERSION, CURL_HTTP_VERSION_1_0);
    curl_easy_setopt(curl, CURLOPT_POST, 1L);
    curl_easy_setopt(curl, CURLOPT_POSTFIELDS, request.body != nullptr ? request.body : kEmpty);
    curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE,
                     static_cast<curl_off_t>(request.body != nullptr ? request.bodyLength : 0));
    curl_easy_setopt(curl, CURLOPT_USERAGENT, kHttpUserAgent);
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
}

void SetCallbacks(CURL* curl, Exchange* x) {
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, OnBody);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, x);
    curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, OnHeader);
    curl_easy_setopt(curl, CURLOPT_HEADERDATA, x);
    curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, OnProgress);
    curl_easy_setopt(curl, CURLOPT_XFERINFODATA, x);
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
}

bool Perform(CURL* curl, const HttpPostRequest& request, HttpPostReply* reply) {
    curl_slist* headers = RequestHeaders(request);
    if (headers == nullptr)
        return false;
    const std::string url =
        "http://" + request.host + ":" + std::to_string(request.port) + request.path;
    Exchange x;
    x.curl = curl;
    x.body = &reply->body;
    x.wantBody = request.wantBody;
    CurlBounds bounds;
    bounds.protocols = "http";
    bounds.connectTimeoutMs = kHttpConnectTimeoutMs;
    bounds.deadlineMs = kHttpDeadlineMs;
    // An announced oversize body fails before it is read; without a body
    // wanted the transfer stops at its first byte anyway.
    bounds.maxReplyBytes = request.wantBody ? kHttpMaxReplyBytes : 0;
    bounds.ipv4Only = true;
    SetCurlBounds(curl, bounds);
    SetRequest(curl, request, url, headers);
    SetCallbacks(curl, &x);
    const CURLcode rc = curl_easy_perform(curl);
    long status = 0;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
    curl_easy_reset(curl); // drops the library's own reference to the header list
    WipeAndFree(headers);
    reply->status = status;
    const bool stoppedOnPurpose = rc == CURLE_WRITE_ERROR && x.stoppedAtBody;
    return status != 0 && (rc == CURLE_OK || stoppedOnPurpose) && !x.oversize;
}

} // namespace

bool IsPlainPath(const std::string& path) {
    if (path.empty() || path[0] != '/' || path.size() > 1024)
        return false;
    for (unsigned char c : path)
        if (c <= 0x20 || c >= 0x7F || c == '#')
            return false;
    return true;
}

bool IsAddressHost(const std::string& host) {
    if (host.size() > 2 && host.front() == '[' && host.back() == ']') {
        in6_addr a{};
        return inet_pton(AF_INET6, host.substr(1, host.size() - 2).c_str(), &a) == 1;
    }
    in_addr a{};
    return inet_pton(AF_INET, host.c_str(), &a) == 1;
}

bool CurlHttpPost(const HttpPostRequest& request, HttpPostReply* reply) {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
    if (reply == nullptr || !IsDottedQuad(request.host) || !IsPlainPath(request.path))
        return false;
    if (request.body == nullptr && request.bodyLength != 0)
        return false;
    *reply = HttpPostReply{};
    CURL* curl = curl_easy_init();
    if (curl == nullptr)
        return false;
    const bool ok = Perform(curl, request, reply);
    curl_easy_cleanup(curl);
    if (!ok)
        reply->body.clear();
    return ok;
}

bool HttpPost(const HttpPostRequest& request, HttpPostReply* reply) {
    const HttpPostFunction& function = PostFunction();
    return function ? function(request, reply) : CurlHttpPost(request, reply);
}

HttpPostFunction SetHttpPostFunction(HttpPostFunction function) {
    HttpPostFunction previous = std::move(PostFunction());
    PostFunction() = std::move(function);
    return previous;
}
