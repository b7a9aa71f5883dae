#include "SearchInfo.h"

#include "MarkupPaths.h"
#include "MarkupSTL.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

namespace {

bool IsCSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

} // namespace

namespace {

// How many bytes of a text of length bytes a field of width bytes keeps: at
// most width - 1, cut so that no UTF-8 character is split.
size_t SearchTextCut(const char* text, size_t length, size_t width) {
    size_t n = length < width - 1 ? length : width - 1;
    if (n < length) {
        // Step back over at most three continuation bytes so the cut falls
        // on the start of a character.
        for (int k = 0; k < 3 && n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80; ++k)
            --n;
    }
    return n;
}

} // namespace

void CopySearchText(char* field, size_t width, const char* text, size_t length) {
    if (!field || width == 0)
        return;
    const size_t n = SearchTextCut(text, length, width);
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

// The answer table: the elements a device answer is read from. Each is the
// first element of its name under its parent, counted from the parent's
// first child, except the second address item, which is the next item
// after the first.
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
    P_TIME_ZONE,
    P_NTP_SERVER,
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

// The entries of AnswerPath, in its order: each the first of its name under
// its parent, the second item the next one after the first.
const markup::ElementPath kAnswerPaths[P_COUNT] = {
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
    {P_PRODUCT, "timeZone", 1},
    {P_PRODUCT, "ntpServer", 1},
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
};

const markup::PathReader& AnswerReader() {
    static const markup::PathReader reader(
        std::vector<markup::ElementPath>(kAnswerPaths, kAnswerPaths + P_COUNT));
    return reader;
}

// An answer as the one-pass reader found it. A view that Data returns lasts
// until the next call of Data: decoded data share one storage.
class FoundAnswer {
public:
    FoundAnswer(const char* text, const markup::FoundElement* found)
        : m_text(text), m_found(found) {}

    bool Has(AnswerPath path) const { return m_found[path].bFound; }
    std::string_view Data(AnswerPath path) {
        return markup::PathReader::Data(m_text, m_found[path], m_storage);
    }

private:
    const char* m_text;
    const markup::FoundElement* m_found;
    std::string m_storage;
};

// An answer read through a whole document, one look-up per entry of the
// answer table: for each entry the parent is stepped into, the search starts
// at its first child again (so that each entry is the first of its name)
// and the entry's occurrence is counted from there. The walk follows the entries' tree, four deep,
// whatever the text holds.
class DocumentAnswer {
public:
    explicit DocumentAnswer(CMarkupSTL& doc) { Walk(doc, -1); }

    bool Has(AnswerPath path) const { return m_found[path]; }
    std::string_view Data(AnswerPath path) const { return m_data[path]; }

private:
    void Walk(CMarkupSTL& doc, int iParent) {
        for (int i = iParent + 1; i < P_COUNT; ++i) {
            const markup::ElementPath& path = kAnswerPaths[i];
            if (path.iParent != iParent || !FindOccurrence(doc, path))
                continue;
            m_found[i] = true;
            if (!HasChildEntries(i)) {
                m_data[i] = doc.GetData();
                continue;
            }
            doc.IntoElem();
            Walk(doc, i);
            doc.OutOfElem();
        }
    }

    // Containers are stepped into; their own data are never read.
    static bool HasChildEntries(int i) {
        for (int j = i + 1; j < P_COUNT; ++j) {
            if (kAnswerPaths[j].iParent == i)
                return true;
        }
        return false;
    }

    static bool FindOccurrence(CMarkupSTL& doc, const markup::ElementPath& path) {
        doc.ResetMainPos();
        for (int n = 0; n < path.nOccurrence; ++n) {
            if (!doc.FindElem(path.szName))
                return false;
        }
        return true;
    }

    bool m_found[P_COUNT] = {};
    std::string m_data[P_COUNT];
};

// As CopySearchText; with the width known, clearing the field is a few
// stores instead of a call.
template <class Answer, size_t N> void Text(Answer& a, AnswerPath path, char (&field)[N]) {
    if (!a.Has(path))
        return;
    const std::string_view data = a.Data(path);
    const size_t n = SearchTextCut(data.data(), data.size(), N);
    std::memset(field, 0, N);
    if (n)
        std::memcpy(field, data.data(), n);
}

template <class Answer> void Decimal(Answer& a, AnswerPath path, int32_t& field) {
    if (a.Has(path))
        field = ParseSearchDecimal(a.Data(path));
}

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

template <class Answer> void FillItems(Answer& a, SEARCH_INFO& rec) {
    if (!a.Has(P_ITEM1))
        return;
    Text(a, P_ITEM1_IP, rec.ipAddr);
    Text(a, P_ITEM1_MASK, rec.mask);
    Text(a, P_ITEM1_ROUTE, rec.route);
    rec.dhcpSwitch = a.Has(P_ITEM1_DHCP) && a.Data(P_ITEM1_DHCP) == "true" ? 1 : 0;
    if (a.Has(P_ITEM2))
        Text(a, P_ITEM2_IP, rec.ipAddr2);
}

template <class Answer> void FillProduct(Answer& a, SEARCH_INFO& rec) {
    Text(a, P_BOOT_TIME, rec.bootTime);
    Text(a, P_RUNNING_TIME, rec.runningTime);
    Text(a, P_TIME_ZONE, rec.timeZone);
    Text(a, P_NTP_SERVER, rec.ntpServer);
    Text(a, P_DEV_NAME, rec.devName);
    Text(a, P_HARDWARE_VER, rec.hardwareVer);
    Decimal(a, P_ACTIVATED, rec.deviceActivated);
    Text(a, P_BUILD_DATE, rec.softwareBulildDate);
    Text(a, P_KERNEL_VER, rec.kernelVer);
    Text(a, P_SERIES, rec.productSeries);
    Text(a, P_MODEL, rec.productModel);
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

// Fills the record from what a reading found. An answer whose productSeries
// lacks the maker's "ZVK" is rejected and writes nothing; otherwise every
// field whose element is present is converted into the record (texts cut
// to their field, numbers as decimals).
template <class Answer> bool FillRecord(Answer& a, SEARCH_INFO& rec) {
    if (!a.Has(P_ROOT))
        return false;
    if (a.Has(P_SERIES) && a.Data(P_SERIES).find("ZVK") == std::string_view::npos)
        return false;
    FillItems(a, rec);
    Text(a, P_DNS1, rec.dns1);
    Text(a, P_DNS2, rec.dns2);
    Text(a, P_ENCRYPT_TYPE, rec.encryptType);
    Decimal(a, P_DATA_PORT, rec.dataPort);
    Decimal(a, P_HTTP_PORT, rec.httpPort);
    Decimal(a, P_RTSP_PORT, rec.rtspPort);
    Decimal(a, P_HTTP_TYPE, rec.httpType);
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
        DocumentAnswer answer(doc);
        return FillRecord(answer, *record);
    }
    // Set afresh for every answer (SetDoc discards every record and
    // position); keeping the object saves the text and record table
    // allocations of a new one on each of thousands of answers.
    thread_local CMarkupSTL doc;
    doc.SetDoc(text);
    DocumentAnswer answer(doc);
    return FillRecord(answer, *record);
}

bool ParseSearchResult(const char* text, SEARCH_INFO* record) {
    if (!record)
        return false;
    const char* t = text ? text : "";
    markup::FoundElement found[P_COUNT];
    if (AnswerReader().Read(t, std::strlen(t), found)) {
        FoundAnswer answer(t, found);
        return FillRecord(answer, *record);
    }
    // A text whose tree needs the document's recovery is read the long way.
    return ParseSearchResultWithDocument(text, record);
}
