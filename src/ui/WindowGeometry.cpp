#include "ui/WindowGeometry.h"

#include "settings/CRegister.h"
#include "settings/GeometryRules.h"
#include "settings/Settings.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

namespace {

TwipsPerPixel TwipsFor(const QWidget* w) { return TwipsPerPixel::FromDpi(w->logicalDpiX(), w->logicalDpiY()); }

QString Read(const CRegister& reg, const QString& sPrefix, const char* sWord)
{
    return reg.REGGetSetting(kHKEY_LOCAL_MACHINE, QLatin1String(Settings::kSection),
                             Settings::GeometryName(sPrefix, sWord));
}

void Save(const CRegister& reg, const QString& sPrefix, const char* sWord, const QString& sValue)
{
    reg.REGSaveSetting(kHKEY_LOCAL_MACHINE, QLatin1String(Settings::kSection), Settings::GeometryName(sPrefix, sWord),
                       sValue);
}

}  // namespace

void RestoreWindowGeometry(QWidget* xWindow, const QString& sPrefix, bool bApplyPosition, bool bApplySize,
                           const CRegister& reg)
{
    if (!bApplyPosition && !bApplySize) return;
    StoredGeometry stored;
    if (bApplyPosition) {
        stored.sTop = Read(reg, sPrefix, "TOP");
        stored.sLeft = Read(reg, sPrefix, "LEFT");
    }
    if (bApplySize) {
        stored.sHeight = Read(reg, sPrefix, "HEIGHT");
        stored.sWidth = Read(reg, sPrefix, "WIDTH");
    }
    QList<QRect> screens;
    for (const QScreen* screen : QGuiApplication::screens()) screens << screen->geometry();

    const GeometryDecision decision =
        DecideGeometry(stored, bApplyPosition, bApplySize, TwipsFor(xWindow), xWindow->size(), screens);
    if (decision.size) xWindow->resize(*decision.size);
    if (decision.position) xWindow->move(*decision.position);
}

void StoreWindowGeometry(const QWidget* xWindow, const QString& sPrefix, const CRegister& reg)
{
    if (xWindow->isMinimized()) return;
    // move() places the frame and resize() sizes the inside, so store those.
    const StoredGeometry g = EncodeGeometry(xWindow->pos(), xWindow->size(), TwipsFor(xWindow));
    Save(reg, sPrefix, "TOP", g.sTop);
    Save(reg, sPrefix, "LEFT", g.sLeft);
    Save(reg, sPrefix, "HEIGHT", g.sHeight);
    Save(reg, sPrefix, "WIDTH", g.sWidth);
}
