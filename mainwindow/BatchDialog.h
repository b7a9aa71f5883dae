// The dialog in which an installer re-addresses many devices at once: a
// plan of consecutive addresses (or one imported from CSV), shown before
// anything is sent, then carried out one device at a time with a live
// status per device and a summary at the end.
#pragma once

#include "AddressPlan.h"
#include "BatchRunner.h"
#include "BatchDialogBase.h"
#include "SearchInfo.h"
#include "Secret.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

class IpAddrEdit;
class QGridLayout;
class QLineEdit;
class QTreeWidgetItem;
class PortLineEdit;
class ZVKCheckBox;
class ZVKLineEdit;

// BatchDialog plans and carries out new addresses for the devices it is
// given, in their order. Nothing is sent before Apply, and Apply is only
// possible with a plan on show. While a batch runs the fields and the plan
// are locked, Stop cancels after the device in flight and closing the
// dialog stops the batch first. The outcome of every device stays on show
// and can be saved as CSV (never with a password).
//
// ONVIF cameras (devices of type kCameraTypeCode) go through the engine's
// readdressOther with a user name and password of their own: the session's
// when the window knows them, else those typed in the camera fields, which
// show only when cameras are selected. The batch's camera login lives in
// memory for the run only.
//
// The installer may give any row a site name of its own by editing its
// name cell (double-click or F2), before or after a plan is made; the name
// typed wins over a plan file's and is kept when the plan is made again.
// The NTP server and time zone fields ask every device of the plan for its
// clock (a plan file's own values stand where a field is empty). Both are
// checked by the rules of plan files and of the clock dialog, and a plan
// then runs its name and clock steps as an imported one does.
//
// Generated first passwords (a plan file's "(generate)" cells, or the box
// that asks one for every device) go to a secret file the installer names
// in a save box at Apply. It is written whole, readable only by its owner,
// before anything is sent; when it cannot be, nothing starts. The table and
// the outcome CSV never show a password.
//
// Children carry object names for tests: startField, maskField,
// gatewayField, passwordField, planPasswordsBox, keepPortsBox,
// httpPortField, dataPortField, cameraUserField, cameraPasswordField,
// planNtpField, planZoneField, generatePasswordsBox,
// planButton, importButton, applyButton, stopButton, saveButton,
// closeButton2, planTree, planInfo.
class BatchDialog : public BatchDialogBase {
    Q_OBJECT
public:
    // Columns of the plan tree.
    enum Column { ColMac, ColName, ColType, ColCurrent, ColNew, ColStatus, ColCount };

    // What the dialog talks to: the batch's engine services, the host's own
    // addresses, the neighbour probe (may be empty), and whether the
    // automatic search runs, without which no device can be confirmed.
    // A camera login: user name and password (null: none).
    struct CameraLogin {
        std::string user;
        SharedSecret password;
    };
    struct Engine {
        commission::BatchServices services;
        std::vector<std::string> hostAddresses;
        commission::NeighbourProbe probe;
        bool searchRunning = true;
        // The session's camera login (password null: the dialog asks) and
        // the user name offered when it asks.
        CameraLogin sessionLogin;
        std::string cameraUser = "admin";
        // Filled by apply() with the login the cameras are asked with, for
        // services.readdressOther to read while the batch runs; emptied when
        // the batch ends.
        std::shared_ptr<CameraLogin> batchLogin = std::make_shared<CameraLogin>();
    };

    // `selected`: the devices to plan for, in the device tree's order;
    // `listed`: every device the list holds (whose addresses a plan skips).
    // The start field is filled with the first selected device's address,
    // mask and gateway with the first selected ones that have them. Until
    // a plan is on show (and again after a refused one) the table lists
    // the selected devices with their current addresses.
    BatchDialog(std::vector<commission::PlanDevice> selected,
                std::vector<commission::PlanDevice> listed, Engine engine,
                QWidget* parent = nullptr);
    // The same for devices of the maker's search only.
    BatchDialog(const std::vector<SEARCH_INFO>& selected, const std::vector<SEARCH_INFO>& listed,
                Engine engine, QWidget* parent = nullptr);
    // Stops a running batch (after the device in flight) and waits for it.
    ~BatchDialog() override;

    // Makes the plan from the fields and shows it, or shows why there is
    // none (the device and the rule). With a neighbour probe the plan is
    // made off the window thread (the probe waits for the network) and
    // shown when ready, with planShown; true then means under way.
    // Otherwise true when a plan is on show.
    bool makePlan();
    // Takes a plan from the bytes of a CSV file for the listed devices, or
    // shows the file's fault with its line. True when a plan is on show.
    bool importPlan(const QByteArray& csv);
    // Starts the batch; false (and a message box) when there is no plan,
    // no password for the maker's devices of the plan, no camera login for
    // its cameras, the automatic search is off, a clock field breaks its
    // rule, the secret file of generated passwords cannot be written (or
    // its save box is cancelled), or a batch runs.
    bool apply() override;
    // The plan and every outcome so far as a CSV file (outcomeCsv).
    QByteArray planCsv() const { return outcomeCsv(); }

    const std::vector<commission::PlanEntry>& plan() const { return m_plan; }

signals:
    // A plan made by makePlan is on show.
    void planShown();

private slots:
    void onImportClicked();
    void onKeepPortsToggled(bool keep);
    void onNameEdited(QTreeWidgetItem* row, int column);

protected:
    // F2 on the plan table edits the current row's name, whichever cell
    // of the row is current.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void lockFields(bool locked) override;
    void batchEnded() override;
    void buildFields();
    void fillDefaults();
    void showSelection();
    bool takePlan(const commission::AddressPlan& plan);
    void showPlan(const std::vector<commission::PlanEntry>& plan, const QString& info);
    void showFault(const QString& text);
    bool takeCameraLogin();
    bool planHasCameras() const;
    void buildStepFields(QGridLayout* grid);
    void showName(QTreeWidgetItem* row, const commission::PlanDevice& device,
                  const std::string& name);
    bool takeClockFields();
    bool generatePasswords(std::vector<commission::PlanEntry>* plan,
                           const std::function<bool(const commission::PlanEntry&)>& takesOne,
                           QString* saved);

    std::vector<commission::PlanDevice> m_selected;
    std::vector<commission::PlanDevice> m_listed;
    Engine m_engine;
    std::thread m_planner; // makes a plan that asks the neighbour table

    IpAddrEdit* m_startField = nullptr;
    IpAddrEdit* m_maskField = nullptr;
    IpAddrEdit* m_gatewayField = nullptr;
    ZVKLineEdit* m_passwordField = nullptr;
    ZVKCheckBox* m_planPasswords = nullptr;
    ZVKCheckBox* m_keepPorts = nullptr;
    PortLineEdit* m_httpPort = nullptr;
    PortLineEdit* m_dataPort = nullptr;
    std::vector<QWidget*> m_cameraWidgets; // shown only when cameras are selected
    ZVKLineEdit* m_cameraUser = nullptr;
    ZVKLineEdit* m_cameraPassword = nullptr;
    ZVKPushButton* m_planButton = nullptr;
    ZVKPushButton* m_importButton = nullptr;
    QLineEdit* m_ntpField = nullptr;
    QLineEdit* m_zoneField = nullptr;
    ZVKCheckBox* m_generateBox = nullptr;
    // The names typed in the table, by DeviceKey.
    std::map<std::string, std::string> m_names;
    // The clock each entry of the plan on show asked for itself (a plan
    // file's ntp and timeZone cells), which an empty field leaves standing.
    std::vector<std::pair<std::string, std::string>> m_planClocks;
};
