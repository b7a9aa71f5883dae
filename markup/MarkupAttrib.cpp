// Reading the main element's name and attributes.
#include "MarkupSTL.h"

#include "MarkupScan.h"

#include <algorithm>
#include <cstring>
#include <string>

using markup::IsSpace;

namespace {

// One attribute of a start tag as offsets into the text; a value of -1
// length stands for an attribute written without '=' and value.
struct AttribToken {
    int nNameStart = 0;
    int nNameLength = 0;
    int nValueStart = 0;
    int nValueLength = -1;
};

bool EndsName(char c) {
    return IsSpace(static_cast<unsigned char>(c)) || c == '=' || c == '>' || c == '/' ||
           c == '\0';
}

// Reads the attribute that starts at or after p in [p, nEnd); false when the
// tag ends first. Moves p past it.
bool NextAttrib(const std::string& doc, int& p, int nEnd, AttribToken* out) {
    while (p < nEnd && IsSpace(static_cast<unsigned char>(doc[p])))
        ++p;
    if (p >= nEnd || doc[p] == '>' || doc[p] == '/' || doc[p] == '?')
        return false;
    out->nNameStart = p;
    while (p < nEnd && !EndsName(doc[p]))
        ++p;
    p = std::max(p, out->nNameStart + 1); // a stray '=' is skipped as a name
    out->nNameLength = p - out->nNameStart;
    out->nValueLength = -1;
    int q = p;
    while (q < nEnd && IsSpace(static_cast<unsigned char>(doc[q])))
        ++q;
    if (q >= nEnd || doc[q] != '=')
        return true;
    ++q;
    while (q < nEnd && IsSpace(static_cast<unsigned char>(doc[q])))
        ++q;
    if (q < nEnd && (doc[q] == '"' || doc[q] == '\'')) {
        const size_t close = doc.find(doc[q], static_cast<size_t>(q) + 1);
        const int nClose = (close == std::string::npos || static_cast<int>(close) >= nEnd)
                               ? nEnd
                               : static_cast<int>(close);
        out->nValueStart = q + 1;
        out->nValueLength = nClose - q - 1;
        p = std::min(nEnd, nClose + 1);
        return true;
    }
    out->nValueStart = q;
    while (q < nEnd && !IsSpace(static_cast<unsigned char>(doc[q])) && doc[q] != '>')
        ++q;
    out->nValueLength = q - out->nValueStart;
    p = q;
    return true;
}

} // namespace

std::string CMarkupSTL::GetTagName() const { return m_iPos ? NameOf(m_iPos) : std::string(); }

// Walks the attributes of the main element's start tag after its name;
// calls visit with each until it returns true. False when none did.
template <class Visit> static bool VisitAttribs(const std::string& doc, int nStart, int nTagLen,
                                                Visit visit) {
    const int nEnd = std::min(static_cast<int>(doc.size()), nStart + nTagLen);
    int p = nStart + 1;
    while (p < nEnd && IsSpace(static_cast<unsigned char>(doc[p])))
        ++p;
    while (p < nEnd && !EndsName(doc[p]))
        ++p;
    AttribToken token;
    while (NextAttrib(doc, p, nEnd, &token))
        if (visit(token))
            return true;
    return false;
}

std::string CMarkupSTL::GetAttrib(const char* szAttrib) const {
    std::string strValue;
    if (!m_iPos || !szAttrib || !*szAttrib)
        return strValue;
    const size_t nWanted = std::strlen(szAttrib);
    const ElemPos& elem = Elem(m_iPos);
    VisitAttribs(m_strDoc, static_cast<int>(elem.nStart), elem.StartTagLen(),
                 [&](const AttribToken& t) {
                     if (static_cast<size_t>(t.nNameLength) != nWanted ||
                         m_strDoc.compare(static_cast<size_t>(t.nNameStart), nWanted, szAttrib) != 0)
                         return false;
                     if (t.nValueLength > 0)
                         strValue = UnescapeText(m_strDoc.c_str() + t.nValueStart, t.nValueLength);
                     return true;
                 });
    return strValue;
}

std::string CMarkupSTL::GetAttribName(int n) const {
    std::string strName;
    if (!m_iPos || n < 0)
        return strName;
    const ElemPos& elem = Elem(m_iPos);
    int i = 0;
    VisitAttribs(m_strDoc, static_cast<int>(elem.nStart), elem.StartTagLen(),
                 [&](const AttribToken& t) {
                     if (i++ != n)
                         return false;
                     strName = m_strDoc.substr(static_cast<size_t>(t.nNameStart),
                                               static_cast<size_t>(t.nNameLength));
                     return true;
                 });
    return strName;
}
