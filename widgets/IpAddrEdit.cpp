#include "IpAddrEdit.h"

#include "AddrPartLineEdit.h"

#include <QEvent>
#include <QHBoxLayout>
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
        part->installEventFilter(this);
    }
    if (!m_parts.isEmpty())
        setFocusProxy(m_parts.first());
    setStyleSheet(normalSheet());
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

bool AddrEditBase::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::FocusIn)
        setStyleSheet(focusedSheet());
    else if (event->type() == QEvent::FocusOut)
        setStyleSheet(normalSheet());
    return QFrame::eventFilter(watched, event);
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

IpAddrEdit::IpAddrEdit(QWidget* parent)
    : AddrEditBase(QLatin1Char('.'), addressPattern(), parent) {
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
