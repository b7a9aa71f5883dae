#include "SoapReader.h"

#include <cstdlib>
#include <cstring>

namespace devsim::soap {
namespace {

// Namespace bindings in force at once; each element keeps a copy.
constexpr std::size_t kMaxBindings = 64;

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

bool EndsName(char c) { return IsSpace(c) || c == '>' || c == '/' || c == '=' || c == '\0'; }

void AppendUtf8(unsigned long cp, std::string* out) {
    if (cp < 0x80) {
        *out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        *out += static_cast<char>(0xC0 | (cp >> 6));
        *out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        *out += static_cast<char>(0xE0 | (cp >> 12));
        *out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        *out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        *out += static_cast<char>(0xF0 | (cp >> 18));
        *out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        *out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        *out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// Expands the predefined entities and character references of `raw`; false
// on any other '&' sequence.
bool Unescape(const std::string& raw, std::string* out) {
    static const std::pair<const char*, char> kNamed[] = {
        {"amp;", '&'}, {"lt;", '<'}, {"gt;", '>'}, {"quot;", '"'}, {"apos;", '\''}};
    for (std::size_t i = 0; i < raw.size();) {
        if (raw[i] != '&') {
            *out += raw[i++];
            continue;
        }
        const std::size_t semi = raw.find(';', i);
        if (semi == std::string::npos || semi - i > 10)
            return false;
        bool named = false;
        for (const auto& [name, ch] : kNamed)
            if (raw.compare(i + 1, std::strlen(name), name) == 0) {
                *out += ch;
                named = true;
            }
        if (!named) {
            if (raw[i + 1] != '#')
                return false;
            const bool hex = raw[i + 2] == 'x';
            const std::string digits = raw.substr(i + (hex ? 3 : 2), semi - i - (hex ? 3 : 2));
            if (digits.empty() || digits.find_first_not_of(hex ? "0123456789abcdefABCDEF"
                                                               : "0123456789") != std::string::npos)
                return false;
            const unsigned long cp = std::strtoul(digits.c_str(), nullptr, hex ? 16 : 10);
            if (cp == 0 || cp > 0x10FFFF)
                return false;
            AppendUtf8(cp, out);
        }
        i = semi + 1;
    }
    return true;
}

struct Raw {
    std::string qname;
    std::vector<std::pair<std::string, std::string>> attributes; // qname, value
};

class Reader {
public:
    Reader(const std::string& text, Document* out) : m_text(text), m_out(out) {}

    bool Run() {
        while (m_at < m_text.size()) {
            if (m_text[m_at] != '<') {
                if (!Text())
                    return false;
                continue;
            }
            if (!Markup())
                return false;
        }
        return m_open.empty() && !m_out->elements.empty();
    }

private:
    bool Text() {
        const std::size_t lt = m_text.find('<', m_at);
        const std::size_t end = lt == std::string::npos ? m_text.size() : lt;
        const std::string raw = m_text.substr(m_at, end - m_at);
        m_at = end;
        if (m_open.empty())
            return raw.find_first_not_of(" \t\r\n") == std::string::npos;
        return Unescape(raw, &m_out->elements[static_cast<std::size_t>(m_open.back())].text);
    }

    bool Skip(const char* close) {
        const std::size_t end = m_text.find(close, m_at);
        if (end == std::string::npos)
            return false;
        m_at = end + std::strlen(close);
        return true;
    }

    bool Markup() {
        if (m_text.compare(m_at, 4, "<!--") == 0)
            return Skip("-->");
        if (m_text.compare(m_at, 2, "<?") == 0)
            return Skip("?>");
        if (m_text.compare(m_at, 9, "<![CDATA[") == 0) {
            const std::size_t start = m_at + 9;
            if (m_open.empty() || !Skip("]]>"))
                return false;
            m_out->elements[static_cast<std::size_t>(m_open.back())].text +=
                m_text.substr(start, m_at - 3 - start);
            return true;
        }
        if (m_text.compare(m_at, 2, "<!") == 0)
            return false; // no document types: nothing may grow or reach outside
        if (m_text.compare(m_at, 2, "</") == 0)
            return EndTag();
        return StartTag();
    }

    bool Name(std::string* name) {
        const std::size_t start = m_at;
        while (m_at < m_text.size() && !EndsName(m_text[m_at]) && m_text[m_at] != '<')
            ++m_at;
        *name = m_text.substr(start, m_at - start);
        return !name->empty() && m_at < m_text.size();
    }

    void Spaces() {
        while (m_at < m_text.size() && IsSpace(m_text[m_at]))
            ++m_at;
    }

    bool EndTag() {
        m_at += 2;
        std::string name;
        if (!Name(&name) || m_open.empty() || name != m_names.back())
            return false;
        Spaces();
        if (m_at >= m_text.size() || m_text[m_at] != '>')
            return false;
        ++m_at;
        Close();
        return true;
    }

    bool Attribute(Raw* raw) {
        std::string name;
        if (!Name(&name))
            return false;
        Spaces();
        if (m_at + 1 >= m_text.size() || m_text[m_at] != '=')
            return false;
        ++m_at;
        Spaces();
        const char quote = m_text[m_at];
        if (quote != '"' && quote != '\'')
            return false;
        const std::size_t end = m_text.find(quote, m_at + 1);
        if (end == std::string::npos)
            return false;
        std::string value;
        if (!Unescape(m_text.substr(m_at + 1, end - m_at - 1), &value) ||
            raw->attributes.size() >= kMaxAttributes)
            return false;
        raw->attributes.emplace_back(name, value);
        m_at = end + 1;
        return true;
    }

    bool StartTag() {
        ++m_at;
        Raw raw;
        if (!Name(&raw.qname))
            return false;
        for (;;) {
            Spaces();
            if (m_at >= m_text.size())
                return false;
            if (m_text[m_at] == '>' || m_text.compare(m_at, 2, "/>") == 0)
                break;
            if (!Attribute(&raw))
                return false;
        }
        const bool empty = m_text[m_at] == '/';
        m_at += empty ? 2 : 1;
        if (!Open(raw))
            return false;
        if (empty)
            Close();
        return true;
    }

    static std::pair<std::string, std::string> Split(const std::string& qname) {
        const std::size_t colon = qname.find(':');
        if (colon == std::string::npos)
            return {"", qname};
        return {qname.substr(0, colon), qname.substr(colon + 1)};
    }

    std::string Resolve(const std::string& prefix) const {
        for (auto it = m_scope.rbegin(); it != m_scope.rend(); ++it)
            if (it->first == prefix)
                return it->second;
        return {};
    }

    bool Open(const Raw& raw) {
        if (static_cast<int>(m_open.size()) >= kMaxDepth ||
            m_out->elements.size() >= kMaxElements || (m_open.empty() && !m_out->elements.empty()))
            return false; // too deep, too many, or a second root
        m_scopeMarks.push_back(m_scope.size());
        Element e;
        for (const auto& [name, value] : raw.attributes) {
            if (name == "xmlns")
                m_scope.emplace_back("", value);
            else if (name.compare(0, 6, "xmlns:") == 0)
                m_scope.emplace_back(name.substr(6), value);
            else
                e.attributes.emplace_back(Split(name).second, value);
        }
        if (m_scope.size() > kMaxBindings)
            return false;
        const auto [prefix, local] = Split(raw.qname);
        e.ns = Resolve(prefix);
        if (!prefix.empty() && e.ns.empty())
            return false; // an unbound prefix
        e.local = local;
        e.parent = m_open.empty() ? -1 : m_open.back();
        e.scope = m_scope;
        m_out->elements.push_back(std::move(e));
        m_open.push_back(static_cast<int>(m_out->elements.size() - 1));
        m_names.push_back(raw.qname);
        return true;
    }

    void Close() {
        m_open.pop_back();
        m_names.pop_back();
        m_scope.resize(m_scopeMarks.back());
        m_scopeMarks.pop_back();
    }

    const std::string& m_text;
    Document* m_out;
    std::size_t m_at = 0;
    std::vector<int> m_open;
    std::vector<std::string> m_names;
    std::vector<std::pair<std::string, std::string>> m_scope;
    std::vector<std::size_t> m_scopeMarks;
};

} // namespace

int Document::Child(int parent, const char* ns, const char* local, int after) const {
    for (std::size_t i = static_cast<std::size_t>(after + 1); i < elements.size(); ++i) {
        const Element& e = elements[i];
        if (e.parent == parent && e.local == local && e.ns == ns)
            return static_cast<int>(i);
    }
    return -1;
}

std::string Document::Attribute(int element, const char* local) const {
    for (const auto& [name, value] : elements[static_cast<std::size_t>(element)].attributes)
        if (name == local)
            return value;
    return {};
}

std::vector<std::pair<std::string, std::string>> Document::QNames(int element) const {
    const Element& e = elements[static_cast<std::size_t>(element)];
    std::vector<std::pair<std::string, std::string>> out;
    std::size_t at = 0;
    while (at < e.text.size()) {
        const std::size_t start = e.text.find_first_not_of(" \t\r\n", at);
        if (start == std::string::npos)
            break;
        const std::size_t end = std::min(e.text.find_first_of(" \t\r\n", start), e.text.size());
        const std::string token = e.text.substr(start, end - start);
        const std::size_t colon = token.find(':');
        const std::string prefix = colon == std::string::npos ? "" : token.substr(0, colon);
        std::string ns;
        for (auto it = e.scope.rbegin(); it != e.scope.rend(); ++it)
            if (it->first == prefix) {
                ns = it->second;
                break;
            }
        out.emplace_back(ns, colon == std::string::npos ? token : token.substr(colon + 1));
        at = end;
    }
    return out;
}

bool Read(const std::string& text, Document* out) {
    out->elements.clear();
    if (text.size() > kMaxText || text.find('\0') != std::string::npos)
        return false;
    return Reader(text, out).Run();
}

} // namespace devsim::soap
