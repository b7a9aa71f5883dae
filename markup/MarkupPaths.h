// A one-pass reader of chosen elements: where CMarkupSTL's look-ups along
// fixed paths (FindElem from the first sibling, IntoElem, GetData) would
// land, found without building the record table. It is for readers such as
// the device answer parser, which take a few fields out of thousands of
// short texts and would otherwise pay for a whole table per text.
//
// The reader walks the text with the same scanner and the same element
// rules as CMarkupSTL's tree builder. It answers only for texts in which
// every end tag closes the innermost open element and nothing is left open
// at the end: there the tree is plain nesting and the first elements along
// each path are found as the text goes by. Anything else needs the
// builder's recovery, and the reader says so instead of guessing.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace markup {

// One element looked for: the nOccurrence-th element named szName (1: the
// first, 2: the next one after it, ...) among the children of the element
// found for entry iParent, or at the top level of the document when iParent
// is -1. A parent's entry comes before its children's.
struct ElementPath {
    int iParent;
    const char* szName;
    int nOccurrence;
};

// Where an element looked for was found, as offsets into the text.
struct FoundElement {
    bool bFound = false;
    bool bHasChild = false; // has child elements: its data is empty
    bool bEmpty = false;    // an empty-element tag "<name/>"
    int nContentStart = 0;  // between the end of its start tag ...
    int nContentEnd = 0;    // ... and the '<' of its end tag
};

class PathReader {
public:
    // The entries to look for. Names are compared as FindElem compares
    // them; they must be plain names (no white space, '<', '>', '=', '/',
    // '\\', '?', '!', '[' or ']').
    explicit PathReader(std::vector<ElementPath> paths);

    // How many entries there are: found() of Read has this many elements.
    int Count() const { return m_nPaths; }

    // Reads nLength bytes of szText (which is followed by a zero byte;
    // the text ends at its first zero byte, as CMarkupSTL's does) and fills
    // found[0 .. Count()-1]. True when the text's element tree is plain
    // nesting, so that found is exactly what CMarkupSTL's look-ups would
    // give; false when the caller must read the text with CMarkupSTL
    // (an end tag that does not close the innermost open element, elements
    // open at the end, nesting deeper than the reader follows, or a text
    // too long for CMarkupSTL's offsets).
    bool Read(const char* szText, size_t nLength, FoundElement* found) const;

    // The data of a found element as CMarkupSTL::GetData reads it. Returns
    // a view into szText when the content needs no decoding, else into
    // strStorage, which it fills.
    static std::string_view Data(const char* szText, const FoundElement& found,
                                 std::string& strStorage);

private:
    // One entry as the children of its parent are searched, kept together
    // so that a look-up follows no pointers: names up to kInlineName bytes
    // are held in place.
    static const int kInlineName = 24;
    struct Child {
        char szInline[kInlineName];
        const char* szName; // the entry's own, for names too long to hold in place
        int nNameLength;
        int iEntry;
        int iGroup; // the first entry of the same name and parent: they share a count
        int nOccurrence;
    };
    struct Range {
        int nStart; // the parent's children: m_children[nStart, nEnd)
        int nEnd;
    };

    static Child MakeChild(const std::vector<ElementPath>& paths, int i);
    int MatchChild(int iParent, const char* pName, int nNameLength, int* pSeen, int* pNext) const;

    int m_nPaths = 0;
    std::vector<Child> m_children; // grouped by parent, in entry order
    std::vector<Range> m_ranges;   // by parent entry + 1 (0: the top level)
};

} // namespace markup
