// The node scanner of the XML document class: reads one node of a text and
// says what it is. Internal to the markup library; exposed in a header of its
// own so the builder, the data reader and the tests share one definition.
#pragma once

#include <string>

namespace markup {

// Results of ScanNode beyond the node kinds of CMarkupSTL::NodeType.
enum ScanResult { SCAN_END_TAG = 0, SCAN_MALFORMED = -1, SCAN_END = -2 };

// The scan of one node. The caller sets pDoc, nNext and, when it knows it,
// nTextLength; ScanNode fills the
// rest and moves nNext past the node. The text ends at its first zero byte
// (a std::string's terminator), which is never read past.
struct NodeScan {
    const char* pDoc = nullptr;
    int nNext = 0;
    // The text's length when the caller knows it (0 otherwise): below it the
    // scanner may read 16 bytes at a time instead of one.
    int nTextLength = 0;

    int nType = SCAN_END;
    int nStart = 0;
    int nLength = 0;
    int nNameStart = 0; // start tag, processing instruction, end tag
    int nNameLength = 0;
    bool bEmptyElement = false; // a start tag ending in "/>"
    // For SCAN_MALFORMED: the kind word and whether the text ended inside
    // the node ("%s at offset %d unterminated") or the node was malformed
    // ("Incorrect %s at offset %d").
    const char* szWords = nullptr;
    bool bUnterminated = false;
};

// Reads the node at s.nNext; returns its kind (also stored in s.nType):
// a CMarkupSTL::NodeType for start tags, text, whitespace, CDATA, processing
// instructions, comments and declarations, or a ScanResult. Every node but
// SCAN_END is at least one byte long, so repeated calls always end.
int ScanNode(NodeScan& s);

// The data of an element's content (nLength bytes at pContent, between its
// start tag and its end tag) as CMarkupSTL::GetData reads it: entities
// expanded, and when the content holds markup, only its text and CDATA
// pieces, concatenated.
std::string ContentData(const char* pContent, int nLength);

inline bool IsSpace(unsigned char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

} // namespace markup
