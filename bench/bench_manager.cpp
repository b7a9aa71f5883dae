// Cost of the search manager's event handling with a large device list, and
// the memory each tracked device takes. The search library is replaced by
// empty functions: only the manager is measured.

#include <benchmark/benchmark.h>
#include <malloc.h>

#include <cstdio>
#include <string>
#include <vector>

#include "LorvexManage.h"
#include "LorvexSearch.h"

extern "C" {
void LORVEX_SEARCH_Initial(LORVEX_SEARCH_CALLBACK, void*, int) {}
void LORVEX_SEARCH_StartAuto(int) {}
void LORVEX_SEARCH_StopAuto(void) {}
void LORVEX_SEARCH_Manual(void) {}
void LORVEX_SEARCH_Quit(void) {}
void LORVEX_SET_CONFIG(const unsigned char*, const char*) {}
int LORVEX_SET_DevRestoreDefault(const unsigned char*) { return 1; }
}

namespace {

constexpr int kDevices = 10000;

// An answer as a camera sends it, about 1 KB.
std::string Answer(int n) {
    const std::string id = std::to_string(n);
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<multicastSearchResult>\n<productInfo>\n"
           "<productSeries>ZVK_IPC</productSeries>\n<devName>IPC-" +
           id +
           "</devName>\n"
           "<softwareVer>2.4.1</softwareVer>\n<build>230900</build>\n"
           "<softwareBulildDate>2023-09-10</softwareBulildDate>\n<hardwareVer>V1.2</hardwareVer>\n"
           "<kernelVer>4.9.37</kernelVer>\n<productModel>LV-IPC4M-B28</productModel>\n"
           "<runningTime>" +
           id +
           "</runningTime>\n<bootTime>2026-12-08 04:43:41</bootTime>\n"
           "<deviceActivated>1</deviceActivated>\n</productInfo>\n<tcpIp>\n<ipAddr>\n"
           "<item><ip>10.0.1.2</ip><mask>255.255.0.0</mask><route>10.0.0.1</route>"
           "<dhcpSwitch>false</dhcpSwitch></item>\n<item><ip>169.254.0.2</ip></item>\n</ipAddr>\n"
           "<dns1>8.8.8.8</dns1>\n<dns2>114.114.114.114</dns2>\n<encryptType>md5</encryptType>\n"
           "</tcpIp>\n<port><dataPort>9008</dataPort><httpPort>80</httpPort><rtspPort>554</"
           "rtspPort>"
           "</port>\n<httpType>0</httpType>\n</multicastSearchResult>\n";
}

std::string Mac(int n) {
    char text[18];
    std::snprintf(text, sizeof text, "02:4C:56:%02X:%02X:%02X", (n >> 16) & 0xFF, (n >> 8) & 0xFF,
                  n & 0xFF);
    return text;
}

// Copies the record, as the window's Update does.
class Sink : public CObserver<SEARCH_INFO> {
public:
    void Update(SEARCH_INFO info, CObservable<SEARCH_INFO>*) override {
        benchmark::DoNotOptimize(info);
    }
};

struct Fleet {
    std::vector<std::string> macs, answers;
    Fleet() {
        for (int i = 0; i < kDevices; ++i)
            macs.push_back(Mac(i)), answers.push_back(Answer(i));
    }
    void Fill(CLorvexManage& m) const {
        for (int i = 0; i < kDevices; ++i)
            m.OnSearchEvent(macs[i].c_str(), LORVEX_SEARCH_EVENT_ANSWER, answers[i].c_str());
    }
};

const Fleet& TheFleet() {
    static const Fleet fleet;
    return fleet;
}

// Runs one kind of event against a full list, cycling through the devices.
template <class Step> void RunEvents(benchmark::State& state, Step step) {
    const Fleet& fleet = TheFleet();
    CLorvexManage manager;
    Sink sink;
    manager.Attach(&sink);
    manager.Init();
    fleet.Fill(manager);
    int i = 0;
    for (auto _ : state) {
        step(manager, fleet, i);
        i = (i + 1) % kDevices;
    }
    state.counters["devices"] = static_cast<double>(manager.GetDeviceCount());
}

// A repeated search answer: look-up only, nobody notified.
void BM_RepeatedAnswer(benchmark::State& state) {
    RunEvents(state, [](CLorvexManage& m, const Fleet& f, int i) {
        m.OnSearchEvent(f.macs[i].c_str(), LORVEX_SEARCH_EVENT_ANSWER, f.answers[i].c_str());
    });
}

// A changed device: parse, replace, move to the end, notify.
void BM_ChangedAnswer(benchmark::State& state) {
    RunEvents(state, [](CLorvexManage& m, const Fleet& f, int i) {
        m.OnSearchEvent(f.macs[i].c_str(), LORVEX_SEARCH_EVENT_CHANGED, f.answers[i].c_str());
    });
}

// A device gone: remove, notify.
void BM_GoneThenNew(benchmark::State& state) {
    RunEvents(state, [](CLorvexManage& m, const Fleet& f, int i) {
        m.OnSearchEvent(f.macs[i].c_str(), LORVEX_SEARCH_EVENT_GONE, "");
        m.OnSearchEvent(f.macs[i].c_str(), LORVEX_SEARCH_EVENT_ANSWER, f.answers[i].c_str());
    });
    state.SetLabel("one gone + one new per iteration");
}

// A new device's answer alone, for comparison: what the parse costs.
void BM_ParseAnswer(benchmark::State& state) {
    const std::string xml = Answer(7);
    SEARCH_INFO info{};
    for (auto _ : state) {
        benchmark::DoNotOptimize(ParseSearchResult(xml.c_str(), &info));
    }
}

void BM_FindDevice(benchmark::State& state) {
    RunEvents(state, [](CLorvexManage& m, const Fleet& f, int i) {
        SEARCH_INFO info;
        benchmark::DoNotOptimize(m.FindDevice(f.macs[i].c_str(), &info));
    });
}

// Heap bytes per device held: list node plus index entry.
void BM_MemoryPerDevice(benchmark::State& state) {
    const Fleet& fleet = TheFleet();
    for (auto _ : state) {
        const size_t before = mallinfo2().uordblks;
        CLorvexManage manager;
        fleet.Fill(manager);
        const size_t after = mallinfo2().uordblks;
        state.counters["bytes_per_device"] = static_cast<double>(after - before) / kDevices;
        state.counters["sizeof_SEARCH_INFO"] = sizeof(SEARCH_INFO);
    }
}

BENCHMARK(BM_RepeatedAnswer);
BENCHMARK(BM_ChangedAnswer);
BENCHMARK(BM_GoneThenNew);
BENCHMARK(BM_ParseAnswer);
BENCHMARK(BM_FindDevice);
BENCHMARK(BM_MemoryPerDevice)->Iterations(3);

} // namespace

BENCHMARK_MAIN();
