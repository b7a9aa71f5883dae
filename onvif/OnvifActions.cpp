#include "OnvifActions.h"

#include <cctype>
#include <cstdlib>
#include <memory>

#include "OnvifDiscovery.h"
#include "OnvifReaddress.h"

namespace onvif {
namespace {

bool Stopped(const ActionContext& context) {
    return (context.stop != nullptr && context.stop->load()) ||
           (context.cancelled && context.cancelled());
}

std::time_t Now(const ActionContext& context) {
    return context.clock ? context.clock() : std::time(nullptr);
}

bool SameNoCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

std::unique_ptr<DeviceClient> ClientFor(const CameraRecord& camera, const ActionContext& context) {
    auto client = std::make_unique<DeviceClient>(camera.xaddr, context.user, context.password);
    client->SetEndpoint(camera.endpoint);
    client->SetDeadline(context.deadline);
    if (context.clock)
        client->SetClock(context.clock);
    return client;
}

std::string Seconds(long long offset) { return std::to_string(offset) + " s"; }

// The sentence for a failed call: the outcome, and what the camera said.
std::string Say(Outcome o, const DeviceClient& client) {
    std::string s = OutcomeName(o);
    if (o == Outcome::ClockOff)
        s += ": the camera takes only a WS-UsernameToken log-in and its clock is " +
             Seconds(client.ClockOffset()) +
             " off this computer's; no token is signed for such a clock (set it on the "
             "camera's web page)";
    else if (!client.LastFault().reason.empty() &&
             (o == Outcome::Fault || o == Outcome::Locked || o == Outcome::NotSupported))
        s += ": " + client.LastFault().reason;
    return s;
}

template <class Result> Result Ended(Result r, Outcome o, std::string detail) {
    r.outcome = o;
    r.detail = std::move(detail);
    return r;
}

template <class Result> Result Failed(Result r, Outcome o, const DeviceClient& client) {
    return Ended(std::move(r), o, Say(o, client));
}

template <class Result> Result Cancelled(Result r) {
    return Ended(std::move(r), Outcome::Cancelled, "stopped before the next call");
}

// Whether anything may go to camera at all: false with the result's
// outcome and sentence set when not.
template <class Result>
bool Allowed(const CameraRecord& camera, const ActionContext& context, Result* r) {
    if (context.password == nullptr) {
        *r = Ended(std::move(*r), Outcome::InvalidInput, "no password given");
        return false;
    }
    const Outcome allowed = LoginAllowed(camera);
    if (allowed == Outcome::Done)
        return true;
    std::string detail;
    if (allowed == Outcome::OutOfReach) {
        detail = OutOfReachDetail(camera);
    } else {
        detail = "more than one host claims this camera";
        for (std::size_t i = 0; i < camera.claimants.size(); ++i)
            detail += (i == 0 ? ": " : ", ") + camera.claimants[i];
        detail += "; nothing was sent";
    }
    *r = Ended(std::move(*r), allowed, detail);
    return false;
}

std::string HostOf(const std::string& uri) {
    XAddr x;
    return ParseXAddr(uri, &x) ? x.host : uri;
}

bool IsLinkLocal(std::uint32_t ip) { return (ip >> 16) == 0xA9FE; }

std::string NameOf(const std::vector<Scope>& scopes) {
    std::vector<std::string> items;
    for (const Scope& s : scopes)
        items.push_back(s.item);
    return ScopeValue(items, "name");
}

bool HasFixedName(const std::vector<Scope>& scopes) {
    for (const Scope& s : scopes)
        if (s.fixed && IsNameScope(s.item))
            return true;
    return false;
}

} // namespace

Outcome HoldToCamera(const CameraRecord& camera, const std::string& uri, std::string* target) {
    XAddr x, login;
    std::uint32_t ip = 0;
    if (!ParseXAddr(uri, &x))
        return Outcome::BadReply;
    if (!ParseIPv4(x.host, &ip) || !ParseXAddr(camera.xaddr, &login))
        return Outcome::OutOfReach;
    bool own = !camera.source.empty() && x.host == camera.source;
    for (std::size_t i = 0; !own && IsLinkLocal(ip) && i < camera.xaddrs.size(); ++i) {
        XAddr announced;
        own = ParseXAddr(camera.xaddrs[i], &announced) && announced.host == x.host;
    }
    if (!own)
        return Outcome::OutOfReach;
    *target = x.scheme + "://" + login.host + ":" + std::to_string(x.port) + x.path;
    return Outcome::Done;
}

RenameResult Rename(const CameraRecord& camera, const RenameRequest& request,
                    const ActionContext& context) {
    RenameResult r;
    if (!ValidCameraName(request.name))
        return Ended(r, Outcome::InvalidInput,
                     "the name must be 1 to 64 bytes of text without control characters");
    if (!Allowed(camera, context, &r))
        return r;
    auto client = ClientFor(camera, context);
    std::vector<Scope> scopes;
    if (Stopped(context))
        return Cancelled(r);
    Outcome o = client->GetScopes(&scopes);
    if (o != Outcome::Done)
        return Failed(r, o, *client);
    r.nameBefore = NameOf(scopes);
    if (HasFixedName(scopes))
        return Ended(r, Outcome::NotSupported, "the camera's name is fixed: it takes no other");
    if (Stopped(context))
        return Cancelled(r);
    o = client->SetScopes(ScopesWithName(scopes, request.name));
    if (o != Outcome::Done)
        return Failed(r, o, *client);
    const std::string host = HostnameFor(request.name);
    if (request.hostname && host.empty())
        r.hostname = HostnameStep::NoHostname;
    if (request.hostname && !host.empty()) {
        if (Stopped(context))
            return Cancelled(r);
        o = client->GetHostname(&r.hostnameBefore);
        if (o != Outcome::Done && o != Outcome::NotSupported)
            return Failed(r, o, *client);
        if (o == Outcome::Done) {
            if (Stopped(context))
                return Cancelled(r);
            o = client->SetHostname(host);
        }
        if (o == Outcome::Done) {
            r.hostname = HostnameStep::Set;
        } else if (o == Outcome::NotSupported) {
            r.hostname = HostnameStep::NotOffered;
        } else if (o == Outcome::Fault) {
            r.hostname = HostnameStep::Refused;
            r.detail =
                "the camera refused the host name " + host + ": " + client->LastFault().reason;
        } else {
            return Failed(r, o, *client);
        }
    }
    if (Stopped(context))
        return Cancelled(r);
    o = client->GetScopes(&scopes);
    if (o != Outcome::Done)
        return Failed(r, o, *client);
    r.nameAfter = NameOf(scopes);
    if (r.hostname == HostnameStep::Set) {
        if (Stopped(context))
            return Cancelled(r);
        o = client->GetHostname(&r.hostnameAfter);
        if (o != Outcome::Done)
            return Failed(r, o, *client);
    }
    const bool hostOk = r.hostname != HostnameStep::Set || SameNoCase(r.hostnameAfter, host);
    r.verified = r.nameAfter == request.name && hostOk;
    if (!r.verified)
        r.detail = "read back: the camera's name is \"" + r.nameAfter + "\"" +
                   (hostOk ? std::string() : ", its host name \"" + r.hostnameAfter + "\"");
    return r;
}

SnapshotResult TakeSnapshot(const CameraRecord& camera, const SnapshotRequest& request,
                            const ActionContext& context) {
    SnapshotResult r;
    if (!Allowed(camera, context, &r))
        return r;
    auto client = ClientFor(camera, context);
    if (Stopped(context))
        return Cancelled(r);
    Outcome o = client->GetMediaServiceFromServices(&r.mediaService);
    if (o == Outcome::NotSupported || o == Outcome::Fault || o == Outcome::BadReply) {
        if (Stopped(context))
            return Cancelled(r);
        o = client->GetMediaServiceFromCapabilities(&r.mediaService);
    }
    if (o == Outcome::NotSupported)
        return Ended(r, o, "the camera names no media service");
    if (o != Outcome::Done)
        return Failed(r, o, *client);
    std::string media;
    o = HoldToCamera(camera, r.mediaService, &media);
    if (o == Outcome::OutOfReach)
        return Ended(r, o,
                     "the camera's media service is at another host (" + HostOf(r.mediaService) +
                         "); this tool logs in only to the address a camera speaks from");
    if (o != Outcome::Done)
        return Ended(r, o, "the camera's media service address is not one this tool uses");
    if (Stopped(context))
        return Cancelled(r);
    std::vector<MediaProfile> profiles;
    o = client->GetProfiles(media, &profiles);
    if (o != Outcome::Done)
        return Failed(r, o, *client);
    const MediaProfile* profile = FirstVideoProfile(profiles);
    if (profile == nullptr)
        return Ended(r, Outcome::NotSupported, "no media profile of the camera has video");
    r.profileToken = profile->token;
    if (Stopped(context))
        return Cancelled(r);
    o = client->GetSnapshotUri(media, r.profileToken, &r.uri);
    if (o != Outcome::Done)
        return Failed(r, o, *client);
    std::string target;
    o = HoldToCamera(camera, r.uri, &target);
    if (o == Outcome::OutOfReach)
        return Ended(r, o,
                     "the camera's snapshot address names another host (" + HostOf(r.uri) +
                         "); nothing was sent there");
    if (o != Outcome::Done)
        return Ended(r, o, "the camera's snapshot address is not one this tool fetches from");
    if (Stopped(context))
        return Cancelled(r);
    ImageGetReply reply;
    o = client->FetchImage(target, std::min(request.maxBytes, snapshot::kMaxImageBytes), &reply);
    r.loggedIn = reply.digestAnswered;
    if (o == Outcome::TooLarge) {
        r.image = snapshot::ImageCheck::TooLarge;
        return Ended(r, o, "the camera's picture is larger than 4 MiB");
    }
    if (o == Outcome::NotSupported)
        return Ended(r, o,
                     "the camera gives its picture only for a password in clear (HTTP Basic); "
                     "none was sent");
    if (o != Outcome::Done)
        return Failed(r, o, *client);
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(reply.body.data());
    snapshot::DecodeLimits limits;
    limits.maxBytes = std::min(request.maxBytes, snapshot::kMaxImageBytes);
    limits.deadline = context.deadline;
    snapshot::JpegHeader header;
    r.image = snapshot::ReadJpegHeader(bytes, reply.body.size(), &header);
    if (r.image == snapshot::ImageCheck::Ok && request.thumbnail) {
        r.image = snapshot::MakeThumbnail(bytes, reply.body.size(), limits, &r.thumbnail);
    } else if (r.image == snapshot::ImageCheck::Ok) {
        snapshot::Image smallest; // the smallest scale still reads every block
        r.image = snapshot::DecodeJpeg(bytes, reply.body.size(), limits, 1, 1, &smallest);
    }
    if (r.image == snapshot::ImageCheck::TimedOut)
        return Ended(r, Outcome::NoAnswer, "the time ran out while the picture was read");
    if (r.image != snapshot::ImageCheck::Ok)
        return Ended(r, Outcome::BadReply,
                     std::string("the camera's picture: ") + snapshot::ImageCheckName(r.image) +
                         (reply.contentType.empty() ? std::string()
                                                    : " (sent as " + reply.contentType + ")"));
    r.width = header.width;
    r.height = header.height;
    r.comment = header.comment;
    r.jpeg = std::move(reply.body);
    r.verified = true;
    if (request.details && !Stopped(context))
        r.detailsRead = ReadCameraDetails(client.get(), camera.ip, &r.info) == Outcome::Done;
    return r;
}

ClockResult SetClock(const CameraRecord& camera, const ClockRequest& request,
                     const ActionContext& context) {
    ClockResult r;
    NtpServer server;
    if (!request.ntpServer.empty() && !ParseNtpServer(request.ntpServer, &server))
        return Ended(r, Outcome::InvalidInput,
                     "the NTP server must be an IPv4 or IPv6 address or a host name");
    if (!request.timeZone.empty() && !ValidPosixTimeZone(request.timeZone))
        return Ended(r, Outcome::InvalidInput,
                     "the time zone must be a POSIX TZ string, such as CST-8 or "
                     "CET-1CEST,M3.5.0,M10.5.0/3");
    if (!Allowed(camera, context, &r))
        return r;
    auto client = ClientFor(camera, context);
    if (Stopped(context))
        return Cancelled(r);
    Outcome o = client->GetClockSettings(&r.before);
    if (o == Outcome::NoAnswer || o == Outcome::CertificateChanged || o == Outcome::OutOfReach)
        return Failed(r, o, *client);
    r.beforeKnown = o == Outcome::Done;
    const bool withServer = !request.ntpServer.empty();
    if (withServer) {
        NtpSettings ntp;
        if (Stopped(context))
            return Cancelled(r);
        o = client->GetNtp(&ntp);
        if (o != Outcome::Done && o != Outcome::NotSupported)
            return Failed(r, o, *client);
        r.ntpBefore = ntp.servers;
        if (Stopped(context))
            return Cancelled(r);
        o = client->SetNtp(server);
        if (o != Outcome::Done)
            return Failed(r, o, *client);
    }
    DateTimeSetting setting;
    setting.timeZone = request.timeZone;
    for (bool ntp : {false, true}) {
        if (ntp && !request.ntp)
            break;
        setting.ntp = ntp;
        setting.utc = Now(context);
        if (Stopped(context))
            return Cancelled(r);
        o = client->SetSystemDateAndTime(setting);
        if (o != Outcome::Done)
            return Failed(r, o, *client);
        // Read at once: a later token is signed for the clock as it is now.
        if (Stopped(context))
            return Cancelled(r);
        o = client->GetClockSettings(&r.after);
        if (o != Outcome::Done)
            return Failed(r, o, *client);
        r.afterKnown = true;
    }
    if (withServer) {
        NtpSettings ntp;
        if (Stopped(context))
            return Cancelled(r);
        o = client->GetNtp(&ntp);
        if (o != Outcome::Done && o != Outcome::NotSupported)
            return Failed(r, o, *client);
        r.ntpAfter = ntp.servers;
    }
    bool serverOk = !withServer;
    for (const std::string& s : r.ntpAfter)
        serverOk = serverOk || SameNoCase(s, request.ntpServer);
    const bool typeOk = SameNoCase(r.after.type, request.ntp ? "NTP" : "Manual");
    const bool zoneOk = request.timeZone.empty() || r.after.timeZone == request.timeZone;
    const bool clockOk = std::llabs(r.after.offset) <= kClockSetTolerance;
    r.verified = serverOk && typeOk && zoneOk && clockOk;
    if (!r.verified)
        r.detail = std::string("read back: ") +
                   (typeOk ? "" : "the clock is " + r.after.type + "; ") +
                   (zoneOk ? "" : "the time zone is " + r.after.timeZone + "; ") +
                   (serverOk ? "" : "the NTP server is not the one set; ") +
                   (clockOk ? "" : "the clock is " + Seconds(r.after.offset) + " off; ");
    return r;
}

} // namespace onvif
