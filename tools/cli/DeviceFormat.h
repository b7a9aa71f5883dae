// Turns device records into text for the terminal, JSON and CSV. Every text
// field comes from a device on the LAN and is treated as hostile: read only
// within its field, invalid UTF-8 replaced, and escaped for the format
// (control characters removed for the terminal).
#pragma once

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

#include "SearchInfo.h"

namespace format {

enum class Format { Table, Json, Csv };

// "table", "json" or "csv"; false for anything else.
bool ParseFormat(const std::string& text, Format* out);

enum class FieldKind { Text, Int32, Flag };

// One field of SEARCH_INFO, named as in the record.
struct Field {
    const char* name;
    FieldKind kind;
    size_t offset;
    size_t width;
};

// Every field of SEARCH_INFO in record order, `event` first.
const std::vector<Field>& RecordFields();

// The field's value: a text's bytes up to its first zero (never past the
// field), or a number in decimal.
std::string FieldValue(const SEARCH_INFO& record, const Field& field);

// The field's value as a person reads it in the table and in CSV: the
// activation state in words ("activated" for 0, "not activated" for 1, the
// number for anything else) on a row of the maker's devices (a type code
// with "ZVK" in it), empty on any other row, which has no such state;
// every other field as FieldValue. JSON keeps FieldValue for scripts.
std::string DisplayValue(const SEARCH_INFO& record, const Field& field);

// "new", "gone", "changed", or "event N" for anything else.
std::string EventName(int event);

// text with every invalid UTF-8 sequence replaced by U+FFFD.
std::string ValidUtf8(const std::string& text);
// A JSON string literal (with quotes) holding text as valid UTF-8.
std::string JsonString(const std::string& text);
// text for one terminal cell: valid UTF-8 without C0, DEL or C1 controls.
std::string TerminalText(const std::string& text);
// One CSV field (RFC 4180 quoting). A text that a spreadsheet would take for
// a formula (starting with = + - @ or a tab) gets a leading apostrophe.
std::string CsvField(const std::string& text);

// The name of an identity state (LORVEX_IDENTITY_*): "verified",
// "unverified", "confirmed", "conflict", or "unknown".
std::string IdentityName(int state);

// Named columns beyond the record's fields, in order: what an ONVIF camera
// told of itself (its maker and serial number). Written before "endpoint".
using Extras = std::vector<std::pair<std::string, std::string>>;

// One JSON object with every field; `event` only when withEvent; a field
// "endpoint" (an ONVIF camera's EndpointReference, empty for others) when
// endpoint is not null, then "identity" when identity is not null.
std::string RecordJson(const SEARCH_INFO& record, bool withEvent,
                       const std::string* identity = nullptr, const std::string* endpoint = nullptr,
                       const Extras* extras = nullptr);
// The CSV header line and one CSV line (no line end), same columns, values
// as DisplayValue gives them; the
// column "endpoint" when withEndpoint / endpoint is not null, then
// "identity" (always the last) when withIdentity / identity is not null;
// the extras' columns before "endpoint" (extraNames: their names).
std::string CsvHeader(bool withEvent, bool withIdentity = false, bool withEndpoint = false,
                      const std::vector<std::string>& extraNames = {});
std::string RecordCsv(const SEARCH_INFO& record, bool withEvent,
                      const std::string* identity = nullptr, const std::string* endpoint = nullptr,
                      const Extras* extras = nullptr);
// Every column a table of these rows can show, in order: every field but
// `event`, the extras' names when extras holds one set per record (the
// first's names), "endpoint" when endpoints holds one per record, then
// "identity" when identities holds one name per record.
std::vector<std::string> TableColumns(const std::vector<SEARCH_INFO>& records,
                                      const std::vector<std::string>& identities = {},
                                      const std::vector<std::string>& endpoints = {},
                                      const std::vector<Extras>& extras = {});
// The columns an installer reads, in order, of those TableColumns offers:
// ipAddr, mac, productSeries, productModel, devName, deviceActivated, the
// extras' names, "endpoint" when a record has one but no MAC (an ONVIF
// camera known by its endpoint only), and "identity".
std::vector<std::string> DefaultTableColumns(const std::vector<SEARCH_INFO>& records,
                                             const std::vector<std::string>& identities = {},
                                             const std::vector<std::string>& endpoints = {},
                                             const std::vector<Extras>& extras = {});
// Reads a list of column names separated by commas (spaces around a name
// ignored) against `offered`; false, with the first name not offered (or
// the empty text for an empty list) in *unknown.
bool ParseColumnList(const std::string& list, const std::vector<std::string>& offered,
                     std::vector<std::string>* columns, std::string* unknown);
// A table of the records with a header row of column names and one line
// per record, columns aligned by characters, values as DisplayValue gives
// them. The columns are `columns` (null: every one of TableColumns; a name
// it does not offer shows empty cells). The lines are sorted by IPv4
// address as numbers, equal addresses by MAC, rows without an address last.
std::string RecordTable(const std::vector<SEARCH_INFO>& records,
                        const std::vector<std::string>& identities = {},
                        const std::vector<std::string>& endpoints = {},
                        const std::vector<Extras>& extras = {},
                        const std::vector<std::string>* columns = nullptr);
// One terminal line (no line end) for an event: its kind, the MAC, the
// address, the type code, the model and the name; then the identity in
// brackets when it is given and not "verified"; then the endpoint when it
// is given and not empty.
std::string EventLine(const SEARCH_INFO& record, const std::string* identity = nullptr,
                      const std::string* endpoint = nullptr);

} // namespace format
