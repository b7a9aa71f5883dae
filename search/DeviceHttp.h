// The device HTTP client: the two POST operations over which an IP camera's
// ports are read and written, and the GetPortConfig and SetPortConfig
// exchanges that the port step of SetNetParam makes. Everything here blocks
// the calling thread; one exchange ends within kHttpDeadlineMs (10 s, see
// HttpTransport.h for every bound) whatever the device does.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Result codes of the two operations: numbers of their own, apart from
// every result code of lorvex::Outcome's table, so that one read where the
// other is meant is never taken for a device's outcome.
enum HttpResultCode : int32_t {
    HTTP_REPLY_OK = 100,        // HttpPostForReply: status 200, body read
    HTTP_DOCUMENT_OK = 101,     // HttpPostDocument: status 200
    HTTP_REPLY_FAILED = 102,    // HttpPostForReply: anything else
    HTTP_DOCUMENT_FAILED = 103, // HttpPostDocument: anything else
};

// The namespace every port configuration document carries in `xmlns`.
extern const char kDeviceXmlNamespace[];

// Standard Base64 (RFC 4648 alphabet, '=' padding, no line breaks) of size
// bytes at data. Any length.
std::string Base64Encode(const void* data, size_t size);

// The Authorization header value for user and password: "Basic " and the
// Base64 of "user:password". Null texts count as empty.
std::string BasicAuthorization(const char* user, const char* password);

// POSTs body (null or bodyLength bytes) to http://host:port/path with Basic
// credentials and reads the whole reply. host is a dotted-quad IPv4 text,
// path begins with '/'. On HTTP_REPLY_OK *reply points to a buffer of
// *replySize + 1 bytes allocated here, holding the body and a terminating
// zero; release it with FreeHttpReply. On HTTP_REPLY_FAILED (any other
// status than 200, any transport failure, a body over 1 MiB) *reply is null
// and *replySize 0.
int32_t HttpPostForReply(const char* host, uint16_t port, const char* user, const char* password,
                         const char* path, char** reply, uint32_t* replySize, const char* body,
                         uint32_t bodyLength);

// Releases a buffer from HttpPostForReply; null is allowed.
void FreeHttpReply(char* reply);

// POSTs body as above and looks only at the status: HTTP_DOCUMENT_OK for
// 200, else HTTP_DOCUMENT_FAILED. The reply body is not read.
int32_t HttpPostDocument(const char* host, uint16_t port, const char* user, const char* password,
                         const char* path, const char* body, uint32_t bodyLength);

// The SetPortConfig document: config (version, xmlns) holding port and
// ports, each with httpPort, netPort and rtspPort of type "uint16".
std::string BuildPortConfigDocument(uint16_t httpPort, uint16_t netPort, uint16_t rtspPort);

// Reads config/port/rtspPort of a GetPortConfig reply (the first element of
// each name counts) as a decimal the way atoi does. False, and *rtspPort
// untouched, when the path is missing.
bool ReadRtspPort(const char* replyText, int32_t* rtspPort);

// What one GetPortConfig exchange gave.
enum class PortConfigReply {
    Port,   // a reply of status 200 with config/port/rtspPort, read into *rtspPort
    NoPort, // a reply of status 200 without it: asking again gives the same
    Failed, // no such reply (no connection, time-out, other status): worth a retry
};

// GetPortConfig: POST /GetPortConfig as "admin" with password, no body.
// One attempt; the caller decides whether a Failed one is retried.
PortConfigReply GetPortConfig(const char* host, uint16_t port, const char* password,
                              int32_t* rtspPort);

// SetPortConfig: POST /SetPortConfig as "admin" with password and the
// document of BuildPortConfigDocument. True when it gave HTTP_DOCUMENT_OK.
bool SetPortConfig(const char* host, uint16_t port, const char* password, uint16_t httpPort,
                   uint16_t netPort, uint16_t rtspPort);
