// A flat button that shows one 18 x 18 icon in its centre.
#pragma once

#include <QPushButton>

class QLabel;

// IconButton shows the image of its icon path, 18 x 18 pixels, centred in
// the button at every size; a transparent face that lights up on hover.
class IconButton : public QPushButton {
    Q_OBJECT
public:
    static const int kIconSize = 18;

    explicit IconButton(QWidget* parent = nullptr);
    explicit IconButton(const QString& iconPath, QWidget* parent = nullptr);

    using QPushButton::setIcon;
    // Shows the image at `iconPath` (a file or ":/skin/..." resource) and
    // remembers the path.
    void setIcon(const QString& iconPath);
    QString iconPath() const { return m_iconPath; }
    QLabel* iconLabel() const { return m_iconLabel; }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void setUp();

    QLabel* m_iconLabel = nullptr;
    QString m_iconPath;
};
