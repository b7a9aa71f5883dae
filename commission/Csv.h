// CSV as spreadsheets read and write it (RFC 4180): UTF-8, fields split by
// commas, records by CRLF or LF, quoted fields with doubled quotes, commas
// and line breaks inside. Files come from users and from devices' names,
// so the reader is bounded and the writer keeps a spreadsheet from taking a
// cell for a formula.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace commission {

// The largest file the reader takes.
constexpr size_t kMaxCsvBytes = 1024 * 1024;
// The most fields a record may have.
constexpr size_t kMaxCsvFields = 256;

struct CsvRecord {
    size_t line = 0; // the line the record starts on, from 1
    std::vector<std::string> fields;
};

struct CsvError {
    size_t line = 0;     // 0 when the fault is the file's as a whole
    std::string message; // English, one line
};

// Reads `text` into records. A UTF-8 byte-order mark at the start is
// dropped; an empty last line is not a record. Fails, with `records` left
// empty and `error` naming the line, for a text over kMaxCsvBytes, bytes
// that are not UTF-8, a NUL byte, a quote inside an unquoted field, text
// after a closing quote, a quoted field left open at the end, or a record
// of more than kMaxCsvFields fields. Fields are returned as written:
// nothing is un-neutralised.
bool ReadCsv(std::string_view text, std::vector<CsvRecord>* records, CsvError* error);

// One field: invalid UTF-8 replaced by U+FFFD; a text beginning with = + - @
// a tab or a carriage return gets a leading apostrophe, so that no
// spreadsheet runs it; quoted when it holds a comma, quote, CR or LF.
std::string CsvCell(std::string_view text);

// Fields joined by commas, each through CsvCell, ended with CRLF.
std::string CsvLine(const std::vector<std::string>& fields);

} // namespace commission
