#include "StatusBar.h"

#include "LanguageSrc.h"
#include "ZVKLabel.h"

#include <QResizeEvent>

namespace {

const char kValueSheet[] = " font : 13px; color: rgb(125, 125, 125); ";
const char kAmberSheet[] = " font : 13px; color: rgb(232, 182, 70); ";
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
    m_shared = makeLabel(kAmberSheet);
    m_shared->setObjectName(QStringLiteral("sharedAddresses"));
    m_shared->setToolTip(GetText("IDCS_ADDRESS_SHARED_TIP"));
    m_shared->hide();
    m_notice = makeLabel(kAmberSheet);
    m_notice->setObjectName(QStringLiteral("notice"));
    m_notice->hide();
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
    setOnlineText(GetText("IDCS_DEVICE_ONLINE_NUM_D").arg(count));
}

void StatusBar::SetOnlineNum(int shown, int online, bool filtered) {
    if (!filtered) {
        SetOnlineNum(shown);
        return;
    }
    setOnlineText(GetText("IDCS_DEVICE_ONLINE_SHOWN_D").arg(shown).arg(online));
}

// The count changes with every device that arrives (ten thousand in a
// burst): the labels beside it move only when it gains or loses a digit,
// not measured each time (the faces' digits are all one width).
void StatusBar::setOnlineText(const QString& text) {
    const bool longer = text.size() != m_online->text().size();
    m_online->setText(text);
    if (longer)
        layOutLeft();
}

void StatusBar::SetSharedAddresses(int devices) {
    m_shared->setText(devices > 0 ? GetText("IDCS_ADDRESS_SHARED_COUNT_D").arg(devices)
                                  : QString());
    m_shared->setVisible(devices > 0);
    layOutLeft();
}

void StatusBar::ShowNotice(const QString& text) {
    m_noticeText = text;
    m_notice->setToolTip(text);
    m_notice->setVisible(!text.isEmpty());
    layOutLeft();
}

void StatusBar::layOutLeft() {
    m_online->ensurePolished(); // the sheet sets the font the widths are measured in
    const QFontMetrics metrics(m_online->font());
    int left = 10;
    for (ZVKLabel* label : {m_online, m_shared}) {
        if (label != m_online && label->isHidden())
            continue;
        const int width = metrics.horizontalAdvance(label->text()) + 4;
        label->setGeometry(left, 5, width, 17);
        left += width + 16;
    }
    int right = width() - 10;
    for (const ZVKLabel* host : hostLabels())
        if (!host->text().isEmpty())
            right = qMin(right, host->x() - 10);
    const int room = qMax(0, right - left);
    m_notice->setText(metrics.elidedText(m_noticeText, Qt::ElideRight, room));
    m_notice->setGeometry(left, 5, room, 17);
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
    m_dns->ensurePolished(); // the sheet sets the font the widths are measured in
    const QFontMetrics metrics(m_dns->font());
    QVector<int> widths;
    for (ZVKLabel* label : hostLabels())
        widths.append(metrics.horizontalAdvance(label->text()));
    const QVector<QPair<int, int>> spans = hostLabelSpans(w, widths);
    const QVector<ZVKLabel*> labels = hostLabels();
    for (int i = 0; i < labels.size(); ++i)
        labels[i]->setGeometry(spans[i].first, 5, spans[i].second, 17);
    layOutLeft();
}
