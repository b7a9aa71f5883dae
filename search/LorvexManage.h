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
#include <functional>
#include <list>
#include <mutex>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "DeviceAddress.h"
#include "DeviceHttp.h"
#include "HostNet.h"
#include "Jpeg.h"
#include "Lock.h"
#include "Observer.h"
#include "Outcomes.h"
#include "SearchInfo.h"

// The picture of one of the maker's IP cameras (CLorvexManage::TakeSnapshot).
struct MakerSnapshot {
    lorvex::Outcome outcome = lorvex::Outcome::Done;
    snapshot::ImageCheck image = snapshot::ImageCheck::Ok; // what the picture was judged
    std::string jpeg;                                      // Done: the picture as it came
    int width = 0, height = 0;
    std::string comment; // its first COM segment, when it has one
};

class CLorvexManage : public CObservable<SEARCH_INFO> {
public:
    // The set-IP result stored for data that is not a decimal number.
    enum { SETIP_UNREADABLE = 1 };

    // Empty device list, automatic search off, no set-IP result (-1).
    CLorvexManage();
    // Shuts the search library down when Init started it and Shutdown was not
    // called, so that its thread never runs with this manager gone.
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

    // Ends the search library; no library call is made afterwards, and the
    // configuration requests fail at once. Once only.
    void Shutdown();

    // Handles one library event, code one of LorvexSearch.h's
    // LORVEX_SEARCH_EVENT_*: the one place where a library code becomes a
    // record's SearchEventKind. mac and xml are NUL-terminated or null.
    // Events whose MAC, upper-cased, is not six hex pairs joined by colons,
    // and other codes, are ignored. Observers are notified after the list
    // lock is left.
    void OnSearchEvent(const char* mac, int code, const char* xml);

    // The callback given to the library: OnSearchEvent on the manager `user`.
    static void SearchCallback(char* mac, int code, const char* xml, void* user);

    // Copies the stored device with this MAC (any case) into out, with event
    // SEARCH_EVENT_NEW. False, and out untouched, when there is none or the
    // text is not a MAC.
    bool FindDevice(const char* mac, SEARCH_INFO* out);

    // Number of devices in the list.
    size_t GetDeviceCount();

    // A copy of the device list, oldest first, every event SEARCH_EVENT_NEW.
    std::vector<SEARCH_INFO> GetDevices();

    // The last setIPResult a device reported, -1 when none since construction
    // or the last ResetSetIPResult. Data of decimal digits only give their
    // value (saturating); any other data (empty, "none", " 0", "0x") give
    // SETIP_UNREADABLE, so that only a plain 0 reads as acceptance. Safe from
    // any thread.
    int32_t GetSetIPResult() const { return m_setIPResult.load(); }
    void ResetSetIPResult() {
        m_lockSeconds.store(0);
        m_portsTaken.store(false);
        m_setIPResult.store(-1);
    }
    // With the last result: the seconds a locked device named (retryAfter),
    // and whether it took the ports from the sealed request (portsTaken 1).
    int32_t LastLockSeconds() const { return m_lockSeconds.load(); }
    bool LastPortsTaken() const { return m_portsTaken.load(); }

    // The generation of the device list: 0 at construction, one more each
    // time RefreshSearch or SetAutoSearch empties the list. Every event
    // carries the generation it was decided in (SEARCH_INFO::generation), so
    // an observer can tell an event of an emptied list that reaches it after
    // the refresh from one of the new list. Safe from any thread.
    uint32_t ListGeneration() const { return m_generation.load(); }

    // The automatic search interval in seconds, 0 = off.
    int32_t GetAutoSearch() const { return m_autoSearch.load(); }

    // Writes the canonical form of a MAC text ("AA:BB:CC:DD:EE:FF", upper
    // case) into out[18]; false when text is not six hex pairs with colons.
    static bool NormalizeMac(const char* text, char out[18]);
    // The six bytes of a MAC text of that form (either case); false, and
    // bytes untouched, for any other text.
    static bool MacBytesOf(const char* text, unsigned char bytes[6]);

    // Host network facilities (LorvexManageHost.cpp); window thread.

    // True when a TCP connection to address (IPv4, network byte order) and
    // port is established within timeoutMs; see ::ProbeTcpPort.
    bool ProbeTcpPort(uint32_t address, uint16_t port, int32_t timeoutMs);

    // Opens the web page of the listed device with this MAC through OpenUrl:
    // at ipAddr when its data port answers within 200 ms, else at ipAddr2;
    // the URL as DeviceWebUrl builds it. False, and nothing opened, when the
    // MAC is not listed or the record gives no usable address or port.
    bool OpenDeviceWeb(const char* mac);
    // The URL OpenDeviceWeb would open, probe included (up to 200 ms), into
    // *url; opens nothing. Any thread. False when OpenDeviceWeb would be.
    bool DeviceWebPage(const char* mac, std::string* url);

    // Makes devices reachable at their link-local second address: makes
    // sure the route "169.254.0.0/16 dev IFACE scope link metric 1000" is in
    // place for the interface carrying localAddress (a dotted quad), adding
    // it with the route command or, without CAP_NET_ADMIN, the route helper
    // (EnsureLinkLocalRoute, which returns what happened). Notes that
    // interface: from then on a request of this manager to a link-local
    // address (the HTTP port step, a device's web page) first makes sure the
    // route is in place, waiting for it as EnsureLinkLocalRoute does, so that
    // it never goes out before the route. Nothing runs for any other text.
    // Blocks up to files.routeWaitMs: never on the window thread. On
    // NeedsRoot the front end tells the user LinkLocalRouteAdvice, on
    // OtherInterface LinkLocalRouteCarrier.
    LinkLocalRouteState AddLinkLocalRoute(const char* localAddress,
                                          const HostNetFiles& files = HostNetFiles());

    // The command line a user with root rights runs to add the route for the
    // interface carrying localAddress; empty when there is none.
    static std::string LinkLocalRouteAdvice(const char* localAddress);

    // The interface that carries 169.254.0.0/16 now, judged for the
    // interface carrying localAddress ("*" for a route to nowhere); empty
    // when no route covers it or the text is not a local address.
    static std::string LinkLocalRouteCarrier(const char* localAddress,
                                             const HostNetFiles& files = HostNetFiles());

    // The interface carrying localAddress (the one the route is for); empty
    // when the text is not a local address.
    static std::string LinkLocalRouteInterface(const char* localAddress);

    // The local adapter's address, mask, default gateway and first DNS
    // server as dotted quads (ReadLocalNetInfo); empty what the host lacks.
    // Null outputs are skipped.
    void GetLocalNetInfo(std::string* ip, std::string* mask, std::string* gateway, std::string* dns,
                         const HostNetFiles& files = HostNetFiles());

    // Every up IPv4 address of the host, the one GetLocalNetInfo reports
    // first (ListLocalInterfaces).
    std::vector<LocalInterface> GetLocalInterfaces() { return ListLocalInterfaces(); }
    // The web page URL of device at addressText (converted to a 32-bit
    // address and back, so only a dotted quad reaches the URL): httpType 1
    // "https://A:P"; else port 80 "http://A"; else "http://A:P". False for an
    // unreadable address or an HTTP port outside 1 to 65535.
    static bool DeviceWebUrl(const SEARCH_INFO& device, const char* addressText, std::string* url);

    // Configuration requests (LorvexManageConfig.cpp); window thread.

    // Result codes of SetNetParam. 1 to 8 are the address rules of
    // CheckNetParam (NetParamCode in NetParam.h); nothing is sent for them.
    enum SetNetParamResult : int32_t {
        SETNET_DONE = 0,       // accepted, and the port change succeeded when one was asked
        SETNET_NO_ANSWER = 9,  // an IP camera gave no set-IP answer within 3000 ms
        SETNET_FAILED = 10,    // refused by the device, port change failed, or a port
                               // text not a decimal 1 to 65535 (then nothing is sent)
        SETNET_NOT_IPC = 11,   // not an IP camera: sent, no answer is awaited
        SETNET_NO_DEVICE = 12, // the MAC is not in the device list: nothing is sent
        SETNET_TOO_LONG = 13,  // the request does not fit one datagram (an over-long
                               // password, say): nothing is sent
        // Outcomes of device identity and of the device's own guards; the
        // numbers above keep their meaning, new ones are only appended.
        SETNET_UNVERIFIED = 14,       // the device's key is not certified by a trusted maker and
                                      // the user has not confirmed it this session: nothing sent
        SETNET_CONFLICT = 15,         // two different keys answer for this MAC: nothing sent
        SETNET_LOCKED = 16,           // the device refuses requests after repeated wrong
                                      // passwords; LastLockSeconds() tells how long still
        SETNET_NOT_ACTIVATED = 17,    // the device has no password yet: activate it first
        SETNET_NO_PRESENCE = 18,      // restore refused: the reset button was not pressed
                                      // within the last 10 minutes
        SETNET_WEAK_PASSWORD = 19,    // activation refused: the password breaks the strength rule
        SETNET_ALREADY_ACTIVE = 20,   // activation refused: the device has a password already
        SETNET_SETUP_CODE_WRONG = 21, // activation: the text is not a setup code (nothing
                                      // sent), or the device refused it (a try counted)
    };

    // Asks the listed device with this MAC (any case) to take ip, mask and
    // gateway (dotted quads), DHCP on or off and, when their texts are not
    // empty, new HTTP and data ports. The password goes into the request and
    // nowhere else. Blocks: an IP camera is waited for up to 3000 ms; when it
    // accepts and both ports are given and differ from the stored ones, they
    // are changed over its HTTP interface (a 200 ms probe, up to three
    // GetPortConfig attempts when the stored RTSP port is 0 and an attempt
    // failed, none more after a reply without the port; one SetPortConfig).
    // An IP camera changes its ports only as a pair: given one port alone,
    // SETNET_DONE means the addresses were taken and the ports left as they
    // were (front ends refuse such a request before calling). A `name`
    // that is not empty becomes the device's name (devName) in the same
    // request; one that breaks lorvex::wire::IsDeviceName gives
    // SETNET_FAILED with nothing sent. Null texts count as empty. After
    // Shutdown it returns SETNET_FAILED at once. Returns a
    // SetNetParamResult or an address-rule code.
    int32_t SetNetParam(const char* mac, const char* ip, const char* mask, const char* gateway,
                        const char* password, const char* httpPort, const char* dataPort, bool dhcp,
                        const char* name = nullptr);

    // Gives the listed device with this MAC the name `name` (devName, see
    // lorvex::wire::IsDeviceName), its addresses, DHCP and ports left as the
    // search last reported them: SetNetParam with those values and the
    // name, so its outcomes; SETNET_FAILED for an empty name.
    int32_t Rename(const char* mac, const char* name, const char* password);

    // What SetClock asks of a device's clock. Empty texts leave that part
    // as it is; at least one part must be asked for.
    struct ClockSetting {
        std::string ntpServer; // lorvex::wire::IsClockNtpServer; the clock then follows it
        std::string timeZone;  // lorvex::wire::IsClockTimeZone, a POSIX TZ text
        bool setTime = false;  // the host's UTC time, read just before sending
    };

    // Sets the clock of the listed device with this MAC as `clock` asks, in
    // one sealed configuration request with its password (its addresses,
    // DHCP and ports left as the search last reported them, as Rename does).
    // The outcomes of SetNetParam (Done, NoDevice, Unverified,
    // IdentityConflict, Locked, NotActivated, NoAnswer, NotIpCamera, TooLong,
    // Refused); Refused with nothing sent for a setting that breaks a rule or
    // asks for nothing. Done means the device accepted; what its clock reads
    // afterwards a new search answer tells (DeviceClockOffset). Window
    // thread; blocks up to 3000 ms.
    lorvex::Outcome SetClock(const char* mac, const char* password, const ClockSetting& clock);

    // Identity of a device (LorvexSearch.h, LORVEX_IDENTITY_*), and the
    // fingerprint of its key when fingerprint is not null and one is held.
    int32_t GetIdentity(const char* mac, std::string* fingerprint);

    // The folder LORVEX_TRUST_DIR names when it is set and not empty, else
    // empty. The search library then trusts the maker keys there besides the
    // package's own, so a device certified by one of them is listed as
    // verified: front ends show this folder whenever it is in force (the
    // window's status bar, one line on the command line's standard error),
    // in every program, so that a key slipped in through the environment
    // never passes unseen.
    static std::string TrustDirOverride();

    // Confirms an uncertified key for this session after the user compared
    // its fingerprint; false when it is not the held key's or the MAC is in
    // conflict.
    bool ConfirmIdentity(const char* mac, const char* fingerprint);

    // Gives the listed, not activated device with this MAC its first
    // password, sealed to its key, with the proof of its setup code (the
    // code on its label, in any typed form). SETNET_DONE, SETNET_NO_DEVICE,
    // SETNET_UNVERIFIED, SETNET_CONFLICT, SETNET_SETUP_CODE_WRONG (not a
    // setup code: checked here first, nothing sent; or the device refused
    // the code, which counts toward its lock like a wrong password),
    // SETNET_WEAK_PASSWORD (checked here first, nothing sent; the device
    // checks again), SETNET_ALREADY_ACTIVE, SETNET_LOCKED, SETNET_NO_ANSWER
    // (3000 ms) or SETNET_FAILED. The code is wiped here after use.
    int32_t Activate(const char* mac, const char* password, const char* setupCode);

    // Asks the listed, activated device with this MAC to show itself (its
    // light, a beep, a mark on its screen) for `seconds` seconds, 1 to
    // LORVEX_IDENTIFY_MAX_SECONDS, sealed with its password. SETNET_DONE,
    // SETNET_NO_DEVICE, SETNET_UNVERIFIED, SETNET_CONFLICT, SETNET_TOO_LONG
    // (nothing sent), SETNET_NOT_ACTIVATED, SETNET_LOCKED, SETNET_NO_ANSWER
    // (3000 ms) or SETNET_FAILED (a wrong password, which counts toward the
    // device's lock; a time out of range, nothing sent; after Shutdown).
    int32_t Identify(const char* mac, const char* password, int32_t seconds);

    // The picture of the listed, activated IP camera with this MAC, its
    // password never on the wire in a usable form: a sealed request grants
    // a one-time token (random, drawn here), and one HTTP GET of the
    // camera's own address redeems it (LORVEX_TRUST_SnapshotToken). The
    // picture is at most snapshot::kMaxImageBytes and read whole as a JPEG
    // within the image bounds, the HTTP step and the decode within
    // timeLimitMs (at most kImageDeadlineMs for the fetch) after the grant
    // came, which is awaited 3000 ms. Outcomes: Done;
    // NoDevice, NoPicture (no IP camera), Unverified, IdentityConflict,
    // TooLong (nothing sent); NotActivated, Locked, Refused (a wrong
    // password, counted toward the lock), NoAnswer; for the HTTP step
    // CameraNoAnswer, CameraRefused (the token not honoured), and
    // CameraPictureTooLarge or CameraBadPicture for the picture.
    MakerSnapshot TakeSnapshot(const char* mac, const char* password, int32_t timeLimitMs);

    // Restore with its outcome: SETNET_DONE, SETNET_NO_PRESENCE (the reset
    // button was not pressed within 10 minutes), SETNET_NO_ANSWER, or
    // SETNET_FAILED (not a MAC, after Shutdown, any other refusal).
    int32_t RestoreDevice(const char* mac);

    // Asks the device with this MAC, listed or not, to restore its factory
    // password; true when it acknowledged (the library waits up to 3000 ms).
    // False, and nothing sent, when the text is not six hex pairs or after
    // Shutdown.
    bool RestoreDevicePassword(const char* mac);

    // What SetNetParam probes, talks HTTP and sleeps with; tests replace it.
    struct ConfigServices {
        PortProbe probe;
        std::function<PortConfigReply(const char* host, uint16_t port, const char* password,
                                      int32_t* rtspPort)>
            getPortConfig;
        std::function<bool(const char* host, uint16_t port, const char* password, uint16_t httpPort,
                           uint16_t netPort, uint16_t rtspPort)>
            setPortConfig;
        std::function<void(int32_t ms)> sleep;
    };
    // Empty members mean ::ProbeTcpPort (HostNet.h), ::GetPortConfig,
    // ::SetPortConfig (DeviceHttp.h) and a real sleep. Not while SetNetParam runs.
    void SetConfigServices(ConfigServices services) { m_config = std::move(services); }

    // The parts of one configuration request (LorvexManageConfig.cpp).
    struct SetIPRequest;

private:
    // Sends the configuration request r to the listed device with this MAC
    // and awaits its outcome: the body of SetNetParam.
    int32_t Configure(const char* mac, const SetIPRequest& r);

    // Oldest first; every field of a block but `event` is used.
    using DeviceList = std::list<SEARCH_INFO>;

    void ClearDevices();
    // Empties the list and starts its next generation.
    void StartNewList();
    bool OnAnswer(const char* mac, const char* xml, SEARCH_INFO* info);
    bool OnChanged(const char* mac, const char* xml, SEARCH_INFO* info);
    void OnSetIPAnswer(const char* xml);
    // Before a request to `address`: when it is a link-local address and
    // AddLinkLocalRoute noted an interface, makes sure its route is in place.
    void AwaitLinkLocalRoute(const std::string& address);
    void Append(const SEARCH_INFO& info);
    void Erase(const char* mac);
    bool LibraryUsable() const { return !m_shutdown.load(); }

    CCriticalSection m_listLock;
    DeviceList m_devices;                                          // under m_listLock
    std::unordered_map<std::string, DeviceList::iterator> m_index; // by mac, under m_listLock
    std::atomic<uint32_t> m_generation{0};                         // written under m_listLock
    std::atomic<int32_t> m_autoSearch{0};
    std::atomic<int32_t> m_setIPResult{-1};
    std::atomic<int32_t> m_lockSeconds{0};
    std::atomic<bool> m_portsTaken{false};
    std::atomic<bool> m_shutdown{false};
    bool m_initialised = false; // Init started the library
    ConfigServices m_config;    // window thread
    std::mutex m_routeLock;
    std::string m_routeAddress; // under m_routeLock: AddLinkLocalRoute's local address
    HostNetFiles m_routeFiles;  // under m_routeLock: and its files
};
