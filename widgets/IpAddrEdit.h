// Compound address fields: one small edit per part inside a framed box.
#pragma once

#include <QFrame>
#include <QList>

class AddrPartLineEdit;
class QKeyEvent;

// AddrEditBase holds the parts of an address in order, lays them side by
// side, paints the separators between them and joins their texts. Focus
// moves across the parts by the parts' own key rules; the box shows the
// focused look while any part has the focus.
//
// Typing a whole address gives that address wherever the typing started:
// the characters typed since the field was entered or clicked (or since
// an editing or moving key) are watched, and once they hold a separator
// per boundary between parts they are the address, laid over every part
// from the first. A character that is not taken, here or by a part, is
// refused visibly: the application beeps and the box keeps a red border
// (showsRefusal) until the field takes an input again or is set, so that
// a form can refuse to send what the user did not type (inputRefused).
// Pasting a whole address replaces the field; pasting anything else is
// refused.
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
    // True from a refused input until the field takes one or is set.
    bool showsRefusal() const { return m_refused; }

signals:
    // Both carry the joined text of all parts as they stand ("..." when
    // all are empty), after every change of any part.
    void textchanged(const QString& text);
    void textedited(const QString& text);
    // The user changed a part's text by typing or pasting (not setText).
    void userEdited();
    // A typed or pasted text was not taken; the field shows it.
    void inputRefused();

public slots:
    void slot_textchanged(const QString& text);
    // Shows that an input was not taken (see the class note).
    void refuse();
    void clearRefusal();

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
    QString refusedSheet() const;
    void applySheet();
    bool partHasFocus() const;
    // A key typed into a part: true when the field took or refused it
    // itself, false when the part handles it.
    bool takeKey(const QKeyEvent* event);
    bool takeTyped(QChar c);
    void resetRun();
    // Lays a typed run holding every separator over the parts; false, and
    // nothing changed, when a part would not take its piece.
    bool layWhole(const QString& run);
    void paste();

    QList<AddrPartLineEdit*> m_parts;
    QChar m_separator;
    QString m_addressPattern;
    // The characters typed since the field was entered or clicked, or
    // since an editing or moving key; separators as m_separator.
    QString m_run;
    bool m_runRefused = false; // the run held every separator and was refused
    bool m_refused = false;
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
