// The side panel's picture of the selected camera: a button that asks for
// it, and the picture scaled into the panel, or in words why there is none.
#pragma once

#include <QImage>
#include <QString>
#include <QWidget>

#include <string>

class QLabel;
class ZVKLabel;
class ZVKPushButton;

// SnapshotPanel talks to no camera: its button emits sig_takePicture and the
// main window takes the picture. A picture is decoded by the image module
// within its bounds (never by Qt's own image readers); one that does not
// decode is shown as words. Device texts never reach it.
//
// Children carry object names for tests: pictureButton, pictureView,
// pictureText.
class SnapshotPanel : public QWidget {
    Q_OBJECT
public:
    explicit SnapshotPanel(QWidget* parent = nullptr);

    // Whether the selected device can give a picture (a camera of either
    // protocol): the button is enabled then. Any call drops the picture or
    // words shown, since they were of the device selected before.
    void setDevice(bool camera);
    // Says that the picture is on its way; the button waits meanwhile.
    void showBusy();
    // Decodes `jpeg` (snapshot::DecodeJpeg, scaled to the panel) and shows
    // it; false, with words that say so, when it does not decode.
    bool showPicture(const std::string& jpeg);
    // Shows `text` (an outcome in words) in place of a picture.
    void showText(const QString& text);
    // The picture shown, at the size decoded; null when none.
    const QImage& picture() const { return m_image; }

signals:
    void sig_takePicture();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void showScaled();

    ZVKLabel* m_title = nullptr;
    ZVKPushButton* m_button = nullptr;
    QLabel* m_view = nullptr;
    ZVKLabel* m_text = nullptr;
    QImage m_image;
    bool m_camera = false;
};
