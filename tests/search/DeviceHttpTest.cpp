// The device HTTP client above its transport: credentials, result codes,
// the reply buffer and the two port configuration documents. The transport
// is replaced by a fake that records what the engine asked for.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "DeviceHttp.h"
#include "HttpTransport.h"
#include "MarkupSTL.h"

namespace {

TEST(Base64Encode, StandardVectorsAndLongInput) {
    const std::pair<const char*, const char*> rows[] = {{"", ""},
                                                        {"f", "Zg=="},
                                                        {"fo", "Zm8="},
                                                        {"foo", "Zm9v"},
                                                        {"foob", "Zm9vYg=="},
                                                        {"fooba", "Zm9vYmE="},
                                                        {"foobar", "Zm9vYmFy"},
                                                        {"admin:", "YWRtaW46"},
                                                        {"admin:123456", "YWRtaW46MTIzNDU2"},
                                                        {"\xff\xfe\xfd", "//79"}};
    for (const auto& [in, out] : rows)
        EXPECT_EQ(Base64Encode(in, std::strlen(in)), out) << in;
    // Beyond the 45 bytes a fixed 64-byte buffer could take: no cut, no line break.
    const std::string longText(300, 'x');
    const std::string encoded = Base64Encode(longText.data(), longText.size());
    EXPECT_EQ(encoded.size(), 400u);
    EXPECT_EQ(encoded.find_first_of("\r\n="), std::string::npos);
    EXPECT_EQ(encoded.substr(0, 4), "eHh4");
}

TEST(BasicAuthorization, UserColonPassword) {
    EXPECT_EQ(BasicAuthorization("admin", ""), "Basic YWRtaW46");
    EXPECT_EQ(BasicAuthorization("admin", nullptr), "Basic YWRtaW46");
    EXPECT_EQ(BasicAuthorization("admin", "pa:ss"), "Basic YWRtaW46cGE6c3M=");
}

// Answers every request with a set status and body and keeps the request.
class FakeTransport : public ::testing::Test {
protected:
    void SetUp() override {
        previous = SetHttpPostFunction([this](const HttpPostRequest& r, HttpPostReply* reply) {
            ++calls;
            last = r;
            lastBody.assign(r.body != nullptr ? r.body : "", r.bodyLength);
            reply->status = status;
            reply->body = r.wantBody ? body : std::string();
            return transportOk;
        });
    }
    void TearDown() override { SetHttpPostFunction(previous); }

    HttpPostFunction previous;
    HttpPostRequest last;
    std::string lastBody;
    int calls = 0;
    long status = 200;
    std::string body;
    bool transportOk = true;
};

TEST_F(FakeTransport, ResultCodesByStatusAndTransport) {
    struct Row {
        long status;
        bool transportOk;
        int32_t reply, document;
    };
    const Row rows[] = {{200, true, 100, 101}, {401, true, 102, 103}, {404, true, 102, 103},
                        {302, true, 102, 103}, {500, true, 102, 103}, {200, false, 102, 103}};
    for (const Row& r : rows) {
        status = r.status;
        transportOk = r.transportOk;
        char* reply = reinterpret_cast<char*>(1);
        uint32_t size = 7;
        EXPECT_EQ(HttpPostForReply("10.77.0.1", 80, "admin", "pw", "/x", &reply, &size, nullptr, 0),
                  r.reply);
        if (r.reply != HTTP_REPLY_OK) {
            EXPECT_EQ(reply, nullptr);
            EXPECT_EQ(size, 0u);
        }
        FreeHttpReply(reply);
        EXPECT_EQ(HttpPostDocument("10.77.0.1", 80, "admin", "pw", "/x", "b", 1), r.document);
    }
}

TEST_F(FakeTransport, ReplyBufferHoldsBodyAndZero) {
    body = std::string("<a>1</a>\0tail", 13);
    char* reply = nullptr;
    uint32_t size = 0;
    ASSERT_EQ(HttpPostForReply("10.77.0.1", 8080, "admin", "", "/GetPortConfig", &reply, &size,
                               nullptr, 0),
              HTTP_REPLY_OK);
    EXPECT_EQ(size, 13u);
    EXPECT_EQ(std::string(reply, size), body);
    EXPECT_EQ(reply[size], '\0');
    FreeHttpReply(reply);
    EXPECT_EQ(last.host, "10.77.0.1");
    EXPECT_EQ(last.port, 8080);
    EXPECT_EQ(last.path, "/GetPortConfig");
    EXPECT_EQ(last.authorization, "Basic YWRtaW46");
    EXPECT_TRUE(last.wantBody);
}

TEST_F(FakeTransport, GetPortConfigReadsRtspPortOrFails) {
    const std::pair<const char*, int32_t> rows[] = {
        {"<config><port><httpPort>80</httpPort><rtspPort>8554</rtspPort></port></config>", 8554},
        {"<?xml version=\"1.0\"?><config version=\"1.0\"><port><rtspPort> 554x</rtspPort>"
         "<rtspPort>1</rtspPort></port></config>",
         554},
        {"<config><ports><rtspPort>9</rtspPort></ports></config>", -1},
        {"<other><port><rtspPort>9</rtspPort></port></other>", -1},
        {"", -1}};
    for (const auto& [text, expected] : rows) {
        body = text;
        int32_t rtsp = -1;
        // A well-formed reply without the port is a definite answer, not a failure.
        EXPECT_EQ(GetPortConfig("10.77.0.1", 80, "pw", &rtsp),
                  expected >= 0 ? PortConfigReply::Port : PortConfigReply::NoPort)
            << text;
        EXPECT_EQ(rtsp, expected) << text;
    }
    status = 401;
    body = "<config><port><rtspPort>554</rtspPort></port></config>";
    int32_t rtsp = -1;
    EXPECT_EQ(GetPortConfig("10.77.0.1", 80, "pw", &rtsp), PortConfigReply::Failed);
    EXPECT_EQ(last.path, "/GetPortConfig");
    EXPECT_EQ(last.bodyLength, 0u);
}

TEST_F(FakeTransport, SetPortConfigSendsBothPortGroups) {
    ASSERT_TRUE(SetPortConfig("10.77.0.64", 80, "123456", 8080, 9010, 554));
    EXPECT_EQ(last.path, "/SetPortConfig");
    EXPECT_EQ(last.authorization, "Basic " + Base64Encode("admin:123456", 12));
    EXPECT_FALSE(last.wantBody);
    CMarkupSTL doc;
    ASSERT_TRUE(doc.SetDoc(lastBody));
    ASSERT_TRUE(doc.FindElem("config"));
    ASSERT_TRUE(doc.IntoElem());
    for (const char* group : {"port", "ports"}) {
        ASSERT_TRUE(doc.FindElem(group)) << group;
        ASSERT_TRUE(doc.IntoElem());
        const std::pair<const char*, const char*> values[] = {
            {"httpPort", "8080"}, {"netPort", "9010"}, {"rtspPort", "554"}};
        for (const auto& [name, value] : values) {
            ASSERT_TRUE(doc.FindElem(name)) << group << "/" << name;
            EXPECT_EQ(doc.GetData(), value) << group << "/" << name;
        }
        EXPECT_FALSE(doc.FindElem());
        doc.OutOfElem();
    }
    EXPECT_NE(lastBody.find("<config version=\"1.0\" xmlns=\"" + std::string(kDeviceXmlNamespace)),
              std::string::npos);
    size_t typed = 0;
    for (size_t at = 0; (at = lastBody.find(" type=\"uint16\">", at)) != std::string::npos; ++at)
        ++typed;
    EXPECT_EQ(typed, 6u);
    status = 401;
    EXPECT_FALSE(SetPortConfig("10.77.0.64", 80, "wrong", 8080, 9010, 554));
}

} // namespace
