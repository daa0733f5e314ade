#pragma once

#include <QString>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

// Input bytes as text: UTF-8 where valid, so that both ordinary and odd characters turn up.
inline QString FuzzText(const std::uint8_t* pData, std::size_t nSize)
{
    return QString::fromUtf8(reinterpret_cast<const char*>(pData), qsizetype(nSize));
}

// Stops the run with a finding when a property of the code under test does not hold.
inline void FuzzCheck(bool bHolds, const char* sWhat)
{
    if (!bHolds) {
        std::fprintf(stderr, "property violated: %s\n", sWhat);
        std::abort();
    }
}
