// The two dialogs of device identity: confirming a key no trusted maker
// certified (shown its fingerprint, once per session), and activating a
// device with its first password (typed twice, the rule shown while typing)
// and the setup code from its label.
#pragma once

#include "CustomDialog.h"

#include <string>

class QLineEdit;
class ZVKLabel;
class ZVKPushButton;

// Accepted (Yes) only when the user compared the fingerprint and chose to
// send; No and the close button reject it.
class KeyConfirmDialog : public CustomDialog {
    Q_OBJECT
public:
    KeyConfirmDialog(const QString& mac, const QString& fingerprint, QWidget* parent = nullptr);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    ZVKLabel* m_text = nullptr;
    ZVKLabel* m_fingerprint = nullptr;
    ZVKPushButton* m_yes = nullptr;
    ZVKPushButton* m_no = nullptr;
};

// The activation form of one device. The setup code field shows the code's
// format until something is typed, takes only what a code (or the label's
// QR text, as a scanner types it) can hold, and says while typing when the
// code is mistyped or the label is another device's. OK is enabled only
// while the code is the device's in form and both password fields hold the
// same password that passes the rule; password() and setupCode() are valid
// after accept and wiped by clearPassword().
//
// Children carry object names for tests: activateInfo, setupCodeField,
// codeVerdict, passwordField, repeatField, rule, verdict, okButton,
// cancelButton.
class ActivateDialog : public CustomDialog {
    Q_OBJECT
public:
    ActivateDialog(const QString& mac, const QString& deviceName, QWidget* parent = nullptr);
    ~ActivateDialog() override;
    QString password() const;
    // The setup code in canonical form ("ABCD-EFGH-JKMN"); empty unless the
    // field holds a complete code of this device.
    std::string setupCode() const;
    // Wipes the password fields and the setup code field.
    void clearPassword();

protected:
    void resizeEvent(QResizeEvent* event) override;

private slots:
    void slot_textChanged();

private:
    void codeKeyRefused();

    QString m_mac, m_name;
    ZVKLabel* m_info = nullptr;
    ZVKLabel* m_codeLabel = nullptr;
    QLineEdit* m_code = nullptr;
    ZVKLabel* m_codeVerdict = nullptr;
    ZVKLabel* m_passwordLabel = nullptr;
    ZVKLabel* m_repeatLabel = nullptr;
    QLineEdit* m_password = nullptr;
    QLineEdit* m_repeat = nullptr;
    ZVKLabel* m_rule = nullptr; // always shown
    ZVKLabel* m_verdict = nullptr;
    ZVKPushButton* m_ok = nullptr;
    ZVKPushButton* m_cancel = nullptr;
};

// The placeholder of a setup code field: the code's format.
extern const char kSetupCodeFormat[];
