// Driving the program's modal message boxes from a test: the box that comes
// up is found, read, optionally rendered, and its OK button pressed, so that
// no test ever waits on a person.
#pragma once

#include "N12_MessageBox.h"

#include <QApplication>
#include <QButtonGroup>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QTest>
#include <QTimer>

namespace windowtest {

// What the last driven box said.
struct SeenBox {
    int count = 0; // boxes driven so far
    QString title; // the box's title: its kind (warning, error, information)
    QString text;  // the message
};

// The message of a box: its one word-wrapped label.
inline QString boxText(const N12_MessageBox* box) {
    for (const QLabel* label : box->findChildren<QLabel*>()) {
        if (label->wordWrap())
            return label->text();
    }
    return QString();
}

// `window` with `box` painted over it where the box stands on the screen.
inline QPixmap boxOverWindow(QWidget* window, QWidget* box) {
    QPixmap picture = window->grab();
    QPainter painter(&picture);
    painter.drawPixmap(box->mapToGlobal(QPoint()) - window->mapToGlobal(QPoint()), box->grab());
    return picture;
}

// Types `path` into the file box once it shows the path's folder, and
// accepts it at once (the folder's loading resets a name typed before);
// gives the box up (rejects it) after 5 s, so the test never hangs.
inline void answerFileBox(const QString& path, int tries = 250) {
    QTimer::singleShot(20, [path, tries] {
        auto* files = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        auto* name = files ? files->findChild<QLineEdit*>(QStringLiteral("fileNameEdit")) : nullptr;
        const QFileInfo wanted(path);
        if (files != nullptr && tries <= 0)
            return files->reject();
        if (files == nullptr || name == nullptr)
            return answerFileBox(path, tries - 1);
        if (QFileInfo(files->directory().absolutePath()) != QFileInfo(wanted.absolutePath())) {
            files->setDirectory(wanted.absolutePath());
            return answerFileBox(path, tries - 1);
        }
        name->setText(wanted.fileName());
        static_cast<QDialog*>(files)->accept(); // QFileDialog::accept, as OK does
    });
}

// Watches for modal message boxes while it lives; every one that shows is
// recorded and closed with its OK button. A box that asks (Yes and No) is
// recorded apart, as the last question, and answered with answer()
// (Yes unless told otherwise), so that the boxes of outcomes keep their
// count. With a shot path set, the next
// box is first rendered over `shotWindow` into that PNG.
class BoxDriver : public QObject {
public:
    BoxDriver() {
        m_timer.setInterval(10);
        QObject::connect(&m_timer, &QTimer::timeout, [this] { poll(); });
        m_timer.start();
    }
    const SeenBox& seen() const { return m_seen; }
    int count() const { return m_seen.count; }
    const SeenBox& question() const { return m_question; }
    void setAnswer(int button) { m_answer = button; }
    // Ends boxes with Return on their focused button, as a keyboard user
    // does, instead of a click.
    void setByKeyboard(bool keyboard) { m_byKeyboard = keyboard; }
    // The next box that tells (or, with `question`, the next that asks) is
    // first rendered over `window` into the PNG at `path`.
    void shootNext(QWidget* window, const QString& path, bool question = false) {
        m_shotWindow = window;
        m_shotPath = path;
        m_shotQuestion = question;
    }

private:
    void poll() {
        auto* box = qobject_cast<N12_MessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr || !box->isVisible() || box->property("driven").toBool())
            return;
        // Marked, not remembered by address: the next box may take its place.
        box->setProperty("driven", true);
        const bool asks = (box->buttonMask() & N12_MessageBox::Yes) != 0;
        SeenBox& seen = asks ? m_question : m_seen;
        seen.title = box->title();
        seen.text = boxText(box);
        ++seen.count;
        if (!m_shotPath.isEmpty() && asks == m_shotQuestion) {
            QApplication::processEvents();
            boxOverWindow(m_shotWindow ? m_shotWindow : box, box).save(m_shotPath);
            m_shotPath.clear();
        }
        const int press = asks ? m_answer : N12_MessageBox::Ok;
        if (m_byKeyboard && QApplication::focusWidget() != nullptr &&
            QApplication::focusWidget()->window() == box) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
            return;
        }
        if (QPushButton* ok = qobject_cast<QPushButton*>(box->buttonGroup()->button(press)))
            ok->click();
        else
            box->close();
    }

    QTimer m_timer;
    SeenBox m_seen;
    SeenBox m_question;
    int m_answer = N12_MessageBox::Yes;
    bool m_byKeyboard = false;
    bool m_shotQuestion = false;
    QWidget* m_shotWindow = nullptr;
    QString m_shotPath;
};

} // namespace windowtest
