#include "MarkupPaths.h"

#include "MarkupSTL.h"
#include "MarkupScan.h"
#include "MarkupScanInline.h"

#include <algorithm>
#include <climits>
#include <cstdint>
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
    return detail::SameBytes(pName, szName, nLength);
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

PathReader::PathReader(std::vector<ElementPath> paths)
    : m_nPaths(static_cast<int>(paths.size())), m_ranges(paths.size() + 1) {
    for (int iParent = -1; iParent < m_nPaths; ++iParent) {
        Range& range = m_ranges[static_cast<size_t>(iParent + 1)];
        range.nStart = static_cast<int>(m_children.size());
        for (int i = 0; i < m_nPaths; ++i) {
            const ElementPath& path = paths[static_cast<size_t>(i)];
            if (path.iParent == iParent)
                m_children.push_back(MakeChild(paths, i));
        }
        range.nEnd = static_cast<int>(m_children.size());
    }
}

PathReader::Child PathReader::MakeChild(const std::vector<ElementPath>& paths, int i) {
    const ElementPath& path = paths[static_cast<size_t>(i)];
    Child child{};
    child.szName = path.szName;
    child.nNameLength = static_cast<int>(std::strlen(path.szName));
    if (child.nNameLength <= kInlineName)
        std::memcpy(child.szInline, path.szName, static_cast<size_t>(child.nNameLength));
    child.iEntry = i;
    child.iGroup = i;
    for (int j = 0; j < i; ++j) {
        if (SameEntryName(paths[static_cast<size_t>(j)], path)) {
            child.iGroup = j;
            break;
        }
    }
    child.nOccurrence = path.nOccurrence;
    return child;
}

// The entry an element named pName becomes among the children of the
// element found for iParent (-1: the top level), counting the occurrence in
// pSeen; -1 when it is not looked for. The search starts after the entry
// the parent's previous child matched (pNext), as texts mostly list the
// children in the order of the entries.
int PathReader::MatchChild(int iParent, const char* pName, int nNameLength, int* pSeen,
                           int* pNext) const {
    const Range range = m_ranges[static_cast<size_t>(iParent + 1)];
    int& nNext = pNext[iParent + 1];
    // Entries of one name under one parent share a count, and a plain name
    // can match only one such group.
    int nCount = 0;
    int k = range.nStart + nNext;
    for (int nLeft = range.nEnd - range.nStart; nLeft > 0; --nLeft, ++k) {
        if (k == range.nEnd)
            k = range.nStart;
        const Child& child = m_children[static_cast<size_t>(k)];
        const char* szName = child.nNameLength <= kInlineName ? child.szInline : child.szName;
        if (!SameName(pName, nNameLength, szName, child.nNameLength))
            continue;
        if (!nCount)
            nCount = ++pSeen[child.iGroup];
        if (nCount == child.nOccurrence) {
            nNext = k + 1 == range.nEnd ? 0 : k + 1 - range.nStart;
            return child.iEntry;
        }
    }
    return -1;
}

// One loop on purpose: split into steps over a shared state, the state went
// to memory (MatchChild writes through the counts) and a read took 3 to 6 %
// longer.
bool PathReader::Read(const char* szText, size_t nLength, FoundElement* found) const {
    const int nPaths = Count();
    for (int i = 0; i < nPaths; ++i)
        found[i] = FoundElement{};
    if (nPaths > kMaxPaths || nLength >= static_cast<size_t>(INT_MAX / 2))
        return false;
    // Only the counts in use are cleared: a whole-array clear is a string
    // instruction whose start-up costs more than these few stores.
    int seen[kMaxPaths];
    int next[kMaxPaths + 1];
    std::fill_n(seen, nPaths, 0);
    std::fill_n(next, nPaths + 1, 0);
    // The innermost open element is kept in top, the ones around it on the
    // stack: the scan of every node reads its name.
    OpenElement stack[kMaxDepth];
    int nDepth = 0;
    OpenElement top{0, -1, -1, 0};
    NodeScan s;
    s.pDoc = szText;
    s.nNext = 0;
    s.nTextLength = static_cast<int>(nLength);
    for (;;) {
        bool bEndsTop = false;
        const int nType = detail::ScanTreeNode(s, top.nNameStart, top.nNameLength, bEndsTop);
        if (nType == CMarkupSTL::MNT_ELEMENT) {
            const int iParent = top.iEntry;
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
            stack[nDepth++] = top;
            top.nNameStart = s.nNameStart;
            top.nNameLength = s.nNameLength;
            top.iEntry = iEntry;
            top.nContentStart = s.nStart + s.nLength;
        } else if (nType == SCAN_END_TAG) {
            // Any other end tag makes CMarkupSTL recover, which can move
            // elements to other parents.
            if (!bEndsTop)
                return false;
            if (top.iEntry >= 0) {
                found[top.iEntry].nContentStart = top.nContentStart;
                found[top.iEntry].nContentEnd = s.nStart;
            }
            top = stack[--nDepth];
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
