#include "SearchSession.h"

#include <chrono>
#include <thread>

#include "CommandLine.h"

namespace cli {

SearchSession::SearchSession(int interval, CObserver<SEARCH_INFO>* observer)
    : m_observer(observer) {
    if (m_observer)
        m_manager.Attach(m_observer);
    m_manager.Init();
    m_manager.SetAutoSearch(interval);
    m_manager.RefreshSearch(interval == 0);
}

SearchSession::~SearchSession() {
    m_manager.Shutdown();
    if (m_observer)
        m_manager.Detach(m_observer);
}

bool SearchSession::SearchUntil(double seconds, const std::function<bool()>& done) {
    using Clock = std::chrono::steady_clock;
    const auto end = Clock::now() + std::chrono::duration<double>(seconds);
    for (;;) {
        if (done())
            return true;
        if (Stopped() || Clock::now() >= end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

} // namespace cli
