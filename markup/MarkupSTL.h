// CMarkupSTL: the XML document class through which every device answer is
// read and every request is built.
//
// The document is one byte string plus a table of element position records
// (offsets into that string); there is no node tree of copied strings. A
// cursor (parent, main and child position) walks the elements. Parsing never
// throws and never stops early: a malformed document is indexed as far as it
// can be and the first problem is kept as a message (GetError).
//
// Bytes are not decoded: names, data and offsets are byte-based and UTF-8
// passes through. Only the five predefined entities and numeric character
// references are ever expanded; there are no entity declarations to expand,
// so a document cannot grow when it is read.
//
// One object is used by one thread at a time; there is no locking inside.
#pragma once

#include <cstdint>
#include <map>
#include <string>

namespace markup {
class Builder;
}

class CMarkupSTL {
public:
    // Kinds of node, as reported by the node scanner and held in the node
    // type of the position.
    enum NodeType {
        MNT_ELEMENT = 1,
        MNT_TEXT = 2,
        MNT_WHITESPACE = 4,
        MNT_CDATA_SECTION = 8,
        MNT_PROCESSING_INSTRUCTION = 16,
        MNT_COMMENT = 32,
        MNT_DOCUMENT_TYPE = 64,
        MNT_EXCLUDE_WHITESPACE = 123,
        MNT_LONE_END_TAG = 128,
        MNT_NODE_ERROR = 32768
    };

    // Flags in the high bits of an element record's flags-and-level word.
    enum ElemFlags {
        MNF_DELETED = 0x20000,
        MNF_FIRST = 0x80000,
        MNF_NONENDED = 0x100000,
        MNF_ILLDATA = 0x200000,
        MNF_ILLFORMED = 0x800000
    };

    // Holds no state; kept so the object's layout carries its coder member.
    class CBase64Coder {
    public:
        virtual ~CBase64Coder() = default;
    };

    // One element of the document; record 0 stands for the whole document.
    // A plain record: ElemPos{} is all zero, and the table leaves records
    // past the ones in use unset, since each is filled whole when taken.
    struct ElemPos {
        uint32_t nStart;      // offset of the element's '<'
        uint32_t nLength;     // start tag to end of end tag
        uint32_t nTagLengths; // start tag length (mask 0x2FFFFF), end tag length << 22
        uint32_t nFlags;      // level in the low 16 bits, ElemFlags above
        int iElemParent;
        int iElemChild; // first child
        int iElemNext;
        int iElemPrev; // for the first child: the last sibling

        int StartTagLen() const { return static_cast<int>(nTagLengths & 0x2FFFFF); }
        void SetStartTagLen(int n) {
            nTagLengths = (nTagLengths & ~0x2FFFFFu) | (static_cast<uint32_t>(n) & 0x2FFFFF);
        }
        int EndTagLen() const { return static_cast<int>(nTagLengths >> 22); }
        void SetEndTagLen(int n) {
            nTagLengths = (nTagLengths & 0x3FFFFF) | (static_cast<uint32_t>(n) << 22);
        }
        bool IsEmptyElement() const { return StartTagLen() == static_cast<int>(nLength); }
        int Level() const { return static_cast<int>(nFlags & 0xFFFF); }
        void SetLevel(int n) { nFlags = (nFlags & ~0xFFFFu) | (static_cast<uint32_t>(n) & 0xFFFF); }
    };

    // An empty document (as SetDoc with no text).
    CMarkupSTL();
    // A document parsed from text (null means empty).
    explicit CMarkupSTL(const char* szDoc);
    ~CMarkupSTL();
    CMarkupSTL(const CMarkupSTL&) = delete;
    CMarkupSTL& operator=(const CMarkupSTL&) = delete;

    // Replaces the document with text (null: empty), parses it and resets the
    // position. True when the document is well formed: no problem found, a
    // root element exists and it has no sibling. The text of a
    // NUL-terminated overload ends at its first zero byte.
    bool SetDoc(const char* szDoc);
    bool SetDoc(const std::string& strDoc);
    // The document text with all additions made so far.
    const std::string& GetDoc() const { return m_strDoc; }

    // Marks the document as one that holds a secret (a password in an
    // attribute or element): from now on no buffer of the document text, and
    // no piece built to go into it, is released unwiped as the document grows
    // or is replaced, and the destructor wipes the text. Call it before the
    // secret goes in. Stays in force for the object's life.
    void HoldSecret() { m_bSecret = true; }
    // Overwrites the document text (its whole buffer) and empties the
    // document, as SetDoc(nullptr) leaves it.
    void WipeDoc();
    // The first problem found by the last parse, or empty.
    const std::string& GetError() const { return m_strError; }

    // Finds the next element among the children of the parent position,
    // after the main position, whose name matches szName (null or empty: the
    // very next element). On success it becomes the main position and the
    // child position is cleared; on failure nothing changes.
    bool FindElem(const char* szName = nullptr);
    // As FindElem, among the children of the main element after the child
    // position; takes the first element as main position when there is none.
    bool FindChildElem(const char* szName = nullptr);
    // Steps into the main element: it becomes the parent position and the
    // child position becomes the main position. False without a main element.
    bool IntoElem();
    // Steps out to the parent element. False at the top level.
    bool OutOfElem();
    // The next FindElem searches from the first child of the parent again.
    void ResetMainPos();
    // The next FindChildElem searches from the first child of the main element.
    void ResetChildPos();

    // The unescaped text content of the main element: empty for an element
    // with child elements or an empty element; text and CDATA pieces
    // concatenated when the content holds markup.
    std::string GetData() const;
    // The same for the child position.
    std::string GetChildData() const;

    // The name of the main element as written (a namespace prefix and its
    // colon included); empty without a main element.
    std::string GetTagName() const;
    // The unescaped value of the main element's attribute named exactly
    // szAttrib; empty when there is no main element or no such attribute.
    std::string GetAttrib(const char* szAttrib) const;
    // The name of the main element's n-th attribute (0: the first) as
    // written; empty when there is no main element or fewer attributes.
    std::string GetAttribName(int n) const;

    // Adds an element after the main position among the children of the
    // parent position (at the end when there is no main position), with an
    // escaped text value (null or empty: an empty element). The new element
    // becomes the main position. False for a null or empty name. Only the
    // options value 0 is supported.
    bool AddElem(const char* szName, const char* szValue = nullptr, int nFlags = 0);
    // The same with an integer value written in decimal.
    bool AddElem(const char* szName, int nValue, int nFlags = 0);
    // Sets an attribute of the main element to an escaped, double-quoted
    // value. False when there is no main element or the name is empty.
    bool SetAttrib(const char* szAttrib, const char* szValue);
    bool SetAttrib(const char* szAttrib, int nValue);

    // Escapes '<', '&', '>' (and, for attribute values, both quotes).
    static std::string EscapeText(const char* szText, bool bAttrib);
    // The length of EscapeText(szText, bAttrib), and the same text appended
    // to *out (which grows at most once, to its final size).
    static size_t EscapedLength(const char* szText, bool bAttrib);
    static void AppendEscaped(std::string* out, const char* szText, bool bAttrib);
    // Expands the five predefined entities and numeric character references
    // in nLength bytes of szText; anything else is copied unchanged.
    static std::string UnescapeText(const char* szText, int nLength);

    // Read-only access to the position and the record table, for tests and
    // diagnostics. ElemAt takes an index below GetRecordCount().
    int GetParentPos() const { return m_iPosParent; }
    int GetMainPos() const { return m_iPos; }
    int GetChildPos() const { return m_iPosChild; }
    int GetNodeType() const { return m_nNodeType; }
    int GetRecordCount() const { return m_iPosFree; }
    int GetRecordCapacity() const { return m_nPosCapacity; }
    const ElemPos& ElemAt(int i) const { return Elem(i); }

private:
    friend class markup::Builder;

    ElemPos& Elem(int i) const { return m_pSegs[i >> 16][i & 0xFFFF]; }
    int NextFree();
    void GrowTable(int nNewSize);
    void GrowSegmentArray(int nSlots);
    void ReleaseSegmentArray();
    void ClearTable();
    void ResetPos();
    void Parse();
    void LinkLastChild(int iParent, int iPos);
    void LinkAfter(int iBefore, int iPos);
    std::string ReadData(int iPos) const;
    std::string NameOf(int iPos) const;
    int FindSibling(int iFirst, const char* szName) const;
    bool NameMatches(int iPos, const char* szName) const;
    int InsertionOffset(int iParent, int iBefore, bool bParentEmpty) const;
    void InsertText(int nOffset, int nReplace, const std::string& strText);
    void Adjust(int iPos, int nChangeOffset, int nDelta);
    void ShiftSubtree(int iPos, int nDelta);
    void ShiftFollowing(int iFirst, int nChangeOffset, int nDelta);
    void SetError(const std::string& strMessage);

    // Overwrites a text's whole buffer and empties it.
    static void Wipe(std::string* text);

    std::string m_strDoc;
    std::string m_strError;
    bool m_bSecret = false;
    CBase64Coder m_coder;
    int m_iPosParent = 0;
    int m_iPos = 0;
    int m_iPosChild = 0;
    int m_iPosFree = 1;
    int m_iPosDeleted = 0;
    int m_nNodeType = 0;
    int m_nNodeOffset = 0;
    int m_nNodeLength = 0;
    int m_nDocFlags = 0;
    std::map<std::string, int>* m_pSavedPosMap = nullptr;
    ElemPos** m_pSegs = nullptr;
    int m_nPosCapacity = 0;
    int m_nSegs = 0;
    static const int kInlineSegSlots = 4;
    ElemPos* m_aSegSlots[kInlineSegSlots] = {};
};
