#pragma once

#include <QLatin1String>
#include <QString>

// Gives a control its object name (the name the rules and tests find it by)
// and, when one is given, its tool tip; returns the control for chaining.
template <typename T>
T* Named(T* object, const char* sName, const QString& sTip = QString())
{
    object->setObjectName(QLatin1String(sName));
    if (!sTip.isEmpty()) object->setToolTip(sTip);
    return object;
}
