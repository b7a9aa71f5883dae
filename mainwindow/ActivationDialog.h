// The dialog in which an installer gives many new devices their first
// password at once: one password typed twice for all of them, or a
// different generated password per device kept only in a secret CSV file
// the installer saves first; each device with the setup code from its
// label, as a barcode scanner types the labels' QR codes into a text box
// (or from a file of such lines). A sibling of BatchDialog on the same base
// (BatchDialogBase): the same status column, summary and outcome file.
#pragma once

#include "BatchDialogBase.h"
#include "SearchInfo.h"
#include "SetupCodes.h"

#include <QString>

class QButtonGroup;
class QGridLayout;
class QLineEdit;
class QPlainTextEdit;
class ZVKCheckBox;
class ZVKLabel;
class ZVKPushButton;

// ActivationDialog lists the devices it is given, in their order; those that
// have a password already are shown as skipped and never get one. The
// codes box takes `MAC,CODE` lines (SetupCodes.h) and is read as it
// changes: the line under it names the first faulty line, and the device
// list shows which devices to activate have a code. A device without one
// is skipped (no setup code) and sent nothing. Nothing is sent before
// Apply. Apply needs codes that read without fault for at least one device
// to activate and, in the one-password mode, a password that meets the
// first-password rule for every device and is the same in both fields; in
// the generated mode, a passwords file saved since the mode was chosen and
// since the devices with codes last changed (no device gets a password
// nobody has, and the file holds passwords only for devices with a code).
// Apply wipes the password fields and the codes box. While a batch runs the
// fields are locked, Stop cancels after the device in flight and closing
// the dialog stops the batch first. The outcome stays on show and can be
// saved as CSV, without passwords or codes.
//
// Children carry object names for tests: oneForAllBox, generatedBox,
// passwordField, repeatField, verdict, secretInfo, secretButton,
// secretPath, codesBox, codesButton, codesInfo, applyButton, stopButton,
// saveButton, closeButton2, planTree, planInfo.
class ActivationDialog : public BatchDialogBase {
    Q_OBJECT
public:
    // Columns of the device tree.
    enum Column { ColMac, ColName, ColType, ColAddress, ColCode, ColStatus, ColCount };

    // `selected`: the devices, in the device tree's order. `services` send
    // through Activate (their request is set to activation here).
    ActivationDialog(std::vector<SEARCH_INFO> selected, commission::BatchServices services,
                     QWidget* parent = nullptr);
    // Stops a running batch (after the device in flight), waits for it, and
    // wipes every password the dialog holds.
    ~ActivationDialog() override;

    // The generated mode (true) or the one-password mode.
    void setGenerated(bool generated);
    // Generates a new password for every device that needs one and has a
    // setup code, and writes them to the new file `path` (mode 0600, never
    // over an existing file). False, with the reason on show and no
    // password kept, when it cannot or no such device is there.
    bool saveSecretFile(const QString& path);
    // Puts the setup codes of the file at `path` into the codes box (read
    // as typed ones are). False, with the reason under the box and the box
    // untouched, when the file cannot be read or is over
    // kMaxSetupCodesBytes.
    bool loadCodesFile(const QString& path);
    // Starts the batch; false when no device needs a password or a batch
    // runs, and false with a message box when what the mode needs is
    // missing (a password that meets the rule, or the saved file) or no
    // device to activate has a code.
    bool apply() override;

    // How many of the devices have no password yet.
    int needingCount() const;
    // How many of those, not activated by a run since, have a setup code in
    // the codes box.
    int codedCount() const;
    // The text under the codes box for a fault of its codes.
    static QString codesErrorText(const commission::SetupCodesError& error);

    // The key of the line under the password fields while typing: as
    // ActivationVerdictKey, with the rule checked against every device that
    // needs a password (its MAC and name); IDCS_PASSWORD_RULE_MET only when
    // it passes for all.
    static const char* verdictKey(const QString& password, const QString& repeat,
                                  const std::vector<SEARCH_INFO>& devices);

private:
    void setStatus(size_t index, const commission::DeviceStatus& status) override;
    void lockFields(bool locked) override;
    void batchEnded() override;
    void buildFields();
    void buildTree();
    void onPasswordChanged();
    void onSecretClicked();
    void buildCodes(QGridLayout* grid, int row);
    void onCodesChanged();
    bool readCodes(std::vector<commission::SetupCodeEntry>* codes,
                   commission::SetupCodesError* error) const;
    void showCodeColumn();
    std::vector<bool> openDevices() const;
    std::vector<bool> passwordTargets() const;
    void forgetSecret();
    void updateApply();
    bool generated() const;

    std::vector<SEARCH_INFO> m_selected;
    std::vector<bool> m_needs;     // by index: the device has no password yet
    std::vector<bool> m_hasCode;   // by index: the codes box gives the device's MAC a code
    bool m_codesOk = true;         // the codes box reads without fault
    std::vector<bool> m_secretFor; // the devices the saved passwords file covers
    commission::BatchServices m_services;
    bool m_secretSaved = false; // passwords generated into m_plan and saved to the file

    ZVKLabel* m_intro = nullptr;
    QButtonGroup* m_modes = nullptr;
    ZVKCheckBox* m_oneForAll = nullptr;
    ZVKCheckBox* m_generated = nullptr;
    QLineEdit* m_password = nullptr;
    QLineEdit* m_repeat = nullptr;
    ZVKLabel* m_rule = nullptr;
    ZVKLabel* m_verdict = nullptr;
    ZVKLabel* m_secretInfo = nullptr;
    ZVKPushButton* m_secretButton = nullptr;
    ZVKLabel* m_secretPath = nullptr;
    QPlainTextEdit* m_codesBox = nullptr;
    ZVKPushButton* m_codesButton = nullptr;
    ZVKLabel* m_codesInfo = nullptr;
};
