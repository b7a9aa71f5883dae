#include "MarkupPaths.h"

#include "MarkupSTL.h"
#include "MarkupScan.h"
#include "MarkupScanInline.h"

#include <climits>
#include <cstring>

namespace markup {
namespace {

// Open elements the reader follows; deeper texts go to CMarkupSTL, which
// has no such limit. Device answers nest four deep.
const int kMaxDepth = 128;

// Entries one reader can count occurrences for, on the stack of Read.
const int kMaxPaths = 64;

struct OpenElement {
    int nNameStart;
    int nNameLength;
    int iEntry; // the entry it was found for, -1 for none
    int nContentStart;
};

// True when a scanned element name is szName as FindElem compares names: it
// reads the element's name only up to the first byte that ends a name for
// it, a set larger than the scanner's.
bool SameName(const char* pName, int nNameLength, const char* szName, int nLength) {
    if (nNameLength != nLength &&
        (nNameLength < nLength ||
         !(detail::kClass.c[static_cast<unsigned char>(pName[nLength])] & detail::C_FIND_NAME_END)))
        return false;
    for (int i = 0; i < nLength; ++i) {
        if (pName[i] != szName[i])
            return false;
    }
    return true;
}

// True when n bytes at p hold an entity or markup, which GetData decodes.
bool NeedsDecoding(const char* p, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        if (p[i] == '&' || p[i] == '<')
            return true;
    }
    return false;
}

bool SameEntryName(const ElementPath& a, const ElementPath& b) {
    return a.iParent == b.iParent && std::strcmp(a.szName, b.szName) == 0;
}

} // namespace

PathReader::PathReader(std::vector<ElementPath> paths) {
    const int n = static_cast<int>(paths.size());
    m_paths.reserve(paths.size());
    for (int i = 0; i < n; ++i) {
        const ElementPath& path = paths[static_cast<size_t>(i)];
        // The first earlier entry of the same name and parent, or itself.
        int iGroup = i;
        for (int j = 0; j < i; ++j) {
            if (SameEntryName(paths[static_cast<size_t>(j)], path)) {
                iGroup = j;
                break;
            }
        }
        m_paths.push_back(Entry{path, static_cast<int>(std::strlen(path.szName)), iGroup, 0, 0});
    }
    // Children grouped by parent, the top level (-1) first, in entry order.
    for (int iParent = -1; iParent < n; ++iParent) {
        const int nStart = static_cast<int>(m_children.size());
        for (int i = 0; i < n; ++i) {
            if (m_paths[static_cast<size_t>(i)].path.iParent == iParent)
                m_children.push_back(i);
        }
        const int nEnd = static_cast<int>(m_children.size());
        if (iParent < 0) {
            m_nTopStart = nStart;
            m_nTopEnd = nEnd;
        } else {
            m_paths[static_cast<size_t>(iParent)].nChildrenStart = nStart;
            m_paths[static_cast<size_t>(iParent)].nChildrenEnd = nEnd;
        }
    }
}

// The entry an element named pName becomes among the children of the
// element found for iParent (-1: the top level), counting the occurrence in
// pSeen; -1 when it is not looked for. The search starts after the entry
// the parent's previous child matched (pNext), as texts mostly list the
// children in the order of the entries.
int PathReader::MatchChild(int iParent, const char* pName, int nNameLength, int* pSeen,
                           int* pNext) const {
    int nStart = m_nTopStart, nEnd = m_nTopEnd;
    if (iParent >= 0) {
        nStart = m_paths[static_cast<size_t>(iParent)].nChildrenStart;
        nEnd = m_paths[static_cast<size_t>(iParent)].nChildrenEnd;
    }
    int& nNext = pNext[iParent + 1];
    // Entries of one name under one parent share a count, and a plain name
    // can match only one such group.
    int nCount = 0;
    int k = nStart + nNext;
    for (int nLeft = nEnd - nStart; nLeft > 0; --nLeft, ++k) {
        if (k == nEnd)
            k = nStart;
        const int i = m_children[static_cast<size_t>(k)];
        const Entry& entry = m_paths[static_cast<size_t>(i)];
        if (!SameName(pName, nNameLength, entry.path.szName, entry.nNameLength))
            continue;
        if (!nCount)
            nCount = ++pSeen[entry.iGroup];
        if (nCount == entry.path.nOccurrence) {
            nNext = k + 1 - nStart;
            if (nNext == nEnd - nStart)
                nNext = 0;
            return i;
        }
    }
    return -1;
}

bool PathReader::Read(const char* szText, size_t nLength, FoundElement* found) const {
    const int nPaths = Count();
    for (int i = 0; i < nPaths; ++i)
        found[i] = FoundElement{};
    if (nPaths > kMaxPaths || nLength >= static_cast<size_t>(INT_MAX / 2))
        return false;
    int seen[kMaxPaths] = {};
    int next[kMaxPaths + 1] = {};
    OpenElement stack[kMaxDepth];
    int nDepth = 0;
    NodeScan s;
    s.pDoc = szText;
    s.nNext = 0;
    s.nTextLength = static_cast<int>(nLength);
    for (;;) {
        bool bEndsTop = false;
        const int nType =
            nDepth ? detail::ScanTreeNode(s, stack[nDepth - 1].nNameStart,
                                          stack[nDepth - 1].nNameLength, bEndsTop)
                   : detail::ScanTreeNode(s, 0, -1, bEndsTop);
        if (nType == CMarkupSTL::MNT_ELEMENT) {
            const int iParent = nDepth ? stack[nDepth - 1].iEntry : -1;
            int iEntry = -1;
            if (iParent >= 0)
                found[iParent].bHasChild = true;
            if (iParent >= 0 || nDepth == 0)
                iEntry = MatchChild(iParent, szText + s.nNameStart, s.nNameLength, seen, next);
            if (iEntry >= 0) {
                found[iEntry].bFound = true;
                found[iEntry].bEmpty = s.bEmptyElement;
            }
            if (s.bEmptyElement)
                continue;
            if (nDepth == kMaxDepth)
                return false;
            stack[nDepth++] = OpenElement{s.nNameStart, s.nNameLength, iEntry, s.nStart + s.nLength};
        } else if (nType == SCAN_END_TAG) {
            // Any other end tag makes CMarkupSTL recover, which can move
            // elements to other parents.
            if (!bEndsTop)
                return false;
            const OpenElement& open = stack[--nDepth];
            if (open.iEntry >= 0) {
                found[open.iEntry].nContentStart = open.nContentStart;
                found[open.iEntry].nContentEnd = s.nStart;
            }
        } else if (nType == SCAN_END) {
            return nDepth == 0;
        }
        // Text, comments, declarations and malformed nodes make no records.
    }
}

std::string_view PathReader::Data(const char* szText, const FoundElement& found,
                                  std::string& strStorage) {
    const int nLength = found.nContentEnd - found.nContentStart;
    if (!found.bFound || found.bHasChild || found.bEmpty || nLength <= 0)
        return std::string_view();
    const char* pContent = szText + found.nContentStart;
    const size_t n = static_cast<size_t>(nLength);
    if (!NeedsDecoding(pContent, n))
        return std::string_view(pContent, n);
    strStorage = ContentData(pContent, nLength);
    return strStorage;
}

} // namespace markup
