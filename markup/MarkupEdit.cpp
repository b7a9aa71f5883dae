// Building documents: adding elements and setting attributes, and keeping
// every element record in step with the text after an edit.
#include "MarkupSTL.h"

#include "MarkupScan.h"

#include <algorithm>
#include <cstring>
#include <string>

using markup::IsSpace;

namespace {

bool EndsAttribToken(char c, bool bValue) {
    if (IsSpace(static_cast<unsigned char>(c)) || c == '>')
        return true;
    return !bValue && (c == '=' || c == '/' || c == '?');
}

// Where an attribute of a start tag stands, or where a new one goes.
struct AttribSpot {
    int nValueStart = -1; // the existing value token, -1 when absent
    int nValueEnd = -1;
    int nInsert = 0; // after the last token before the end of the tag
};

bool AttribNameMatches(const std::string& doc, int nStart, int nEnd, const char* szName) {
    const int nLen = nEnd - nStart;
    for (int i = 0; i < nLen; ++i) {
        if (szName[i] == '\0' || szName[i] != doc[nStart + i])
            return false;
    }
    const char c = szName[nLen];
    return c == '\0' || c == ' ' || c == '=' || c == '/' || c == '[' || c == ']';
}

// Scans a start tag [nBegin, nEnd) token by token: the element name first,
// then names, '=' and values.
AttribSpot FindAttrib(const std::string& doc, int nBegin, int nEnd, const char* szName) {
    AttribSpot spot;
    spot.nInsert = nBegin;
    int nTokens = 0, nNameStart = -1, nNameEnd = -1;
    bool bAfterEquals = false;
    for (int p = nBegin;;) {
        while (p < nEnd && IsSpace(static_cast<unsigned char>(doc[p])))
            ++p;
        if (p >= nEnd || doc[p] == '>' || ((doc[p] == '/' || doc[p] == '?') && !bAfterEquals))
            return spot;
        const int nTok = p;
        const char c = doc[p];
        if (c == '"' || c == '\'') {
            const size_t q = doc.find(c, static_cast<size_t>(p) + 1);
            p = (q == std::string::npos || static_cast<int>(q) >= nEnd) ? nEnd
                                                                        : static_cast<int>(q) + 1;
        } else if (c == '=') {
            ++p;
        } else {
            while (p < nEnd && !EndsAttribToken(doc[p], bAfterEquals))
                ++p;
            p = std::max(p, nTok + 1);
        }
        spot.nInsert = p;
        if (bAfterEquals && nNameStart >= 0 &&
            AttribNameMatches(doc, nNameStart, nNameEnd, szName)) {
            spot.nValueStart = nTok;
            spot.nValueEnd = p;
            return spot;
        }
        const bool bEquals = c == '=' && p == nTok + 1;
        if (!bEquals && !bAfterEquals && nTokens > 0) {
            nNameStart = nTok;
            nNameEnd = p;
        } else if (!bEquals) {
            nNameStart = -1;
        }
        bAfterEquals = bEquals && nNameStart >= 0;
        ++nTokens;
    }
}

} // namespace

void CMarkupSTL::InsertText(int nOffset, int nReplace, const std::string& strText) {
    const size_t nNew = m_strDoc.size() - static_cast<size_t>(nReplace) + strText.size();
    if (nNew > m_strDoc.capacity()) {
        // The text moves to a larger buffer; a document that holds a secret
        // wipes the one it leaves (reserve would free it as it is).
        std::string grown;
        grown.reserve(nNew + nNew / 2 + 128);
        grown.assign(m_strDoc);
        if (m_bSecret)
            Wipe(&m_strDoc);
        m_strDoc.swap(grown);
    }
    // In place: the buffer is large enough, so replace does not move it.
    m_strDoc.replace(static_cast<size_t>(nOffset), static_cast<size_t>(nReplace), strText);
}

void CMarkupSTL::ShiftSubtree(int iRoot, int nDelta) {
    int i = iRoot;
    for (;;) {
        Elem(i).nStart += static_cast<uint32_t>(nDelta);
        if (Elem(i).iElemChild) {
            i = Elem(i).iElemChild;
            continue;
        }
        while (i != iRoot && !Elem(i).iElemNext)
            i = Elem(i).iElemParent;
        if (i == iRoot)
            return;
        i = Elem(i).iElemNext;
    }
}

// Moves the children of iParent that start at or after the change point,
// walking back from the last child so that an edit at the end costs nothing.
void CMarkupSTL::ShiftFollowing(int iParent, int nChangeOffset, int nDelta) {
    const int iFirst = Elem(iParent).iElemChild;
    if (!iFirst)
        return;
    for (int i = Elem(iFirst).iElemPrev;; i = Elem(i).iElemPrev) {
        if (static_cast<int>(Elem(i).nStart) < nChangeOffset)
            return;
        ShiftSubtree(i, nDelta);
        if (i == iFirst)
            return;
    }
}

// nDelta bytes were inserted (or removed) at nChangeOffset inside iPos:
// iPos and its ancestors change length; everything starting after the
// change point moves.
void CMarkupSTL::Adjust(int iPos, int nChangeOffset, int nDelta) {
    ShiftFollowing(iPos, nChangeOffset, nDelta);
    for (int i = iPos; i; i = Elem(i).iElemParent) {
        Elem(i).nLength += static_cast<uint32_t>(nDelta);
        ShiftFollowing(Elem(i).iElemParent, nChangeOffset, nDelta);
    }
    Elem(0).nLength = static_cast<uint32_t>(m_strDoc.size());
}

int CMarkupSTL::InsertionOffset(int iParent, int iBefore, bool bParentEmpty) const {
    const ElemPos& parent = Elem(iParent);
    if (iBefore)
        return static_cast<int>(Elem(iBefore).nStart + Elem(iBefore).nLength);
    if (bParentEmpty)
        return static_cast<int>(parent.nStart) + parent.StartTagLen() - 2;
    if (!iParent)
        return static_cast<int>(m_strDoc.size());
    return static_cast<int>(parent.nStart + parent.nLength) - parent.EndTagLen();
}

bool CMarkupSTL::AddElem(const char* szName, int nValue, int nFlags) {
    return AddElem(szName, std::to_string(nValue).c_str(), nFlags);
}

bool CMarkupSTL::AddElem(const char* szName, const char* szValue, int /*nFlags*/) {
    if (!szName || !*szName)
        return false;
    const std::string strName = szName;
    const int nName = static_cast<int>(strName.size());
    const bool bValue = szValue && *szValue;
    ElemPos rec{};
    // Built in one buffer of its final size, so that no piece of a secret
    // value is left in a buffer freed on the way.
    std::string strElem;
    if (bValue) {
        strElem.reserve(2 * nName + 7 + EscapedLength(szValue, false));
        strElem.append("<").append(strName).append(">");
        AppendEscaped(&strElem, szValue, false);
        strElem.append("</").append(strName).append(">");
        rec.SetStartTagLen(nName + 2);
        rec.SetEndTagLen(nName + 3);
    } else {
        strElem = "<" + strName + "/>";
        rec.SetStartTagLen(nName + 3);
    }
    rec.nLength = static_cast<uint32_t>(strElem.size());
    strElem += "\r\n";

    const int iParent = m_iPosParent;
    const int iBefore = m_iPos;
    const ElemPos& parent = Elem(iParent);
    const int nTagEnd = static_cast<int>(parent.nStart) + parent.StartTagLen();
    // An empty parent "<p/>" is opened up; an unended parent (its start tag
    // alone, with no "/>") takes the element after its start tag instead.
    const bool bEmptyParent = iParent && parent.IsEmptyElement();
    const bool bSlashParent = bEmptyParent && nTagEnd >= 2 && m_strDoc[nTagEnd - 2] == '/';
    const bool bOpenParent =
        iParent && !iBefore && !bSlashParent &&
        (bEmptyParent ||
         parent.nLength == static_cast<uint32_t>(parent.StartTagLen() + parent.EndTagLen()));
    int nOffset = bOpenParent ? nTagEnd : InsertionOffset(iParent, iBefore, bSlashParent);
    if (!bSlashParent && !bOpenParent) {
        // A new sibling lands after the line break that follows the last one.
        size_t q = static_cast<size_t>(nOffset);
        while (q < m_strDoc.size() && IsSpace(static_cast<unsigned char>(m_strDoc[q])))
            ++q;
        if (q == m_strDoc.size() || m_strDoc[q] == '<')
            nOffset = static_cast<int>(q);
    }

    std::string strInsert;
    int nReplace = 0;
    int nElemStart = nOffset;
    if (bSlashParent) {
        const std::string strParent = NameOf(iParent);
        strInsert.reserve(strElem.size() + strParent.size() + 5);
        strInsert.append(">\r\n").append(strElem).append("</").append(strParent);
        nReplace = 1;
        nElemStart = nOffset + 3;
        Elem(iParent).SetStartTagLen(Elem(iParent).StartTagLen() - 1);
        Elem(iParent).SetEndTagLen(static_cast<int>(strParent.size()) + 3);
    } else if (bOpenParent) {
        strInsert.reserve(strElem.size() + 2);
        strInsert.append("\r\n").append(strElem);
        nElemStart = nOffset + 2;
    } else {
        strInsert.swap(strElem);
    }
    InsertText(nOffset, nReplace, strInsert);
    Adjust(iParent, nOffset, static_cast<int>(strInsert.size()) - nReplace);
    if (m_bSecret) {
        Wipe(&strElem);
        Wipe(&strInsert);
    }

    const int iNew = NextFree();
    rec.nStart = static_cast<uint32_t>(nElemStart);
    rec.SetLevel(iParent ? Elem(iParent).Level() + 1 : 0);
    Elem(iNew) = rec;
    if (iBefore)
        LinkAfter(iBefore, iNew);
    else
        LinkLastChild(iParent, iNew);
    m_iPos = iNew;
    m_iPosChild = 0;
    m_nNodeType = MNT_ELEMENT;
    return true;
}

bool CMarkupSTL::SetAttrib(const char* szAttrib, int nValue) {
    return SetAttrib(szAttrib, std::to_string(nValue).c_str());
}

bool CMarkupSTL::SetAttrib(const char* szAttrib, const char* szValue) {
    if (!m_iPos || !szAttrib || !*szAttrib)
        return false;
    const ElemPos& elem = Elem(m_iPos);
    const int nBegin = static_cast<int>(elem.nStart) + 1;
    const int nEnd = std::min(static_cast<int>(m_strDoc.size()),
                              static_cast<int>(elem.nStart) + elem.StartTagLen());
    const AttribSpot spot = FindAttrib(m_strDoc, nBegin, nEnd, szAttrib);
    int nOffset = spot.nInsert;
    int nReplace = 0;
    // Built in one buffer of its final size (see AddElem).
    std::string strInsert;
    strInsert.reserve(std::strlen(szAttrib) + 4 + EscapedLength(szValue, true));
    if (spot.nValueStart >= 0) {
        nOffset = spot.nValueStart;
        nReplace = spot.nValueEnd - spot.nValueStart;
    } else {
        strInsert.append(" ").append(szAttrib).append("=");
    }
    strInsert.push_back('"');
    AppendEscaped(&strInsert, szValue, true);
    strInsert.push_back('"');
    InsertText(nOffset, nReplace, strInsert);
    const int nDelta = static_cast<int>(strInsert.size()) - nReplace;
    Elem(m_iPos).SetStartTagLen(Elem(m_iPos).StartTagLen() + nDelta);
    Adjust(m_iPos, nOffset, nDelta);
    if (m_bSecret)
        Wipe(&strInsert);
    return true;
}
