#include "PortLineEdit.h"

#include <QIntValidator>
#include <QKeyEvent>

namespace {
// QIntValidator lets a number above the top through as "intermediate" as
// long as it has no more digits than the top; a port field must refuse it.
class PortValidator : public QIntValidator {
public:
    PortValidator(int bottom, int top, QObject* parent) : QIntValidator(bottom, top, parent) {}

    State validate(QString& input, int& pos) const override {
        const State state = QIntValidator::validate(input, pos);
        if (state != Intermediate)
            return state;
        bool ok = false;
        const qlonglong value = input.toLongLong(&ok);
        return (ok && value > top()) ? Invalid : state;
    }
};
} // namespace

PortLineEdit::PortLineEdit(QWidget* parent) : ZVKLineEdit(parent) { setUp(); }

PortLineEdit::PortLineEdit(const QString& text, QWidget* parent) : ZVKLineEdit(text, parent) {
    setUp();
}

void PortLineEdit::setUp() {
    m_validator = new PortValidator(0, 65535, this);
    setValidator(m_validator);
}

void PortLineEdit::setBottom(int bottom) { m_validator->setBottom(bottom); }

void PortLineEdit::setTop(int top) { m_validator->setTop(top); }

void PortLineEdit::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Plus)
        return;
    ZVKLineEdit::keyPressEvent(event);
}
