// The two dialogs of device identity: confirming a key no trusted maker
// certified (shown its fingerprint, once per session), and activating a
// device with its first password (typed twice, the rule shown while typing).
#pragma once

#include "CustomDialog.h"

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

// The activation form of one device. OK is enabled only while both fields
// hold the same password and it passes the rule; password() is valid after
// accept and cleared (wiped) by clearPassword().
class ActivateDialog : public CustomDialog {
    Q_OBJECT
public:
    ActivateDialog(const QString& mac, const QString& deviceName, QWidget* parent = nullptr);
    ~ActivateDialog() override;
    QString password() const;
    void clearPassword();

protected:
    void resizeEvent(QResizeEvent* event) override;

private slots:
    void slot_textChanged();

private:
    QString m_mac, m_name;
    ZVKLabel* m_info = nullptr;
    ZVKLabel* m_passwordLabel = nullptr;
    ZVKLabel* m_repeatLabel = nullptr;
    QLineEdit* m_password = nullptr;
    QLineEdit* m_repeat = nullptr;
    ZVKLabel* m_rule = nullptr; // always shown
    ZVKLabel* m_verdict = nullptr;
    ZVKPushButton* m_ok = nullptr;
    ZVKPushButton* m_cancel = nullptr;
};
