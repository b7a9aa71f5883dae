// The bounds both device HTTP clients take from SetCurlBounds, seen from a
// hostile server of our own on the loopback of a private network
// namespace: no proxy from the environment, no redirect followed, an
// announced oversize body refused, and a SOAP request's lowered time limit
// kept by a server that never answers.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>

#include "HostileHttpServer.h"
#include "HttpTransport.h"
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

    HostileHttpServer server;
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
    EXPECT_EQ(server.Requests(), 2);
}

TEST_F(CurlBoundsNetwork, AnAnnouncedOversizeBodyIsRefused) {
    server.headers = "Content-Length: " + std::to_string(kHttpMaxReplyBytes + 1) + "\r\n";
    server.contentLength = false;
    server.body = "short";
    SoapPostReply soap;
    EXPECT_EQ(Soap(kSoapDeadlineMs, &soap), SoapPostResult::TooLarge);
    HttpPostReply http;
    EXPECT_FALSE(Http(&http));
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
