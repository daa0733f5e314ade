#include "StationLedger.h"

bool TStationLedger::Highest(const QString& sSource, std::int64_t& iHighest) const
{
    const auto it = fHighest.constFind(sSource);
    if (it == fHighest.constEnd())
        return false;
    iHighest = *it;
    return true;
}

void TStationLedger::Record(const QString& sSource, std::int64_t iNumber)
{
    auto it = fHighest.find(sSource);
    if (it == fHighest.end())
        fHighest.insert(sSource, iNumber);
    else if (iNumber > *it)
        *it = iNumber;
}
