#include "LorvexManage.h"

#include <cstring>

#include "DeviceIds.h"
#include "LorvexSearch.h"
#include "MarkupSTL.h"
#include "SearchWire.h"

namespace {

// What the window passes to LORVEX_SEARCH_Initial: datagrams per receive call.
constexpr int kReceiveBatch = 96;

// A MAC text of at most 17 characters read by the wire format's parser.
bool ParseMacText(const char* text, lorvex::wire::MacBytes* mac) {
    return text != nullptr &&
           lorvex::wire::ParseMac(std::string_view(text, strnlen(text, 18)), mac);
}

} // namespace

CLorvexManage::CLorvexManage() = default;

CLorvexManage::~CLorvexManage() {
    if (m_initialised)
        Shutdown();
}

void CLorvexManage::Init() {
    if (!LibraryUsable())
        return;
    // Sockets need no start-up on this host; the library opens its own.
    ClearDevices();
    m_initialised = true;
    LORVEX_SEARCH_Initial(&CLorvexManage::SearchCallback, this, kReceiveBatch);
}

void CLorvexManage::SetAutoSearch(int32_t seconds) {
    if (!LibraryUsable())
        return;
    if (seconds < 0)
        seconds = 0;
    LORVEX_SEARCH_StopAuto();
    if (seconds != 0) {
        if (m_autoSearch.load() == 0)
            StartNewList();
        LORVEX_SEARCH_StartAuto(seconds);
    }
    m_autoSearch.store(seconds);
}

void CLorvexManage::RefreshSearch(bool manual) {
    if (!LibraryUsable())
        return;
    if (manual) {
        StartNewList();
        LORVEX_SEARCH_Manual();
        return;
    }
    LORVEX_SEARCH_StopAuto();
    StartNewList();
    LORVEX_SEARCH_StartAuto(m_autoSearch.load());
}

void CLorvexManage::Shutdown() {
    if (m_shutdown.exchange(true))
        return;
    // Joins the library's thread: no OnSearchEvent runs after this.
    LORVEX_SEARCH_Quit();
    // Socket clean-up has no counterpart on this host.
}

void CLorvexManage::SearchCallback(char* mac, int code, const char* xml, void* user) {
    if (user != nullptr)
        static_cast<CLorvexManage*>(user)->OnSearchEvent(mac, code, xml);
}

bool CLorvexManage::NormalizeMac(const char* text, char out[18]) {
    if (text == nullptr)
        return false;
    const std::string mac = devicelist::CanonicalMac(std::string_view(text, strnlen(text, 18)));
    if (mac.empty())
        return false;
    std::memcpy(out, mac.c_str(), mac.size() + 1);
    return true;
}

bool CLorvexManage::MacBytesOf(const char* text, unsigned char bytes[6]) {
    lorvex::wire::MacBytes mac{};
    if (!ParseMacText(text, &mac))
        return false;
    std::memcpy(bytes, mac.data(), mac.size());
    return true;
}

void CLorvexManage::OnSearchEvent(const char* mac, int code, const char* xml) {
    SearchEventKind kind = SEARCH_EVENT_NEW;
    switch (code) {
    case LORVEX_SEARCH_EVENT_ANSWER:
        kind = SEARCH_EVENT_NEW;
        break;
    case LORVEX_SEARCH_EVENT_GONE:
        kind = SEARCH_EVENT_GONE;
        break;
    case LORVEX_SEARCH_EVENT_CHANGED:
        kind = SEARCH_EVENT_CHANGED;
        break;
    case LORVEX_SEARCH_EVENT_CONFIG:
        break;
    default:
        return;
    }
    char key[18];
    if (!NormalizeMac(mac, key))
        return;
    SEARCH_INFO info;
    std::memset(&info, 0, sizeof info);
    info.event = kind;
    CopySearchText(info.mac, sizeof info.mac, key, std::strlen(key));
    bool notify = true;
    {
        CAutoLock hold(m_listLock);
        // Stamped under the lock StartNewList takes: an event decided before
        // a refresh carries the old generation however late it is notified.
        info.generation = m_generation.load();
        if (code == LORVEX_SEARCH_EVENT_CONFIG)
            OnSetIPAnswer(xml), notify = false;
        else if (kind == SEARCH_EVENT_NEW)
            notify = OnAnswer(key, xml, &info);
        else if (kind == SEARCH_EVENT_CHANGED)
            notify = OnChanged(key, xml, &info);
        else
            Erase(key);
    }
    if (notify)
        Notify(info);
}

// A first answer since the last refresh becomes a new device; a repeated one
// is dropped, as changes arrive through their own event.
bool CLorvexManage::OnAnswer(const char* mac, const char* xml, SEARCH_INFO* info) {
    if (m_index.count(mac) != 0)
        return false;
    if (!ParseSearchResult(xml, info))
        return false;
    Append(*info);
    return true;
}

// The new answer replaces the stored one and moves to the end of the list;
// a change of a device not held is reported but not added.
bool CLorvexManage::OnChanged(const char* mac, const char* xml, SEARCH_INFO* info) {
    if (!ParseSearchResult(xml, info))
        return false;
    if (m_index.count(mac) == 0)
        return true;
    Erase(mac);
    Append(*info);
    return true;
}

void CLorvexManage::OnSetIPAnswer(const char* xml) {
    CMarkupSTL doc;
    doc.SetDoc(xml != nullptr ? xml : "");
    if (!doc.FindElem("multicastSearchResult") || !doc.IntoElem())
        return;
    if (!doc.FindElem("setIPResult"))
        return;
    const std::string data = doc.GetData();
    const bool number = !data.empty() && data.find_first_not_of("0123456789") == std::string::npos;
    // The details go first: a reader that sees the result sees them too.
    doc.ResetMainPos();
    m_lockSeconds.store(doc.FindElem("retryAfter") ? ParseSearchDecimal(doc.GetData().c_str()) : 0);
    doc.ResetMainPos();
    m_portsTaken.store(doc.FindElem("portsTaken") && doc.GetData() == "1");
    m_setIPResult.store(number ? ParseSearchDecimal(data.c_str()) : SETIP_UNREADABLE);
}

void CLorvexManage::Append(const SEARCH_INFO& info) {
    auto it = m_devices.insert(m_devices.end(), info);
    it->event = SEARCH_EVENT_NEW;
    m_index[it->mac] = it;
}

void CLorvexManage::Erase(const char* mac) {
    auto found = m_index.find(mac);
    if (found == m_index.end())
        return;
    m_devices.erase(found->second);
    m_index.erase(found);
}

void CLorvexManage::ClearDevices() {
    CAutoLock hold(m_listLock);
    m_devices.clear();
    m_index.clear();
}

void CLorvexManage::StartNewList() {
    CAutoLock hold(m_listLock);
    m_devices.clear();
    m_index.clear();
    m_generation.store(m_generation.load() + 1);
}

bool CLorvexManage::FindDevice(const char* mac, SEARCH_INFO* out) {
    char key[18];
    if (out == nullptr || !NormalizeMac(mac, key))
        return false;
    CAutoLock hold(m_listLock);
    auto found = m_index.find(key);
    if (found == m_index.end())
        return false;
    *out = *found->second;
    return true;
}

size_t CLorvexManage::GetDeviceCount() {
    CAutoLock hold(m_listLock);
    return m_devices.size();
}

std::vector<SEARCH_INFO> CLorvexManage::GetDevices() {
    CAutoLock hold(m_listLock);
    return std::vector<SEARCH_INFO>(m_devices.begin(), m_devices.end());
}
