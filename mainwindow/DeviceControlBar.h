// The side panel of the main window, where the installer acts on the
// selected device.
#pragma once

#include <QString>
#include <QWidget>

// DeviceControlBar holds the forms that change a device's network
// parameters and restore its password; it talks to no device itself, it
// emits its requests to the main window. This panel so far carries the
// frame and the interface the window is wired to; the forms fill it.
class DeviceControlBar : public QWidget {
    Q_OBJECT
public:
    explicit DeviceControlBar(QWidget* parent = nullptr);

    // Puts the selected device's MAC, IP, subnet mask and gateway into the
    // network form.
    void SetNetworkParam(const QString& mac, const QString& ip, const QString& subnet,
                         const QString& gateway);
    // Empties the MAC field of the restore form.
    void ClearRestoreMac();

    // What the last SetNetworkParam put into the network form: MAC, IP,
    // subnet mask, gateway.
    QString networkMac() const { return m_mac; }
    QString networkIp() const { return m_ip; }
    QString networkSubnet() const { return m_subnet; }
    QString networkGateway() const { return m_gateway; }

signals:
    void sig_changeNetworkParam(QString mac, QString ip, QString subnet, QString gateway,
                                QString password, QString httpPort, QString dataPort, bool bDHCP);
    void sig_restorePwd(QString mac);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    QWidget* m_background = nullptr;
    QString m_mac, m_ip, m_subnet, m_gateway;
};
