// The form that asks one of the maker's devices to show itself: what it
// will do and for how long, and the device's password, which the request
// carries sealed.
#pragma once

#include "CustomDialog.h"

class QLineEdit;
class ZVKLabel;
class ZVKPushButton;

// OK is enabled while the password field holds something; password() is
// valid after accept and wiped by clearPassword() (and when the form goes).
//
// Children carry object names for tests: identifyInfo, passwordField,
// okButton, cancelButton.
class IdentifyDialog : public CustomDialog {
    Q_OBJECT
public:
    // `device` names the device as the installer reads it ("Name (MAC)").
    IdentifyDialog(const QString& mac, const QString& device, int seconds,
                   QWidget* parent = nullptr);
    ~IdentifyDialog() override;
    QString password() const;
    void clearPassword();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    ZVKLabel* m_info = nullptr;
    ZVKLabel* m_passwordLabel = nullptr;
    QLineEdit* m_password = nullptr;
    ZVKPushButton* m_ok = nullptr;
    ZVKPushButton* m_cancel = nullptr;
};
