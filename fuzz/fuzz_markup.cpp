// Fuzzes the XML document class: a document is parsed, then a walk of
// cursor operations and edits runs over it. The last byte of the input says
// how many bytes before it are operations (its low six bits), whether the
// document holds a secret (bit 6: the edits then wipe what they leave) and
// whether it is wiped at the end (bit 7); the rest is the document, so a
// plain device answer is already a useful seed.
#include "MarkupSTL.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

const char* const kNames[] = {
    "",       "multicastSearchResult", "productInfo", "tcpIp", "ipAddr", "item", "ip", "a", "b",
    "item/x", "setIPResult",           "port"};
const char* const kValues[] = {nullptr, "", "1", "<&>\"'", "192.168.1.64", "\xe4\xb8\xad"};

template <size_t N> const char* Pick(const char* const (&table)[N], uint8_t b) {
    return table[b % N];
}

// Every record in use lies inside the text.
void CheckRecords(const CMarkupSTL& doc) {
    const uint64_t size = doc.GetDoc().size();
    for (int i = 1; i < doc.GetRecordCount(); ++i) {
        const CMarkupSTL::ElemPos& e = doc.ElemAt(i);
        if (uint64_t(e.nStart) + e.nLength > size)
            abort();
    }
}

void Apply(CMarkupSTL& doc, uint8_t op, uint8_t arg) {
    switch (op % 11) {
    case 0:
        doc.FindElem(Pick(kNames, arg));
        break;
    case 1:
        doc.FindChildElem(Pick(kNames, arg));
        break;
    case 2:
        doc.IntoElem();
        break;
    case 3:
        doc.OutOfElem();
        break;
    case 4:
        doc.ResetMainPos();
        break;
    case 5:
        doc.ResetChildPos();
        break;
    case 6:
        doc.GetData();
        break;
    case 7:
        doc.GetChildData();
        break;
    case 8:
        doc.AddElem(Pick(kNames, arg), Pick(kValues, arg >> 4));
        break;
    case 9:
        doc.AddElem(Pick(kNames, arg), static_cast<int>(arg) - 128);
        break;
    default:
        doc.SetAttrib(Pick(kNames, arg), Pick(kValues, arg >> 4));
        break;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0 || size > (1u << 20))
        return 0;
    size_t ops = data[size - 1] % 64;
    if (ops > size - 1)
        ops = size - 1;
    const size_t docSize = size - 1 - ops;
    CMarkupSTL doc;
    if (data[size - 1] & 0x40)
        doc.HoldSecret();
    doc.SetDoc(std::string(reinterpret_cast<const char*>(data), docSize));
    CheckRecords(doc);
    for (size_t i = docSize; i + 1 < size - 1; i += 2) {
        Apply(doc, data[i], data[i + 1]);
        CheckRecords(doc);
    }
    // Whatever the edits made must parse again.
    CMarkupSTL again;
    again.SetDoc(doc.GetDoc());
    again.FindElem();
    again.GetData();
    if (data[size - 1] & 0x80) {
        doc.WipeDoc();
        if (!doc.GetDoc().empty() || doc.GetRecordCount() != 1 || doc.FindElem())
            abort();
    }
    return 0;
}
