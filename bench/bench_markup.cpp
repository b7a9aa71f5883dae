// Parsing device answers and large documents with CMarkupSTL against
// pugixml and tinyxml2 in the same binary, ParseSearchResult per answer, and
// scaling runs that show the parse stays linear on hostile shapes.
#include "MarkupSTL.h"
#include "SearchInfo.h"

#include <benchmark/benchmark.h>
#include <pugixml.hpp>
#include <tinyxml2.h>

#include <chrono>
#include <cstring>
#include <string>
#include <vector>

namespace {

// A device answer as the maker's devices send it, padded with the extra
// product and capability elements real firmware carries to reach about
// `target` bytes.
std::string DeviceAnswer(int i, size_t target) {
    std::string s =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<multicastSearchResult>\r\n<productInfo>\r\n"
        "<productSeries>ZVK_IPC</productSeries>\r\n<devName>Camera " +
        std::to_string(i) +
        " &amp; Gate</devName>\r\n<softwareVer>V5.2.1</softwareVer>\r\n<build>220915</build>\r\n"
        "<softwareBulildDate>2022-09-15</softwareBulildDate>\r\n<hardwareVer>H2.0</hardwareVer>\r\n"
        "<kernelVer>4.9.37</kernelVer>\r\n<productModel>IPC-B2400</productModel>\r\n"
        "<runningTime>3 days 04:05:06</runningTime>\r\n<bootTime>2026-12-05 00:00:00</bootTime>\r\n"
        "<deviceActivated>1</deviceActivated>\r\n</productInfo>\r\n<tcpIp>\r\n<ipAddr>\r\n"
        "<item><ip>192.168.1." +
        std::to_string(10 + i) +
        "</ip><mask>255.255.255.0</mask><route>192.168.1.1</route><dhcpSwitch>false</dhcpSwitch></"
        "item>\r\n"
        "<item><ip>169.254.7.9</ip><mask>255.255.0.0</mask></item>\r\n</ipAddr>\r\n"
        "<dns1>192.168.1.1</dns1>\r\n<dns2>8.8.4.4</dns2>\r\n<encryptType>AES</encryptType>\r\n"
        "</tcpIp>\r\n<port><dataPort>6036</dataPort><httpPort>80</httpPort><rtspPort>554</"
        "rtspPort></port>\r\n"
        "<httpType>0</httpType>\r\n<capabilities>\r\n";
    for (int k = 0; s.size() + 40 < target; ++k)
        s += "<cap id=\"" + std::to_string(k) + "\" enabled=\"true\">stream" + std::to_string(k) +
             "</cap>\r\n";
    s += "</capabilities>\r\n</multicastSearchResult>\r\n";
    return s;
}

const std::vector<std::string>& Samples() {
    static const std::vector<std::string> samples = {DeviceAnswer(1, 1024), DeviceAnswer(2, 2048),
                                                     DeviceAnswer(3, 3072)};
    return samples;
}

const std::string& LargeDocument() {
    static std::string doc;
    if (doc.empty()) {
        doc = "<devices>\r\n";
        for (int i = 0; doc.size() < (1u << 20); ++i)
            doc += DeviceAnswer(i, 1024).substr(40); // without the declaration
        doc += "</devices>\r\n";
    }
    return doc;
}

const std::string& Input(int index) {
    return index < 3 ? Samples()[static_cast<size_t>(index)] : LargeDocument();
}

void SetLabel(benchmark::State& state, const std::string& text) {
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
    state.SetLabel(std::to_string(text.size()) + " bytes");
}

void BM_Markup_SetDoc(benchmark::State& state) {
    const std::string& text = Input(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        CMarkupSTL doc;
        benchmark::DoNotOptimize(doc.SetDoc(text));
    }
    SetLabel(state, text);
}

void BM_Pugixml_LoadBuffer(benchmark::State& state) {
    const std::string& text = Input(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        pugi::xml_document doc;
        benchmark::DoNotOptimize(doc.load_buffer(text.data(), text.size()));
    }
    SetLabel(state, text);
}

void BM_Tinyxml2_Parse(benchmark::State& state) {
    const std::string& text = Input(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        tinyxml2::XMLDocument doc;
        benchmark::DoNotOptimize(doc.Parse(text.data(), text.size()));
    }
    SetLabel(state, text);
}

void BM_ParseSearchResult(benchmark::State& state) {
    const std::string& text = Input(static_cast<int>(state.range(0)));
    SEARCH_INFO rec;
    for (auto _ : state) {
        std::memset(&rec, 0, sizeof rec);
        benchmark::DoNotOptimize(ParseSearchResult(text.c_str(), &rec));
    }
    SetLabel(state, text);
}

// The same answers read through a whole document with the look-ups one by
// one: the peer of the one-pass reading above.
void BM_ParseSearchResultWithDocument(benchmark::State& state) {
    const std::string& text = Input(static_cast<int>(state.range(0)));
    SEARCH_INFO rec;
    for (auto _ : state) {
        std::memset(&rec, 0, sizeof rec);
        benchmark::DoNotOptimize(ParseSearchResultWithDocument(text.c_str(), &rec));
    }
    SetLabel(state, text);
}

// The parsers take turns on the same input within one run, so that
// whatever else the machine does weighs on both alike; the counters give
// each one's time per parse and their ratio.
// The counters of a ratio run: each parser's time per parse (16 parses per
// iteration) and the two ratios the targets are stated in.
void ReportRatios(benchmark::State& state, const std::string& text,
                  std::chrono::steady_clock::duration markup,
                  std::chrono::steady_clock::duration pugixml,
                  std::chrono::steady_clock::duration tinyxml) {
    const double n = static_cast<double>(state.iterations()) * 16;
    state.counters["markup_ns"] = std::chrono::duration<double, std::nano>(markup).count() / n;
    state.counters["pugixml_ns"] = std::chrono::duration<double, std::nano>(pugixml).count() / n;
    state.counters["tinyxml2_ns"] = std::chrono::duration<double, std::nano>(tinyxml).count() / n;
    state.counters["to_pugixml"] =
        static_cast<double>(markup.count()) / static_cast<double>(pugixml.count());
    state.counters["tinyxml2_to"] =
        static_cast<double>(tinyxml.count()) / static_cast<double>(markup.count());
    state.SetLabel(std::to_string(text.size()) + " bytes");
}

// As BM_Ratio_Parsers, with one document object of each parser kept across
// the parses, as the answer parser keeps its document: what is left is the
// parse itself, without making and destroying the objects.
void BM_Ratio_KeptDocuments(benchmark::State& state) {
    using Clock = std::chrono::steady_clock;
    const std::string& text = Input(static_cast<int>(state.range(0)));
    CMarkupSTL markupDoc;
    pugi::xml_document pugiDoc;
    tinyxml2::XMLDocument tinyDoc;
    Clock::duration markup{}, pugixml{}, tinyxml{};
    for (auto _ : state) {
        for (int k = 0; k < 16; ++k) {
            const auto t0 = Clock::now();
            benchmark::DoNotOptimize(markupDoc.SetDoc(text));
            const auto t1 = Clock::now();
            benchmark::DoNotOptimize(pugiDoc.load_buffer(text.data(), text.size()));
            const auto t2 = Clock::now();
            benchmark::DoNotOptimize(tinyDoc.Parse(text.data(), text.size()));
            tinyxml += Clock::now() - t2;
            pugixml += t2 - t1;
            markup += t1 - t0;
        }
    }
    ReportRatios(state, text, markup, pugixml, tinyxml);
}

void BM_Ratio_Parsers(benchmark::State& state) {
    using Clock = std::chrono::steady_clock;
    const std::string& text = Input(static_cast<int>(state.range(0)));
    Clock::duration markup{}, pugixml{}, tinyxml{};
    for (auto _ : state) {
        for (int k = 0; k < 16; ++k) {
            const auto t0 = Clock::now();
            {
                // As the answer parser does it: a new document set from the text.
                CMarkupSTL doc(text.c_str());
                benchmark::DoNotOptimize(doc.GetError().size());
            }
            const auto t1 = Clock::now();
            {
                pugi::xml_document doc;
                benchmark::DoNotOptimize(doc.load_buffer(text.data(), text.size()));
            }
            const auto t2 = Clock::now();
            {
                tinyxml2::XMLDocument doc;
                benchmark::DoNotOptimize(doc.Parse(text.data(), text.size()));
            }
            tinyxml += Clock::now() - t2;
            pugixml += t2 - t1;
            markup += t1 - t0;
        }
    }
    ReportRatios(state, text, markup, pugixml, tinyxml);
}

// Hostile shapes of n units each; the parse must grow linearly.
std::string Shape(int kind, int n) {
    std::string s;
    switch (kind) {
    case 0: // many siblings
        s = "<r>";
        for (int i = 0; i < n; ++i)
            s += "<e>x</e>";
        return s + "</r>";
    case 1: // many attributes
        s = "<r";
        for (int i = 0; i < n; ++i)
            s += " a" + std::to_string(i) + "=\"v\"";
        return s + "/>";
    case 2: // one long attribute value
        return "<r a=\"" + std::string(static_cast<size_t>(n) * 8, 'v') + "\"/>";
    case 3: // one long text
        return "<r>" + std::string(static_cast<size_t>(n) * 8, 't') + "</r>";
    case 4: // deep nesting
        for (int i = 0; i < n; ++i)
            s += "<e>";
        for (int i = 0; i < n; ++i)
            s += "</e>";
        return s;
    default: // deep unended nesting with end tags that match nothing
        for (int i = 0; i < n; ++i)
            s += "<e>";
        for (int i = 0; i < n; ++i)
            s += "</x>";
        return s;
    }
}

void BM_Scale(benchmark::State& state) {
    const std::string text =
        Shape(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    static const char* const kNames[] = {"siblings", "attributes", "attribute value",
                                         "text",     "nesting",    "unended nesting"};
    CMarkupSTL doc;
    for (auto _ : state) {
        doc.SetDoc(text);
        doc.FindElem();
        benchmark::DoNotOptimize(doc.GetData());
    }
    state.SetComplexityN(state.range(1));
    state.SetLabel(kNames[state.range(0)]);
}

// Building a request element by element stays linear in the number of
// elements added.
void BM_Scale_AddElem(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    for (auto _ : state) {
        CMarkupSTL doc;
        doc.AddElem("r");
        doc.IntoElem();
        for (int i = 0; i < n; ++i)
            doc.AddElem("e", i);
        benchmark::DoNotOptimize(doc.GetDoc().size());
    }
    state.SetComplexityN(n);
}

// Setting an attribute scans the element's start tag, so one call costs in
// proportion to the attributes already there; this shows the cost of one
// call on a start tag of n attributes.
void BM_Scale_SetAttrib(benchmark::State& state) {
    const std::string text = Shape(1, static_cast<int>(state.range(0)));
    const std::string last = "a" + std::to_string(state.range(0) - 1);
    CMarkupSTL doc;
    doc.SetDoc(text);
    doc.FindElem();
    for (auto _ : state)
        benchmark::DoNotOptimize(doc.SetAttrib(last.c_str(), "w"));
    state.SetComplexityN(state.range(0));
}

} // namespace

BENCHMARK(BM_Ratio_Parsers)->DenseRange(0, 3);
BENCHMARK(BM_Ratio_KeptDocuments)->DenseRange(0, 3);
BENCHMARK(BM_Markup_SetDoc)->DenseRange(0, 3);
BENCHMARK(BM_Pugixml_LoadBuffer)->DenseRange(0, 3);
BENCHMARK(BM_Tinyxml2_Parse)->DenseRange(0, 3);
BENCHMARK(BM_ParseSearchResult)->DenseRange(0, 2);
BENCHMARK(BM_ParseSearchResultWithDocument)->DenseRange(0, 2);
BENCHMARK(BM_Scale)->ArgsProduct({{0}, {4096, 16384, 65536}})->Complexity();
BENCHMARK(BM_Scale)->ArgsProduct({{1}, {4096, 16384, 65536}})->Complexity();
BENCHMARK(BM_Scale)->ArgsProduct({{2}, {4096, 16384, 65536}})->Complexity();
BENCHMARK(BM_Scale)->ArgsProduct({{3}, {4096, 16384, 65536}})->Complexity();
BENCHMARK(BM_Scale)->ArgsProduct({{4}, {4096, 16384, 65536}})->Complexity();
BENCHMARK(BM_Scale)->ArgsProduct({{5}, {4096, 16384, 65536}})->Complexity();
BENCHMARK(BM_Scale_AddElem)->Arg(4096)->Arg(16384)->Arg(65536)->Complexity();
BENCHMARK(BM_Scale_SetAttrib)->Arg(1024)->Arg(4096)->Arg(16384)->Complexity();

BENCHMARK_MAIN();
