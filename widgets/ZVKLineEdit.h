// The program's line edit: skinned by the sheet, no context menu.
#pragma once

#include <QLineEdit>

// ZVKLineEdit is a QLineEdit without the Mac focus rectangle and without a
// context menu; the skin sheet gives it its border and colours.
class ZVKLineEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit ZVKLineEdit(QWidget* parent = nullptr);
    explicit ZVKLineEdit(const QString& text, QWidget* parent = nullptr);

private:
    void setUp();
};
