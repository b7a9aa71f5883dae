#include "DeviceFilterMenus.h"

#include "DeviceColumns.h"
#include "IpAddrEdit.h"
#include "LanguageSrc.h"
#include "PortLineEdit.h"
#include "ZVKCheckBox.h"
#include "ZVKLabel.h"
#include "ZVKPushButton.h"

#include <QMouseEvent>

DeviceTypeFilterMenu::DeviceTypeFilterMenu(QWidget* parent) : ButtonMenu(parent) {}

void DeviceTypeFilterMenu::showEvent(QShowEvent* event) {
    ButtonMenu::showEvent(event);
    emit show(int(COL_TYPE));
}

void DeviceTypeFilterMenu::hideEvent(QHideEvent* event) {
    ButtonMenu::hideEvent(event);
    emit hide(int(COL_TYPE));
}

RangeFilterMenu::RangeFilterMenu(int columnIndex, const char* startKey, const char* endKey,
                                 QWidget* parent)
    : ButtonMenu(parent), m_column(columnIndex) {
    m_condition = new ZVKCheckBox(GetText("IDCS_FILTER_CONDITION"), this);
    m_condition->setObjectName(QStringLiteral("conditionBox"));
    m_startLabel = new ZVKLabel(GetText(startKey), this);
    m_endLabel = new ZVKLabel(GetText(endKey), this);
    // Device and language texts are shown as they are, never as markup.
    m_startLabel->setTextFormat(Qt::PlainText);
    m_endLabel->setTextFormat(Qt::PlainText);
    m_ok = new ZVKPushButton(GetText("IDCS_OK"), this);
    m_cancel = new ZVKPushButton(GetText("IDCS_CANCEL"), this);
    m_ok->setObjectName(QStringLiteral("okButton"));
    m_cancel->setObjectName(QStringLiteral("cancelButton"));
    connect(m_ok, SIGNAL(clicked()), this, SLOT(slot_enter()));
    connect(m_cancel, SIGNAL(clicked()), this, SLOT(close()));
    connect(m_condition, SIGNAL(toggled(bool)), this, SLOT(slot_toggled(bool)));
    setFixedSize(300 + labelWidth() - kLabelWidth, 155);
}

// The labels are 80 px wide unless their language needs more ("Начальный
// порт"): then the label, and with it the menu, grows rather than cut it.
int RangeFilterMenu::labelWidth() const {
    const QFontMetrics metrics(m_startLabel->font());
    const int needed = qMax(metrics.horizontalAdvance(m_startLabel->text()),
                            metrics.horizontalAdvance(m_endLabel->text())) +
                       6;
    return qMax(kLabelWidth, needed);
}

void RangeFilterMenu::setFields(QWidget* start, QWidget* end) {
    m_startField = start;
    m_endField = end;
    start->setObjectName(QStringLiteral("startField"));
    end->setObjectName(QStringLiteral("endField"));
    // Tab order: check box, start field, end field, OK, Cancel.
    QWidget::setTabOrder(m_condition, start);
    QWidget::setTabOrder(start, end);
    QWidget::setTabOrder(end, m_ok);
    QWidget::setTabOrder(m_ok, m_cancel);
    slot_toggled(false);
}

void RangeFilterMenu::slot_enter() {
    m_accepted = true;
    if (m_condition->isChecked())
        emit filterChanged(startText(), endText());
    else
        emit filterCleared();
    close();
}

void RangeFilterMenu::slot_toggled(bool checked) {
    for (QWidget* widget : {static_cast<QWidget*>(m_startLabel), m_startField,
                            static_cast<QWidget*>(m_endLabel), m_endField}) {
        if (widget != nullptr)
            widget->setEnabled(checked);
    }
}

void RangeFilterMenu::resizeEvent(QResizeEvent* event) {
    ButtonMenu::resizeEvent(event);
    const int label = labelWidth();
    const int shift = label - kLabelWidth;
    m_condition->setGeometry(10, 10, qMax(115, m_condition->sizeHint().width()), 26);
    m_startLabel->setGeometry(10, 45, label, 26);
    m_endLabel->setGeometry(10, 80, label, 26);
    if (m_startField != nullptr)
        m_startField->setGeometry(10 + label, 45, 200, 26);
    if (m_endField != nullptr)
        m_endField->setGeometry(10 + label, 80, 200, 26);
    m_ok->setGeometry(130 + shift, 120, 70, 23);
    m_cancel->setGeometry(220 + shift, 120, 70, 23);
}

// A menu closes on any press that reaches it; the panel's free area is part
// of the form, so a press there stays here. Outside, the menu closes.
void RangeFilterMenu::mousePressEvent(QMouseEvent* event) {
    if (rect().contains(event->pos())) {
        event->accept();
        return;
    }
    ButtonMenu::mousePressEvent(event);
}

void RangeFilterMenu::showFilter(bool inForce) { m_condition->setChecked(inForce); }

void RangeFilterMenu::showEvent(QShowEvent* event) {
    m_openChecked = m_condition->isChecked();
    m_openStart = startText();
    m_openEnd = endText();
    m_accepted = false;
    ButtonMenu::showEvent(event);
    emit show(m_column);
}

void RangeFilterMenu::hideEvent(QHideEvent* event) {
    if (!m_accepted) {
        setTexts(m_openStart, m_openEnd);
        m_condition->setChecked(m_openChecked);
    }
    m_accepted = false;
    ButtonMenu::hideEvent(event);
    emit hide(m_column);
}

IPFilterMenu::IPFilterMenu(int columnIndex, QWidget* parent)
    : RangeFilterMenu(columnIndex, "IDCS_IP_START", "IDCS_IP_END", parent),
      m_start(new IpAddrEdit(this)), m_end(new IpAddrEdit(this)) {
    setFields(m_start, m_end);
}

QString IPFilterMenu::startText() const { return m_start->text(); }

QString IPFilterMenu::endText() const { return m_end->text(); }

void IPFilterMenu::setTexts(const QString& start, const QString& end) {
    m_start->setText(start);
    m_end->setText(end);
}

PortFilterMenu::PortFilterMenu(int columnIndex, QWidget* parent)
    : RangeFilterMenu(columnIndex, "IDCS_PORT_START", "IDCS_PORT_END", parent),
      m_start(new PortLineEdit(this)), m_end(new PortLineEdit(this)) {
    setFields(m_start, m_end);
}

QString PortFilterMenu::startText() const { return m_start->text(); }

QString PortFilterMenu::endText() const { return m_end->text(); }

void PortFilterMenu::setTexts(const QString& start, const QString& end) {
    m_start->setText(start);
    m_end->setText(end);
}
