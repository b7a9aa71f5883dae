#include "DeviceHttp.h"

#include <cstring>

#include "HttpTransport.h"
#include "MarkupSTL.h"
#include "SearchInfo.h"
#include "Secret.h"

const char kDeviceXmlNamespace[] = "http://www.lorvex.com/ver10/XMLSchema";

namespace {

const char* OrEmpty(const char* text) { return text != nullptr ? text : ""; }

// Sends one POST; the credentials are wiped from our copies afterwards.
bool Post(const char* host, uint16_t port, const char* user, const char* password, const char* path,
          const char* body, uint32_t bodyLength, bool wantBody, HttpPostReply* reply) {
    HttpPostRequest request;
    request.host = OrEmpty(host);
    request.port = port;
    request.path = OrEmpty(path);
    request.authorization = BasicAuthorization(user, password);
    request.body = body;
    request.bodyLength = body != nullptr ? bodyLength : 0;
    request.wantBody = wantBody;
    const bool ok = HttpPost(request, reply);
    WipeSecret(&request.authorization);
    return ok && reply->status == 200;
}

void AddPortElements(CMarkupSTL* doc, uint16_t httpPort, uint16_t netPort, uint16_t rtspPort) {
    const std::pair<const char*, uint16_t> ports[] = {
        {"httpPort", httpPort}, {"netPort", netPort}, {"rtspPort", rtspPort}};
    for (const auto& [name, value] : ports) {
        doc->AddElem(name, static_cast<int>(value));
        doc->SetAttrib("type", "uint16");
    }
}

} // namespace

std::string Base64Encode(const void* data, size_t size) {
    static const char kAlphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    const unsigned char* in = static_cast<const unsigned char*>(data);
    std::string out;
    out.reserve((size + 2) / 3 * 4);
    for (size_t i = 0; i < size; i += 3) {
        const size_t n = size - i < 3 ? size - i : 3;
        uint32_t group = static_cast<uint32_t>(in[i]) << 16;
        if (n > 1)
            group |= static_cast<uint32_t>(in[i + 1]) << 8;
        if (n > 2)
            group |= in[i + 2];
        for (size_t k = 0; k < 4; ++k)
            out += k <= n ? kAlphabet[(group >> (18 - 6 * k)) & 0x3F] : '=';
    }
    return out;
}

std::string BasicAuthorization(const char* user, const char* password) {
    // Each piece is built in a buffer of its final size and wiped: no
    // buffer holding the credentials is released as it is.
    const char* name = OrEmpty(user);
    const char* secret = OrEmpty(password);
    std::string credentials;
    credentials.reserve(std::strlen(name) + 1 + std::strlen(secret));
    credentials.append(name).append(":").append(secret);
    std::string encoded = Base64Encode(credentials.data(), credentials.size());
    WipeSecret(&credentials);
    std::string value;
    value.reserve(6 + encoded.size());
    value.append("Basic ").append(encoded);
    WipeSecret(&encoded);
    return value;
}

int32_t HttpPostForReply(const char* host, uint16_t port, const char* user, const char* password,
                         const char* path, char** reply, uint32_t* replySize, const char* body,
                         uint32_t bodyLength) {
    if (reply == nullptr || replySize == nullptr)
        return HTTP_REPLY_FAILED;
    *reply = nullptr;
    *replySize = 0;
    HttpPostReply answer;
    if (!Post(host, port, user, password, path, body, bodyLength, true, &answer))
        return HTTP_REPLY_FAILED;
    char* buffer = new char[answer.body.size() + 1]();
    std::memcpy(buffer, answer.body.data(), answer.body.size());
    *reply = buffer;
    *replySize = static_cast<uint32_t>(answer.body.size());
    return HTTP_REPLY_OK;
}

void FreeHttpReply(char* reply) { delete[] reply; }

int32_t HttpPostDocument(const char* host, uint16_t port, const char* user, const char* password,
                         const char* path, const char* body, uint32_t bodyLength) {
    HttpPostReply answer;
    const bool ok = Post(host, port, user, password, path, body, bodyLength, false, &answer);
    return ok ? HTTP_DOCUMENT_OK : HTTP_DOCUMENT_FAILED;
}

std::string BuildPortConfigDocument(uint16_t httpPort, uint16_t netPort, uint16_t rtspPort) {
    CMarkupSTL doc;
    doc.SetDoc("");
    doc.AddElem("config");
    doc.SetAttrib("version", "1.0");
    doc.SetAttrib("xmlns", kDeviceXmlNamespace);
    doc.IntoElem();
    doc.AddElem("port");
    doc.IntoElem();
    AddPortElements(&doc, httpPort, netPort, rtspPort);
    doc.OutOfElem();
    doc.AddElem("ports");
    doc.IntoElem();
    AddPortElements(&doc, httpPort, netPort, rtspPort);
    doc.OutOfElem();
    doc.OutOfElem();
    return doc.GetDoc();
}

bool ReadRtspPort(const char* replyText, int32_t* rtspPort) {
    CMarkupSTL doc;
    doc.SetDoc(replyText);
    if (!doc.FindElem("config") || !doc.IntoElem() || !doc.FindElem("port"))
        return false;
    if (!doc.IntoElem() || !doc.FindElem("rtspPort"))
        return false;
    if (rtspPort != nullptr)
        *rtspPort = ParseSearchDecimal(doc.GetData().c_str());
    return true;
}

PortConfigReply GetPortConfig(const char* host, uint16_t port, const char* password,
                              int32_t* rtspPort) {
    char* reply = nullptr;
    uint32_t size = 0;
    const int32_t rc = HttpPostForReply(host, port, "admin", password, "/GetPortConfig", &reply,
                                        &size, nullptr, 0);
    PortConfigReply result = PortConfigReply::Failed;
    if (rc == HTTP_REPLY_OK)
        result = ReadRtspPort(reply, rtspPort) ? PortConfigReply::Port : PortConfigReply::NoPort;
    FreeHttpReply(reply);
    return result;
}

bool SetPortConfig(const char* host, uint16_t port, const char* password, uint16_t httpPort,
                   uint16_t netPort, uint16_t rtspPort) {
    const std::string body = BuildPortConfigDocument(httpPort, netPort, rtspPort);
    return HttpPostDocument(host, port, "admin", password, "/SetPortConfig", body.data(),
                            static_cast<uint32_t>(body.size())) == HTTP_DOCUMENT_OK;
}
