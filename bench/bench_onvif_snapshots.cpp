// The pictures of many simulated ONVIF cameras taken through the engine
// (onvif::TakeSnapshot: media service, profiles, snapshot URI, the
// picture fetched, judged and made a thumbnail), first one camera after
// another, then with a pool of workers; the snapshot URIs it met are
// written out for a peer (curl) to fetch in the same run. Run it only
// through bench/onvif-snapshots (inside scripts/netns-run).
//   bench_onvif_snapshots CAMERAS WORKERS PASSWORD_FILE URI_FILE
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "OnvifActions.h"
#include "OnvifSearch.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Round {
    int done = 0;
    std::size_t bytes = 0, thumbnails = 0;
    double seconds = 0;
};

// Takes every camera's picture with `workers` threads (1: one after another).
Round TakeAll(const std::vector<onvif::CameraRecord>& cameras, int workers,
              const SharedSecret& password, std::vector<onvif::SnapshotResult>* results) {
    results->assign(cameras.size(), onvif::SnapshotResult());
    std::atomic<std::size_t> next{0};
    const auto start = Clock::now();
    auto work = [&] {
        for (std::size_t i = next++; i < cameras.size(); i = next++) {
            onvif::ActionContext context;
            context.password = password;
            (*results)[i] = onvif::TakeSnapshot(cameras[i], onvif::SnapshotRequest(), context);
        }
    };
    std::vector<std::thread> pool;
    for (int w = 0; w < workers; ++w)
        pool.emplace_back(work);
    for (std::thread& t : pool)
        t.join();
    Round r;
    r.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    for (const onvif::SnapshotResult& s : *results) {
        r.done += s.outcome == onvif::Outcome::Done;
        r.bytes += s.jpeg.size();
        r.thumbnails += s.thumbnail.jpeg.size();
    }
    return r;
}

void Print(const char* label, const Round& r, std::size_t total) {
    std::printf("  %-28s %3d/%zu pictures in %6.2f s (%5.1f ms a camera), %5.1f KB a picture, "
                "thumbnails %4.1f KB\n",
                label, r.done, total, r.seconds, 1000 * r.seconds / std::max<std::size_t>(total, 1),
                r.done ? r.bytes / 1024.0 / r.done : 0.0,
                r.done ? r.thumbnails / 1024.0 / r.done : 0.0);
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 5) {
        std::fprintf(stderr, "usage: bench_onvif_snapshots CAMERAS WORKERS PASSWORD_FILE URI_FILE\n");
        return 2;
    }
    const std::size_t wanted = std::strtoul(argv[1], nullptr, 10);
    const int workers = std::max(1, std::atoi(argv[2]));
    std::string text;
    std::getline(std::ifstream(argv[3]) >> std::ws, text);
    const SharedSecret password = MakeSharedSecret(text.data(), text.size());
    onvif::CameraSearch search;
    if (!search.Start(nullptr, 0))
        return std::fputs("bench_onvif_snapshots: no camera search\n", stderr), 1;
    const auto begin = Clock::now();
    while (search.Cameras().size() < wanted && Clock::now() - begin < std::chrono::seconds(10))
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    std::vector<onvif::CameraRecord> cameras = search.Cameras();
    std::printf("  %-28s %zu cameras in %.2f s\n", "search", cameras.size(),
                std::chrono::duration<double>(Clock::now() - begin).count());
    std::vector<onvif::SnapshotResult> results;
    Print("engine, one after another", TakeAll(cameras, 1, password, &results), cameras.size());
    std::ofstream uris(argv[4]);
    for (std::size_t i = 0; i < cameras.size(); ++i) {
        std::string target;
        if (results[i].outcome == onvif::Outcome::Done &&
            onvif::HoldToCamera(cameras[i], results[i].uri, &target) == onvif::Outcome::Done)
            uris << target << "\n";
    }
    const std::string label = "engine, " + std::to_string(workers) + " workers";
    Print(label.c_str(), TakeAll(cameras, workers, password, &results), cameras.size());
    for (const onvif::SnapshotResult& r : results)
        if (r.outcome != onvif::Outcome::Done) {
            std::printf("  first failure: %s\n", r.detail.c_str());
            break;
        }
    return 0;
}
