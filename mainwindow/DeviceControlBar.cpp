#include "DeviceControlBar.h"

#include <QResizeEvent>

DeviceControlBar::DeviceControlBar(QWidget* parent) : QWidget(parent) {
    m_background = new QWidget(this);
    m_background->setStyleSheet(
        QStringLiteral(" .QWidget { background-color: rgb(30,31,35); border-right: 1px solid "
                       "rgb(78,83,90);border-bottom: 1px solid rgb(78,83,90); }"));
}

void DeviceControlBar::SetNetworkParam(const QString& mac, const QString& ip, const QString& subnet,
                                       const QString& gateway) {
    m_mac = mac;
    m_ip = ip;
    m_subnet = subnet;
    m_gateway = gateway;
}

void DeviceControlBar::ClearRestoreMac() {}

void DeviceControlBar::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    m_background->setGeometry(rect());
}
