#pragma once

#include <QList>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>

#include <optional>

// Window geometry is stored as four texts in twips (1440 per logical inch):
// prefix + " TOP", " LEFT", " HEIGHT" and " WIDTH". These rules decide what
// of a stored set may be applied, without touching any window.
struct StoredGeometry {
    QString sTop, sLeft, sHeight, sWidth;
};

struct GeometryDecision {
    std::optional<QPoint> position;  // the frame's top-left corner, in pixels
    std::optional<QSize> size;       // in pixels
};

struct TwipsPerPixel {
    double x = 15.0;  // 1440 / 96 dpi
    double y = 15.0;
    static TwipsPerPixel FromDpi(double dDpiX, double dDpiY);
};

// Position applies only when both top and left are stored and are numbers,
// size only when both height and width are stored and start with a positive
// number. A position that would put the window (at the size it will have)
// entirely outside every screen in `screens` is dropped; so is everything
// when the texts are not numbers. An empty `screens` list skips that check.
GeometryDecision DecideGeometry(const StoredGeometry& stored, bool bApplyPosition, bool bApplySize,
                                TwipsPerPixel twips, QSize currentSize, const QList<QRect>& screens);

// The texts stored for a window at `position` with `size`.
StoredGeometry EncodeGeometry(QPoint position, QSize size, TwipsPerPixel twips);
