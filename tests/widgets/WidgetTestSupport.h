// Helpers shared by the widget tests: the language texts, the program's
// look, typing into whatever part has the focus, and mouse events with
// explicit positions.
#pragma once

#include "ApplicationFont.h"
#include "ZVKStyle.h"
#include "LanguageSrc.h"
#include "SkinResources.h"

#include <QApplication>
#include <QFile>
#include <QMouseEvent>
#include <QTest>
#include <QWidget>

namespace widgettest {

// Opens the texts of `languageId` (English by default) deployed beside the
// test program.
inline void openLanguage(unsigned int languageId = 0x409) {
    g_languageId = languageId;
    InitLanguage(QCoreApplication::applicationDirPath().toUtf8(), languageId);
}

// Gives the whole test program the look the program starts with: the
// application style, the skin sheet and the application font, mapped to
// the faces installed here. For tests of what the user sees (text that
// fits, margins, focus marks). Returns false when the sheet is missing.
inline bool applyLook() {
    InitSkinResources();
    QApplication::setStyle(new ZVKStyle);
    QFile sheet(QStringLiteral(":/skin/qss/stylesheet.css"));
    if (!sheet.open(QIODevice::ReadOnly))
        return false;
    qApp->setStyleSheet(QString::fromUtf8(sheet.readAll()));
    InstallApplicationFontSubstitutes();
    QApplication::setFont(ApplicationFont());
    return true;
}

// Types `keys` one by one into the widget that has the focus at each key,
// as a user would while focus jumps from part to part.
inline void typeIntoFocus(const QString& keys) {
    for (const QChar c : keys)
        QTest::keyClick(QApplication::focusWidget(), c.toLatin1());
}

inline void keyIntoFocus(Qt::Key key) { QTest::keyClick(QApplication::focusWidget(), key); }

// Sends a mouse event with both positions given, so that tests do not
// depend on where the platform puts the cursor.
inline void sendMouse(QWidget* widget, QEvent::Type type, const QPoint& local,
                      Qt::MouseButton button, Qt::MouseButtons buttons) {
    QMouseEvent event(type, local, widget->mapToGlobal(local), button, buttons, Qt::NoModifier);
    QApplication::sendEvent(widget, &event);
}

inline void sendMouseGlobal(QWidget* widget, QEvent::Type type, const QPoint& global,
                            Qt::MouseButton button, Qt::MouseButtons buttons) {
    QMouseEvent event(type, widget->mapFromGlobal(global), global, button, buttons, Qt::NoModifier);
    QApplication::sendEvent(widget, &event);
}

// Shows `widget` as the active window and waits until it is.
inline bool showActive(QWidget* widget) {
    widget->show();
    QApplication::setActiveWindow(widget);
    return QTest::qWaitForWindowActive(widget);
}

} // namespace widgettest
