// The main window's frame: layout, refresh policy, maximise and restore,
// and the events it takes over from the toolkit.
#include "MainWindow.h"

#include "AboutDlg.h"
#include "DeviceColumns.h"
#include "DeviceControlBar.h"
#include "IconButton.h"
#include "MainWindowLayout.h"
#include "NcFramelessHelper.h"
#include "StatusBar.h"
#include "ToolButton.h"
#include "VistaTreeWidget.h"
#include "VistaTreeWidgetItem.h"
#include "ZVKButton.h"
#include "ZVKLabel.h"
#include "ZVKLineEdit.h"
#include "ZVKMenu.h"
#include "ZVKPushButton.h"

#include <QAction>
#include <QActionGroup>
#include <QEvent>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QPointer>
#include <QScreen>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionButton>

#include <algorithm>

namespace {

// The width of a button's text in the font its sheet gives it.
int textWidth(QPushButton* button) {
    button->ensurePolished();
    return button->fontMetrics().horizontalAdvance(button->text());
}

// The width at which a button shows its whole text: the text plus what its
// style and sheet keep around the contents at the skin's 50 pixels.
int widthNeeded(QPushButton* button) {
    button->ensurePolished();
    QStyleOptionButton option;
    option.initFrom(button);
    option.rect = QRect(0, 0, 50, 26);
    option.text = button->text();
    const QRect contents =
        button->style()->subElementRect(QStyle::SE_PushButtonContents, &option, button);
    return textWidth(button) + 50 - contents.width();
}

} // namespace

void MainWindow::slot_refreshMenuTriggered(QAction* action) {
    const int seconds = action ? action->data().toInt() : 0;
    // Leaving the disabled mode starts from an empty list; switching
    // between two intervals keeps it.
    const bool emptied = seconds != 0 && refreshDisabled();
    if (emptied)
        clearDevices();
    m_manager.SetAutoSearch(seconds);
    m_deviceEvents.acceptFrom(m_manager.ListGeneration());
    startCameraSearch(seconds, emptied);
}

void MainWindow::slot_refresh() {
    const bool manual = refreshDisabled();
    const QTreeWidgetItem* current = m_deviceTree->currentItem();
    m_reselectMac = current != nullptr ? rowKey(current) : QString();
    clearDevices();
    m_manager.RefreshSearch(manual);
    // Events of the emptied list may still be on their way from the search
    // thread; they carry an older generation than the new list's.
    m_deviceEvents.acceptFrom(m_manager.ListGeneration());
    m_cameras->refresh();
}

// On the heap and watched, like every box over the window: the box goes
// with the window if the window goes first.
void MainWindow::slot_about() {
    QPointer<AboutDlg> about = new AboutDlg(this);
    about->exec();
    delete about;
}

void MainWindow::resizeEvent(QResizeEvent* event) {
    BaseDialog::resizeEvent(event);
    const MainWindowLayout l =
        mainWindowLayout(width(), height(), textWidth(m_refreshButton), widthNeeded(m_aboutButton));
    m_titleLabel->setGeometry(l.title);
    m_minButton->setGeometry(l.minimise);
    m_firstSeparator->setGeometry(l.firstSeparator);
    m_maxButton->setGeometry(l.maximise);
    m_secondSeparator->setGeometry(l.secondSeparator);
    m_closeButton->setGeometry(l.close);
    m_toolStrip->setGeometry(l.toolStrip);
    m_refreshButton->setGeometry(l.refresh);
    m_deviceBarToggle->setGeometry(l.deviceBarToggle);
    m_aboutButton->setGeometry(l.about);
    // Longer button texts (Russian, say) take room from the find field's
    // left rather than run under it, down to a field that still shows what
    // is typed.
    constexpr int kNarrowestFind = 140;
    QRect find = l.find;
    const int buttonsEnd = placeBatchButtons(l.refresh);
    if (find.left() < buttonsEnd + 12)
        find.setLeft(
            std::max(find.left(), std::min(buttonsEnd + 12, find.right() - kNarrowestFind)));
    m_findField->setGeometry(find);
    m_statusBar->setGeometry(l.statusBar);
    placeTreeAndBar(m_deviceBarToggle->isChecked());
    if (!m_maximized)
        m_normalGeometry = geometry();
}

void MainWindow::slot_visibleDeviceBar(bool visible) { placeTreeAndBar(visible); }

void MainWindow::placeTreeAndBar(bool barVisible) {
    m_controlBar->setVisible(barVisible);
    m_deviceBarToggle->setIcon(barVisible ? QStringLiteral(":/skin/divide_open.png")
                                          : QStringLiteral(":/skin/divide_close.png"));
    m_deviceTree->setGeometry(deviceTreeRect(width(), height(), barVisible));
    if (barVisible)
        m_controlBar->setGeometry(controlBarRect(width(), height()));
}

void MainWindow::slot_maxBtnClicked() {
    m_maximized = !m_maximized;
    const char* image = m_maximized ? "normal.png" : "max.png";
    m_maxButton->setStyleSheet(titleButtonStyle(image));
    if (m_maximized) {
        m_normalGeometry = geometry();
        const QScreen* screen = QGuiApplication::primaryScreen();
        if (screen)
            setGeometry(screen->availableGeometry());
    } else {
        setGeometry(m_normalGeometry);
    }
    m_framelessHelper->setResizable(!m_maximized);
    m_framelessHelper->setMovable(!m_maximized);
}

void MainWindow::mouseDoubleClickEvent(QMouseEvent* event) {
    BaseDialog::mouseDoubleClickEvent(event);
    if (inTitleStrip(event->pos(), width()))
        slot_maxBtnClicked();
}
