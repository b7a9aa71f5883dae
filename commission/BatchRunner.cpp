#include "BatchRunner.h"

#include <cstring>
#include <numeric>

#include "Activation.h"
#include "LorvexManage.h"
#include "OnvifReaddress.h"
#include "Outcomes.h"

namespace commission {

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kMaxPasswordRefusals = 2;

std::string Field(const char* field, size_t width) {
    return std::string(field, strnlen(field, width));
}
#define FIELD_OF(record, name) Field((record).name, sizeof((record).name))

void WipeEntrySecrets(std::vector<PlanEntry>* plan) {
    for (PlanEntry& e : *plan) {
        WipeSecret(&e.password);
        WipeSecret(&e.setupCode);
    }
}

// A port text of the plan that asks for a change: not empty and not "0".
bool PortAsked(const std::string& text) { return !text.empty() && text != "0"; }

} // namespace

const char* BatchStateName(BatchState state) {
    switch (state) {
    case BatchState::Waiting:
        return "waiting";
    case BatchState::Sending:
        return "sending";
    case BatchState::Verifying:
        return "verifying";
    case BatchState::Rebooting:
        return "rebooting";
    case BatchState::Done:
        return "done";
    case BatchState::Refused:
        return "refused";
    case BatchState::NotConfirmed:
        return "not confirmed";
    case BatchState::Skipped:
        return "skipped";
    case BatchState::Gone:
        return "gone";
    }
    return "";
}

RefusalReason ReasonOf(lorvex::Outcome outcome) {
    using lorvex::Outcome;
    switch (outcome) {
    case Outcome::Done:
        return RefusalReason::None;
    case Outcome::Refused:
        return RefusalReason::Password;
    case Outcome::Unverified:
    case Outcome::IdentityConflict:
    case Outcome::CameraConflict: // two hosts claim it: as two keys for a MAC
        return RefusalReason::Identity;
    case Outcome::Locked:
    case Outcome::CameraLocked:
        return RefusalReason::Locked;
    case Outcome::NotActivated:
        return RefusalReason::NotActivated;
    case Outcome::WeakPassword:
        return RefusalReason::WeakPassword;
    case Outcome::AlreadyActive:
        return RefusalReason::AlreadyActive;
    case Outcome::SetupCodeWrong:
        return RefusalReason::SetupCode;
    case Outcome::CameraWrongCredentials:
        return RefusalReason::Credentials;
    case Outcome::CameraNoAnswer:
        return RefusalReason::NoAnswer;
    case Outcome::CameraOutOfReach:
        return RefusalReason::OutOfReach;
    case Outcome::CameraCertificateChanged:
        return RefusalReason::CertificateChanged;
    case Outcome::CameraClockOff:
        return RefusalReason::ClockOff;
    case Outcome::CameraBadAddress:
        return RefusalReason::Rule;
    case Outcome::CameraBadReply:
    case Outcome::CameraTooLarge:
    case Outcome::CameraRefused:
        return RefusalReason::Fault;
    case Outcome::CameraUnsupported:
    case Outcome::NoPicture:
        return RefusalReason::Unsupported;
    case Outcome::CameraBadPicture:
    case Outcome::CameraPictureTooLarge:
        return RefusalReason::BadPicture;
    default:
        return outcome >= Outcome::IpHostAllOnes && outcome <= Outcome::GatewayHostAllZeros
                   ? RefusalReason::Rule
                   : RefusalReason::Other;
    }
}

DeviceStatus StatusOfOutcome(lorvex::Outcome outcome) {
    if (outcome == lorvex::Outcome::Done)
        return {BatchState::Done, RefusalReason::None, 0, false, false};
    if (outcome == lorvex::Outcome::CameraNotConfirmed)
        return {BatchState::NotConfirmed, RefusalReason::None, 0, false, false};
    return {BatchState::Refused, ReasonOf(outcome), 0, false, false};
}

const char* RefusalReasonName(RefusalReason reason) {
    switch (reason) {
    case RefusalReason::None:
        return "";
    case RefusalReason::Password:
        return "password";
    case RefusalReason::Identity:
        return "identity";
    case RefusalReason::Locked:
        return "locked";
    case RefusalReason::NotActivated:
        return "not activated";
    case RefusalReason::NoAnswer:
        return "no answer";
    case RefusalReason::Rule:
        return "rule";
    case RefusalReason::WeakPassword:
        return "weak password";
    case RefusalReason::AlreadyActive:
        return "already active";
    case RefusalReason::Credentials:
        return "wrong credentials";
    case RefusalReason::OutOfReach:
        return "out of reach";
    case RefusalReason::Fault:
        return "fault";
    case RefusalReason::Other:
        return "other";
    case RefusalReason::CertificateChanged:
        return "certificate changed";
    case RefusalReason::ClockOff:
        return "camera clock off";
    case RefusalReason::SetupCode:
        return "setup code wrong";
    case RefusalReason::NoSetupCode:
        return "no setup code";
    case RefusalReason::Unsupported:
        return "not supported by this device";
    case RefusalReason::BadPicture:
        return "picture unreadable";
    }
    return "";
}

const char* PlanStepName(PlanStep step) {
    switch (step) {
    case PlanStep::None:
        return "";
    case PlanStep::Activation:
        return "activation";
    case PlanStep::Name:
        return "name";
    case PlanStep::Address:
        return "address";
    case PlanStep::Clock:
        return "clock";
    }
    return "";
}

std::string StatusText(const DeviceStatus& s) {
    std::string text =
        s.step == PlanStep::None ? std::string() : std::string(PlanStepName(s.step)) + ": ";
    text += BatchStateName(s.state);
    if (s.state == BatchState::Refused) {
        text += std::string(" (") + RefusalReasonName(s.reason);
        if (s.reason == RefusalReason::Rule || s.reason == RefusalReason::Other)
            text += " " + std::to_string(s.code);
        text += ")";
    } else if (s.state == BatchState::Skipped) {
        text += s.refusedTwice && s.reason == RefusalReason::SetupCode
                    ? " (setup code refused twice)"
                : s.refusedTwice                           ? " (password refused twice)"
                : s.reason == RefusalReason::AlreadyActive ? " (already active)"
                : s.reason == RefusalReason::NoSetupCode   ? " (no setup code)"
                                                           : " (cancelled)";
    }
    return text;
}

bool BatchSummary::AllDone(size_t total) const {
    const auto done = counts.find(BatchState::Done);
    return total == 0 || (done != counts.end() && done->second == total);
}

bool AwaitsVerification(int32_t code) {
    return code == CLorvexManage::SETNET_DONE || code == CLorvexManage::SETNET_NOT_IPC ||
           code == CLorvexManage::SETNET_NO_ANSWER;
}

namespace {

// The plan's values as the search reports them; the ports only when the
// plan changes them.
bool ShowsAddress(const PlanEntry& e, const SEARCH_INFO& record) {
    if (FIELD_OF(record, ipAddr) != e.ip || FIELD_OF(record, mask) != e.mask ||
        FIELD_OF(record, route) != e.gateway)
        return false;
    if (PortAsked(e.httpPort) && std::to_string(record.httpPort) != e.httpPort)
        return false;
    return !PortAsked(e.dataPort) || std::to_string(record.dataPort) == e.dataPort;
}

// More than the addresses asked: the row's outcome names the step it ended in.
bool ManySteps(const PlanEntry& e) {
    return !e.setupCode.empty() || !e.name.empty() || e.AsksClock();
}

} // namespace

bool ShowsEntry(const PlanEntry& e, const SEARCH_INFO& record) {
    return ShowsAddress(e, record) && (e.name.empty() || FIELD_OF(record, devName) == e.name);
}

DeviceStatus UnverifiedStatus(int32_t code, bool listed) {
    if (!listed)
        return {BatchState::Gone, RefusalReason::None, code, false, false};
    // A request nobody answered and whose effect never showed.
    if (code == CLorvexManage::SETNET_NO_ANSWER)
        return {BatchState::Refused, RefusalReason::NoAnswer, code, false, false};
    return {BatchState::NotConfirmed, RefusalReason::None, code, false, false};
}

DeviceStatus CameraRefusal(onvif::Outcome call) {
    // The batch tells "not supported" apart; the outcome table counts it
    // among the camera's refusals.
    if (call == onvif::Outcome::NotSupported)
        return {BatchState::Refused, RefusalReason::Unsupported};
    // Stopped between two calls: what went out before was not read back,
    // and the camera refused nothing.
    if (call == onvif::Outcome::Cancelled)
        return {BatchState::NotConfirmed, RefusalReason::None, 0, true};
    return StatusOfOutcome(onvif::OutcomeOfCall(call));
}

DeviceStatus CameraActionStatus(onvif::Outcome outcome, bool verified) {
    if (outcome != onvif::Outcome::Done)
        return CameraRefusal(outcome);
    return {verified ? BatchState::Done : BatchState::NotConfirmed};
}

DeviceStatus CameraBatchStatus(const onvif::ReaddressResult& result) {
    if (result.outcome == onvif::ReaddressOutcome::CallFailed)
        return CameraRefusal(result.call);
    return StatusOfOutcome(onvif::OutcomeOfReaddress(result));
}

DeviceStatus RefusalStatus(lorvex::Outcome outcome) {
    if (outcome == lorvex::Outcome::NoDevice)
        return {BatchState::Gone};
    // The maker's silence has no row of its own in ReasonOf: an address
    // batch reads it from the verification instead.
    if (outcome == lorvex::Outcome::NoAnswer)
        return {BatchState::Refused, RefusalReason::NoAnswer};
    return {BatchState::Refused, ReasonOf(outcome)};
}

std::chrono::milliseconds VerifyBoundFor(int32_t autoSearchSeconds) {
    const int32_t seconds = autoSearchSeconds > 0 ? autoSearchSeconds : 5;
    return std::chrono::milliseconds(4 * 1000 * static_cast<int64_t>(seconds) + 5000);
}

BatchRunner::BatchRunner(BatchServices services) : m_services(std::move(services)) {}

BatchRunner::~BatchRunner() {
    Cancel();
    Wait();
    WipeSecret(&m_password);
}

bool BatchRunner::Start(std::vector<PlanEntry> plan, std::string password, StatusFn onStatus,
                        FinishedFn onFinished) {
    if (m_running.load())
        return false;
    if (m_thread.joinable())
        m_thread.join();
    WipeEntrySecrets(&m_plan);
    WipeSecret(&m_password);
    m_hold.emplace(); // the process is not dumpable while the run holds passwords
    m_plan = std::move(plan);
    m_password = std::move(password);
    WipeSecret(&password);
    m_status.assign(m_plan.size(), DeviceStatus{});
    m_cancel = false;
    m_running = true;
    m_thread = std::thread(&BatchRunner::Run, this, std::move(onStatus), std::move(onFinished));
    return true;
}

void BatchRunner::Cancel() {
    {
        std::lock_guard<std::mutex> hold(m_wakeMutex);
        m_cancel = true;
    }
    m_wake.notify_all();
}

void BatchRunner::Wait() {
    if (m_thread.joinable() && m_thread.get_id() != std::this_thread::get_id())
        m_thread.join();
}

void BatchRunner::Report(size_t index, const DeviceStatus& status) {
    m_status[index] = status;
    if (m_onStatus)
        m_onStatus(index, status);
}

bool BatchRunner::SleepUnlessCancelled(std::chrono::milliseconds ms) {
    std::unique_lock<std::mutex> hold(m_wakeMutex);
    return !m_wake.wait_for(hold, ms, [this] { return m_cancel.load(); });
}

bool BatchRunner::Verified(const PlanEntry& e, PlanStep step, bool* listed) const {
    SEARCH_INFO record{};
    *listed = m_services.find(DeviceKey(e.device), &record);
    if (!*listed)
        return false;
    if (step == PlanStep::Activation || m_services.request == BatchRequest::Activation)
        return !NeedsActivation(record);
    return ShowsEntry(e, record);
}

void BatchRunner::CheckPending(std::vector<Pending>* pending, PlanStep step, bool final) {
    const auto now = Clock::now();
    for (auto it = pending->begin(); it != pending->end();) {
        bool listed = false;
        DeviceStatus status = m_status[it->index];
        const PlanEntry& e = m_plan[it->index];
        PlanStep failed = step;
        if (Verified(e, step, &listed)) {
            status.state = BatchState::Done;
        } else if (final || now >= it->deadline) {
            status = UnverifiedStatus(status.code, listed);
            // The addresses arrived and the name did not: the name failed.
            SEARCH_INFO record{};
            if (step == PlanStep::Address && !e.name.empty() &&
                m_services.find(DeviceKey(e.device), &record) && ShowsAddress(e, record))
                failed = PlanStep::Name;
        } else {
            ++it;
            continue;
        }
        Settle(it->index, status, failed);
        it = pending->erase(it);
    }
}

bool BatchRunner::LastStep(size_t index, PlanStep step) const {
    if (step == PlanStep::Activation)
        return false;
    return step != PlanStep::Address || !m_plan[index].AsksClock();
}

// A step's end for a row: a done step that is not the row's last leaves
// the row to the next one; anything else is the row's outcome.
void BatchRunner::Settle(size_t index, DeviceStatus status, PlanStep step) {
    if (status.state == BatchState::Done && step != PlanStep::None && !LastStep(index, step)) {
        m_status[index] = status;
        return;
    }
    const bool named = status.state != BatchState::Done && ManySteps(m_plan[index]) &&
                       !(status.cancelled && !m_begun[index]);
    status.step = named ? step : PlanStep::None;
    m_final[index] = true;
    Report(index, status);
}

// An activation's own outcomes; the rest read as for an address request.
void BatchRunner::ClassifyActivation(DeviceStatus* s) const {
    using lorvex::Outcome;
    switch (lorvex::OutcomeOfResult(s->code)) {
    case Outcome::Done: // the device's authentic acceptance
        *s = {BatchState::Done, RefusalReason::None, s->code, false, false};
        break;
    case Outcome::WeakPassword:
        *s = {BatchState::Refused, RefusalReason::WeakPassword, s->code, false, false};
        break;
    case Outcome::AlreadyActive:
        *s = {BatchState::Refused, RefusalReason::AlreadyActive, s->code, false, false};
        break;
    case Outcome::Refused: // no password was judged: nothing to count
        *s = {BatchState::Refused, RefusalReason::Other, s->code, false, false};
        break;
    case Outcome::SetupCodeWrong:
        *s = {BatchState::Refused, RefusalReason::SetupCode, s->code, false, false};
        break;
    default:
        break;
    }
}

std::string BatchRunner::PasswordFor(const PlanEntry& e) const {
    return e.password.empty() ? m_password : e.password;
}

DeviceStatus BatchRunner::SendOne(const PlanEntry& e, PlanStep step) {
    DeviceStatus s;
    SEARCH_INFO record{};
    if (!m_services.find(DeviceKey(e.device), &record))
        return s.state = BatchState::Gone, s;
    const bool activation =
        step == PlanStep::Activation || m_services.request == BatchRequest::Activation;
    // A device with a password keeps it: its first one is never sent again.
    if (activation && !NeedsActivation(record))
        return {BatchState::Skipped, RefusalReason::AlreadyActive, 0, false, false};
    // Without its code the device would only count a wrong try.
    if (activation && e.setupCode.empty())
        return {BatchState::Skipped, RefusalReason::NoSetupCode, 0, false, false};
    std::string password = PasswordFor(e);
    s.code = step == PlanStep::Activation ? m_services.activate(e, password)
                                          : m_services.send(e, password);
    WipeSecret(&password);
    if (activation) {
        ClassifyActivation(&s);
        if (s.reason == RefusalReason::SetupCode)
            ++m_refusals[DeviceKey(e.device)];
        // A plan's later steps need the search to list the device as
        // activated: its acceptance waits for a new answer saying so.
        if (step == PlanStep::Activation && s.state == BatchState::Done)
            s.state = BatchState::Waiting;
        if (s.state != BatchState::Waiting)
            return s;
    }
    if (AwaitsVerification(s.code)) {
        s.state = BatchState::Verifying;
        return s;
    }
    const lorvex::Outcome outcome = lorvex::OutcomeOfResult(s.code);
    if (outcome == lorvex::Outcome::NoDevice)
        return s.state = BatchState::Gone, s;
    s.state = BatchState::Refused;
    s.reason = ReasonOf(outcome);
    // The values passed the rules before sending, so a refusal is the
    // device's judgement of the password.
    if (s.reason == RefusalReason::Password)
        ++m_refusals[DeviceKey(e.device)];
    return s;
}

// A device the maker's protocol does not reach: its own request and
// verification, progress told as it comes.
bool BatchRunner::SendOther(size_t index, DeviceStatus* out) {
    if (!m_services.readdressOther)
        return false;
    const auto progress = [this, index](const DeviceStatus& s) { Report(index, s); };
    const auto cancelled = [this] { return m_cancel.load(); };
    if (!m_services.readdressOther(m_plan[index], progress, cancelled, out))
        return false;
    if (out->state == BatchState::Refused && out->reason == RefusalReason::Credentials)
        ++m_refusals[DeviceKey(m_plan[index].device)];
    return true;
}

// The name of a device not on the maker's protocol, before its address:
// false when the entry asks none or the device is the maker's.
bool BatchRunner::RenameOther(size_t index, DeviceStatus* out) {
    const PlanEntry& e = m_plan[index];
    if (e.name.empty() || !m_services.renameOther)
        return false;
    std::string password = PasswordFor(e);
    const bool other = m_services.renameOther(e, password, out);
    WipeSecret(&password);
    return other;
}

// The devices of the plan that get a first password: those the search
// lists without one whose entry has a setup code (one no longer listed is
// reported gone by the step).
std::vector<size_t> BatchRunner::RowsToActivate() {
    std::vector<size_t> rows;
    if (!m_services.activate)
        return rows;
    for (size_t i = 0; i < m_plan.size(); ++i) {
        SEARCH_INFO record{};
        if (!m_plan[i].setupCode.empty() &&
            (!m_services.find(DeviceKey(m_plan[i].device), &record) || NeedsActivation(record)))
            rows.push_back(i);
    }
    return rows;
}

void BatchRunner::RunStep(PlanStep step, const std::vector<size_t>& rows) {
    std::vector<Pending> pending;
    for (size_t n = 0; n < rows.size(); ++n) {
        const size_t i = rows[n];
        if (m_final[i])
            continue;
        const PlanEntry& e = m_plan[i];
        CheckPending(&pending, step, false);
        if (m_cancel.load()) {
            for (size_t k = n; k < rows.size(); ++k)
                if (!m_final[rows[k]])
                    Settle(rows[k], {BatchState::Skipped, RefusalReason::None, 0, true, false},
                           step);
            break;
        }
        if (m_refusals[DeviceKey(e.device)] >= kMaxPasswordRefusals) {
            // An activation sends no password a device could refuse: its
            // refusals are of the setup code.
            const bool activation =
                step == PlanStep::Activation || m_services.request == BatchRequest::Activation;
            const RefusalReason why = activation ? RefusalReason::SetupCode : RefusalReason::None;
            Settle(i, {BatchState::Skipped, why, 0, false, true}, step);
            continue;
        }
        m_begun[i] = true;
        Report(i, {BatchState::Sending, RefusalReason::None, 0, false, false,
                   ManySteps(e) ? step : PlanStep::None});
        DeviceStatus other;
        const bool renamed = step == PlanStep::Address && RenameOther(i, &other);
        if (renamed && other.state != BatchState::Done) {
            Settle(i, other, PlanStep::Name);
            continue;
        }
        SEARCH_INFO record{};
        if (renamed && m_services.find(DeviceKey(e.device), &record) && ShowsAddress(e, record)) {
            // A camera renamed at the address it keeps: nothing more to send.
            Settle(i, {BatchState::Done, RefusalReason::None, 0, false, false}, step);
            continue;
        }
        if (step == PlanStep::Address && SendOther(i, &other)) {
            Settle(i, other, step);
            continue;
        }
        DeviceStatus s = SendOne(e, step);
        if (s.state == BatchState::Verifying) {
            s.step = ManySteps(e) ? step : PlanStep::None;
            Report(i, s);
            pending.push_back({i, Clock::now() + m_services.verifyBound});
        } else {
            Settle(i, s, step);
        }
    }
    while (!pending.empty() && SleepUnlessCancelled(m_services.pollEvery))
        CheckPending(&pending, step, false);
    CheckPending(&pending, step, true);
}

void BatchRunner::RunClockStep(PlanStep step) {
    const bool every = m_services.request == BatchRequest::Clock;
    const auto cancelled = [this] { return m_cancel.load(); };
    std::vector<Pending> pending;
    for (size_t i = 0; i < m_plan.size(); ++i) {
        const PlanEntry& e = m_plan[i];
        if (m_final[i] || !(every || e.AsksClock()))
            continue;
        if (m_cancel.load()) {
            Settle(i, {BatchState::Skipped, RefusalReason::None, 0, true, false}, step);
            continue;
        }
        int& refusals = m_refusals[DeviceKey(e.device)];
        if (refusals >= kMaxPasswordRefusals) {
            Settle(i, {BatchState::Skipped, RefusalReason::None, 0, false, true}, step);
            continue;
        }
        m_begun[i] = true;
        Report(i, {BatchState::Sending, RefusalReason::None, 0, false, false, step});
        DeviceStatus s{BatchState::Refused, RefusalReason::Unsupported, 0, false, false};
        if (m_services.setClock) {
            std::string password = PasswordFor(e);
            s = m_services.setClock(e, password, cancelled);
            WipeSecret(&password);
        }
        if (s.state == BatchState::Refused &&
            (s.reason == RefusalReason::Password || s.reason == RefusalReason::Credentials))
            ++refusals;
        if (s.state == BatchState::Verifying) {
            Report(i, {BatchState::Verifying, RefusalReason::None, 0, false, false, step});
            pending.push_back({i, Clock::now() + m_services.verifyBound});
        } else {
            Settle(i, s, step);
        }
    }
    // Read back together: each answer of the search tells every clock. A
    // cancel ends the wait: what was read by then counts, the rest is not
    // confirmed.
    while (!pending.empty()) {
        const bool final = !SleepUnlessCancelled(m_services.pollEvery);
        for (auto it = pending.begin(); it != pending.end();) {
            const std::optional<bool> read = m_services.clockRead
                                                 ? m_services.clockRead(m_plan[it->index])
                                                 : std::optional<bool>();
            if (!read && !final && Clock::now() < it->deadline) {
                ++it;
                continue;
            }
            Settle(it->index, {read.value_or(false) ? BatchState::Done : BatchState::NotConfirmed},
                   step);
            it = pending.erase(it);
        }
    }
}

void BatchRunner::Run(StatusFn onStatus, FinishedFn onFinished) {
    m_onStatus = std::move(onStatus);
    m_final.assign(m_plan.size(), false);
    m_begun.assign(m_plan.size(), false);
    std::vector<size_t> all(m_plan.size());
    std::iota(all.begin(), all.end(), size_t{0});
    if (m_services.request == BatchRequest::Activation) {
        RunStep(PlanStep::None, all);
    } else if (m_services.request == BatchRequest::Clock) {
        RunClockStep(PlanStep::None);
    } else {
        RunStep(PlanStep::Activation, RowsToActivate());
        RunStep(PlanStep::Address, all);
        RunClockStep(PlanStep::Clock);
    }
    BatchSummary summary;
    for (const DeviceStatus& s : m_status)
        ++summary.counts[s.state];
    WipeEntrySecrets(&m_plan);
    WipeSecret(&m_password);
    m_hold.reset();
    m_running = false;
    if (onFinished)
        onFinished(summary);
}

} // namespace commission
