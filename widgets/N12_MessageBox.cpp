#include "N12_MessageBox.h"

#include "AdaptImage.h"
#include "ZVKPushButton.h"
#include "LanguageSrc.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QKeyEvent>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionButton>

namespace {
struct ButtonSpec {
    int id;
    const char* key;
};

// Creation order of the buttons; it also decides their order on screen.
const ButtonSpec kButtonSpecs[] = {
    {N12_MessageBox::AllYes, "IDCS_ALL_YES"}, {N12_MessageBox::AllNot, "IDCS_ALL_NOT"},
    {N12_MessageBox::Ok, "IDCS_OK"},          {N12_MessageBox::Cancel, "IDCS_CANCEL"},
    {N12_MessageBox::Yes, "IDCS_YES"},        {N12_MessageBox::No, "IDCS_NO"},
};

struct TypeSpec {
    int type;
    const char* image;
    const char* titleKey;
};

const TypeSpec kTypeSpecs[] = {
    {N12_MessageBox::Warning, ":/skin/Warning.png", "IDCS_WARNING"},
    {N12_MessageBox::Error, ":/skin/Error.png", "IDCS_ERROR"},
    {N12_MessageBox::Information, ":/skin/Information.png", "IDCS_INFORMATION"},
    {N12_MessageBox::Question, ":/skin/Question.png", "IDCS_QUESTION"},
};

const char* buttonKey(int id) {
    for (const ButtonSpec& entry : kButtonSpecs) {
        if (entry.id == id)
            return entry.key;
    }
    return "";
}
} // namespace

N12_MessageBox::N12_MessageBox(const QString& text, int buttons, int type, QWidget* parent)
    : CustomDialog(parent), m_mask(buttons) {
    setUpType(type);
    m_text = new QLabel(text, this);
    m_text->setTextFormat(Qt::PlainText);
    m_text->setWordWrap(true);
    m_text->setAlignment(Qt::AlignCenter);
    m_text->setStyleSheet(QStringLiteral(
        "font: 13px; border: 0px; background: transparent; color: rgb(204,204,204);"));
    m_buttons = new QButtonGroup(this);
    connect(m_buttons, SIGNAL(buttonClicked(int)), this, SLOT(slot_buttonClicked(int)));
    createButtons();
    resize(fittingSize());
}

// 360 x 200 holds a message of a few lines; a longer one (the warnings
// before a new address is sent) widens the box, then heightens it, so that
// every line shows between the title bar and the buttons.
QSize N12_MessageBox::fittingSize() const {
    m_text->ensurePolished();
    const int textRoom = 110; // at the standard height
    int w = 360;
    if (m_text->heightForWidth(w - 90) > textRoom)
        w = 480;
    const int needed = m_text->heightForWidth(w - 90);
    return QSize(w, qMax(200, needed + 200 - textRoom));
}

void N12_MessageBox::setUpType(int type) {
    m_icon = new AdaptImage(QString(), this);
    for (const TypeSpec& entry : kTypeSpecs) {
        if (entry.type == type) {
            m_icon->setImage(QLatin1String(entry.image));
            setTitle(GetText(entry.titleKey));
        }
    }
}

void N12_MessageBox::createButtons() {
    QAbstractButton* last = nullptr;
    for (int id : buttonOrder(m_mask)) {
        last = new ZVKPushButton(GetText(buttonKey(id)), this);
        m_buttons->addButton(last, id);
    }
    if (!last)
        return;
    ZVKPushButton* defaultButton = static_cast<ZVKPushButton*>(last);
    defaultButton->setAutoDefault(true);
    defaultButton->setDefault(true);
    defaultButton->setFocus();
    m_result = m_buttons->id(last);
}

QVector<int> N12_MessageBox::buttonOrder(int mask) {
    QVector<int> ids;
    for (const ButtonSpec& entry : kButtonSpecs) {
        if (mask & entry.id)
            ids.append(entry.id);
    }
    return ids;
}

QVector<QRect> N12_MessageBox::buttonRects(const QVector<int>& ids, int w, int h) {
    return buttonRects(ids, QVector<int>(ids.size(), kButtonWidth), w, h);
}

QVector<QRect> N12_MessageBox::buttonRects(const QVector<int>& ids, const QVector<int>& widths,
                                           int w, int h) {
    QVector<QRect> rects(ids.size());
    int right = w - 80 + kButtonWidth;
    bool gapLeft = false;
    for (int i = ids.size() - 1; i >= 0; --i) {
        if (!gapLeft && (ids[i] == AllNot || ids[i] == AllYes)) {
            right -= 20;
            gapLeft = true;
        }
        rects[i] = QRect(right - widths[i], h - 27, widths[i], kButtonHeight);
        right -= widths[i];
    }
    return rects;
}

// The layout was drawn for 70-pixel buttons and the narrow face of the
// application font; the longer Russian labels ("Нет для всех") need more
// than any 70-pixel button leaves, so such a button grows to the left and
// the others keep their place, order and gaps.
int N12_MessageBox::fittedWidth(const QPushButton* button) {
    button->ensurePolished();
    QStyleOptionButton option;
    option.initFrom(button);
    option.rect = QRect(0, 0, kButtonWidth, kButtonHeight);
    option.text = button->text();
    option.state |= QStyle::State_HasFocus;
    option.features |= QStyleOptionButton::DefaultButton | QStyleOptionButton::AutoDefaultButton;
    const QRect contents =
        button->style()->subElementRect(QStyle::SE_PushButtonContents, &option, button);
    const int label = button->fontMetrics().horizontalAdvance(button->text());
    return kButtonWidth + qMax(0, label - contents.width());
}

int N12_MessageBox::escapeResult(int mask, int current) {
    int result = current;
    if (mask & AllNot)
        result = AllNot;
    if (mask & No)
        result = No;
    if (mask & Cancel)
        result = Cancel;
    return result;
}

void N12_MessageBox::slot_buttonClicked(int id) {
    m_result = id;
    accept();
}

void N12_MessageBox::setButtonText(int id, const QString& text) {
    QAbstractButton* button = m_buttons->button(id);
    if (button == nullptr)
        return;
    button->setText(text);
    placeButtons();
}

void N12_MessageBox::resizeEvent(QResizeEvent* event) {
    CustomDialog::resizeEvent(event);
    const int textHeight = height() - 90;
    m_icon->setGeometry(20, 40 + (textHeight - 50) / 2, 50, 50);
    m_text->setGeometry(80, 40, width() - 90, textHeight);
    placeButtons();
}

void N12_MessageBox::placeButtons() {
    const QList<QAbstractButton*> buttons = m_buttons->buttons();
    QVector<int> ids;
    QVector<int> widths;
    for (QAbstractButton* button : buttons) {
        ids.append(m_buttons->id(button));
        widths.append(fittedWidth(static_cast<QPushButton*>(button)));
    }
    const QVector<QRect> rects = buttonRects(ids, widths, width(), height());
    for (int i = 0; i < buttons.size(); ++i)
        buttons[i]->setGeometry(rects[i]);
}

void N12_MessageBox::keyPressEvent(QKeyEvent* event) {
    if (event->modifiers() == Qt::NoModifier && event->key() == Qt::Key_Escape)
        m_result = escapeResult(m_mask, m_result);
    CustomDialog::keyPressEvent(event);
}

// On the heap and watched: the parent may be destroyed while the box runs
// (the window closed from the task bar), and the box goes with it; a box
// on the stack would then be deleted twice.
int N12_MessageBox::ask(const QString& text, int buttons, int type, QWidget* parent) {
    QPointer<N12_MessageBox> box = new N12_MessageBox(text, buttons, type, parent);
    box->exec();
    if (box.isNull())
        return 0;
    const int result = box->buttonResult();
    delete box;
    return result;
}

int N12_MessageBox::warning(const QString& text, QWidget* parent) {
    return ask(text, Ok, Warning, parent);
}

int N12_MessageBox::error(const QString& text, QWidget* parent) {
    return ask(text, Ok, Error, parent);
}

int N12_MessageBox::information(const QString& text, QWidget* parent) {
    return ask(text, Ok, Information, parent);
}
