// The tree builder of the XML document class: turns the scanner's nodes into
// element records, recovering from malformed input. Internal to the markup
// library.
#pragma once

#include "MarkupSTL.h"
#include "MarkupScan.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

namespace markup {

// The stack of open elements. Its first kInline entries are held in place,
// so that the parse of a short answer allocates nothing for it; the rest
// lives on the heap. Only the operations the builder uses.
template <typename T, size_t kInline> class SmallStack {
public:
    SmallStack() = default;
    ~SmallStack() { Release(); }
    SmallStack(const SmallStack&) = delete;
    SmallStack& operator=(const SmallStack&) = delete;

    bool empty() const { return m_nSize == 0; }
    size_t size() const { return m_nSize; }
    size_t capacity() const { return m_nCapacity; }
    T& back() { return m_p[m_nSize - 1]; }
    const T& back() const { return m_p[m_nSize - 1]; }
    T& operator[](size_t i) { return m_p[i]; }
    const T& operator[](size_t i) const { return m_p[i]; }
    void pop_back() { --m_nSize; }
    // A new zeroed entry on top; the caller makes room first (reserve).
    T& emplace_back() {
        m_p[m_nSize] = T{};
        return m_p[m_nSize++];
    }
    void reserve(size_t n) {
        if (n <= m_nCapacity)
            return;
        T* p = new T[n];
        std::copy(m_p, m_p + m_nSize, p);
        Release();
        m_p = p;
        m_nCapacity = n;
    }

private:
    void Release() {
        if (m_p != m_inline)
            delete[] m_p;
    }

    T m_inline[kInline];
    T* m_p = m_inline;
    size_t m_nSize = 0;
    size_t m_nCapacity = kInline;
};

class Builder {
public:
    // A builder over doc's text whose elements become children of iStart.
    Builder(CMarkupSTL& doc, int iStart);
    // Builds every record; returns the index of the first element created,
    // or 0 when the text holds none. Never recursive: open elements are kept
    // on an explicit stack.
    int Run();

private:
    struct Open {
        int nNameStart;
        int nNameLength;
        int iPos;
        int iLast; // last child so far, 0 for none
    };

    int ScanNext(NodeScan& s);
    void OnStartTag(const NodeScan& s);
    void OnDocumentEnd();
    void EndInnermost(const NodeScan& s);
    void OnEndTag(const NodeScan& s);
    void OnMalformed(const NodeScan& s);
    int FindOpen(int nNameStart, int nNameLength);
    bool OpenMatches(const Open& open, int nNameStart, int nNameLength) const;
    void CloseNotEnded(size_t nFrom, int iFinalParent);
    void Push(int nNameStart, int nNameLength, int iPos);
    void IndexPushed();
    void PopTo(size_t nSize);
    void IndexKeys(const Open& open, std::vector<uint64_t>& keys) const;
    void BuildIndex();
    int CurrentParent() const;
    int& CurrentLast();
    void LinkChild(int iParent, int& iLast, int iPos);
    void FinishChildren(int iPos, int iLast);
    std::string Name(const Open& open) const;
    void Message(const std::string& str);

    CMarkupSTL& m_doc;
    const char* m_pText;
    int m_nTextLength;
    int m_iStart;
    int m_iFirst = 0;
    int m_iStartLast = 0;        // last child of the starting record
    SmallStack<Open, 6> m_stack; // starts with room for 6, grows to twice its size plus 6
    // Beyond a modest depth, end tags find their open element through an
    // index of name keys to stack depths, so that end tags matching nothing
    // cannot make the parse quadratic.
    bool m_bIndexed = false;
    // Set by the end tag scan when the tag carries the innermost open name.
    bool m_bEndsTop = false;
    std::unordered_map<uint64_t, std::vector<int>> m_index;
};

} // namespace markup
