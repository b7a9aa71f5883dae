#include "MarkupScan.h"
#include "MarkupScanInline.h"

#include "MarkupSTL.h"

#include <cstring>
#include <string>

namespace markup {
using namespace detail;
namespace {

// Tracks quotes byte by byte: true for a '>' outside quotes.
bool ClosesOutsideQuotes(char c, char& cQuote) {
    if (cQuote) {
        if (c == cQuote)
            cQuote = 0;
        return false;
    }
    if (c == '"' || c == '\'')
        cQuote = c;
    return c == '>';
}

// A malformed tag: skipped to the next unquoted '>' (taken in) or to just
// before the next '<'.
int Malformed(NodeScan& s, int p, const char* szWords) {
    char cQuote = 0;
    for (char c; (c = s.pDoc[p]) != '\0' && c != '<';) {
        ++p;
        if (ClosesOutsideQuotes(c, cQuote))
            break;
    }
    s.szWords = szWords;
    s.bUnterminated = false;
    return Finish(s, p, SCAN_MALFORMED);
}

int ScanText(NodeScan& s) {
    int p = s.nStart;
    int nType = CMarkupSTL::MNT_WHITESPACE;
    for (char c; (c = s.pDoc[p]) != '\0' && c != '<';) {
        if (!(Class(s.pDoc, p) & C_SPACE))
            nType = CMarkupSTL::MNT_TEXT;
        ++p;
        if (c == '>')
            break;
    }
    return Finish(s, p, nType);
}
// Runs to a '>' that completes szDelim, recognised only at an offset within
// the node greater than the delimiter's length.
int ScanToDelimiter(NodeScan& s, int p, const char* szDelim, const char* szWords, int nType) {
    const int nDelim = static_cast<int>(std::strlen(szDelim));
    for (const char* pGt; (pGt = std::strchr(s.pDoc + p, '>')) != nullptr;) {
        p = static_cast<int>(pGt - s.pDoc);
        if (p - s.nStart > nDelim && std::memcmp(pGt - (nDelim - 1), szDelim, nDelim - 1) == 0)
            return Finish(s, p + 1, nType);
        ++p;
    }
    return Unterminated(s, p, szWords);
}

int ScanProcessingInstruction(NodeScan& s, int p) {
    s.nNameStart = p;
    while (!(Class(s.pDoc, p) & C_NAME_END) && s.pDoc[p] != '?')
        ++p;
    s.nNameLength = p - s.nNameStart;
    return ScanToDelimiter(s, p, "?>", "Processing instruction",
                           CMarkupSTL::MNT_PROCESSING_INSTRUCTION);
}

// Skips a '>'-ended declaration with quoted parts; returns the offset after
// its '>' or -1 when the text ends first.
int SkipDeclaration(const NodeScan& s, int p) {
    char cQuote = 0;
    for (char c; (c = s.pDoc[p]) != '\0'; ++p) {
        if (ClosesOutsideQuotes(c, cQuote))
            return p + 1;
    }
    return -1;
}

// Skips a comment whose "<!--" begins at p; -1 when the text ends first.
int SkipComment(const NodeScan& s, int p) {
    for (int q = p + 4; s.pDoc[q] != '\0'; ++q) {
        if (s.pDoc[q] == '>' && q - p > 3 && s.pDoc[q - 1] == '-' && s.pDoc[q - 2] == '-')
            return q + 1;
    }
    return -1;
}

// Skips what a '<' at p opens inside a doctype: a nested comment or
// declaration. Returns the offset after it, 0 when nothing is nested there,
// -1 when the text ends first.
int SkipNested(const NodeScan& s, int p) {
    if (s.pDoc[p + 1] != '!')
        return 0;
    const char k = s.pDoc[p + 2];
    if (k == '-' && s.pDoc[p + 3] == '-')
        return SkipComment(s, p);
    if (k == 'E' || k == 'A' || k == 'N')
        return SkipDeclaration(s, p + 2);
    return 0;
}

// The doctype ends at the first '>' that closes nothing nested in it.
int ScanDoctype(NodeScan& s, int p) {
    char cQuote = 0;
    for (char c; (c = s.pDoc[p]) != '\0';) {
        if (cQuote) {
            cQuote = (c == cQuote) ? 0 : cQuote;
        } else if (c == '"' || c == '\'') {
            cQuote = c;
        } else if (c == '>') {
            return Finish(s, p + 1, CMarkupSTL::MNT_DOCUMENT_TYPE);
        } else if (c == '<') {
            const int q = SkipNested(s, p);
            if (q < 0)
                return Unterminated(s, p, "Doctype");
            if (q > 0) {
                p = q;
                continue;
            }
        }
        ++p;
    }
    return Unterminated(s, p, "Doctype");
}

int ScanBang(NodeScan& s, int p) {
    const char c = s.pDoc[p];
    if (c == '\0')
        return Unterminated(s, p, "tag");
    if (c == '-' || c == '[') {
        const char c2 = s.pDoc[p + 1];
        if (c2 == '\0')
            return Unterminated(s, p, "tag");
        if (c == '-')
            return c2 != '-' ? Malformed(s, p + 1, "comment tag")
                             : ScanToDelimiter(s, p + 2, "-->", "Comment", CMarkupSTL::MNT_COMMENT);
        return c2 != 'C' ? Malformed(s, p + 1, "tag")
                         : ScanToDelimiter(s, p + 2, "]]>", "CDATA Section",
                                           CMarkupSTL::MNT_CDATA_SECTION);
    }
    if (c == 'D')
        return ScanDoctype(s, p + 1);
    if (c == 'E' || c == 'A' || c == 'N') {
        const int q = SkipDeclaration(s, p + 1);
        return q < 0 ? Unterminated(s, p, "Doctype") : Finish(s, q, CMarkupSTL::MNT_DOCUMENT_TYPE);
    }
    return Malformed(s, p, "! tag");
}

} // namespace

int ScanNode(NodeScan& s) {
    const int p = s.nNext;
    BeginNode(s, p);
    const char c0 = s.pDoc[p];
    if (c0 == '\0')
        return Finish(s, p, SCAN_END);
    if (c0 != '<')
        return ScanText(s);
    const char c = s.pDoc[p + 1];
    if (c == '\0')
        return Unterminated(s, p + 1, "tag");
    if (Class(s.pDoc, p + 1) & C_NAME_START)
        return ScanStartTag(s, p + 1);
    if (c == '/')
        return ScanEndTag(s, p + 2);
    if (c == '?')
        return ScanProcessingInstruction(s, p + 2);
    if (c == '!')
        return ScanBang(s, p + 2);
    return Malformed(s, p + 1, "tag name character");
}

std::string ContentData(const char* pContent, int nLength) {
    if (nLength <= 0)
        return std::string();
    if (!std::memchr(pContent, '<', static_cast<size_t>(nLength)))
        return CMarkupSTL::UnescapeText(pContent, nLength);
    // The content is scanned on a copy of its own, so the scan ends exactly
    // where the content does.
    const std::string strContent(pContent, static_cast<size_t>(nLength));
    std::string strData;
    NodeScan s;
    s.pDoc = strContent.c_str();
    s.nNext = 0;
    for (int t; (t = ScanNode(s)) != SCAN_END;) {
        if (t == CMarkupSTL::MNT_TEXT) {
            strData += CMarkupSTL::UnescapeText(s.pDoc + s.nStart, s.nLength);
        } else if (t == CMarkupSTL::MNT_CDATA_SECTION && s.nLength > 12) {
            // "<![CDATA[" ... "]]>"; the word CDATA itself is not checked,
            // so a shorter section gives nothing rather than a negative span.
            strData.append(s.pDoc + s.nStart + 9, static_cast<size_t>(s.nLength - 12));
        }
    }
    return strData;
}

} // namespace markup
