#include "sites/PrivateProfile.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringView>

namespace PrivateProfile {

namespace {

// Windows-1252 codes 0x80 to 0x9F; the five unassigned codes stand for the
// control characters of the same number.
constexpr char16_t kCodes80To9F[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

// The blanks that Windows trims around names and values.
bool IsBlank(QChar c)
{
    return c == u' ' || c == u'\t' || c == u'\v' || c == u'\f' || c == u'\r' || c == u'\n';
}

QStringView Trimmed(QStringView s)
{
    while (!s.isEmpty() && IsBlank(s.front())) s = s.mid(1);
    while (!s.isEmpty() && IsBlank(s.back())) s.chop(1);
    return s;
}

enum class Kind { Other, Section, Key };

struct Line {
    QByteArray raw;  // the bytes as on disk, with the line ending if it had one
    Kind kind = Kind::Other;
    bool bBlank = false;
    QString sName;   // section or key name
    QString sValue;  // key value, blanks trimmed
};

Line ParseLine(const QByteArray& raw)
{
    Line line;
    line.raw = raw;
    const QString text = FromAnsi(raw);
    const QStringView t = Trimmed(text);
    line.bBlank = t.isEmpty();
    if (t.startsWith(u'[')) {
        const qsizetype close = t.indexOf(u']');
        line.kind = Kind::Section;
        line.sName = Trimmed(close < 0 ? t.mid(1) : t.mid(1, close - 1)).toString();
    } else if (!t.startsWith(u';')) {
        // Comment lines start with ';'; lines without '=' are no keys.
        const qsizetype eq = t.indexOf(u'=');
        if (eq > 0) {
            line.kind = Kind::Key;
            line.sName = Trimmed(t.left(eq)).toString();
            line.sValue = Trimmed(t.mid(eq + 1)).toString();
        }
    }
    return line;
}

QList<Line> Parse(const QByteArray& data)
{
    QList<Line> lines;
    qsizetype start = 0;
    while (start < data.size()) {
        const qsizetype newline = data.indexOf('\n', start);
        const qsizetype end = newline < 0 ? data.size() : newline + 1;
        lines.append(ParseLine(data.mid(start, end - start)));
        start = end;
    }
    return lines;
}

// A new line, in CRLF form. Its text was checked by CanStore.
Line MakeLine(const QString& sText)
{
    QByteArray raw;
    ToAnsi(sText, raw);
    return ParseLine(raw + "\r\n");
}

bool SameName(const QString& a, const QString& b) { return a.compare(b, Qt::CaseInsensitive) == 0; }

qsizetype FindSection(const QList<Line>& lines, const QString& sSection)
{
    for (qsizetype i = 0; i < lines.size(); ++i)
        if (lines[i].kind == Kind::Section && SameName(lines[i].sName, sSection)) return i;
    return -1;
}

qsizetype SectionEnd(const QList<Line>& lines, qsizetype header)
{
    qsizetype i = header + 1;
    while (i < lines.size() && lines[i].kind != Kind::Section) ++i;
    return i;
}

qsizetype FindKey(const QList<Line>& lines, qsizetype header, const QString& sKey)
{
    const qsizetype end = SectionEnd(lines, header);
    for (qsizetype i = header + 1; i < end; ++i)
        if (lines[i].kind == Kind::Key && SameName(lines[i].sName, sKey)) return i;
    return -1;
}

// So that a line can be followed by another: the last line may lack its end.
void EndLine(Line& line)
{
    if (!line.raw.endsWith('\n')) line.raw += "\r\n";
}

void Set(QList<Line>& lines, const QString& sSection, const QString& sKey, const QString& sValue)
{
    const qsizetype header = FindSection(lines, sSection);
    if (header < 0) {
        if (!lines.isEmpty()) EndLine(lines.last());
        lines.append(MakeLine(QLatin1Char('[') + sSection + QLatin1Char(']')));
        lines.append(MakeLine(sKey + QLatin1Char('=') + sValue));
        return;
    }
    const qsizetype existing = FindKey(lines, header, sKey);
    if (existing >= 0) {
        // The key keeps the spelling it has in the file.
        lines[existing] = MakeLine(lines[existing].sName + QLatin1Char('=') + sValue);
        return;
    }
    // After the section's last line, before the blank lines that part it
    // from the next section.
    qsizetype at = SectionEnd(lines, header);
    while (at > header + 1 && lines[at - 1].bBlank) --at;
    EndLine(lines[at - 1]);
    lines.insert(at, MakeLine(sKey + QLatin1Char('=') + sValue));
}

enum class Load { Ok, Missing, Failed };

Load ReadAll(const QString& sFile, QByteArray& data)
{
    if (!QFileInfo::exists(sFile)) return Load::Missing;
    QFile file(sFile);
    if (!file.open(QIODevice::ReadOnly)) return Load::Failed;
    data = file.readAll();
    return file.error() == QFileDevice::NoError ? Load::Ok : Load::Failed;
}

bool ValidName(const QString& sName)
{
    return !sName.isEmpty() && CanStore(sName) && Trimmed(sName).size() == sName.size()
           && !sName.contains(u'=') && !sName.contains(u']') && !sName.startsWith(u'[')
           && !sName.startsWith(u';');
}

}  // namespace

int AnsiCode(QChar c)
{
    const char16_t u = c.unicode();
    if (u < 0x80 || (u >= 0xA0 && u <= 0xFF)) return u;
    for (int i = 0; i < 32; ++i)
        if (kCodes80To9F[i] == u) return 0x80 + i;
    return -1;
}

QChar FromAnsiCode(uchar code)
{
    return (code >= 0x80 && code <= 0x9F) ? QChar(kCodes80To9F[code - 0x80]) : QChar(code);
}

QString FromAnsi(const QByteArray& bytes)
{
    QString text;
    text.reserve(bytes.size());
    for (char c : bytes) text += FromAnsiCode(static_cast<uchar>(c));
    return text;
}

bool ToAnsi(const QString& sText, QByteArray& bytes)
{
    bytes.clear();
    bytes.reserve(sText.size());
    for (QChar c : sText) {
        const int code = AnsiCode(c);
        if (code < 0) return false;
        bytes += static_cast<char>(code);
    }
    return true;
}

bool CanStore(const QString& sText)
{
    QByteArray bytes;
    return ToAnsi(sText, bytes) && !bytes.contains('\n') && !bytes.contains('\r') && !bytes.contains('\0');
}

QString GetStringIn(const QByteArray& data, const QString& sSection, const QString& sKey, const QString& sDefault, int nSize)
{
    if (nSize <= 0) return QString();
    QString value = sDefault;
    const QList<Line> lines = Parse(data);
    const qsizetype header = FindSection(lines, sSection);
    const qsizetype key = header < 0 ? -1 : FindKey(lines, header, sKey);
    if (key >= 0) {
        value = lines[key].sValue;
        if (value.size() >= 2 && (value.front() == u'"' || value.front() == u'\'') && value.back() == value.front())
            value = value.mid(1, value.size() - 2);
    }
    return value.left(nSize - 1);
}

QString GetString(const QString& sSection, const QString& sKey, const QString& sDefault, int nSize,
                  const QString& sFile)
{
    if (nSize <= 0) return QString();
    QByteArray data;
    if (ReadAll(sFile, data) != Load::Ok) return sDefault.left(nSize - 1);
    return GetStringIn(data, sSection, sKey, sDefault, nSize);
}

std::optional<QByteArray> WithStrings(const QByteArray& data, const QString& sSection, const Entries& entries)
{
    if (!ValidName(sSection)) return std::nullopt;
    for (const auto& [key, value] : entries)
        if (!ValidName(key) || !CanStore(value)) return std::nullopt;
    QList<Line> lines = Parse(data);
    for (const auto& [key, value] : entries) Set(lines, sSection, key, value);
    QByteArray text;
    for (const Line& line : lines) text += line.raw;
    return text;
}

bool WriteStrings(const QString& sSection, const Entries& entries, const QString& sFile)
{
    QByteArray data;
    if (ReadAll(sFile, data) == Load::Failed) return false;
    const std::optional<QByteArray> changed = WithStrings(data, sSection, entries);
    if (!changed) return false;
    const QByteArray& text = *changed;

    // Unbuffered, so that a short write shows in write()'s result rather
    // than only when committing.
    QSaveFile out(sFile);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) return false;
    if (!out.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner) || out.write(text) != text.size()
        || out.error() != QFileDevice::NoError) {
        out.cancelWriting();
        return false;
    }
    return out.commit();
}

bool WriteString(const QString& sSection, const QString& sKey, const QString& sValue, const QString& sFile)
{
    return WriteStrings(sSection, {{sKey, sValue}}, sFile);
}

}  // namespace PrivateProfile
