// One part of a compound address field: an octet of an IPv4 address or a
// byte of a MAC address.
#pragma once

#include <QChar>
#include <QLineEdit>

// AddrPartLineEdit is a frameless, centred line edit that knows its
// neighbours, so that the separator, Backspace and the arrow keys move
// across the parts as if the field were one text, and focus jumps on by
// itself when a part is complete. Subclasses give the pattern and the rule
// for "complete".
class AddrPartLineEdit : public QLineEdit {
    Q_OBJECT
public:
    // `pattern` validates the part (case-sensitive); `separator` is the key
    // that moves on and `wideSeparator` its input-method twin.
    AddrPartLineEdit(int maxLength, const QString& pattern, QChar separator, QChar wideSeparator,
                     QWidget* parent = nullptr);

    void setNextPart(AddrPartLineEdit* next) { m_nextPart = next; }
    AddrPartLineEdit* nextPart() const { return m_nextPart; }
    void setPreviousPart(AddrPartLineEdit* previous) { m_previousPart = previous; }
    AddrPartLineEdit* previousPart() const { return m_previousPart; }
    void setIndex(int index) { m_index = index; }
    int index() const { return m_index; }
    // Whether `c` moves on from this part: its separator, its input-method
    // twin, or a period.
    bool isSeparator(QChar c) const;
    // Forgets the separator an automatic advance left to be swallowed:
    // the field set its parts itself.
    void resetTyping() { m_separatorPending = false; }
    // The part's text as it stays once the part loses focus; as typed here.
    virtual QString normalized(const QString& text) const { return text; }

signals:
    // A character the user typed here was not taken: no text changed, no
    // part was reached.
    void keyRefused();

public slots:
    // Runs for edits made by the user: moves on when the part is complete.
    void text_edited(const QString& text);

protected:
    // Whether a part that the user made `text` is complete.
    virtual bool isComplete(const QString& text) const = 0;

    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void inputMethodEvent(QInputMethodEvent* event) override;

private:
    void focusNextPartSelected();
    // True when the key moved the focus or was the awaited separator.
    bool handleNavigationKey(QKeyEvent* event);
    // Ends the wait for the separator after an automatic advance; true when
    // this input is that separator, which then moves nothing.
    bool takePendingSeparator(bool isSeparator);

    AddrPartLineEdit* m_nextPart = nullptr;
    AddrPartLineEdit* m_previousPart = nullptr;
    int m_index = 0;
    QChar m_separator;
    QChar m_wideSeparator;
    // Set when an automatic advance entered this part and nothing has been
    // typed here since.
    bool m_separatorPending = false;
};

// An octet of an IPv4 address: 0 to 255, up to three digits. Moves on after
// three digits, or after two when no third could follow (26 and up).
class MyIpPartLineEdit : public AddrPartLineEdit {
    Q_OBJECT
public:
    explicit MyIpPartLineEdit(QWidget* parent = nullptr);

protected:
    bool isComplete(const QString& text) const override;
    // Leading zeros dropped: "050" stays as "50", "000" as "0".
    QString normalized(const QString& text) const override;
};

// A byte of a MAC address: two hexadecimal digits, either case. Moves on
// after two.
class MyMacPartLineEdit : public AddrPartLineEdit {
    Q_OBJECT
public:
    explicit MyMacPartLineEdit(QWidget* parent = nullptr);

protected:
    bool isComplete(const QString& text) const override;
};
