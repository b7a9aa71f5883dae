// The three filter menus opened from the device tree's header: device type,
// IP address range and data-port range.
#pragma once

#include "ButtonMenu.h"

class QLabel;
class QLineEdit;
class ZVKCheckBox;
class ZVKPushButton;
class IpAddrEdit;
class PortLineEdit;

// DeviceTypeFilterMenu lists the all-devices entry and one checkable entry
// per device type seen; the window adds and removes the entries and puts
// them into its exclusive action group. Emits show(1) once it is shown and
// hide(1) once it is hidden, so that the header keeps its button visible.
class DeviceTypeFilterMenu : public ButtonMenu {
    Q_OBJECT
public:
    explicit DeviceTypeFilterMenu(QWidget* parent = nullptr);
    using ButtonMenu::hide;
    using ButtonMenu::show;

signals:
    void hide(int index);
    void show(int index);

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
};

// RangeFilterMenu is the panel of both range menus: a condition check box
// that enables the two fields, OK and Cancel. OK emits filterChanged(first,
// last) with the fields' texts as typed while the box is checked, and
// filterCleared() while it is not; either way the menu closes. Cancel, or
// closing the menu any other way, puts back the box and the fields as they
// were when it opened. A press on the panel's free
// area does not close it. Fixed size 300 x 155, wider when a label's text in
// the language needs more room.
class RangeFilterMenu : public ButtonMenu {
    Q_OBJECT
public:
    using ButtonMenu::hide;
    using ButtonMenu::show;

    int columnIndex() const { return m_column; }
    ZVKCheckBox* conditionBox() const { return m_condition; }
    ZVKPushButton* okButton() const { return m_ok; }
    ZVKPushButton* cancelButton() const { return m_cancel; }
    QLabel* startLabel() const { return m_startLabel; }
    QLabel* endLabel() const { return m_endLabel; }
    // Shows whether this menu's range is the filter in force: the condition
    // box follows (another kind of filter unticks it); the fields keep
    // their texts.
    void showFilter(bool inForce);

signals:
    void hide(int index);
    void show(int index);
    void filterChanged(QString first, QString last);
    void filterCleared();

public slots:
    void slot_enter();
    // Enables the labels and fields while the condition box is checked.
    void slot_toggled(bool checked);

protected:
    // `startKey` and `endKey` are the label texts' language keys; the
    // derived menu creates the two fields and passes them to setFields().
    RangeFilterMenu(int columnIndex, const char* startKey, const char* endKey, QWidget* parent);
    void setFields(QWidget* start, QWidget* end);
    virtual QString startText() const = 0;
    virtual QString endText() const = 0;
    virtual void setTexts(const QString& start, const QString& end) = 0;

    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    static constexpr int kLabelWidth = 80;
    int labelWidth() const;

    int m_column;
    ZVKCheckBox* m_condition = nullptr;
    QLabel* m_startLabel = nullptr;
    QWidget* m_startField = nullptr;
    QLabel* m_endLabel = nullptr;
    QWidget* m_endField = nullptr;
    ZVKPushButton* m_ok = nullptr;
    ZVKPushButton* m_cancel = nullptr;
    // The form as it opened, put back unless OK closed it.
    bool m_openChecked = false;
    QString m_openStart, m_openEnd;
    bool m_accepted = false;
};

// IPFilterMenu: the range of IPv4 addresses, column 3 of the tree.
class IPFilterMenu : public RangeFilterMenu {
    Q_OBJECT
public:
    explicit IPFilterMenu(int columnIndex, QWidget* parent = nullptr);
    IpAddrEdit* startField() const { return m_start; }
    IpAddrEdit* endField() const { return m_end; }

protected:
    QString startText() const override;
    QString endText() const override;
    void setTexts(const QString& start, const QString& end) override;

private:
    IpAddrEdit* m_start;
    IpAddrEdit* m_end;
};

// PortFilterMenu: the range of data ports, column 5 of the tree.
class PortFilterMenu : public RangeFilterMenu {
    Q_OBJECT
public:
    explicit PortFilterMenu(int columnIndex, QWidget* parent = nullptr);
    PortLineEdit* startField() const { return m_start; }
    PortLineEdit* endField() const { return m_end; }

protected:
    QString startText() const override;
    QString endText() const override;
    void setTexts(const QString& start, const QString& end) override;

private:
    PortLineEdit* m_start;
    PortLineEdit* m_end;
};
