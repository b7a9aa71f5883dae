#include "Csv.h"

#include <cstdint>

namespace commission {

namespace {

// The length of the UTF-8 sequence at text[i], 0 when there is none.
size_t Utf8Length(std::string_view text, size_t i) {
    const auto byte = [&](size_t k) { return static_cast<uint8_t>(text[k]); };
    const uint8_t b = byte(i);
    if (b < 0x80)
        return 1;
    size_t n = 0;
    uint32_t min = 0;
    if ((b & 0xE0) == 0xC0)
        n = 2, min = 0x80;
    else if ((b & 0xF0) == 0xE0)
        n = 3, min = 0x800;
    else if ((b & 0xF8) == 0xF0)
        n = 4, min = 0x10000;
    else
        return 0;
    if (i + n > text.size())
        return 0;
    uint32_t code = b & (0x7F >> n);
    for (size_t k = 1; k < n; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80)
            return 0;
        code = (code << 6) | (byte(i + k) & 0x3F);
    }
    if (code < min || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
        return 0;
    return n;
}

// The line of the first byte that is not UTF-8 or is NUL; 0 when none.
size_t BadByteLine(std::string_view text) {
    size_t line = 1;
    for (size_t i = 0; i < text.size();) {
        const size_t n = text[i] == '\0' ? 0 : Utf8Length(text, i);
        if (n == 0)
            return line;
        if (text[i] == '\n')
            ++line;
        i += n;
    }
    return 0;
}

// Reads records one field at a time; `line` follows every LF, quoted ones too.
class Reader {
public:
    explicit Reader(std::string_view text) : m_text(text) {}

    bool Run(std::vector<CsvRecord>* records, CsvError* error) {
        while (m_pos < m_text.size()) {
            CsvRecord record;
            record.line = m_line;
            if (!ReadRecord(&record.fields))
                return *error = {m_line, m_message}, false;
            records->push_back(std::move(record));
        }
        return true;
    }

private:
    bool Fail(const char* message) {
        m_message = message;
        return false;
    }

    bool ReadRecord(std::vector<std::string>* fields) {
        for (;;) {
            if (fields->size() == kMaxCsvFields)
                return Fail("too many fields");
            fields->emplace_back();
            if (!ReadField(&fields->back()))
                return false;
            if (m_pos >= m_text.size())
                return true;
            const char c = m_text[m_pos++];
            if (c == ',')
                continue;
            if (c == '\r' && m_pos < m_text.size() && m_text[m_pos] == '\n')
                ++m_pos;
            ++m_line;
            return true;
        }
    }

    bool ReadField(std::string* field) {
        if (m_pos < m_text.size() && m_text[m_pos] == '"')
            return ReadQuoted(field);
        const size_t end = m_text.find_first_of(",\r\n\"", m_pos);
        const size_t stop = end == std::string_view::npos ? m_text.size() : end;
        if (stop < m_text.size() && m_text[stop] == '"')
            return Fail("a quote inside an unquoted field");
        if (stop < m_text.size() && m_text[stop] == '\r' &&
            (stop + 1 >= m_text.size() || m_text[stop + 1] != '\n'))
            return Fail("a carriage return without a line feed outside quotes");
        field->assign(m_text.substr(m_pos, stop - m_pos));
        m_pos = stop;
        return true;
    }

    bool ReadQuoted(std::string* field) {
        const size_t startLine = m_line;
        ++m_pos;
        for (;;) {
            const size_t quote = m_text.find('"', m_pos);
            if (quote == std::string_view::npos) {
                m_line = startLine;
                return Fail("a quoted field is not closed");
            }
            const std::string_view part = m_text.substr(m_pos, quote - m_pos);
            for (char c : part)
                m_line += c == '\n' ? 1 : 0;
            field->append(part);
            m_pos = quote + 1;
            if (m_pos < m_text.size() && m_text[m_pos] == '"') {
                field->push_back('"');
                ++m_pos;
                continue;
            }
            if (m_pos < m_text.size() &&
                std::string_view(",\r\n").find(m_text[m_pos]) == std::string_view::npos)
                return Fail("text after a closing quote");
            return true;
        }
    }

    std::string_view m_text;
    size_t m_pos = 0;
    size_t m_line = 1;
    std::string m_message;
};

std::string ValidUtf8(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        const size_t n = Utf8Length(text, i);
        if (n == 0) {
            out += "\xEF\xBF\xBD";
            ++i;
        } else {
            out.append(text.substr(i, n));
            i += n;
        }
    }
    return out;
}

} // namespace

bool ReadCsv(std::string_view text, std::vector<CsvRecord>* records, CsvError* error) {
    records->clear();
    if (text.size() > kMaxCsvBytes) {
        *error = {0, "the file is larger than 1 MiB"};
        return false;
    }
    if (text.substr(0, 3) == "\xEF\xBB\xBF")
        text.remove_prefix(3);
    if (const size_t line = BadByteLine(text)) {
        *error = {line, "bytes that are not UTF-8 text"};
        return false;
    }
    if (Reader(text).Run(records, error))
        return true;
    records->clear();
    return false;
}

std::string CsvCell(std::string_view text) {
    std::string value = ValidUtf8(text);
    if (!value.empty() && std::string_view("=+-@\t\r").find(value[0]) != std::string_view::npos)
        value.insert(0, "'");
    if (value.find_first_of(",\"\r\n") == std::string::npos)
        return value;
    std::string out = "\"";
    for (char c : value)
        out += c == '"' ? std::string("\"\"") : std::string(1, c);
    return out + "\"";
}

std::string CsvLine(const std::vector<std::string>& fields) {
    std::string out;
    for (size_t i = 0; i < fields.size(); ++i)
        out += (i ? "," : "") + CsvCell(fields[i]);
    return out + "\r\n";
}

} // namespace commission
