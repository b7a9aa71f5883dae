// Carries out an address plan: one configuration request at a time, on a
// thread of its own, each device counted as done only once the running
// search sees it at its new address.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "AddressPlan.h"
#include "Outcomes.h"
#include "Secret.h"
#include "SearchInfo.h"

namespace onvif {
enum class Outcome;
struct ReaddressResult;
} // namespace onvif

namespace commission {

enum class BatchState {
    Waiting,      // not reached yet
    Sending,      // its request is out
    Verifying,    // sent; waiting for the search to see it at its new address
    Rebooting,    // an ONVIF camera restarts to take its new address
    Done,         // the search saw it at its new address
    Refused,      // the device or the address rules refused; `reason` says why
    NotConfirmed, // no sign of the new address within the verification bound
    Skipped,      // nothing sent: cancelled, refused a password twice before, or
                  // (activation) the device has a password already, or no setup
                  // code was given for it, or its code was refused twice before
    Gone,         // no longer answers the search
};

enum class RefusalReason {
    None,
    Password,           // the device refused the request: a wrong password
    Identity,           // the device's key is not verified, or two keys claim its MAC:
                        // no password was sent
    Locked,             // the device is locked after wrong passwords
    NotActivated,       // the device has no password yet
    NoAnswer,           // no answer to the request and no sign of the new address
    Rule,               // the address rules refused the values; nothing was sent
    WeakPassword,       // activation: the password breaks the first-password rule
    AlreadyActive,      // activation: the device has a password already
    Credentials,        // an ONVIF camera refused the user name or password
    OutOfReach,         // an ONVIF camera has no address this computer reaches
    Fault,              // an ONVIF camera refused with a fault or answered nonsense
    Other,              // any other result; `code` holds it
    CertificateChanged, // an ONVIF camera's HTTPS certificate is not the pinned one
    ClockOff,           // an ONVIF camera's clock is too far off to sign its login
    SetupCode,          // activation: the device refused the setup code (a try counted)
    NoSetupCode,        // activation: no setup code was given for the device; nothing sent
    Unsupported,        // the device has no way to take the step (a clock); nothing sent
    BadPicture,         // a camera's picture is no JPEG read whole within the image bounds
};

// The steps a plan takes a device through, in this order: its first
// password (when it has none and the plan gives its setup code), its name
// and address (for the maker's devices in one request), its clock.
enum class PlanStep { None, Activation, Name, Address, Clock };

struct DeviceStatus {
    DeviceStatus() = default;
    DeviceStatus(BatchState state, RefusalReason reason = RefusalReason::None, int32_t code = 0,
                 bool cancelled = false, bool refusedTwice = false, PlanStep step = PlanStep::None)
        : state(state), reason(reason), code(code), cancelled(cancelled),
          refusedTwice(refusedTwice), step(step) {}

    BatchState state = BatchState::Waiting;
    // Why Refused; for a device Skipped by an activation: AlreadyActive,
    // NoSetupCode, or SetupCode with refusedTwice.
    RefusalReason reason = RefusalReason::None;
    int32_t code = 0;          // the request's result code, when it was sent
    bool cancelled = false;    // Skipped because the batch was cancelled
    bool refusedTwice = false; // Skipped because of two password (or setup code) refusals
    // The plan step an unfinished or failed status is of; None for a
    // single-step batch and for a row done with every step.
    PlanStep step = PlanStep::None;
};

// Why a batch counts a device refused whose request ended in `outcome`
// (a row of lorvex::Outcome's table, of either protocol): Password for the
// maker's refusal, Identity for an unverified, contested or claimed
// device, Rule for an address the rules or the camera refuse, Fault for a
// camera's fault or nonsense, BadPicture for a picture that does not
// decode, Unsupported for a device with no picture, Other for an outcome
// of no reason of its own; None for Done.
RefusalReason ReasonOf(lorvex::Outcome outcome);

// The final status of a device whose request ended in `outcome` with no
// verification of the batch's own to come (an ONVIF camera's re-address):
// Done, NotConfirmed, or Refused for ReasonOf(outcome).
DeviceStatus StatusOfOutcome(lorvex::Outcome outcome);

// A camera's re-address result as a batch row's final status: done, not
// confirmed, or refused for wrong credentials, locked, no answer, out of
// reach, an address rule (the camera would not take the values), or a
// fault (any other failure).
DeviceStatus CameraBatchStatus(const onvif::ReaddressResult& result);
// A camera call's failure in a batch's terms (Refused with its reason; an
// offer the camera lacks is Unsupported; an action the batch's cancel
// stopped between its calls is NotConfirmed, marked cancelled).
DeviceStatus CameraRefusal(onvif::Outcome call);
// A camera action's end: Done only when it read back what it was asked.
DeviceStatus CameraActionStatus(onvif::Outcome outcome, bool verified);

// "activation", "name", "address", "clock"; "" for None.
const char* PlanStepName(PlanStep step);

// Stable lower-case names, as written to CSV files and the command line.
const char* BatchStateName(BatchState state);
const char* RefusalReasonName(RefusalReason reason);
// "refused (password)", "skipped (cancelled)", "done", ...; a plan step's
// failure leads with its step: "activation: refused (setup code wrong)".
std::string StatusText(const DeviceStatus& status);

struct BatchSummary {
    std::map<BatchState, size_t> counts; // every final state that occurred
    // Every one of `total` devices done; true for an empty plan.
    bool AllDone(size_t total) const;
};

// What a batch asks of each device.
enum class BatchRequest {
    Address,    // the plan's steps: activation where the entry has a setup code and
                // the device has no password, then name and addresses (SetNetParam),
                // then the clock where asked; done once every step is verified
    Activation, // the password as the device's first (Activate), with the
                // entry's setup code; an entry without one is skipped. Done
                // once the device accepts it, or the search sees it activated
    Clock,      // every device's clock (setClock): each request in plan order, the
                // ones accepted read back together afterwards (clockRead)
};

// What the runner talks to the devices through.
struct BatchServices {
    BatchRequest request = BatchRequest::Address;
    // Sends the entry's request with this password (and, for an
    // activation, the entry's setup code) and returns the search manager's
    // SetNetParam or Activate code. Called on the runner's thread.
    std::function<int32_t(const PlanEntry& entry, const std::string& password)> send;
    // The running search's record of the device with this key (DeviceKey:
    // a MAC, or a camera's endpoint); false when not listed.
    std::function<bool(const std::string& mac, SEARCH_INFO* out)> find;
    // How long after its request a device has to be seen at its new address.
    std::chrono::milliseconds verifyBound{20000};
    std::chrono::milliseconds pollEvery{50};
    // Re-addresses a device that is not on the maker's protocol (an ONVIF
    // camera), verification included: false when entry is the maker's,
    // which `send` and `find` serve. Otherwise *out is the final status
    // (Done, NotConfirmed, Refused or Gone); `progress` hears Verifying and
    // Rebooting as they begin; `cancelled` turns true once the batch is
    // cancelled. Called on the runner's thread, one device at a time; may
    // be empty (every device is the maker's).
    using ProgressFn = std::function<void(const DeviceStatus& status)>;
    std::function<bool(const PlanEntry& entry, const ProgressFn& progress,
                       const std::function<bool()>& cancelled, DeviceStatus* out)>
        readdressOther;
    // Plans: gives the entry's device its first password with the entry's
    // setup code (Activate's code). Empty: no device of a plan is activated.
    std::function<int32_t(const PlanEntry& entry, const std::string& password)> activate;
    // Plans: names a device not on the maker's protocol (an ONVIF camera)
    // entry.name, read back. False when the entry is the maker's, whose
    // name travels with its addresses in `send`; otherwise *out is Done
    // (read back as asked) or Refused. May be empty.
    std::function<bool(const PlanEntry& entry, const std::string& password, DeviceStatus* out)>
        renameOther;
    // Plans: sets the clock as the entry asks (ntp, timeZone) and reads it
    // back: Done only when read back as asked; Refused with Unsupported
    // (nothing sent) for a device that has no way to take it; Verifying for
    // a request accepted and left to clockRead. `cancelled` turns true once
    // the batch is cancelled (a camera's calls stop there). Empty: every
    // clock step is Unsupported.
    std::function<DeviceStatus(const PlanEntry& entry, const std::string& password,
                               const std::function<bool()>& cancelled)>
        setClock;
    // Plans: for a device whose setClock came back Verifying (sent, to be
    // read back from a later answer), whether its clock reads as asked:
    // true, false (read otherwise), or empty while no new answer told.
    // Polled every pollEvery until verifyBound; empty: never read.
    std::function<std::optional<bool>(const PlanEntry& entry)> clockRead;
};

// What "done" means for an address request, the same for a batch and for
// a single device. A request whose result is `code` went out and now waits
// for the search to show the device at its new values (verifying) when
// the device accepted, is not an IP camera (it does not report), or did
// not answer (the answer may be lost).
bool AwaitsVerification(int32_t code);
// Whether the search's record of the device shows the entry's new address,
// mask and gateway, each port the entry changes and the name it asks for:
// it is done.
bool ShowsEntry(const PlanEntry& entry, const SEARCH_INFO& record);
// The end of a verification that ran out (`listed`: whether the search
// still lists the device): not confirmed while it is listed, refused for
// no answer when the request was not answered either, gone when it no
// longer answers the search.
DeviceStatus UnverifiedStatus(int32_t code, bool listed);

// A refused request of the maker's protocol other than an address or an
// activation (a clock, say) as a batch's final status: gone for a device
// not listed, refused with its reason (a wrong password, locked, not
// activated, identity, no answer, other).
DeviceStatus RefusalStatus(lorvex::Outcome outcome);

// The verification bound that suits an automatic search every `seconds`
// (0: off, taken as the default 5): four rounds plus the devices' answer
// window. A device the search misses once is still confirmed, and one that
// left shortly before its request is reported gone by the search (three
// missed full rounds after the one it left in) before the bound ends.
std::chrono::milliseconds VerifyBoundFor(int32_t autoSearchSeconds);

// Runs a plan on its own thread. A plan (BatchRequest::Address) goes step
// by step: every device's activation, then every device's name and
// address, then every clock, each step verified before a device's next
// one; a device whose step fails stops there, its status naming the step. Statuses go to `onStatus`
// (index into the plan, new status) and the end to `onFinished`, both on the runner's thread.
// Requests are made in plan order, one at a time; verifications overlap with later requests (a
// device of readdressOther is verified before the next request). A MAC whose password (or camera
// login, or setup code) was refused twice (in this runner's lifetime, over any number of runs) gets
// no further request: each refusal counts toward the device's own lock-out.
class BatchRunner {
public:
    using StatusFn = std::function<void(size_t index, const DeviceStatus& status)>;
    using FinishedFn = std::function<void(const BatchSummary& summary)>;

    explicit BatchRunner(BatchServices services);
    // Cancels and waits for the thread.
    ~BatchRunner();
    BatchRunner(const BatchRunner&) = delete;
    BatchRunner& operator=(const BatchRunner&) = delete;

    // Starts a run of `plan`; an entry without a password of its own uses
    // `password`. False, and nothing started, while a run is going on. The
    // plan's passwords and setup codes are wiped when the run ends.
    bool Start(std::vector<PlanEntry> plan, std::string password, StatusFn onStatus,
               FinishedFn onFinished);
    // No request after the one in flight; devices not reached are Skipped
    // (with the step they stopped before, when one was done), and devices
    // still being verified are reported NotConfirmed at once.
    void Cancel();
    // Blocks until the run has finished (at once when none runs).
    void Wait();
    bool Running() const { return m_running.load(); }

private:
    struct Pending {
        size_t index;
        std::chrono::steady_clock::time_point deadline;
    };

    void Run(StatusFn onStatus, FinishedFn onFinished);
    // One step for the rows of `rows` that no earlier step finished.
    void RunStep(PlanStep step, const std::vector<size_t>& rows);
    // Every clock still open (a clock batch: every row's; a plan: those it
    // asks for); `step` is what their statuses name.
    void RunClockStep(PlanStep step);
    std::vector<size_t> RowsToActivate();
    bool LastStep(size_t index, PlanStep step) const;
    void Settle(size_t index, DeviceStatus status, PlanStep step);
    DeviceStatus SendOne(const PlanEntry& entry, PlanStep step);
    bool SendOther(size_t index, DeviceStatus* out);
    bool RenameOther(size_t index, DeviceStatus* out);
    std::string PasswordFor(const PlanEntry& entry) const;
    bool Verified(const PlanEntry& entry, PlanStep step, bool* listed) const;
    void ClassifyActivation(DeviceStatus* s) const;
    void CheckPending(std::vector<Pending>* pending, PlanStep step, bool final);
    void Report(size_t index, const DeviceStatus& status);
    bool SleepUnlessCancelled(std::chrono::milliseconds ms);

    BatchServices m_services;
    std::vector<PlanEntry> m_plan;
    std::vector<DeviceStatus> m_status;
    std::vector<bool> m_final; // the row's status is its last
    std::vector<bool> m_begun; // a request of the row's was sent
    std::string m_password;
    std::optional<NonDumpableHold> m_hold; // from Start until the passwords are wiped
    std::map<std::string, int> m_refusals; // password refusals by DeviceKey
    StatusFn m_onStatus;
    std::thread m_thread;
    std::atomic<bool> m_running{false};
    std::atomic<bool> m_cancel{false};
    std::mutex m_wakeMutex;
    std::condition_variable m_wake;
};

} // namespace commission
