// The site report's writer for 1,000 devices (synthetic rows, each with a
// thumbnail of 20 KB) beside a peer in the same binary: the same bytes
// written to files without building them. Goal: the report for 1,000
// devices written in under 2 s.
//   bench_report                  Google Benchmark's runs
//   bench_report --sample FILE    writes a sample report of 12 rows (with
//                                 real thumbnails) to FILE and FILE.csv
#include "Jpeg.h"
#include "SiteReport.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <random>
#include <unistd.h>
#include <string>
#include <vector>

namespace {

constexpr size_t kDevices = 1000;

// A thumbnail-sized JPEG of a gradient with some noise (about 10 to 20 KB).
std::string Thumbnail(int seed) {
    snapshot::Image image;
    image.width = 320;
    image.height = 180;
    image.rgb.resize(static_cast<size_t>(image.width * image.height * 3));
    std::mt19937 random(static_cast<unsigned>(seed));
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x) {
            unsigned char* p = &image.rgb[static_cast<size_t>((y * image.width + x) * 3)];
            p[0] = static_cast<unsigned char>(x * 255 / image.width);
            p[1] = static_cast<unsigned char>((y * 255 / image.height + seed * 40) % 256);
            p[2] = static_cast<unsigned char>(random() % 64 + 96);
        }
    std::string jpeg;
    snapshot::EncodeJpeg(image, 80, "", &jpeg);
    return jpeg;
}

std::vector<report::Row> Rows(size_t count, bool realPictures) {
    std::mt19937 random(7);
    std::string noise(snapshot::kThumbnailMaxBytes, '\0');
    for (char& c : noise)
        c = static_cast<char>(random());
    std::vector<report::Row> rows(count);
    for (size_t i = 0; i < count; ++i) {
        report::Row& r = rows[i];
        const bool camera = i % 3 == 0;
        char mac[18];
        std::snprintf(mac, sizeof mac, "02:4C:56:%02X:%02X:%02X", static_cast<unsigned>(i >> 16),
                      static_cast<unsigned>(i >> 8 & 255), static_cast<unsigned>(i & 255));
        r.name = (camera ? "Gate-North-" : "Recorder <") + std::to_string(i) + (camera ? "" : ">");
        r.type = camera ? "ONVIF camera" : "ZVK_NVR";
        r.model = camera ? "DS-2CD2143G2-I" : "NVR-3208 & co";
        r.macOrEndpoint = i == 3 ? "urn:uuid:6f6e7669-6600-4000-8000-024f4e000003" : mac;
        r.address = "10.20." + std::to_string(i / 250) + "." + std::to_string(i % 250 + 1);
        r.mask = "255.255.0.0";
        r.gateway = "10.20.0.1";
        r.firmware = "V5.7.3 build 220112";
        r.identity = camera ? report::Identity::Unverified : report::Identity::Certified;
        r.activation = camera ? "" : "activated";
        r.clockKnown = camera;
        r.clockOffset = camera ? static_cast<long long>(i) * 37 - 900 : 0;
        if (camera) {
            r.thumbnailJpeg = realPictures ? Thumbnail(static_cast<int>(i)) : noise;
            r.thumbnailWidth = 160;
            r.thumbnailHeight = 90;
        }
    }
    return rows;
}

report::Header Head() { return {"Warehouse North", "2026-12-10 14:03 UTC", "laptop-07", "1.4.0"}; }

// Every row with a picture: the heaviest report of 1,000 devices.
std::vector<report::Row> AllPictured() {
    std::vector<report::Row> rows = Rows(kDevices, false);
    for (report::Row& r : rows)
        if (r.thumbnailJpeg.empty())
            r.thumbnailJpeg = rows[0].thumbnailJpeg;
    return rows;
}

void BM_ReportWritten(benchmark::State& state) {
    const std::vector<report::Row> rows = AllPictured();
    const std::string path = "/tmp/bench-report-" + std::to_string(::getpid()) + ".html";
    for (auto _ : state) {
        std::string error;
        if (!report::WriteReport(path, Head(), rows, &error))
            state.SkipWithError(error.c_str());
    }
    std::remove(path.c_str());
    std::remove(report::CsvPathFor(path).c_str());
}
BENCHMARK(BM_ReportWritten)->Unit(benchmark::kMillisecond)->UseRealTime();

// The peer: files of the same bytes, written without building them.
void BM_SameBytesWrittenPlain(benchmark::State& state) {
    const std::vector<report::Row> rows = AllPictured();
    const std::string html = report::Html(Head(), rows), csv = report::Csv(rows);
    const std::string path = "/tmp/bench-plain-" + std::to_string(::getpid());
    for (auto _ : state)
        for (const std::string* data : {&html, &csv}) {
            FILE* f = std::fopen(path.c_str(), "wb");
            if (f == nullptr || std::fwrite(data->data(), 1, data->size(), f) != data->size())
                state.SkipWithError("write failed");
            if (f != nullptr)
                std::fclose(f);
        }
    std::remove(path.c_str());
    state.counters["MiB"] = static_cast<double>(html.size() + csv.size()) / (1024 * 1024);
}
BENCHMARK(BM_SameBytesWrittenPlain)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--sample") == 0) {
        std::string error;
        if (!report::WriteReport(argv[2], Head(), Rows(12, true), &error)) {
            std::fprintf(stderr, "bench_report: %s\n", error.c_str());
            return 1;
        }
        return 0;
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}
