// The strip along the bottom of the main window: devices online on the
// left, the host's own address data on the right.
#pragma once

#include <QString>
#include <QVector>
#include <QWidget>

class ZVKLabel;

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
    // Beside the count, in amber: how many listed devices share their IP
    // address with another ("8 devices share an IP address"); nothing for 0.
    void SetSharedAddresses(int devices);
    // Beside those, in amber: a note on what the window just did for the
    // user (plain text, cut with "…" where room runs out, whole in its tool
    // tip); the empty text removes it.
    void ShowNotice(const QString& text);

    // The x and width of the four host labels (IP, mask, gateway, DNS) for
    // a bar `barWidth` wide whose texts are `textWidths` pixels wide (same
    // order): packed from the right edge leftwards, each its text plus 20
    // pixels, 20 pixels apart. May run past the left edge.
    static QVector<QPair<int, int>> hostLabelSpans(int barWidth, const QVector<int>& textWidths);

    ZVKLabel* onlineLabel() const { return m_online; }
    ZVKLabel* sharedLabel() const { return m_shared; }
    ZVKLabel* noticeLabel() const { return m_notice; }
    // IP, mask, gateway, DNS, in this order.
    QVector<ZVKLabel*> hostLabels() const { return {m_ip, m_subnet, m_gateway, m_dns}; }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    ZVKLabel* makeLabel(const char* sheet);
    // Places the count, the shared-address count and the notice from the
    // left, each as wide as its text, the notice cut at the host labels.
    void layOutLeft();
    void setOnlineText(const QString& text);

    QWidget* m_background = nullptr;
    ZVKLabel* m_online = nullptr;
    ZVKLabel* m_shared = nullptr;
    ZVKLabel* m_notice = nullptr;
    QString m_noticeText;
    ZVKLabel* m_ip = nullptr;
    ZVKLabel* m_subnet = nullptr;
    ZVKLabel* m_gateway = nullptr;
    ZVKLabel* m_dns = nullptr;
};
