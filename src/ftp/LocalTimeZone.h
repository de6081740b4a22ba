#pragma once

#include <QFileInfo>
#include <QtGlobal>

// Listings convert thousands of dates to local time. With TZ unset, glibc
// reads /etc/localtime again for every conversion; naming the same file in
// TZ makes it read once. The zone is the same either way. Call at the start
// of main(), before any thread starts.
inline void CacheLocalTimeZone()
{
#if defined(Q_OS_LINUX)
    if (!qEnvironmentVariableIsSet("TZ") && QFileInfo::exists(QStringLiteral("/etc/localtime")))
        qputenv("TZ", ":/etc/localtime");
#endif
}
