// The application-wide style: the Windows look with two values of our own.
#pragma once

#include <QProxyStyle>

// ZVKStyle is the style the application installs at start-up. It wraps the
// toolkit's Windows style and changes two answers: style hint 86 gives 1 and
// pixel metric 67 gives 32 pixels; every other query goes to the Windows
// style. The application owns the instance once it is installed.
class ZVKStyle : public QProxyStyle {
    Q_OBJECT
public:
    ZVKStyle();

    int styleHint(StyleHint hint, const QStyleOption* option = nullptr,
                  const QWidget* widget = nullptr,
                  QStyleHintReturn* returnData = nullptr) const override;
    int pixelMetric(PixelMetric metric, const QStyleOption* option = nullptr,
                    const QWidget* widget = nullptr) const override;
};
