#include "StatusBar.h"

#include "LanguageSrc.h"
#include "ZVKLabel.h"

#include <QResizeEvent>

namespace {

const char kValueSheet[] = " font : 13px; color: rgb(125, 125, 125); ";
const char kSeparatedSheet[] =
    " font : 13px; color: rgb(125, 125, 125); border-right: 1px solid rgb(61, 61, 61); ";

QString keyText(const char* key, const QString& value) { return GetText(key).arg(value); }

} // namespace

StatusBar::StatusBar(QWidget* parent) : QWidget(parent) {
    m_background = new QWidget(this);
    m_background->setStyleSheet(QStringLiteral(
        " .QWidget { background-color: rgb(30,31,35); border: 1px solid rgb(78,83,90);"
        "border-top: none; }"));
    m_online = makeLabel(kValueSheet);
    m_ip = makeLabel(kSeparatedSheet);
    m_subnet = makeLabel(kSeparatedSheet);
    m_gateway = makeLabel(kSeparatedSheet);
    m_dns = makeLabel(kValueSheet);
    SetOnlineNum(0);
}

ZVKLabel* StatusBar::makeLabel(const char* sheet) {
    ZVKLabel* label = new ZVKLabel(this);
    // Host values come from the system, but nothing here interprets markup.
    label->setTextFormat(Qt::PlainText);
    label->setStyleSheet(QString::fromLatin1(sheet));
    return label;
}

void StatusBar::SetOnlineNum(int count) {
    m_online->setText(GetText("IDCS_DEVICE_ONLINE_NUM_D").arg(count));
}

void StatusBar::SetOnlineNum(int shown, int online, bool filtered) {
    if (!filtered) {
        SetOnlineNum(shown);
        return;
    }
    m_online->setText(GetText("IDCS_DEVICE_ONLINE_SHOWN_D").arg(shown).arg(online));
}

void StatusBar::SetHostNetwork(const QString& ip, const QString& subnet, const QString& gateway,
                               const QString& dns) {
    m_ip->setText(keyText("IDCS_IP_ADDRESS_D", ip));
    m_subnet->setText(keyText("IDCS_SUBNET_D", subnet));
    m_gateway->setText(keyText("IDCS_GATEWAY_D", gateway));
    m_dns->setText(keyText("IDCS_DNS_D", dns));
}

void StatusBar::SetHostInterfaces(const QString& toolTip) {
    for (ZVKLabel* label : hostLabels())
        label->setToolTip(toolTip);
}

QVector<QPair<int, int>> StatusBar::hostLabelSpans(int barWidth, const QVector<int>& textWidths) {
    QVector<QPair<int, int>> spans(textWidths.size());
    int right = barWidth + 20; // the gap right of the DNS label falls off the edge
    for (int i = textWidths.size() - 1; i >= 0; --i) {
        const int width = textWidths[i] + 20;
        const int x = right - 20 - width;
        spans[i] = qMakePair(x, width);
        right = x;
    }
    return spans;
}

void StatusBar::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    const int w = event->size().width();
    m_background->setGeometry(0, 0, w, event->size().height());
    // Room for "shown of online" in the longest language.
    m_online->setGeometry(10, 5, 320, 17);
    m_dns->ensurePolished(); // the sheet sets the font the widths are measured in
    const QFontMetrics metrics(m_dns->font());
    QVector<int> widths;
    for (ZVKLabel* label : hostLabels())
        widths.append(metrics.horizontalAdvance(label->text()));
    const QVector<QPair<int, int>> spans = hostLabelSpans(w, widths);
    const QVector<ZVKLabel*> labels = hostLabels();
    for (int i = 0; i < labels.size(); ++i)
        labels[i]->setGeometry(spans[i].first, 5, spans[i].second, 17);
}
