#pragma once

#include <QString>

#include <cstdint>
#include <vector>

namespace sys {

// The allowed ranges of serial numbers, in the order written: "100000..199999;500000..599999".
class TRange
{
public:
    // Reads every item "min..max" of sCsv (items separated by ";" or blanks) whose bounds convert as
    // 64-bit integers, replacing the ranges read before; returns how many it read.
    int Init(const QString& sCsv);
    bool ValueInRange(std::int64_t iValue) const;
    // Adds iStep, then lifts the value to the minimum of the first range it lies below; true when
    // it then lies inside that range. False when no range holds it, also when the addition would
    // overflow.
    bool GetNextValue(std::int64_t& iValue, std::int64_t iStep) const;
    int Count() const { return int(faMin.size()); }
    // "1:100..199; 2:500..599; "
    QString BoundaryInfo() const;

    // Splits sRange at the first sDelimiter and converts both parts; false when the delimiter is
    // missing or a part does not convert.
    static bool MinMaxStrToInt(const QString& sRange, const QString& sDelimiter, std::int64_t& iMin,
                               std::int64_t& iMax);

private:
    std::vector<std::int64_t> faMin;
    std::vector<std::int64_t> faMax;
};

} // namespace sys
