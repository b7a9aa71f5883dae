// CLorvexManage: the one object through which the window talks to devices.
// It drives the search library, keeps the devices seen since the last
// refresh and hands every device event to its observers as a SEARCH_INFO.
//
// Threads: the search library's thread runs OnSearchEvent (and so the
// observers' Update); every other operation runs on the window thread.
//
// Linking: this class calls the seven functions of LorvexSearch.h but the
// `search` target does not link them. Programs link `search_live` (search
// plus the real library); the manager's tests link a recording stand-in.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <list>
#include <string>
#include <unordered_map>
#include <vector>

#include "Lock.h"
#include "Observer.h"
#include "SearchInfo.h"

class CLorvexManage : public CObservable<SEARCH_INFO> {
public:
    // Event codes of the search library's callback.
    enum { CODE_ANSWER = 1, CODE_GONE = 2, CODE_CHANGED = 3, CODE_SET_IP = 10000 };

    // Empty device list, automatic search off, no set-IP result (-1).
    CLorvexManage();
    // Frees the device list; does not call Shutdown.
    ~CLorvexManage() override;

    // Empties the device list and starts the search library with
    // SearchCallback and this manager. Ignored after Shutdown.
    void Init();

    // Stops automatic search; for seconds > 0 restarts it with that interval,
    // emptying the device list first when it was off. Negative counts as 0.
    void SetAutoSearch(int32_t seconds);

    // Empties the device list and searches again: manual, one round besides
    // the automatic search; otherwise automatic search is restarted with the
    // stored interval.
    void RefreshSearch(bool manual);

    // Ends the search library; no library call is made afterwards. Once only.
    void Shutdown();

    // Handles one library event (see LorvexSearch.h for the codes). mac and xml
    // are NUL-terminated or null. Events whose MAC, upper-cased, is not six
    // hex pairs joined by colons, and codes other than 1, 2, 3 and 10000, are
    // ignored. Observers are notified after the list lock is left.
    void OnSearchEvent(const char* mac, int code, const char* xml);

    // The callback given to the library: OnSearchEvent on the manager `user`.
    static void SearchCallback(char* mac, int code, const char* xml, void* user);

    // Copies the stored device with this MAC (any case) into out, with event
    // 0. False, and out untouched, when there is none or the text is not a MAC.
    bool FindDevice(const char* mac, SEARCH_INFO* out);

    // Number of devices in the list.
    size_t GetDeviceCount();

    // A copy of the device list, oldest first, every event 0.
    std::vector<SEARCH_INFO> GetDevices();

    // The last setIPResult a device reported, -1 when none since construction
    // or the last ResetSetIPResult. Safe from any thread.
    int32_t GetSetIPResult() const { return m_setIPResult.load(); }
    void ResetSetIPResult() { m_setIPResult.store(-1); }

    // The automatic search interval in seconds, 0 = off.
    int32_t GetAutoSearch() const { return m_autoSearch.load(); }

    // Writes the canonical form of a MAC text ("AA:BB:CC:DD:EE:FF", upper
    // case) into out[18]; false when text is not six hex pairs with colons.
    static bool NormalizeMac(const char* text, char out[18]);

private:
    // Oldest first; every field of a block but `event` is used.
    using DeviceList = std::list<SEARCH_INFO>;

    void ClearDevices();
    bool OnAnswer(const char* mac, const char* xml, SEARCH_INFO* info);
    bool OnChanged(const char* mac, const char* xml, SEARCH_INFO* info);
    void OnGone(const char* mac, SEARCH_INFO* info);
    void OnSetIPAnswer(const char* xml);
    void Append(const SEARCH_INFO& info);
    void Erase(const char* mac);
    bool LibraryUsable() const { return !m_shutdown.load(); }

    CCriticalSection m_listLock;
    DeviceList m_devices;                                       // under m_listLock
    std::unordered_map<std::string, DeviceList::iterator> m_index; // by mac, under m_listLock
    std::atomic<int32_t> m_autoSearch{0};
    std::atomic<int32_t> m_setIPResult{-1};
    std::atomic<bool> m_shutdown{false};
};
