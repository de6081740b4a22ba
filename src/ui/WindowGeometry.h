#pragma once

#include <QString>

class CRegister;
class QWidget;

// Applies and stores a window's geometry under its prefix ("MAIN",
// "EXIST", ...), in twips, by the rules of GeometryRules.h.
void RestoreWindowGeometry(QWidget* xWindow, const QString& sPrefix, bool bApplyPosition, bool bApplySize,
                           const CRegister& reg);
// Stores top, left, height and width; a minimised window stores nothing.
void StoreWindowGeometry(const QWidget* xWindow, const QString& sPrefix, const CRegister& reg);
