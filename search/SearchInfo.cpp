#include "SearchInfo.h"

#include "MarkupSTL.h"

#include <cstring>
#include <limits>
#include <string>

namespace {

bool IsCSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// Reads a child of the parent position into a text field; per the position
// rule the next look-up among these siblings starts at the first again.
template <size_t N> void ReadText(CMarkupSTL& doc, const char* name, char (&field)[N]) {
    if (!doc.FindElem(name))
        return;
    const std::string data = doc.GetData();
    CopySearchText(field, N, data.data(), data.size());
    doc.ResetMainPos();
}

void ReadDecimal(CMarkupSTL& doc, const char* name, int32_t& field) {
    if (!doc.FindElem(name))
        return;
    field = ParseSearchDecimal(doc.GetData().c_str());
    doc.ResetMainPos();
}

// The same for a child of the main element (an item of ipAddr).
template <size_t N> void ReadChildText(CMarkupSTL& doc, const char* name, char (&field)[N]) {
    if (!doc.FindChildElem(name))
        return;
    const std::string data = doc.GetChildData();
    CopySearchText(field, N, data.data(), data.size());
    doc.ResetChildPos();
}

// Answers whose productSeries lacks "ZVK" come from another maker's device.
bool PassesMakerCheck(CMarkupSTL& doc) {
    if (!doc.FindElem("productInfo"))
        return true;
    doc.IntoElem();
    bool passes = true;
    if (doc.FindElem("productSeries")) {
        passes = doc.GetData().find("ZVK") != std::string::npos;
        doc.ResetMainPos();
    }
    doc.OutOfElem();
    doc.ResetMainPos();
    return passes;
}

void ReadItems(CMarkupSTL& doc, SEARCH_INFO& rec) {
    if (!doc.FindElem("item"))
        return;
    ReadChildText(doc, "ip", rec.ipAddr);
    ReadChildText(doc, "mask", rec.mask);
    ReadChildText(doc, "route", rec.route);
    rec.dhcpSwitch = 0;
    if (doc.FindChildElem("dhcpSwitch")) {
        rec.dhcpSwitch = doc.GetChildData() == "true" ? 1 : 0;
        doc.ResetChildPos();
    }
    if (doc.FindElem("item"))
        ReadChildText(doc, "ip", rec.ipAddr2);
}

void ReadTcpIp(CMarkupSTL& doc, SEARCH_INFO& rec) {
    if (!doc.FindElem("tcpIp"))
        return;
    doc.IntoElem();
    if (doc.FindElem("ipAddr")) {
        doc.IntoElem();
        ReadItems(doc, rec);
        doc.OutOfElem();
        doc.ResetMainPos();
    }
    ReadText(doc, "dns1", rec.dns1);
    ReadText(doc, "dns2", rec.dns2);
    ReadText(doc, "encryptType", rec.encryptType);
    doc.OutOfElem();
    doc.ResetMainPos();
}

void ReadPorts(CMarkupSTL& doc, SEARCH_INFO& rec) {
    if (!doc.FindElem("port"))
        return;
    doc.IntoElem();
    ReadDecimal(doc, "dataPort", rec.dataPort);
    ReadDecimal(doc, "httpPort", rec.httpPort);
    ReadDecimal(doc, "rtspPort", rec.rtspPort);
    doc.OutOfElem();
    doc.ResetMainPos();
}

// The software version with the build appended: "1.2(77)", or "(77)" when
// the version itself is absent.
void ReadVersion(CMarkupSTL& doc, SEARCH_INFO& rec) {
    std::string version;
    bool present = false;
    if (doc.FindElem("softwareVer")) {
        version = doc.GetData();
        present = true;
        doc.ResetMainPos();
    }
    if (doc.FindElem("build")) {
        version += "(" + doc.GetData() + ")";
        present = true;
        doc.ResetMainPos();
    }
    if (present)
        CopySearchText(rec.softwareVer, sizeof rec.softwareVer, version.data(), version.size());
}

void ReadProductInfo(CMarkupSTL& doc, SEARCH_INFO& rec) {
    if (!doc.FindElem("productInfo"))
        return;
    doc.IntoElem();
    ReadText(doc, "bootTime", rec.bootTime);
    ReadText(doc, "runningTime", rec.runningTime);
    ReadText(doc, "devName", rec.devName);
    ReadText(doc, "hardwareVer", rec.hardwareVer);
    ReadDecimal(doc, "deviceActivated", rec.deviceActivated);
    ReadText(doc, "softwareBulildDate", rec.softwareBulildDate);
    ReadText(doc, "kernelVer", rec.kernelVer);
    ReadText(doc, "productSeries", rec.productSeries);
    ReadText(doc, "productModel", rec.productModel);
    ReadVersion(doc, rec);
    doc.OutOfElem();
}

} // namespace

void CopySearchText(char* field, size_t width, const char* text, size_t length) {
    if (!field || width == 0)
        return;
    size_t n = length < width - 1 ? length : width - 1;
    if (n < length) {
        // Step back over at most three continuation bytes so the cut falls
        // on the start of a character.
        for (int k = 0; k < 3 && n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80; ++k)
            --n;
    }
    if (n)
        std::memcpy(field, text, n);
    std::memset(field + n, 0, width - n);
}

int32_t ParseSearchDecimal(const char* text) {
    if (!text)
        return 0;
    while (IsCSpace(*text))
        ++text;
    const bool negative = *text == '-';
    if (*text == '-' || *text == '+')
        ++text;
    int64_t value = 0;
    const int64_t limit = negative ? -static_cast<int64_t>(std::numeric_limits<int32_t>::min())
                                   : std::numeric_limits<int32_t>::max();
    for (; *text >= '0' && *text <= '9'; ++text) {
        value = value * 10 + (*text - '0');
        if (value > limit)
            value = limit;
    }
    return static_cast<int32_t>(negative ? -value : value);
}

namespace {

bool ReadAnswer(CMarkupSTL& doc, SEARCH_INFO& rec) {
    if (!doc.FindElem("multicastSearchResult"))
        return false;
    doc.IntoElem();
    if (!PassesMakerCheck(doc))
        return false;
    ReadTcpIp(doc, rec);
    ReadPorts(doc, rec);
    ReadDecimal(doc, "httpType", rec.httpType);
    ReadProductInfo(doc, rec);
    return true;
}

// Answers up to this size are read with a document kept per thread; larger
// texts get one of their own, so no thread holds on to a huge buffer.
const size_t kReusedDocumentLimit = 64 * 1024;

} // namespace

bool ParseSearchResult(const char* text, SEARCH_INFO* record) {
    if (!record)
        return false;
    if (text && std::strlen(text) > kReusedDocumentLimit) {
        CMarkupSTL doc(text);
        return ReadAnswer(doc, *record);
    }
    // Set afresh for every answer (SetDoc discards every record and
    // position); keeping the object saves the text and record table
    // allocations of a new one on each of thousands of answers.
    thread_local CMarkupSTL doc;
    doc.SetDoc(text);
    return ReadAnswer(doc, *record);
}
