#include "AddrPartLineEdit.h"

#include <QFocusEvent>
#include <QInputMethodEvent>
#include <QIntValidator>
#include <QKeyEvent>
#include <QRegExp>
#include <QRegExpValidator>

AddrPartLineEdit::AddrPartLineEdit(int maxLength, const QString& pattern, QChar separator,
                                   QChar wideSeparator, QWidget* parent)
    : QLineEdit(parent), m_separator(separator), m_wideSeparator(wideSeparator) {
    setMaxLength(maxLength);
    setFrame(false);
    setAlignment(Qt::AlignCenter);
    setValidator(new QRegExpValidator(QRegExp(pattern, Qt::CaseSensitive), this));
    setContextMenuPolicy(Qt::NoContextMenu);
    connect(this, SIGNAL(textEdited(QString)), this, SLOT(text_edited(QString)));
}

void AddrPartLineEdit::focusNextPartSelected() {
    if (!m_nextPart)
        return;
    m_nextPart->setFocus();
    m_nextPart->selectAll();
}

void AddrPartLineEdit::text_edited(const QString& text) {
    if (!isComplete(text) || !m_nextPart)
        return;
    focusNextPartSelected();
    // The installer typing a whole address follows the full part with a
    // separator: that one was already done by the advance.
    m_nextPart->m_separatorPending = true;
}

void AddrPartLineEdit::focusOutEvent(QFocusEvent* event) {
    m_separatorPending = false;
    const QString tidy = normalized(text());
    if (tidy != text())
        setText(tidy);
    QLineEdit::focusOutEvent(event);
}

bool AddrPartLineEdit::takePendingSeparator(bool isSeparator) {
    const bool pending = m_separatorPending;
    m_separatorPending = false;
    return pending && isSeparator;
}

void AddrPartLineEdit::focusInEvent(QFocusEvent* event) {
    selectAll();
    QLineEdit::focusInEvent(event);
}

bool AddrPartLineEdit::isSeparator(QChar c) const {
    return c == m_separator || c == m_wideSeparator || c == QLatin1Char('.');
}

namespace {

// What a part looks like to the user: text, cursor, selection.
struct PartState {
    QString text;
    int cursor;
    QString selected;
    bool operator==(const PartState& o) const {
        return text == o.text && cursor == o.cursor && selected == o.selected;
    }
};

PartState stateOf(const QLineEdit* edit) {
    return {edit->text(), edit->cursorPosition(), edit->selectedText()};
}

} // namespace

void AddrPartLineEdit::keyPressEvent(QKeyEvent* event) {
    const PartState before = stateOf(this);
    const bool moved = handleNavigationKey(event);
    // The part's own handling always follows: a separator is then offered
    // to the validator, which refuses it.
    QLineEdit::keyPressEvent(event);
    const QString typed = event->text();
    const bool printable = typed.size() == 1 && typed[0].isPrint() &&
                           !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier));
    if (printable && !moved && hasFocus() && stateOf(this) == before)
        emit keyRefused();
}

bool AddrPartLineEdit::handleNavigationKey(QKeyEvent* event) {
    const int key = event->key();
    const bool separator = key == Qt::Key_Period || event->text() == QString(m_separator);
    if (takePendingSeparator(separator))
        return true;
    if (separator) {
        if (text().isEmpty() || !m_nextPart)
            return false;
        focusNextPartSelected();
        return true;
    }
    if (key == Qt::Key_Backspace && m_previousPart && text().isEmpty()) {
        QString previous = m_previousPart->text();
        previous.chop(1);
        m_previousPart->setText(previous);
        m_previousPart->setFocus();
        m_previousPart->setCursorPosition(previous.size());
    } else if (key == Qt::Key_Left && m_previousPart && cursorPosition() == 0) {
        m_previousPart->setFocus();
        m_previousPart->setCursorPosition(m_previousPart->text().size());
    } else if (key == Qt::Key_Right && m_nextPart && cursorPosition() == text().size()) {
        m_nextPart->setFocus();
        m_nextPart->setCursorPosition(0);
    } else {
        return false;
    }
    return true;
}

void AddrPartLineEdit::inputMethodEvent(QInputMethodEvent* event) {
    const PartState before = stateOf(this);
    QLineEdit::inputMethodEvent(event);
    const QString committed = event->commitString();
    const bool separator =
        committed == QString(m_separator) || committed == QString(m_wideSeparator);
    if (committed.isEmpty())
        return; // a preedit step, no input yet
    if (takePendingSeparator(separator))
        return;
    if (separator && !text().isEmpty() && m_nextPart) {
        focusNextPartSelected();
        return;
    }
    if (hasFocus() && stateOf(this) == before)
        emit keyRefused();
}

MyIpPartLineEdit::MyIpPartLineEdit(QWidget* parent)
    : AddrPartLineEdit(3, QStringLiteral("^(2[0-4]\\d|25[0-5]|[01]?\\d\\d?)$"), QLatin1Char('.'),
                       QChar(0x3002), parent) {}

// "050" reads as octal to some; the part shows the number it means.
QString MyIpPartLineEdit::normalized(const QString& text) const {
    if (text.isEmpty())
        return text;
    return QString::number(text.toInt());
}

bool MyIpPartLineEdit::isComplete(const QString& text) const {
    QIntValidator range(0, 255);
    QString probe = text;
    int pos = 0;
    if (range.validate(probe, pos) != QValidator::Acceptable || text.size() <= 1)
        return false;
    return !(text.size() == 2 && text.toInt() < 26);
}

MyMacPartLineEdit::MyMacPartLineEdit(QWidget* parent)
    : AddrPartLineEdit(2, QStringLiteral("^([0-9a-fA-F]){2}$"), QLatin1Char(':'), QChar(0xFF1A),
                       parent) {}

bool MyMacPartLineEdit::isComplete(const QString& text) const {
    return text.size() == 2 && QRegExp(QStringLiteral("^([0-9a-fA-F]){2}$")).exactMatch(text);
}
