#include "ftp/Fingerprint.h"

#include <QByteArray>

#include <cctype>

namespace Certificates {

QString NormalizeFingerprint(const QString& sText)
{
    QString text = sText.trimmed();
    if (text.startsWith(QLatin1String("SHA256:"), Qt::CaseInsensitive)
        || text.startsWith(QLatin1String("SHA-256:"), Qt::CaseInsensitive))
        text = text.section(QLatin1Char(':'), 1);
    QByteArray hex;
    for (QChar c : text) {
        if (c == QLatin1Char(':') || c == QLatin1Char(' ')) continue;
        const char ch = c.unicode() < 128 ? c.toLatin1() : '\0';
        if (!std::isxdigit(static_cast<unsigned char>(ch))) return QString();
        hex += ch;
    }
    if (hex.size() != 64) return QString();
    return QString::fromLatin1(QByteArray::fromHex(hex).toHex(':').toUpper());
}

}  // namespace Certificates
