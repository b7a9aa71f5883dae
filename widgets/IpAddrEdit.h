// Compound address fields: one small edit per part inside a framed box.
#pragma once

#include <QFrame>
#include <QList>

class AddrPartLineEdit;

// AddrEditBase holds the parts of an address in order, lays them side by
// side, paints the separators between them and joins their texts. Focus
// moves across the parts by the parts' own key rules; the box shows the
// focused look while any part has the focus.
class AddrEditBase : public QFrame {
    Q_OBJECT
public:
    // The parts' texts joined by the separator ("192..1." when parts are
    // empty); the empty text when every part is empty.
    QString text() const;
    // Sets a complete, valid address into the parts and returns true;
    // otherwise clears every part and returns false.
    bool setText(const QString& address);
    const QList<AddrPartLineEdit*>& parts() const { return m_parts; }

signals:
    // Both carry the joined text of all parts as they stand ("..." when
    // all are empty), after every change of any part.
    void textchanged(const QString& text);
    void textedited(const QString& text);

public slots:
    void slot_textchanged(const QString& text);

protected:
    // `addressPattern` is the whole-address pattern setText checks.
    AddrEditBase(QChar separator, const QString& addressPattern, QWidget* parent);
    // Takes the parts (children of this edit) and wires them up.
    void setParts(const QList<AddrPartLineEdit*>& parts);
    // Where the k-th separator is drawn (k from 1 to parts - 1).
    virtual QPointF separatorPosition(int k) const;

    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    QString joined() const;
    QString normalSheet() const;
    QString focusedSheet() const;

    QList<AddrPartLineEdit*> m_parts;
    QChar m_separator;
    QString m_addressPattern;
};

// IpAddrEdit edits an IPv4 address as four octets ("%1.%2.%3.%4").
class IpAddrEdit : public AddrEditBase {
    Q_OBJECT
public:
    explicit IpAddrEdit(QWidget* parent = nullptr);

    // What a whole address must match: four decimal numbers 0 to 255 of one
    // to three digits (leading zeros allowed) joined by dots.
    static QString addressPattern();

protected:
    QPointF separatorPosition(int k) const override;
};
