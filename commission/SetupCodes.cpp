#include "SetupCodes.h"

#include <algorithm>
#include <cctype>
#include <map>

#include "SearchWire.h"
#include "Secret.h"
#include "TrustWire.h"

namespace commission {

namespace {

// Crockford's base32, the characters of a setup code.
constexpr std::string_view kCodeAlphabet = "0123456789ABCDEFGHJKMNPQRSTVWXYZ";
constexpr size_t kCodeCharacters = 12;

std::string_view Trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    if (s.size() >= 2 && s.front() == '"' && s.back() == '"') {
        s.remove_prefix(1);
        s.remove_suffix(1);
        return Trim(s);
    }
    return s;
}

// The cells of one line that are not empty, trimmed. Views into `line`:
// nothing of a code is copied.
std::vector<std::string_view> Cells(std::string_view line) {
    std::vector<std::string_view> cells;
    size_t start = 0;
    for (size_t i = 0; i <= line.size(); ++i)
        if (i == line.size() || line[i] == ',' || line[i] == ';' || line[i] == '\t') {
            const std::string_view cell = Trim(line.substr(start, i - start));
            if (!cell.empty())
                cells.push_back(cell);
            start = i + 1;
        }
    return cells;
}

bool HasControlByte(std::string_view line) {
    for (char c : line) {
        const auto b = static_cast<unsigned char>(c);
        if ((b < 0x20 && b != '\t') || b == 0x7F)
            return true;
    }
    return false;
}

bool IsHeader(const std::vector<std::string_view>& cells) {
    if (cells.empty() || cells[0].size() != 3)
        return false;
    for (size_t i = 0; i < 3; ++i)
        if (std::tolower(static_cast<unsigned char>(cells[0][i])) != "mac"[i])
            return false;
    return true;
}

// The next line of `text` from *pos, without its end (LF, CRLF or CR);
// *pos moves past it.
std::string_view NextLine(std::string_view text, size_t* pos) {
    const size_t end = std::min(text.find_first_of("\r\n", *pos), text.size());
    const std::string_view line = text.substr(*pos, end - *pos);
    *pos = end;
    if (*pos < text.size()) {
        const bool cr = text[*pos] == '\r';
        ++*pos;
        if (cr && *pos < text.size() && text[*pos] == '\n')
            ++*pos;
    }
    return line;
}

class Reader {
public:
    Reader(std::vector<SetupCodeEntry>* out, SetupCodesError* error) : m_out(out), m_error(error) {}

    bool Line(std::string_view line, size_t number) {
        if (line.size() > kMaxSetupCodesLineBytes)
            return Fail(SetupCodesFault::LongLine, number);
        if (HasControlByte(line))
            return Fail(SetupCodesFault::ControlByte, number);
        const std::vector<std::string_view> cells = Cells(line);
        // Anywhere: files of several label batches are joined as they are.
        if (cells.empty() || IsHeader(cells))
            return true;
        if (cells.size() != 2)
            return Fail(SetupCodesFault::Shape, number);
        lorvex::wire::MacBytes mac{};
        if (!lorvex::wire::ParseMac(cells[0], &mac))
            return Fail(SetupCodesFault::NotMac, number);
        SetupCodeEntry entry;
        entry.mac = lorvex::wire::FormatMac(mac);
        entry.line = number;
        const SetupCodeProblem problem = CheckSetupCode(cells[1], &entry.code);
        if (problem != SetupCodeProblem::None) {
            Fail(SetupCodesFault::NotCode, number);
            m_error->problem = problem;
            return false;
        }
        const auto given = m_lines.emplace(entry.mac, number);
        if (!given.second) {
            WipeSecret(&entry.code);
            *m_error = {SetupCodesFault::Repeated, number, given.first->second, entry.mac,
                        SetupCodeProblem::None};
            return false;
        }
        if (m_out->size() == kMaxSetupCodes) {
            WipeSecret(&entry.code);
            return Fail(SetupCodesFault::TooMany, 0);
        }
        // Copied and wiped, not moved: a moved short string leaves its
        // bytes behind.
        m_out->push_back(entry);
        WipeSecret(&entry.code);
        return true;
    }

private:
    bool Fail(SetupCodesFault fault, size_t line) {
        *m_error = {fault, line, 0, std::string(), SetupCodeProblem::None};
        return false;
    }

    std::vector<SetupCodeEntry>* m_out;
    SetupCodesError* m_error;
    std::map<std::string, size_t> m_lines; // MAC -> the line that gave it
};

} // namespace

SetupCodeProblem CheckSetupCode(std::string_view typed, std::string* canonical) {
    if (lorvex::trust::NormalizeSetupCode(typed, canonical))
        return SetupCodeProblem::None;
    // Only the diagnosis: the same reading of the text as the check's, so
    // that the installer learns which kind of typo to look for.
    size_t count = 0;
    for (char c : typed) {
        if (c == ' ' || c == '-')
            continue;
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        if (c != 'O' && c != 'I' && c != 'L' && kCodeAlphabet.find(c) == std::string_view::npos)
            return SetupCodeProblem::Character;
        ++count;
    }
    return count == 0                 ? SetupCodeProblem::Empty
           : count != kCodeCharacters ? SetupCodeProblem::Length
                                      : SetupCodeProblem::Check;
}

const char* SetupCodeProblemText(SetupCodeProblem problem) {
    switch (problem) {
    case SetupCodeProblem::None:
        return "";
    case SetupCodeProblem::Empty:
        return "no setup code given";
    case SetupCodeProblem::Character:
        return "a character no setup code has (they are digits and letters without I, L, O "
               "and U)";
    case SetupCodeProblem::Length:
        return "not 12 characters (a setup code has the form XXXX-XXXX-XXXX)";
    case SetupCodeProblem::Check:
        return "a character is mistyped (the code fails its check): compare it with the label";
    }
    return "";
}

bool ReadSetupCodes(std::string_view text, std::vector<SetupCodeEntry>* out,
                    SetupCodesError* error) {
    WipeSetupCodes(out);
    *error = SetupCodesError{};
    if (text.size() > kMaxSetupCodesBytes) {
        error->fault = SetupCodesFault::TooLarge;
        return false;
    }
    if (text.substr(0, 3) == "\xEF\xBB\xBF")
        text.remove_prefix(3);
    // Room for every line up front: a vector that grows moves its codes and
    // frees the old copies unwiped.
    const size_t lines = static_cast<size_t>(std::count(text.begin(), text.end(), '\n')) +
                         static_cast<size_t>(std::count(text.begin(), text.end(), '\r')) + 1;
    out->reserve(std::min(lines, kMaxSetupCodes));
    Reader reader(out, error);
    size_t pos = 0, number = 0;
    while (pos < text.size()) {
        const std::string_view line = NextLine(text, &pos);
        if (!reader.Line(line, ++number)) {
            WipeSetupCodes(out);
            return false;
        }
    }
    return true;
}

std::string SetupCodesErrorText(const SetupCodesError& e) {
    const std::string at = "line " + std::to_string(e.line) + ": ";
    switch (e.fault) {
    case SetupCodesFault::None:
        return std::string();
    case SetupCodesFault::TooLarge:
        return "the setup codes are more than 1 MiB";
    case SetupCodesFault::TooMany:
        return "more than " + std::to_string(kMaxSetupCodes) + " setup codes";
    case SetupCodesFault::LongLine:
        return at + "longer than " + std::to_string(kMaxSetupCodesLineBytes) + " bytes";
    case SetupCodesFault::ControlByte:
        return at + "a control character (or NUL byte)";
    case SetupCodesFault::Shape:
        return at + "not MAC,CODE";
    case SetupCodesFault::NotMac:
        return at + "not a MAC address";
    case SetupCodesFault::NotCode:
        return at + "not a setup code: " + SetupCodeProblemText(e.problem);
    case SetupCodesFault::Repeated:
        return at + e.mac + " is given again (first on line " + std::to_string(e.firstLine) + ")";
    }
    return std::string();
}

void WipeSetupCodes(std::vector<SetupCodeEntry>* codes) {
    for (SetupCodeEntry& e : *codes)
        WipeSecret(&e.code);
    codes->clear();
}

size_t AssignSetupCodes(std::vector<PlanEntry>* plan, const std::vector<SetupCodeEntry>& codes) {
    std::map<std::string, const std::string*> byMac;
    for (const SetupCodeEntry& c : codes)
        byMac[c.mac] = &c.code;
    size_t given = 0;
    for (PlanEntry& e : *plan) {
        WipeSecret(&e.setupCode);
        const auto it = e.device.mac.empty() ? byMac.end() : byMac.find(e.device.mac);
        if (it == byMac.end())
            continue;
        e.setupCode = *it->second;
        ++given;
    }
    return given;
}

} // namespace commission
