#include "SessionLog.h"

namespace report {

void SessionLog::Add(const std::string& key, Deed deed, bool verified) {
    std::lock_guard<std::mutex> hold(m_mutex);
    m_deeds[key][deed] = verified;
}

std::string SessionLog::Summary(const std::string& key, const DeedWords& words,
                                Verified* verified) const {
    std::lock_guard<std::mutex> hold(m_mutex);
    *verified = Verified::NotApplicable;
    const auto it = m_deeds.find(key);
    if (it == m_deeds.end())
        return {};
    std::string line;
    bool all = true;
    for (const auto& [deed, readBack] : it->second) {
        if (!line.empty())
            line += words.separator;
        line += words.words[static_cast<int>(deed)];
        all = all && readBack;
    }
    *verified = all ? Verified::Yes : Verified::No;
    return line;
}

void SessionLog::Clear() {
    std::lock_guard<std::mutex> hold(m_mutex);
    m_deeds.clear();
}

} // namespace report
