// Renders the widget toolkit offscreen into PNG files:
//   gallery OUTPUT_DIR
// One file per control family with each state side by side, one per
// message box type, the About box, the main window frame and a device tree.

#include "AboutDlg.h"
#include "AdaptImage.h"
#include "ApplicationFont.h"
#include "BaseDialog.h"
#include "BorderImage.h"
#include "CheckBoxHeaderView.h"
#include "CustomDialog.h"
#include "ZVKButton.h"
#include "HeaderButton.h"
#include "IconButton.h"
#include "IpAddrEdit.h"
#include "MacAddrEdit.h"
#include "N12_MessageBox.h"
#include "PortLineEdit.h"
#include "ToolButton.h"
#include "VistaTreeWidget.h"
#include "ZVKCheckBox.h"
#include "ZVKLabel.h"
#include "ZVKLineEdit.h"
#include "ZVKMenu.h"
#include "ZVKPushButton.h"
#include "ZVKStyle.h"
#include "LanguageSrc.h"
#include "SkinResources.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFont>
#include <QImage>
#include <QPainter>
#include <QTest>
#include <QTextStream>

#include <cstdio>
#include <functional>

namespace {

struct Shot {
    QString caption;
    QImage image;
};

// Background the samples sit on: the dialogs' colour.
const QColor kHostColour(23, 24, 28);

void activate(QWidget* window) {
    QApplication::setActiveWindow(window);
    if (!QTest::qWaitForWindowActive(window))
        std::fprintf(stderr, "gallery: window did not become active\n");
}

void settle() {
    for (int i = 0; i < 3; ++i)
        QApplication::processEvents();
}

// Shows `widget` in an active window of its own, gives it the keyboard focus
// if asked, and grabs it together with a small margin of dark host.
QImage grabInHost(QWidget* widget, const QSize& size, bool focus,
                  const std::function<void(QWidget*)>& state = nullptr) {
    QWidget host;
    host.setAutoFillBackground(true);
    QPalette palette = host.palette();
    palette.setColor(QPalette::Window, kHostColour);
    host.setPalette(palette);
    host.resize(size + QSize(16, 16));
    widget->setParent(&host);
    widget->setGeometry(8, 8, size.width(), size.height());
    host.show();
    activate(&host);
    if (focus)
        widget->setFocus(Qt::TabFocusReason);
    else if (QApplication::focusWidget())
        QApplication::focusWidget()->clearFocus();
    settle();
    // States are set last: showing and activating re-evaluate hover.
    if (state)
        state(widget);
    const QImage image = host.grab().toImage();
    delete widget;
    return image;
}

void hover(QWidget* widget) {
    // A real pointer move, so the application tracks the widget as hovered;
    // two of them, as a move to where the pointer already is counts for
    // nothing (the previous shot may have left it there).
    QTest::mouseMove(widget, QPoint(1, 1));
    QTest::mouseMove(widget, widget->rect().center());
    settle();
}

void press(QWidget* widget) {
    if (QAbstractButton* button = qobject_cast<QAbstractButton*>(widget))
        button->setDown(true);
}

QImage grabTopLevel(QWidget* widget) {
    widget->show();
    activate(widget);
    settle();
    QImage image(widget->size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(kHostColour);
    QPainter painter(&image);
    painter.drawImage(0, 0, widget->grab().toImage());
    return image;
}

// Lays the shots out in a grid under their captions.
QImage sheet(const QString& title, const QList<Shot>& shots, int columns) {
    int cellW = 0;
    int cellH = 0;
    for (const Shot& shot : shots) {
        cellW = qMax(cellW, shot.image.width());
        cellH = qMax(cellH, shot.image.height());
    }
    cellW = qMax(cellW, 120) + 16;
    cellH += 22;
    const int rows = (shots.size() + columns - 1) / columns;
    QImage image(columns * cellW + 16, rows * cellH + 40, QImage::Format_ARGB32_Premultiplied);
    image.fill(QColor(12, 12, 14));
    QPainter painter(&image);
    painter.setPen(QColor(220, 220, 220));
    QFont font = QApplication::font();
    font.setPixelSize(14);
    font.setBold(true);
    painter.setFont(font);
    painter.drawText(10, 22, title);
    font.setPixelSize(11);
    font.setBold(false);
    painter.setFont(font);
    for (int i = 0; i < shots.size(); ++i) {
        const int x = 8 + (i % columns) * cellW;
        const int y = 36 + (i / columns) * cellH;
        painter.setPen(QColor(150, 150, 150));
        painter.drawText(x, y + 11, shots[i].caption);
        painter.drawImage(x, y + 16, shots[i].image);
    }
    return image;
}

bool save(const QDir& dir, const QString& name, const QImage& image) {
    const QString path = dir.filePath(name + QStringLiteral(".png"));
    if (!image.save(path)) {
        std::fprintf(stderr, "gallery: cannot write %s\n", qPrintable(path));
        return false;
    }
    std::printf("%s\n", qPrintable(path));
    return true;
}

using Factory = std::function<QWidget*()>;

// The usual four states of a control: normal, hover, pressed, disabled.
QList<Shot> states(const Factory& make, const QSize& size, bool withPressed = true) {
    QList<Shot> shots;
    shots.append({QStringLiteral("normal"), grabInHost(make(), size, false)});
    shots.append({QStringLiteral("hover"), grabInHost(make(), size, false, hover)});
    if (withPressed)
        shots.append({QStringLiteral("pressed"), grabInHost(make(), size, false, press)});
    QWidget* disabled = make();
    disabled->setEnabled(false);
    shots.append({QStringLiteral("disabled"), grabInHost(disabled, size, false)});
    return shots;
}

QImage buttonsSheet() {
    QList<Shot> shots = states([] { return new ZVKPushButton(GetText("IDCS_SAVE")); }, {90, 25});
    shots.append({QStringLiteral("focused"),
                  grabInHost(new ZVKPushButton(GetText("IDCS_OK")), {90, 25}, true)});
    shots.append({QStringLiteral("focused, hover"),
                  grabInHost(new ZVKPushButton(GetText("IDCS_OK")), {90, 25}, true, hover)});
    ZVKPushButton* checked = new ZVKPushButton(GetText("IDCS_OK"));
    checked->setCheckable(true);
    checked->setChecked(true);
    shots.append({QStringLiteral("checked"), grabInHost(checked, {90, 25}, false)});
    return sheet(QStringLiteral("ZVKPushButton"), shots, 7);
}

QImage toolButtonsSheet() {
    QList<Shot> shots;
    const Factory withMenu = [] { return new ToolButton(GetText("IDCS_MANUAL_REFRESH"), true); };
    for (Shot shot : states(withMenu, {150, 30})) {
        shot.caption = QStringLiteral("menu, ") + shot.caption;
        shots.append(shot);
    }
    shots.append({QStringLiteral("plain"),
                  grabInHost(new ToolButton(GetText("IDCS_ABOUT"), false), {150, 30}, false)});
    shots.append({QStringLiteral("plain, focused"),
                  grabInHost(new ToolButton(GetText("IDCS_ABOUT"), false), {150, 30}, true)});
    const Factory icon = [] {
        IconButton* b = new IconButton(QStringLiteral(":/skin/divide_open.png"));
        b->setCheckable(true);
        return b;
    };
    for (Shot shot : states(icon, {30, 30})) {
        shot.caption = QStringLiteral("icon ") + shot.caption;
        shots.append(shot);
    }
    return sheet(QStringLiteral("ToolButton, IconButton"), shots, 4);
}

QImage headerButtonSheet() {
    QList<Shot> shots = states([] { return new HeaderButton; }, {32, 33});
    return sheet(QStringLiteral("HeaderButton"), shots, 4);
}

QImage checkBoxSheet() {
    QList<Shot> shots;
    for (int checkedState = 0; checkedState < 2; ++checkedState) {
        const Factory make = [checkedState] {
            ZVKCheckBox* box = new ZVKCheckBox(GetText("IDCS_ALL_DEVICE"));
            box->setChecked(checkedState == 1);
            return box;
        };
        for (Shot shot : states(make, {150, 24}, false)) {
            shot.caption =
                (checkedState ? QStringLiteral("checked ") : QStringLiteral("")) + shot.caption;
            shots.append(shot);
        }
    }
    shots.append({QStringLiteral("focused"),
                  grabInHost(new ZVKCheckBox(GetText("IDCS_ALL_DEVICE")), {150, 24}, true)});
    return sheet(QStringLiteral("ZVKCheckBox"), shots, 3);
}

QImage lineEditSheet() {
    QList<Shot> shots;
    const Factory edit = [] { return new ZVKLineEdit(QStringLiteral("admin")); };
    shots.append({QStringLiteral("normal"), grabInHost(edit(), {160, 24}, false)});
    shots.append({QStringLiteral("hover"), grabInHost(edit(), {160, 24}, false, hover)});
    shots.append({QStringLiteral("focused"), grabInHost(edit(), {160, 24}, true)});
    QWidget* disabled = edit();
    disabled->setEnabled(false);
    shots.append({QStringLiteral("disabled"), grabInHost(disabled, {160, 24}, false)});
    shots.append({QStringLiteral("PortLineEdit"),
                  grabInHost(new PortLineEdit(QStringLiteral("8000")), {160, 24}, false)});
    shots.append({QStringLiteral("ZVKLabel"),
                  grabInHost(new ZVKLabel(GetText("IDCS_IP_ADDRESS")), {160, 24}, false)});
    ZVKLabel* label = new ZVKLabel(GetText("IDCS_IP_ADDRESS"));
    label->setEnabled(false);
    shots.append({QStringLiteral("ZVKLabel disabled"), grabInHost(label, {160, 24}, false)});
    return sheet(QStringLiteral("ZVKLineEdit, PortLineEdit, ZVKLabel"), shots, 4);
}

QImage addressSheet() {
    QList<Shot> shots;
    const auto ip = [](const QString& text) {
        return [text] {
            IpAddrEdit* e = new IpAddrEdit;
            e->setText(text);
            return static_cast<QWidget*>(e);
        };
    };
    shots.append({QStringLiteral("ip empty"), grabInHost(ip(QString())(), {150, 24}, false)});
    shots.append(
        {QStringLiteral("ip filled"), grabInHost(ip("192.168.1.108")(), {150, 24}, false)});
    shots.append(
        {QStringLiteral("ip hover"), grabInHost(ip("10.0.0.1")(), {150, 24}, false, hover)});
    shots.append(
        {QStringLiteral("ip focused"), grabInHost(ip("255.255.255.0")(), {150, 24}, true)});
    QWidget* disabled = ip("192.168.1.1")();
    disabled->setEnabled(false);
    shots.append({QStringLiteral("ip disabled"), grabInHost(disabled, {150, 24}, false)});
    MacAddrEdit* mac = new MacAddrEdit;
    mac->setText(QStringLiteral("00:1A:2B:3C:4D:5E"));
    shots.append({QStringLiteral("mac filled"), grabInHost(mac, {190, 24}, false)});
    shots.append({QStringLiteral("mac focused"), grabInHost(new MacAddrEdit, {190, 24}, true)});
    MacAddrEdit* macOff = new MacAddrEdit;
    macOff->setText(QStringLiteral("00:1A:2B:3C:4D:5E"));
    macOff->setEnabled(false);
    shots.append({QStringLiteral("mac disabled"), grabInHost(macOff, {190, 24}, false)});
    return sheet(QStringLiteral("IpAddrEdit, MacAddrEdit"), shots, 4);
}

QImage imagesSheet() {
    QList<Shot> shots;
    shots.append({QStringLiteral("BorderImage info"),
                  grabInHost(new BorderImage(QStringLiteral(":/skin/info.png")), {26, 26}, false)});
    shots.append({QStringLiteral("BorderImage logo"),
                  grabInHost(new BorderImage(QStringLiteral(":/skin/Zemtravon_logo.png")), {40, 40},
                             false)});
    shots.append(
        {QStringLiteral("AdaptImage wide"),
         grabInHost(new AdaptImage(QStringLiteral(":/skin/Warning.png")), {90, 50}, false)});
    shots.append(
        {QStringLiteral("AdaptImage 50"),
         grabInHost(new AdaptImage(QStringLiteral(":/skin/Question.png")), {50, 50}, false)});
    return sheet(QStringLiteral("BorderImage, AdaptImage"), shots, 4);
}

QImage menuSheet() {
    ZVKMenu menu;
    QAction* five = menu.addAction(GetText("IDCS_AUTO_REFRESH_BY_5S"));
    five->setCheckable(true);
    five->setChecked(true);
    menu.addAction(GetText("IDCS_AUTO_REFRESH_BY_10S"))->setCheckable(true);
    menu.addSeparator();
    menu.addAction(GetText("IDCS_REFRESH_DISABLE"))->setCheckable(true);
    ZVKMenu* sub = new ZVKMenu(GetText("IDCS_FILTER_CONDITION"), &menu);
    sub->addAction(GetText("IDCS_ZVK_IPC"));
    menu.addMenu(sub);
    menu.setActiveAction(menu.actions().at(1));
    menu.popup(QPoint(20, 20));
    settle();
    QList<Shot> shots;
    shots.append({QStringLiteral("ZVKMenu, second entry selected"), grabTopLevel(&menu)});
    menu.hide();
    return sheet(QStringLiteral("ZVKMenu"), shots, 1);
}

QImage messageBox(int type, int mask, const QString& text, int width = 360) {
    N12_MessageBox box(text, mask, type);
    if (width != 360)
        box.resize(width, 200);
    return grabTopLevel(&box);
}

// The message box buttons in every language the program ships: all six at
// once in a wide box, and the yes/no question of a device reset.
QImage languagesSheet() {
    const struct {
        unsigned int id;
        const char* name;
    } languages[] = {{0x409, "English"},
                     {0x804, "Chinese (PRC)"},
                     {0x404, "Chinese (Taiwan)"},
                     {0x419, "Russian"}};
    const QByteArray appDir = QCoreApplication::applicationDirPath().toUtf8();
    QList<Shot> shots;
    for (const auto& language : languages) {
        InitLanguage(appDir, language.id);
        const QString name = QString::fromLatin1(language.name);
        shots.append({name + QStringLiteral(", all six buttons"),
                      messageBox(4, 63, GetText("IDCS_QUESTION"), 600)});
        shots.append({name + QStringLiteral(", yes / no"),
                      messageBox(4, 1 | 2, GetText("IDCS_RESTORE_DEVICE_PASSWORD_INFO"))});
    }
    InitLanguage(appDir, g_languageId);
    return sheet(QStringLiteral("N12_MessageBox buttons by language"), shots, 2);
}

// The title bar's right end, close button hovered, four times enlarged, so
// that its distance from the border can be judged.
QImage closeHoverShot() {
    CustomDialog dialog;
    dialog.show();
    activate(&dialog);
    hover(dialog.closeButton());
    const QImage corner = dialog.grab(QRect(dialog.width() - 40, 0, 40, 32)).toImage();
    QList<Shot> shots;
    shots.append({QStringLiteral("close hovered, x4"), corner.scaled(corner.size() * 4)});
    return sheet(QStringLiteral("CustomDialog close button"), shots, 1);
}

QImage treeShot() {
    VistaTreeWidget tree;
    CheckBoxHeaderView* header = new CheckBoxHeaderView(Qt::Horizontal, &tree, &tree);
    tree.setHeader(header);
    tree.setHeaderLabels({GetText("IDCS_DEVICE_NAME"), GetText("IDCS_DEVICE_TYPE"),
                          GetText("IDCS_PRODUCT_MODE"), GetText("IDCS_IP_ADDRESS"),
                          GetText("IDCS_MAC_ADDRESS"), GetText("IDCS_DATA_PORT")});
    header->setStretchLastSection(true);
    const int widths[] = {150, 90, 120, 130, 150};
    for (int i = 0; i < 5; ++i)
        header->resizeSection(i, widths[i]);
    const char* rows[][6] = {
        {"Gate camera", "IPC", "ZC-2412", "192.168.1.108", "00:1A:2B:3C:4D:5E", "9008"},
        {"Yard recorder", "NVR", "ZN-1608", "192.168.1.20", "00:1A:2B:00:00:20", "6036"},
        {"Lobby dome", "IPC", "ZC-5120", "10.0.0.64", "00:1A:2B:00:10:64", "9008"},
        {"<b>Store</b>", "DVR", "ZD-0804", "169.254.10.3", "00:1A:2B:0A:0A:03", "6036"},
        {"Keyboard", "NETKEYBOARD", "ZK-300", "192.168.1.250", "00:1A:2B:FF:00:FA", "6036"},
    };
    for (const auto& row : rows) {
        QStringList texts;
        for (const char* text : row)
            texts << QString::fromUtf8(text);
        new QTreeWidgetItem(&tree, texts);
    }
    HeaderButton* filter = new HeaderButton(header);
    header->setSectionWidget(3, filter, CheckBoxHeaderView::PlaceRight);
    tree.resize(780, 240);
    tree.setCurrentItem(tree.topLevelItem(1));
    tree.show();
    filter->show();
    activate(&tree);
    // Hover over the fourth row so its image shows too.
    const QRect hoverRect = tree.visualItemRect(tree.topLevelItem(3));
    QTest::mouseMove(tree.viewport(), hoverRect.topLeft() + QPoint(40, 4));
    QTest::mouseMove(tree.viewport(), hoverRect.topLeft() + QPoint(60, 8));
    settle();
    return tree.grab().toImage();
}

QImage frameShot() {
    BaseDialog frame(nullptr, Qt::FramelessWindowHint);
    frame.resize(360, 200);
    ZVKLabel* label = new ZVKLabel(QStringLiteral("BaseDialog"), frame.contentWidget());
    label->move(20, 20);
    return grabTopLevel(&frame);
}

void applyLook(QApplication& app) {
    QApplication::setStyle(new ZVKStyle);
    QFile sheetFile(QStringLiteral(":/skin/qss/stylesheet.css"));
    if (sheetFile.open(QIODevice::ReadOnly))
        app.setStyleSheet(QString::fromUtf8(sheetFile.readAll()));
    // The face the layout was drawn for does not exist here; without the
    // stand-ins the family falls back to a wider face and labels clip.
    InstallApplicationFontSubstitutes();
    QApplication::setFont(ApplicationFont());
}

bool renderAll(const QDir& dir) {
    bool ok = true;
    ok &= save(dir, QStringLiteral("pushbuttons"), buttonsSheet());
    ok &= save(dir, QStringLiteral("toolbuttons"), toolButtonsSheet());
    ok &= save(dir, QStringLiteral("headerbutton"), headerButtonSheet());
    ok &= save(dir, QStringLiteral("checkboxes"), checkBoxSheet());
    ok &= save(dir, QStringLiteral("lineedits"), lineEditSheet());
    ok &= save(dir, QStringLiteral("addressedits"), addressSheet());
    ok &= save(dir, QStringLiteral("images"), imagesSheet());
    ok &= save(dir, QStringLiteral("menu"), menuSheet());
    ok &= save(dir, QStringLiteral("msgbox_warning"),
               messageBox(1, 16, GetText("IDCS_PROMPT_IPADDRESS_EMPTY")));
    ok &= save(dir, QStringLiteral("msgbox_error"),
               messageBox(2, 16, GetText("IDCS_ERROR_DIFFERENT_SEGMENT")));
    ok &= save(dir, QStringLiteral("msgbox_information"),
               messageBox(3, 16, GetText("IDCS_IDCS_CHANGE_NETWORK_PARAM_SUCCESS")));
    ok &= save(dir, QStringLiteral("msgbox_question"),
               messageBox(4, 1 | 2, GetText("IDCS_RESTORE_DEVICE_PASSWORD_INFO")));
    ok &= save(dir, QStringLiteral("msgbox_all_buttons"),
               messageBox(4, 63,
                          QStringLiteral("All six buttons, from the right: No, Yes, "
                                         "Cancel, OK, a gap, All-not, All-yes."),
                          560));
    ok &= save(dir, QStringLiteral("msgbox_untyped"),
               messageBox(9, 16 | 32, QStringLiteral("<b>not bold</b>: device texts stay plain")));
    ok &= save(dir, QStringLiteral("msgbox_languages"), languagesSheet());
    ok &= save(dir, QStringLiteral("close_hover"), closeHoverShot());
    AboutDlg about;
    ok &= save(dir, QStringLiteral("about"), grabTopLevel(&about));
    ok &= save(dir, QStringLiteral("frame"), frameShot());
    ok &= save(dir, QStringLiteral("tree"), treeShot());
    return ok;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: gallery OUTPUT_DIR\n");
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    InitSkinResources();
    g_languageId = 0x409;
    InitLanguage(QCoreApplication::applicationDirPath().toUtf8(), g_languageId);
    applyLook(app);
    QDir dir(QString::fromLocal8Bit(argv[1]));
    if (!dir.mkpath(QStringLiteral("."))) {
        std::fprintf(stderr, "gallery: cannot create %s\n", argv[1]);
        return 1;
    }
    const bool ok = renderAll(dir);
    ReleaseLanguage();
    return ok ? 0 : 1;
}
