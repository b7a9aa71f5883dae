#include "ZVKStyle.h"

#include <QStyleFactory>

namespace {
// The two values the skin depends on, by their numbers in the style enums.
// In Qt 5 they are SH_FormLayoutWrapPolicy (1: wrap long rows) and
// PM_FocusFrameVMargin.
const int kOwnStyleHint = 86;
const int kOwnPixelMetric = 67;
} // namespace

ZVKStyle::ZVKStyle() : QProxyStyle(QStyleFactory::create(QStringLiteral("Windows"))) {}

int ZVKStyle::styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                        QStyleHintReturn* returnData) const {
    if (static_cast<int>(hint) == kOwnStyleHint)
        return 1;
    return QProxyStyle::styleHint(hint, option, widget, returnData);
}

int ZVKStyle::pixelMetric(PixelMetric metric, const QStyleOption* option,
                          const QWidget* widget) const {
    if (static_cast<int>(metric) == kOwnPixelMetric)
        return 32;
    return QProxyStyle::pixelMetric(metric, option, widget);
}
