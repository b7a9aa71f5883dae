// One command's search of the maker's devices: the manager started as the
// window starts it, stopped as the window closes.
#pragma once

#include <functional>

#include "LorvexManage.h"
#include "Observer.h"

namespace cli {

class SearchSession {
public:
    // Starts the manager with `observer` attached (may be null; it must
    // outlive this): a round every `interval` seconds from now on, or one
    // manual round when interval is 0.
    explicit SearchSession(int interval, CObserver<SEARCH_INFO>* observer = nullptr);
    // Shuts the manager down, then detaches the observer: no event reaches
    // it afterwards.
    ~SearchSession();
    SearchSession(const SearchSession&) = delete;
    SearchSession& operator=(const SearchSession&) = delete;

    CLorvexManage& Manager() { return m_manager; }

    // Searches until done() holds (asked every 20 ms), the stop flag is set
    // (cli::Stopped) or `seconds` have passed; whether done() held.
    bool SearchUntil(double seconds, const std::function<bool()>& done);

private:
    CLorvexManage m_manager;
    CObserver<SEARCH_INFO>* m_observer;
};

} // namespace cli
