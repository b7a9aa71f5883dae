// SEARCH_INFO, the fixed-size record of one device event, and
// ParseSearchResult, which fills it from a device's search answer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

// Event kinds in SEARCH_INFO::event.
enum SearchEventKind { SEARCH_EVENT_NEW = 0, SEARCH_EVENT_GONE = 1, SEARCH_EVENT_CHANGED = 2 };

// One device event, copied by value. Every text is 8-bit (UTF-8 as the
// device sent it) and always zero-terminated within its field; a record
// starts with every byte zero.
struct SEARCH_INFO {
    int32_t event;          // SearchEventKind, set by the search manager
    char devName[32];       // productInfo/devName
    char ipAddr[20];        // tcpIp/ipAddr, first item's ip
    char mask[20];          // first item's mask
    char ipAddr2[20];       // second item's ip
    char route[20];         // first item's route: the default gateway
    char dns1[20];          // tcpIp/dns1
    char dns2[20];          // tcpIp/dns2
    int32_t dataPort;       // port/dataPort
    int32_t httpPort;       // port/httpPort
    int32_t rtspPort;       // port/rtspPort, 0 when absent
    char mac[64];           // set by the manager, upper case
    char productSeries[16]; // the device type code, such as "ZVK_IPC"
    char softwareVer[64];   // softwareVer then "(build)": wide enough for both
    char softwareBulildDate[16];
    char hardwareVer[16];
    char kernelVer[16];
    char productModel[24];
    char runningTime[64];
    char bootTime[20];
    char timeZone[65];       // productInfo/timeZone: the zone as last set, a POSIX TZ text
    char ntpServer[254];     // productInfo/ntpServer: empty unless the clock follows a server
    uint8_t dhcpSwitch;      // 1 when the first item's dhcpSwitch is "true"
    char encryptType[19];    // tcpIp/encryptType
    int32_t deviceActivated; // productInfo/deviceActivated
    int32_t httpType;        // 1: the web page is served over HTTPS
    uint32_t generation;     // the manager's list generation the event belongs to
};

// Fills the device fields of record from a NUL-terminated answer text whose
// root is multicastSearchResult (null counts as empty). Returns false, and
// leaves record untouched, when the text has no such root or its type code
// (productInfo/productSeries) lacks the maker's "ZVK"; true otherwise.
// Never touches event, mac or generation. Fields whose element is absent keep what the
// record held (zero in a fresh record). A text longer than its field is cut
// at the field's capacity on a UTF-8 character boundary.
bool ParseSearchResult(const char* text, SEARCH_INFO* record);

// The same, reading the text through a whole CMarkupSTL document with the
// look-ups of the answer table (SearchInfo.cpp) one by one. ParseSearchResult reads most answers
// in one pass over the text instead and comes here only for texts whose
// element tree needs the document's recovery from malformed markup; the two
// give the same result on every text, which the tests and the fuzzer check.
bool ParseSearchResultWithDocument(const char* text, SEARCH_INFO* record);

// Copies text into a field of width bytes: at most width - 1 bytes, cut so
// that no UTF-8 character is split, zero-filled to the end of the field.
void CopySearchText(char* field, size_t width, const char* text, size_t length);

// The value of the leading decimal digits of text, with optional leading
// white space and sign, as atoi reads it; 0 when there are none. Values
// beyond the 32-bit range saturate instead of overflowing.
int32_t ParseSearchDecimal(const char* text);
// The same for the bytes of text, which need no zero byte after them.
int32_t ParseSearchDecimal(std::string_view text);
