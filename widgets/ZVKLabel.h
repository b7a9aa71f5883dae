// A label of the program's own class, so that the skin sheet can style it.
#pragma once

#include <QLabel>

// ZVKLabel adds nothing to QLabel but its class name: the skin sheet gives
// it the grey 13-pixel text. Callers showing device texts set Qt::PlainText.
class ZVKLabel : public QLabel {
    Q_OBJECT
public:
    explicit ZVKLabel(QWidget* parent = nullptr);
    explicit ZVKLabel(const QString& text, QWidget* parent = nullptr);
};
