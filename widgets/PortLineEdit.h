// A line edit for port numbers.
#pragma once

#include "ZVKLineEdit.h"

class QIntValidator;

// PortLineEdit accepts only whole numbers within its range, 0 to 65535 at
// construction. The plus key is swallowed, and a number above the top of the
// range is refused while typing (not merely marked unfinished), so the field
// never holds more than a port number.
class PortLineEdit : public ZVKLineEdit {
    Q_OBJECT
public:
    explicit PortLineEdit(QWidget* parent = nullptr);
    explicit PortLineEdit(const QString& text, QWidget* parent = nullptr);

    // Lower end of the accepted range.
    void setBottom(int bottom);
    // Upper end of the accepted range.
    void setTop(int top);

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void setUp();

    QIntValidator* m_validator = nullptr;
};
