// The bounds the device HTTP clients take from SetCurlBounds, seen from a
// hostile server of our own on the loopback of a private network
// namespace: no proxy from the environment, no redirect followed, an
// announced oversize body refused, a SOAP request's lowered time limit
// kept by a server that never answers; for the picture fetch also an
// unannounced oversize body, a trickle cut off at the time limit, and no
// log-in for a camera that asks only for Basic.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>

#include "HostileHttpServer.h"
#include "HttpTransport.h"
#include "ImageTransport.h"
#include "PrivateNetwork.h"
#include "SoapTransport.h"

namespace {

using Behaviour = HostileHttpServer::Behaviour;
using Clock = std::chrono::steady_clock;

class CurlBoundsNetwork : public ::testing::Test {
protected:
    void SetUp() override {
        REQUIRE_PRIVATE_NETWORK();
        for (const char* name : {"http_proxy", "HTTP_PROXY", "all_proxy", "ALL_PROXY"})
            setenv(name, "http://127.0.0.1:9", 1);
    }

    SoapPostResult Soap(long limitMs, SoapPostReply* reply, double* seconds = nullptr) {
        SoapPostRequest r;
        r.host = "127.0.0.1";
        r.port = server.Port();
        r.path = "/onvif/device_service";
        r.body = "<e/>";
        r.timeLimitMs = limitMs;
        const auto start = Clock::now();
        const SoapPostResult result = CurlSoapPost(r, reply);
        if (seconds)
            *seconds = std::chrono::duration<double>(Clock::now() - start).count();
        return result;
    }
    bool Http(HttpPostReply* reply) {
        HttpPostRequest r;
        r.host = "127.0.0.1";
        r.port = server.Port();
        r.path = "/GetPortConfig";
        return CurlHttpPost(r, reply);
    }

    ImageGetResult Image(long limitMs, ImageGetReply* reply, double* seconds = nullptr) {
        ImageGetRequest r;
        r.host = "127.0.0.1";
        r.port = server.Port();
        r.target = "/snapshot.jpg?profile=1";
        r.user = &m_user;
        r.password = &m_password;
        r.timeLimitMs = limitMs;
        const auto start = Clock::now();
        const ImageGetResult result = CurlImageGet(r, reply);
        if (seconds)
            *seconds = std::chrono::duration<double>(Clock::now() - start).count();
        return result;
    }

    HostileHttpServer server;
    std::string m_user = "admin", m_password = "pw";
};

// Both clients go straight to the device despite a proxy in the
// environment, and take a redirect as a plain status.
TEST_F(CurlBoundsNetwork, NoProxyAndNoRedirect) {
    server.statusLine = "HTTP/1.0 302 Found";
    server.headers = "Location: http://127.0.0.1:9/elsewhere\r\n";
    server.body = "moved";
    SoapPostReply soap;
    ASSERT_EQ(Soap(kSoapDeadlineMs, &soap), SoapPostResult::Answered);
    EXPECT_EQ(soap.status, 302);
    HttpPostReply http;
    ASSERT_TRUE(Http(&http));
    EXPECT_EQ(http.status, 302);
    ImageGetReply image;
    ASSERT_EQ(Image(kImageDeadlineMs, &image), ImageGetResult::Answered);
    EXPECT_EQ(image.status, 302);
    EXPECT_EQ(server.Requests(), 3);
}

TEST_F(CurlBoundsNetwork, AnAnnouncedOversizeBodyIsRefused) {
    server.headers = "Content-Length: " + std::to_string(kHttpMaxReplyBytes + 1) + "\r\n";
    server.contentLength = false;
    server.body = "short";
    SoapPostReply soap;
    EXPECT_EQ(Soap(kSoapDeadlineMs, &soap), SoapPostResult::TooLarge);
    HttpPostReply http;
    EXPECT_FALSE(Http(&http));
    server.headers = "Content-Length: " + std::to_string(kImageMaxBytes + 1) + "\r\n";
    ImageGetReply image;
    EXPECT_EQ(Image(kImageDeadlineMs, &image), ImageGetResult::TooLarge);
}

// A picture fetch: a body over the bound without a length, and one that
// trickles, end at the bound and the time limit; a camera that wants
// Basic gets no second request and no password.
TEST_F(CurlBoundsNetwork, APictureFetchKeepsItsBoundsAndSendsNoBasic) {
    server.contentLength = false;
    server.body = std::string(kImageMaxBytes + 1, 'x');
    ImageGetReply reply;
    EXPECT_EQ(Image(kImageDeadlineMs, &reply), ImageGetResult::TooLarge);
    EXPECT_TRUE(reply.body.empty());
    server.body = std::string(kImageMaxBytes, 'x');
    ASSERT_EQ(Image(kImageDeadlineMs, &reply), ImageGetResult::Answered);
    EXPECT_EQ(reply.body.size(), kImageMaxBytes);

    server.behaviour = Behaviour::Trickle;
    server.trickleMs = 100;
    double seconds = 0;
    EXPECT_EQ(Image(700, &reply, &seconds), ImageGetResult::NoAnswer);
    EXPECT_LT(seconds, 2.0);

    server.behaviour = Behaviour::Answer;
    server.contentLength = true;
    server.statusLine = "HTTP/1.0 401 Unauthorized";
    server.headers = "WWW-Authenticate: Basic realm=\"camera\"\r\nContent-Type: image/jpeg\r\n";
    server.body = "no";
    const int before = server.Requests();
    ASSERT_EQ(Image(kImageDeadlineMs, &reply), ImageGetResult::Answered);
    EXPECT_EQ(reply.status, 401);
    EXPECT_TRUE(reply.basicChallenge);
    EXPECT_FALSE(reply.digestChallenge);
    EXPECT_FALSE(reply.digestAnswered);
    EXPECT_EQ(reply.contentType, "image/jpeg");
    EXPECT_EQ(server.Requests(), before + 1);
    EXPECT_EQ(server.LastRequest().find("Authorization"), std::string::npos);
    EXPECT_EQ(server.LastRequest().rfind("GET /snapshot.jpg?profile=1 HTTP/1.1\r\n", 0), 0u);
}

TEST_F(CurlBoundsNetwork, ALoweredSoapTimeLimitHoldsAgainstASilentServer) {
    server.behaviour = Behaviour::Silent;
    SoapPostReply reply;
    double seconds = 0;
    EXPECT_EQ(Soap(400, &reply, &seconds), SoapPostResult::NoAnswer);
    EXPECT_LT(seconds, 2.0);
    // No time left: nothing is sent.
    const int before = server.Requests();
    EXPECT_EQ(Soap(0, &reply), SoapPostResult::NoAnswer);
    EXPECT_EQ(server.Requests(), before);
}

} // namespace
