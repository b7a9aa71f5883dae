// A check box that never shows a focus frame.
#pragma once

#include <QCheckBox>

// ZVKCheckBox is drawn by the style without the focus frame; the skin sheet
// gives it the indicator images of ":/skin/ckb_unchecked.png" and
// ":/skin/ckb_checked.png".
class ZVKCheckBox : public QCheckBox {
    Q_OBJECT
public:
    explicit ZVKCheckBox(QWidget* parent = nullptr);
    explicit ZVKCheckBox(const QString& text, QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};
