// The tree builder of the XML document class: turns the scanner's nodes into
// element records, recovering from malformed input. Internal to the markup
// library.
#pragma once

#include "MarkupSTL.h"
#include "MarkupScan.h"

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

namespace markup {

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
    void OnEndTag(const NodeScan& s);
    void OnMalformed(const NodeScan& s);
    int FindOpen(int nNameStart, int nNameLength);
    bool OpenMatches(const Open& open, int nNameStart, int nNameLength) const;
    void CloseNotEnded(size_t nFrom, int iFinalParent);
    void Push(int nNameStart, int nNameLength, int iPos);
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
    int m_iStartLast = 0; // last child of the starting record
    std::vector<Open> m_stack;
    // Beyond a modest depth, end tags find their open element through an
    // index of name keys to stack depths, so that end tags matching nothing
    // cannot make the parse quadratic.
    bool m_bIndexed = false;
    // Set by the end tag scan when the tag carries the innermost open name.
    bool m_bEndsTop = false;
    std::unordered_map<uint64_t, std::vector<int>> m_index;
};

} // namespace markup
