#include "IpAddrEdit.h"

#include "AddrPartLineEdit.h"

#include <QApplication>
#include <QClipboard>
#include <QEvent>
#include <QHBoxLayout>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QValidator>
#include <QPainter>
#include <QRegExp>

AddrEditBase::AddrEditBase(QChar separator, const QString& addressPattern, QWidget* parent)
    : QFrame(parent), m_separator(separator), m_addressPattern(addressPattern) {}

void AddrEditBase::setParts(const QList<AddrPartLineEdit*>& parts) {
    m_parts = parts;
    QHBoxLayout* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    for (int i = 0; i < m_parts.size(); ++i) {
        AddrPartLineEdit* part = m_parts[i];
        layout->addWidget(part);
        part->setIndex(i);
        part->setNextPart(i + 1 < m_parts.size() ? m_parts[i + 1] : nullptr);
        part->setPreviousPart(i > 0 ? m_parts[i - 1] : nullptr);
        if (i > 0)
            setTabOrder(m_parts[i - 1], part);
        connect(part, SIGNAL(textChanged(QString)), this, SLOT(slot_textchanged(QString)));
        connect(part, &AddrPartLineEdit::keyRefused, this, &AddrEditBase::refuse);
        connect(part, &QLineEdit::textEdited, this, &AddrEditBase::clearRefusal);
        connect(part, &QLineEdit::textEdited, this, &AddrEditBase::userEdited);
        part->installEventFilter(this);
    }
    if (!m_parts.isEmpty())
        setFocusProxy(m_parts.first());
    applySheet();
}

QString AddrEditBase::joined() const {
    QStringList texts;
    for (const AddrPartLineEdit* part : m_parts)
        texts.append(part->text());
    return texts.join(m_separator);
}

QString AddrEditBase::text() const {
    for (const AddrPartLineEdit* part : m_parts) {
        if (!part->text().isEmpty())
            return joined();
    }
    return QString();
}

bool AddrEditBase::setText(const QString& address) {
    resetRun();
    clearRefusal();
    if (!QRegExp(m_addressPattern).exactMatch(address)) {
        for (AddrPartLineEdit* part : qAsConst(m_parts))
            part->setText(QString());
        return false;
    }
    const QStringList pieces = address.split(m_separator);
    for (int i = 0; i < m_parts.size() && i < pieces.size(); ++i)
        m_parts[i]->setText(pieces[i]);
    return true;
}

void AddrEditBase::slot_textchanged(const QString&) {
    const QString all = joined();
    emit textchanged(all);
    emit textedited(all);
}

QString AddrEditBase::normalSheet() const {
    const QString name = QLatin1String(metaObject()->className());
    return QStringLiteral(
               "%1 { color: rgb(172,172,172); border: 1px solid rgb(103,111,116); border-radius: "
               "2px;"
               " background: rgb(19,20,24); }"
               "%1:disabled { color: rgb(70,73,77); border: 1px solid rgb(45,47,49); "
               "border-radius: 2px;"
               " background: rgb(28,29,30); }"
               "%1:hover:enabled { border: 1px solid rgb(37,96,118); }"
               "%1 QLineEdit { background: transparent; border: 0px; color: rgb(172,172,172); }"
               "%1 QLineEdit:disabled { color: rgb(70,73,77); }")
        .arg(name);
}

QString AddrEditBase::focusedSheet() const {
    const QString name = QLatin1String(metaObject()->className());
    return QStringLiteral(
               "%1 { color: white; border: 1px solid rgb(56,145,180); border-radius: 2px;"
               " background: rgb(0,30,36); }"
               "%1 QLineEdit { background: transparent; border: 0px; color: white; }")
        .arg(name);
}

// The border in the skin's warning red.
QString AddrEditBase::refusedSheet() const {
    const QString name = QLatin1String(metaObject()->className());
    return focusedSheet() + QStringLiteral("%1 { border: 2px solid rgb(214,64,52); }").arg(name);
}

bool AddrEditBase::partHasFocus() const {
    for (const AddrPartLineEdit* part : m_parts)
        if (part->hasFocus())
            return true;
    return false;
}

void AddrEditBase::applySheet() {
    setStyleSheet(m_refused ? refusedSheet() : partHasFocus() ? focusedSheet() : normalSheet());
}

void AddrEditBase::resetRun() {
    m_run.clear();
    m_runRefused = false;
}

void AddrEditBase::refuse() {
    QApplication::beep();
    m_refused = true;
    applySheet();
    emit inputRefused();
}

void AddrEditBase::clearRefusal() {
    if (!m_refused)
        return;
    m_refused = false;
    applySheet();
}

bool AddrEditBase::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
    case QEvent::FocusIn:
        applySheet();
        break;
    case QEvent::FocusOut:
        // The focus is already where it goes: a run of typing ends when it
        // leaves the field, not when it moves between the parts.
        if (!partHasFocus())
            resetRun();
        applySheet();
        break;
    case QEvent::MouseButtonPress:
        resetRun();
        break;
    case QEvent::KeyPress:
        return takeKey(static_cast<QKeyEvent*>(event));
    case QEvent::InputMethod: {
        const QString committed = static_cast<QInputMethodEvent*>(event)->commitString();
        if (committed.size() == 1)
            return takeTyped(committed[0]);
        break;
    }
    default:
        break;
    }
    return QFrame::eventFilter(watched, event);
}

bool AddrEditBase::takeKey(const QKeyEvent* event) {
    if (event->matches(QKeySequence::Paste)) {
        paste();
        return true;
    }
    const QString text = event->text();
    const bool typed = text.size() == 1 && text[0].isPrint() &&
                       !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier));
    if (typed)
        return takeTyped(text[0]);
    const int key = event->key();
    const bool modifierOnly = key == Qt::Key_Shift || key == Qt::Key_Control ||
                              key == Qt::Key_Alt || key == Qt::Key_Meta || key == Qt::Key_AltGr;
    if (!modifierOnly)
        resetRun(); // an editing or moving key: the next typing starts afresh
    return false;
}

// Up to the last boundary the parts handle the keys as ever (moving on by
// themselves); from there the run is the address, whatever the parts made
// of the keys before.
bool AddrEditBase::takeTyped(QChar c) {
    if (m_parts.isEmpty())
        return false;
    // Once a whole address was refused, what follows of it is no address
    // either: "10.77.0.1.5" must not end as 10.77.0.15.
    if (m_runRefused) {
        refuse();
        return true;
    }
    const bool separator = m_parts.first()->isSeparator(c);
    const QString run = m_run + (separator ? m_separator : c);
    if (run.count(m_separator) < m_parts.size() - 1) {
        m_run = run;
        return false;
    }
    if (!layWhole(run)) {
        m_runRefused = true;
        refuse();
        return true;
    }
    m_run = run;
    return true;
}

bool AddrEditBase::layWhole(const QString& run) {
    const QStringList pieces = run.split(m_separator);
    if (pieces.size() != m_parts.size())
        return false;
    for (int i = 0; i < pieces.size(); ++i) {
        const bool last = i == pieces.size() - 1;
        QString piece = pieces[i];
        int at = 0;
        const QValidator* rule = m_parts[i]->validator();
        if (last && piece.isEmpty())
            continue;
        // The last part may still be on its way ("5" of a MAC's "5e").
        const QValidator::State state = rule ? rule->validate(piece, at) : QValidator::Acceptable;
        if (piece.isEmpty() || piece.size() > m_parts[i]->maxLength() ||
            state == QValidator::Invalid || (!last && state != QValidator::Acceptable))
            return false;
    }
    AddrPartLineEdit* lastPart = m_parts.last();
    lastPart->setFocus(Qt::OtherFocusReason);
    for (int i = 0; i < pieces.size(); ++i) {
        const bool last = i == pieces.size() - 1;
        m_parts[i]->resetTyping();
        m_parts[i]->setText(last ? pieces[i] : m_parts[i]->normalized(pieces[i]));
    }
    lastPart->deselect();
    lastPart->setCursorPosition(lastPart->text().size());
    clearRefusal();
    emit userEdited();
    return true;
}

void AddrEditBase::paste() {
    const QString text = QApplication::clipboard()->text().trimmed();
    resetRun();
    if (!QRegExp(m_addressPattern).exactMatch(text)) {
        refuse();
        return;
    }
    layWhole(text);
}

QPointF AddrEditBase::separatorPosition(int k) const {
    const QRectF r = rect();
    return QPointF(k * r.width() / m_parts.size(), 2 * r.height() / 3);
}

void AddrEditBase::paintEvent(QPaintEvent* event) {
    {
        QPainter painter(this);
        const QColor colour = isEnabled() ? QColor(172, 172, 172) : QColor(70, 73, 77);
        painter.setPen(QPen(colour, 2, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin));
        // The glyph is centred on the boundary between two parts.
        const qreal half = painter.fontMetrics().horizontalAdvance(m_separator) / 2.0;
        for (int k = 1; k < m_parts.size(); ++k)
            painter.drawText(separatorPosition(k) - QPointF(half, 0), QString(m_separator));
    }
    QFrame::paintEvent(event);
}

void AddrEditBase::changeEvent(QEvent* event) {
    QFrame::changeEvent(event);
    if (event->type() == QEvent::EnabledChange)
        update();
}

QString IpAddrEdit::addressPattern() {
    return QStringLiteral(
        "((2[0-4]\\d|25[0-5]|[01]?\\d\\d?)\\.){3}(2[0-4]\\d|25[0-5]|[01]?\\d\\d?)");
}

IpAddrEdit::IpAddrEdit(QWidget* parent) : AddrEditBase(QLatin1Char('.'), addressPattern(), parent) {
    QList<AddrPartLineEdit*> parts;
    for (int i = 0; i < 4; ++i)
        parts.append(new MyIpPartLineEdit(this));
    setParts(parts);
}

QPointF IpAddrEdit::separatorPosition(int k) const {
    const int w = width();
    const int h = height();
    return QPoint(k * w / 4, 2 * h / 3);
}
