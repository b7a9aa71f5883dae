// Fuzzes what the engine makes of device replies other than the plain
// answer parse: the manager's handling of answers, changes and set-IP
// results (LORVEX_SEARCH_EVENT_ANSWER, _CHANGED and _CONFIG), and the RTSP port read from a port
// configuration reply. The manager is never started, so nothing is sent.
#include "DeviceHttp.h"
#include "LorvexManage.h"
#include "LorvexSearch.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (1u << 20))
        return 0;
    const std::string text(reinterpret_cast<const char*>(data), size);
    static CLorvexManage manager;
    manager.OnSearchEvent("00:11:22:33:44:55", LORVEX_SEARCH_EVENT_ANSWER, text.c_str());
    manager.OnSearchEvent("00:11:22:33:44:55", LORVEX_SEARCH_EVENT_CHANGED, text.c_str());
    manager.OnSearchEvent("00:11:22:33:44:55", LORVEX_SEARCH_EVENT_CONFIG, text.c_str());
    manager.OnSearchEvent("00:11:22:33:44:55", LORVEX_SEARCH_EVENT_GONE, text.c_str());
    int32_t rtsp = -7;
    if (!ReadRtspPort(text.c_str(), &rtsp) && rtsp != -7)
        abort(); // a failed read must leave the port as it was
    return 0;
}
