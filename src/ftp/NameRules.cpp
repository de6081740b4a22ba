#include "ftp/NameRules.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

namespace NameRules {

bool IsSafeName(const QString& sName)
{
    if (sName.isEmpty() || sName == QLatin1String(".") || sName == QLatin1String("..")) return false;
    for (QChar c : sName)
        if (c == QLatin1Char('/') || c == QLatin1Char('\\') || c.unicode() == 0) return false;
#ifdef Q_OS_WIN
    if (sName.contains(QLatin1Char(':'))) return false;
    static const QRegularExpression kReserved(QStringLiteral("^(CON|PRN|AUX|NUL|COM[1-9]|LPT[1-9])(\\..*)?$"),
                                              QRegularExpression::CaseInsensitiveOption);
    if (kReserved.match(sName).hasMatch() || sName.endsWith(QLatin1Char('.')) || sName.endsWith(QLatin1Char(' ')))
        return false;
#endif
    return true;
}

std::optional<QString> LocalPath(const QString& sFolder, const QString& sName)
{
    if (sFolder.isEmpty() || !IsSafeName(sName)) return std::nullopt;
    const QString root = QDir::cleanPath(QFileInfo(sFolder).absoluteFilePath());
    const QString base = root.endsWith(QLatin1Char('/')) ? root : root + QLatin1Char('/');
    const QString path = base + sName;
    if (QDir::cleanPath(path) != path || !path.startsWith(base)) return std::nullopt;
    return path;
}

bool MatchesMask(const QString& sName, const QString& sMask)
{
    if (sMask.isEmpty() || sMask == QLatin1String("*") || sMask == QLatin1String("*.*")) return true;
    // Iterative glob with one back-track point: linear in practice, never
    // exponential whatever the pattern.
    qsizetype n = 0, m = 0, starM = -1, starN = 0;
    while (n < sName.size()) {
        if (m < sMask.size() && (sMask[m] == QLatin1Char('?') || sMask[m] == sName[n])) {
            ++n;
            ++m;
        } else if (m < sMask.size() && sMask[m] == QLatin1Char('*')) {
            starM = m++;
            starN = n;
        } else if (starM >= 0) {
            m = starM + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (m < sMask.size() && sMask[m] == QLatin1Char('*')) ++m;
    return m == sMask.size();
}

void SplitMask(const QString& sMask, QString& sFolder, QString& sPattern)
{
    const qsizetype cut = qMax(sMask.lastIndexOf(QLatin1Char('/')), sMask.lastIndexOf(QLatin1Char('\\')));
    const QString last = cut >= 0 ? sMask.mid(cut + 1) : sMask;
    if (last.contains(QLatin1Char('*')) || last.contains(QLatin1Char('?'))) {
        sFolder = cut >= 0 ? sMask.left(cut) : QString();
        sPattern = last;
    } else {
        sFolder = sMask;  // a folder name alone: all its files
        sPattern = QStringLiteral("*");
    }
    if (sFolder.isEmpty() && cut == 0) sFolder = QStringLiteral("/");
}

}  // namespace NameRules
