// The strip along the bottom of the main window: devices online on the
// left, the host's own address data on the right, and between them the
// devices that share an address and the notices an installer must not miss
// (the link-local route missing or on another card, maker keys trusted from
// the environment, what the window just did for the user).
#pragma once

#include <QString>
#include <QVector>
#include <QWidget>

#include "HostNet.h"

class ZVKLabel;

// A notice of the status bar: a short mark shown in the bar and the whole
// story in its tool tip. Empty mark: no notice.
struct StatusNotice {
    QString mark;
    QString detail;
};

class StatusBar : public QWidget {
    Q_OBJECT
public:
    explicit StatusBar(QWidget* parent = nullptr);

    // Shows "online devices: count" in the language of the texts.
    void SetOnlineNum(int count);
    // With a filter in force, how many devices are shown of how many are
    // online ("Online Devices: 11 of 200"); without, as SetOnlineNum(shown).
    void SetOnlineNum(int shown, int online, bool filtered);
    // Shows the host's IP address, subnet mask, gateway and DNS server, each
    // under its label text. Laid out at the next resize, not at once.
    void SetHostNetwork(const QString& ip, const QString& subnet, const QString& gateway,
                        const QString& dns);
    // The tool tip of the host values: one line a network card, so that the
    // installer sees which cards the search runs on. Plain text.
    void SetHostInterfaces(const QString& toolTip);

    // The notice about the link-local route (LinkLocalRouteNotice), and the
    // one about maker keys trusted from LORVEX_TRUST_DIR (TrustDirNotice).
    // Both show at once when both are set, route first. Plain text.
    void SetRouteNotice(const StatusNotice& notice);
    void SetTrustNotice(const StatusNotice& notice);
    // A note on what the window just did for the user (plain text, its
    // mark and its tool tip alike), after the other notices; the empty text
    // removes it.
    void ShowNotice(const QString& text);
    // Right after the count, in the notices' amber: how many listed devices
    // share their IP address with another ("IP address clash: 8
    // devices"); nothing for 0.
    void SetSharedAddresses(int devices);

    // The notice for a route state: NeedsRoot (the command `advice` to run
    // as root, and the group to join when `withheld`), OtherInterface (the
    // route leads to `carrier` instead of `card`), Started (not in place
    // yet); none for Present and NotLocal. In the language of the texts.
    static StatusNotice LinkLocalRouteNotice(LinkLocalRouteState state, const QString& card,
                                             const QString& carrier, const QString& advice,
                                             bool withheld);
    // The notice for maker keys trusted from `folder` (named in its tool
    // tip); none when it is empty.
    static StatusNotice TrustDirNotice(const QString& folder);

    // The x and width of the four host labels (IP, mask, gateway, DNS) for
    // a bar `barWidth` wide whose texts are `textWidths` pixels wide (same
    // order): packed from the right edge leftwards, each its text plus 20
    // pixels, 20 pixels apart. May run past the left edge.
    static QVector<QPair<int, int>> hostLabelSpans(int barWidth, const QVector<int>& textWidths);

    ZVKLabel* onlineLabel() const { return m_online; }
    // The shared-address count (object name "sharedAddresses").
    ZVKLabel* sharedLabel() const { return m_shared; }
    // The notices' mark (object name "statusNotice"): hidden when none.
    ZVKLabel* noticeLabel() const { return m_notice; }
    // IP, mask, gateway, DNS, in this order.
    QVector<ZVKLabel*> hostLabels() const { return {m_ip, m_subnet, m_gateway, m_dns}; }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    ZVKLabel* makeLabel(const char* sheet);
    void showNotices();
    void placeNotice();
    void setOnlineText(const QString& text);

    QWidget* m_background = nullptr;
    ZVKLabel* m_online = nullptr;
    ZVKLabel* m_ip = nullptr;
    ZVKLabel* m_subnet = nullptr;
    ZVKLabel* m_gateway = nullptr;
    ZVKLabel* m_dns = nullptr;
    ZVKLabel* m_shared = nullptr;
    ZVKLabel* m_notice = nullptr;
    StatusNotice m_route;
    StatusNotice m_trust;
    StatusNotice m_note;
};
