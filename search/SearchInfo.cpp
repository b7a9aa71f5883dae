#include "SearchInfo.h"

#include "MarkupPaths.h"
#include "MarkupSTL.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <string>
#include <string_view>

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
    return text ? ParseSearchDecimal(std::string_view(text)) : 0;
}

int32_t ParseSearchDecimal(std::string_view text) {
    const char* p = text.data();
    const char* const end = p + text.size();
    while (p < end && IsCSpace(*p))
        ++p;
    const bool negative = p < end && *p == '-';
    if (p < end && (*p == '-' || *p == '+'))
        ++p;
    int64_t value = 0;
    const int64_t limit = negative ? -static_cast<int64_t>(std::numeric_limits<int32_t>::min())
                                   : std::numeric_limits<int32_t>::max();
    for (; p < end && *p >= '0' && *p <= '9'; ++p) {
        value = value * 10 + (*p - '0');
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

// ---- the same algorithm in one pass over the text ----

// The elements the algorithm reads, each the first of its name under its
// parent (the position rule), but the second item, the next one after the
// first.
enum AnswerPath {
    P_ROOT,
    P_PRODUCT,
    P_SERIES,
    P_DEV_NAME,
    P_SOFTWARE_VER,
    P_BUILD,
    P_BUILD_DATE,
    P_HARDWARE_VER,
    P_KERNEL_VER,
    P_MODEL,
    P_RUNNING_TIME,
    P_BOOT_TIME,
    P_ACTIVATED,
    P_TCPIP,
    P_IPADDR,
    P_ITEM1,
    P_ITEM1_IP,
    P_ITEM1_MASK,
    P_ITEM1_ROUTE,
    P_ITEM1_DHCP,
    P_ITEM2,
    P_ITEM2_IP,
    P_DNS1,
    P_DNS2,
    P_ENCRYPT_TYPE,
    P_PORT,
    P_DATA_PORT,
    P_HTTP_PORT,
    P_RTSP_PORT,
    P_HTTP_TYPE,
    P_COUNT
};

const markup::PathReader& AnswerReader() {
    static const markup::PathReader reader({
        {-1, "multicastSearchResult", 1},
        {P_ROOT, "productInfo", 1},
        {P_PRODUCT, "productSeries", 1},
        {P_PRODUCT, "devName", 1},
        {P_PRODUCT, "softwareVer", 1},
        {P_PRODUCT, "build", 1},
        {P_PRODUCT, "softwareBulildDate", 1},
        {P_PRODUCT, "hardwareVer", 1},
        {P_PRODUCT, "kernelVer", 1},
        {P_PRODUCT, "productModel", 1},
        {P_PRODUCT, "runningTime", 1},
        {P_PRODUCT, "bootTime", 1},
        {P_PRODUCT, "deviceActivated", 1},
        {P_ROOT, "tcpIp", 1},
        {P_TCPIP, "ipAddr", 1},
        {P_IPADDR, "item", 1},
        {P_ITEM1, "ip", 1},
        {P_ITEM1, "mask", 1},
        {P_ITEM1, "route", 1},
        {P_ITEM1, "dhcpSwitch", 1},
        {P_IPADDR, "item", 2},
        {P_ITEM2, "ip", 1},
        {P_TCPIP, "dns1", 1},
        {P_TCPIP, "dns2", 1},
        {P_TCPIP, "encryptType", 1},
        {P_ROOT, "port", 1},
        {P_PORT, "dataPort", 1},
        {P_PORT, "httpPort", 1},
        {P_PORT, "rtspPort", 1},
        {P_ROOT, "httpType", 1},
    });
    return reader;
}

// The one-pass results of an answer. A view that Data returns lasts until
// the next call of Data: decoded data share one storage.
class FoundAnswer {
public:
    FoundAnswer(const char* text, const markup::FoundElement* found)
        : m_text(text), m_found(found) {}

    bool Has(AnswerPath path) const { return m_found[path].bFound; }
    std::string_view Data(AnswerPath path) {
        return markup::PathReader::Data(m_text, m_found[path], m_storage);
    }
    template <size_t N> void Text(AnswerPath path, char (&field)[N]) {
        if (!Has(path))
            return;
        const std::string_view data = Data(path);
        CopySearchText(field, N, data.data(), data.size());
    }
    void Decimal(AnswerPath path, int32_t& field) {
        if (Has(path))
            field = ParseSearchDecimal(Data(path));
    }

private:
    const char* m_text;
    const markup::FoundElement* m_found;
    std::string m_storage;
};

// The version text with its build, kept only as far as the field can
// show it: the cut of CopySearchText looks at no byte past the field's
// width, so the first width bytes give the same field as the whole text.
struct VersionText {
    char bytes[sizeof(SEARCH_INFO::softwareVer)];
    size_t length = 0;

    void Append(std::string_view text) {
        const size_t n = std::min(text.size(), sizeof bytes - length);
        if (n)
            std::memcpy(bytes + length, text.data(), n);
        length += n;
    }
};

void FillItems(FoundAnswer& a, SEARCH_INFO& rec) {
    if (!a.Has(P_ITEM1))
        return;
    a.Text(P_ITEM1_IP, rec.ipAddr);
    a.Text(P_ITEM1_MASK, rec.mask);
    a.Text(P_ITEM1_ROUTE, rec.route);
    rec.dhcpSwitch = a.Has(P_ITEM1_DHCP) && a.Data(P_ITEM1_DHCP) == "true" ? 1 : 0;
    if (a.Has(P_ITEM2))
        a.Text(P_ITEM2_IP, rec.ipAddr2);
}

void FillProduct(FoundAnswer& a, SEARCH_INFO& rec) {
    a.Text(P_BOOT_TIME, rec.bootTime);
    a.Text(P_RUNNING_TIME, rec.runningTime);
    a.Text(P_DEV_NAME, rec.devName);
    a.Text(P_HARDWARE_VER, rec.hardwareVer);
    a.Decimal(P_ACTIVATED, rec.deviceActivated);
    a.Text(P_BUILD_DATE, rec.softwareBulildDate);
    a.Text(P_KERNEL_VER, rec.kernelVer);
    a.Text(P_SERIES, rec.productSeries);
    a.Text(P_MODEL, rec.productModel);
    if (!a.Has(P_SOFTWARE_VER) && !a.Has(P_BUILD))
        return;
    VersionText version;
    if (a.Has(P_SOFTWARE_VER))
        version.Append(a.Data(P_SOFTWARE_VER));
    if (a.Has(P_BUILD)) {
        version.Append("(");
        version.Append(a.Data(P_BUILD));
        version.Append(")");
    }
    CopySearchText(rec.softwareVer, sizeof rec.softwareVer, version.bytes, version.length);
}

// The algorithm on what the one-pass reader found: the same checks and the
// same fields written under the same conditions as ReadAnswer.
bool FillFromFound(const char* text, const markup::FoundElement* found, SEARCH_INFO& rec) {
    FoundAnswer a(text, found);
    if (!a.Has(P_ROOT))
        return false;
    if (a.Has(P_SERIES) && a.Data(P_SERIES).find("ZVK") == std::string_view::npos)
        return false;
    FillItems(a, rec);
    a.Text(P_DNS1, rec.dns1);
    a.Text(P_DNS2, rec.dns2);
    a.Text(P_ENCRYPT_TYPE, rec.encryptType);
    a.Decimal(P_DATA_PORT, rec.dataPort);
    a.Decimal(P_HTTP_PORT, rec.httpPort);
    a.Decimal(P_RTSP_PORT, rec.rtspPort);
    a.Decimal(P_HTTP_TYPE, rec.httpType);
    if (a.Has(P_PRODUCT))
        FillProduct(a, rec);
    return true;
}

// Answers up to this size are read with a document kept per thread; larger
// texts get one of their own, so no thread holds on to a huge buffer.
const size_t kReusedDocumentLimit = 64 * 1024;

} // namespace

bool ParseSearchResultWithDocument(const char* text, SEARCH_INFO* record) {
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

bool ParseSearchResult(const char* text, SEARCH_INFO* record) {
    if (!record)
        return false;
    const char* t = text ? text : "";
    markup::FoundElement found[P_COUNT];
    if (AnswerReader().Read(t, std::strlen(t), found))
        return FillFromFound(t, found, *record);
    // A text whose tree needs the document's recovery is read the long way.
    return ParseSearchResultWithDocument(text, record);
}
