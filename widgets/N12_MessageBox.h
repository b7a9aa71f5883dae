// The program's message box: icon, centred text, up to six buttons.
#pragma once

#include "CustomDialog.h"

#include <QRect>
#include <QVector>

class AdaptImage;
class QButtonGroup;
class QLabel;
class QPushButton;

// N12_MessageBox is the one way the program shows a message. Each button is
// a bit of the mask, its identifier in the button group and the box's result
// when pressed. The last button created is the default: it has the focus and
// is the result when the box is closed without a press. Escape picks the
// "no" answer the mask offers (All-not, then No, then Cancel, the last one
// present winning); with none of them the default stays.
class N12_MessageBox : public CustomDialog {
    Q_OBJECT
public:
    enum Type { Warning = 1, Error = 2, Information = 3, Question = 4 };
    enum Button { Yes = 1, No = 2, AllYes = 4, AllNot = 8, Ok = 16, Cancel = 32 };

    // `type` picks icon and title (1 to 4; any other leaves both empty); `buttons` is a mask of
    // Button bits. The text is shown as plain text.
    N12_MessageBox(const QString& text, int buttons, int type, QWidget* parent = nullptr);

    // Modal boxes with one OK button; each returns the result (16).
    static int warning(const QString& text, QWidget* parent = nullptr);
    static int error(const QString& text, QWidget* parent = nullptr);
    static int information(const QString& text, QWidget* parent = nullptr);
    // A modal box of `type` with the buttons of `buttons`; returns the
    // button that ended it (see the class note), or 0 when `parent` was
    // destroyed while the box ran.
    static int ask(const QString& text, int buttons, int type, QWidget* parent = nullptr);

    // Gives the button `id` of the mask another label (an action's name,
    // such as "Activate now", in place of Yes); the buttons are laid out
    // again so that the label shows whole. Nothing for a button not shown.
    void setButtonText(int id, const QString& text);

    // The identifier of the button that ended the box (see the class note).
    int buttonResult() const { return m_result; }
    int buttonMask() const { return m_mask; }
    QButtonGroup* buttonGroup() const { return m_buttons; }

    // The buttons in creation order for a mask: AllYes, AllNot, Ok, Cancel,
    // Yes, No, each when its bit is set.
    static QVector<int> buttonOrder(int mask);
    // Size of a button's slot; a label wider than the slot leaves widens it.
    static constexpr int kButtonWidth = 70;
    static constexpr int kButtonHeight = 23;

    // Button rectangles for a box w x h, in the order of `ids` (creation
    // order): laid out from the right, kButtonWidth x kButtonHeight each,
    // the last created at x = w - 80, with 20 extra pixels once before the
    // first AllNot or AllYes met on the way left.
    static QVector<QRect> buttonRects(const QVector<int>& ids, int w, int h);
    // The same walk with the width of each button given (`widths` parallel
    // to `ids`, each at least 1): the last created still ends at w - 10 and
    // each next one ends where the previous one starts.
    static QVector<QRect> buttonRects(const QVector<int>& ids, const QVector<int>& widths, int w,
                                      int h);
    // The width `button` needs so that its whole label shows inside the
    // contents the style leaves it in the focused default look (the one with
    // the most frame): kButtonWidth, or more when the label is wider.
    static int fittedWidth(const QPushButton* button);
    // The result after Escape, given the mask and the result so far.
    static int escapeResult(int mask, int current);

public slots:
    void slot_buttonClicked(int id);

protected:
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void setUpType(int type);
    QSize fittingSize() const;
    void createButtons();
    void placeButtons();

    AdaptImage* m_icon = nullptr;
    QLabel* m_text = nullptr;
    QButtonGroup* m_buttons = nullptr;
    int m_result = 0;
    int m_mask = 0;
};
