#include "SnapshotPanel.h"

#include <QLabel>
#include <QResizeEvent>

#include "Jpeg.h"
#include "LanguageSrc.h"
#include "ZVKLabel.h"
#include "ZVKPushButton.h"

namespace {

// The decoded picture is at most this size: a panel picture, not the
// camera's full resolution.
constexpr int kDecodeWidth = 640;
constexpr int kDecodeHeight = 360;

} // namespace

SnapshotPanel::SnapshotPanel(QWidget* parent) : QWidget(parent) {
    m_title = new ZVKLabel(GetText("IDCS_PICTURE_TITLE"), this);
    m_button = new ZVKPushButton(GetText("IDCS_PICTURE_TAKE"), this);
    m_button->setObjectName(QStringLiteral("pictureButton"));
    m_button->setEnabled(false);
    m_view = new QLabel(this);
    m_view->setObjectName(QStringLiteral("pictureView"));
    m_view->setAlignment(Qt::AlignCenter);
    m_view->setStyleSheet(QStringLiteral("QLabel { background-color: rgb(24, 24, 24); }"));
    m_text = new ZVKLabel(QString(), this);
    m_text->setObjectName(QStringLiteral("pictureText"));
    m_text->setTextFormat(Qt::PlainText);
    m_text->setWordWrap(true);
    m_text->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    connect(m_button, &ZVKPushButton::clicked, this, &SnapshotPanel::sig_takePicture);
}

void SnapshotPanel::setDevice(bool camera) {
    m_camera = camera;
    m_button->setEnabled(camera);
    m_image = QImage();
    m_view->clear();
    m_text->clear();
}

void SnapshotPanel::showBusy() {
    m_button->setEnabled(false);
    m_image = QImage();
    m_view->clear();
    m_text->setText(GetText("IDCS_REQUEST_IN_PROGRESS"));
}

bool SnapshotPanel::showPicture(const std::string& jpeg) {
    m_button->setEnabled(m_camera);
    snapshot::Image decoded;
    const snapshot::ImageCheck check =
        snapshot::DecodeJpeg(reinterpret_cast<const std::uint8_t*>(jpeg.data()), jpeg.size(),
                             snapshot::DecodeLimits{}, kDecodeWidth, kDecodeHeight, &decoded);
    if (check != snapshot::ImageCheck::Ok) {
        showText(GetText("IDCS_PICTURE_BAD"));
        return false;
    }
    m_image = QImage(decoded.rgb.data(), decoded.width, decoded.height, decoded.width * 3,
                     QImage::Format_RGB888)
                  .copy(); // owns its pixels: `decoded` goes at the end of this call
    m_text->clear();
    showScaled();
    return true;
}

void SnapshotPanel::showText(const QString& text) {
    m_button->setEnabled(m_camera);
    m_image = QImage();
    m_view->clear();
    m_text->setText(text);
}

void SnapshotPanel::showScaled() {
    if (m_image.isNull() || m_view->width() < 2 || m_view->height() < 2)
        return;
    m_view->setPixmap(QPixmap::fromImage(
        m_image.scaled(m_view->size(), Qt::KeepAspectRatio, Qt::SmoothTransformation)));
}

void SnapshotPanel::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    const int w = width(), h = height();
    m_title->setGeometry(9, 4, w - 108, 23);
    m_button->setGeometry(w - 90, 4, 80, 23);
    // At most as tall as a 16:9 picture of the panel's width.
    const QRect picture(9, 33, w - 19, std::max(0, std::min(h - 38, (w - 19) * 9 / 16)));
    m_view->setGeometry(picture);
    m_text->setGeometry(picture.adjusted(4, 4, -4, -4));
    showScaled();
}
