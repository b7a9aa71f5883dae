#include "MainWindow.h"

#include "DevInfo.h"
#include "DeviceColumns.h"
#include "DeviceControlBar.h"
#include "DebugOutput.h"
#include "DeviceRequestRunner.h"
#include "DeviceTreeHeaderView.h"
#include "HostProcess.h"
#include "IconButton.h"
#include "LanguageSrc.h"
#include "MainWindowLayout.h"
#include "NcFramelessHelper.h"
#include "StatusBar.h"
#include "ToolButton.h"
#include "VistaTreeWidget.h"
#include "ZVKButton.h"
#include "ZVKLabel.h"
#include "ZVKLineEdit.h"
#include "ZVKMenu.h"
#include "ZVKPushButton.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QDesktopServices>
#include <QEvent>
#include <QFrame>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLocale>
#include <QScreen>
#include <QShortcut>
#include <QTimer>
#include <QUrl>

#include <functional>
#include <string>

MainWindow* g_mainWindow = nullptr;

namespace {

template <class T> T* named(T* widget, const char* name) {
    widget->setObjectName(QLatin1String(name));
    return widget;
}

// Swallows context menus on scroll bars anywhere in the application. A
// filter of its own: the window's frame filters its own children, and an
// application-wide filter on the window would see every other window's.
class ScrollBarMenuBlocker : public QObject {
public:
    using QObject::QObject;
    bool eventFilter(QObject* watched, QEvent* event) override {
        return event->type() == QEvent::ContextMenu && watched->inherits("QScrollBar");
    }
};

// Keys the window's widgets get while the window is not the active one:
// with no window manager (tiling and minimal desktops, a bare X display)
// nobody gives the window its activation back when a box over it closes,
// yet the display still sends it the keys. Qt fires shortcuts only in the
// active window, so Ctrl+F would fall through to whatever field had the
// focus (the password field, where Return presses Save). A window that
// gets keys while no box is up is the one the user types in: it takes the
// activation before the key is looked up as a shortcut, and the find key
// reaches the find field even should no shortcut fire.
class KeyActivation : public QObject {
public:
    KeyActivation(QWidget* window, std::function<void()> find)
        : QObject(window), m_window(window), m_find(std::move(find)) {}
    bool eventFilter(QObject* watched, QEvent* event) override {
        const QEvent::Type type = event->type();
        if (type != QEvent::ShortcutOverride && type != QEvent::KeyPress)
            return false;
        QWidget* target = qobject_cast<QWidget*>(watched);
        if (target == nullptr || target->window() != m_window ||
            QApplication::activeModalWidget() != nullptr ||
            QApplication::activePopupWidget() != nullptr)
            return false;
        if (QApplication::activeWindow() != m_window) {
            QApplication::setActiveWindow(m_window);
            m_window->activateWindow();
        }
        if (type == QEvent::KeyPress &&
            static_cast<QKeyEvent*>(event)->matches(QKeySequence::Find)) {
            m_find();
            return true;
        }
        return false;
    }

private:
    QWidget* m_window;
    std::function<void()> m_find;
};

// The search manager's trace lines (where each request goes, that it was
// sent) are for a developer following a stuck request: the window's
// terminal gets them only with LORVEX_TRACE=1. Returns the sink before.
DebugSink quietEngineTraces() {
    if (qEnvironmentVariable("LORVEX_TRACE") == QLatin1String("1"))
        return SetDebugSink(nullptr);
    return SetDebugSink([](const std::string&) {});
}

// Whether the desktop took the last page it was asked to open; window
// thread only.
bool g_pageOpened = true;

// The desktop opens device pages; the engine's opener would start xdg-open
// itself, which is what QDesktopServices does with the desktop's settings.
void openWithDesktop(const std::string& url) {
    g_pageOpened = QDesktopServices::openUrl(QUrl(QString::fromStdString(url)));
}

} // namespace

bool OpenDevicePage(const std::string& url) {
    g_pageOpened = true;
    OpenUrl(url);
    return g_pageOpened;
}

MainWindow::MainWindow(QWidget* parent, Qt::WindowFlags flags) : BaseDialog(parent, flags) {
    // No Escape closing the tool, no Return pressing a button it did not
    // mean: the window is a dialog only for its frame.
    setDialogKeys(false);
    m_traceSink = quietEngineTraces();
    chooseLanguage();
    buildTitleStrip();
    buildToolStrip();
    buildDeviceTree();
    buildBatchButtons();
    m_controlBar = named(new DeviceControlBar(this), "controlBar");
    m_statusBar = named(new StatusBar(this), "statusBar");
    setMinimumSize(1024, 700);
    connectWidgets();
    connectDeviceActions();
    g_mainWindow = this;
    setOnlineCount(0);
    startEngine();
    showHostNetwork();
    qApp->installEventFilter(new ScrollBarMenuBlocker(this));
    qApp->installEventFilter(new KeyActivation(this, [this] { focusFindField(); }));
    placeInitialGeometry();
    // The installer starts in the list: arrows select, Ctrl+F finds.
    m_deviceTree->setFocus();
}

MainWindow::~MainWindow() {
    m_closing = true;
    m_closingCamera->store(true);
    closeBatchDialog();
    finishDeviceRequest();
    m_manager.Detach(this);
    m_manager.Shutdown();
    m_cameras.reset();
    if (g_mainWindow == this)
        g_mainWindow = nullptr;
    // Records posted before the search stopped are freed, not merged.
    QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
    m_framelessHelper->detach(this);
    delete m_framelessHelper;
    releaseDevices();
    // Last: the engine's shutdown and anything above may still look a text up.
    ReleaseLanguage();
    SetDebugSink(std::move(m_traceSink));
}

void MainWindow::chooseLanguage() {
    g_languageId = LanguageIdFromLocaleName(QLocale::system().name());
    InitLanguage(QCoreApplication::applicationDirPath().toUtf8(), g_languageId);
}

void MainWindow::buildTitleStrip() {
    m_titleLabel = named(new ZVKLabel(GetText("IDCS_DEVICE_NETWORK_SEARCH"), this), "titleLabel");
    m_titleLabel->setAlignment(Qt::AlignCenter);
    m_titleLabel->setStyleSheet(QStringLiteral(
        "font: 20px; color: rgb(172,172,172); background: qlineargradient(x1:0, y1:0, x2:1, "
        "y2:0, stop:0 rgba(0,0,0,0), stop:0.5 rgb(50,51,57), stop:1 rgba(0,0,0,0));"));
    m_framelessHelper = new NcFramelessHelper(this);
    m_framelessHelper->setRubberBandOnResize(true);
    m_framelessHelper->attach(this);
    m_maxButton = named(new ZVKButton(this), "maximiseButton");
    m_minButton = named(new ZVKButton(this), "minimiseButton");
    m_closeButton = named(new ZVKButton(this), "closeButton");
    // Window controls are for the pointer, as a system frame's are; they
    // take no keyboard focus and so show none.
    for (ZVKButton* button : {m_minButton, m_maxButton, m_closeButton})
        button->setFocusPolicy(Qt::NoFocus);
    m_minButton->setStyleSheet(titleButtonStyle("min.png"));
    m_maxButton->setStyleSheet(titleButtonStyle("max.png"));
    m_closeButton->setStyleSheet(titleButtonStyle("close.png"));
    const QString separatorSheet = QStringLiteral(
        "background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 rgb(113,118,124), "
        "stop:0.5 rgb(113,118,124), stop:1 rgb(0,0,0));");
    m_firstSeparator = named(new QLabel(this), "firstSeparator");
    m_secondSeparator = named(new QLabel(this), "secondSeparator");
    m_firstSeparator->setStyleSheet(separatorSheet);
    m_secondSeparator->setStyleSheet(separatorSheet);
}

void MainWindow::buildToolStrip() {
    m_toolStrip = named(new QFrame(this), "toolStrip");
    m_toolStrip->setStyleSheet(
        QStringLiteral("QFrame { background-color: rgb(43,44,49); border: 1px solid "
                       "rgb(78,83,90); border-bottom: none; }"));
    m_refreshButton =
        named(new ToolButton(GetText("IDCS_MANUAL_REFRESH"), true, this), "refreshButton");
    buildRefreshMenu();
    m_deviceBarToggle =
        named(new IconButton(QStringLiteral(":/skin/divide_open.png"), this), "deviceBarToggle");
    m_deviceBarToggle->setCheckable(true);
    m_deviceBarToggle->setChecked(true);
    m_aboutButton = named(new ZVKPushButton(GetText("IDCS_ABOUT"), this), "aboutButton");
    buildFindField();
    m_aboutButton->setStyleSheet(QStringLiteral(
        "ZVKPushButton { color: rgb(232,232,232); border-radius: 2px; background: transparent;"
        " text-align: center; padding: 0px 4px; } ZVKPushButton:hover { background: "
        "rgb(115,122,132); }"
        " ZVKPushButton:pressed { background: rgb(66,71,74); }"));
}

// Ctrl+F reaches the field from anywhere in the window, Escape in it
// clears it; its text narrows the rows as it is typed.
void MainWindow::buildFindField() {
    m_findField = named(new ZVKLineEdit(this), "findField");
    m_findField->setPlaceholderText(GetText("IDCS_FIND_PLACEHOLDER"));
    m_findField->setMaxLength(64);
    connect(m_findField, SIGNAL(textChanged(QString)), this, SLOT(slot_findChanged(QString)));
    QShortcut* find = new QShortcut(QKeySequence::Find, this);
    connect(find, &QShortcut::activated, this, [this] { focusFindField(); });
    QShortcut* clear = new QShortcut(QKeySequence(Qt::Key_Escape), m_findField);
    clear->setContext(Qt::WidgetShortcut);
    connect(clear, &QShortcut::activated, m_findField, &QLineEdit::clear);
    // Return goes from the fragment to the rows found, the first one
    // highlighted, so that the keyboard carries on there.
    connect(m_findField, &QLineEdit::returnPressed, this, [this] {
        m_deviceTree->setFocus(Qt::ShortcutFocusReason);
        if (m_deviceTree->currentItem() == nullptr && m_deviceTree->topLevelItemCount() > 0)
            m_deviceTree->setCurrentItem(m_deviceTree->topLevelItem(0));
    });
}

void MainWindow::focusFindField() {
    m_findField->setFocus(Qt::ShortcutFocusReason);
    m_findField->selectAll();
}

// Return on a highlighted row goes to the network form with that device
// (a double click opens its page).
void MainWindow::buildTreeKeys() {
    for (const int key : {int(Qt::Key_Return), int(Qt::Key_Enter)}) {
        QShortcut* modify = new QShortcut(QKeySequence(key), m_deviceTree);
        modify->setContext(Qt::WidgetShortcut);
        connect(modify, &QShortcut::activated, this, [this] {
            if (m_deviceTree->currentItem() == nullptr)
                return;
            m_deviceBarToggle->setChecked(true);
            m_controlBar->FocusNetworkForm();
        });
    }
}

void MainWindow::buildRefreshMenu() {
    ZVKMenu* menu = m_refreshButton->dropDownMenu();
    connect(menu, SIGNAL(triggered(QAction*)), this, SLOT(slot_refreshMenuTriggered(QAction*)));
    m_refreshGroup = new QActionGroup(this);
    m_refreshGroup->setExclusive(true);
    static const struct {
        const char* key;
        int seconds;
    } kEntries[] = {{"IDCS_REFRESH_DISABLE", 0},
                    {"IDCS_AUTO_REFRESH_BY_5S", 5},
                    {"IDCS_AUTO_REFRESH_BY_10S", 10},
                    {"IDCS_AUTO_REFRESH_BY_15S", 30}}; // the key's text says 30 s
    for (const auto& entry : kEntries) {
        QAction* action = menu->addAction(GetText(entry.key));
        action->setCheckable(true);
        action->setChecked(entry.seconds == 5);
        action->setData(entry.seconds);
        m_refreshGroup->addAction(action);
    }
}

void MainWindow::buildDeviceTree() {
    m_deviceTree = named(new VistaTreeWidget(this), "deviceTree");
    m_header = new DeviceTreeHeaderView(Qt::Horizontal, m_deviceTree, m_deviceTree);
    m_header->setMinimumSectionSize(70);
    m_header->setStretchLastSection(false);
    m_deviceTree->setHeader(m_header);
    m_deviceTypeGroup = new QActionGroup(this);
    m_deviceTypeGroup->setExclusive(true);
    m_sortResume = new QTimer(this);
    m_sortResume->setSingleShot(true);
    connect(m_sortResume, &QTimer::timeout, this, [this] { resumeSort(); });
    m_nextTake = new QTimer(this);
    m_nextTake->setSingleShot(true);
    connect(m_nextTake, SIGNAL(timeout()), this, SLOT(slot_takeDeviceEvents()));
    buildFilterMenus();
    setUpColumns();
    buildTreeKeys();
}

void MainWindow::setUpColumns() {
    m_deviceTree->setColumnCount(kDeviceColumnCount);
    QStringList labels;
    for (const DeviceColumn& column : kDeviceColumns)
        labels.append(GetText(column.key));
    m_deviceTree->setHeaderLabels(labels);
    for (int c = 0; c < kDeviceColumnCount; ++c)
        m_deviceTree->setColumnWidth(c, kDeviceColumns[c].width);
    // Type names are short in English, long in Russian ("Сетевая клавиатура").
    m_deviceTree->setColumnWidth(COL_TYPE, deviceTypeColumnWidth(m_deviceTree->fontMetrics(), 16));
    m_deviceTree->setColumnWidth(COL_ACTIVATION,
                                 activationColumnWidth(m_deviceTree->fontMetrics(), 16));
    // Rows are one line each; without this every cell change re-measures.
    m_deviceTree->setUniformRowHeights(true);
    m_deviceTree->setSortingEnabled(true);
    m_deviceTree->sortByColumn(COL_IP, Qt::AscendingOrder);
    placeFilterButtons();
    // A title beside a filter button can outgrow its width in a language
    // ("Порт данных"): the column widens to show it whole, measured with the
    // style sheet's font and padding in force.
    m_header->ensurePolished();
    for (int c = 0; c < kDeviceColumnCount; ++c) {
        const int width = qMax(m_deviceTree->columnWidth(c), m_header->titleFittingSize(c));
        m_deviceTree->setColumnWidth(c, width);
        m_deviceTree->setColumnHidden(c, kDeviceColumns[c].hidden);
    }
    int after = m_header->visualIndex(COL_GATEWAY);
    for (const int column : kDeviceColumnsShownFirst)
        m_header->moveSection(m_header->visualIndex(column), ++after);
}

void MainWindow::connectWidgets() {
    connect(m_closeButton, SIGNAL(clicked()), this, SLOT(close()));
    connect(m_deviceTree, SIGNAL(currentItemChanged(QTreeWidgetItem*, QTreeWidgetItem*)), this,
            SLOT(slot_currentItemChanged(QTreeWidgetItem*, QTreeWidgetItem*)));
    connect(m_deviceTree, SIGNAL(itemDoubleClicked(QTreeWidgetItem*, int)), this,
            SLOT(slot_itemDoubleClicked(QTreeWidgetItem*, int)));
    m_deviceTree->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_deviceTree, SIGNAL(customContextMenuRequested(QPoint)), this,
            SLOT(slot_rowMenuRequested(QPoint)));
    connect(m_refreshButton, SIGNAL(clicked()), this, SLOT(slot_refresh()));
    connect(m_deviceBarToggle, SIGNAL(toggled(bool)), this, SLOT(slot_visibleDeviceBar(bool)));
    connect(m_maxButton, SIGNAL(clicked()), this, SLOT(slot_maxBtnClicked()));
    connect(m_minButton, SIGNAL(clicked()), this, SLOT(showMinimized()));
    connect(m_aboutButton, SIGNAL(clicked()), this, SLOT(slot_about()));
}

void MainWindow::startEngine() {
    SetUrlOpener(openWithDesktop);
    m_manager.Attach(this);
    m_manager.Attach(&m_clockReadings);
    m_manager.Init();
    m_manager.SetAutoSearch(5);
    m_manager.RefreshSearch(false);
    // Camera events share the maker's hand-over queue, so that both reach
    // the list in the order heard and through one merge. They carry the
    // list's generation of the moment they are handed over: one a refresh
    // overtook is dropped, and the refresh hands every camera over again.
    m_cameras = std::make_unique<CameraSource>([this](DevInfo* device, int opt) {
        if (m_deviceEvents.push(device, opt, m_manager.ListGeneration()))
            QMetaObject::invokeMethod(this, "slot_takeDeviceEvents", Qt::QueuedConnection);
    });
    startCameraSearch(5, false);
}

void MainWindow::startCameraSearch(int intervalSeconds, bool listEmptied) {
    m_cameras->start(intervalSeconds);
    if (listEmptied)
        m_cameras->refresh();
}

void MainWindow::showHostNetwork() {
    std::string ip, mask, gateway, dns;
    m_manager.GetLocalNetInfo(&ip, &mask, &gateway, &dns);
    m_statusBar->SetHostNetwork(
        QString::fromLocal8Bit(ip.c_str()), QString::fromLocal8Bit(mask.c_str()),
        QString::fromLocal8Bit(gateway.c_str()), QString::fromLocal8Bit(dns.c_str()));
    QStringList lines;
    m_hostAddresses.clear();
    for (const LocalInterface& card : m_manager.GetLocalInterfaces()) {
        const HostAddress address{QString::fromLocal8Bit(card.name.c_str()),
                                  QString::fromLocal8Bit(card.ip.c_str()),
                                  QString::fromLocal8Bit(card.mask.c_str())};
        m_hostAddresses.append(address);
        lines.append(QStringLiteral("%1: %2 / %3").arg(address.name, address.ip, address.mask));
    }
    m_statusBar->SetHostInterfaces(lines.join(QLatin1Char('\n')));
    m_statusBar->SetTrustNotice(StatusBar::TrustDirNotice(
        QString::fromLocal8Bit(CLorvexManage::TrustDirOverride().c_str())));
    // The route is added (and waited for) off the window thread; a request
    // to a link-local address waits for it in the engine meanwhile.
    m_routeAddress = ip;
    m_routeTask = new DeviceRequestRunner(this);
    connect(m_routeTask, &DeviceRequestRunner::finished, this,
            &MainWindow::slot_linkLocalRouteFinished);
    CLorvexManage* manager = &m_manager;
    m_routeTask->start(
        0, [manager, ip] { return static_cast<int>(manager->AddLinkLocalRoute(ip.c_str())); });
}

// Devices reachable only at their link-local address stay out of reach
// without the route, or with 169.254.0.0/16 on another card: the status
// bar says so where the host data is, with what to do in its tool tip.
void MainWindow::slot_linkLocalRouteFinished(int, int state) {
    if (m_closing)
        return;
    const auto route = static_cast<LinkLocalRouteState>(state);
    const char* ip = m_routeAddress.c_str();
    const std::string card = CLorvexManage::LinkLocalRouteInterface(ip);
    const std::string carrier = CLorvexManage::LinkLocalRouteCarrier(ip);
    const std::string advice = CLorvexManage::LinkLocalRouteAdvice(ip);
    if (route == LinkLocalRouteState::NeedsRoot)
        qWarning("lorvex: no link-local route; as root run: %s", advice.c_str());
    if (route == LinkLocalRouteState::OtherInterface)
        qWarning("lorvex: 169.254.0.0/16 leads to %s, not %s", carrier.c_str(), card.c_str());
    m_statusBar->SetRouteNotice(StatusBar::LinkLocalRouteNotice(
        route, QString::fromLocal8Bit(card.c_str()), QString::fromLocal8Bit(carrier.c_str()),
        QString::fromLocal8Bit(advice.c_str()), RouteHelperWithheld()));
}

void MainWindow::placeInitialGeometry() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    const QRect area = screen ? screen->availableGeometry() : QRect(0, 0, 1280, 800);
    QRect frame(0, 0, qMax(1024, qMin(1280, area.width())), qMax(700, qMin(800, area.height())));
    frame.moveCenter(area.center());
    setGeometry(frame);
}

void MainWindow::Update(SEARCH_INFO info, CObservable<SEARCH_INFO>*) {
    DevInfo* device = NewDevInfo(info);
    // The identity is read here, on the search thread, outside the search
    // library's lock: asked from the window thread it would wait for that
    // lock while the library checks a burst's new keys (tens of ms each
    // time, with the window frozen).
    std::string fingerprint;
    device->identity = m_manager.GetIdentity(info.mac, &fingerprint);
    device->fingerprint = QString::fromStdString(fingerprint);
    // One queued call per batch, not per record: see DeviceEventQueue.
    if (m_deviceEvents.push(device, info.event, info.generation))
        QMetaObject::invokeMethod(this, "slot_takeDeviceEvents", Qt::QueuedConnection);
}
