#include "SiteCommands.h"

#include <arpa/inet.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <functional>
#include <optional>
#include <sstream>
#include <thread>

#include "CommissionCommands.h"
#include "DeviceClock.h"
#include "DeviceCommands.h"
#include "DeviceRecord.h"
#include "Jpeg.h"
#include "LorvexManage.h"
#include "LorvexVersion.h"
#include "OnvifActions.h"
#include "OnvifReaddress.h"
#include "OnvifSearch.h"
#include "Outcomes.h"
#include "SearchSession.h"
#include "SearchWire.h"

namespace site_cli {

namespace {

using Clock = std::chrono::steady_clock;

// Cameras worked on at once by set-time and report.
constexpr size_t kWorkers = 8;

int Usage(const std::string& reason) { return cli::UsageError(reason); }

int ExitOf(lorvex::Outcome outcome) { return lorvex::ExitCodeOf(outcome); }

bool IsMac(const std::string& text) {
    char mac[18];
    return CLorvexManage::NormalizeMac(text.c_str(), mac);
}

// Runs work(0..count-1) on at most kWorkers threads, each index once.
void ForEachAtOnce(size_t count, const std::function<void(size_t)>& work) {
    std::atomic<size_t> next{0};
    std::vector<std::thread> workers;
    for (size_t n = 0; n < std::min(kWorkers, count); ++n)
        workers.emplace_back([&] {
            for (size_t i = next++; i < count; i = next++)
                work(i);
        });
    for (std::thread& t : workers)
        t.join();
}

bool ReadSearchSeconds(const cli::ParsedArgs& args, double* seconds) {
    *seconds = 3;
    return !args.Has("--seconds") || cli::ParseSeconds(args.Get("--seconds", ""), 0, 3600, seconds);
}

// The password of the command's options, wiped from the temporary text.
bool ReadCredentials(const cli::ParsedArgs& args, const char* command, SharedSecret* password) {
    std::string error, text = device::DevicePassword(args, command, &error);
    if (!error.empty()) {
        WipeSecret(&text);
        Usage(error);
        return false;
    }
    *password = MakeSharedSecret(text.data(), text.size());
    WipeSecret(&text);
    return true;
}

onvif::ActionContext ContextFor(const cli::ParsedArgs& args, const SharedSecret& password) {
    onvif::ActionContext context;
    context.user = args.Get("--user", "admin");
    context.password = password;
    context.stop = cli::StopFlag();
    return context;
}

bool WriteWhole(const std::string& path, const std::string& bytes, std::string* error) {
    const std::string temporary = path + ".part";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        if (out)
            out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        if (!out || (out.close(), !out)) {
            *error = "cannot write " + temporary;
            std::remove(temporary.c_str());
            return false;
        }
    }
    if (std::rename(temporary.c_str(), path.c_str()) != 0) {
        *error = "cannot write " + path;
        std::remove(temporary.c_str());
        return false;
    }
    return true;
}

// The line and exit code of a picture that was not taken.
int SnapshotFailure(const onvif::CameraRecord& camera, const onvif::SnapshotResult& r) {
    std::string line;
    int code = onvif_cli::ExitForOutcome(r.outcome);
    if (r.image == snapshot::ImageCheck::TooLarge) {
        line = lorvex::RowOf(lorvex::Outcome::CameraPictureTooLarge).text;
        code = onvif_cli::kPictureTooLarge;
    } else if (r.image != snapshot::ImageCheck::Ok) {
        line = std::string(lorvex::RowOf(lorvex::Outcome::CameraBadPicture).text) + " (" +
               snapshot::ImageCheckName(r.image) + ")";
        code = onvif_cli::kBadPicture;
    } else {
        // The picture's result carries no clock offset: a camera refused
        // for its clock is said so by the detail, not by the clock advice.
        if (r.outcome != onvif::Outcome::ClockOff)
            line = onvif_cli::Advice(r.outcome, camera.endpoint, 0, camera.claimants);
        if (line.empty())
            line = "failed: " + (r.detail.empty() ? onvif::OutcomeName(r.outcome) : r.detail);
    }
    std::printf("%s: %s\n", camera.endpoint.c_str(), line.c_str());
    return code;
}

} // namespace

int RunSnapshot(const cli::ParsedArgs& args) {
    const std::string target = args.positionals[0];
    if (!args.Has("--output"))
        return Usage("snapshot needs --output FILE");
    if (IsMac(target) && !args.Has("--onvif"))
        return device::RunSnapshot(args, WriteWhole);
    double seconds;
    if (!ReadSearchSeconds(args, &seconds))
        return Usage("bad value for --seconds");
    SharedSecret password;
    if (!ReadCredentials(args, "snapshot", &password))
        return ExitOf(lorvex::Outcome::UsageError);
    onvif::CameraSearch search;
    const Clock::time_point start = Clock::now();
    if (!search.Start(nullptr, 5))
        return Usage("no network interface to search on");
    onvif::CameraRecord camera;
    if (!onvif_cli::FindCamera(search, target, seconds, start, &camera)) {
        std::printf("%s: failed: no ONVIF camera found by this MAC or endpoint\n", target.c_str());
        return ExitOf(lorvex::Outcome::NoDevice);
    }
    onvif_cli::EnsureCameraRoute(camera);
    onvif::SnapshotRequest request;
    request.thumbnail = false;
    const onvif::SnapshotResult r =
        onvif::TakeSnapshot(camera, request, ContextFor(args, password));
    if (r.outcome != onvif::Outcome::Done)
        return SnapshotFailure(camera, r);
    std::string error;
    const std::string path = args.Get("--output", "");
    if (!WriteWhole(path, r.jpeg, &error)) {
        std::fprintf(stderr, "lorvex-search: %s\n", error.c_str());
        return ExitOf(lorvex::Outcome::NotAllDone);
    }
    std::printf("%s: done: %dx%d picture, %zu bytes, written to %s\n", camera.endpoint.c_str(),
                r.width, r.height, r.jpeg.size(), path.c_str());
    return 0;
}

namespace {

// What set-time did to one target.
struct ClockLine {
    std::string line; // without the target's name
    bool done = false;
};

enum class DeviceKind { OnvifCamera, MakerDevice };

// The kind of device a set-time target names: an endpoint, or a MAC with
// --onvif, is an ONVIF camera; a MAC without it, the maker's device.
DeviceKind KindOf(const std::string& target, const cli::ParsedArgs& args) {
    return IsMac(target) && !args.Has("--onvif") ? DeviceKind::MakerDevice
                                                 : DeviceKind::OnvifCamera;
}

std::string OffsetWords(bool known, long long offset) {
    return known ? report::OffsetText(offset) : std::string("unknown");
}

ClockLine CameraClock(const onvif::CameraRecord& camera, const onvif::ClockRequest& request,
                      const onvif::ActionContext& context) {
    onvif_cli::EnsureCameraRoute(camera);
    const onvif::ClockResult r = onvif::SetClock(camera, request, context);
    ClockLine out;
    const std::string offsets = "clock offset before " +
                                OffsetWords(r.beforeKnown, r.before.offset) + ", after " +
                                OffsetWords(r.afterKnown, r.after.offset);
    if (r.outcome == onvif::Outcome::Done) {
        out.done = r.verified;
        out.line = std::string(r.verified ? "done: " : "not confirmed: ") + offsets;
        if (!r.after.type.empty())
            out.line += " (" + r.after.type +
                        (r.after.timeZone.empty() ? "" : ", time zone " + r.after.timeZone) + ")";
        return out;
    }
    out.line = onvif_cli::Advice(r.outcome, camera.endpoint, r.before.offset, camera.claimants);
    if (out.line.empty())
        out.line = "failed: " + (r.detail.empty() ? onvif::OutcomeName(r.outcome) : r.detail) +
                   "; " + offsets;
    return out;
}

// The clock of the device target names, set as request asks: the one
// place where set-time tells the devices' kinds apart. cameras holds the
// ONVIF cameras found by then.
ClockLine SetDeviceClock(const std::string& target, DeviceKind kind,
                         const std::map<std::string, onvif::CameraRecord>& cameras,
                         const onvif::ClockRequest& request, const onvif::ActionContext& context) {
    switch (kind) {
    case DeviceKind::OnvifCamera: {
        const auto found = cameras.find(target);
        if (found == cameras.end())
            return {"failed: no ONVIF camera found by this MAC or endpoint", false};
        return CameraClock(found->second, request, context);
    }
    case DeviceKind::MakerDevice:
        break; // set one at a time by MakerClocks: a request awaits its own answer
    }
    return {"failed: not an ONVIF camera", false};
}

// How long the new answers that read the clocks back are awaited.
constexpr double kClockSeenSeconds = 5;

// Progress on standard error, only when it is a terminal.
void ShowProgress(size_t done, size_t count) {
    if (isatty(STDERR_FILENO) == 1)
        std::fprintf(stderr, "\rset-time: %zu/%zu%s", done, count, done == count ? "\n" : "");
}

// The maker's devices' search of set-time, with their clocks read as
// their answers arrive.
struct MakerClockRun {
    lorvex::ClockReadings readings; // attached to search: declared first, gone last
    cli::SearchSession search{5, &readings};
    lorvex::ClockReadBack readBack{readings};
};

// The clocks of the maker's devices the MACs and the selection options
// name, one request at a time; a line per device in the selection's order.
// The offsets come from answers read as they arrive: before, from the
// search; after, from the round that follows the requests.
std::vector<std::pair<std::string, ClockLine>>
MakerClocks(const cli::ParsedArgs& args, const std::vector<std::string>& macs,
            const CLorvexManage::ClockSetting& setting, const std::string& password,
            double seconds) {
    std::vector<std::pair<std::string, ClockLine>> out;
    MakerClockRun run;
    // Until every MAC named is read (or S seconds); S seconds for a filter
    // selection.
    run.search.SearchUntil(seconds, [&] {
        lorvex::ClockReading r;
        return !macs.empty() && std::all_of(macs.begin(), macs.end(), [&](const auto& mac) {
            return run.readings.Latest(mac, &r);
        });
    });
    std::string missing;
    const std::vector<SEARCH_INFO> selected =
        commission_cli::SelectMakerDevices(args, macs, run.search.Manager(), &missing);
    std::stringstream list(missing);
    for (std::string mac; std::getline(list >> std::ws, mac, ',');)
        out.push_back({mac, {"failed: not found by the search; nothing sent", false}});
    std::vector<lorvex::Outcome> outcomes(selected.size(), lorvex::Outcome::Interrupted);
    std::vector<lorvex::ClockReading> before(selected.size());
    std::vector<bool> known(selected.size(), false);
    for (size_t i = 0; i < selected.size() && !cli::Stopped(); ++i) {
        ShowProgress(i, selected.size());
        known[i] = run.readings.Latest(selected[i].mac, &before[i]);
        run.readBack.Sent(selected[i].mac);
        outcomes[i] = run.search.Manager().SetClock(selected[i].mac, password.c_str(), setting);
        if (outcomes[i] == lorvex::Outcome::Done)
            run.readBack.Accepted(selected[i].mac);
    }
    ShowProgress(selected.size(), selected.size());
    const auto readBack = [&](size_t i, lorvex::ClockReading* after) {
        return run.readBack.Read(selected[i].mac, setting.ntpServer, setting.timeZone, after);
    };
    if (std::count(outcomes.begin(), outcomes.end(), lorvex::Outcome::Done) > 0) {
        run.search.Manager().RefreshSearch(true); // every device answers anew
        run.search.SearchUntil(kClockSeenSeconds, [&] {
            for (size_t i = 0; i < selected.size(); ++i)
                if (outcomes[i] == lorvex::Outcome::Done && !readBack(i, nullptr))
                    return false;
            return true;
        });
    }
    for (size_t i = 0; i < selected.size(); ++i) {
        lorvex::ClockReading after;
        const std::optional<bool> set = readBack(i, &after);
        const std::string offsets = "clock offset before " +
                                    OffsetWords(known[i], before[i].offset) + ", after " +
                                    OffsetWords(set.has_value(), after.offset);
        ClockLine line;
        if (outcomes[i] == lorvex::Outcome::Interrupted) {
            line.line = "not reached: stopped before its turn; nothing sent";
        } else if (outcomes[i] != lorvex::Outcome::Done) {
            line.line = std::string("failed: ") + lorvex::RowOf(outcomes[i]).text + "; " + offsets;
        } else {
            const std::string mismatch =
                set ? lorvex::ClockMismatch(after, setting.ntpServer, setting.timeZone) : "";
            line.done = set.value_or(false);
            line.line = std::string(line.done ? "done: " : "not confirmed: ") + offsets +
                        (mismatch.empty() ? "" : "; read back: " + mismatch);
        }
        out.push_back({selected[i].mac, line});
    }
    return out;
}

// Searches until every camera target is found or the time is up; the
// cameras by target, each judged on the whole answer window.
std::map<std::string, onvif::CameraRecord> FindCameras(const std::vector<std::string>& targets,
                                                       double seconds) {
    std::map<std::string, onvif::CameraRecord> found;
    onvif::CameraSearch search;
    const Clock::time_point start = Clock::now();
    if (!search.Start(nullptr, 5))
        return found;
    const auto end = start + std::chrono::duration<double>(seconds);
    for (const std::string& target : targets) {
        onvif::CameraRecord camera;
        const double left = std::chrono::duration<double>(end - Clock::now()).count();
        if (onvif_cli::FindCamera(search, target, std::max(left, 0.0), start, &camera))
            found[target] = camera;
    }
    return found;
}

} // namespace

int RunSetTime(const cli::ParsedArgs& args) {
    if (!args.Has("--ntp") && !args.Has("--now"))
        return Usage("set-time needs --ntp HOST (the clocks follow that server) or --now (the "
                     "clocks are set to this computer's time)");
    onvif::ClockRequest request;
    request.ntp = args.Has("--ntp");
    request.ntpServer = args.Get("--ntp", "");
    request.timeZone = args.Get("--time-zone", "");
    onvif::NtpServer server;
    if (request.ntp && !onvif::ParseNtpServer(request.ntpServer, &server))
        return Usage("not an NTP server address or host name: " + request.ntpServer);
    if (args.Has("--time-zone") && !onvif::ValidPosixTimeZone(request.timeZone))
        return Usage("not a POSIX time zone (such as CET-1CEST,M3.5.0,M10.5.0/3 or UTC0): " +
                     request.timeZone);
    double seconds;
    if (!ReadSearchSeconds(args, &seconds))
        return Usage("bad value for --seconds");
    std::string error;
    if (!commission_cli::ReadMakerFilter(args, &error))
        return Usage(error);
    // The targets: those named, then those of --mac; each goes by its kind.
    std::vector<std::string> targets = args.positionals, cameraTargets, makerMacs;
    std::stringstream list(args.Get("--mac", ""));
    for (std::string item; std::getline(list, item, ',');)
        targets.push_back(item);
    const bool filter = args.Has("--type") || args.Has("--subnet");
    if (targets.empty() && !filter)
        return Usage("set-time needs devices: MACs, endpoints, or a selection (--mac, --type, "
                     "--subnet)");
    for (const std::string& target : targets) {
        if (KindOf(target, args) == DeviceKind::OnvifCamera) {
            cameraTargets.push_back(target);
            continue;
        }
        char mac[18];
        CLorvexManage::NormalizeMac(target.c_str(), mac);
        makerMacs.push_back(mac);
    }
    if (filter && (!cameraTargets.empty() || args.Has("--onvif")))
        return Usage("--type and --subnet select the maker's devices; name ONVIF cameras by "
                     "endpoint without them");
    CLorvexManage::ClockSetting setting;
    setting.ntpServer = request.ntpServer;
    setting.timeZone = request.timeZone;
    setting.setTime = true; // with a server too: right at once, as the cameras are
    if ((!makerMacs.empty() || filter) &&
        ((request.ntp && !lorvex::wire::IsClockNtpServer(setting.ntpServer)) ||
         (!setting.timeZone.empty() && !lorvex::wire::IsClockTimeZone(setting.timeZone))))
        return Usage("the maker's devices take NTP servers and time zones of letters, digits "
                     "and . - : (zones also < > + , /) only");
    SharedSecret password;
    if (!ReadCredentials(args, "set-time", &password))
        return ExitOf(lorvex::Outcome::UsageError);
    std::vector<ClockLine> lines(cameraTargets.size());
    if (!cameraTargets.empty()) {
        const std::map<std::string, onvif::CameraRecord> cameras =
            FindCameras(cameraTargets, seconds);
        onvif::ActionContext context = ContextFor(args, password);
        ForEachAtOnce(cameraTargets.size(), [&](size_t i) {
            onvif::ActionContext own = context;
            own.deadline = Clock::now() + onvif::kActionTimeLimit;
            lines[i] =
                SetDeviceClock(cameraTargets[i], DeviceKind::OnvifCamera, cameras, request, own);
        });
    }
    bool all = true;
    for (size_t i = 0; i < cameraTargets.size(); ++i) {
        std::printf("%s: %s\n", cameraTargets[i].c_str(), lines[i].line.c_str());
        all = all && lines[i].done;
    }
    if (!makerMacs.empty() || filter) {
        const auto makers = MakerClocks(args, makerMacs, setting, *password, seconds);
        for (const auto& [mac, line] : makers) {
            std::printf("%s: %s\n", mac.c_str(), line.line.c_str());
            all = all && line.done;
        }
        all = all && !makers.empty();
    }
    if (cli::Stopped())
        return ExitOf(lorvex::Outcome::Interrupted);
    return ExitOf(all ? lorvex::Outcome::Done : lorvex::Outcome::NotAllDone);
}

std::map<std::string, CameraTake> TakeCameras(const std::vector<onvif::CameraRecord>& cameras,
                                              const std::string& user, const SharedSecret& password,
                                              Clock::time_point deadline,
                                              const std::vector<std::string>& named, bool all) {
    std::vector<CameraTake> takes(cameras.size());
    std::vector<bool> asked(cameras.size(), false);
    ForEachAtOnce(cameras.size(), [&](size_t i) {
        const onvif::CameraRecord& camera = cameras[i];
        if (!onvif_cli::NamedForLogin(camera, named, all))
            return;
        asked[i] = true;
        CameraTake& take = takes[i];
        const onvif::Outcome allowed = onvif::LoginAllowed(camera);
        if (allowed != onvif::Outcome::Done) {
            take.note = onvif::OutcomeName(allowed);
            return;
        }
        {
            onvif::DeviceClient client(camera.xaddr, user, password);
            client.SetEndpoint(camera.endpoint);
            client.SetDeadline(deadline);
            take.clockKnown =
                client.GetSystemDateAndTime(&take.clockOffset) == onvif::Outcome::Done;
        }
        onvif::ActionContext context;
        context.user = user;
        context.password = password;
        context.deadline = deadline;
        context.stop = cli::StopFlag();
        const onvif::SnapshotResult r = onvif::TakeSnapshot(camera, {}, context);
        if (r.outcome == onvif::Outcome::Done && !r.thumbnail.jpeg.empty()) {
            take.thumbnail = r.thumbnail.jpeg;
            take.width = r.thumbnail.width;
            take.height = r.thumbnail.height;
        } else {
            take.note = r.image != snapshot::ImageCheck::Ok ? snapshot::ImageCheckName(r.image)
                                                            : onvif::OutcomeName(r.outcome);
        }
    });
    std::map<std::string, CameraTake> out;
    for (size_t i = 0; i < cameras.size(); ++i)
        if (asked[i])
            out[cameras[i].endpoint] = std::move(takes[i]);
    return out;
}

namespace {

// A maker's camera's picture, fetch and decode, once its token is granted.
constexpr int32_t kMakerPictureTimeLimitMs = 6000;
// The only type of the maker's devices that serves a picture.
constexpr char kMakerCameraType[] = "ZVK_IPC";

std::string Field(const char* text, size_t width) {
    return std::string(text, strnlen(text, width));
}

} // namespace

std::map<std::string, CameraTake> TakeMakerPictures(CLorvexManage& manager,
                                                    const std::vector<SEARCH_INFO>& devices,
                                                    const std::string& password) {
    device::EnsureLinkLocalRoute(manager);
    std::map<std::string, CameraTake> out;
    for (const SEARCH_INFO& d : devices) {
        if (Field(d.productSeries, sizeof d.productSeries) != kMakerCameraType)
            continue;
        if (cli::Stopped())
            break;
        const std::string mac = Field(d.mac, sizeof d.mac);
        CameraTake& take = out[mac];
        const MakerSnapshot r =
            manager.TakeSnapshot(mac.c_str(), password.c_str(), kMakerPictureTimeLimitMs);
        snapshot::Thumbnail thumbnail;
        if (r.outcome != lorvex::Outcome::Done)
            take.note = lorvex::RowOf(r.outcome).text;
        else if (snapshot::MakeThumbnail(reinterpret_cast<const std::uint8_t*>(r.jpeg.data()),
                                         r.jpeg.size(), snapshot::DecodeLimits{},
                                         &thumbnail) != snapshot::ImageCheck::Ok)
            take.note = lorvex::RowOf(lorvex::Outcome::CameraBadPicture).text;
        else {
            take.thumbnail = std::move(thumbnail.jpeg);
            take.width = thumbnail.width;
            take.height = thumbnail.height;
        }
    }
    return out;
}

namespace {

report::Identity IdentityOf(const std::string& name) {
    if (name == "verified")
        return report::Identity::Certified;
    if (name == "confirmed")
        return report::Identity::Confirmed;
    return report::Identity::Unverified;
}

// Rows by IPv4 address as numbers, equal addresses by MAC, rows without
// an address last, as list's table has them.
std::pair<std::uint64_t, std::string> AddressOrder(const report::Row& row) {
    in_addr address{};
    const std::uint64_t key = inet_pton(AF_INET, row.address.c_str(), &address) == 1
                                  ? ntohl(address.s_addr)
                                  : std::uint64_t{1} << 32;
    return {key, row.macOrEndpoint};
}

} // namespace

std::vector<report::Row> ReportRows(const onvif_cli::Listing& list,
                                    const std::vector<onvif::CameraRecord>& cameras,
                                    const std::map<std::string, CameraTake>& taken) {
    std::map<std::string, const onvif::CameraRecord*> byEndpoint;
    for (const onvif::CameraRecord& camera : cameras)
        byEndpoint[camera.endpoint] = &camera;
    std::vector<report::Row> rows;
    for (size_t i = 0; i < list.rows.size(); ++i) {
        const SEARCH_INFO& d = list.rows[i];
        report::Row row;
        row.name = Field(d.devName, sizeof d.devName);
        row.type = Field(d.productSeries, sizeof d.productSeries);
        row.model = Field(d.productModel, sizeof d.productModel);
        row.macOrEndpoint = Field(d.mac, sizeof d.mac);
        row.address = Field(d.ipAddr, sizeof d.ipAddr);
        row.mask = Field(d.mask, sizeof d.mask);
        row.gateway = Field(d.route, sizeof d.route);
        row.firmware = Field(d.softwareVer, sizeof d.softwareVer);
        row.identity = IdentityOf(list.identities[i]);
        const format::Field* activation = nullptr;
        for (const format::Field& f : format::RecordFields())
            if (std::string(f.name) == "deviceActivated")
                activation = &f;
        if (activation != nullptr)
            row.activation = format::DisplayValue(d, *activation);
        const std::string& endpoint = list.endpoints[i];
        const auto camera = byEndpoint.find(endpoint);
        if (!endpoint.empty() && camera != byEndpoint.end() &&
            row.type == devicelist::kCameraTypeCode) {
            const onvif::CameraRecord& c = *camera->second;
            row.name = c.name;
            row.model = c.info.model.empty() ? c.hardware : c.info.model;
            row.firmware = c.info.firmware;
            if (c.mac.empty())
                row.macOrEndpoint = c.endpoint;
        }
        const auto take = taken.find(endpoint.empty() ? row.macOrEndpoint : endpoint);
        if (take != taken.end()) {
            row.clockKnown = take->second.clockKnown;
            row.clockOffset = take->second.clockOffset;
            row.thumbnailJpeg = take->second.thumbnail;
            row.thumbnailWidth = take->second.width;
            row.thumbnailHeight = take->second.height;
            row.snapshotNote = take->second.note;
        }
        rows.push_back(std::move(row));
    }
    std::stable_sort(rows.begin(), rows.end(), [](const report::Row& a, const report::Row& b) {
        return AddressOrder(a) < AddressOrder(b);
    });
    return rows;
}

report::Header ReportHeader(const std::string& site) {
    report::Header header;
    header.site = site;
    char text[64] = "";
    const std::time_t now = std::time(nullptr);
    struct tm utc {};
    if (gmtime_r(&now, &utc) != nullptr)
        std::strftime(text, sizeof text, "%Y-%m-%d %H:%M UTC", &utc);
    header.date = text;
    char host[256] = "";
    if (gethostname(host, sizeof host - 1) == 0)
        header.pc = host;
    header.version = LORVEX_VERSION;
    return header;
}

} // namespace site_cli
