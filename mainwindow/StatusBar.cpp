#include "StatusBar.h"

#include "LanguageSrc.h"
#include "ZVKLabel.h"

#include <QResizeEvent>
#include <QStringList>

namespace {

const char kValueSheet[] = " font : 13px; color: rgb(125, 125, 125); ";
// Amber, as the warnings of the forms: seen at a glance, not an error.
const char kNoticeSheet[] = " font : 13px; color: rgb(232, 170, 60); ";
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
    m_shared = makeLabel(kNoticeSheet);
    m_shared->setObjectName(QStringLiteral("sharedAddresses"));
    m_shared->setToolTip(GetText("IDCS_ADDRESS_SHARED_TIP"));
    m_shared->hide();
    m_notice = makeLabel(kNoticeSheet);
    m_notice->setObjectName(QStringLiteral("statusNotice"));
    m_notice->hide();
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
// burst): what follows it moves only when it gains or loses a character,
// not measured each time (the faces' digits are all one width).
void StatusBar::setOnlineText(const QString& text) {
    const bool moved = text.size() != m_online->text().size();
    m_online->setText(text);
    if (moved)
        placeNotice();
}

void StatusBar::SetSharedAddresses(int devices) {
    m_shared->setText(devices > 0 ? GetText("IDCS_ADDRESS_SHARED_COUNT_D").arg(devices)
                                  : QString());
    m_shared->setVisible(devices > 0);
    placeNotice();
}

void StatusBar::ShowNotice(const QString& text) {
    m_note = {text, text};
    showNotices();
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

void StatusBar::SetRouteNotice(const StatusNotice& notice) {
    m_route = notice;
    showNotices();
}

void StatusBar::SetTrustNotice(const StatusNotice& notice) {
    m_trust = notice;
    showNotices();
}

void StatusBar::showNotices() {
    QStringList details;
    for (const StatusNotice* n : {&m_route, &m_trust, &m_note})
        if (!n->mark.isEmpty())
            details.append(n->detail);
    m_notice->setToolTip(details.join(QStringLiteral("\n\n")));
    m_notice->setVisible(!details.isEmpty());
    placeNotice();
}

StatusNotice StatusBar::LinkLocalRouteNotice(LinkLocalRouteState state, const QString& card,
                                             const QString& carrier, const QString& advice,
                                             bool withheld) {
    switch (state) {
    case LinkLocalRouteState::NeedsRoot:
        return {GetText("IDCS_ROUTE_MISSING"),
                GetText(withheld ? "IDCS_ROUTE_MISSING_GROUP_TIP_D" : "IDCS_ROUTE_MISSING_TIP_D")
                    .arg(advice)};
    case LinkLocalRouteState::OtherInterface:
        return {GetText("IDCS_ROUTE_OTHER_CARD_D").arg(carrier),
                GetText("IDCS_ROUTE_OTHER_CARD_TIP_D")
                    .arg(carrier, card,
                         QStringLiteral("ip route del 169.254.0.0/16 dev %1").arg(carrier))};
    case LinkLocalRouteState::Started:
        return {GetText("IDCS_ROUTE_PENDING"), GetText("IDCS_ROUTE_PENDING_TIP_D").arg(card)};
    case LinkLocalRouteState::Present:
    case LinkLocalRouteState::NotLocal:
        break;
    }
    return {};
}

StatusNotice StatusBar::TrustDirNotice(const QString& folder) {
    if (folder.isEmpty())
        return {};
    return {GetText("IDCS_TRUST_DIR"), GetText("IDCS_TRUST_DIR_TIP_D").arg(folder)};
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
    placeNotice();
}

// Between the count's text (and the shared-address count) and the host
// labels as they are placed now. The first mark (the route's) is cut short
// only when the later ones cut to an ellipsis would not fit beside it; each
// later mark takes what is left, never less than the ellipsis, so that all
// stay in sight. The tool tip keeps the whole story (the keys' folder
// among it).
void StatusBar::placeNotice() {
    if (m_ip->width() == 0)
        return;
    m_online->ensurePolished();
    const QFontMetrics count(m_online->font());
    const int online = count.horizontalAdvance(m_online->text());
    m_online->setGeometry(10, 5, online + 4, 17);
    int left = 10 + online + 20;
    if (!m_shared->isHidden()) {
        const int width = count.horizontalAdvance(m_shared->text()) + 4;
        m_shared->setGeometry(left, 5, width, 17);
        left += width + 16;
    }
    if (m_notice->isHidden())
        return;
    m_notice->ensurePolished();
    const int room = qMax(0, m_ip->x() - 20 - left);
    const QFontMetrics metrics(m_notice->font());
    const QString separator = QStringLiteral("  \u00b7  ");
    const QString ellipsis = QStringLiteral("\u2026");
    QStringList marks;
    for (const StatusNotice* n : {&m_route, &m_trust, &m_note})
        if (!n->mark.isEmpty())
            marks.append(n->mark);
    const int least = metrics.horizontalAdvance(separator) + metrics.horizontalAdvance(ellipsis);
    QString text;
    for (int i = 0; i < marks.size(); ++i) {
        const int used = text.isEmpty() ? 0 : metrics.horizontalAdvance(text + separator);
        const int later = least * (marks.size() - 1 - i);
        QString piece = metrics.elidedText(marks[i], Qt::ElideRight, qMax(0, room - used - later));
        if (piece.isEmpty() && i > 0)
            piece = ellipsis;
        if (!piece.isEmpty())
            text = text.isEmpty() ? piece : text + separator + piece;
    }
    m_notice->setText(text);
    m_notice->setGeometry(left, 5, room, 17);
}
