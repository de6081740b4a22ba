// Every listing format: each line of the input as a LIST line and as an
// MLSD line, and as a time-val.
#include "FuzzCommon.h"
#include "ftp/ListingParser.h"

#include <QDateTime>
#include <QTimeZone>

namespace {

void CheckEntry(const std::optional<ListingEntry>& entry)
{
    if (!entry) return;
    FUZZ_CHECK(entry->name != QLatin1String(".") && entry->name != QLatin1String(".."));
    FUZZ_CHECK(entry->nDatePrecision == 0 || entry->nDatePrecision == 1 || entry->nDatePrecision == 60
               || entry->nDatePrecision == 86400);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize)
{
    static const QDateTime now(QDate(2026, 6, 15), QTime(12, 0), QTimeZone::utc());
    const QString text = QString::fromUtf8(FuzzBytes(pData, nSize));
    for (QStringView line : QStringView(text).split(QLatin1Char('\n'))) {
        CheckEntry(ListingParser::ParseListLine(line, now));
        CheckEntry(ListingParser::ParseMlsdLine(line));
        (void)ListingParser::ParseTimeVal(line);
    }
    return 0;
}
