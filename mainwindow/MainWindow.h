// MainWindow: the one top-level window of the tool. It owns the search
// manager, shows what it finds in the device tree, and holds the refresh
// policy, the frameless geometry and the shutdown order.
#pragma once

#include "ActivationDialog.h"
#include "ClockDialog.h"
#include "PictureDialog.h"
#include "DeviceClock.h"
#include "BaseDialog.h"
#include "BatchDialog.h"
#include "CameraRows.h"
#include "DeviceActionRules.h"
#include "DeviceEventQueue.h"
#include "DeviceFilter.h"
#include "LorvexManage.h"
#include "Observer.h"
#include "SearchInfo.h"
#include "Secret.h"

#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QPointer>
#include <QRect>
#include <QStringList>
#include <QString>

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

class BatchDialogBase;
namespace onvif {
struct RenameResult;
}

class DeviceControlBar;
namespace report {
class SessionLog;
struct Row;
enum class Deed;
} // namespace report
class DeviceRequestRunner;
class DeviceTreeHeaderView;
class DeviceTypeFilterMenu;
class HeaderButton;
class IconButton;
class NcFramelessHelper;
class RangeFilterMenu;
class QAction;
class QActionGroup;
class QFrame;
class QLabel;
class QMenu;
class QTimer;
class QTreeWidgetItem;
class StatusBar;
class ToolButton;
class VistaTreeWidget;
class ZVKButton;
class ZVKLabel;
class ZVKLineEdit;
class ZVKPushButton;
struct DevInfo;

// Every child the installer sees carries an object name (titleLabel,
// minimiseButton, maximiseButton, closeButton, firstSeparator,
// secondSeparator, toolStrip, refreshButton, deviceBarToggle, aboutButton,
// findField, deviceTree, controlBar, statusBar) by which tests and tools find it.
class MainWindow : public BaseDialog, public CObserver<SEARCH_INFO> {
    Q_OBJECT
public:
    // Builds the window, chooses the language, starts the search (automatic,
    // every 5 s) and reads the host's network data. Does not show the window.
    explicit MainWindow(QWidget* parent = nullptr, Qt::WindowFlags flags = Qt::WindowFlags());
    // Stops the search before any widget or record goes; no device event is
    // handed over afterwards.
    ~MainWindow() override;

    // Search library thread: copies the record into a new DevInfo and hands
    // it to the GUI thread through the event queue, where
    // slot_takeDeviceEvents merges it. Touches no other member.
    void Update(SEARCH_INFO info, CObservable<SEARCH_INFO>* sender) override;

    // Read access for the window's tests and the device-list code.
    int onlineCount() const { return m_onlineCount; }
    const QList<DevInfo*>& deviceList() const { return m_deviceList; }
    bool isMaximized() const { return m_maximized; }
    // The search's own interval is the refresh state; the menu shows it.
    bool refreshDisabled() const { return m_manager.GetAutoSearch() == 0; }
    QRect normalGeometry() const { return m_normalGeometry; }
    CLorvexManage& manager() { return m_manager; }

public slots:
    void slot_currentItemChanged(QTreeWidgetItem* current, QTreeWidgetItem* previous);
    void slot_itemDoubleClicked(QTreeWidgetItem* item, int column);
    // Empties the list and searches again: once when refreshing is disabled,
    // otherwise automatic search restarts. Filters stay as they are.
    void slot_refresh();
    // The refresh menu's entry `action` was chosen: its data is the interval
    // in seconds, 0 for disabled. Leaving the disabled mode empties the list.
    void slot_refreshMenuTriggered(QAction* action);
    void slot_visibleDeviceBar(bool visible);
    // Toggles between the screen's available area and the normal geometry.
    void slot_maxBtnClicked();
    void slot_about();
    // GUI thread: takes ownership of `data` (a DevInfo) and merges it by
    // event `opt` (0 new, 2 changed, 1 gone). Null data is ignored.
    void slot_recvOnlineDeviceInfo(void* data, int opt);

protected:
    void resizeEvent(QResizeEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    void chooseLanguage();
    void buildTitleStrip();
    void buildToolStrip();
    void buildRefreshMenu();
    void buildFindField();
    // Ctrl+F: the find field takes the focus, its text selected.
    void focusFindField();
    void buildTreeKeys();
    void buildDeviceTree();
    void setUpColumns();
    void connectWidgets();
    void startEngine();
    void showHostNetwork();
    void placeInitialGeometry();
    void placeTreeAndBar(bool barVisible);
    void clearDevices();
    bool addDeviceItem(DevInfo* device);
    bool isDeviceExist(const QString& mac) const;
    void startCameraSearch(int intervalSeconds, bool listEmptied);
    void mergeDeviceEvent(DevInfo* device, int opt);
    void addDevice(DevInfo* device);
    void changeDevice(DevInfo* device);
    void removeDevice(DevInfo* device);
    void setOnlineCount(int count);
    // The status bar's count: rows shown, and of how many when filtered.
    void showCount();

    // Every maker's device's clock offset, read as its answers arrive (the
    // clock dialog's "before" and "after"); outlives the manager's thread.
    lorvex::ClockReadings m_clockReadings;
    CLorvexManage m_manager;
    // The ONVIF cameras' search beside the maker's, following its refresh
    // policy, and the rule that gives a device seen by both one row.
    std::unique_ptr<CameraSource> m_cameras;
    CameraRowMerge m_rowMerge;
    NcFramelessHelper* m_framelessHelper = nullptr;
    ZVKLabel* m_titleLabel = nullptr;
    ZVKButton* m_maxButton = nullptr;
    ZVKButton* m_minButton = nullptr;
    ZVKButton* m_closeButton = nullptr;
    QLabel* m_firstSeparator = nullptr;
    QLabel* m_secondSeparator = nullptr;
    QFrame* m_toolStrip = nullptr;
    ToolButton* m_refreshButton = nullptr;
    IconButton* m_deviceBarToggle = nullptr;
    ZVKPushButton* m_aboutButton = nullptr;
    ZVKLineEdit* m_findField = nullptr;
    VistaTreeWidget* m_deviceTree = nullptr;
    DeviceTreeHeaderView* m_header = nullptr;
    DeviceControlBar* m_controlBar = nullptr;
    StatusBar* m_statusBar = nullptr;
    bool m_maximized = false;
    QRect m_normalGeometry;
    int m_onlineCount = 0;
    QList<DevInfo*> m_deviceList; // owned; every known device, shown or not
    QActionGroup* m_deviceTypeGroup = nullptr;
    QActionGroup* m_refreshGroup = nullptr;
    // Set when destruction starts: records still queued are only freed.
    bool m_closing = false;
    // The engine's trace sink before the window quietened it; put back
    // when the window goes.
    std::function<void(const std::string&)> m_traceSink;

    // Device actions
    // The control bar's requests, carried out off the window thread one at
    // a time; the outcome is told in a message box over the window.
public slots:
    // Sends the new addresses to the device (texts as UTF-8); the box for
    // the result code follows when the device has answered or timed out.
    void slot_changeNetworkParam(QString mac, QString ip, QString subnet, QString gateway,
                                 QString password, QString httpPort, QString dataPort, bool bDHCP);
    // Restores the listed camera's or network keyboard's password; other
    // devices and MACs not in the list are refused at once.
    void slot_restorePwd(QString mac);

public:
    // Asks for the first password of the listed, not activated device with
    // this MAC (ActivateDialog) and sends it; its box follows the answer.
    void activateDevice(const QString& mac);
    // Asks the listed maker's device with this MAC to show itself for
    // kIdentifySeconds (IdentifyDialog takes its password); the box with
    // the outcome follows the answer.
    void identifyDevice(const QString& mac);
    static constexpr int kIdentifySeconds = 60;
    // True from the start of a request until its box is due (a re-address
    // the device took: until it is verified, see Verification).
    bool deviceRequestRunning() const;
    DeviceControlBar* controlBar() const { return m_controlBar; }
    // The side panel's picture of the selected camera: an ONVIF camera's
    // with the credentials of the panel (or the session's), the maker's
    // IP camera's with the panel's password (sealed, for a one-time token);
    // shown in the panel when it comes, or its outcome in words.
    void takePicture();

private slots:
    void slot_deviceRequestFinished(int kind, int result);
    // A double-clicked device's page address is known (found 1) or not.
    void slot_pageLookupFinished(int, int found);

private:
    // Before a secret goes to a key no trusted maker certified, the user
    // compares its fingerprint (KeyConfirmDialog), once per session.
    bool identityConfirmed(const QString& mac);
    // True, after telling the installer, when mac is an ONVIF camera's.
    bool refuseForCamera(const QString& mac);
    // An ONVIF camera's Save: addresses are IP, mask and gateway; runs
    // onvif::Readdress off the window thread. The typed password is wiped.
    void readdressCamera(const DevInfo& record, const QStringList& addresses,
                         QString* typedPassword);
    bool cameraCredentials(QString* typed, std::string* user, SharedSecret* password);
    void showCameraOutcome();
    // What the running picture request gave: its JPEG, or the words why not.
    struct PictureTake {
        std::string jpeg;
        QString failure; // empty when jpeg holds the picture
    };
    std::shared_ptr<PictureTake> m_pictureTake;
    void showPicture();
    // Credentials given once for every camera of this session: only in
    // memory, the password wiped when the last request holding it ends.
    std::string m_sessionUser;
    SharedSecret m_sessionPassword;
    bool m_usedSessionCredentials = false;
    std::shared_ptr<onvif::ReaddressResult> m_cameraResult;
    // The side panel's rename: the name asked (also of the maker's device,
    // whose verification waits for it) and a camera's result.
    QString m_requestName;
    std::shared_ptr<onvif::RenameResult> m_renameResult;
    void renameDevice(QString key, QString name, QString password);
    void renameCamera(const DevInfo& record, const QString& name, QString* typedPassword);
    void showCameraRenameOutcome();
    // Where the camera of the running request is, said when out of reach.
    QString m_cameraWhere;
    // Set when the window closes: a camera's re-address stops waiting for
    // the camera's new address (see ReaddressRequest::cancelled).
    std::shared_ptr<std::atomic<bool>> m_closingCamera = std::make_shared<std::atomic<bool>>(false);
    void showOutcome(const ActionMessage& message);
    QString m_requestMac; // the device of the running request
    // The new address, mask and gateway of the running re-address.
    QStringList m_requestAddresses;
    // A single re-address the device took (or did not answer): the window
    // waits, as a batch does, until the search shows the device at its new
    // values or the verification bound has passed; only then is it done.
    struct Verification {
        QString mac;
        QString device; // "name (MAC)", for the boxes
        commission::PlanEntry entry;
        int32_t code = 0;
        int boundSeconds = 0;
        qint64 deadline = 0; // ms on m_clock
    };
    std::unique_ptr<Verification> m_verification;
    QTimer* m_verifyTimer = nullptr;
    QElapsedTimer m_clock;
    void startVerification(int32_t code);
    // The box of a successful restore, with a button to activate the
    // device from there.
    void offerActivation(const QString& mac);
    void checkVerification();
    void showChangeOutcome(int result);
    // Wrong passwords each device refused from this window since it last
    // took one, by MAC: the wrong-password box tells what is left.
    QHash<QString, int> m_wrongPasswords;
    void connectDeviceActions();
    // Blocks until a running request has returned (bounded by the request).
    void finishDeviceRequest();
    const DevInfo* findDeviceRecord(const QString& mac) const;
    DeviceRequestRunner* m_deviceRequests = nullptr;
    // The web page's address is looked up off the window thread; the URL
    // the running look-up fills.
    DeviceRequestRunner* m_pageLookup = nullptr;
    std::shared_ptr<std::string> m_pageUrl;
    // The PC's cards as read at start, for the checks of a new address.
    QList<HostAddress> m_hostAddresses;
    // The link-local route, added off the window thread at start for the
    // first card (m_routeAddress); its outcome goes to the status bar.
    DeviceRequestRunner* m_routeTask = nullptr;
    std::string m_routeAddress;
private slots:
    void slot_linkLocalRouteFinished(int, int state);

private:
    // Device list and filters
public:
    // A new context menu for `row` (the window owns it, the caller shows
    // it): open the web page; copy the MAC, the IP or the row's visible
    // cells; modify (the network form, focused); restore the password (the
    // restore form with the row's MAC); then, for the selected rows,
    // re-address them and activate them ("Activate...", enabled while one
    // has no password yet). Entries carry object names (openPageAction,
    // copyMacAction, copyIpAction, copyRowAction, modifyAction,
    // restoreAction, batchAction, activateAction).
    QMenu* rowMenu(QTreeWidgetItem* row);

    // The filter in force; none at start, kept across a refresh.
    const DeviceFilter& deviceFilter() const { return m_filter; }
    DeviceTreeHeaderView* deviceHeader() const { return m_header; }
    // The language text of a device type code; see deviceTypeText().
    static QString deviceTypeText(const QString& code);
    // A running time in seconds as the tree shows it; see runTimeText().
    static QString runTimeText(const QString& seconds);

public slots:
    // The type menu's entry `action` was chosen: only devices of its type
    // are shown; the all-devices entry clears the filter.
    void slot_deviceTypeMenuTriggered(QAction* action);
    // Shows the devices whose IPv4 address lies in the range, bounds
    // included; a text that is no address counts as 0.0.0.0.
    void slot_ipaddressMenuTriggered(QString minAddres, QString maxAddres);
    // Shows the devices whose data port lies in the range, bounds included.
    void slot_portMenuTriggered(QString minPort, QString maxPort);
    // Shows every device of the list that the find field lets through.
    void slot_filterCleared();
    // The find field's text changed: rows narrow to the devices whose name,
    // IP, MAC, model or type contains it (see DeviceFilter::matchesFind),
    // within the header filter in force.
    void slot_findChanged(const QString& text);

private slots:
    void slot_rowMenuRequested(const QPoint& pos);
    // Merges the queued device events a slice at a time (see
    // DeviceEventQueue), scheduling itself again while events remain.
    void slot_takeDeviceEvents();

private:
    void buildFilterMenus();
    HeaderButton* newFilterButton(const char* name, QMenu* menu);
    HeaderButton* newRangeFilter(RangeFilterMenu* menu, const char* menuName,
                                 const char* buttonName, const char* rangeSlot);
    void placeFilterButtons();
    void applyFilter(const DeviceFilter& filter);
    void applyHeaderFilter(DeviceFilter filter);
    void showFilterInMenus();
    void addRowActions(QMenu* menu);
    void addCameraActions(QMenu* menu, const QString& mac);
    // Marks the IP cell of a device that shares its address with another
    // listed device, or else of one outside every subnet of the PC's cards,
    // and the name cell of a device whose key is unverified, confirmed by
    // the user, or in conflict, each with a tip that says so.
    void markRow(QTreeWidgetItem* row, const DevInfo& record);
    // markRow again for the listed device with `mac`, if it is in the tree.
    void remarkRow(const QString& mac);
    // Looks the page of the device with `mac` up off the window thread and
    // opens it (see slot_pageLookupFinished).
    void openDevicePage(const QString& mac);
    void openCameraPage(const DevInfo& record);
    // Frees every record and row; the online count is left to the caller.
    void releaseDevices();
    void showRow(DevInfo* record);
    void suspendSort();
    void resumeSort();
    int rowPosition(const QTreeWidgetItem& row) const;
    void reselect(const QString& mac);
    void keepPanelDevice(const QString& key);
    void refillRow(QTreeWidgetItem* row, const DevInfo& record);
    void dropRow(QTreeWidgetItem* item);
    void noteDeviceType(const QString& text);
    void forgetDeviceType(const QString& text);
    // Keep m_addressHolders and the status bar's count of devices that
    // share an address with another up to date, re-marking the rows whose
    // mark changes.
    static bool countsForAddress(const DevInfo& record);
    void noteAddress(const DevInfo& record);
    void forgetAddress(const QString& ip, const DevInfo& record);

    DeviceFilter m_filter;
    // Every record and every row by MAC (rows in the tree and rows a filter
    // keeps out), so that an event reaches its device without walking the
    // list or the tree (ten thousand devices). The window owns the rows
    // out of the tree.
    QHash<QString, DevInfo*> m_records;
    QHash<QString, QTreeWidgetItem*> m_rows;
    // How many records of the list have each type text.
    QHash<QString, int> m_typeCounts;
    // The devices (keys) that answer with each IP address, and how many
    // devices share their address with another: the factory-default
    // clash of new cameras. The first holder is kept apart, so that an
    // address of one device (ten thousand of them) costs no list.
    struct AddressHolders {
        QString first;
        QStringList more;
        int count() const { return first.isEmpty() ? 0 : 1 + more.size(); }
    };
    QHash<QString, AddressHolders> m_addressHolders;
    int m_sharedAddressDevices = 0;
    DeviceEventQueue m_deviceEvents;
    DeviceTypeFilterMenu* m_typeMenu = nullptr;
    HeaderButton* m_typeButton = nullptr;
    HeaderButton* m_ipButton = nullptr;
    HeaderButton* m_portButton = nullptr;
    RangeFilterMenu* m_ipMenu = nullptr;
    RangeFilterMenu* m_portMenu = nullptr;
    // Set while merged rows went in with the installer's sort turned off.
    bool m_sortSuspended = false;
    // Turns the sort on again once the list has been quiet for a while.
    QTimer* m_sortResume = nullptr;
    // When the hand-over queue was last emptied, and the timer of the next
    // take from it (see slot_takeDeviceEvents).
    QElapsedTimer m_lastDrain;
    QTimer* m_nextTake = nullptr;
    // The MAC selected when the list was refreshed, until it answers again,
    // or of the panel's device while a filter hides it, until it shows.
    QString m_reselectMac;
    // Set while rows leave and enter the tree for a filter: the panel's
    // device does not follow the current row meanwhile.
    bool m_keepingPanel = false;

    // Site report (MainWindowReport.cpp)
public:
    // Writes the site report of every device the window knows (shown or
    // filtered out), sorted by address, to path and its CSV beside it
    // (report::WriteReport), in the window's language; false with error
    // saying why. No password or setup code is in it.
    bool writeSiteReport(const QString& path, const QString& site, QString* error) const;
    // Asks the site's name and the file, writes the report and says where
    // (or why not). Modal boxes on the heap, watched.
    void openSiteReport();
    // What this session did to each device (re-addressed, activated,
    // restored, ...), read back or not: the window's actions note each
    // deed as it ends, the site report reads them.
    report::SessionLog& sessionLog();

private:
    // Notes the deed of every device a batch dialog finished with: done
    // (seen at its new values) as read back, not confirmed or gone as not.
    void logBatch(const BatchDialogBase& dialog, report::Deed deed);
    // Notes each step of the address plan's rows as logBatch does, per step.
    void logPlan(const BatchDialogBase& dialog);
    // Notes the clock dialog's deeds and keeps the cameras' offsets.
    void logClocks(const ClockDialog& dialog);
    // The device's clock offset into the report's row, when known.
    void clockOffsetOf(const DevInfo& device, report::Row* row) const;
    // Each ONVIF camera's clock offset (seconds) as last read, by list key.
    std::map<QString, long long> m_cameraClockOffsets;
    std::shared_ptr<report::SessionLog> m_sessionLog;
    // The thumbnail of each camera's latest picture in the side panel, by
    // the list's key: the site report shows it.
    std::map<QString, snapshot::Thumbnail> m_thumbnails;

public:
    // Commissioning (MainWindowBatch.cpp)
public:
    // Opens the batch dialog (window-modal, not waited for) for the selected
    // devices in the tree's order (the current row when none is selected),
    // the maker's devices and ONVIF cameras alike; nothing when the list is
    // empty. A dialog already open is closed first.
    void openBatchDialog();
    // The open batch dialog, or null.
    BatchDialog* batchDialog() const { return m_batchDialog; }
    // Opens the activation dialog (window-modal, not waited for) for the
    // selected devices, as openBatchDialog; nothing unless one of them has
    // no password yet. A dialog already open is closed first.
    // Asks for a file to write in a save box that starts at the home folder
    // with `name` proposed (its suffix added to a typed name without one);
    // empty when the user cancelled.
    QString askSaveFile(const QString& title, const QString& filter, const QString& name,
                        const char* objectName);
    void openActivationDialog();
    // Opens the clock dialog (window-modal, not waited for) for the
    // selected devices of both protocols, as openBatchDialog.
    void openClockDialog();
    // The open clock dialog, or null.
    ClockDialog* clockDialog() const { return m_clockDialog; }
    // Opens the picture dialog (window-modal, not waited for) for the
    // selected devices of both protocols, as openBatchDialog; each picture
    // it takes becomes the camera's thumbnail for the site report and, for
    // the camera the side panel shows, the panel's picture.
    void openPictureDialog();
    // The open picture dialog, or null.
    PictureDialog* pictureDialog() const { return m_pictureDialog; }
    // The open activation dialog, or null.
    ActivationDialog* activationDialog() const { return m_activationDialog; }
    // True when a selected device (the current row when none is selected)
    // has no password yet: the activation entries are enabled then.
    bool selectionNeedsActivation() const;
    // The selected devices as the search lists them, in the tree's order.
    QList<QTreeWidgetItem*> batchRows() const;
    std::vector<SEARCH_INFO> selectedDevices();
    // The device list as CSV: the shown rows in the tree's order, under a
    // header of stable column names (the record's field names); every
    // column, or only the visible ones in their order. Cells as the tree
    // shows them, neutralised against spreadsheet formulas.
    QByteArray deviceListCsv(bool visibleColumnsOnly) const;

public slots:
    // Asks for a file and saves deviceListCsv(true) into it.
    void slot_exportDeviceList();

private:
    void buildBatchButtons();
    // Places the batch buttons after Refresh; returns the right edge of the last.
    int placeBatchButtons(const QRect& refresh);
    // Ends a batch dialog and its batch; before the manager stops.
    void closeBatchDialog();
    // Shows a batch dialog just made over the window, named objectName:
    // window-modal and not waited for (the window keeps taking device
    // events, and the control bar cannot send a request of its own
    // meanwhile), deleted when it closes; `finished` (when given) runs at
    // the end of each of its batches.
    void showBatchDialog(BatchDialogBase* dialog, const char* objectName,
                         std::function<void()> finished = {});
    // After a batch: when the find text hides a device the batch moved
    // (done), the text is cleared and the status bar says so, so that the
    // list does not look emptied right after the job.
    void showMovedDevices(const std::vector<commission::PlanEntry>& plan,
                          const std::vector<commission::DeviceStatus>& statuses);
    // Shows a note in the status bar for half a minute.
    void showNotice(const QString& text);
    int m_noticeCount = 0;
    void updateActivationEntry();
    // The selected rows as plan devices, cameras too, in the tree's order with
    // rows its sort column does not tell apart ordered by MAC.
    std::vector<commission::PlanDevice> selectedPlanDevices();
    commission::BatchServices
    cameraBatchServices(commission::BatchServices services,
                        const std::shared_ptr<BatchDialog::CameraLogin>& login);
    QPointer<BatchDialog> m_batchDialog;
    QPointer<ActivationDialog> m_activationDialog;
    QPointer<ClockDialog> m_clockDialog;
    QPointer<PictureDialog> m_pictureDialog;
    // What the picture dialog takes a camera's picture through, both protocols.
    PictureDialog::TakeFn pictureService();
    // Keeps the picture the dialog took of its entry index as the camera's
    // thumbnail, and shows it in the side panel when the panel shows it.
    void keepPicture(PictureDialog& dialog, int index);
    // How many listed cameras of either protocol have no picture yet.
    int camerasWithoutPicture() const;
    // What the clock dialog sets a device's clock through, both protocols.
    ClockDialog::Service clockService();
    ZVKPushButton* m_clockButton = nullptr;
    ZVKPushButton* m_batchButton = nullptr;
    ZVKPushButton* m_activateButton = nullptr;
    ZVKPushButton* m_exportButton = nullptr;
};

// Opens a device page through the engine's URL opener on the window thread;
// false when the desktop could not open it (no browser).
bool OpenDevicePage(const std::string& url);

// The one main window, set by its constructor before the search starts and
// reset by its destructor once the search has stopped; null otherwise.
extern MainWindow* g_mainWindow;
