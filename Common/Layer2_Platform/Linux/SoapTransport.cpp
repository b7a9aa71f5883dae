#include "SoapTransport.h"

#include "HttpTransport.h"

#include <arpa/inet.h>
#include <curl/curl.h>
#include <openssl/bio.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/sha.h>
#include <openssl/x509.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <mutex>

#include "CurlBounds.h"

namespace {

using Clock = std::chrono::steady_clock;

SoapPostFunction& PostFunction() {
    static SoapPostFunction function;
    return function;
}

struct Exchange {
    SoapPostReply* reply = nullptr;
    bool oversize = false;
};

size_t OnBody(char* data, size_t size, size_t count, void* user) {
    Exchange* x = static_cast<Exchange*>(user);
    const size_t n = size * count;
    if (x->reply->body.size() + n > kSoapMaxReplyBytes) {
        x->oversize = true;
        return 0;
    }
    x->reply->body.append(data, n);
    return n;
}

bool StartsNoCase(const char* data, size_t n, const char* prefix) {
    const size_t p = std::strlen(prefix);
    return n >= p && strncasecmp(data, prefix, p) == 0;
}

// Notes a Digest challenge; a new status line (the answer after the
// library's own Digest round) starts the body afresh.
size_t OnHeader(char* data, size_t size, size_t count, void* user) {
    Exchange* x = static_cast<Exchange*>(user);
    const size_t n = size * count;
    if (StartsNoCase(data, n, "HTTP/")) {
        x->reply->body.clear();
    } else if (StartsNoCase(data, n, "WWW-Authenticate:")) {
        size_t i = std::strlen("WWW-Authenticate:");
        while (i < n && (data[i] == ' ' || data[i] == '\t'))
            ++i;
        if (StartsNoCase(data + i, n - i, "Digest"))
            x->reply->digestChallenge = true;
    }
    return n;
}

bool IsHost(const std::string& host) {
    if (host.size() > 2 && host.front() == '[' && host.back() == ']') {
        in6_addr a{};
        return inet_pton(AF_INET6, host.substr(1, host.size() - 2).c_str(), &a) == 1;
    }
    in_addr a{};
    return inet_pton(AF_INET, host.c_str(), &a) == 1;
}

bool IsPlainAction(const std::string& action) {
    for (unsigned char c : action)
        if (c < 0x20 || c >= 0x7F || c == '"')
            return false;
    return action.size() <= 256;
}

// The time a request may still take. Each exchange may take
// kSoapDeadlineMs; a request whose caller lowered its time limit ends by
// then, both Digest exchanges together.
struct Budget {
    bool lowered = false;
    Clock::time_point end;

    explicit Budget(long limitMs)
        : lowered(limitMs < kSoapDeadlineMs),
          end(Clock::now() + std::chrono::milliseconds(std::max(limitMs, 0L))) {}
    // For the next exchange, in whole milliseconds; 0 when none is left.
    long Left() const {
        if (!lowered)
            return kSoapDeadlineMs;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now());
        return left.count() > 0 ? static_cast<long>(left.count()) : 0;
    }
};

// The pin of the first certificate the library read in the last
// handshake (CURLOPT_CERTINFO), else empty.
std::string PeerKeyOf(CURL* curl) {
    curl_certinfo* info = nullptr;
    if (curl_easy_getinfo(curl, CURLINFO_CERTINFO, &info) != CURLE_OK || info == nullptr ||
        info->num_of_certs < 1)
        return std::string();
    static const char kCert[] = "Cert:";
    for (curl_slist* field = info->certinfo[0]; field != nullptr; field = field->next)
        if (std::strncmp(field->data, kCert, sizeof kCert - 1) == 0)
            return PublicKeyPinOfPem(field->data + sizeof kCert - 1);
    return std::string();
}

// The pin the handshake must meet (empty: any key, which is then read).
void SetPin(CURL* curl, const std::string& pin) {
    curl_easy_setopt(curl, CURLOPT_PINNEDPUBLICKEY, pin.empty() ? nullptr : pin.c_str());
    curl_easy_setopt(curl, CURLOPT_CERTINFO, pin.empty() ? 1L : 0L);
}

// The bounds for one exchange within budget; false when no time is left.
bool SetBounds(CURL* curl, const Budget& budget) {
    const long left = budget.Left();
    if (left == 0)
        return false;
    CurlBounds bounds;
    bounds.protocols = "http,https";
    bounds.connectTimeoutMs = std::min(kSoapConnectTimeoutMs, left);
    bounds.deadlineMs = left;
    bounds.maxReplyBytes = kSoapMaxReplyBytes;
    SetCurlBounds(curl, bounds);
    // Cameras carry self-signed certificates with no authority to check.
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 0L);
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 0L);
    return true;
}

// Digest only: the library never falls back to Basic.
void SetDigest(CURL* curl, const SoapPostRequest& request) {
    curl_easy_setopt(curl, CURLOPT_HTTPAUTH, static_cast<long>(CURLAUTH_DIGEST));
    curl_easy_setopt(curl, CURLOPT_USERNAME, request.user->c_str());
    curl_easy_setopt(curl, CURLOPT_PASSWORD, request.password->c_str());
}

// One exchange on curl as set up, within the budget `end`; fills reply.
SoapPostResult Exchange1(CURL* curl, Exchange* x, SoapPostReply* reply, const Budget& end) {
    reply->body.clear();
    reply->digestChallenge = false;
    x->oversize = false;
    if (!SetBounds(curl, end))
        return SoapPostResult::NoAnswer;
    const CURLcode rc = curl_easy_perform(curl);
    long status = 0;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
    reply->status = status;
    if (rc == CURLE_SSL_PINNEDPUBKEYNOTMATCH)
        return SoapPostResult::KeyMismatch;
    if (x->oversize || rc == CURLE_FILESIZE_EXCEEDED)
        return SoapPostResult::TooLarge;
    if (rc != CURLE_OK || status == 0)
        return SoapPostResult::NoAnswer;
    return SoapPostResult::Answered;
}

SoapPostResult Perform(CURL* curl, const SoapPostRequest& request, SoapPostReply* reply,
                       bool* challenged) {
    std::string contentType = "Content-Type: application/soap+xml; charset=utf-8";
    if (!request.action.empty())
        contentType += "; action=\"" + request.action + "\"";
    curl_slist* headers = curl_slist_append(nullptr, contentType.c_str());
    curl_slist* grown = headers ? curl_slist_append(headers, "Expect:") : nullptr;
    if (grown == nullptr) {
        curl_slist_free_all(headers);
        return SoapPostResult::NoAnswer;
    }
    headers = grown;
    const std::string url =
        request.scheme + "://" + request.host + ":" + std::to_string(request.port) + request.path;
    Exchange x;
    x.reply = reply;
    const Budget end(request.timeLimitMs);
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_POST, 1L);
    curl_easy_setopt(curl, CURLOPT_POSTFIELDS, request.body.c_str());
    curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE,
                     static_cast<curl_off_t>(request.body.size()));
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, OnBody);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &x);
    curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, OnHeader);
    curl_easy_setopt(curl, CURLOPT_HEADERDATA, &x);
    const bool wantsDigest =
        request.digest && request.user != nullptr && request.password != nullptr;
    const bool https = request.scheme == "https";
    const std::string pin = https ? request.pinnedKey : std::string();
    SetPin(curl, pin);
    if (wantsDigest && *challenged) {
        // The handle holds the camera's challenge: one exchange, login and
        // body together; a stale challenge the library renews itself.
        SetDigest(curl, request);
        const SoapPostResult result = Exchange1(curl, &x, reply, end);
        reply->digestAnswered = true;
        if (https && pin.empty())
            reply->peerKey = PeerKeyOf(curl);
        curl_easy_setopt(curl, CURLOPT_HTTPHEADER, nullptr);
        curl_slist_free_all(headers);
        return result;
    }
    SoapPostResult result = Exchange1(curl, &x, reply, end);
    if (https && pin.empty())
        reply->peerKey = PeerKeyOf(curl);
    *challenged = *challenged || reply->digestChallenge;
    // Digest: the whole request goes out first without login, so that a
    // camera that reads the body before it asks for a login (it must, to
    // tell the calls that need none) sees a real request; the library keeps
    // the challenge of that 401 on the handle and answers it in the second
    // exchange, body and all. Letting the library start with its own
    // empty-bodied probe instead draws "not a SOAP request" from such
    // cameras, never a challenge.
    if (wantsDigest && result == SoapPostResult::Answered && reply->status == 401 &&
        reply->digestChallenge) {
        // The login goes only to the key the challenge came with: the
        // exchange makes a fresh connection, which must meet it.
        // A key that could not be read is not met: no login then.
        const std::string met = reply->peerKey;
        if (https && pin.empty())
            SetPin(curl, met.empty() ? std::string("sha256//unread") : met);
        SetDigest(curl, request);
        result = Exchange1(curl, &x, reply, end);
        reply->peerKey = met;
        reply->digestAnswered = true;
        reply->digestChallenge = reply->digestChallenge || reply->status == 401;
    }
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, nullptr);
    curl_slist_free_all(headers);
    return result;
}

} // namespace

SoapPostResult CurlSoapPost(const SoapPostRequest& request, SoapPostReply* reply) {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
    if (reply == nullptr || (request.scheme != "http" && request.scheme != "https") ||
        !IsHost(request.host) || !IsPlainPath(request.path) || !IsPlainAction(request.action) ||
        request.port == 0)
        return SoapPostResult::Refused;
    *reply = SoapPostReply{};
    SoapSession own;
    SoapSession* session = request.session != nullptr ? request.session : &own;
    if (session->handle == nullptr)
        session->handle = curl_easy_init();
    CURL* curl = static_cast<CURL*>(session->handle);
    if (curl == nullptr)
        return SoapPostResult::NoAnswer;
    // The handle is kept as it is between requests (a reset would drop the
    // challenge); every option a request needs is set again.
    const SoapPostResult result = Perform(curl, request, reply, &session->challenged);
    if (result != SoapPostResult::Answered)
        reply->body.clear();
    return result;
}

std::string PublicKeyPinOfPem(const std::string& pem) {
    BIO* bio = BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size()));
    if (bio == nullptr)
        return std::string();
    X509* cert = PEM_read_bio_X509(bio, nullptr, nullptr, nullptr);
    BIO_free(bio);
    if (cert == nullptr)
        return std::string();
    unsigned char* der = nullptr;
    const int length = i2d_X509_PUBKEY(X509_get_X509_PUBKEY(cert), &der);
    X509_free(cert);
    if (length <= 0)
        return std::string();
    unsigned char hash[SHA256_DIGEST_LENGTH];
    SHA256(der, static_cast<size_t>(length), hash);
    OPENSSL_free(der);
    unsigned char text[4 * ((SHA256_DIGEST_LENGTH + 2) / 3) + 1];
    const int n = EVP_EncodeBlock(text, hash, SHA256_DIGEST_LENGTH);
    return "sha256//" + std::string(reinterpret_cast<const char*>(text), static_cast<size_t>(n));
}

SoapSession::~SoapSession() {
    if (handle != nullptr)
        curl_easy_cleanup(static_cast<CURL*>(handle));
}

SoapPostResult SoapPost(const SoapPostRequest& request, SoapPostReply* reply) {
    const SoapPostFunction& function = PostFunction();
    return function ? function(request, reply) : CurlSoapPost(request, reply);
}

SoapPostFunction SetSoapPostFunction(SoapPostFunction function) {
    SoapPostFunction previous = std::move(PostFunction());
    PostFunction() = std::move(function);
    return previous;
}
