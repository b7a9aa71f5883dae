// BatchDialogBase: what the batch dialogs (BatchDialog re-addresses,
// ActivationDialog gives first passwords, ClockDialog sets clocks,
// PictureDialog takes pictures) do alike: the body over a strip of Apply,
// Stop, Save and Close, the device tree with its status column, the runner
// that carries a batch out off the window thread, the summary at the end,
// the outcome CSV, and the login fields of a batch over both protocols.
#pragma once

#include "AddressPlan.h"
#include "BatchRunner.h"
#include "CustomDialog.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

class QGridLayout;
class QLayout;
class QLineEdit;
class QTreeWidget;
class QVBoxLayout;
class ZVKLabel;
class ZVKPushButton;

// A batch dialog shows its fields in body() and its devices in m_tree, one
// row per entry of m_plan in order. While a batch runs, Stop and Close
// cancel it after the device in flight and the dialog stays; every status
// and the end reach the window thread through the event loop, and none
// reaches a dialog that is gone. The buttons carry the object names
// applyButton, stopButton, saveButton and closeButton2.
// The batch dialogs' form pieces. A label shows its text as it is, never as
// markup (device texts and paths), and wraps.
ZVKLabel* FormLabel(const QString& text, QWidget* parent, const char* objectName = "");
// A field of the dialogs' look holding at most maxLength characters.
QLineEdit* FormField(QWidget* parent, const char* objectName, int maxLength);
// A password field of the dialogs' look, shown as dots: 64 characters of
// up to 4 UTF-8 bytes each.
QLineEdit* PasswordField(QWidget* parent, const char* objectName);
// Overwrites what a secret field holds before clearing it.
void WipeField(QLineEdit* field);
QString FromUtf8(const std::string& text);
// An NTP server and a time zone that both protocols take: the cameras'
// rules and the maker's devices' characters.
bool IsClockServer(const std::string& text);
bool IsClockZone(const std::string& text);

class BatchDialogBase : public CustomDialog {
    Q_OBJECT
public:
    // Stops a running batch (after the device in flight) and waits for it.
    ~BatchDialogBase() override;

    // Starts the batch from the dialog's fields; false (with a message box
    // where the installer has something to mend) when it does not start.
    virtual bool apply() = 0;
    // From the start of a batch until its runner has ended.
    bool running() const;
    // The state of every entry of the plan, in its order.
    const std::vector<commission::DeviceStatus>& statuses() const { return m_statuses; }
    // The plan the batch runs, one entry per row.
    const std::vector<commission::PlanEntry>& planEntries() const { return m_plan; }
    // The plan and every outcome so far as a CSV file: byte-order mark, CRLF
    // line ends, never a password or a setup code; the dialog's own columns
    // (extraCsvHeaders) after the plan's.
    QByteArray outcomeCsv() const;
    // Writes outcomeCsv() to a new or emptied file at path; false when it
    // cannot be written whole.
    bool saveCsv(const QString& path) const;

    // The text the status column shows for a status.
    static QString statusText(const commission::DeviceStatus& status);
    // The summary the box at the end shows, one line per outcome.
    static QString summaryText(const commission::BatchSummary& summary);

signals:
    // A batch has ended; the summary box follows.
    void batchFinished();

public slots:
    // Close, Escape and the title bar's button: while a batch runs they
    // stop it (after the device in flight) and the dialog stays.
    void reject() override;

protected:
    // statusColumn: the tree's column that shows each device's status.
    // suggestedFile: the name the Save box offers.
    BatchDialogBase(int statusColumn, QString suggestedFile, QWidget* parent);

    // Makes Apply (disabled when applyEnabled is false), Stop (disabled),
    // Save and Close in the strip under the body.
    void buildButtons(bool applyEnabled);
    // Carries plan out through services on the runner's thread (made at the
    // first start) with password as the batch's; the runner holds the only
    // copy of the password afterwards. False when a batch runs already.
    bool startBatch(const commission::BatchServices& services,
                    std::vector<commission::PlanEntry> plan, std::string password);
    // Cancels a running batch and waits until its runner has ended; for
    // destructors, before the services the batch uses are gone.
    void endBatchNow();
    // Shows the status of entry index in its row (ignored beyond the plan).
    virtual void setStatus(size_t index, const commission::DeviceStatus& status);
    // Locks (or frees) the fields while a batch runs; Stop works only then.
    virtual void lockFields(bool locked) = 0;
    // Columns a dialog adds to its outcome file after the plan's: their
    // headers, and the cells of entry index (as many). None by default.
    virtual std::vector<std::string> extraCsvHeaders() const { return {}; }
    virtual std::vector<std::string> extraCsvCells(size_t /*index*/) const { return {}; }
    // What a dialog does of its own when a batch has ended, after the
    // fields are free again and before the summary is shown.
    virtual void batchEnded() {}
    // A type code as the language names it, or the code itself.
    static QString typeText(const std::string& code);
    // Makes m_tree, the plan's table in the body ("planTree"), with these
    // column headers and widths (pixels); the last column takes the rest.
    void buildPlanTree(const QStringList& headers, std::initializer_list<int> widths);
    // A grid for the body's fields with the batch dialogs' spacing: `intro`
    // across its five columns in row 0, the last column taking the rest.
    QGridLayout* buildFormGrid(QWidget* intro);
    // The body's one column, with the batch dialogs' margins and spacing,
    // holding `fields` first.
    QVBoxLayout* buildBodyColumn(QLayout* fields);
    // Fills m_plan with one entry per device, each keeping its own address,
    // mask and gateway: the plan of a batch that changes no address.
    void planDevicesAsTheyAre(std::vector<commission::PlanDevice> devices);
    // Makes m_info ("planInfo") showing `ready` and puts m_tree and it under
    // the fields of the body's column.
    void addTreeAndInfo(const QString& ready);

    // The login fields of a batch over both protocols: the maker's devices'
    // password ("passwordField"), the cameras' user ("userField") and the
    // cameras' password ("cameraPasswordField").
    struct LoginFields {
        QLineEdit* password = nullptr;
        QLineEdit* user = nullptr;
        QLineEdit* cameraPassword = nullptr;
        // Wipes both password fields (WipeField).
        void wipePasswords() const;
    };
    // Makes the login fields in the body, in the tab order above.
    LoginFields buildLoginFields();
    // Puts the login fields with their labels into grid: the devices'
    // password and the cameras' user in `row`, the cameras' password under
    // the user.
    void addLoginFields(QGridLayout* grid, int row, const LoginFields& fields);

    void resizeEvent(QResizeEvent* event) override;
    QWidget* body() const { return m_body; }

    std::vector<commission::PlanEntry> m_plan;
    std::vector<commission::DeviceStatus> m_statuses;
    QTreeWidget* m_tree = nullptr;
    ZVKLabel* m_info = nullptr;
    ZVKPushButton* m_applyButton = nullptr;
    ZVKPushButton* m_stopButton = nullptr;
    ZVKPushButton* m_saveButton = nullptr;
    ZVKPushButton* m_closeButton = nullptr;

protected slots:
    void onStopClicked();
    void onSaveClicked();

private:
    void finishBatch(const commission::BatchSummary& summary);

    const int m_statusColumn;
    const QString m_suggestedFile;
    std::unique_ptr<commission::BatchRunner> m_runner;
    QWidget* m_body = nullptr;
    QWidget* m_strip = nullptr;
};
