// Formats dates with arbitrary patterns and fills arbitrary texts with the date tags. Aborts when
// the output grows out of proportion to the pattern.

#include "FuzzSupport.h"

#include "core/DateTimeFormat.h"
#include "core/MsgExceptions.h"
#include "core/StrUtilsEx.h"

#include <algorithm>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pData, std::size_t nSize)
{
    // The first bytes choose the moment, from year 1 to 9999, so that names, the 12-hour clock
    // and short years all turn up.
    std::uint64_t uMoment = 0;
    const std::size_t nMoment = std::min<std::size_t>(nSize, sizeof uMoment);
    std::memcpy(&uMoment, pData, nMoment);
    const qint64 iFirst = QDateTime(QDate(1, 1, 1), QTime(0, 0)).toMSecsSinceEpoch();
    const qint64 iLast = QDateTime(QDate(9999, 12, 31), QTime(23, 59, 59, 999)).toMSecsSinceEpoch();
    const QDateTime dtWhen =
        QDateTime::fromMSecsSinceEpoch(iFirst + qint64(uMoment % std::uint64_t(iLast - iFirst + 1)));
    const QString sPattern = FuzzText(pData + nMoment, nSize - nMoment);

    try {
        const QString sResult = FormatDateTime(sPattern, dtWhen);
        // A letter gives a long day or month name at most; "ddddd" the short date form.
        FuzzCheck(sResult.size() <= 64 * (sPattern.size() + 1), "output in proportion to the pattern");
        FuzzCheck(sPattern.count(QLatin1Char('\'')) + sPattern.count(QLatin1Char('"')) > 0 ||
                      sResult.size() >= sPattern.count(QLatin1Char('/')) + sPattern.count(QLatin1Char(':')),
                  "separators are copied");
    } catch (const EConvertError&) {
        FuzzCheck(sPattern.contains(QLatin1Char('\'')) || sPattern.contains(QLatin1Char('"')),
                  "only an open quote raises");
    }

    const QString sTagged = InsertDateTimeTags(sPattern, dtWhen);
    FuzzCheck(sTagged.size() <= 64 * (sPattern.size() + 1), "tags in proportion to the text");
    if (!sPattern.contains(QLatin1Char('%')))
        FuzzCheck(sTagged == sPattern, "a text without tags stays as it is");
    return 0;
}
