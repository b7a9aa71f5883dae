#include "MarkupSTL.h"

#include "MarkupBuilder.h"
#include "MarkupScan.h"
#include "MarkupScanInline.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

using markup::IsSpace;

namespace {

const int kSegmentBits = 16;
const int kSegmentSize = 1 << kSegmentBits;
const int kMinSegmentStorage = 128; // 4 KB of records

// Bytes that end an element name as FindElem reads it (the end of the
// text among them).
bool EndsElemName(unsigned char c) {
    return markup::detail::kClass.c[c] & markup::detail::C_FIND_NAME_END;
}

// A given name may go on past the element's name only with one of these.
bool ContinuesName(char c) {
    return c == '\0' || c == ' ' || c == '=' || c == '/' || c == '[' || c == ']';
}

// The name in a start tag beginning at nStart: whitespace after '<' skipped,
// at least one byte long. Sets nNameStart; returns its length.
int ElemNameRange(const std::string& doc, int nStart, int& nNameStart) {
    const int nEnd = static_cast<int>(doc.size());
    int p = nStart + 1;
    while (p < nEnd && IsSpace(static_cast<unsigned char>(doc[p])))
        ++p;
    nNameStart = p;
    if (p < nEnd)
        ++p;
    while (p < nEnd && !EndsElemName(static_cast<unsigned char>(doc[p])))
        ++p;
    return p - nNameStart;
}

void AppendUtf8(std::string& out, unsigned v) {
    if (v < 0x80) {
        out += static_cast<char>(v);
    } else if (v < 0x800) {
        out += static_cast<char>(0xC0 | (v >> 6));
        out += static_cast<char>(0x80 | (v & 0x3F));
    } else if (v < 0x10000) {
        out += static_cast<char>(0xE0 | (v >> 12));
        out += static_cast<char>(0x80 | ((v >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (v & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (v >> 18));
        out += static_cast<char>(0x80 | ((v >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((v >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (v & 0x3F));
    }
}

int DigitValue(char c, bool bHex) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (bHex && c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (bHex && c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// A numeric reference "&#...;" or "&#x...;" at i: appends its character and
// returns the bytes it used, or 0 when it is not a reference.
int DecodeNumeric(const char* t, int n, int i, std::string& out) {
    const int nLimit = std::min(n, i + 2 + 7);
    int nSemi = -1;
    for (int k = i + 2; k < nLimit; ++k) {
        if (t[k] == ';') {
            nSemi = k;
            break;
        }
    }
    if (nSemi < 0)
        return 0;
    int k = i + 2;
    const bool bHex = t[k] == 'x';
    k += bHex ? 1 : 0;
    unsigned v = 0;
    for (int d; k < nSemi && (d = DigitValue(t[k], bHex)) >= 0; ++k)
        v = v * (bHex ? 16 : 10) + static_cast<unsigned>(d);
    // Values past Unicode's range are no character: left as they stand.
    if (v == 0 || v > 0x10FFFF)
        return 0;
    AppendUtf8(out, v);
    return nSemi - i + 1;
}

// The entity or reference at i (t[i] is '&'): appends what it stands for and
// returns the bytes it used, or 0 when it stands for nothing.
int DecodeEntity(const char* t, int n, int i, std::string& out) {
    static const struct {
        const char* szName;
        int nLen;
        char c;
    } kEntities[] = {
        {"lt;", 3, '<'}, {"amp;", 4, '&'}, {"gt;", 3, '>'}, {"apos;", 5, '\''}, {"quot;", 5, '"'}};
    for (const auto& e : kEntities) {
        if (i < n - e.nLen && std::memcmp(t + i + 1, e.szName, e.nLen) == 0) {
            out += e.c;
            return e.nLen + 1;
        }
    }
    if (i + 1 < n && t[i + 1] == '#')
        return DecodeNumeric(t, n, i, out);
    return 0;
}

} // namespace

CMarkupSTL::CMarkupSTL() { SetDoc(nullptr); }

CMarkupSTL::CMarkupSTL(const char* szDoc) { SetDoc(szDoc); }

CMarkupSTL::~CMarkupSTL() {
    if (m_bSecret)
        Wipe(&m_strDoc);
    ClearTable();
    delete m_pSavedPosMap;
}

void CMarkupSTL::Wipe(std::string* text) {
    text->resize(text->capacity()); // neither moves the buffer nor leaves its tail
    if (!text->empty())
        explicit_bzero(&(*text)[0], text->size());
    text->clear();
}

void CMarkupSTL::WipeDoc() {
    Wipe(&m_strDoc);
    Parse();
}

bool CMarkupSTL::SetDoc(const char* szDoc) {
    if (m_bSecret)
        Wipe(&m_strDoc);
    m_strDoc.assign(szDoc ? szDoc : "");
    Parse();
    return m_strError.empty() && !(Elem(0).nFlags & MNF_ILLFORMED);
}

bool CMarkupSTL::SetDoc(const std::string& strDoc) {
    if (m_bSecret)
        Wipe(&m_strDoc);
    m_strDoc = strDoc;
    Parse();
    return m_strError.empty() && !(Elem(0).nFlags & MNF_ILLFORMED);
}

void CMarkupSTL::ResetPos() {
    m_iPosParent = 0;
    ResetMainPos();
}

void CMarkupSTL::Parse() {
    ResetPos();
    delete m_pSavedPosMap;
    m_pSavedPosMap = nullptr;
    m_iPosFree = 1;
    GrowTable(static_cast<int>(m_strDoc.size() / 64) + 8);
    m_iPosDeleted = 0;
    Elem(0) = ElemPos{};
    m_strError.clear();
    if (m_strDoc.empty()) {
        m_strError = "Empty document";
        return;
    }
    const int iFirst = markup::Builder(*this, 0).Run();
    Elem(0).nLength = static_cast<uint32_t>(m_strDoc.size());
    if (!iFirst)
        m_strError = "No root element";
    else if (Elem(iFirst).iElemNext)
        m_strError = "Root element has sibling";
    ResetPos();
}

// ---- the record table ----

int CMarkupSTL::NextFree() {
    if (m_iPosFree >= m_nPosCapacity)
        GrowTable(std::max(m_iPosFree + m_iPosFree / 2, m_iPosFree + 1));
    return m_iPosFree++;
}

// The records allocated for a segment that must hold n: at least
// kMinSegmentStorage and then a power of two, up to a full segment. The
// capacity still grows by the table's rules; the storage under it grows in
// fewer, larger steps, so the records of a short answer are allocated once.
static int SegmentStorage(int n) {
    int nAllocate = kMinSegmentStorage;
    while (nAllocate < n)
        nAllocate *= 2;
    return std::min(nAllocate, kSegmentSize);
}

// Grows the table towards nNewSize records by at most one segment: the last
// segment is enlarged up to full size, or a new one is started.
void CMarkupSTL::GrowTable(int nNewSize) {
    if (nNewSize <= m_nPosCapacity)
        return;
    const int nUsedSegs = m_nPosCapacity ? ((m_nPosCapacity - 1) >> kSegmentBits) + 1 : 0;
    const int nFullCap = nUsedSegs * kSegmentSize;
    int iSeg = nUsedSegs - 1;
    int nOld = m_nPosCapacity - iSeg * kSegmentSize;
    int nCap = 0;
    if (nUsedSegs && m_nPosCapacity < nFullCap) {
        nCap = std::min(nNewSize, nFullCap);
    } else {
        iSeg = nUsedSegs;
        nOld = 0;
        nCap = std::min(nNewSize, nFullCap + kSegmentSize);
        if (iSeg >= m_nSegs)
            GrowSegmentArray(iSeg * 2 + 4);
    }
    const int nNeed = nCap - iSeg * kSegmentSize;
    if (nOld && nNeed <= SegmentStorage(nOld)) {
        // The segment's storage, allocated for its present capacity, already
        // holds the new one.
        m_nPosCapacity = nCap;
        return;
    }
    const int nAllocate = SegmentStorage(nNeed);
    ElemPos* pSeg = new ElemPos[nAllocate];
    // Only the records in use hold anything worth keeping.
    const int nKeep = std::min(nOld, std::max(0, m_iPosFree - iSeg * kSegmentSize));
    if (nKeep)
        std::copy(m_pSegs[iSeg], m_pSegs[iSeg] + nKeep, pSeg);
    delete[] m_pSegs[iSeg];
    m_pSegs[iSeg] = pSeg;
    m_nPosCapacity = nCap;
}

// The first slots are held in the object, so that a document of fewer than
// 4 segments (262,144 records) allocates none.
void CMarkupSTL::GrowSegmentArray(int nSlots) {
    ElemPos** pSegs = m_aSegSlots;
    if (nSlots > kInlineSegSlots) {
        pSegs = new ElemPos*[nSlots]();
    } else {
        nSlots = kInlineSegSlots;
        std::fill(m_aSegSlots + m_nSegs, m_aSegSlots + kInlineSegSlots, nullptr);
    }
    if (pSegs != m_pSegs) {
        std::copy(m_pSegs, m_pSegs + m_nSegs, pSegs);
        ReleaseSegmentArray();
    }
    m_pSegs = pSegs;
    m_nSegs = nSlots;
}

void CMarkupSTL::ReleaseSegmentArray() {
    if (m_pSegs != m_aSegSlots)
        delete[] m_pSegs;
}

void CMarkupSTL::ClearTable() {
    for (int i = 0; i < m_nSegs; ++i)
        delete[] m_pSegs[i];
    ReleaseSegmentArray();
    m_pSegs = nullptr;
    m_nSegs = 0;
    m_nPosCapacity = 0;
}

void CMarkupSTL::LinkLastChild(int iParent, int iPos) {
    ElemPos& parent = Elem(iParent);
    ElemPos& elem = Elem(iPos);
    elem.iElemParent = iParent;
    elem.iElemNext = 0;
    if (!parent.iElemChild) {
        parent.iElemChild = iPos;
        elem.nFlags |= MNF_FIRST;
        elem.iElemPrev = iPos;
        return;
    }
    ElemPos& first = Elem(parent.iElemChild);
    Elem(first.iElemPrev).iElemNext = iPos;
    elem.iElemPrev = first.iElemPrev;
    first.iElemPrev = iPos;
}

void CMarkupSTL::LinkAfter(int iBefore, int iPos) {
    ElemPos& before = Elem(iBefore);
    ElemPos& elem = Elem(iPos);
    elem.iElemParent = before.iElemParent;
    elem.iElemNext = before.iElemNext;
    elem.iElemPrev = iBefore;
    if (before.iElemNext)
        Elem(before.iElemNext).iElemPrev = iPos;
    else
        Elem(Elem(before.iElemParent).iElemChild).iElemPrev = iPos;
    before.iElemNext = iPos;
}

void CMarkupSTL::SetError(const std::string& strMessage) {
    if (m_strError.empty())
        m_strError = strMessage;
}

// ---- navigation ----

bool CMarkupSTL::NameMatches(int iPos, const char* szName) const {
    // Compares while reading the element's name, so most mismatches end at
    // the first byte.
    const char* p = m_strDoc.c_str() + Elem(iPos).nStart + 1;
    while (IsSpace(static_cast<unsigned char>(*p)))
        ++p;
    // At least one byte belongs to the name, even one that would end it.
    if (*p != *szName || *p == '\0')
        return false;
    for (int i = 1;; ++i) {
        const unsigned char c = static_cast<unsigned char>(p[i]);
        if (EndsElemName(c))
            return ContinuesName(szName[i]);
        if (szName[i] != static_cast<char>(c))
            return false;
    }
}

std::string CMarkupSTL::NameOf(int iPos) const {
    int nNameStart = 0;
    const int nLen = ElemNameRange(m_strDoc, static_cast<int>(Elem(iPos).nStart), nNameStart);
    return m_strDoc.substr(nNameStart, nLen);
}

int CMarkupSTL::FindSibling(int iPos, const char* szName) const {
    if (!szName || !*szName)
        return iPos;
    // Most siblings differ in their first byte; reject those without a call.
    const char* pDoc = m_strDoc.c_str();
    for (; iPos; iPos = Elem(iPos).iElemNext) {
        const char c = pDoc[Elem(iPos).nStart + 1];
        if ((c == *szName || IsSpace(static_cast<unsigned char>(c))) && NameMatches(iPos, szName))
            return iPos;
    }
    return 0;
}

bool CMarkupSTL::FindElem(const char* szName) {
    const int iStart = m_iPos ? Elem(m_iPos).iElemNext : Elem(m_iPosParent).iElemChild;
    const int iFound = FindSibling(iStart, szName);
    if (!iFound)
        return false;
    m_iPos = iFound;
    m_iPosParent = Elem(iFound).iElemParent;
    m_iPosChild = 0;
    m_nNodeType = MNT_ELEMENT;
    m_nNodeOffset = 0;
    m_nNodeLength = 0;
    return true;
}

bool CMarkupSTL::FindChildElem(const char* szName) {
    if (!m_iPos && !FindElem())
        return false;
    const int iStart = m_iPosChild ? Elem(m_iPosChild).iElemNext : Elem(m_iPos).iElemChild;
    const int iFound = FindSibling(iStart, szName);
    if (!iFound)
        return false;
    m_iPosChild = iFound;
    m_iPos = Elem(iFound).iElemParent;
    m_iPosParent = Elem(m_iPos).iElemParent;
    return true;
}

bool CMarkupSTL::IntoElem() {
    if (!m_iPos || m_nNodeType != MNT_ELEMENT)
        return false;
    m_iPosParent = m_iPos;
    m_iPos = m_iPosChild;
    m_iPosChild = 0;
    m_nNodeType = m_iPos ? MNT_ELEMENT : 0;
    return true;
}

bool CMarkupSTL::OutOfElem() {
    if (!m_iPosParent)
        return false;
    m_iPosChild = m_iPos;
    m_iPos = m_iPosParent;
    m_iPosParent = Elem(m_iPos).iElemParent;
    m_nNodeType = MNT_ELEMENT;
    return true;
}

void CMarkupSTL::ResetMainPos() {
    m_iPos = 0;
    m_iPosChild = 0;
    m_nNodeType = 0;
    m_nNodeOffset = 0;
    m_nNodeLength = 0;
}

void CMarkupSTL::ResetChildPos() { m_iPosChild = 0; }

// ---- reading data ----

std::string CMarkupSTL::GetData() const { return ReadData(m_iPos); }

std::string CMarkupSTL::GetChildData() const {
    return m_iPosChild ? ReadData(m_iPosChild) : std::string();
}

std::string CMarkupSTL::ReadData(int iPos) const {
    const ElemPos& elem = Elem(iPos);
    if (elem.iElemChild || elem.IsEmptyElement())
        return std::string();
    const int nDoc = static_cast<int>(m_strDoc.size());
    const int nBegin = std::min(nDoc, static_cast<int>(elem.nStart) + elem.StartTagLen());
    const int nEnd =
        std::min(nDoc, static_cast<int>(elem.nStart + elem.nLength) - elem.EndTagLen());
    if (nEnd <= nBegin)
        return std::string();
    return markup::ContentData(m_strDoc.data() + nBegin, nEnd - nBegin);
}

std::string CMarkupSTL::UnescapeText(const char* szText, int nLength) {
    if (nLength <= 0)
        return std::string();
    if (!std::memchr(szText, '&', static_cast<size_t>(nLength)))
        return std::string(szText, static_cast<size_t>(nLength));
    std::string out;
    out.reserve(nLength > 0 ? nLength : 0);
    int i = 0;
    while (i < nLength) {
        const void* pAmp = std::memchr(szText + i, '&', nLength - i);
        const int nAmp = pAmp ? static_cast<int>(static_cast<const char*>(pAmp) - szText) : nLength;
        out.append(szText + i, nAmp - i);
        if (nAmp >= nLength)
            break;
        const int nUsed = DecodeEntity(szText, nLength, nAmp, out);
        if (!nUsed)
            out += '&';
        i = nAmp + (nUsed ? nUsed : 1);
    }
    return out;
}

namespace {

// The entity that stands for c in an escaped text, or null for c itself.
const char* EntityFor(char c, bool bAttrib) {
    switch (c) {
    case '<':
        return "&lt;";
    case '&':
        return "&amp;";
    case '>':
        return "&gt;";
    case '\'':
        return bAttrib ? "&apos;" : nullptr;
    case '"':
        return bAttrib ? "&quot;" : nullptr;
    default:
        return nullptr;
    }
}

} // namespace

size_t CMarkupSTL::EscapedLength(const char* szText, bool bAttrib) {
    size_t n = 0;
    for (const char* p = szText; p && *p; ++p) {
        const char* entity = EntityFor(*p, bAttrib);
        n += entity ? std::strlen(entity) : 1;
    }
    return n;
}

void CMarkupSTL::AppendEscaped(std::string* out, const char* szText, bool bAttrib) {
    out->reserve(out->size() + EscapedLength(szText, bAttrib));
    for (const char* p = szText; p && *p; ++p) {
        if (const char* entity = EntityFor(*p, bAttrib))
            out->append(entity);
        else
            out->push_back(*p);
    }
}

std::string CMarkupSTL::EscapeText(const char* szText, bool bAttrib) {
    std::string out;
    AppendEscaped(&out, szText, bAttrib);
    return out;
}
