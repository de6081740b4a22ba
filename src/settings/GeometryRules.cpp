#include "settings/GeometryRules.h"

#include "settings/Settings.h"

#include <QtMath>

namespace {

// Sizes: leading-number conversion, but only for text that starts with a
// number (after blanks), so that "abc" is ignored instead of becoming 0.
bool ParseSize(const QString& sText, double& dValue)
{
    const QString text = sText.trimmed();
    if (text.isEmpty() || !(text[0].isDigit() || text[0] == QLatin1Char('.') || text[0] == QLatin1Char('+')))
        return false;
    dValue = Settings::LeadingNumber(text);
    return dValue > 0.0 && dValue < 1e9;  // beyond that no screen, and no int, can hold it
}

int ToPixels(double dTwips, double dTwipsPerPixel) { return qRound(dTwips / dTwipsPerPixel); }

QString TwipsText(int nPixels, double dTwipsPerPixel)
{
    // Single precision, as the texts have always been stored.
    return QString::number(static_cast<float>(nPixels * dTwipsPerPixel), 'g', 7);
}

}  // namespace

TwipsPerPixel TwipsPerPixel::FromDpi(double dDpiX, double dDpiY)
{
    TwipsPerPixel t;
    if (dDpiX > 0) t.x = 1440.0 / dDpiX;
    if (dDpiY > 0) t.y = 1440.0 / dDpiY;
    return t;
}

GeometryDecision DecideGeometry(const StoredGeometry& stored, bool bApplyPosition, bool bApplySize,
                                TwipsPerPixel twips, QSize currentSize, const QList<QRect>& screens)
{
    GeometryDecision decision;
    if (bApplySize && !stored.sHeight.isEmpty() && !stored.sWidth.isEmpty()) {
        double height = 0, width = 0;
        if (ParseSize(stored.sHeight, height) && ParseSize(stored.sWidth, width)) {
            const QSize size(ToPixels(width, twips.x), ToPixels(height, twips.y));
            if (size.width() > 0 && size.height() > 0 && size.width() < 100000 && size.height() < 100000)
                decision.size = size;
        }
    }
    if (bApplyPosition && !stored.sTop.isEmpty() && !stored.sLeft.isEmpty()) {
        double top = 0, left = 0;
        if (Settings::ParseNumber(stored.sTop, top) && Settings::ParseNumber(stored.sLeft, left)
            && qAbs(top) < 1e9 && qAbs(left) < 1e9) {
            const QPoint position(ToPixels(left, twips.x), ToPixels(top, twips.y));
            const QRect window(position, decision.size.value_or(currentSize));
            bool bVisible = screens.isEmpty();
            for (const QRect& screen : screens)
                if (screen.intersects(window)) bVisible = true;
            if (bVisible) decision.position = position;
        }
    }
    return decision;
}

StoredGeometry EncodeGeometry(QPoint position, QSize size, TwipsPerPixel twips)
{
    return StoredGeometry{TwipsText(position.y(), twips.y), TwipsText(position.x(), twips.x),
                          TwipsText(size.height(), twips.y), TwipsText(size.width(), twips.x)};
}
