#include "settings/Settings.h"

namespace Settings {

namespace {

bool IsBlank(QChar c) { return c == QLatin1Char(' ') || c == QLatin1Char('\t') || c == QLatin1Char('\n') || c == QLatin1Char('\r'); }

}  // namespace

double LeadingNumber(const QString& sText)
{
    // Collect sign, digits, one decimal point and an exponent, ignoring blanks
    // between them, and stop at the first character that cannot continue the
    // number.
    QString number;
    bool bDigits = false, bPoint = false, bExponent = false;
    qsizetype i = 0;
    while (i < sText.size() && IsBlank(sText[i])) ++i;
    if (i < sText.size() && (sText[i] == QLatin1Char('+') || sText[i] == QLatin1Char('-'))) number += sText[i++];
    for (; i < sText.size(); ++i) {
        const QChar c = sText[i];
        if (IsBlank(c)) continue;
        if (c.isDigit() && c.unicode() < 128) {
            number += c;
            bDigits = true;
        } else if (c == QLatin1Char('.') && !bPoint && !bExponent) {
            number += c;
            bPoint = true;
        } else if ((c == QLatin1Char('e') || c == QLatin1Char('E')) && bDigits && !bExponent) {
            // Only an exponent when digits follow (with an optional sign).
            qsizetype j = i + 1;
            QString exponent = QStringLiteral("e");
            if (j < sText.size() && (sText[j] == QLatin1Char('+') || sText[j] == QLatin1Char('-'))) exponent += sText[j++];
            if (j >= sText.size() || !sText[j].isDigit()) break;
            number += exponent;
            bExponent = true;
            i = j - 1;
        } else {
            break;
        }
    }
    if (!bDigits) return 0.0;
    bool ok = false;
    const double value = number.toDouble(&ok);
    return ok ? value : 0.0;
}

bool ParseNumber(const QString& sText, double& dValue)
{
    bool ok = false;
    const double value = sText.trimmed().toDouble(&ok);
    if (ok) dValue = value;
    return ok;
}

double NumberOrZero(const QString& sText)
{
    double value = 0.0;
    return ParseNumber(sText, value) ? value : 0.0;
}

bool ReadAsBoolean(const QString& sText)
{
    const QString text = sText.trimmed();
    if (text.compare(QLatin1String("True"), Qt::CaseInsensitive) == 0) return true;
    if (text.compare(QLatin1String("False"), Qt::CaseInsensitive) == 0) return false;
    return NumberOrZero(text) != 0.0;
}

bool IsPlainLogFileName(const QString& sName)
{
    const QString name = sName.trimmed();
    return !name.isEmpty() && name != QLatin1String(".") && name != QLatin1String("..")
           && !name.contains(QLatin1Char('/')) && !name.contains(QLatin1Char('\\'));
}

bool IsValidPort(const QString& sText)
{
    bool ok = false;
    const int port = sText.trimmed().toInt(&ok);
    return ok && port >= 1 && port <= 65535;
}

}  // namespace Settings
