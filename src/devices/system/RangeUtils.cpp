#include "RangeUtils.h"

#include "core/StrUtilsEx.h"

#include <QRegularExpression>

namespace sys {

int TRange::Init(const QString& sCsv)
{
    faMin.clear();
    faMax.clear();
    static const QRegularExpression separators(QStringLiteral("[;\\s]+"));
    for (const QString& sItem : sCsv.split(separators, Qt::SkipEmptyParts)) {
        std::int64_t iMin = 0;
        std::int64_t iMax = 0;
        if (MinMaxStrToInt(sItem, QStringLiteral(".."), iMin, iMax)) {
            faMin.push_back(iMin);
            faMax.push_back(iMax);
        }
    }
    return Count();
}

bool TRange::ValueInRange(std::int64_t iValue) const
{
    for (std::size_t i = 0; i < faMin.size(); ++i) {
        if (faMin[i] <= iValue && iValue <= faMax[i])
            return true;
    }
    return false;
}

bool TRange::GetNextValue(std::int64_t& iValue, std::int64_t iStep) const
{
    if (__builtin_add_overflow(iValue, iStep, &iValue))
        return false;
    for (std::size_t i = 0; i < faMin.size(); ++i) {
        if (iValue < faMin[i])
            iValue = faMin[i];
        if (faMin[i] <= iValue && iValue <= faMax[i])
            return true;
    }
    return false;
}

QString TRange::BoundaryInfo() const
{
    QString sInfo;
    for (std::size_t i = 0; i < faMin.size(); ++i)
        sInfo += QStringLiteral("%1:%2..%3; ").arg(i + 1).arg(faMin[i]).arg(faMax[i]);
    return sInfo;
}

bool TRange::MinMaxStrToInt(const QString& sRange, const QString& sDelimiter, std::int64_t& iMin,
                            std::int64_t& iMax)
{
    const int iAt = sRange.indexOf(sDelimiter);
    if (iAt < 0)
        return false;
    return TextToInteger(sRange.left(iAt), 64, iMin) &&
           TextToInteger(sRange.mid(iAt + sDelimiter.size()), 64, iMax);
}

} // namespace sys
