// The scanner's hot paths (character classes, names, start and end tags),
// inline so that the tree builder runs them without a call. Internal to the
// markup library.
#pragma once

#include "MarkupSTL.h"
#include "MarkupScan.h"

#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// The hot paths must be inlined into the reader's loop to pay off; the
// compiler's size limits would otherwise keep the larger ones out.
#if defined(__GNUC__)
#define MARKUP_HOT inline __attribute__((always_inline))
#else
#define MARKUP_HOT inline
#endif

namespace markup {
namespace detail {

// Character classes, looked up per byte in the scanner's inner loops.
enum : unsigned char {
    C_SPACE = 1,          // space, tab, LF, CR
    C_NAME_END = 2,       // ends a scanned name: space, '/', '>', end of text
    C_TAG_STOP = 4,       // stops the start tag loop: quotes, '>', end of text
    C_NAME_START = 8,     // starts an element name
    C_TEXT_STOP = 16,     // '<' and end of text
    C_DQ_STOP = 32,       // '"' and end of text
    C_SQ_STOP = 64,       // '\'' and end of text
    C_FIND_NAME_END = 128 // ends a name as FindElem reads it
};

struct ClassTable {
    unsigned char c[256];
    constexpr ClassTable() : c() {
        for (const unsigned char k : {' ', '\t', '\n', '\r'})
            c[k] |= C_SPACE | C_NAME_END;
        for (const unsigned char k : {'/', '>', '\0'})
            c[k] |= C_NAME_END;
        for (const unsigned char k : {'"', '\'', '>', '\0'})
            c[k] |= C_TAG_STOP;
        c[static_cast<unsigned char>('<')] |= C_TEXT_STOP;
        c[static_cast<unsigned char>('"')] |= C_DQ_STOP;
        c[static_cast<unsigned char>('\'')] |= C_SQ_STOP;
        c[0] |= C_TEXT_STOP | C_DQ_STOP | C_SQ_STOP;
        for (const unsigned char k :
             {' ', '\t', '\n', '\r', '<', '>', '=', '\\', '/', '?', '!', '\0'})
            c[k] |= C_FIND_NAME_END;
        // Every byte from 'a' upward counts, which takes in all of UTF-8's
        // lead and continuation bytes, so names in any script are names.
        for (int k = 'A'; k <= 'Z'; ++k)
            c[k] |= C_NAME_START;
        for (int k = 'a'; k < 256; ++k)
            c[k] |= C_NAME_START;
        c[static_cast<unsigned char>('_')] |= C_NAME_START;
        c[static_cast<unsigned char>(':')] |= C_NAME_START;
    }
};

inline constexpr ClassTable kClass{};

inline unsigned char Class(const char* d, int p) {
    return kClass.c[static_cast<unsigned char>(d[p])];
}

// The first offset from p whose byte is in class kMask. Every such class
// holds the end of text, and a byte is only read after the one before it was
// found not to be the end, so the unrolled loop never reads past the text.
template <unsigned char kMask> MARKUP_HOT int SkipUntil(const char* d, int p) {
    for (;; p += 4) {
        if (Class(d, p) & kMask)
            return p;
        if (Class(d, p + 1) & kMask)
            return p + 1;
        if (Class(d, p + 2) & kMask)
            return p + 2;
        if (Class(d, p + 3) & kMask)
            return p + 3;
    }
}

#if defined(__SSE2__)
inline __m128i Load16(const char* p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

inline __m128i Is(__m128i v, char c) { return _mm_cmpeq_epi8(v, _mm_set1_epi8(c)); }
#endif

inline int Finish(NodeScan& s, int p, int nType) {
    s.nLength = p - s.nStart;
    s.nNext = p;
    return s.nType = nType;
}

// The text ended inside a node whose kind is named by szWords.
inline int Unterminated(NodeScan& s, int p, const char* szWords) {
    p += static_cast<int>(std::strlen(s.pDoc + p));
    s.szWords = szWords;
    s.bUnterminated = true;
    return Finish(s, p, SCAN_MALFORMED);
}

MARKUP_HOT int ScanName(NodeScan& s, int p) {
    s.nNameStart = p;
    p = SkipUntil<C_NAME_END>(s.pDoc, p);
    s.nNameLength = p - s.nNameStart;
    return p;
}

inline bool IsEmptyTagEnd(const NodeScan& s, int nGt, int nNameEnd) {
    const int nSlash = nGt - 1;
    if (nSlash <= s.nStart || s.pDoc[nSlash] != '/')
        return false;
    if (nSlash == nNameEnd)
        return true;
    const char cBefore = s.pDoc[nSlash - 1];
    return (Class(s.pDoc, nSlash - 1) & C_SPACE) || cBefore == '"' || cBefore == '\'';
}

MARKUP_HOT int ScanStartTag(NodeScan& s, int p) {
    p = ScanName(s, p);
    const int nNameEnd = p;
    // Most tags end right after the name; the last byte of a name is never
    // the '/' of an empty-element tag.
    if (s.pDoc[p] == '>')
        return Finish(s, p + 1, CMarkupSTL::MNT_ELEMENT);
    for (;;) {
        p = SkipUntil<C_TAG_STOP>(s.pDoc, p);
        const char c = s.pDoc[p];
        if (c == '>') {
            s.bEmptyElement = IsEmptyTagEnd(s, p, nNameEnd);
            return Finish(s, p + 1, CMarkupSTL::MNT_ELEMENT);
        }
        if (c == '\0')
            return Unterminated(s, p, "Element tag");
        // A '>' inside quotes does not end the tag.
        p = c == '"' ? SkipUntil<C_DQ_STOP>(s.pDoc, p + 1) : SkipUntil<C_SQ_STOP>(s.pDoc, p + 1);
        if (s.pDoc[p] == '\0')
            return Unterminated(s, p, "Element tag");
        ++p;
    }
}

inline int ScanEndTag(NodeScan& s, int p) {
    // The '>' nearly always follows the name at once: a plain loop beats a
    // library call here.
    for (p = ScanName(s, p); s.pDoc[p] != '>'; ++p) {
        if (s.pDoc[p] == '\0')
            return Unterminated(s, p, "Element end tag");
    }
    return Finish(s, p + 1, SCAN_END_TAG);
}

template <typename T> inline bool EqualAt(const char* a, const char* b) {
    T x, y;
    std::memcpy(&x, a, sizeof x);
    std::memcpy(&y, b, sizeof y);
    return x == y;
}

// True when the n bytes at a and b are equal, a word at a time (the last
// word overlapping the one before): names are a few bytes long, and a byte
// loop's exit costs more than the compare.
inline bool SameBytes(const char* a, const char* b, int n) {
    if (n >= 8) {
        for (int i = 0; i + 8 < n; i += 8) {
            if (!EqualAt<uint64_t>(a + i, b + i))
                return false;
        }
        return EqualAt<uint64_t>(a + n - 8, b + n - 8);
    }
    if (n >= 4)
        return EqualAt<uint32_t>(a, b) && EqualAt<uint32_t>(a + n - 4, b + n - 4);
    for (int i = 0; i < n; ++i) {
        if (a[i] != b[i])
            return false;
    }
    return true;
}

// Clears the results of s for a node starting at p.
inline void BeginNode(NodeScan& s, int p) {
    s.nStart = p;
    s.nNameStart = p;
    s.nNameLength = 0;
    s.bEmptyElement = false;
    s.szWords = nullptr;
    s.bUnterminated = false;
}

// True when the n bytes at a and b of the text are equal; one vector
// compare for the names of an answer, which are shorter than 16 bytes.
MARKUP_HOT bool SameName(const NodeScan& s, int a, int b, int n) {
#if defined(__SSE2__)
    if (n <= 16 && a + 16 <= s.nTextLength && b + 16 <= s.nTextLength) {
        const unsigned eq = static_cast<unsigned>(
            _mm_movemask_epi8(_mm_cmpeq_epi8(Load16(s.pDoc + a), Load16(s.pDoc + b))));
        const unsigned need = (1u << n) - 1;
        return (eq & need) == need;
    }
#endif
    return SameBytes(s.pDoc + a, s.pDoc + b, n);
}

// An end tag at p (after its "</") compared in place with the name of the
// innermost open element (nTopLength < 0: none is open), as nearly every end
// tag carries it; sets bEndsTop when it does. The same node as ScanEndTag.
MARKUP_HOT int ScanEndTagAgainst(NodeScan& s, int p, int nTopStart, int nTopLength,
                                 bool& bEndsTop) {
    const char* d = s.pDoc;
    const int nEnd = p + nTopLength;
    if (nTopLength >= 0 && nEnd < s.nTextLength && SameName(s, p, nTopStart, nTopLength) &&
        (d[nEnd] == '>' || (Class(d, nEnd) & C_NAME_END))) {
        int q = nEnd;
        while (d[q] != '>' && d[q] != '\0')
            ++q;
        if (d[q] == '>') {
            s.nNameStart = p;
            s.nNameLength = nTopLength;
            bEndsTop = true;
            return Finish(s, q + 1, SCAN_END_TAG);
        }
    }
    return ScanEndTag(s, p);
}

// The next node for a reader of the element tree, from s.nNext in a text of
// s.nTextLength bytes: text and whitespace are skipped without a node, start
// and end tags are scanned inline, every other kind of node goes through
// ScanNode. nTopStart and nTopLength give the innermost open element's name
// as for ScanEndTagAgainst.
// The node at p, where the skip of text ended.
MARKUP_HOT int ScanTagAt(NodeScan& s, int p, int nTopStart, int nTopLength, bool& bEndsTop) {
    const char* d = s.pDoc;
    s.nNext = p;
    if (d[p] == '<') {
        if (Class(d, p + 1) & C_NAME_START) {
            BeginNode(s, p);
            return ScanStartTag(s, p + 1);
        }
        if (d[p + 1] == '/') {
            BeginNode(s, p);
            return ScanEndTagAgainst(s, p + 2, nTopStart, nTopLength, bEndsTop);
        }
    }
    return ScanNode(s);
}

MARKUP_HOT int ScanTreeNode(NodeScan& s, int nTopStart, int nTopLength, bool& bEndsTop) {
    const char* d = s.pDoc;
    int p = s.nNext;
#if defined(__SSE2__)
    if (p + 16 <= s.nTextLength) {
        // The 16 bytes that hold the end of the text also tell an end tag's
        // "</" apart without reading its bytes again.
        const __m128i v = Load16(d + p);
        const unsigned lt = static_cast<unsigned>(_mm_movemask_epi8(Is(v, '<')));
        const unsigned stop = lt | static_cast<unsigned>(_mm_movemask_epi8(Is(v, '\0')));
        if (!stop)
            return ScanTagAt(s, SkipUntil<C_TEXT_STOP>(d, p + 16), nTopStart, nTopLength, bEndsTop);
        const int k = __builtin_ctz(stop);
        const unsigned slash = static_cast<unsigned>(_mm_movemask_epi8(Is(v, '/')));
        if (k < 15 && ((lt & slash >> 1) >> k & 1)) {
            p += k;
            s.nNext = p;
            BeginNode(s, p);
            return ScanEndTagAgainst(s, p + 2, nTopStart, nTopLength, bEndsTop);
        }
        return ScanTagAt(s, p + k, nTopStart, nTopLength, bEndsTop);
    }
#endif
    return ScanTagAt(s, SkipUntil<C_TEXT_STOP>(d, p), nTopStart, nTopLength, bEndsTop);
}

} // namespace detail
} // namespace markup
