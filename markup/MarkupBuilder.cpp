#include "MarkupBuilder.h"

#include "MarkupScanInline.h"

#include <cstring>

namespace markup {
namespace {

// Stack depth from which end tags are matched through the index.
const size_t kIndexDepth = 64;

// An open element named N matches end tag names equal to N or to a prefix of
// N followed by one of these (space and '/' cannot occur in a scanned name).
bool SeparatesName(char c) { return c == '=' || c == '[' || c == ']' || c == ' ' || c == '/'; }

uint64_t Mix(uint64_t h, unsigned char c) { return (h ^ c) * 0x100000001b3ULL; }

uint64_t Key(uint64_t h, int nLength) {
    return h ^ (static_cast<uint64_t>(nLength) * 0x9E3779B97F4A7C15ULL);
}

const uint64_t kHashSeed = 0xcbf29ce484222325ULL;

std::string OffsetText(int n) { return std::to_string(n); }

} // namespace

Builder::Builder(CMarkupSTL& doc, int iStart)
    : m_doc(doc), m_pText(doc.m_strDoc.data()),
      m_nTextLength(static_cast<int>(doc.m_strDoc.size())), m_iStart(iStart) {
    const int iChild = doc.Elem(iStart).iElemChild;
    m_iStartLast = iChild ? doc.Elem(iChild).iElemPrev : 0;
}

int Builder::ScanNext(NodeScan& s) {
    if (m_stack.empty())
        return detail::ScanTreeNode(s, 0, -1, m_bEndsTop);
    const Open& top = m_stack.back();
    return detail::ScanTreeNode(s, top.nNameStart, top.nNameLength, m_bEndsTop);
}

int Builder::Run() {
    NodeScan s;
    s.pDoc = m_pText;
    s.nNext = 0;
    s.nTextLength = m_nTextLength;
    for (;;) {
        switch (ScanNext(s)) {
        case CMarkupSTL::MNT_ELEMENT:
            OnStartTag(s);
            break;
        case SCAN_END_TAG:
            if (m_bEndsTop && !m_bIndexed)
                EndInnermost(s);
            else
                OnEndTag(s);
            break;
        case SCAN_MALFORMED:
            OnMalformed(s);
            break;
        case SCAN_END:
            OnDocumentEnd();
            FinishChildren(m_iStart, m_iStartLast);
            return m_iFirst;
        default:
            break;
        }
    }
}

void Builder::OnDocumentEnd() {
    if (m_stack.empty())
        return;
    const Open& inner = m_stack.back();
    Message("Element '" + Name(inner) + "' at offset " +
            OffsetText(static_cast<int>(m_doc.Elem(inner.iPos).nStart)) + " not ended");
    CloseNotEnded(0, m_iStart);
    PopTo(0);
}

MARKUP_HOT int Builder::CurrentParent() const {
    return m_stack.empty() ? m_iStart : m_stack.back().iPos;
}

MARKUP_HOT int& Builder::CurrentLast() {
    return m_stack.empty() ? m_iStartLast : m_stack.back().iLast;
}

// Links iPos as the last child of iParent. While a parent is open its last
// child is kept on the stack, and the first child's backward link to the
// last is written once, when the parent's children are complete.
MARKUP_HOT void Builder::LinkChild(int iParent, int& iLast, int iPos) {
    CMarkupSTL::ElemPos& elem = m_doc.Elem(iPos);
    elem.iElemParent = iParent;
    if (!iLast) {
        m_doc.Elem(iParent).iElemChild = iPos;
        elem.nFlags |= CMarkupSTL::MNF_FIRST;
        elem.iElemPrev = iPos;
    } else {
        m_doc.Elem(iLast).iElemNext = iPos;
        elem.iElemPrev = iLast;
    }
    iLast = iPos;
}

MARKUP_HOT void Builder::FinishChildren(int iPos, int iLast) {
    if (iLast)
        m_doc.Elem(m_doc.Elem(iPos).iElemChild).iElemPrev = iLast;
}

std::string Builder::Name(const Open& open) const {
    return std::string(m_pText + open.nNameStart, static_cast<size_t>(open.nNameLength));
}

void Builder::Message(const std::string& str) { m_doc.SetError(str); }

MARKUP_HOT void Builder::OnStartTag(const NodeScan& s) {
    const int iPos =
        m_doc.m_iPosFree < m_doc.m_nPosCapacity ? m_doc.m_iPosFree++ : m_doc.NextFree();
    CMarkupSTL::ElemPos& elem = m_doc.Elem(iPos);
    elem = CMarkupSTL::ElemPos{};
    elem.nStart = static_cast<uint32_t>(s.nStart);
    elem.SetStartTagLen(s.nLength);
    elem.nLength = static_cast<uint32_t>(elem.StartTagLen());
    elem.SetLevel(static_cast<int>(m_stack.size()) + m_doc.Elem(m_iStart).Level());
    LinkChild(CurrentParent(), CurrentLast(), iPos);
    if (!m_iFirst)
        m_iFirst = iPos;
    if (!s.bEmptyElement)
        Push(s.nNameStart, s.nNameLength, iPos);
}

// The common case, already compared by the scan: the innermost element
// ends with its own name.
MARKUP_HOT void Builder::EndInnermost(const NodeScan& s) {
    m_bEndsTop = false;
    const Open& top = m_stack.back();
    CMarkupSTL::ElemPos& elem = m_doc.Elem(top.iPos);
    elem.nLength = static_cast<uint32_t>(s.nStart + s.nLength) - elem.nStart;
    elem.SetEndTagLen(s.nLength);
    FinishChildren(top.iPos, top.iLast);
    m_stack.pop_back();
}

void Builder::OnEndTag(const NodeScan& s) {
    m_bEndsTop = false;
    const int nMatch = FindOpen(s.nNameStart, s.nNameLength);
    if (nMatch < 0) {
        m_doc.Elem(0).nFlags |= CMarkupSTL::MNF_ILLFORMED;
        m_doc.Elem(CurrentParent()).nFlags |= CMarkupSTL::MNF_ILLDATA;
        Message("No start tag for end tag '" +
                std::string(m_pText + s.nNameStart, static_cast<size_t>(s.nNameLength)) +
                "' at offset " + OffsetText(s.nStart));
        return;
    }
    const size_t nFrom = static_cast<size_t>(nMatch) + 1;
    if (nFrom < m_stack.size()) {
        const Open& inner = m_stack.back();
        Message("End tag '" +
                std::string(m_pText + s.nNameStart, static_cast<size_t>(s.nNameLength)) +
                "' at offset " + OffsetText(s.nStart + 1) + " does not match start tag '" +
                Name(inner) + "' at offset " +
                OffsetText(static_cast<int>(m_doc.Elem(inner.iPos).nStart)));
        CloseNotEnded(nFrom, m_stack[static_cast<size_t>(nMatch)].iPos);
    }
    const Open& match = m_stack[static_cast<size_t>(nMatch)];
    CMarkupSTL::ElemPos& elem = m_doc.Elem(match.iPos);
    elem.nLength = static_cast<uint32_t>(s.nStart + s.nLength) - elem.nStart;
    elem.SetEndTagLen(s.nLength);
    FinishChildren(match.iPos, match.iLast);
    PopTo(static_cast<size_t>(nMatch));
}

void Builder::OnMalformed(const NodeScan& s) {
    m_doc.Elem(0).nFlags |= CMarkupSTL::MNF_ILLFORMED;
    m_doc.Elem(CurrentParent()).nFlags |= CMarkupSTL::MNF_ILLDATA;
    const std::string strWords = s.szWords ? s.szWords : "tag";
    if (s.bUnterminated)
        Message(strWords + " at offset " + OffsetText(s.nStart) + " unterminated");
    else
        Message("Incorrect " + strWords + " at offset " + OffsetText(s.nStart));
}

bool Builder::OpenMatches(const Open& open, int nNameStart, int nNameLength) const {
    if (nNameLength > open.nNameLength)
        return false;
    const char* a = m_pText + open.nNameStart;
    const char* b = m_pText + nNameStart;
    for (int i = 0; i < nNameLength; ++i) {
        if (a[i] != b[i])
            return false;
    }
    return nNameLength == open.nNameLength || SeparatesName(m_pText[open.nNameStart + nNameLength]);
}

// The depth of the innermost open element that the end tag name matches,
// or -1.
int Builder::FindOpen(int nNameStart, int nNameLength) {
    // Nearly always the innermost element is the one that ends.
    if (!m_stack.empty() && OpenMatches(m_stack.back(), nNameStart, nNameLength))
        return static_cast<int>(m_stack.size()) - 1;
    if (m_bIndexed) {
        uint64_t h = kHashSeed;
        for (int i = 0; i < nNameLength; ++i)
            h = Mix(h, static_cast<unsigned char>(m_pText[nNameStart + i]));
        const auto it = m_index.find(Key(h, nNameLength));
        if (it == m_index.end() || it->second.empty())
            return -1;
        const int nDepth = it->second.back();
        if (OpenMatches(m_stack[static_cast<size_t>(nDepth)], nNameStart, nNameLength))
            return nDepth;
        // A hash collision: fall back to the plain walk below.
    }
    for (size_t i = m_stack.size(); i-- > 0;) {
        if (OpenMatches(m_stack[i], nNameStart, nNameLength))
            return static_cast<int>(i);
    }
    return -1;
}

// Closes the open elements from stack depth nFrom upward as not ended, all
// at once: each loses its content and its former children follow it as
// siblings under iFinalParent, in document order. Doing the whole run in one
// pass moves every element once, however deep the unended nesting is.
void Builder::CloseNotEnded(size_t nFrom, int iFinalParent) {
    bool bIllData = false;
    int iTail = m_stack[nFrom].iPos;
    for (size_t j = nFrom; j < m_stack.size(); ++j) {
        const int iPos = m_stack[j].iPos;
        CMarkupSTL::ElemPos& elem = m_doc.Elem(iPos);
        elem.nFlags |= CMarkupSTL::MNF_NONENDED;
        elem.nLength = static_cast<uint32_t>(elem.StartTagLen());
        elem.SetEndTagLen(0);
        bIllData = bIllData || (elem.nFlags & CMarkupSTL::MNF_ILLDATA);
        elem.nFlags &= ~static_cast<uint32_t>(CMarkupSTL::MNF_ILLDATA);
        const int iChild = elem.iElemChild;
        elem.iElemChild = 0;
        if (!iChild)
            continue;
        CMarkupSTL::ElemPos& first = m_doc.Elem(iChild);
        const int iLast = m_stack[j].iLast;
        first.nFlags &= ~static_cast<uint32_t>(CMarkupSTL::MNF_FIRST);
        first.iElemPrev = iPos;
        elem.iElemNext = iChild;
        for (int i = iChild; i; i = m_doc.Elem(i).iElemNext)
            m_doc.Elem(i).iElemParent = iFinalParent;
        iTail = iLast;
    }
    (nFrom ? m_stack[nFrom - 1].iLast : m_iStartLast) = iTail;
    m_doc.Elem(0).nFlags |= CMarkupSTL::MNF_ILLFORMED;
    if (bIllData)
        m_doc.Elem(iFinalParent).nFlags |= CMarkupSTL::MNF_ILLDATA;
}

void Builder::IndexKeys(const Open& open, std::vector<uint64_t>& keys) const {
    keys.clear();
    uint64_t h = kHashSeed;
    for (int i = 0; i < open.nNameLength; ++i) {
        const char c = m_pText[open.nNameStart + i];
        if (i > 0 && SeparatesName(c))
            keys.push_back(Key(h, i));
        h = Mix(h, static_cast<unsigned char>(c));
    }
    keys.push_back(Key(h, open.nNameLength));
}

void Builder::BuildIndex() {
    std::vector<uint64_t> keys;
    for (size_t d = 0; d < m_stack.size(); ++d) {
        IndexKeys(m_stack[d], keys);
        for (uint64_t k : keys)
            m_index[k].push_back(static_cast<int>(d));
    }
    m_bIndexed = true;
}

// Takes the fields rather than a made-up Open: copying a record just built
// of narrow stores as one wide load stalls on every start tag.
MARKUP_HOT void Builder::Push(int nNameStart, int nNameLength, int iPos) {
    if (m_stack.size() == m_stack.capacity())
        m_stack.reserve(m_stack.size() * 2 + 6);
    Open& open = m_stack.emplace_back();
    open.nNameStart = nNameStart;
    open.nNameLength = nNameLength;
    open.iPos = iPos;
    open.iLast = 0;
    if (m_bIndexed || m_stack.size() > kIndexDepth)
        IndexPushed();
}

// Past the depth at which end tags are matched through the index: the
// index is built once, then each new open element is added to it.
void Builder::IndexPushed() {
    if (!m_bIndexed) {
        BuildIndex();
        return;
    }
    const Open& open = m_stack.back();
    std::vector<uint64_t> keys;
    IndexKeys(open, keys);
    for (uint64_t k : keys)
        m_index[k].push_back(static_cast<int>(m_stack.size() - 1));
}

void Builder::PopTo(size_t nSize) {
    std::vector<uint64_t> keys;
    while (m_stack.size() > nSize) {
        if (m_bIndexed) {
            IndexKeys(m_stack.back(), keys);
            // Two keys of one name may collide; each was pushed once.
            for (uint64_t k : keys)
                m_index[k].pop_back();
        }
        m_stack.pop_back();
    }
}

} // namespace markup
