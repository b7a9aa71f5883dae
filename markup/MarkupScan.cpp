#include "MarkupScan.h"

#include "MarkupSTL.h"

#include <cstring>

namespace markup {
namespace {

bool AtEnd(const NodeScan& s, int p) { return p >= s.nEnd || s.pDoc[p] == '\0'; }

// The byte at p, or 0 past the end of the text.
unsigned char Peek(const NodeScan& s, int p) {
    return AtEnd(s, p) ? 0 : static_cast<unsigned char>(s.pDoc[p]);
}

bool StartsName(unsigned char c) {
    // Every byte from 'a' upward counts, which takes in all of UTF-8's lead
    // and continuation bytes, so names in any script are element names.
    return (c >= 'A' && c <= 'Z') || c == '_' || c == ':' || c >= 'a';
}

bool EndsScanName(unsigned char c) { return IsSpace(c) || c == '/' || c == '>'; }

int Finish(NodeScan& s, int p, int nType) {
    s.nLength = p - s.nStart;
    s.nNext = p;
    return s.nType = nType;
}

// The text ended inside a node whose kind is named by szWords.
int Unterminated(NodeScan& s, int p, const char* szWords) {
    while (!AtEnd(s, p))
        ++p;
    s.szWords = szWords;
    s.bUnterminated = true;
    return Finish(s, p, SCAN_MALFORMED);
}

// A malformed tag: skipped to the next unquoted '>' (taken in) or to just
// before the next '<'.
int Malformed(NodeScan& s, int p, const char* szWords) {
    char cQuote = 0;
    while (!AtEnd(s, p)) {
        const char c = s.pDoc[p];
        if (c == '<')
            break;
        ++p;
        if (cQuote) {
            if (c == cQuote)
                cQuote = 0;
        } else if (c == '"' || c == '\'') {
            cQuote = c;
        } else if (c == '>') {
            break;
        }
    }
    s.szWords = szWords;
    s.bUnterminated = false;
    return Finish(s, p, SCAN_MALFORMED);
}

int ScanText(NodeScan& s) {
    int p = s.nStart;
    int nType = CMarkupSTL::MNT_WHITESPACE;
    while (!AtEnd(s, p)) {
        const unsigned char c = static_cast<unsigned char>(s.pDoc[p]);
        if (c == '<')
            break;
        if (!IsSpace(c))
            nType = CMarkupSTL::MNT_TEXT;
        ++p;
        if (c == '>')
            break;
    }
    return Finish(s, p, nType);
}

int ScanName(NodeScan& s, int p) {
    s.nNameStart = p;
    while (!AtEnd(s, p) && !EndsScanName(Peek(s, p)))
        ++p;
    s.nNameLength = p - s.nNameStart;
    return p;
}

bool IsEmptyTagEnd(const NodeScan& s, int nGt, int nNameEnd) {
    const int nSlash = nGt - 1;
    if (nSlash <= s.nStart || s.pDoc[nSlash] != '/')
        return false;
    if (nSlash == nNameEnd)
        return true;
    const unsigned char cBefore = static_cast<unsigned char>(s.pDoc[nSlash - 1]);
    return IsSpace(cBefore) || cBefore == '"' || cBefore == '\'';
}

int ScanStartTag(NodeScan& s, int p) {
    p = ScanName(s, p);
    const int nNameEnd = p;
    char cQuote = 0;
    for (; !AtEnd(s, p); ++p) {
        const char c = s.pDoc[p];
        if (cQuote) {
            if (c == cQuote)
                cQuote = 0;
        } else if (c == '"' || c == '\'') {
            cQuote = c;
        } else if (c == '>') {
            s.bEmptyElement = IsEmptyTagEnd(s, p, nNameEnd);
            return Finish(s, p + 1, CMarkupSTL::MNT_ELEMENT);
        }
    }
    return Unterminated(s, p, "Element tag");
}

int ScanEndTag(NodeScan& s, int p) {
    for (p = ScanName(s, p); !AtEnd(s, p); ++p) {
        if (s.pDoc[p] == '>')
            return Finish(s, p + 1, SCAN_END_TAG);
    }
    return Unterminated(s, p, "Element end tag");
}

// Runs to a '>' that completes szDelim, recognised only at an offset within
// the node greater than the delimiter's length.
int ScanToDelimiter(NodeScan& s, int p, const char* szDelim, const char* szWords, int nType) {
    const int nDelim = static_cast<int>(std::strlen(szDelim));
    for (; !AtEnd(s, p); ++p) {
        if (s.pDoc[p] != '>' || p - s.nStart <= nDelim)
            continue;
        if (std::memcmp(s.pDoc + p - (nDelim - 1), szDelim, nDelim - 1) == 0)
            return Finish(s, p + 1, nType);
    }
    return Unterminated(s, p, szWords);
}

int ScanProcessingInstruction(NodeScan& s, int p) {
    s.nNameStart = p;
    while (!AtEnd(s, p) && !EndsScanName(Peek(s, p)) && s.pDoc[p] != '?')
        ++p;
    s.nNameLength = p - s.nNameStart;
    return ScanToDelimiter(s, p, "?>", "Processing instruction", CMarkupSTL::MNT_PROCESSING_INSTRUCTION);
}

// Skips a '>'-ended declaration with quoted parts; returns the offset after
// its '>' or -1 when the text ends first.
int SkipDeclaration(const NodeScan& s, int p) {
    char cQuote = 0;
    for (; !AtEnd(s, p); ++p) {
        const char c = s.pDoc[p];
        if (cQuote) {
            if (c == cQuote)
                cQuote = 0;
        } else if (c == '"' || c == '\'') {
            cQuote = c;
        } else if (c == '>') {
            return p + 1;
        }
    }
    return -1;
}

// Skips a comment whose "<!--" begins at p; -1 when the text ends first.
int SkipComment(const NodeScan& s, int p) {
    for (int q = p + 4; !AtEnd(s, q); ++q) {
        if (s.pDoc[q] == '>' && q - p > 3 && s.pDoc[q - 1] == '-' && s.pDoc[q - 2] == '-')
            return q + 1;
    }
    return -1;
}

// The doctype ends at the first '>' that closes nothing nested in it:
// nested declarations and comments are skipped whole.
int ScanDoctype(NodeScan& s, int p) {
    char cQuote = 0;
    while (!AtEnd(s, p)) {
        const char c = s.pDoc[p];
        if (cQuote) {
            cQuote = (c == cQuote) ? 0 : cQuote;
        } else if (c == '"' || c == '\'') {
            cQuote = c;
        } else if (c == '>') {
            return Finish(s, p + 1, CMarkupSTL::MNT_DOCUMENT_TYPE);
        } else if (c == '<' && Peek(s, p + 1) == '!') {
            const unsigned char k = Peek(s, p + 2);
            int q = 0;
            if (k == '-' && Peek(s, p + 3) == '-')
                q = SkipComment(s, p);
            else if (k == 'E' || k == 'A' || k == 'N')
                q = SkipDeclaration(s, p + 2);
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
    const unsigned char c = Peek(s, p);
    if (c == 0)
        return Unterminated(s, p, "tag");
    if (c == '-') {
        if (AtEnd(s, p + 1))
            return Unterminated(s, p, "tag");
        if (s.pDoc[p + 1] != '-')
            return Malformed(s, p + 1, "comment tag");
        return ScanToDelimiter(s, p + 2, "-->", "Comment", CMarkupSTL::MNT_COMMENT);
    }
    if (c == '[') {
        if (AtEnd(s, p + 1))
            return Unterminated(s, p, "tag");
        if (s.pDoc[p + 1] != 'C')
            return Malformed(s, p + 1, "tag");
        return ScanToDelimiter(s, p + 2, "]]>", "CDATA Section", CMarkupSTL::MNT_CDATA_SECTION);
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
    s.nStart = p;
    s.nNameStart = p;
    s.nNameLength = 0;
    s.bEmptyElement = false;
    s.szWords = nullptr;
    s.bUnterminated = false;
    if (AtEnd(s, p))
        return Finish(s, p, SCAN_END);
    if (s.pDoc[p] != '<')
        return ScanText(s);
    const unsigned char c = Peek(s, p + 1);
    if (c == 0)
        return Unterminated(s, p + 1, "tag");
    if (StartsName(c))
        return ScanStartTag(s, p + 1);
    if (c == '/')
        return ScanEndTag(s, p + 2);
    if (c == '?')
        return ScanProcessingInstruction(s, p + 2);
    if (c == '!')
        return ScanBang(s, p + 2);
    return Malformed(s, p + 1, "tag name character");
}

const char* MalformedFormat(const NodeScan& s) {
    return s.bUnterminated ? "%s at offset %d unterminated" : "Incorrect %s at offset %d";
}

} // namespace markup
