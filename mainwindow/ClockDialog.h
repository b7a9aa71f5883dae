// The dialog in which an installer sets the clocks of the selected devices
// of both protocols at once: an NTP server, a time zone and "set the time
// now", with each device's clock offset before and after. A sibling of
// BatchDialog on the same base (BatchDialogBase): the same status column,
// Stop, summary and outcome file.
#pragma once

#include "AddressPlan.h"
#include "BatchDialogBase.h"
#include "BatchRunner.h"

#include <QString>

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

class QLineEdit;
class ZVKCheckBox;

// ClockDialog lists the devices it is given, in their order. Apply needs an
// NTP server or "set the time now", a server and a time zone (when given)
// that pass the rules of both protocols, and a password (the cameras take
// the camera password instead when one is given); it then sends each
// device its request in turn (a camera's read back at once) and reads the
// clocks of the maker's devices that accepted back together, showing each
// offset before and after as the device reports it. While a batch runs the
// fields are locked and Stop cancels a camera's calls and the requests not
// sent yet (those devices say so); a device that accepted and was not read
// back by then is not confirmed. Apply wipes the password fields. The
// outcome file adds each device's offsets before and after.
//
// Children carry object names for tests: ntpField, zoneField, nowBox,
// userField, passwordField, cameraPasswordField, applyButton, stopButton, saveButton,
// closeButton2, planTree, planInfo.
class ClockDialog : public BatchDialogBase {
    Q_OBJECT
public:
    enum Column { ColMac, ColName, ColType, ColBefore, ColAfter, ColStatus, ColCount };

    // What to set: an NTP server the clock follows (empty: none), a POSIX
    // time zone (empty: kept), and the time by hand when there is no server.
    struct Setting {
        std::string ntpServer, timeZone;
        bool setTime = false;
    };
    // A device's clock offsets, seconds ahead of this computer's clock.
    struct Offsets {
        bool beforeKnown = false, afterKnown = false;
        long long before = 0, after = 0;
    };
    // Sets the clock of the entry's device (its password in the entry, the
    // cameras' user given): a camera's is read back at once (its final
    // status, both offsets); a maker's device that accepted is Verifying,
    // its "before" offset filled, to be read back by ReadClockFn; any other
    // status is final. Runs on the runner's thread; `cancelled` turns true
    // when the batch is stopped.
    using SetClockFn = std::function<commission::DeviceStatus(
        const commission::PlanEntry& entry, const Setting& setting, const std::string& user,
        const std::function<bool()>& cancelled, Offsets* offsets)>;
    // For a device SetClockFn left Verifying: empty while no answer told
    // its new clock; otherwise whether it reads as asked, with
    // offsets->after filled. Polled on the runner's thread.
    using ReadClockFn = std::function<std::optional<bool>(
        const commission::PlanEntry& entry, const Setting& setting, Offsets* offsets)>;
    // How the dialog reaches the clocks.
    struct Service {
        SetClockFn set;
        ReadClockFn read;
        // How long after its acceptance a clock may take to be read back.
        std::chrono::milliseconds readBound{20000};
    };

    ClockDialog(std::vector<commission::PlanDevice> selected, Service service, QString cameraUser,
                QWidget* parent = nullptr);
    // Stops a running batch and waits for it; wipes the password fields.
    ~ClockDialog() override;

    // Starts the batch; false with a message box when what it needs is
    // missing or breaks a rule, false when a batch runs.
    bool apply() override;
    // The devices, in the dialog's order.
    const std::vector<commission::PlanEntry>& plan() const { return m_plan; }
    // The offsets read for entry index so far.
    Offsets offsets(size_t index) const;
    // An offset as the offset columns show it: "+3 s", "-1825 d 0 h".
    static QString offsetText(bool known, long long seconds);

private:
    void setStatus(size_t index, const commission::DeviceStatus& status) override;
    std::vector<std::string> extraCsvHeaders() const override;
    std::vector<std::string> extraCsvCells(size_t index) const override;
    void lockFields(bool locked) override;
    void buildFields();
    void buildTree();

    // What the runner's hook reads: the setting and the cameras' user of
    // the latest Apply (written only while no batch runs), and the offsets
    // by DeviceKey, written on the runner's thread. The runner keeps the
    // services of the first Apply, so later ones reach it through here.
    struct OffsetTable {
        std::mutex lock;
        std::map<std::string, Offsets> byKey;
        Setting setting;
        std::string user;
    };
    std::shared_ptr<OffsetTable> m_offsets = std::make_shared<OffsetTable>();
    Service m_service;
    QLineEdit* m_ntp = nullptr;
    QLineEdit* m_zone = nullptr;
    ZVKCheckBox* m_now = nullptr;
    LoginFields m_login;
};
